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
    };

    virtual ~ICommandTarget() = default;
    // Runs the command; false when it is not this target's.
    virtual bool OnCommand(int id) = 0;
    // The state of the command's menu entry; false when this target has no say in it.
    virtual bool OnUpdateCommand(int id, bool& enabled, bool& checked) const = 0;
};

} // namespace orvix
