// The command and control numbers of the main frame and its views: the menu and tool-bar
// commands they handle themselves, the status panes and the dialog bar's controls.
#pragma once

namespace orvix {

enum ViewCommandId : int {
    // Context menus of the trial view and the eye-position view.
    ID_VIEW_400MS = 32784, // "400 ms/grid"
    ID_VIEW_200MS = 32785,
    ID_VIEW_80MS = 32786,
    ID_VIEW_40MS = 32787,
    ID_VIEW_20MS = 32859,
    ID_VIEW_GRID = 32788,
    ID_VIEW_1DEG = 32792,
    ID_VIEW_2DEG = 32793,
    ID_VIEW_5DEG = 32794,
    ID_VIEW_10DEG = 32795,
    ID_VIEW_15DEG = 32796,
    ID_VIEW_20DEG = 32797,
    ID_VIEW_50DEG = 32808,
    ID_VIEW_100DEG = 32809,
    // The frame's own commands (Font, Maximize, Restore and the print commands are the
    // command targets' ids).
    ID_ADD_TEMPLATE = 32897,
    ID_ORGANIZE_TEMPLATES = 32898,
    ID_CALIBRATE = 32902,
    ID_LATENCY = 32919,
};

// Status panes, in their order on the status bar after the message line.
enum StatusPaneId : int {
    ID_INDICATOR_KEYPOS = 59142,
    ID_INDICATOR_STATE = 59143,
    ID_INDICATOR_ACCUM = 59144,
    ID_INDICATOR_S = 59145,
    ID_INDICATOR_R = 59146,
    ID_INDICATOR_H = 59147,
    ID_INDICATOR_V = 59148,
    ID_INDICATOR_SUBJECT = 59149,
    ID_INDICATOR_CMDN = 59150,
    ID_INDICATOR_HITRATE = 59151,
};

// The dialog bar's controls (object names "ctl<id>").
enum DialogBarControl : int {
    IDC_COMMENT = 1006,
    IDC_TRIAL_NUMBER = 1084,
    IDC_INPUT_FILE = 1085,
    IDC_PREVIOUS_FILE = 1086,
    IDC_NEXT_FILE = 1087,
    IDC_FILE_POSITION = 1128,
    IDC_FIRST_FILE = 1129,
    IDC_LAST_FILE = 1130,
};

} // namespace orvix
