#include "views/mainframe.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <cstdio>
#include <string>

#include "document/commandtarget.h"
#include "document/orvixdoc.h"
#include "io/deviceio.h"
#include "platform/files/paths.h"
#include "platform/net/instances.h"
#include "platform/runtime/eventpump.h"
#include "platform/text/codepage.h"
#include "platform/text/qtext.h"
#include "platform/ui/ui.h"
#include "runner/experiment.h"
#include "views/fpview.h"
#include "views/framebars.h"
#include "views/graphview.h"
#include "views/keystate.h"
#include "views/orvixview.h"
#include "views/viewcommands.h"

namespace orvix {

namespace {
// Menu texts carry the Windows forms: "&" marks the mnemonic, "\t" leads the shortcut.
QString MenuText(const char* text)
{
    QString t = ToQ(text);
    int tab = t.indexOf('\t');
    return tab >= 0 ? t.left(tab) : t;
}

using Id = ICommandTarget;

// The status panes after the message line, each sized by its sample text.
struct PaneSample {
    int id;
    const char* sample;
};
const PaneSample kPanes[] = {{ID_INDICATOR_ACCUM, "Accum:00"},  {ID_INDICATOR_CMDN, "CmdN:100"},
                           {ID_INDICATOR_S, "S:00000"},       {ID_INDICATOR_R, "R:00000"},
                           {ID_INDICATOR_H, "H:000"},         {ID_INDICATOR_V, "V:000"},
                           {ID_INDICATOR_SUBJECT, "Monkey"},  {ID_INDICATOR_KEYPOS, "CENTER"},
                           {ID_INDICATOR_STATE, "TARGET_FLIP"}, {ID_INDICATOR_HITRATE, "100%"}};
} // namespace

CMainFrame::CMainFrame(COrvixDoc& doc, CExperiment& experiment, std::vector<ICommandTarget*> targets)
    : doc_(doc), experiment_(experiment), targets_(std::move(targets))
{
    setObjectName("Orvix");
    setWindowTitle("Orvix");
    CreateMenus();
    CreatePanes();
    CreateBars();

    keyboard_ = std::make_unique<CKeyboardState>();
    CTaskRunner::FrameHooks& hooks = experiment_.runner.frameHooks;
    hooks.fpCircle = [this](int x, int y, int r, int c) { FPCircle(x, y, r, c); };
    hooks.fpRectangle = [this](int x, int y, int w, int h, int c) { FPRectangle(x, y, w, h, c); };
    hooks.isKeyDown = [this](int vk) { return keyboard_->IsKeyDown(vk); };

    handshake_ = std::make_unique<CInstanceHandshake>();
    handshake_->SetRendererRunning(experiment_.deviceIO.IsRendererRunning());
    if (!handshake_->Listen()) {
        // Said once; the program runs on, and nothing then keeps a second copy from taking
        // the renderer and the devices beside it.
        const std::string line =
            "No check for other running copies: no instance socket (" + ShownText(handshake_->Failure()) + ").";
        fprintf(stderr, "Orvix: %s\n", ToUtf8(line).c_str());
        doc_.AddLogLine(line);
    }

    // The input-file box's history.
    for (const std::string& item : LoadInputHistory())
        dialogBar_->inputFile->addItem(ToQ(item));
    dialogBar_->inputFile->setCurrentIndex(-1);
    inputFiles_.MarkStale();

    setAcceptDrops(true);
    displayTimer_ = new QTimer(this);
    displayTimer_->setInterval(kIdleTickMs);
    connect(displayTimer_, &QTimer::timeout, this, &CMainFrame::Tick);
    displayTimer_->start();
    doc_.AddObserver(this);
}

CMainFrame::~CMainFrame()
{
    disconnect(focusConnection_);
    experiment_.runner.frameHooks = {};
    doc_.RemoveObserver(this);
}

// ---- Menus and commands ----

void CMainFrame::CreateMenus()
{
    QMenu* file = menuBar()->addMenu("&File");
    AddCommand(file, Id::ID_FILE_NEW, "&New\tCtrl+N");
    AddCommand(file, Id::ID_FILE_OPEN, "&Open...\tCtrl+O")->setShortcut(QKeySequence::Open);
    AddCommand(file, Id::ID_FILE_SAVE, "&Save\tCtrl+S")->setShortcut(QKeySequence::Save);
    AddCommand(file, Id::ID_FILE_SAVE_AS, "Save &As...");
    file->addSeparator();
    AddCommand(file, Id::ID_FILE_PRINT, "&Print...\tCtrl+P")->setShortcut(QKeySequence::Print);
    AddCommand(file, Id::ID_FILE_PRINT_PREVIEW, "Print Pre&view");
    AddCommand(file, Id::ID_FILE_PRINT_SETUP, "P&rint Setup...");
    file->addSeparator();
    exitAction_ = AddCommand(file, Id::ID_APP_EXIT, "E&xit");
    connect(file, &QMenu::aboutToShow, [this, file] { UpdateRecentFiles(file); });

    // Copy is the response graph's: the picture of its figures.
    QMenu* edit = menuBar()->addMenu("&Edit");
    copyAction_ = AddCommand(edit, Id::ID_EDIT_COPY, "&Copy\tCtrl+C");
    copyAction_->setShortcut(QKeySequence::Copy);

    QMenu* experiment = menuBar()->addMenu("E&xperiment"); // Alt+E is Edit's
    AddCommand(experiment, Id::ID_SAVE_PARAMETERS, "&Save parameters");
    AddCommand(experiment, Id::ID_RESET_PARAMETERS, "&Reset parameters");
    AddCommand(experiment, Id::ID_CONTROL_PANEL, "&Control Panel...");
    AddCommand(experiment, Id::ID_ENABLE, "&Enable", true);
    AddCommand(experiment, ID_CALIBRATE, "&Calibrate", true);
    AddCommand(experiment, Id::ID_TRANSFORM, "&Transform");
    AddCommand(experiment, Id::ID_EXPORT_DATA, "Export Data...");
    AddCommand(experiment, Id::ID_EXPORT_PARAM, "Export Param...");
    AddCommand(experiment, Id::ID_ALIGN_TRIALS, "Align trials ...");
    AddCommand(experiment, Id::ID_LOAD_FORMAT, "&Load Format", true);
    AddCommand(experiment, Id::ID_FILE_MERGING_MODE, "File Merging Mode", true);

    QMenu* view = menuBar()->addMenu("&View");
    for (int channel = 0; channel < kChannelCount; ++channel) {
        int id = channel == 0 ? Id::ID_CHANNEL_0 : Id::ID_CHANNEL_1 + channel - 1;
        std::string text = "Channel &" + std::to_string(channel);
        AddCommand(view, id, text.c_str(), true);
    }
    view->addSeparator();
    AddCommand(view, ID_ADD_TEMPLATE, "&Add to templetes...");
    AddCommand(view, ID_ORGANIZE_TEMPLATES, "&Organize templetes...");
    connect(view, &QMenu::aboutToShow, [this, view] { UpdateTemplateEntries(view); });
    // Check marks and enabled states follow the targets each time a menu opens.
    for (QMenu* menu : {file, edit, experiment, view})
        connect(menu, &QMenu::aboutToShow, [this, menu] { UpdateCommandStates(menu); });

    QMenu* help = menuBar()->addMenu("&Help");
    AddCommand(help, Id::ID_HELP_FINDER, "&Help Topics");
    help->addSeparator();
    AddCommand(help, Id::ID_APP_ABOUT, "&About Orvix...");
}

QAction* CMainFrame::AddCommand(QMenu* menu, int id, const char* text, bool checkable)
{
    QAction* action = menu ? menu->addAction(MenuText(text)) : new QAction(MenuText(text), this);
    action->setData(id);
    action->setCheckable(checkable);
    connect(action, &QAction::triggered, this, [this, id] { RouteCommand(id); });
    return action;
}

bool CMainFrame::OnFrameCommand(int id)
{
    switch (id) {
    case ID_CALIBRATE: OnCalibrate(); return true;
    case ID_LATENCY: OnLatency(); return true;
    case ID_ADD_TEMPLATE: OnAddTemplate(); return true;
    case ID_ORGANIZE_TEMPLATES:
        if (hooks.setupMenu)
            hooks.setupMenu(menuBar());
        return true;
    case Id::ID_EDIT_COPY:
        if (CGraphView* graph = Graph())
            graph->OnCommand(id);
        return true;
    case Id::ID_FILE_PRINT:
    case Id::ID_FILE_PRINT_PREVIEW:
        // The view that has the focus prints, as the menu of that view would.
        if (auto* graph = qobject_cast<CGraphView*>(activeView_))
            return graph->OnCommand(id);
        if (activeView_ == trialView_) {
            if (id == Id::ID_FILE_PRINT)
                OnFilePrint();
            else
                OnFilePrintPreview();
        }
        return true;
    default: return false;
    }
}

bool CMainFrame::RouteCommand(int id)
{
    if (OnFrameCommand(id))
        return true;
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
        int id = action->data().toInt();
        if (id == ID_CALIBRATE) {
            action->setChecked(eyeView_->IsCalibrating());
            continue;
        }
        if (id == Id::ID_EDIT_COPY) {
            UpdateCopyState();
            continue;
        }
        if (id == Id::ID_FILE_PRINT || id == Id::ID_FILE_PRINT_PREVIEW) {
            bool enabled = false, checked = false;
            if (auto* graph = qobject_cast<CGraphView*>(activeView_))
                graph->OnUpdateCommand(id, enabled, checked);
            else
                enabled = activeView_ == trialView_ && doc_.GetTrialCount() > 0;
            action->setEnabled(enabled);
            continue;
        }
        UpdateFromTargets(action, id);
    }
}

