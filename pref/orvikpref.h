/*
 * orvikpref.h - the preferences program: one panel on which the user picks the colours and
 * the attribute of each display group.
 *
 * main (main.cpp) runs Initialize, then Process_Request (preferences.cpp), then Finish.
 * Every function returns an OVRC_* code; Process_Request gives 0 after Return, 9 after Exit.
 */
#ifndef ORVIKPREF_H
#define ORVIKPREF_H

#include "orviklib.h"

extern PAB *psPab;               /* the panel of the current pass, NULL between passes */

/* Switches, "-help" text and help output. 0, 1 (help printed) or 8 (bad "-help"). */
int Initialize(int argc, char **argv);
/* Frees the help text. Always 0. */
int Finish();

/* Builds, shows and stores the panel until Return (0) or Exit (9), or a failure code. A new
   terminal size builds the same panel again, storing nothing. */
int Process_Request();
/* Draws every field of the panel for the terminal's size and puts the cursor on the field
   named pszCursor, or on "Return " when there is no such field. */
int Present_Panel(const char *pszCursor);
/* Refreshes the display group table from the library. */
int GetColorandAttributeValues();
/* Stores the pulldown choices of every changed group and writes config.ini once. */
int SetColorandAttributeValues();

#endif /* ORVIKPREF_H */
