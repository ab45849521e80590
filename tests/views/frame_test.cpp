// The main frame as a user meets it: its bars, the comment keys, the input-file navigator,
// the status panes, closing, dropped files and the printer set-up.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QPushButton>
#include <QKeyEvent>
#include <QSpontaneKeyEvent>
#include <QSplitter>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <gtest/gtest.h>
#include <set>
#include <utime.h>

#include "document/orvixdoc.h"
#include "model/inputstringdlg.h"
#include "model/trial.h"
#include "platform/devices/virtualkeys.h"
#include "runner/taskrunner.h"
#include "tests/document/doc_fixture.h"
#include "views/fpview.h"
#include "views/framebars.h"
#include "views/graphview.h"
#include "views/mainframe.h"
#include "views/orvixview.h"
#include "views/viewcommands.h"

using namespace orvix;

namespace {

class FrameTest : public DocTest {
protected:
    void SetUp() override
    {
        DocTest::SetUp();
        doc = std::make_unique<COrvixDoc>();
        experiment.Attach(doc.get());
        frame = std::make_unique<CMainFrame>(*doc, experiment, std::vector<ICommandTarget*>{doc.get()});
        frame->hooks.openDocument = [this](const std::string& path) {
            opened.push_back(path.substr(path.find_last_of('/') + 1));
            return true;
        };
    }
    void TearDown() override
    {
        frame.reset();
        experiment.Attach(nullptr);
        doc.reset();
        DocTest::TearDown();
    }
    void AddTrials(int n)
    {
        for (int i = 0; i < n; ++i) {
            auto* t = new CTrial;
            t->comment = "c" + std::to_string(doc->GetTrialCount());
            t->SetLength(1000);
            doc->AddTrial(t);
        }
    }
    QLineEdit* Comment() const { return frame->DialogBar()->comment; }
    std::string TrialNumber() const { return frame->DialogBar()->trialNumber->text().toStdString(); }
    std::string Position() const { return frame->DialogBar()->position->text().toStdString(); }
    void ShowWithFocusOnComment()
    {
        frame->show();
        QApplication::setActiveWindow(frame.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
        Comment()->setFocus();
        QApplication::processEvents();
        ASSERT_TRUE(Comment()->hasFocus());
    }

    // A top-level menu as it is when it opens.
    QMenu* OpenMenu(const char* title)
    {
        for (QAction* top : frame->menuBar()->actions())
            if (top->text() == title && top->menu()) {
                emit top->menu()->aboutToShow();
                return top->menu();
            }
        return nullptr;
    }

    std::unique_ptr<COrvixDoc> doc;
    std::unique_ptr<CMainFrame> frame;
    std::vector<std::string> opened;
};

} // namespace

TEST_F(FrameTest, ChannelButtonsShowLevelsAndChannels)
{
    CChannelBar* bar = frame->ChannelBar();
    EXPECT_EQ(bar->Button(3)->text().toStdString(), "4-4-a*@");
    doc->cellIds[2] = 2;
    doc->activeChannels &= ~(1u << 2);
    doc->UpdateChannelDisplay(2);
    EXPECT_EQ(bar->Button(2)->text().toStdString(), "3-3-b  ");

    // Mean rates: sums over the trial count (one when there are none), each image level / 5.
    doc->channelSums = {70, 64, 4, 0, -8, 25, 59, 1000};
    doc->UpdateChannelRates(nullptr);
    int expected[] = {12, 12, 0, 0, 0, 5, 11, 12};
    for (int ch = 0; ch < kChannelCount; ++ch)
        EXPECT_EQ(bar->ImageOf(ch), expected[ch]) << ch;

    // A button selects its channel, as "Channel &n" does.
    bar->Button(5)->click();
    EXPECT_EQ(doc->GetSelectedChannel(), 5);
    EXPECT_TRUE(bar->Button(5)->isChecked());
    EXPECT_FALSE(bar->Button(1)->isChecked());
}

TEST_F(FrameTest, TheCommentFollowsTheTrialAndMarksTheDocument)
{
    AddTrials(3);
    frame->SelectTrialComment(1);
    EXPECT_EQ(Comment()->text().toStdString(), "c1");
    EXPECT_EQ(TrialNumber(), "2");
    doc->SetModifiedFlag(false);
    Comment()->setText("a saccade");
    frame->SelectTrialComment(2);
    EXPECT_EQ(doc->GetTrial(1)->comment, "a saccade");
    EXPECT_TRUE(doc->IsModified()); // saved with the file, asked about on close
    EXPECT_EQ(Comment()->text().toStdString(), "c2");

    // An unchanged text changes nothing.
    doc->SetModifiedFlag(false);
    frame->SelectTrialComment(0);
    EXPECT_FALSE(doc->IsModified());
}

TEST_F(FrameTest, CommentKeysMoveAndToggleChannels)
{
    AddTrials(30);
    frame->SelectTrialComment(5);
    ShowWithFocusOnComment();

    // Page Up at 5 goes to -1 without storing; the edit keeps its text; 1084 shows 0.
    Comment()->setText("typed");
    QTest::keyClick(Comment(), Qt::Key_PageUp);
    EXPECT_EQ(frame->CommentTrial(), -1);
    EXPECT_EQ(TrialNumber(), "0");
    EXPECT_EQ(Comment()->text().toStdString(), "typed");
    EXPECT_EQ(doc->GetTrial(5)->comment, "c5");

    QTest::keyClick(Comment(), Qt::Key_End);
    EXPECT_EQ(frame->CommentTrial(), 29);
    EXPECT_EQ(Comment()->text().toStdString(), "c29");
    Comment()->setText("last one");
    QTest::keyClick(Comment(), Qt::Key_Up); // stores, then moves
    EXPECT_EQ(doc->GetTrial(29)->comment, "last one");
    EXPECT_EQ(frame->CommentTrial(), 28);
    EXPECT_EQ(TrialNumber(), "29");

    // F3 takes channel 2 of the comment trial out of the analysis: a change of the file.
    doc->SetModifiedFlag(false);
    uint8_t mask = doc->GetTrial(28)->activeChannels;
    QTest::keyClick(Comment(), Qt::Key_F3);
    EXPECT_EQ(doc->GetTrial(28)->activeChannels, mask ^ 0x04);
    EXPECT_TRUE(doc->IsModified());

    // While the edit has the focus, the trial view's scrolling leaves the comment alone.
    frame->SelectTrialComment(3);
    EXPECT_EQ(frame->CommentTrial(), 28);

    // Enter leaves the edit for the frame: the arrow keys after it scroll no view.
    QTest::keyClick(Comment(), Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), frame.get());
    const int first = frame->TrialView()->FirstTrial();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(frame->TrialView()->FirstTrial(), first);
}

