// The main frame's figure templates: the document's figure settings kept in the registry
// under a name, listed in the View menu and applied back from there.
#include <QAction>
#include <QMenu>

#include "document/orvixdoc.h"
#include "model/inputstringdlg.h"
#include "platform/text/qtext.h"
#include "platform/ui/ui.h"
#include "views/mainframe.h"

namespace orvix {

void CMainFrame::OnAddTemplate()
{
    CInputStringDlg dialog(this);
    if (UI().RunModal(dialog) != IDOK || dialog.IsEmpty())
        return;
    const std::string& name = dialog.GetString();
    if (!SaveFigureTemplate(doc_.BuildFigureTemplate(name)))
        MessageBox("Can't store the template \"" + name + "\" in the registry.");
}

void CMainFrame::ApplyTemplate(const std::string& name)
{
    CFigureTemplate figureTemplate;
    if (FindFigureTemplate(name, figureTemplate))
        doc_.ApplyFigureTemplate(figureTemplate);
}

void CMainFrame::UpdateTemplateEntries(QMenu* view)
{
    for (QAction* old : templateActions_)
        delete old;
    templateActions_.clear();
    std::vector<CFigureTemplate> templates = LoadFigureTemplates();
    if (templates.empty())
        return;
    templateActions_.push_back(view->addSeparator());
    for (const CFigureTemplate& t : templates) {
        // A '&' of the name is shown, not taken as the entry's mnemonic.
        QAction* action = view->addAction(ToQ(t.name).replace('&', "&&"));
        const std::string name = t.name;
        connect(action, &QAction::triggered, this, [this, name] { ApplyTemplate(name); });
        templateActions_.push_back(action);
    }
}

} // namespace orvix
