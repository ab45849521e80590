#include "app/orvixapp.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QSessionManager>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "analysis/statjob.h"
#include "app/analysiscommands.h"
#include "app/channelkeys.h"
#include "app/controlpanel_owner.h"
#include "app/filedialogs.h"
#include "app/helpwindow.h"
#include "app/qt_ui.h"
#include "document/orvixdoc.h"
#include "export/datasourcedlg.h"
#include "export/odbcfilename.h"
#include "panel/controlpanel.h"
#include "panel/testpage.h"
#include "platform/devices/simsubject.h"
#include "platform/files/paths.h"
#include "platform/net/instances.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/eventpump.h"
#include "platform/runtime/quitsignals.h"
#include "platform/settings/registry.h"
#include "platform/text/numbers.h"
#include "platform/text/qtext.h"
#include "platform/ui/ui.h"
#include "views/framelogic.h"
#include "views/mainframe.h"

namespace orvix {

namespace {

const char* const kRecentKey = "Software\\Morvane\\Orvix\\Recent File List";

bool IsKnownSwitch(const QString& argument)
{
    if (!argument.startsWith('/') && !argument.startsWith('-'))
        return false;
    QString name = argument.mid(1);
    return name.compare("Embedding", Qt::CaseInsensitive) == 0 || name.compare("Automation", Qt::CaseInsensitive) == 0;
}

} // namespace

CommandLine ParseCommandLine(const QStringList& arguments)
{
    CommandLine line;
    for (const QString& a : arguments.mid(1)) {
        std::error_code error;
        std::string text = PathFromQ(a);
        if (IsKnownSwitch(a)) {
            line.embedded = true;
        } else if (!std::filesystem::exists(text, error)
                   && (a.startsWith('-') || (a.startsWith('/') && a.indexOf('/', 1) < 0))) {
            line.unknownSwitches.push_back(text);
        } else if (line.file.empty()) {
            // Only the first file: a single-document program opens one.
            line.file = text;
        }
    }
    return line;
}

COrvixApp::COrvixApp() = default;

COrvixApp::~COrvixApp()
{
    experiment_.runner.onRunFlagChanged = nullptr;
    experiment_.deviceIO.onCommandSent = nullptr;
    if (qApp)
        qApp->removeEventFilter(this);
    // The panel is a tool window of the main frame: it goes first.
    panels_.reset();
    mainFrame_.reset();
    // After the frame: a second signal meanwhile still removes the instance socket.
    quitSignals_.reset();
    analysisCommands_.reset();
    doc_.reset();
    subject_.reset();
    UnloadStatLibrary();
}

void COrvixApp::UnloadStatLibrary()
{
    if (!statLibrary_)
        return;
    // A cancelled estimate may still be inside the library, finishing in the background
    // (the page refuses designs that would take long). Unloading the library under it would
    // crash the exit; if it does not end in time the library stays until the process ends.
    if (WaitForStatJobs(kStatJobExitWaitMs))
        FreeLibrary(statLibrary_);
    statLibrary_ = nullptr;
}

std::string OpenDialogStart(const std::string& documentPath)
{
    size_t at = documentPath.find_last_of("\\/");
    return at == std::string::npos ? std::string() : documentPath.substr(0, at + 1);
}

bool COrvixApp::InitInstance(const QStringList& arguments)
{
    // Window class, sockets, OLE and the 3-D look have no counterpart on this platform.
    QCoreApplication::setOrganizationName("Morvane");
    QCoreApplication::setApplicationName("Orvix");
    // A broken installation that cannot convert text is said before any text is read: the
    // program then refuses what it cannot convert (stderr has it too).
    if (const std::string problem = TextConverterProblem(); !problem.empty())
        MessageBox(problem, MB_ICONERROR);
    LoadRecentFiles();

    const CommandLine commandLine = ParseCommandLine(arguments);
    if (commandLine.embedded) {
        embedded_ = true;
        fprintf(stderr, "Orvix: started as an embedded or automation server, which this platform does not "
                        "support; no container can reach the program here.\n");
        return false;
    }

    // First, so that a signal also ends a dialog of the start-up, before the main window is
    // there; the program then leaves once its loop runs.
    quitSignals_ = std::make_unique<CQuitSignals>([this](int sig) {
        const char* name = sigabbrev_np(sig);
        fprintf(stderr, "Orvix: SIG%s: leaving as File > Exit does; a second signal ends the program at once.\n",
                name ? name : "?");
        LeaveOnRequest();
    });
    leaveRetry_ = new QTimer(this);
    leaveRetry_->setSingleShot(true);
    connect(leaveRetry_, &QTimer::timeout, this, [this] { GoOnLeaving(); });
    if (const char* simulate = getenv("ORVIX_SIMULATED_SUBJECT"); simulate && std::string(simulate) == "1")
        subject_ = std::make_unique<CSimulatedSubject>();
    doc_ = std::make_unique<COrvixDoc>();
    experiment_.Attach(doc_.get());
    experiment_.FeedSimulators(subject_.get());
    panels_ = std::make_unique<CControlPanelOwner>(*doc_, experiment_);
    doc_->hooks.createControlPanel = [this] { panels_->Create(); };
    // The experiment switch's long waits serve events but run no experiment pass, as the
    // main loop's passes never run inside a wait: a pass while the scene loads would find
    // no task compiled yet and switch the experiment off again. A request to quit ends the
    // wait and is made again for the main loop.
    doc_->hooks.pumpMessages = [this](int maxWaitMs) {
        ++waitDepth_;
        bool go = PumpEventsUnlessQuit(maxWaitMs);
        --waitDepth_;
        return go;
    };
    analysisCommands_ =
        std::make_unique<CAnalysisCommands>(*doc_, [this](const std::string& path) { return LoadDocumentFile(path); });
    mainFrame_ = std::make_unique<CMainFrame>(
        *doc_, experiment_, std::vector<ICommandTarget*>{doc_.get(), this, analysisCommands_.get()});
    mainFrame_->hooks.openDocument = [this](const std::string& path) { return OpenDocumentFile(path); };
    panels_->SetMainWindow(mainFrame_.get());
    if (mainFrame_->Handshake())
        quitSignals_->RemoveOnAbruptEnd(mainFrame_->Handshake()->SocketPath());
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (!manager.allowsInteraction())
            return;
        if (!OnSessionEnd())
            manager.cancel();
        manager.release();
    });
    mainFrame_->hooks.saveModified = [this] { return MayLeaveDocument(); };
    mainFrame_->hooks.recentFiles = [this] { return recentFiles_; };
    mainFrame_->hooks.setupMenu = [this](QMenuBar* menu) { SetupMenu(menu); };
    // The input box's "ODBC://" texts: the names the query gives, read through ODBC, and the
    // larger editor of the box's text.
    mainFrame_->hooks.odbcFileNames = [](const OdbcSource& source, std::vector<std::string>& names,
                                         std::string& error) {
        OdbcInputSpec spec{source.user, source.password, source.database, source.statement, source.hasUser,
                           source.hasPassword};
        return ReadOdbcFileNames(spec, names, error);
    };
    mainFrame_->hooks.editDataSource = [this](std::string& text) { return CDataSourceDlg::Edit(text, mainFrame_.get()); };
    doc_->hooks.askOtherInstances = [this] { return mainFrame_ && mainFrame_->AskOtherInstances(); };
    doc_->hooks.addRecentFile = [this](const std::string& path) { AddRecentFile(path); };
    // Not only the menu: the shortcut of "&Open..." must not work during a test run either.
    doc_->hooks.testRunChanged = [this](bool) {
        if (QAction* open = mainFrame_ ? mainFrame_->Action(ID_FILE_OPEN) : nullptr)
            open->setEnabled(doc_->OnUpdateFileOpen());
    };

    // The shell command: a data file named on the command line is opened, else a new
    // document is started. A switch the program does not know changes nothing.
    for (const std::string& unknown : commandLine.unknownSwitches)
        MessageBox("Unknown command-line switch \"" + unknown + "\" ignored.", MB_ICONWARNING);
    if (!commandLine.file.empty()) {
        if (!OpenDocumentFile(commandLine.file))
            return false;
    } else if (!doc_->OnNewDocument()) {
        return false;
    }
    // The screen's size first: without a window manager "maximised" means nothing.
    if (QScreen* screen = mainFrame_->screen())
        mainFrame_->setGeometry(screen->availableGeometry());
    mainFrame_->showMaximized();
    mainFrame_->LayoutPanes();
    panels_->Create();
    SetupMenu(mainFrame_->menuBar());

    // The 1 ms timer resolution is the default on Linux: nothing to raise. One pass per
    // millisecond: between passes the loop sleeps until an event comes or the next
    // pass is due, as a Test run's passes wait, so an enabled experiment does not spin a core
    // between tests.
    passTimer_ = new QTimer(this);
    passTimer_->setTimerType(Qt::PreciseTimer);
    passTimer_->setInterval(kPassIntervalMs);
    connect(passTimer_, &QTimer::timeout, this, [this] {
        // A Test run makes its own passes; it tells the run flag again when it is over.
        if (experiment_.runner.GetRunFlag() == 0 || (doc_ && doc_->testRunning)) {
            passTimer_->stop();
        } else if (waitDepth_ > 0) {
            // Looked at again once the wait is over, without spinning meanwhile.
            if (passTimer_->interval() != kWaitPollMs)
                passTimer_->setInterval(kWaitPollMs);
        } else {
            if (passTimer_->interval() != kPassIntervalMs)
                passTimer_->setInterval(kPassIntervalMs);
            if (experiment_.runner.GetRunFlag() != -1)
                ExperimentPass();
        }
    });
    experiment_.runner.onRunFlagChanged = [this](int flag) { OnRunFlagChanged(flag); };
    qApp->installEventFilter(this);

    doc_->AddLogLine(Format("Performance Counter Frequency: %.3f MHz",
                            experiment_.runner.GetPerformanceFrequency() * 0.000001));
    statLibrary_ = LoadLibrary("tarsel");
    panels_->SetStatLibrary(statLibrary_);
    doc_->AddLogLine(statLibrary_ ? "Library \"tarsel.dll\" loaded. " : "Can't load library \"tarsel.dll\". ");
    return true;
}