TEST_F(FrameTest, ANewDocumentForgetsTheCommentTrial)
{
    AddTrials(10);
    frame->SelectTrialComment(5);
    ShowWithFocusOnComment();
    Comment()->setText("old text");
    // The document changes while the edit has the focus.
    ASSERT_TRUE(doc->OnNewDocument());
    EXPECT_EQ(frame->CommentTrial(), -1);
    AddTrials(10);
    frame->TrialView()->setFocus(); // the edit loses the focus
    QApplication::processEvents();
    for (int i = 0; i < 10; ++i)
        EXPECT_NE(doc->GetTrial(i)->comment, "old text") << i;
}

TEST_F(FrameTest, TheNavigatorOpensFilesOldestFirst)
{
    const char* names[] = {"MO03.oxv", "MO01.oxv", "MO02.oxv"};
    for (int i = 0; i < 3; ++i) {
        std::string path = dir + "/" + names[i];
        orvix_test::WriteFile(path, "x");
        utimbuf t{1000L * (3 - i), 1000L * (3 - i)};
        utime(path.c_str(), &t);
    }
    CDialogBar* bar = frame->DialogBar();
    bar->inputFile->setEditText(QString::fromStdString(dir + "/MO*"));

    // Next on a stale list only rebuilds and opens the first file.
    bar->next->click();
    EXPECT_EQ(opened, (std::vector<std::string>{"MO02.oxv"}));
    EXPECT_EQ(Position(), "1 of 3");
    ASSERT_GE(bar->inputFile->count(), 1);
    EXPECT_EQ(bar->inputFile->itemText(0).toStdString(), dir + "/MO*"); // into the history
    bar->next->click();
    bar->last->click();
    bar->previous->click();
    EXPECT_EQ(opened, (std::vector<std::string>{"MO02.oxv", "MO01.oxv", "MO03.oxv", "MO01.oxv"}));
    EXPECT_EQ(Position(), "2 of 3");

    // A pattern without matches: "no file", nothing opened.
    bar->inputFile->setEditText(QString::fromStdString(dir + "/XY*"));
    bar->first->click();
    EXPECT_EQ(Position(), "no file");
    EXPECT_EQ(opened.size(), 4u);

    // The history is written on close, before the question about the document: also
    // when the answer keeps the window open.
    frame->hooks.saveModified = [] { return false; };
    EXPECT_FALSE(frame->close());
    EXPECT_EQ(GetReg("Input Files", "0"), dir + "/MO*");
}

