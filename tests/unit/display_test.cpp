// Display groups: defaults, name lookups, and reading and changing a group.
#include "services_fixture.h"

namespace {

using DisplayTest = ServicesTest;

TEST_F(DisplayTest, DefaultsOfTheSixGroups) {
    const struct {
        const char *pszTitle, *pszID;
        int nForeground, nBackground, nAttribute;
    } asExpected[] = {{"Panel", "PANEL", 7, 0, 1},         {"Menu Item", "MENUITEM", 7, 4, 0},
                      {"Pulldown", "PULLDOWN", 7, 4, 0},   {"Field", "FIELD", 6, 0, 0},
                      {"Message Box", "MESSAGEBOX", 0, 6, 0}, {"Button", "BUTTON", 7, 4, 0}};
    for (int i = 0; i < OVDISPLAYGROUPS; i++) {
        const DISPLAYATTRIBUTES &sGroup = asOVDisplayAttributes[i];
        EXPECT_STREQ(sGroup.pszTitle, asExpected[i].pszTitle);
        EXPECT_STREQ(sGroup.pszID, asExpected[i].pszID);
        EXPECT_EQ(sGroup.nForegroundColor, asExpected[i].nForeground) << i;
        EXPECT_EQ(sGroup.nBackgroundColor, asExpected[i].nBackground) << i;
        EXPECT_EQ(sGroup.nAttribute, asExpected[i].nAttribute) << i;
    }
}

TEST_F(DisplayTest, ColourNames) {
    EXPECT_EQ(OVGetColor("white"), 7);
    EXPECT_EQ(OVGetColor("WHITE"), 7);
    EXPECT_EQ(OVGetColor("White and more words"), 7);
    EXPECT_EQ(OVGetColor("Black"), 0);
    EXPECT_EQ(OVGetColor("magenta"), 5);
    EXPECT_EQ(OVGetColor("Grey"), -1);
    EXPECT_EQ(OVGetColor(""), -1);
    EXPECT_EQ(OVGetColor("Whitest"), -1);
    /* Only the first 31 characters are looked at. */
    EXPECT_EQ(OVGetColor((std::string(31, 'x') + "Red").c_str()), -1);
    EXPECT_EQ(ReadLog(), "");
    EXPECT_EQ(OVGetColor(nullptr), -1);
    EXPECT_EQ(LogMessages(), std::vector<std::string>{"OVGetColor: pszColor NULL pointer: (nil)."});
}

TEST_F(DisplayTest, AttributeNamesAndBackMapping) {
    EXPECT_EQ(OVGetAttribute("reverse"), 7);
    EXPECT_EQ(OVGetAttribute("Bright"), 1);
    EXPECT_EQ(OVGetAttribute("DIM"), 2);
    EXPECT_EQ(OVGetAttribute("underline extra"), 3);
    EXPECT_EQ(OVGetAttribute("Normal"), -1);
    EXPECT_EQ(OVGetAttribute(nullptr), -1);
    EXPECT_EQ(LogMessages(),
              std::vector<std::string>{"OVGetAttribute: pszAttribute NULL pointer: (nil)."});
    const char *apszBack[8] = {"Bright", "Bright", "Dim", "Underline",
                               "Bright", "Bright", "Bright", "Reverse"};
    for (int n = 0; n < 8; n++) EXPECT_STREQ(OVATTRIBUTELIT[OVATTRIBUTESUB[n]], apszBack[n]);
}

TEST_F(DisplayTest, GetCopiesTheGroupOut) {
    PAB sPab{};
    char *pszTitle = nullptr, *pszID = nullptr;
    int nFore = -1, nBack = -1, nAttr = -1;
    EXPECT_EQ(OVGetDisplayValues(&sPab, OVDG_MESSAGEBOX, &pszTitle, &pszID, &nFore, &nBack, &nAttr), 0);
    EXPECT_STREQ(pszTitle, "Message Box");
    EXPECT_STREQ(pszID, "MESSAGEBOX");
    EXPECT_EQ(nFore, 0);
    EXPECT_EQ(nBack, 6);
    EXPECT_EQ(nAttr, 0);
    /* A group number past the table is refused without a message. */
    EXPECT_EQ(OVGetDisplayValues(&sPab, 6, &pszTitle, &pszID, &nFore, &nBack, &nAttr), 8);
    EXPECT_EQ(ReadLog(), "");
}

TEST_F(DisplayTest, GetNamesTheFirstNullPointer) {
    PAB sPab{};
    char *pszTitle = nullptr, *pszID = nullptr;
    int nFore, nBack;
    EXPECT_EQ(OVGetDisplayValues(nullptr, 0, &pszTitle, &pszID, &nFore, &nBack, nullptr), 8);
    EXPECT_EQ(OVGetDisplayValues(&sPab, 0, &pszTitle, nullptr, &nFore, &nBack, nullptr), 8);
    EXPECT_EQ(OVGetDisplayValues(&sPab, 0, &pszTitle, &pszID, &nFore, &nBack, nullptr), 8);
    EXPECT_EQ(GetDisplayValuesi(nullptr, 0, &pszTitle, &pszID, &nFore, &nBack, nullptr), 8);
    EXPECT_EQ(GetDisplayValuesi(&sPab, 0, &pszTitle, &pszID, nullptr, &nBack, nullptr), 8);
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{
                                 "OVGetDisplayValues: psPab NULL pointer: (nil).",
                                 "OVGetDisplayValues: ppszID NULL pointer: (nil).",
                                 "OVGetDisplayValues: pnAttribute NULL pointer: (nil).",
                                 "OVGetDisplayValuesi: psPabi NULL pointer: (nil).",
                                 "OVGetDisplayValuesi: pnForegroundColor NULL pointer: (nil)."}));
}

