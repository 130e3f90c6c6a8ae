/*
 * toolkit_internal.h - helpers shared by the toolkit sources (panel, screen, field, input,
 * response, actionbar, boxes). Programs never include this header.
 *
 * Contract in brief:
 *  - It includes curses, so only the drawing and input sources include it.
 *  - OVCursesAttribute is the one translation of the toolkit's attribute numbers.
 *  - OVApplyPanelCursesSettings is the one curses set-up sequence, used by every panel
 *    creation and by InitializeCurses.
 *  - Bounded, UTF-8-safe copies into record fields go through OVCopyText (orviklib.h).
 */
#ifndef ORVIK_TOOLKIT_INTERNAL_H
#define ORVIK_TOOLKIT_INTERNAL_H

#include <curses.h>

#include "orviklib.h"

/* Curses attribute of a toolkit attribute number: 1 bold, 2 dim, 3 underline, 7 reverse,
   anything else normal. */
attr_t OVCursesAttribute(int nAttribute);

/* Enters curses mode (character type from the environment, initscr the first time, a cleared
   screen every time) and applies start_color, cbreak, noecho, halfdelay(nHalfDelayTenths),
   keypad, the full mouse mask and a mouse interval of 0 (presses are reported at once). */
void OVApplyPanelCursesSettings(int nHalfDelayTenths);

/* Logs "<pszWhat> NULL pointer: %p." at level 8 when p is NULL (pszWhat is the function
   and argument, e.g. "OVSetCursor: pszName"); true when it did. */
bool OVNullArgument(const void *p, const char *pszWhat);

/* Sets stdscr to the look of a field: its attribute and colour pair, with A_REVERSE toggled
   when it has the focus. */
void OVUseFieldLook(const FIELD *psField, bool bFocus);
/* Draws a field's text again as creation drew it, in its look with or without the focus;
   the cursor and the stdscr attributes stay as they were. */
void OVDrawFieldLook(const FIELD *psField, bool bFocus);
/* The same for a tab entry: what is drawn is its display field (for an action bar button the
   drawn field, not its undrawn twin). */
void OVDrawEntryFocus(const PABI *psPabi, const FIELDTAB *psFieldTab, bool bFocus);

/* Panels created and not yet deleted: their screen is the one a pop-up box goes over. */
extern int nOVLivePanels;

/* Half-delay of panels (tenths of a second) and of drawing without a panel. */
constexpr int OVPANELHALFDELAY = 1;
constexpr int OVMENUHALFDELAY = 2;

/* All mouse events, as the panels ask for them. */
constexpr mmask_t OVMOUSEMASK = 0x7ffffff;

#endif /* ORVIK_TOOLKIT_INTERNAL_H */