TEST_F(FrameTest, OdbcInputTextsAreCheckedAndTheirFailuresLogged)
{
    struct : IDocObserver {
        std::string lines;
        void OnLogLine(const std::string& line) override { lines += line + "\n"; }
    } log;
    doc->AddObserver(&log);
    CDialogBar* bar = frame->DialogBar();
    bar->inputFile->setEditText("odbc://user@neuron:");
    bar->next->click();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Format error! Should be: ODBC://[user[:password]@]database:SQL statement");
    EXPECT_EQ(Position(), "no file"); // as it was

    // A well-formed source whose names cannot be read: a log line, no box.
    frame->hooks.odbcFileNames = [](const OdbcSource& s, std::vector<std::string>&, std::string& error) {
        EXPECT_EQ(s.ConnectString(), "ODBC;UID=user;");
        EXPECT_EQ(s.statement, "select fileName from test");
        error = "Data source name not found";
        return false;
    };
    bar->inputFile->setEditText("odbc://user@neuron: select fileName from test");
    bar->next->click();
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(log.lines.find(": Can't read the data-file names of \"neuron\": Data source name not found\n"),
              std::string::npos)
        << log.lines;

    // Names that come back are patterns, searched in the order given.
    orvix_test::WriteFile(dir + "/A1.oxv", "x");
    orvix_test::WriteFile(dir + "/B1.oxv", "x");
    frame->hooks.odbcFileNames = [this](const OdbcSource&, std::vector<std::string>& names, std::string&) {
        names = {dir + "/B*", dir + "/A1.oxv"};
        return true;
    };
    bar->inputFile->setEditText("odbc://neuron:select fileName from test");
    bar->next->click();
    EXPECT_EQ(opened, (std::vector<std::string>{"B1.oxv"}));
    bar->next->click();
    EXPECT_EQ(opened, (std::vector<std::string>{"B1.oxv", "A1.oxv"}));
    doc->RemoveObserver(&log);
}

TEST_F(FrameTest, PanesLayOutAndMaximize)
{
    frame->resize(1200, 900);
    frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    frame->LayoutPanes();
    QSplitter* outer = frame->OuterSplitter();
    QSplitter* inner = frame->InnerSplitter();
    EXPECT_NEAR(outer->sizes()[0], outer->width() - 244, 1);
    EXPECT_NEAR(inner->sizes()[0], inner->height() - 322, 1);
    frame->MaximizePane(frame->EyeView());
    EXPECT_EQ(outer->sizes()[0], 0);
    EXPECT_EQ(inner->sizes()[0], 0);
    frame->MaximizePane(frame->TrialView());
    EXPECT_EQ(inner->sizes()[1], 0);
    frame->MaximizePane(frame->GraphPane());
    EXPECT_EQ(outer->sizes()[1], 0);
}

TEST_F(FrameTest, StatusPanesAndTheLatencyButton)
{
    doc->commandLines = {"OR 0", "OR 90"};
    frame->Tick();
    EXPECT_EQ(frame->PaneText(ID_INDICATOR_CMDN), "CmdN:2");
    EXPECT_EQ(frame->PaneText(ID_INDICATOR_SUBJECT), "Monkey1");
    frame->SetPaneText(ID_INDICATOR_S, "S:12");
    frame->Tick();
    EXPECT_EQ(frame->PaneText(ID_INDICATOR_S), "S:12");

    EXPECT_TRUE(frame->RouteCommand(ID_LATENCY));
    EXPECT_TRUE(experiment.runner.IsMeasuringLatency());
    frame->Tick();
    EXPECT_TRUE(frame->Action(ID_LATENCY)->isChecked());
    frame->RouteCommand(ID_LATENCY);
    EXPECT_FALSE(experiment.runner.IsMeasuringLatency());
}

