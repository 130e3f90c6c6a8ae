/*
 * panel_fixture.h - a panel on a 24x80 pseudo-terminal, with its own ORVIKDIR and log, for
 * the tests of the response loop, the action bar and the pop-up boxes.
 */
#ifndef ORVIK_PTY_PANEL_FIXTURE_H
#define ORVIK_PTY_PANEL_FIXTURE_H

#include <gtest/gtest.h>

#include <curses.h>

#include <string>

#include "orviklib.h"
#include "pty_terminal.h"

/* Key bytes as xterm sends them. */
inline constexpr const char *KEY_BYTES_UP = "\x1b[A";
inline constexpr const char *KEY_BYTES_DOWN = "\x1b[B";
inline constexpr const char *KEY_BYTES_RIGHT = "\x1b[C";
inline constexpr const char *KEY_BYTES_LEFT = "\x1b[D";
inline constexpr const char *KEY_BYTES_BTAB = "\x1b[Z";
inline constexpr const char *KEY_BYTES_DELETE = "\x1b[3~";
inline constexpr const char *KEY_BYTES_NPAGE = "\x1b[6~";

class PanelFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    pTerminal = &PtyTerminal::Open(24, 80);
    nTimeMouse = -1;
    pszHelpInfo = nullptr;
    psPabi = OVCreatePaneli(OVHEAPCHUNKSIZE, 0, 0, 0, 0, 0);
    ASSERT_NE(psPabi, nullptr);
    // Distinct group colours, so each cell tells which group painted it.
    SetGroupColours(OVDG_PANEL, 7, 0);
    SetGroupColours(OVDG_PULLDOWN, 3, 5);
    SetGroupColours(OVDG_BUTTON, 0, 6);
  }
  void TearDown() override {
    // Keys a test sent for a path it did not take must not reach the next test.
    flushinp();
    if (psPabi != nullptr) OVDeletePanel(psPabi);
  }

  /* A selectable field; its tab entry becomes the current one. */
  FIELDTAB *AddTabField(int nRow, int nColumn, int nLength, const char *pszName,
                        const char *pszValue, unsigned long ulStyle = OVSTYLE_TAB) {
    EXPECT_EQ(OVCreateFieldi(psPabi, nRow, nColumn, nLength, pszName, pszValue, ulStyle, 0, 0, 7),
              0);
    return psPabi->psFieldTabLast;
  }

  static void SetGroupColours(unsigned long ulGroup, int nForeground, int nBackground) {
    asOVDisplayAttributes[ulGroup].nForegroundColor = nForeground;
    asOVDisplayAttributes[ulGroup].nBackgroundColor = nBackground;
  }

  /* Foreground and background of a screen cell. */
  std::pair<int, int> Colours(int nRow, int nColumn) const {
    PtyTerminal::Cell cell = pTerminal->At(nRow, nColumn);
    return {cell.nForeground, cell.nBackground};
  }

  PtyTestHome home;              /* ORVIKDIR and ORVIKLOGFILE in a temporary folder */
  PtyTerminal *pTerminal = nullptr;
  PABI *psPabi = nullptr;
};

#endif /* ORVIK_PTY_PANEL_FIXTURE_H */