CGraphView* CMainFrame::Graph() const { return qobject_cast<CGraphView*>(graphPane_); }

void CMainFrame::UpdateCopyState()
{
    bool enabled = false, checked = false;
    if (CGraphView* graph = Graph())
        graph->OnUpdateCommand(Id::ID_EDIT_COPY, enabled, checked);
    copyAction_->setEnabled(enabled);
}

void CMainFrame::UpdateFromTargets(QAction* action, int id)
{
    // The first target that knows the command decides.
    bool enabled = true, checked = false;
    for (ICommandTarget* target : targets_) {
        if (target->OnUpdateCommand(id, enabled, checked)) {
            action->setEnabled(enabled);
            if (action->isCheckable())
                action->setChecked(checked);
            return;
        }
    }
}

QAction* CMainFrame::Action(int commandId) const
{
    for (QAction* a : findChildren<QAction*>())
        if (a->data().isValid() && a->data().toInt() == commandId)
            return a;
    return nullptr;
}

// ---- Panes and bars ----

QWidget* CMainFrame::CreateGraphView()
{
    // The response-graph view in the left column; the one place it is made. Its "&Graph"
    // menu goes before Help; what it does not run itself (the exports, the pane layout) goes
    // to the frame's targets, and its cross-hair readings to the S and R panes.
    auto* graph = new CGraphView(doc_);
    graph->setObjectName("GraphView");
    graph->AddMenus(menuBar());
    graph->SetPrinter(&Printer());
    graph->forwardCommand = [this, graph](int id) {
        if (id == Id::ID_MAXIMIZE) {
            MaximizePane(graph);
            return true;
        }
        if (id == Id::ID_RESTORE) {
            userMovedSplitters_ = false;
            LayoutPanes();
            return true;
        }
        for (ICommandTarget* target : targets_)
            if (target->OnCommand(id))
                return true;
        return false;
    };
    connect(graph, &CGraphView::paneTextsChanged, this, [this](const QString& stimulus, const QString& response) {
        SetPaneText(ID_INDICATOR_S, FromShown(stimulus));
        SetPaneText(ID_INDICATOR_R, FromShown(response));
    });
    return graph;
}

