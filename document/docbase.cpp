#include "document/docbase.h"

#include "platform/ui/ui.h"

namespace orvix {

void CDocument::UpdateAllViews(IDocObserver* sender, UpdateHint hint, const CTrial* trial)
{
    DocUpdate update{hint, trial};
    Notify([&](IDocObserver& o) {
        if (&o != sender)
            o.OnUpdate(sender, update);
    });
}

bool CDocument::OnNewDocument()
{
    DeleteContents();
    SetPathName("");
    SetModifiedFlag(false);
    return true;
}

bool CDocument::SaveModified()
{
    return SaveModified([this] { return DoFileSave() || DoSaveAs(); });
}

bool CDocument::SaveModified(const std::function<bool()>& save)
{
    if (!modified_)
        return true;
    std::string name = title_.empty() ? std::string("Untitled") : title_;
    switch (MessageBox("Save changes to " + name + "?", MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDCANCEL:
        return false;
    case IDYES:
        return save();
    default:
        return true;
    }
}

} // namespace orvix
