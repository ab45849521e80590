#include "app/controlpanel_owner.h"

#include "analysis/stat.h"
#include "panel/controlpanel.h"

namespace orvix {

CControlPanelOwner::CControlPanelOwner(COrvixDoc& doc, CExperiment& experiment, HMODULE statLibrary)
    : doc_(doc), experiment_(experiment), statLibrary_(statLibrary)
{
}

CControlPanelOwner::~CControlPanelOwner() = default;

void CControlPanelOwner::Create()
{
    if (!panel_)
        panel_ = std::make_unique<CControlPanel>(&doc_, experiment_, statLibrary_, "ControlPanel", nullptr, 0);
}

void CControlPanelOwner::Show(bool show)
{
    if (panel_)
        panel_->setVisible(show);
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

void CControlPanelOwner::Destroy() { panel_.reset(); }

void CControlPanelOwner::SetStatLibrary(HMODULE library)
{
    statLibrary_ = library;
    if (panel_)
        panel_->StatPage()->SetLibrary(library);
}

} // namespace orvix
