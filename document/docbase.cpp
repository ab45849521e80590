#include "document/docbase.h"

#include "platform/ui.h"

namespace orvix {

void CDocument::UpdateAllViews(IDocView* sender, int hint, void* object)
{
    // A view may unregister while being told; walk a copy.
    std::vector<IDocView*> views = views_;
    for (IDocView* v : views)
        if (v != sender)
            v->OnUpdate(sender, hint, object);
}

bool CDocument::OnNewDocument()
{
    DeleteContents();
    pathName_.clear();
    SetModifiedFlag(false);
    return true;
}

bool CDocument::SaveModified()
{
    if (!modified_)
        return true;
    std::string name = title_.empty() ? std::string("Untitled") : title_;
    switch (MessageBox("Save changes to " + name + "?", MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDCANCEL:
        return false;
    case IDYES:
        return DoFileSave();
    default:
        return true;
    }
}

} // namespace orvix
