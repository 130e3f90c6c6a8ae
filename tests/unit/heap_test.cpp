// Panel heap without a screen: an anchor block built by hand, as the menu program builds
// its own, and the bump allocation across chunks.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "orviklib.h"
#include "pty_terminal.h"

namespace {

constexpr int kFirstRoom = 130928;
constexpr int kLaterRoom = 131024;

class HeapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pBlock = static_cast<unsigned char *>(calloc(1, OVHEAPCHUNKSIZE));
    psPabi = reinterpret_cast<PABI *>(pBlock);
    memcpy(psPabi->szEyeCatcher, "PANELBLK", 8);
    HEAP *psHeap = reinterpret_cast<HEAP *>(psPabi + 1);
    memcpy(psHeap->szEyeCatcher, "PHEAPBLK", 8);
    psHeap->pHeap = pBlock;
    psHeap->pHeapFree = reinterpret_cast<unsigned char *>(psHeap + 1);
    psHeap->nHeapSize = OVHEAPCHUNKSIZE;
    psPabi->psHeapFirst = psHeap;
    psPabi->psHeapCurrent = psHeap;
  }
  void TearDown() override {
    HEAP *psHeap = psPabi->psHeapFirst;
    while (psHeap != nullptr) {
      HEAP *psNext = psHeap->psHeapNext;
      free(psHeap->pHeap);
      psHeap = psNext;
    }
  }
  static int Used(const HEAP *psHeap) { return static_cast<int>(psHeap->pHeapFree - psHeap->pHeap); }
  static int Chunks(const PABI *psPabi) {
    int n = 0;
    for (const HEAP *ps = psPabi->psHeapFirst; ps != nullptr; ps = ps->psHeapNext) ++n;
    return n;
  }

  PtyTestHome home;
  unsigned char *pBlock = nullptr;
  PABI *psPabi = nullptr;
};

TEST_F(HeapTest, RequestThatExactlyFillsTheFirstChunkStaysInIt) {
  auto *p = static_cast<unsigned char *>(GetHunkofHeap(psPabi, kFirstRoom));
  EXPECT_EQ(p, pBlock + sizeof(PABI) + sizeof(HEAP));
  EXPECT_EQ(psPabi->psHeapCurrent, psPabi->psHeapFirst);
  EXPECT_EQ(Used(psPabi->psHeapFirst), OVHEAPCHUNKSIZE);
  EXPECT_EQ(Chunks(psPabi), 1);
}

TEST_F(HeapTest, OneByteMoreThanTheRoomOpensASecondChunk) {
  GetHunkofHeap(psPabi, 100);
  auto *p = static_cast<unsigned char *>(GetHunkofHeap(psPabi, kFirstRoom - 100 + 1));
  HEAP *psSecond = psPabi->psHeapCurrent;
  ASSERT_NE(psSecond, psPabi->psHeapFirst);
  EXPECT_EQ(Chunks(psPabi), 2);
  EXPECT_EQ(0, memcmp(psSecond->szEyeCatcher, "PHEAPBLK", 8));
  EXPECT_EQ(psSecond->pHeap, reinterpret_cast<unsigned char *>(psSecond));
  EXPECT_EQ(p, reinterpret_cast<unsigned char *>(psSecond + 1));
  EXPECT_EQ(psSecond->nHeapSize, OVHEAPCHUNKSIZE);
  EXPECT_EQ(psSecond->psHeapPrev, psPabi->psHeapFirst);
  EXPECT_EQ(psPabi->psHeapFirst->psHeapNext, psSecond);
  EXPECT_EQ(psSecond->psHeapNext, nullptr);
  // The first chunk's tail stays unused.
  EXPECT_EQ(Used(psPabi->psHeapFirst), static_cast<int>(sizeof(PABI) + sizeof(HEAP)) + 100);

  // A later chunk holds exactly 131024 bytes of records.
  GetHunkofHeap(psPabi, kLaterRoom - (kFirstRoom - 99));
  EXPECT_EQ(psPabi->psHeapCurrent, psSecond);
  EXPECT_EQ(Used(psSecond), OVHEAPCHUNKSIZE);
  GetHunkofHeap(psPabi, 1);
  EXPECT_EQ(Chunks(psPabi), 3);
}

