// CMainFrame: the program's main window with its menus.
#pragma once
#include <QMainWindow>

class QAction;

namespace orvix {

class COrvixApp;
class COrvixDoc;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame(COrvixApp& app, COrvixDoc& doc);

    // The action of a command id (the menu's own numbers), or null.
    QAction* Action(int commandId) const;

    // Sets the enabled and checked states of a menu's entries from the document.
    void UpdateCommandStates(class QMenu* menu);

private:
    QAction* AddCommand(class QMenu* menu, int id, const char* text);

    COrvixApp& app_;
    COrvixDoc& doc_;
};

} // namespace orvix
