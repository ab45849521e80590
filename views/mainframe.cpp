#include "views/mainframe.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <string>

#include "document/commandtarget.h"
#include "document/observer.h"

namespace orvix {

namespace {
// Menu texts carry the Windows forms: "&" marks the mnemonic, "\t" leads the shortcut.
QString MenuText(const char* text)
{
    QString t = QString::fromLatin1(text);
    int tab = t.indexOf('\t');
    return tab >= 0 ? t.left(tab) : t;
}

using Id = ICommandTarget;
} // namespace

CMainFrame::CMainFrame(std::vector<ICommandTarget*> targets) : targets_(std::move(targets))
{
    setObjectName("Orvix");
    setWindowTitle("Orvix");
    QMenu* file = menuBar()->addMenu("&File");
    AddCommand(file, Id::ID_FILE_NEW, "&New\tCtrl+N");
    AddCommand(file, Id::ID_FILE_OPEN, "&Open...\tCtrl+O")->setShortcut(QKeySequence::Open);
    AddCommand(file, Id::ID_FILE_SAVE, "&Save\tCtrl+S")->setShortcut(QKeySequence::Save);
    AddCommand(file, Id::ID_FILE_SAVE_AS, "Save &As...");
    file->addSeparator();
    AddCommand(file, Id::ID_FILE_PRINT_SETUP, "P&rint Setup...");
    file->addSeparator();
    AddCommand(file, Id::ID_APP_EXIT, "E&xit");

    QMenu* experiment = menuBar()->addMenu("&Experiment");
    AddCommand(experiment, Id::ID_SAVE_PARAMETERS, "&Save parameters");
    AddCommand(experiment, Id::ID_RESET_PARAMETERS, "&Reset parameters");
    AddCommand(experiment, Id::ID_CONTROL_PANEL, "&Control Panel...");
    AddCommand(experiment, Id::ID_ENABLE, "&Enable", true);
    AddCommand(experiment, Id::ID_TRANSFORM, "&Transform");
    AddCommand(experiment, Id::ID_EXPORT_DATA, "Export Data...");
    AddCommand(experiment, Id::ID_ALIGN_TRIALS, "Align trials ...");
    AddCommand(experiment, Id::ID_LOAD_FORMAT, "&Load Format", true);
    AddCommand(experiment, Id::ID_FILE_MERGING_MODE, "File Merging Mode", true);

    QMenu* view = menuBar()->addMenu("&View");
    for (int channel = 0; channel < kChannelCount; ++channel) {
        int id = channel == 0 ? Id::ID_CHANNEL_0 : Id::ID_CHANNEL_1 + channel - 1;
        std::string text = "Channel &" + std::to_string(channel);
        AddCommand(view, id, text.c_str(), true);
    }
    // Check marks and enabled states follow the targets each time a menu opens.
    for (QMenu* menu : {file, experiment, view})
        connect(menu, &QMenu::aboutToShow, [this, menu] { UpdateCommandStates(menu); });

    QMenu* help = menuBar()->addMenu("&Help");
    AddCommand(help, Id::ID_APP_ABOUT, "&About Orvix...");
}

QAction* CMainFrame::AddCommand(QMenu* menu, int id, const char* text, bool checkable)
{
    QAction* action = menu->addAction(MenuText(text));
    action->setData(id);
    action->setCheckable(checkable);
    connect(action, &QAction::triggered, this, [this, id] { RouteCommand(id); });
    return action;
}

bool CMainFrame::RouteCommand(int id)
{
    for (ICommandTarget* target : targets_)
        if (target->OnCommand(id))
            return true;
    return false;
}

void CMainFrame::UpdateCommandStates(QMenu* menu)
{
    for (QAction* action : menu->actions()) {
        if (!action->data().isValid())
            continue;
        bool enabled = true, checked = false;
        for (ICommandTarget* target : targets_) {
            if (target->OnUpdateCommand(action->data().toInt(), enabled, checked)) {
                action->setEnabled(enabled);
                if (action->isCheckable())
                    action->setChecked(checked);
                break;
            }
        }
    }
}

QAction* CMainFrame::Action(int commandId) const
{
    for (QAction* a : findChildren<QAction*>())
        if (a->data().toInt() == commandId)
            return a;
    return nullptr;
}

} // namespace orvix
