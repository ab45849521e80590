// ICommandTarget: who runs a menu command and says how its menu entry looks. The main frame
// builds its menus from the command ids and hands each command to its targets in turn: the
// document first, then the application.
#pragma once

namespace orvix {

class ICommandTarget {
public:
    // The menus' own numbers.
    enum CommandId : int {
        ID_RESET_PARAMETERS = 32776,
        ID_CONTROL_PANEL = 32777,
        ID_ENABLE = 32783,
        ID_CHANNEL_1 = 32825, // ... ID_CHANNEL_1 + 6 = channel 7
        ID_CHANNEL_0 = 32832,
        ID_SAVE_PARAMETERS = 32858,
        ID_TRANSFORM = 32880,
        ID_GRAPH_EXPORT_DATA = 32879, // the graph view's "Export Data ..."
        ID_EXPORT_DATA = 32892,
        ID_EXPORT_PARAM = 32893,
        ID_ALIGN_TRIALS = 32900,
        ID_LOAD_FORMAT = 32901,
        ID_FILE_MERGING_MODE = 32904,
        ID_FILE_NEW = 57600,
        ID_FILE_OPEN = 57601,
        ID_FILE_SAVE = 57603,
        ID_FILE_SAVE_AS = 57604,
        ID_FILE_PRINT_SETUP = 57606,
        ID_APP_ABOUT = 57664,
        ID_APP_EXIT = 57665,
        // The help handlers: the Help menu's "&Help Topics", and the help and default-help
        // commands, which have no entry of their own.
        ID_HELP_FINDER = 57667,
        ID_HELP = 57669,
        ID_DEFAULT_HELP = 57671,

        // The response graph's commands. Its axis menus list the table's columns and carry
        // the column in each entry, so they have no ids of their own.
        ID_Y_SPIKE_RATE = 32778,
        ID_Y_DEPTH_MATCHED = 32779,
        ID_Y_REVCORR = 32780,
        ID_GRAPH_FONT = 32789,
        ID_MAXIMIZE = 32790,
        ID_RESTORE = 32791,
        ID_GRAPH_PROPERTIES = 32798,
        ID_SHOW_GUIDE_LINES = 32800,
        ID_COPY_DATA = 32801,
        ID_CROSS_HAIR_CURSOR = 32806,
        ID_SET_OPTIMAL_VALUE = 32807,
        ID_X_TIME = 32846,
        ID_SET_SELECTION = 32848,
        ID_FIGURE_ALL = 32872,
        ID_SMALL_VIEW = 32874,
        ID_BIG_VIEW = 32875,
        ID_PLOT_BUBBLE = 32881,
        ID_PLOT_BLOB = 32882,
        ID_PLOT_ROOF = 32883,
        ID_PLOT_EDGE = 32884,
        ID_DRAW_RDROOF = 32885,
        ID_DRAW_RDEDGE = 32886,
        ID_PLOT_INVERT_ROOF = 32887,
        ID_PLOT_INVERT_EDGE = 32888,
        ID_PLOT_LINE = 32891,
        ID_APPLY_MACRO = 32894,
        ID_DRAW_SOLIDROOF = 32895,
        ID_DRAW_BORDER_OWNERSHIP = 32896,
        ID_PLOT_LINE_SMOOTHED = 32903,
        ID_SWITCH_RIDGE = 32905,
        ID_REVCORR_DIALOG = 32908,
        ID_EDIT_COPY = 57634,
        ID_FILE_PRINT = 57607,
        ID_FILE_PRINT_PREVIEW = 57609,
        // Not of the original menus: the plot saved as a picture (PNG, SVG or PDF).
        ID_EXPORT_GRAPH = 33000,
    };

    virtual ~ICommandTarget() = default;
    // Runs the command; false when it is not this target's.
    virtual bool OnCommand(int id) = 0;
    // The state of the command's menu entry; false when this target has no say in it.
    virtual bool OnUpdateCommand(int id, bool& enabled, bool& checked) const = 0;
};

} // namespace orvix