void COrvixApp::OnRunFlagChanged(int flag)
{
    // Passes run every millisecond while the flag is set; with the flag at 0 the loop sleeps
    // until an event comes.
    if (passTimer_ && flag != 0 && !passTimer_->isActive())
        passTimer_->start();
}

int COrvixApp::Run()
{
    OnRunFlagChanged(experiment_.runner.GetRunFlag());
    looping_ = true;
    if (leaveRequested_)
        leaveRetry_->start(0);
    QApplication::exec();
    looping_ = false;
    return ExitInstance();
}

CTestRun* COrvixApp::PanelTestRun() const
{
    CControlPanel* panel = panels_ ? panels_->Get() : nullptr;
    return panel && panel->TestPage() ? &panel->TestPage()->Run() : nullptr;
}

bool COrvixApp::TestRunActive() const
{
    CTestRun* run = PanelTestRun();
    return (doc_ && doc_->testRunning) || (run && run->IsRunning());
}

void COrvixApp::StopTestRun()
{
    CTestRun* run = PanelTestRun();
    if (doc_ && doc_->testRunning && run && run->IsRunning())
        run->Stop();
}

void COrvixApp::LeaveOnRequest()
{
    leaveRequested_ = true;
    GoOnLeaving();
}

void COrvixApp::GoOnLeaving()
{
    if (!leaveRequested_)
        return;
    // File > Exit cannot come while a dialog waits for the user or a test runs either. The
    // dialog on top is ended as its Escape would, and the rest waits until its caller has
    // gone on: that may end the dialog below, or show another, which is ended too. The run is
    // stopped as Stop does.
    if (EndActiveModal() || TestRunActive()) {
        StopTestRun();
        leaveRetry_->start(kLeaveRetryMs);
        return;
    }
    // During the start-up: the main loop leaves as soon as it runs.
    if (!looping_ || !mainFrame_)
        return;
    // The exit's own question (save the changes?) is the user's to answer; a further signal
    // meanwhile ends the program at once.
    leaveRequested_ = false;
    OnCommand(ID_APP_EXIT);
    // The user kept the program (Cancel): the next request asks again.
    if (mainFrame_->isVisible() && quitSignals_)
        quitSignals_->Rearm();
}