void CMainFrame::CreatePanes()
{
    outer_ = new QSplitter(Qt::Horizontal, this);
    outer_->setObjectName("OuterSplitter");
    outer_->setChildrenCollapsible(true);
    graphPane_ = CreateGraphView();
    outer_->addWidget(graphPane_);
    inner_ = new QSplitter(Qt::Vertical, outer_);
    inner_->setObjectName("InnerSplitter");
    inner_->setChildrenCollapsible(true);
    outer_->addWidget(inner_);
    trialView_ = new COrvixView(doc_, inner_);
    eyeView_ = new CFPView(doc_, experiment_.runner, inner_);
    inner_->addWidget(trialView_);
    inner_->addWidget(eyeView_);
    setCentralWidget(outer_);
    for (QSplitter* s : {outer_, inner_})
        connect(s, &QSplitter::splitterMoved, this, [this] { userMovedSplitters_ = true; });

    // The active view is the one with the focus; at first the response graph.
    activeView_ = graphPane_;
    eyeView_->setFocusPolicy(Qt::ClickFocus);
    focusConnection_ = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        for (QWidget* pane : {graphPane_, static_cast<QWidget*>(trialView_), static_cast<QWidget*>(eyeView_)})
            if (now && (now == pane || pane->isAncestorOf(now)))
                activeView_ = pane;
    });

    trialView_->onSelectTrial = [this](int trial) { SelectTrialComment(trial); };
    trialView_->onMaximize = [this] { MaximizePane(trialView_); };
    eyeView_->onMaximize = [this] { MaximizePane(eyeView_); };
    trialView_->onRestore = eyeView_->onRestore = [this] {
        userMovedSplitters_ = false;
        LayoutPanes();
    };
    trialView_->onPrint = [this] { OnFilePrint(); };
    trialView_->onPrintPreview = [this] { OnFilePrintPreview(); };
    eyeView_->onCalibrate = [this] { OnCalibrate(); };
}

