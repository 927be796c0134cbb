// Ids of the update window's resources, controls and texts (res/update.rc, the string table).
#pragma once

enum : int {
    IDR_MAINFRAME = 128,       // icon
    IDD_UPDATE_DIALOG = 132,   // dialog template
    IDB_PROGRESS = 134,        // 13 x 14 progress fill
    IDB_BACK_EXPANDED = 135,   // 385 x 322 background, notes shown
    IDB_BUTTON = 136,          // 72 x 88 strip of four button cells
    IDB_CLOSE = 137,           // 28 x 32 close glyph, normal above highlighted
    IDB_MINIMIZE = 138,        // 28 x 32 minimise glyph
    IDB_TOGGLE = 139,          // 56 x 15 notes toggle cells
    IDB_BACK_COLLAPSED = 140,  // 385 x 205 background, notes hidden
};

enum : int {
    IDC_EXPLORER = 1007,
    IDC_BTN_START = 100001,
    IDC_BTN_RETRY = 100002,
    IDC_BTN_RESTART = 100003,
    IDC_BTN_CANCEL = 100004,
};

// Base ids of the texts; LoadLangString adds the language's offset.
enum : int {
    IDS_SCRIPT_LOADED = 103,
    IDS_DOWNLOADING = 106,
    IDS_COMPLETED_TO = 108,
    IDS_BTN_RESTART = 110,
    IDS_BTN_CANCEL = 111,
    IDS_BTN_START = 112,
    IDS_LOADING_SCRIPT = 114,
    IDS_WINDOW_TEXT = 115,
    IDS_NOTES_LABEL = 116,
    IDS_BTN_RETRY = 118,
    IDS_TITLE = 126,
};