bool COrvixApp::OnSessionEnd()
{
    // The run cannot go on under an ending session; its trials so far are offered for saving.
    StopTestRun();
    return SaveModifiedDocument();
}

void COrvixApp::ExperimentPass()
{
    COrvixDoc* doc = doc_.get();
    if (!doc)
        return;
    if (!experiment_.runner.IsSwitchJoystick())
        doc->ApplyAnalogInputs();
    experiment_.runner.Step();
    experiment_.runner.SampleEye();
    doc->UpdateAllViews(nullptr, HINT_PASS);
}

int COrvixApp::ExitInstance()
{
    if (statLibrary_) {
        // Nothing may call into the library once it is gone.
        panels_->SetStatLibrary(nullptr);
        UnloadStatLibrary();
    }
    if (!embedded_)
        experiment_.runner.SetRunFlag(0);
    return 0;
}

bool COrvixApp::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !mainFrame_ || !doc_)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_CapsLock) {
        capsLock_ = !capsLock_;
        return false;
    }
    if (key->key() < Qt::Key_F1 || key->key() > Qt::Key_F8)
        return false;
    // Key events travel up the parents: act on the first delivery only.
    QWidget* focus = QApplication::focusWidget();
    QWidget* first = focus ? focus : QApplication::activeWindow();
    if (watched != first)
        return false;
    ChannelKey ck;
    ck.channel = key->key() - Qt::Key_F1;
    ck.shift = key->modifiers() & Qt::ShiftModifier;
    ck.ctrl = key->modifiers() & Qt::ControlModifier;
    ck.capsLock = capsLock_;
    ck.inCommentEdit = focus && focus->property("orvixCommentEdit").toBool();
    return HandleChannelKey(*doc_, ck);
}

