#pragma once

// Icon and toolbar images.
#define IDI_SONAVEX 101
#define IDB_TOOLBAR 102

// Toolbar commands; each number is also the string id of its tooltip text.
#define IDM_TOPMOST 110
#define IDM_NOTE 113
#define IDM_ABOUT 114
#define IDM_SCOPE 115
#define IDM_BASS_ZOOM 116
#define IDM_MIXER 117
#define IDM_SIZE 118
#define IDM_PAUSE 119

// The toolbar control's own id.
#define IDC_TOOLBAR 150

// The About box and its link button.
#define IDD_ABOUT 160
#define IDC_LINK 161