void CMainFrame::CreateBars()
{
    mainBar_ = addToolBar("Main");
    mainBar_->setObjectName("MainBar");
    mainBar_->addAction(Action(Id::ID_ENABLE));
    mainBar_->addSeparator();
    mainBar_->addAction(Action(Id::ID_CONTROL_PANEL));
    mainBar_->addSeparator();
    mainBar_->addAction(Action(ID_CALIBRATE));
    mainBar_->addSeparator();
    // Latency measuring has a button only.
    QAction* latency = AddCommand(nullptr, ID_LATENCY, "Latency", true);
    latency->setToolTip("Measure the loop latency");
    mainBar_->addAction(latency);

    channelBar_ = new CChannelBar(doc_, [this](int id) { RouteCommand(id); }, this);
    addToolBar(channelBar_);
    addToolBarBreak();
    dialogBar_ = new CDialogBar(this);
    addToolBar(dialogBar_);

    auto shift = [] { return (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier) != 0; };
    connect(dialogBar_->first, &QPushButton::clicked, this, [this, shift] { Navigate(CInputFileList::First, shift()); });
    connect(dialogBar_->previous, &QPushButton::clicked, this,
            [this, shift] { Navigate(CInputFileList::Previous, shift()); });
    connect(dialogBar_->next, &QPushButton::clicked, this, [this, shift] { Navigate(CInputFileList::Next, shift()); });
    connect(dialogBar_->last, &QPushButton::clicked, this, [this, shift] { Navigate(CInputFileList::Last, shift()); });
    connect(dialogBar_->inputFile, &QComboBox::editTextChanged, this, [this] { inputFiles_.MarkStale(); });
    connect(dialogBar_->inputFile, &QComboBox::currentIndexChanged, this, [this] { inputFiles_.MarkStale(); });
    dialogBar_->comment->installEventFilter(this);
    dialogBar_->inputFile->lineEdit()->installEventFilter(this);

    QStatusBar* bar = statusBar();
    for (size_t i = 0; i < std::size(kPanes); ++i) {
        auto* label = new QLabel(bar);
        label->setObjectName(QStringLiteral("pane%1").arg(kPanes[i].id));
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(ToQ(kPanes[i].sample)) + 8);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addPermanentWidget(label);
        panes_[i] = label;
    }
    UpdateIndicators();
}

void CMainFrame::LayoutPanes()
{
    // The first pane gets its size; the other one what is left beside the divider.
    PaneSizes sizes = DefaultPaneSizes(outer_->width(), outer_->height());
    int width = outer_->width() - outer_->handleWidth();
    int height = inner_->height() - inner_->handleWidth();
    outer_->setSizes({std::min(sizes.graphWidth, width), std::max(0, width - sizes.graphWidth)});
    inner_->setSizes({std::min(sizes.trialHeight, height), std::max(0, height - sizes.trialHeight)});
}

void CMainFrame::MaximizePane(QWidget* pane)
{
    userMovedSplitters_ = true;
    int width = outer_->width(), height = inner_->height();
    if (pane == graphPane_) {
        outer_->setSizes({width, 0});
        return;
    }
    outer_->setSizes({0, width});
    if (pane == eyeView_)
        inner_->setSizes({0, height});
    else
        inner_->setSizes({height, 0});
}

void CMainFrame::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    // Until the user moves a divider the panes keep their start-up proportions.
    if (!userMovedSplitters_)
        LayoutPanes();
}

void CMainFrame::InitialUpdate()
{
    commentTrial_ = -1;
    if (CGraphView* graph = Graph())
        graph->OnInitialUpdate();
    trialView_->OnInitialUpdate();
    eyeView_->Redraw();
}

