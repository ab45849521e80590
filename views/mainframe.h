// CMainFrame: the program's main window. It lays the views out in splitters (response graphs
// on the left; trials over eye position on the right), carries the menus, the main and
// channel tool bars, the dialog bar (trial comment, input-file navigator) and the status
// panes with the experiment's live values, answers and starts the handshake between running
// instances, and switches loop-latency measuring. Menu commands it does not handle itself go
// by id to its targets in turn (the document, then the application).
//
// The views are refreshed on a display-rate timer: nothing is drawn from inside an
// experiment pass.
#pragma once
#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "document/observer.h"
#include "views/framelogic.h"

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QMimeData;
class QPrinter;
class QSplitter;
class QTimer;
class QToolBar;

namespace orvix {

class CChannelBar;
class CDialogBar;
class CExperiment;
class CFPView;
class CGraphView;
class CInstanceHandshake;
class CKeyboardState;
class COrvixDoc;
class COrvixView;
class ICommandTarget;

class CMainFrame : public QMainWindow, public IDocObserver {
    Q_OBJECT
public:
    // Display refresh while the experiment runs, and while it rests.
    static constexpr int kDisplayTickMs = 16;
    static constexpr int kIdleTickMs = 100;
    static constexpr size_t kRecentMenuEntries = 4;

    CMainFrame(COrvixDoc& doc, CExperiment& experiment, std::vector<ICommandTarget*> targets);
    ~CMainFrame() override;

    // ---- Commands ----
    // The action of a command id, or null.
    QAction* Action(int commandId) const;
    // Sets the enabled and checked states of a menu's entries from the targets.
    void UpdateCommandStates(QMenu* menu);
    // Runs a command: the frame's own, else on the first target that takes it; false when
    // none does.
    bool RouteCommand(int id);

    // ---- Panes ----
    QWidget* GraphPane() const { return graphPane_; }
    COrvixView* TrialView() const { return trialView_; }
    CFPView* EyeView() const { return eyeView_; }
    QSplitter* OuterSplitter() const { return outer_; }
    // The view that has (or last had) the focus: File Print prints it.
    QWidget* ActiveView() const { return activeView_; }
    QSplitter* InnerSplitter() const { return inner_; }
    // The graph column gets the client width - 244, the trial pane the height - 322.
    void LayoutPanes();
    // The given pane (one of the three) takes the whole client area.
    void MaximizePane(QWidget* pane);
    // A document was opened: the views start again from its first trial.
    void InitialUpdate();
    // Opens the first local file of dropped data; false when it holds none.
    bool OpenDroppedFile(const QMimeData& data);

    // ---- The channel tool bar ----
    CChannelBar* ChannelBar() const { return channelBar_; }
    void ShowChannelLevels(const std::array<int, kChannelCount>& levels);
    void UpdateChannelButton(int channel);

    // ---- The trial comment ----
    CDialogBar* DialogBar() const { return dialogBar_; }
    // Ignored while the comment edit has the focus; otherwise the edit's text goes into the
    // trial shown so far and `trial` is shown.
    void SelectTrialComment(int trial);
    int CommentTrial() const { return commentTrial_; }
    QWidget* GetCommentEdit() const;

    // ---- The input files ----
    const CInputFileList& InputFiles() const { return inputFiles_; }
    // A navigation button (Shift held: steps of ten).
    void Navigate(CInputFileList::Button button, bool shift);
    // The box's history as the list shows it.
    std::vector<std::string> InputHistory() const;
    void SaveInputHistory() const;
    // The box's text in a larger editor.
    void OnEditDataSource();

    // ---- Status panes ----
    void UpdateIndicators();
    std::string PaneText(int paneId) const;
    // The S and R panes belong to the response-graph view.
    void SetPaneText(int paneId, const std::string& text);

    // ---- The eye-position view's part of the task built-ins ----
    void FPRectangle(int x, int y, int width, int height, int colour);
    void FPCircle(int x, int y, int radius, int colour);

    // ---- Figure templates ----
    // "&Add to templetes...": the figure settings kept under a name the user gives.
    void OnAddTemplate();
    // A kept template's settings back into the document.
    void ApplyTemplate(const std::string& name);

