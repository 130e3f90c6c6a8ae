// clush's lines as the fan-out reads them: any bytes on either stream, in any pieces, give the
// same result as in one piece; nothing kept passes the limits of a system or of the run; the
// JSON of the result is UTF-8 with no raw control character.
#include "orviklib.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr std::size_t kSystemMax = 64, kTotalMax = 150;

OVFANRESULT Read(const uint8_t *pData, size_t nSize, size_t nPiece) {
    OVFANRESULT sResult;
    for (const char *pszNode : {"web01", "web02", "orvik-sys-abc"}) {
        OVFANSYSTEM sSystem;
        sSystem.sName = sSystem.sNode = pszNode;
        sResult.asSystem.push_back(sSystem);
    }
    OVFanReader sReader(&sResult, "ORVIK-DONE-1", kSystemMax, kTotalMax);
    // A byte 0x01 switches between the output and the error output.
    bool bError = false;
    std::string sRun;
    auto Flush = [&] {
        for (size_t i = 0; i < sRun.size(); i += nPiece)
            sReader.Take(bError, std::string_view(sRun).substr(i, nPiece));
        sRun.clear();
    };
    for (size_t i = 0; i < nSize; i++) {
        if (pData[i] == 0x01) {
            Flush();
            bError = !bError;
        } else {
            sRun += static_cast<char>(pData[i]);
        }
    }
    Flush();
    sReader.TakeFinished();
    sReader.Settle(false, 10);
    return sResult;
}

bool Same(const OVFANRESULT &a, const OVFANRESULT &b) {
    if (a.bCut != b.bCut || a.nAnswered != b.nAnswered) return false;
    for (size_t i = 0; i < a.asSystem.size(); i++) {
        const OVFANSYSTEM &x = a.asSystem[i], &y = b.asSystem[i];
        if (x.sOutput != y.sOutput || x.sError != y.sError || x.eState != y.eState ||
            x.nExitStatus != y.nExitStatus || x.bCut != y.bCut)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    setenv("ORVIKLOGFILE", "/dev/null", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize) {
    const OVFANRESULT sWhole = Read(pData, nSize, nSize + 1);
    std::size_t nKept = 0;
    for (const OVFANSYSTEM &s : sWhole.asSystem) {
        if (s.sOutput.size() > kSystemMax || s.sError.size() > kSystemMax) abort();
        if (s.eState < 0 || s.eState >= OVFAN_STATES) abort();
        nKept += s.sOutput.size() + s.sError.size();
    }
    if (nKept > kTotalMax) abort();
    if (!Same(sWhole, Read(pData, nSize, 1)) || !Same(sWhole, Read(pData, nSize, 7))) abort();
    const std::string sJson = OVFanJson(sWhole);
    for (std::size_t nAt = 0; nAt < sJson.size();) {
        const OVUTF8CHARACTER sChar = OVDecodeUtf8(sJson, nAt);
        if (sChar.nCode == OVNOTACHARACTER) abort();
        if (sChar.nCode < 0x20 && sChar.nCode != '\n') abort();
        nAt += sChar.nBytes;
    }
    return 0;
}
