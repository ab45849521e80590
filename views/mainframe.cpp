#include "views/mainframe.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

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

    QMenu* help = menuBar()->addMenu("&Help");
    connect(AddCommand(help, COrvixApp::ID_APP_ABOUT, "&About Orvix..."), &QAction::triggered, [this] { app_.OnAppAbout(); });
}

QAction* CMainFrame::AddCommand(QMenu* menu, int id, const char* text)
{
    QAction* action = menu->addAction(MenuText(text));
    action->setData(id);
    return action;
}

QAction* CMainFrame::Action(int commandId) const
{
    for (QAction* a : findChildren<QAction*>())
        if (a->data().toInt() == commandId)
            return a;
    return nullptr;
}

} // namespace orvix
