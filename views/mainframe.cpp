#include "views/mainframe.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <string>

#include "app/orvixapp.h"
#include "document/orvixdoc.h"

namespace orvix {

namespace {
// Menu texts carry the Windows forms: "&" marks the mnemonic, "\t" leads the shortcut.
QString MenuText(const char* text)
{
    QString t = QString::fromLatin1(text);
    int tab = t.indexOf('\t');
    return tab >= 0 ? t.left(tab) : t;
}
} // namespace

CMainFrame::CMainFrame(COrvixApp& app, COrvixDoc& doc) : app_(app), doc_(doc)
{
    setObjectName("Orvix");
    setWindowTitle("Orvix");
    QMenu* file = menuBar()->addMenu("&File");
    connect(AddCommand(file, COrvixApp::ID_FILE_NEW, "&New\tCtrl+N"), &QAction::triggered, [this] { app_.OnFileNew(); });
    QAction* open = AddCommand(file, COrvixApp::ID_FILE_OPEN, "&Open...\tCtrl+O");
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, [this] { app_.OnFileOpen(); });
    QAction* save = AddCommand(file, COrvixApp::ID_FILE_SAVE, "&Save\tCtrl+S");
    save->setShortcut(QKeySequence::Save);
    connect(save, &QAction::triggered, [this] { app_.OnFileSave(); });
    connect(AddCommand(file, COrvixApp::ID_FILE_SAVE_AS, "Save &As..."), &QAction::triggered,
            [this] { app_.OnFileSaveAs(); });
    file->addSeparator();
    AddCommand(file, COrvixApp::ID_FILE_PRINT_SETUP, "P&rint Setup...");
    file->addSeparator();
    connect(AddCommand(file, COrvixApp::ID_APP_EXIT, "E&xit"), &QAction::triggered, qApp, &QApplication::closeAllWindows);

    QMenu* experiment = menuBar()->addMenu("&Experiment");
    connect(AddCommand(experiment, 32858, "&Save parameters"), &QAction::triggered, [this] { doc_.OnSaveParameters(); });
    connect(AddCommand(experiment, 32776, "&Reset parameters"), &QAction::triggered, [this] { doc_.OnResetParameters(); });

    // The document's own commands: control panel, experiment switch, data commands, channels.
    const struct {
        int id;
        const char* text;
        bool checkable;
    } documentCommands[] = {
        {COrvixDoc::ID_CONTROL_PANEL, "&Control Panel...", false},
        {COrvixDoc::ID_ENABLE, "&Enable", true},
        {COrvixDoc::ID_TRANSFORM, "&Transform", false},
        {COrvixDoc::ID_LOAD_FORMAT, "&Load Format", true},
        {COrvixDoc::ID_FILE_MERGING_MODE, "File Merging Mode", true},
    };
    for (const auto& c : documentCommands) {
        QAction* action = AddCommand(experiment, c.id, c.text);
        action->setCheckable(c.checkable);
        int id = c.id;
        connect(action, &QAction::triggered, [this, id] { doc_.OnCommand(id); });
    }
    QMenu* view = menuBar()->addMenu("&View");
    for (int channel = 0; channel < kChannelCount; ++channel) {
        int id = channel == 0 ? COrvixDoc::ID_CHANNEL_0 : COrvixDoc::ID_CHANNEL_1 + channel - 1;
        std::string text = "Channel &" + std::to_string(channel);
        QAction* action = AddCommand(view, id, text.c_str());
        action->setCheckable(true);
        connect(action, &QAction::triggered, [this, id] { doc_.OnCommand(id); });
    }
    // Check marks and enabled states follow the document each time a menu opens.
    for (QMenu* menu : {file, experiment, view})
        connect(menu, &QMenu::aboutToShow, [this, menu] { UpdateCommandStates(menu); });

    QMenu* help = menuBar()->addMenu("&Help");
    connect(AddCommand(help, COrvixApp::ID_APP_ABOUT, "&About Orvix..."), &QAction::triggered, [this] { app_.OnAppAbout(); });
}

QAction* CMainFrame::AddCommand(QMenu* menu, int id, const char* text)
{
    QAction* action = menu->addAction(MenuText(text));
    action->setData(id);
    return action;
}

void CMainFrame::UpdateCommandStates(QMenu* menu)
{
    for (QAction* action : menu->actions()) {
        bool enabled = true, checked = false;
        if (action->data().isValid() && doc_.OnUpdateCommand(action->data().toInt(), enabled, checked)) {
            action->setEnabled(enabled);
            if (action->isCheckable())
                action->setChecked(checked);
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