void CMainFrame::OnUpdate(IDocObserver*, const DocUpdate& update)
{
    if (update.hint == HINT_REBUILD)
        channelBar_->UpdateChecks();
}

void CMainFrame::OnContentsDeleted()
{
    // The comment trial was one of the old document's: forget it without writing the edit's
    // text anywhere.
    commentTrial_ = -1;
    dialogBar_->comment->clear();
    dialogBar_->trialNumber->setText("no trial");
}

void CMainFrame::ShowChannelLevels(const std::array<int, kChannelCount>& levels)
{
    channelBar_->ShowChannelLevels(levels);
}

void CMainFrame::UpdateChannelButton(int channel) { channelBar_->UpdateChannelButton(channel); }

// ---- Status panes and the display tick ----

std::string CMainFrame::PaneText(int paneId) const
{
    for (size_t i = 0; i < std::size(kPanes); ++i)
        if (kPanes[i].id == paneId)
            return FromShown(panes_[i]->text());
    return {};
}

void CMainFrame::SetPaneText(int paneId, const std::string& text)
{
    for (size_t i = 0; i < std::size(kPanes); ++i) {
        if (kPanes[i].id == paneId) {
            QString q = ToQ(text);
            if (panes_[i]->text() != q)
                panes_[i]->setText(q);
        }
    }
}

void CMainFrame::UpdateIndicators()
{
    for (const PaneSample& pane : kPanes) {
        if (pane.id == ID_INDICATOR_S || pane.id == ID_INDICATOR_R)
            continue;
        SetPaneText(pane.id, StatusPaneText(pane.id, doc_, experiment_.runner));
    }
}

void CMainFrame::UpdateToolStates()
{
    for (QAction* action : mainBar_->actions()) {
        if (!action->data().isValid())
            continue;
        int id = action->data().toInt();
        if (id == ID_CALIBRATE) {
            action->setChecked(eyeView_->IsCalibrating());
        } else if (id == ID_LATENCY) {
            action->setChecked(experiment_.runner.IsMeasuringLatency());
        } else {
            UpdateFromTargets(action, id);
        }
    }
    channelBar_->UpdateChecks();
    UpdateCopyState();
}

void CMainFrame::UpdateRecentFiles(QMenu* file)
{
    for (QAction* old : recentActions_)
        delete old;
    recentActions_.clear();
    std::vector<std::string> files = hooks.recentFiles ? hooks.recentFiles() : std::vector<std::string>();
    if (files.size() > kRecentMenuEntries)
        files.resize(kRecentMenuEntries);
    for (size_t i = 0; i < files.size(); ++i) {
        std::string path = files[i];
        auto* action = new QAction(QString("&%1 %2").arg(i + 1).arg(ToQ(path)), file);
        connect(action, &QAction::triggered, this, [this, path] {
            if (hooks.openDocument) // the program's text of a path
                hooks.openDocument(LocalPath(path));
        });
        file->insertAction(exitAction_, action);
        recentActions_.push_back(action);
    }
    if (!files.empty()) {
        auto* separator = new QAction(file);
        separator->setSeparator(true);
        file->insertAction(exitAction_, separator);
        recentActions_.push_back(separator);
    }
}

void CMainFrame::UpdateTitle()
{
    std::string name = doc_.GetTitle().empty() ? std::string("Untitled") : doc_.GetTitle();
    QString title = ToQ(name) + " - Orvix";
    if (windowTitle() != title)
        setWindowTitle(title);
}

void CMainFrame::Tick()
{
    UpdateTitle();
    trialView_->Refresh();
    eyeView_->Refresh();
    UpdateIndicators();
    UpdateToolStates();
    // What this instance answers when another one asks.
    handshake_->SetRendererRunning(experiment_.deviceIO.IsRendererRunning());
    // Display rate while passes run; a slower look while the experiment rests.
    bool live = experiment_.runner.GetRunFlag() != 0 || doc_.testRunning;
    int interval = live ? kDisplayTickMs : kIdleTickMs;
    if (displayTimer_->interval() != interval)
        displayTimer_->setInterval(interval);
}

// ---- The eye-position view, calibration, latency, instances ----

void CMainFrame::FPRectangle(int x, int y, int width, int height, int colour)
{
    eyeView_->FPRectangle(x, y, width, height, colour);
}

void CMainFrame::FPCircle(int x, int y, int radius, int colour) { eyeView_->FPCircle(x, y, radius, colour); }

