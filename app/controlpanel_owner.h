// CControlPanelOwner: creates, shows and destroys the document's control panel. The panel
// lives exactly as long as this owner says; it is a tool window of the main window, so it
// stays above it, and the owner destroys it before the main window goes.
#pragma once
#include <QPointer>

class QWidget;

#include "platform/runtime/library.h"

namespace orvix {

class CControlPanel;
class CExperiment;
class COrvixDoc;

class CControlPanelOwner {
public:
    CControlPanelOwner(COrvixDoc& doc, CExperiment& experiment, HMODULE statLibrary = nullptr);
    ~CControlPanelOwner();

    // The panel, or null while there is none.
    CControlPanel* Get() const;
    // Makes the panel (hidden) when there is none.
    void Create();
    void Show(bool show);
    // "&Control Panel...": a missing panel is made and shown, a shown one hidden, a hidden
    // one shown.
    void Toggle();
    void Destroy();
    // The statistics library the panel binds its functions from (null: none).
    void SetStatLibrary(HMODULE library);
    // The window the panel stays above (null: a window of its own); for panels made from
    // now on.
    void SetMainWindow(QWidget* window) { mainWindow_ = window; }

private:
    COrvixDoc& doc_;
    CExperiment& experiment_;
    HMODULE statLibrary_;
    QWidget* mainWindow_ = nullptr;
    QPointer<CControlPanel> panel_;
};

} // namespace orvix
