#pragma once

// The toolbar's command numbers, shared with the Linux program; each is also the string id
// of its tooltip text.
#include "app/commands.h"

// Icon and toolbar images.
#define IDI_SONAVEX 101
#define IDB_TOOLBAR 102

// The toolbar control's own id.
#define IDC_TOOLBAR 150

// The About box and its link button.
#define IDD_ABOUT 160
#define IDC_LINK 161