void COrvixApp::OnFileOpen()
{
    // A test run records into the open document: no other may take its place meanwhile.
    if (!doc_ || !doc_->OnUpdateFileOpen())
        return;
    // Where the data are, as Save As: the document's folder, else the data folder.
    std::string path = AskOpenPath(mainFrame_.get(), doc_->SaveAsStart());
    if (!path.empty())
        OpenDocumentFile(path);
}

bool COrvixApp::OnFileSave()
{
    return doc_ && (doc_->DoFileSave() || OnFileSaveAs());
}

bool COrvixApp::OnFileSaveAs()
{
    if (!doc_)
        return false;
    std::string path = AskSaveAsPath(mainFrame_.get(), doc_->SaveAsStart());
    return !path.empty() && doc_->SaveAsFile(path);
}

bool COrvixApp::MayLeaveDocument()
{
    // A test run records into this document: it must be stopped before the document goes.
    if (doc_ && doc_->testRunning) {
        MessageBox("A test is running. Please stop it on the Test page first.");
        return false;
    }
    return SaveModifiedDocument();
}

bool COrvixApp::SaveModifiedDocument()
{
    // Yes saves as File > Save does: to the document's file, or to one the user names.
    return !doc_ || doc_->SaveModified([this] { return OnFileSave(); });
}

