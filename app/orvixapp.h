// COrvixApp: the application object. It starts the program in a fixed order, runs the
// main loop that interleaves one experiment pass with the handling of events while an
// experiment is enabled, turns F1..F8 into channel commands, and shuts down.
#pragma once
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "document/commandtarget.h"
#include "platform/runtime/library.h"
#include "runner/experiment.h"

class QMenuBar;
class QTimer;

namespace orvix {

class CAnalysisCommands;
class CControlPanelOwner;
class CHelpWindow;
class CMainFrame;
class COrvixDoc;
class CQuitSignals;
class CSimulatedSubject;
class CTestRun;

class COrvixApp : public QObject, public ICommandTarget {
    Q_OBJECT
public:
    static constexpr int kRecentFileCount = 8;

    COrvixApp();
    ~COrvixApp() override;

    // Start-up; false ends the program. `embedded` tells that an OLE container asked for
    // us, which cannot happen here: the program then says so and ends.
    bool InitInstance(const QStringList& arguments);
    // The main loop; returns the exit code.
    int Run();
    int ExitInstance();

    void OnFileOpen();
    void OnFileNew();
    // Both true when the document was written.
    bool OnFileSave();
    bool OnFileSaveAs();
    // Before the window closes: a modified document may be saved (Yes: to its file, or to
    // one the user names), kept unsaved (No) or the closing refused (Cancel).
    bool SaveModifiedDocument();
    // Whether the document may be closed or replaced: no test runs, and the user has
    // saved or dropped its changes.
    bool MayLeaveDocument();
    void OnAppAbout();
    // Help > "&Help Topics": the program's documentation in a window of its own.
    void OnHelpTopics();
    // A request to end from outside (SIGTERM, SIGINT, SIGHUP): the program leaves as File >
    // Exit does, once a running test is stopped and the dialogs that wait for the user are
    // ended as their Escape would end them.
    void LeaveOnRequest();
    // The desktop session ends and lets the program ask: a running test is stopped and the
    // document's changes may be saved; false when the user would rather keep the session.
    bool OnSessionEnd();
    // The menu hook: it receives the main menu at start-up and from "&Organize
    // templetes...", and leaves it as it is.
    void SetupMenu(QMenuBar*) {}
    // Opens a data file into the document; false when it could not be opened.
    bool OpenDocumentFile(const std::string& path);
    // The same once the user was asked about unsaved changes (an export asks once for all
    // the files it visits): the document, the recent-file list and the views follow the file.
    bool LoadDocumentFile(const std::string& path);

    // The file, exit, about and control-panel commands.
    bool OnCommand(int id) override;
    bool OnUpdateCommand(int id, bool& enabled, bool& checked) const override { return false; }

    COrvixDoc* Document() const { return doc_.get(); }
    CMainFrame* MainFrame() const { return mainFrame_.get(); }
    CExperiment& Experiment() { return experiment_; }
    CControlPanelOwner* ControlPanels() const { return panels_.get(); }
    // The statistics library's module handle, null when it is not loaded.
    HMODULE g_hStatLibrary() const { return statLibrary_; }
    bool IsEmbedded() const { return embedded_; }
    const std::vector<std::string>& RecentFiles() const { return recentFiles_; }

    // One experiment pass: analog steering, a task step, eye sampling, a view refresh.
    void ExperimentPass();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadRecentFiles();
    void AddRecentFile(const std::string& path);
    void OnRunFlagChanged(int flag);
    // Frees the statistics library once no estimate is inside it.
    void UnloadStatLibrary();
    // The Test page's run, while the panel exists.
    CTestRun* PanelTestRun() const;
    bool TestRunActive() const;
    // As the Test page's Stop: the trial in progress ends unstored.
    void StopTestRun();
    static constexpr int kStatJobExitWaitMs = 30000;

    // The experiment outlives the document attached to it.
    CExperiment experiment_;
    HMODULE statLibrary_ = nullptr;
    std::unique_ptr<COrvixDoc> doc_;
    std::unique_ptr<CControlPanelOwner> panels_;
    std::unique_ptr<CAnalysisCommands> analysisCommands_;
    std::unique_ptr<CMainFrame> mainFrame_;
    // A window of the main frame's, shown again when asked again.
    QPointer<CHelpWindow> help_;
    QTimer* passTimer_ = nullptr;
    // Inside one of the document's long waits (nested event handling).
    int waitDepth_ = 0;
    static constexpr int kWaitPollMs = 10;
    // The experiment passes' pace: the task's timing resolution.
    static constexpr int kPassIntervalMs = 1;
    bool embedded_ = false;
    bool capsLock_ = false;
    std::vector<std::string> recentFiles_;
    // With ORVIX_SIMULATED_SUBJECT=1 a simulated subject answers on the key.
    std::unique_ptr<CSimulatedSubject> subject_;
    std::unique_ptr<CQuitSignals> quitSignals_;
    // The main loop runs; a request to end that came before it waits for it.
    bool looping_ = false;
    // A request to end is being carried out: what stands in its way is ended, one step a turn.
    bool leaveRequested_ = false;
    QTimer* leaveRetry_ = nullptr;
    void GoOnLeaving();
    // How often a request to end looks again whether it may go on.
    static constexpr int kLeaveRetryMs = 100;
};

// What the command line asks for. On this system every absolute path begins with '/', so
// a switch is told from a path by what it names: the switches the program knows stay
// switches, an existing file is a file, and so is anything with a '/' after its first
// character; what is left and begins with '-' or '/' is a switch the program does not know.
struct CommandLine {
    bool embedded = false; // "Embedding" or "Automation"
    std::string file;      // the first data file named; "" none
    std::vector<std::string> unknownSwitches;
};
// arguments[0] is the program.
CommandLine ParseCommandLine(const QStringList& arguments);

// The directory part of a document path, up to and including its last separator, as the
// open dialog's starting point ("" when there is none).
std::string OpenDialogStart(const std::string& documentPath);
// A document's path (the program's text, in either form) as the recent-file list names it.
std::string RecentFileForm(const std::string& path);

} // namespace orvix