    // ---- Instances, calibration, latency ----
    // True when another running instance's renderer link runs.
    bool AskOtherInstances();
    CInstanceHandshake* Handshake() const { return handshake_.get(); }
    void OnCalibrate();
    void OnLatency();

    // ---- Printing ----
    // One printer for every view: "Print Setup" sets it up.
    QPrinter& Printer();
    void OnFilePrintSetup();
    // The trial view's print and preview (the response graph has its own).
    void OnFilePrint();
    void OnFilePrintPreview();

    // The display tick: views, panes and tool-bar states.
    void Tick();

    // Work of the program around the frame; each does nothing while unset.
    struct Hooks {
        // The application's open-document operation; false when the file was not opened.
        std::function<bool(const std::string& path)> openDocument;
        // The data-file names (patterns) an ODBC source lists; false with the reason when
        // they cannot be read.
        std::function<bool(const OdbcSource& source, std::vector<std::string>& names, std::string& error)>
            odbcFileNames;
        // The larger editor of the input-file box (multi-line text); false: cancelled.
        std::function<bool(std::string& text)> editDataSource;
        // Before closing: false keeps the window open (the user cancelled saving the
        // document). Unset: the document's own question.
        std::function<bool()> saveModified;
        // The recently used data files, latest first; the File menu shows the first four.
        std::function<std::vector<std::string>()> recentFiles;
        // The application's menu hook ("&Organize templetes...").
        std::function<void(QMenuBar* menu)> setupMenu;
    } hooks;

    // ---- IDocObserver ----
    void OnUpdate(IDocObserver* sender, const DocUpdate& update) override;
    void OnContentsDeleted() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* AddCommand(QMenu* menu, int id, const char* text, bool checkable = false);
    bool OnFrameCommand(int id);
    // Enables and checks an action as the command targets say.
    void UpdateFromTargets(QAction* action, int id);
    void CreateMenus();
    // The File menu's recent-file entries, made again each time the menu opens.
    void UpdateRecentFiles(QMenu* file);
    // The kept templates after the View menu's template commands, made again each time it
    // opens.
    void UpdateTemplateEntries(QMenu* view);
    CGraphView* Graph() const;
    // Edit > Copy is on while the graph has something to copy; kept current for Ctrl+C.
    void UpdateCopyState();
    // "<document> - Orvix".
    void UpdateTitle();
    void CreateBars();
    void CreatePanes();
    QWidget* CreateGraphView();
    void UpdateToolStates();
    // The comment edit's text into the comment trial (when that is a trial); false when the
    // text was refused (a letter the code page cannot hold: the edit keeps it and the focus).
    bool StoreComment();
    void ShowCommentTrial();
    bool OnCommentKey(int qtKey);
    // Builds the input-file list from the box's text; true when it was built (it may be
    // empty), and then opened its first file.
    bool RebuildInputList();
    bool OpenInputFile(int index);

    COrvixDoc& doc_;
    CExperiment& experiment_;
    std::vector<ICommandTarget*> targets_;
    QSplitter* outer_ = nullptr;
    QSplitter* inner_ = nullptr;
    QWidget* graphPane_ = nullptr;
    QWidget* activeView_ = nullptr;
    // The application's focus signal that keeps activeView_; cut first when the frame goes,
    // because focus moves while its children are deleted.
    QMetaObject::Connection focusConnection_;
    COrvixView* trialView_ = nullptr;
    CFPView* eyeView_ = nullptr;
    CChannelBar* channelBar_ = nullptr;
    CDialogBar* dialogBar_ = nullptr;
    QToolBar* mainBar_ = nullptr;
    std::array<QLabel*, 10> panes_{};
    std::vector<QAction*> recentActions_;
    std::vector<QAction*> templateActions_;
    QAction* copyAction_ = nullptr;
    QAction* exitAction_ = nullptr;
    QTimer* displayTimer_ = nullptr;
    std::unique_ptr<CInstanceHandshake> handshake_;
    std::unique_ptr<CKeyboardState> keyboard_;
    std::unique_ptr<QPrinter> printer_;
    CInputFileList inputFiles_;
    int commentTrial_ = -1;
    bool userMovedSplitters_ = false;
};

} // namespace orvix
