// CMainFrame: the program's main window with its menus. It knows the commands by their
// ids only and hands each to its targets in turn (the document, then the application).
#pragma once
#include <QMainWindow>
#include <vector>

class QAction;
class QMenu;

namespace orvix {

class ICommandTarget;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(std::vector<ICommandTarget*> targets);

    // The action of a command id, or null.
    QAction* Action(int commandId) const;
    // Sets the enabled and checked states of a menu's entries from the targets.
    void UpdateCommandStates(QMenu* menu);
    // Runs a command on the first target that takes it; false when none does.
    bool RouteCommand(int id);

private:
    QAction* AddCommand(QMenu* menu, int id, const char* text, bool checkable = false);

    std::vector<ICommandTarget*> targets_;
};

} // namespace orvix