// KeyDown tells the left and right Shift and Ctrl keys apart as the window system names
// them (X11 key symbols); VK_SHIFT and VK_CONTROL are either side. Without the window the
// runner reads the modifier state alone, where a held key counts for both sides.
TEST_F(FrameTest, KeyDownTellsTheLeftAndRightShiftAndCtrlKeysApart)
{
    CTaskRunner& runner = experiment.runner;
    auto send = [&](QEvent::Type type, Qt::Key key, Qt::KeyboardModifiers held, quint32 keySymbol) {
        QKeyEvent event(type, key, held, 0, keySymbol, 0);
        QSpontaneKeyEvent::setSpontaneous(&event); // as the window system's, which sets the modifier state
        QApplication::instance()->notify(frame.get(), &event);
    };
    auto down = [&] {
        std::string keys;
        for (int vk : {VK_SHIFT, VK_LSHIFT, VK_RSHIFT, VK_CONTROL, VK_LCONTROL, VK_RCONTROL})
            keys += std::to_string(runner.KeyDown(vk));
        return keys;
    };
    send(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier, 0xffe1); // Shift_L
    EXPECT_EQ(down(), "110000");
    send(QEvent::KeyPress, Qt::Key_Control, Qt::ShiftModifier | Qt::ControlModifier, 0xffe4); // Control_R
    EXPECT_EQ(down(), "110101");
    const auto window = runner.frameHooks.isKeyDown;
    runner.frameHooks.isKeyDown = nullptr;
    EXPECT_EQ(down(), "111111");
    runner.frameHooks.isKeyDown = window;
    send(QEvent::KeyRelease, Qt::Key_Shift, Qt::ControlModifier, 0xffe1);
    EXPECT_EQ(down(), "000101");
    send(QEvent::KeyRelease, Qt::Key_Control, Qt::NoModifier, 0xffe4);
    send(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier, 0xffe2); // Shift_R
    EXPECT_EQ(down(), "101000");
    send(QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier, 0xffe2);
    EXPECT_EQ(down(), "000000");
    // A Shift key whose side nobody named is neither side.
    send(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier, 0);
    EXPECT_EQ(down(), "100000");
    send(QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier, 0);
}

TEST_F(FrameTest, EveryTopLevelMenuHasAMnemonicOfItsOwn)
{
    // The graph view's menu included: Alt+E must open one menu only.
    std::set<int> keys;
    for (QAction* top : frame->menuBar()->actions()) {
        QKeySequence key = QKeySequence::mnemonic(top->text());
        ASSERT_FALSE(key.isEmpty()) << top->text().toStdString();
        EXPECT_TRUE(keys.insert(key[0].toCombined()).second) << top->text().toStdString();
    }
    EXPECT_GE(keys.size(), 6u);
}

TEST_F(FrameTest, TheResponseGraphSitsInTheFrame)
{
    auto* graph = dynamic_cast<CGraphView*>(frame->GraphPane());
    ASSERT_NE(graph, nullptr);
    EXPECT_EQ(frame->ActiveView(), frame->GraphPane()); // active at first
    // Its menu stands before Help.
    QList<QAction*> menus = frame->menuBar()->actions();
    ASSERT_GE(menus.size(), 2);
    EXPECT_EQ(menus[menus.size() - 2]->text(), "&Graph");
    // Its cross-hair readings go to the S and R panes.
    emit graph->paneTextsChanged("S:45", "R:12.5");
    EXPECT_EQ(frame->PaneText(ID_INDICATOR_S), "S:45");
    EXPECT_EQ(frame->PaneText(ID_INDICATOR_R), "R:12.5");
    frame->Tick();
    EXPECT_EQ(frame->PaneText(ID_INDICATOR_S), "S:45");
    // Its Maximize is the frame's pane layout.
    frame->resize(1000, 800);
    frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    graph->OnCommand(ICommandTarget::ID_MAXIMIZE);
    EXPECT_EQ(frame->OuterSplitter()->sizes()[1], 0);

    // File Print goes to the view that has the focus.
    AddTrials(2);
    QApplication::setActiveWindow(frame.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    frame->TrialView()->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(frame->ActiveView(), frame->TrialView());
    std::vector<std::string> dialogs;
    ui.onModal = [&](QDialog& d) {
        dialogs.push_back(d.metaObject()->className());
        return IDCANCEL;
    };
    frame->RouteCommand(ICommandTarget::ID_FILE_PRINT_PREVIEW);
    EXPECT_EQ(dialogs, (std::vector<std::string>{"QPrintPreviewDialog"}));
}

TEST_F(FrameTest, DroppedFilesAndPrinterSetUp)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir + "/MO07.oxv"))});
    EXPECT_TRUE(frame->acceptDrops());
    EXPECT_TRUE(frame->OpenDroppedFile(data));
    EXPECT_EQ(opened, (std::vector<std::string>{"MO07.oxv"}));

    // Print to PDF (there is no printer here): the paper and its orientation.
    ui.onModal = [&](QDialog& dialog) {
        if (dynamic_cast<QPageSetupDialog*>(&dialog))
            return IDCANCEL;
        auto* paper = dialog.findChild<QComboBox*>("paper");
        auto* orientation = dialog.findChild<QComboBox*>("orientation");
        EXPECT_TRUE(paper && orientation);
        if (!paper || !orientation)
            return IDCANCEL;
        paper->setCurrentIndex(paper->findText("Letter"));
        orientation->setCurrentIndex(1);
        return IDOK;
    };
    frame->Printer().setOutputFormat(QPrinter::PdfFormat);
    frame->OnFilePrintSetup();
    EXPECT_EQ(ui.modalRuns, 1);
    EXPECT_EQ(frame->Printer().pageLayout().pageSize().id(), QPageSize::Letter);
    EXPECT_EQ(frame->Printer().pageLayout().orientation(), QPageLayout::Landscape);
}

