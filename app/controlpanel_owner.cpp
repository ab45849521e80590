#include "app/controlpanel_owner.h"

#include "analysis/stat.h"
#include "panel/controlpanel.h"

namespace orvix {

CControlPanelOwner::CControlPanelOwner(COrvixDoc& doc, CExperiment& experiment, HMODULE statLibrary)
    : doc_(doc), experiment_(experiment), statLibrary_(statLibrary)
{
}

CControlPanelOwner::~CControlPanelOwner() { Destroy(); }

CControlPanel* CControlPanelOwner::Get() const { return panel_.data(); }

void CControlPanelOwner::Create()
{
    if (!panel_)
        panel_ = new CControlPanel(&doc_, experiment_, statLibrary_, "ControlPanel", mainWindow_, 0);
}

void CControlPanelOwner::Show(bool show)
{
    if (!panel_)
        return;
    panel_->setVisible(show);
    if (show) {
        panel_->raise();
        panel_->activateWindow();
    }
}

void CControlPanelOwner::Toggle()
{
    if (panel_) {
        Show(!panel_->isVisible());
        return;
    }
    Create();
    Show(true);
}

void CControlPanelOwner::Destroy() { delete panel_.data(); }

void CControlPanelOwner::SetStatLibrary(HMODULE library)
{
    statLibrary_ = library;
    if (panel_)
        panel_->StatPage()->SetLibrary(library);
}

} // namespace orvix