bool COrvixApp::OnCommand(int id)
{
    switch (id) {
    case ID_FILE_NEW: OnFileNew(); return true;
    case ID_FILE_OPEN: OnFileOpen(); return true;
    case ID_FILE_SAVE: OnFileSave(); return true;
    case ID_FILE_SAVE_AS: OnFileSaveAs(); return true;
    case ID_APP_ABOUT: OnAppAbout(); return true;
    case ID_HELP_FINDER:
    case ID_HELP:
    case ID_DEFAULT_HELP: OnHelpTopics(); return true;
    case ID_FILE_PRINT_SETUP:
        if (mainFrame_)
            mainFrame_->OnFilePrintSetup();
        return true;
    case ID_APP_EXIT:
        // The main window's close asks about the document; the panel, its tool window, goes
        // with it, and stays as it was when the close is refused.
        if (mainFrame_)
            mainFrame_->close();
        else
            QApplication::closeAllWindows();
        return true;
    case ID_CONTROL_PANEL:
        if (panels_)
            panels_->Toggle();
        return true;
    default: return false;
    }
}

void COrvixApp::OnFileNew()
{
    if (doc_ && MayLeaveDocument())
        doc_->OnNewDocument();
}

bool COrvixApp::OpenDocumentFile(const std::string& path)
{
    return doc_ && doc_->OnUpdateFileOpen() && MayLeaveDocument() && LoadDocumentFile(path);
}

bool COrvixApp::LoadDocumentFile(const std::string& path)
{
    // During a test run the file is refused as a disabled command is: without a word.
    if (!doc_ || !doc_->OnUpdateFileOpen())
        return false;
    if (!doc_->OnOpenDocument(path))
        return false;
    AddRecentFile(doc_->GetPathName());
    if (mainFrame_)
        mainFrame_->InitialUpdate();
    return true;
}

void COrvixApp::OnAppAbout()
{
    QDialog about(mainFrame_.get());
    about.setWindowTitle("About Orvix");
    auto* layout = new QVBoxLayout(&about);
    layout->addWidget(new QLabel("Orvix Version 1.0", &about));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
    layout->addWidget(buttons);
    UI().RunModal(about);
}

void COrvixApp::OnHelpTopics()
{
    if (!help_) {
        const std::vector<std::string> places = DocumentationPlaces();
        const std::string folder = FindDocumentation(places);
        if (folder.empty()) {
            std::string looked;
            for (const std::string& place : places)
                looked += "\n" + place;
            MessageBox("Orvix's documentation is the file README.md and the folder docs/ of its source tree. "
                       "They were not found in:"
                       + looked,
                       MB_ICONINFORMATION);
            return;
        }
        help_ = new CHelpWindow(folder, mainFrame_.get());
    }
    help_->show();
    help_->raise();
    help_->activateWindow();
}

void COrvixApp::LoadRecentFiles()
{
    recentFiles_.clear();
    HKEY key;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, kRecentKey, &key) != ERROR_SUCCESS)
        return;
    for (int i = 1; i <= kRecentFileCount; ++i) {
        std::string path;
        // Older runs listed every file by its path here.
        if (RegQueryValueEx(key, ("File" + std::to_string(i)).c_str(), &path) == ERROR_SUCCESS && !path.empty())
            recentFiles_.push_back(RecentFileForm(path));
    }
    RegCloseKey(key);
}

std::string RecentFileForm(const std::string& path)
{
    const std::string form = UnmapPath(LocalPath(path));
    return form.empty() ? path : form;
}

void COrvixApp::AddRecentFile(const std::string& documentPath)
{
    // The program's form where the file lies under a drive ("c:\data\day1.oxv"), as the data
    // folder and the exports name it; a path of this machine elsewhere.
    const std::string path = RecentFileForm(documentPath);
    recentFiles_.erase(std::remove(recentFiles_.begin(), recentFiles_.end(), path), recentFiles_.end());
    recentFiles_.insert(recentFiles_.begin(), path);
    if (recentFiles_.size() > static_cast<size_t>(kRecentFileCount))
        recentFiles_.resize(kRecentFileCount);
    HKEY key;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, kRecentKey, &key) != ERROR_SUCCESS)
        return;
    CRegistryTransaction transaction;
    for (size_t i = 0; i < recentFiles_.size(); ++i)
        RegSetValueEx(key, ("File" + std::to_string(i + 1)).c_str(), recentFiles_[i]);
    transaction.Commit();
    RegCloseKey(key);
}

} // namespace orvix