TEST_F(HeapTest, OversizedRequestGetsAChunkOfItsOwnAndAllocationGoesOn) {
  const int nBig = kLaterRoom + 5000;
  auto *p = static_cast<unsigned char *>(GetHunkofHeap(psPabi, nBig));
  HEAP *psBig = psPabi->psHeapCurrent;
  ASSERT_EQ(Chunks(psPabi), 2);
  EXPECT_EQ(psBig->nHeapSize, static_cast<int>(sizeof(HEAP)) + nBig);
  EXPECT_EQ(Used(psBig), psBig->nHeapSize);
  // Zero-filled and writable over its whole length.
  bool bZero = true;
  for (int i = 0; i < nBig; ++i) bZero = bZero && p[i] == 0;
  EXPECT_TRUE(bZero);
  memset(p, 'x', static_cast<std::size_t>(nBig));

  auto *pNext = static_cast<unsigned char *>(GetHunkofHeap(psPabi, 16));
  EXPECT_EQ(Chunks(psPabi), 3);
  EXPECT_EQ(psPabi->psHeapCurrent->nHeapSize, OVHEAPCHUNKSIZE);
  EXPECT_EQ(pNext[0], 0);
}

TEST_F(HeapTest, ExhaustionLogsAndEndsWithTwelve) {
  EXPECT_EXIT(GetHunkofHeap(psPabi, INT_MAX), ::testing::ExitedWithCode(12), "");
  EXPECT_NE(home.ReadLog().find("GetHunkofHeap: Unable to allocate memory, size: "),
            std::string::npos)
      << home.ReadLog();
}

TEST_F(HeapTest, FieldAndTabRecordsAreChainedInCreationOrder) {
  FIELD *psA = CreateFieldBlk(psPabi);
  FIELD *psB = CreateFieldBlk(psPabi);
  EXPECT_EQ(0, memcmp(psA->szEyeCatcher, "FIELDBLK", 8));
  EXPECT_EQ(psPabi->psFieldFirst, psA);
  EXPECT_EQ(psPabi->psFieldLast, psB);
  EXPECT_EQ(psA->psFieldNext, psB);
  EXPECT_EQ(psB->psFieldPrev, psA);
  EXPECT_EQ(psA->psFieldPrev, nullptr);
  EXPECT_EQ(reinterpret_cast<unsigned char *>(psB), reinterpret_cast<unsigned char *>(psA) + sizeof(FIELD));

  FIELDTAB *psTab1 = CreateFieldTabBlk(psPabi);
  EXPECT_EQ(psPabi->psFieldTab_Current, psTab1);
  FIELDTAB *psTab2 = CreateFieldTabBlk(psPabi);
  EXPECT_EQ(0, memcmp(psTab2->szEyeCatcher, "TABFLBLK", 8));
  EXPECT_EQ(psPabi->psFieldTabFirst, psTab1);
  EXPECT_EQ(psPabi->psFieldTabLast, psTab2);
  EXPECT_EQ(psPabi->psFieldTab_Current, psTab2);
  EXPECT_EQ(psTab1->psFieldTabNext, psTab2);
  EXPECT_EQ(psTab2->psFieldTabPrev, psTab1);
  EXPECT_EQ(psTab2->nOffset, 0);
  EXPECT_EQ(psTab2->psField, nullptr);
}

TEST_F(HeapTest, ManyFieldsContinueSeamlesslyInLaterChunks) {
  // 355 fields fit the first chunk and 356 each later one: 800 need three.
  static_assert(sizeof(FIELD) == 368);
  const int nFields = 800;
  FIELD *psPrev = nullptr;
  int nBroken = 0;
  for (int i = 0; i < nFields; ++i) {
    FIELD *ps = CreateFieldBlk(psPabi);
    ps->nRow = i;
    if (ps->psFieldPrev != psPrev) ++nBroken;
    psPrev = ps;
  }
  EXPECT_EQ(nBroken, 0);
  EXPECT_EQ(Chunks(psPabi), 3);
  int nCount = 0;
  for (FIELD *ps = psPabi->psFieldFirst; ps != nullptr; ps = ps->psFieldNext) {
    if (ps->nRow != nCount) break;
    ++nCount;
  }
  EXPECT_EQ(nCount, nFields);
}

}  // namespace
