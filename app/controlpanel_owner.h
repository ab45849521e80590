// CControlPanelOwner: creates, shows and destroys the document's control panel. The panel
// has no parent window: it lives exactly as long as this owner says, never deleted behind
// its back by a parent.
#pragma once
#include <memory>

#include "platform/library.h"

namespace orvix {

class CControlPanel;
class CExperiment;
class COrvixDoc;

class CControlPanelOwner {
public:
    CControlPanelOwner(COrvixDoc& doc, CExperiment& experiment, HMODULE statLibrary = nullptr);
    ~CControlPanelOwner();

    // The panel, or null while there is none.
    CControlPanel* Get() const { return panel_.get(); }
    // Makes the panel (hidden) when there is none.
    void Create();
    void Show(bool show);
    // "&Control Panel...": a missing panel is made and shown, a shown one hidden, a hidden
    // one shown.
    void Toggle();
    void Destroy();
    // The statistics library the panel binds its functions from (null: none).
    void SetStatLibrary(HMODULE library);

private:
    COrvixDoc& doc_;
    CExperiment& experiment_;
    HMODULE statLibrary_;
    std::unique_ptr<CControlPanel> panel_;
};

} // namespace orvix