TEST_F(DisplayTest, SetChangesNumbersAndKeepsTextsForNull) {
    PAB sPab{};
    EXPECT_EQ(OVSetDisplayValues(&sPab, OVDG_FIELD, nullptr, nullptr, 3, 5, 7), 0);
    EXPECT_STREQ(asOVDisplayAttributes[OVDG_FIELD].pszTitle, "Field");
    EXPECT_STREQ(asOVDisplayAttributes[OVDG_FIELD].pszID, "FIELD");
    EXPECT_EQ(asOVDisplayAttributes[OVDG_FIELD].nForegroundColor, 3);
    EXPECT_EQ(asOVDisplayAttributes[OVDG_FIELD].nBackgroundColor, 5);
    EXPECT_EQ(asOVDisplayAttributes[OVDG_FIELD].nAttribute, 7);
    /* Texts are copied: the caller's buffer may change or go afterwards. */
    char szTitle[] = "Entry Field";
    EXPECT_EQ(SetDisplayValuesi(&sPab, OVDG_FIELD, szTitle, "ENTRY", 1, 2, 3), 0);
    szTitle[0] = 'X';
    EXPECT_STREQ(asOVDisplayAttributes[OVDG_FIELD].pszTitle, "Entry Field");
    EXPECT_STREQ(asOVDisplayAttributes[OVDG_FIELD].pszID, "ENTRY");
    /* Handing back the pointer that Get gave is harmless. */
    char *pszTitle, *pszID;
    int nFore, nBack, nAttr;
    OVGetDisplayValues(&sPab, OVDG_FIELD, &pszTitle, &pszID, &nFore, &nBack, &nAttr);
    EXPECT_EQ(OVSetDisplayValues(&sPab, OVDG_FIELD, pszTitle, pszID, nFore, nBack, nAttr), 0);
    EXPECT_STREQ(asOVDisplayAttributes[OVDG_FIELD].pszTitle, "Entry Field");
    EXPECT_EQ(ReadLog(), "");
}

TEST_F(DisplayTest, SetRefusesBadGroupAndNullPanel) {
    PAB sPab{};
    EXPECT_EQ(OVSetDisplayValues(&sPab, 6, "x", "y", 1, 1, 1), 8);
    EXPECT_EQ(OVSetDisplayValues(nullptr, 0, "x", "y", 1, 1, 1), 8);
    EXPECT_EQ(SetDisplayValuesi(nullptr, 0, "x", "y", 1, 1, 1), 8);
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{
                                 "SetDisplayValues: GroupType: 6 is invalid.",
                                 "OVSetDisplayValues: psPab NULL pointer: (nil).",
                                 "OVSetDisplayValuesi: psPabi NULL pointer: (nil)."}));
    EXPECT_STREQ(asOVDisplayAttributes[OVDG_PANEL].pszTitle, "Panel");
}

} // namespace