// "&Add to templetes..." keeps the figure settings in the registry under the name asked
// for; the View menu lists the kept ones, and choosing one puts its settings back.
TEST_F(FrameTest, FigureTemplatesAreKeptListedAndApplied)
{
    std::string answer;
    ui.onModal = [&](QDialog& d) {
        static_cast<CInputStringDlg&>(d).Edit()->setText(QString::fromStdString(answer));
        d.accept();
        return answer == "<cancel>" ? IDCANCEL : IDOK;
    };
    doc->plot.FigWidth = 14000;
    doc->plot.mainFont.faceName = "DejaVu Sans";
    SetReg("Figure Templates\\Narrow", "FigWidth", "3000"); // one written by hand
    for (const char* name : {"Wide", "<cancel>", "", "a\\b & c", "wide"}) {
        answer = name;
        frame->Action(ID_ADD_TEMPLATE)->trigger();
    }
    EXPECT_EQ(GetReg("Figure Templates\\wide", "FigWidth"), "14000");
    EXPECT_EQ(GetReg("Figure Templates\\wide", "FontFaceName"), "DejaVu Sans");
    // "wide" took the place of "Wide"; a backslash nests no key; the list is made anew.
    OpenMenu("&View");
    QStringList names;
    for (QAction* a : OpenMenu("&View")->actions())
        if (!a->isSeparator() && !a->data().isValid())
            names << a->text();
    EXPECT_EQ(names, (QStringList{"Narrow", "a\\b && c", "wide"}));

    doc->plot.FigWidth = 1000;
    doc->plot.mainFont.faceName = "Arial";
    OpenMenu("&View")->actions().back()->trigger();
    EXPECT_EQ(doc->plot.FigWidth, 14000);
    EXPECT_EQ(doc->plot.mainFont.faceName, "DejaVu Sans");

    // "&Organize templetes..." only hands the menu to the application's hook.
    QMenuBar* handed = nullptr;
    frame->hooks.setupMenu = [&](QMenuBar* menu) { handed = menu; };
    frame->Action(ID_ORGANIZE_TEMPLATES)->trigger();
    EXPECT_EQ(handed, frame->menuBar());
}

// Edit > Copy (Ctrl+C) puts the response graph on the clipboard while there are trials;
// in the comment edit Ctrl+C stays the edit's own.
TEST_F(FrameTest, EditCopyPutsTheGraphOnTheClipboard)
{
    QAction* copy = OpenMenu("&Edit")->actions().value(0);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->text(), "&Copy");
    EXPECT_EQ(copy->shortcut(), QKeySequence("Ctrl+C"));
    EXPECT_FALSE(copy->isEnabled());
    AddTrials(2);
    ShowWithFocusOnComment();
    frame->Tick();
    Comment()->setText("typed");
    Comment()->selectAll();
    QTest::keyClick(Comment(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "typed");
    frame->TrialView()->setFocus();
    QTest::keyClick(frame->TrialView(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat("image/png"));
}