void CMainFrame::OnCalibrate() { eyeView_->OnCalibrate(); }

void CMainFrame::OnLatency()
{
    CTaskRunner& runner = experiment_.runner;
    if (runner.IsMeasuringLatency()) {
        runner.ReportLatency();
        experiment_.deviceIO.SendLatencyMeasuring(false);
    } else {
        runner.StartLatencyMeasurement();
        experiment_.deviceIO.SendLatencyMeasuring(true);
    }
    UpdateToolStates();
}

bool CMainFrame::AskOtherInstances()
{
    // A request to quit ends the asking at once (and is made again for the main loop).
    return handshake_->AskOtherInstances(CInstanceHandshake::kAnswerTimeoutMs,
                                         [](int maxWaitMs) { return PumpEventsUnlessQuit(maxWaitMs); });
}

// ---- Printing ----

QPrinter& CMainFrame::Printer()
{
    if (!printer_)
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *printer_;
}

void CMainFrame::OnFilePrintSetup()
{
    QPrinter& printer = Printer();
    if (printer.outputFormat() == QPrinter::NativeFormat) {
        QPageSetupDialog dialog(&printer, this);
        UI().RunModal(dialog);
        return;
    }
    // Without a printer of the system's the output goes to PDF, for which Qt's dialog sets
    // up nothing: the paper and its orientation are chosen here.
    QDialog dialog(this);
    dialog.setWindowTitle("Page Setup");
    auto* form = new QFormLayout(&dialog);
    auto* paper = new QComboBox(&dialog);
    paper->setObjectName("paper");
    const QPageSize::PageSizeId sizes[] = {QPageSize::A4, QPageSize::Letter, QPageSize::Legal, QPageSize::A3,
                                           QPageSize::A5};
    for (QPageSize::PageSizeId id : sizes) {
        paper->addItem(QPageSize::name(id), static_cast<int>(id));
        if (printer.pageLayout().pageSize().id() == id)
            paper->setCurrentIndex(paper->count() - 1);
    }
    form->addRow("Paper:", paper);
    auto* orientation = new QComboBox(&dialog);
    orientation->setObjectName("orientation");
    orientation->addItems({"Portrait", "Landscape"});
    orientation->setCurrentIndex(printer.pageLayout().orientation() == QPageLayout::Landscape ? 1 : 0);
    form->addRow("Orientation:", orientation);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (UI().RunModal(dialog) != IDOK)
        return;
    printer.setPageSize(QPageSize(static_cast<QPageSize::PageSizeId>(paper->currentData().toInt())));
    printer.setPageOrientation(orientation->currentIndex() == 1 ? QPageLayout::Landscape : QPageLayout::Portrait);
}

void CMainFrame::OnFilePrint()
{
    // The trial view's printing; the response graph prints itself.
    QPrinter& printer = Printer();
    QPrintDialog dialog(&printer, this);
    dialog.setMinMax(1, std::max(1, trialView_->PageCount(printer)));
    if (UI().RunModal(dialog) == IDOK)
        trialView_->Print(printer);
}

void CMainFrame::OnFilePrintPreview()
{
    QPrintPreviewDialog dialog(&Printer(), this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* printer) {
        trialView_->Print(*printer);
    });
    UI().RunModal(dialog);
}

// ---- Closing and dropped files ----

void CMainFrame::closeEvent(QCloseEvent* event)
{
    // The history is the user's whatever becomes of the document: written before the
    // question whether to save it, which may keep the window open.
    SaveInputHistory();
    // A comment the document cannot keep is said and not taken; the save question's Cancel
    // keeps the window for mending it.
    StoreComment();
    if (!(hooks.saveModified ? hooks.saveModified() : doc_.SaveModified())) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        for (const QUrl& url : event->mimeData()->urls())
            if (url.isLocalFile()) {
                event->acceptProposedAction();
                return;
            }
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    if (OpenDroppedFile(*event->mimeData()))
        event->acceptProposedAction();
}

bool CMainFrame::OpenDroppedFile(const QMimeData& data)
{
    // The first file dropped is opened, as a single-document program does.
    for (const QUrl& url : data.urls()) {
        if (!url.isLocalFile())
            continue;
        if (hooks.openDocument)
            hooks.openDocument(PathFromQ(url.toLocalFile()));
        return true;
    }
    return false;
}

} // namespace orvix
