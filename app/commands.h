#pragma once

// What both programs say the same: the toolbar's command numbers, its buttons and their
// tooltip texts, and the About box's texts. The Linux program reads all of it from here, and
// so does the Windows resource script: the texts are macros for the resource compiler, which
// reads them as UTF-8 (its script says code page 65001).
// No platform header: both shells and the resource compiler include this file.

// Toolbar commands. Each number is also the string id of the command's tooltip text in the
// Windows resources.
#define IDM_TOPMOST 110
#define IDM_NOTE 113
#define IDM_ABOUT 114
#define IDM_SCOPE 115
#define IDM_BASS_ZOOM 116
#define IDM_MIXER 117
#define IDM_SIZE 118
#define IDM_PAUSE 119

// The picture's own menu (a right click, or the keyboard's menu key). Its entries are no
// toolbar commands and have no tooltip strings. "Record from" numbers its sources from
// IDM_SOURCE_FIRST: the default input, then each device or source in the menu's order.
#define IDM_SAVE_PICTURE 120
#define IDM_COPY_PICTURE 121
#define IDM_SOURCE_FIRST 200

// The tooltip texts, UTF-8.
#define SONAVEX_TIP_TOPMOST "最前面に表示"
#define SONAVEX_TIP_NOTE "音階表示"
#define SONAVEX_TIP_ABOUT "バージョン情報"
#define SONAVEX_TIP_SCOPE "オシロスコープ"
#define SONAVEX_TIP_BASS_ZOOM "低音域拡大表示"
#define SONAVEX_TIP_MIXER "録音レベル調整"
#define SONAVEX_TIP_SIZE "ウィンドウサイズ正規化"
#define SONAVEX_TIP_PAUSE "一時停止"

// The About box: its caption, the home page (the link shows this text and opens it) and
// the four credit lines under the link, top to bottom. UTF-8.
#define SONAVEX_ABOUT_CAPTION "Sonavex のバージョン情報"
#define SONAVEX_HOME_PAGE "https://sonavex.example.org/"
#define SONAVEX_CREDIT_1 "A realtime spectrum analyser for the audio input."
#define SONAVEX_CREDIT_2 "Copyright (c) 2026 The Sonavex developers."
#define SONAVEX_CREDIT_3 "Free software under the MIT License."
#define SONAVEX_CREDIT_4 "Analysis: split-radix sine transform, 88 bands."

// The picture's menu, UTF-8.
#define SONAVEX_MENU_RECORD_FROM "Record from"
#define SONAVEX_MENU_DEFAULT_INPUT "Default input"
#define SONAVEX_MENU_WHAT_PLAYS "What the computer plays"
#define SONAVEX_MENU_SAVE_PICTURE "Save picture…"
#define SONAVEX_MENU_COPY_PICTURE "Copy picture"

#ifndef RC_INVOKED

// A check button stays pressed until clicked again; a push button springs back.
enum class ButtonKind { Check, Push, Separator };

struct ToolbarButton {
    int image;       // index in the strip of twelve 16 x 15 images; 0 for a separator
    int command;     // one of the IDM_ numbers; 0 for a separator
    ButtonKind kind; // check, push or separator
    const char *tip; // the tooltip text, UTF-8; null for a separator
};

inline constexpr int kToolbarButtonCount = 10;

// Left to right: topmost, pause | scope, note, bass zoom | size, mixer, About.
inline constexpr ToolbarButton kToolbarButtons[kToolbarButtonCount] = {
    {0, IDM_TOPMOST, ButtonKind::Check, SONAVEX_TIP_TOPMOST},
    {11, IDM_PAUSE, ButtonKind::Check, SONAVEX_TIP_PAUSE},
    {0, 0, ButtonKind::Separator, nullptr},
    {6, IDM_SCOPE, ButtonKind::Check, SONAVEX_TIP_SCOPE},
    {4, IDM_NOTE, ButtonKind::Check, SONAVEX_TIP_NOTE},
    {7, IDM_BASS_ZOOM, ButtonKind::Check, SONAVEX_TIP_BASS_ZOOM},
    {0, 0, ButtonKind::Separator, nullptr},
    {10, IDM_SIZE, ButtonKind::Push, SONAVEX_TIP_SIZE},
    {9, IDM_MIXER, ButtonKind::Push, SONAVEX_TIP_MIXER},
    {5, IDM_ABOUT, ButtonKind::Push, SONAVEX_TIP_ABOUT},
};

// The About box's texts, as above.
inline constexpr const char *kAboutCaption = SONAVEX_ABOUT_CAPTION;
inline constexpr const char *kHomePage = SONAVEX_HOME_PAGE;
inline constexpr const char *kCredits[4] = {SONAVEX_CREDIT_1, SONAVEX_CREDIT_2, SONAVEX_CREDIT_3,
                                            SONAVEX_CREDIT_4};

#endif
