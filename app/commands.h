#pragma once

// What both programs say the same: the toolbar's command numbers, its buttons and their
// tooltip texts, and the About box's texts. The Linux program reads all of it from here; the
// Windows resource script includes the numbers, and keeps its own copy of the texts because
// the resource compiler needs them written out (app/tests checks that copy against this one).
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
    {0, IDM_TOPMOST, ButtonKind::Check, "最前面に表示"},
    {11, IDM_PAUSE, ButtonKind::Check, "一時停止"},
    {0, 0, ButtonKind::Separator, nullptr},
    {6, IDM_SCOPE, ButtonKind::Check, "オシロスコープ"},
    {4, IDM_NOTE, ButtonKind::Check, "音階表示"},
    {7, IDM_BASS_ZOOM, ButtonKind::Check, "低音域拡大表示"},
    {0, 0, ButtonKind::Separator, nullptr},
    {10, IDM_SIZE, ButtonKind::Push, "ウィンドウサイズ正規化"},
    {9, IDM_MIXER, ButtonKind::Push, "録音レベル調整"},
    {5, IDM_ABOUT, ButtonKind::Push, "バージョン情報"},
};

// The About box: its caption, the home page (the link shows this text and opens it) and
// the four credit lines under the link, top to bottom. UTF-8.
inline constexpr const char *kAboutCaption = "Sonavex のバージョン情報";
inline constexpr const char *kHomePage = "https://sonavex.example.org/";
inline constexpr const char *kCredits[4] = {
    "A realtime spectrum analyser for the audio input.",
    "Copyright (c) 2026 The Sonavex developers.",
    "Free software under the MIT License.",
    "Analysis: split-radix sine transform, 88 bands.",
};

#endif
