/*
 * globals.cpp - the state of orvikfsys that its screens share: the listing file names, where
 * the user stands, the page read last and the panel shown.
 */
#include "orvikfsys.h"

int nMyPid = 0;
int nFileSequence = 0;
char szTempFile[FSPATHSIZE] = "";
char szErrorFile[FSPATHSIZE] = "";
char szViewFile[FSPATHSIZE] = "";
FolderView sFolderView;
LISTPAGE sPage;
std::vector<std::string> asPageRow;
int nMaxPanelRows = 0;
unsigned long ulABAttibute = 0;
PABI *psPabi = nullptr;
