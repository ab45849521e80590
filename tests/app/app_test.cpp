#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPrinter>
#include <QPushButton>
#include <QUrl>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

#include "analysis/aligntrialsdlg.h"
#include "app/channelkeys.h"
#include "app/controlpanel_owner.h"
#include "app/filedialogs.h"
#include "app/helpwindow.h"
#include "app/orvixapp.h"
#include "app/qt_ui.h"
#include "document/commandfile.h"
#include "export/exportdatadlg.h"
#include "export/exportparamdlg.h"
#include "io/deviceio.h"
#include "model/trial.h"
#include "panel/controlpanel.h"
#include "platform/net/tcpsocket.h"
#include "platform/runtime/clock.h"
#include "runner/taskrunner.h"
#include "runner/testrun.h"
#include "tests/runner/run_fixture.h"
#include "views/graphview.h"
#include "views/mainframe.h"
#include "views/orvixview.h"

using namespace orvix;

namespace {

ChannelKey Key(int ch, bool shift, bool ctrl, bool caps = false, bool comment = false)
{
    return ChannelKey{ch, shift, ctrl, caps, comment};
}

// A file dialog as a user answers it: a name typed into the name box, then Return. Shown,
// since what a typed name does depends on where the focus is.
int TypeIntoFileDialog(QDialog& dialog, const char* name)
{
    auto* edit = dialog.findChild<QLineEdit*>("fileNameEdit");
    if (!edit)
        return IDCANCEL;
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    edit->setFocus();
    edit->setText(name);
    QTest::keyClick(edit, Qt::Key_Return);
    return dialog.result() == QDialog::Accepted ? IDOK : IDCANCEL;
}

} // namespace

TEST_F(DocTest, FunctionKeysToggleChannelsAndStepCellsAndGrids)
{
    COrvixDoc doc;
    EXPECT_TRUE(HandleChannelKey(doc, Key(2, false, false)));
    EXPECT_EQ(doc.activeChannels, 0xFB);
    EXPECT_FALSE(HandleChannelKey(doc, Key(2, false, false, false, true))); // typed into the comment
    EXPECT_EQ(doc.activeChannels, 0xFB);
    HandleChannelKey(doc, Key(2, false, false));
    EXPECT_EQ(doc.activeChannels, 0xFF);

    // Ctrl+F3 with cell id 1 keeps it at 1; Shift+F3 raises it.
    HandleChannelKey(doc, Key(2, false, true));
    EXPECT_EQ(doc.cellIds[2], 1);
    HandleChannelKey(doc, Key(2, true, false));
    EXPECT_EQ(doc.cellIds[2], 2);
    // Cell ids stay letters: 26 at most.
    doc.cellIds[2] = 26;
    HandleChannelKey(doc, Key(2, true, false));
    EXPECT_EQ(doc.cellIds[2], 26);

    // With CapsLock the grid choice moves: held at 7 going up, at 0 going down.
    doc.gridChoices[2] = 7;
    HandleChannelKey(doc, Key(2, true, false, true));
    EXPECT_EQ(doc.gridChoices[2], 7);
    doc.gridChoices[2] = 0;
    HandleChannelKey(doc, Key(2, false, true, true));
    EXPECT_EQ(doc.gridChoices[2], 0);
    doc.gridChoices[2] = 4;
    HandleChannelKey(doc, Key(2, false, true, true));
    EXPECT_EQ(doc.gridChoices[2], 3);

    // Shift+Ctrl makes the main channel.
    EXPECT_TRUE(HandleChannelKey(doc, Key(4, true, true)));
    EXPECT_EQ(doc.mainChannel, 4);
    EXPECT_FALSE(HandleChannelKey(doc, Key(8, false, false)));
}

TEST_F(DocTest, FunctionKeysWhileATestRuns)
{
    COrvixDoc doc;
    doc.testRunning = 1;
    doc.mainChannel = 3;
    EXPECT_TRUE(HandleChannelKey(doc, Key(5, true, true))); // swallowed
    EXPECT_EQ(doc.mainChannel, 3);
    EXPECT_TRUE(HandleChannelKey(doc, Key(3, true, false)));
    EXPECT_EQ(doc.cellIds[3], 1);
    EXPECT_TRUE(HandleChannelKey(doc, Key(3, false, true, true)));
    EXPECT_EQ(doc.gridChoices[3], 3);
    HandleChannelKey(doc, Key(1, true, false)); // other channels still change
    EXPECT_EQ(doc.cellIds[1], 2);
    HandleChannelKey(doc, Key(3, false, false)); // toggling still works
    EXPECT_EQ(doc.activeChannels, 0xF7);
}

TEST(App, IdentifiersAndOpenDialogStart)
{
    EXPECT_TRUE(IsValidIdentifier("Orient"));
    EXPECT_TRUE(IsValidIdentifier("_a1"));
    EXPECT_FALSE(IsValidIdentifier("1a"));
    EXPECT_FALSE(IsValidIdentifier(""));
    EXPECT_FALSE(IsValidIdentifier(nullptr));
    EXPECT_FALSE(IsValidIdentifier("a b"));
    EXPECT_FALSE(IsValidIdentifier("a-b"));
    EXPECT_FALSE(IsValidIdentifier("caf\xE9"));
    EXPECT_EQ(OpenDialogStart("c:\\data\\MO01.oxv"), "c:\\data\\");
    EXPECT_EQ(OpenDialogStart("/home/u/x.oxv"), "/home/u/");
    EXPECT_EQ(OpenDialogStart("x.oxv"), "");
}

TEST_F(DocTest, StartUpLogsTheCounterAndTheLibrary)
{
    std::string log = dir + "/orvix.log";
    setenv("ORVIX_LOG", log.c_str(), 1);
    {
        COrvixApp app;
        ASSERT_TRUE(app.InitInstance(QStringList{"orvix"}));
        ASSERT_NE(app.MainFrame(), nullptr);
        EXPECT_TRUE(app.MainFrame()->isVisible());
        EXPECT_NE(app.MainFrame()->Action(COrvixApp::ID_FILE_OPEN), nullptr);
        app.ExitInstance();
        EXPECT_EQ(app.Experiment().runner.GetRunFlag(), 0);
    }
    unsetenv("ORVIX_LOG");
    std::string text = orvix_test::ReadFile(log);
    EXPECT_NE(text.find(": Performance Counter Frequency: 1000.000 MHz\n"), std::string::npos) << text;
    bool loaded = text.find(": Library \"tarsel.dll\" loaded. \n") != std::string::npos;
    bool missing = text.find(": Can't load library \"tarsel.dll\". \n") != std::string::npos;
    EXPECT_TRUE(loaded != missing) << text;
}

TEST_F(DocTest, EmbeddingSwitchShowsNoWindowAndTouchesNothing)
{
    COrvixApp app;
    EXPECT_FALSE(app.InitInstance(QStringList{"orvix", "-Embedding"}));
    EXPECT_TRUE(app.IsEmbedded());
    EXPECT_EQ(app.MainFrame(), nullptr);
    app.Experiment().runner.SetRunFlag(1);
    app.ExitInstance();
    EXPECT_EQ(app.Experiment().runner.GetRunFlag(), 1); // the run flag is left alone
    app.Experiment().runner.SetRunFlag(0);
}

// Every absolute path begins with '/': a switch is told from a file by what it names.
TEST_F(DocTest, TheCommandLineTellsFilesFromSwitches)
{
    const std::string missing = dir + "/M2.oxv";
    struct Case {
        QStringList arguments;
        bool embedded;
        std::string file;
        std::vector<std::string> unknown;
    };
    const Case cases[] = {
        {{"-Embedding"}, true, "", {}},
        {{"/automation", "M3.oxv"}, true, "M3.oxv", {}},
        // A missing file is still a file: opening it says it is missing.
        {{"/Regserver", "--help", QString::fromStdString(missing), "M3.oxv"}, false, missing, {"/Regserver", "--help"}},
    };
    for (const Case& c : cases) {
        CommandLine line = ParseCommandLine(QStringList{"orvix"} + c.arguments);
        EXPECT_EQ(std::tie(line.embedded, line.file, line.unknownSwitches), std::tie(c.embedded, c.file, c.unknown))
            << c.arguments.join(' ').toStdString();
    }
}

TEST_F(DocTest, AnAbsolutePathOnTheCommandLineIsOpened)
{
    const std::string path = dir + "/M1.oxv";
    {
        COrvixDoc saved;
        saved.commandLines = {"OR 0"};
        saved.ParseCommandFile(kNoAngleOffset);
        ASSERT_TRUE(saved.OnSaveDocument(path));
    }
    SetReg("TestType", nullptr, "Orient"); // the file has none: it stays open all the same
    COrvixApp app;
    ASSERT_TRUE(app.InitInstance(QStringList{"orvix", "-nosplash", QString::fromStdString(path)}));
    EXPECT_EQ(app.Document()->GetPathName(), path);
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{"Unknown command-line switch \"-nosplash\" ignored."}));
    app.ExitInstance();
}

TEST_F(DocTest, RunningFlagDrivesThePassesAndQuitEndsTheLoop)
{
    COrvixApp app;
    ASSERT_TRUE(app.InitInstance(QStringList{"orvix"}));
    struct CountingView : IDocObserver {
        CTaskRunner* runner = nullptr;
        int passes = 0;
        std::chrono::steady_clock::time_point first, last;
        void OnUpdate(IDocObserver*, const DocUpdate& u) override
        {
            if (u.hint != HINT_PASS)
                return;
            (++passes == 1 ? first : last) = std::chrono::steady_clock::now();
            if (passes == 50) {
                runner->SetRunFlag(0);
                QApplication::quit();
            }
        }
    } view;
    view.runner = &app.Experiment().runner;
    app.Document()->AddObserver(&view);
    // Passes run while the renderer is up and a task is compiled.
    app.Experiment().deviceIO.SetRendererRunningForTest(true);
    app.Experiment().deviceIO.sendHookForTest = [](int, const std::string&, bool) {};
    std::string task = dir + "/task.c";
    orvix_test::WriteFile(task, "int TaskEntry() { return TRIAL_CONTINUE; }\n");
    app.Document()->GetBehavParam("TaskFile", CParam(nullptr, task.c_str()));
    // The Test page's setting names the task file once the page exists.
    app.Document()->GetExpParam("TaskFile", CParam(nullptr, "")) = task.c_str();
    app.Experiment().runner.LoadParameters(app.Document());
    app.Experiment().runner.SetRunFlag(1);
    QTimer::singleShot(5000, qApp, [] { QApplication::quit(); }); // deadline
    app.Run();
    app.Document()->RemoveObserver(&view);
    app.Experiment().deviceIO.sendHookForTest = nullptr;
    app.Experiment().deviceIO.SetRendererRunningForTest(false);
    EXPECT_EQ(view.passes, 50);
    // Between passes the loop waits for events, a pass due every millisecond: however fast
    // the machine, 50 passes take 49 ms (less one for the first pass's own lateness).
    EXPECT_GE(view.last - view.first, std::chrono::milliseconds(45));
}

TEST_F(DocTest, OpeningAMissingFileSaysSo)
{
    COrvixApp app;
    ASSERT_TRUE(app.InitInstance(QStringList{"orvix"}));
    EXPECT_FALSE(app.OpenDocumentFile(dir + "/none.oxv"));
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().text, "File \"" + dir + "/none.oxv\" doesn't exist or couldn't be opened!");
}

TEST_F(DocTest, FunctionKeysReachTheDocumentThroughTheWindow)
{
    COrvixApp app;
    ASSERT_TRUE(app.InitInstance(QStringList{"orvix"}));
    app.MainFrame()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(app.MainFrame()));
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : app.MainFrame();
    QTest::keyClick(target, Qt::Key_F3);
    EXPECT_EQ(app.Document()->activeChannels, 0xFB);
    QTest::keyClick(target, Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(app.Document()->cellIds[2], 2);
    QTest::keyClick(target, Qt::Key_F6, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(app.Document()->mainChannel, 5);
}

TEST_F(DocTest, ExperimentMenuReachesTheDocumentsCommands)
{
    COrvixApp app;
    ASSERT_TRUE(app.InitInstance(QStringList{"orvix"}));
    COrvixDoc& doc = *app.Document();

    // "&Enable" without a renderer: the connection message, and no experiment.
    setenv("ORVIX_CONSOLE_PORT", "1", 1);
    app.MainFrame()->Action(COrvixDoc::ID_ENABLE)->trigger();
    unsetenv("ORVIX_CONSOLE_PORT");
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().text.rfind("Can't make a network connection with \"", 0), 0u) << ui.messages.back().text;
    EXPECT_EQ(app.Experiment().runner.GetRunFlag(), 0);

    // "&Load Format" flips, "File Merging Mode" needs commands.
    app.MainFrame()->Action(COrvixDoc::ID_LOAD_FORMAT)->trigger();
    EXPECT_EQ(doc.loadFormat, 0);
    bool enabled = true, checked = true;
    ASSERT_TRUE(doc.OnUpdateCommand(COrvixDoc::ID_FILE_MERGING_MODE, enabled, checked));
    EXPECT_FALSE(enabled);

    // "&Transform": the dialog's name and expression make a column.
    doc.commandLines = {"A 1", "A 2"};
    doc.ParseCommandFile(kNoAngleOffset);
    ui.onAskTransform = [](std::string& name, std::string& expression) {
        name = "Twice";
        expression = "A * 2";
        return true;
    };
    app.MainFrame()->Action(COrvixDoc::ID_TRANSFORM)->trigger();
    EXPECT_EQ(doc.GetCommand(1)[0].GetName(), "Twice");
    EXPECT_DOUBLE_EQ(doc.GetCommand(1)[0].GetDouble(), 4.0);
    EXPECT_EQ(doc.expressionColumns, (std::vector<std::string>{"Twice", "A * 2"}));
}

TEST_F(DocTest, FileNewStartsAnEmptyDocument)
{
    COrvixApp app;
    ASSERT_TRUE(app.InitInstance(QStringList{"orvix"}));
    COrvixDoc& doc = *app.Document();
    doc.AddTrial(new CTrial);
    doc.SetPathName(dir + "/MOaa4aOrient01.oxv");
    doc.dataFilePath = dir + "/MOaa4aOrient01.oxv";
    doc.GetExpParam("AccumedTimes", CParam(nullptr, 0)) = 3;
    app.MainFrame()->Action(COrvixApp::ID_FILE_NEW)->trigger();
    EXPECT_EQ(doc.GetTrialCount(), 0);
    EXPECT_EQ(doc.trialTable.GetRowCount(), 0);
    EXPECT_EQ(doc.GetPathName(), "");
    EXPECT_EQ(doc.GetTitle(), ""); // "Untitled" again in the title and the save question
    EXPECT_EQ(doc.dataFilePath, "");
    EXPECT_EQ(doc.GetExpParam("AccumedTimes", CParam(nullptr, 7)).GetInt(), 0);
    app.ExitInstance();
}

TEST_F(DocTest, OpenIsOffWhileATestRuns)
{
    COrvixApp app;
    ASSERT_TRUE(app.InitInstance(QStringList{"orvix"}));
    app.MainFrame()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(app.MainFrame()));
    COrvixDoc& doc = *app.Document();
    std::string file = dir + "/other.oxv";
    orvix_test::WriteFile(file, "not opened");
    doc.commandLines = {"A 1", "A 2"};
    doc.ParseCommandFile(kNoAngleOffset);
    orvix_test::CScriptedEngine engine;
    CTestRun run(doc, engine);
    run.commandListChanged = 0;
    CTestSettings settings;
    settings.Load(doc);
    settings.isRandom = 0;
    settings.accumTimes = 1;
    QAction* open = app.MainFrame()->Action(COrvixApp::ID_FILE_OPEN);
    bool enabledDuringRun = true, dialogShown = false, fileOpened = true;
    engine.onPass = [&](int pass) {
        if (pass != 1)
            return;
        enabledDuringRun = open->isEnabled();
        // Ctrl+O and the command itself: a dialog that came up anyway is closed and noted.
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                dialogShown = true;
                modal->close();
            }
        });
        closer.start(300);
        QTest::keyClick(app.MainFrame(), Qt::Key_O, Qt::ControlModifier);
        app.OnFileOpen();
        fileOpened = app.OpenDocumentFile(file);
    };
    run.OnStart(settings);
    EXPECT_EQ(doc.GetTrialCount(), 2);
    EXPECT_FALSE(enabledDuringRun);
    EXPECT_FALSE(dialogShown);
    EXPECT_FALSE(fileOpened);
    EXPECT_TRUE(ui.messages.empty()); // refused without a word, as a disabled command is
    EXPECT_TRUE(open->isEnabled());
    app.ExitInstance();
}

TEST_F(DocTest, QuitEndsTheExperimentSwitchsWaits)
{
    COrvixApp app;
    ASSERT_TRUE(app.InitInstance(QStringList{"orvix"}));
    COrvixDoc& doc = *app.Document();
    CDeviceIO& io = app.Experiment().deviceIO;
    // A renderer that takes both connections and never says "Inventor started!".
    CTcpListener console, command;
    ASSERT_EQ(console.Listen(0), 0);
    ASSERT_EQ(command.Listen(0), 0);
    setenv("ORVIX_CONSOLE_PORT", std::to_string(console.Port()).c_str(), 1);
    setenv("ORVIX_RENDERER_PORT", std::to_string(command.Port()).c_str(), 1);
    doc.GetBehavParam("SGI", CParam(nullptr, "127.0.0.1"));
    doc.GetBehavParam("SerialPort", CParam(nullptr, "/nonexistent/orvix-tty"));
    // Each wait is entered from the running program's loop, and quit is asked for meanwhile.
    auto runUntilQuit = [&](const std::function<void()>& work) {
        QTimer::singleShot(0, qApp, work);
        QTimer::singleShot(200, qApp, [] { QApplication::quit(); });
        uint32_t t0 = TickMs();
        app.Run();
        return TickMs() - t0;
    };

    uint32_t took = runUntilQuit([&] { app.MainFrame()->Action(COrvixDoc::ID_ENABLE)->trigger(); });
    EXPECT_LT(took, 3000u); // not the 5 s of the renderer's start
    EXPECT_FALSE(io.IsRendererRunning());

    bool loaded = true;
    took = runUntilQuit([&] {
        io.SetRendererRunning(true);
        loaded = doc.LoadScene("x.iv", false);
    });
    EXPECT_LT(took, 3000u); // not the minute of the scene's definitions
    EXPECT_FALSE(loaded);
    io.Close();
    unsetenv("ORVIX_CONSOLE_PORT");
    unsetenv("ORVIX_RENDERER_PORT");
}

// SIGTERM while dialogs wait for the user, the program's own Qt ones: a message box on top
// of the start-up's data-folder question, before the main loop runs. Each ends as its Escape
// would, then the program leaves as Exit does, asking about the unsaved changes.
TEST_F(DocTest, AQuitSignalEndsTheDialogsThenLeavesAsExitDoes)
{
    CQtUI qtUi;
    SetUI(&qtUi);
    // SIGTERM is the program's while it runs, not the temporary folders' (their handler
    // would keep the program from taking it); both come back after the program.
    struct sigaction folders = {}, dfl = {};
    dfl.sa_handler = SIG_DFL;
    sigaction(SIGTERM, &dfl, &folders);
    struct Restore {
        CScriptedUI& ui;
        struct sigaction& folders;
        ~Restore()
        {
            SetUI(&ui);
            sigaction(SIGTERM, &folders, nullptr);
        }
    } restore{ui, folders};
    SetReg("TestType", nullptr, "Demo");
    SetReg("Parameters", "DataPath", "c:\\nowhere");
    std::vector<std::string> seen;
    int inner = 0;
    bool signalled = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            seen.push_back(box->text().toStdString());
            box->button(QMessageBox::No)->click(); // the exit's question is the user's
        } else if (!signalled) {
            seen.push_back(modal->windowTitle().toStdString());
            signalled = true;
            QTimer::singleShot(50, [] {
                struct sigaction now = {};
                sigaction(SIGTERM, nullptr, &now);
                if (now.sa_handler != SIG_DFL)
                    raise(SIGTERM);
            });
            // This waits in the dialog's loop, where the signal comes.
            inner = MessageBox("Inner?", MB_YESNO);
        }
    });
    watch.start(20);
    // Without the signal's work nothing would end them: a deadline closes what still waits
    // and ends the loop, again until the test is over.
    bool late = false;
    QTimer deadline;
    QObject::connect(&deadline, &QTimer::timeout, [&] {
        late = true;
        while (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
        QApplication::exit(1);
        deadline.setInterval(500);
    });
    deadline.start(20000);
    COrvixApp app;
    ASSERT_TRUE(app.InitInstance(QStringList{"orvix"}));
    EXPECT_EQ(inner, IDNO);
    app.Document()->SetModifiedFlag();
    EXPECT_EQ(app.Run(), 0);
    EXPECT_FALSE(app.MainFrame()->isVisible());
    EXPECT_EQ(seen, (std::vector<std::string>{"DataPath", "Save changes to Untitled?"}));
    EXPECT_FALSE(late);
}

// "Export Data..." and "Align trials ..." open their dialogs from the menu; the export
// offers unsaved trials for saving once, then replaces the document file after file.
TEST_F(DocTest, ExportAndAlignCommandsOpenTheirDialogs)
{
    const std::string data = dir + "/data", out = dir + "/out";
    std::filesystem::create_directories(out);
    for (const char* name : {"M1aa1aOrient01.oxv", "M1aa1aOrient02.oxv"}) {
        COrvixDoc d;
        d.commandLines = {"OR 0", "OR 90"};
        d.ParseCommandFile(kNoAngleOffset);
        for (int i = 0; i < (name[13] == '2' ? 3 : 2); ++i) {
            auto* t = new CTrial;
            t->commandIndex = i % 2;
            t->SetStartTime(1000u * static_cast<uint32_t>(i));
            d.AddTrial(t);
        }
        ASSERT_TRUE(d.OnSaveDocument(data + "/" + name));
    }
    COrvixApp app;
    ASSERT_TRUE(app.InitInstance(QStringList{"orvix"}));
    COrvixDoc& doc = *app.Document();
    doc.SetModifiedFlag(true);

    QAction* exportData = app.MainFrame()->Action(ICommandTarget::ID_EXPORT_DATA);
    ASSERT_NE(exportData, nullptr);
    EXPECT_EQ(exportData->text(), "Export Data...");
    ui.answers = {IDNO}; // do not save the document's changes
    ui.onModal = [&](QDialog& d) {
        auto* dialog = dynamic_cast<CExportDataDlg*>(&d);
        EXPECT_NE(dialog, nullptr);
        if (!dialog)
            return IDCANCEL;
        dialog->findChild<QLineEdit*>("ctl1111")->setText(QString::fromStdString(data + "/*.oxv"));
        dialog->findChild<QLineEdit*>("ctl1112")->setText(QString::fromStdString(out));
        dialog->OnOK();
        return IDCANCEL;
    };
    exportData->trigger();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.rfind("Save changes to ", 0), 0u);
    EXPECT_TRUE(std::filesystem::exists(out + "/M1aa1aOrient01.csv"));
    EXPECT_TRUE(std::filesystem::exists(out + "/M1aa1aOrient02.csv"));
    EXPECT_EQ(doc.dataFilePath, data + "/M1aa1aOrient02.oxv");
    // The views show the document that is open, as after File > Open.
    EXPECT_EQ(app.MainFrame()->TrialView()->Layout().trialCount, 3);
    auto* graph = qobject_cast<CGraphView*>(app.MainFrame()->GraphPane());
    ASSERT_NE(graph, nullptr);
    EXPECT_TRUE(graph->HasTrials());

    // While a test runs the export, which replaces the document, is not offered.
    doc.testRunning = 1;
    app.MainFrame()->UpdateCommandStates(qobject_cast<QMenu*>(exportData->parent()));
    EXPECT_FALSE(exportData->isEnabled());
    doc.testRunning = 0;

    QAction* align = app.MainFrame()->Action(ICommandTarget::ID_ALIGN_TRIALS);
    ASSERT_NE(align, nullptr);
    EXPECT_EQ(align->text(), "Align trials ...");
    ui.onModal = [&](QDialog& d) {
        auto* dialog = dynamic_cast<CAlignTrialsDlg*>(&d);
        EXPECT_NE(dialog, nullptr);
        if (dialog)
            dialog->findChild<QCheckBox*>("ctl1186")->click();
        return IDCANCEL;
    };
    align->trigger();
    EXPECT_EQ(doc.alignOnFigOnset, 1);

    // "Export Param...": the parameters of the files into one comma-separated file.
    QAction* exportParam = app.MainFrame()->Action(ICommandTarget::ID_EXPORT_PARAM);
    ASSERT_NE(exportParam, nullptr);
    EXPECT_EQ(exportParam->text(), "Export Param...");
    ui.onModal = [&](QDialog& d) {
        auto* dialog = dynamic_cast<CExportParamDlg*>(&d);
        EXPECT_NE(dialog, nullptr);
        if (!dialog)
            return IDCANCEL;
        dialog->findChild<QLineEdit*>("ctl1119")->setText(QString::fromStdString(data + "/*.oxv"));
        dialog->findChild<QLineEdit*>("ctl1120")->setText(QString::fromStdString(out + "/param.csv"));
        dialog->OnOK();
        return IDCANCEL;
    };
    app.MainFrame()->UpdateCommandStates(qobject_cast<QMenu*>(exportParam->parent()));
    exportParam->trigger();
    EXPECT_TRUE(std::filesystem::exists(out + "/param.csv"));
    doc.testRunning = 1;
    app.MainFrame()->UpdateCommandStates(qobject_cast<QMenu*>(exportParam->parent()));
    EXPECT_FALSE(exportParam->isEnabled());
    doc.testRunning = 0;
}

TEST_F(DocTest, PrintSetupAndDroppedFilesReachTheApplication)
{
    // A data file to drop.
    std::string path = dir + "/MO01.oxv";
    {
        COrvixDoc saved;
        saved.commandLines = {"OR 0", "OR 90"};
        saved.ParseCommandFile(kNoAngleOffset);
        for (int i = 0; i < 3; ++i) {
            auto* t = new CTrial;
            t->commandIndex = i % 2;
            t->SetLength(500);
            t->comment = "trial " + std::to_string(i);
            saved.AddTrial(t);
        }
        ASSERT_TRUE(saved.OnSaveDocument(path));
    }
    COrvixApp app;
    ASSERT_TRUE(app.InitInstance(QStringList{"orvix"}));

    // "P&rint Setup..." runs the page set-up.
    app.MainFrame()->Printer().setOutputFormat(QPrinter::PdfFormat);
    app.MainFrame()->Action(ICommandTarget::ID_FILE_PRINT_SETUP)->trigger();
    EXPECT_EQ(ui.modalRuns, 1);

    // A data file dropped on the window is opened, and the views start from its first trial.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    EXPECT_TRUE(app.MainFrame()->OpenDroppedFile(data));
    EXPECT_EQ(app.Document()->GetPathName(), path);
    ASSERT_EQ(app.Document()->GetTrialCount(), 3);
    EXPECT_EQ(app.MainFrame()->TrialView()->Layout().trialCount, 3);
    EXPECT_EQ(app.MainFrame()->CommentTrial(), 0);
    EXPECT_EQ(static_cast<QLineEdit*>(app.MainFrame()->GetCommentEdit())->text().toStdString(), "trial 0");
    app.ExitInstance();
}

TEST_F(DocTest, ClosingTheWindowAsksAboutAModifiedDocument)
{
    COrvixApp app;
    ASSERT_TRUE(app.InitInstance(QStringList{"orvix"}));
    app.Document()->SetModifiedFlag();
    ui.answers = {IDCANCEL};
    EXPECT_FALSE(app.MainFrame()->close());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Save changes to Untitled?");
    EXPECT_TRUE(app.MainFrame()->isVisible());
    // The end of the desktop session asks too; Cancel asks the session to go on.
    ui.answers = {IDCANCEL};
    EXPECT_FALSE(app.OnSessionEnd());
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text, "Save changes to Untitled?");
    ui.answers = {IDNO};
    EXPECT_TRUE(app.MainFrame()->close());
    app.ExitInstance();
}

// The File menu, the title and Save As as a user meets them: the last data files under the
// menu's commands, the document's name in the title, ".oxv" added to a bare name.
TEST_F(DocTest, FileMenuListsRecentFilesAndTheTitleNamesTheDocument)
{
    std::filesystem::create_directories(dir + "/drives/c/data"); // listed as "c:\\data\\..."
    std::vector<std::string> files;
    for (int i = 0; i < 5; ++i) {
        files.push_back((i == 4 ? dir + "/drives/c/data" : dir) + "/MO0" + std::to_string(i) + ".oxv");
        COrvixDoc saved;
        saved.commandLines = {"OR 0"};
        saved.ParseCommandFile(kNoAngleOffset);
        auto* t = new CTrial;
        t->SetLength(100);
        saved.AddTrial(t);
        ASSERT_TRUE(saved.OnSaveDocument(files.back()));
    }
    COrvixApp app;
    ASSERT_TRUE(app.InitInstance(QStringList{"orvix"}));
    CMainFrame& frame = *app.MainFrame();
    for (const std::string& f : files)
        ASSERT_TRUE(app.OpenDocumentFile(f)) << f << " " << (ui.messages.empty() ? "" : ui.messages.back().text);
    // The title follows on a display tick, however busy the machine.
    EXPECT_TRUE(QTest::qWaitFor([&] { return frame.windowTitle() == "MO04.oxv - Orvix"; }, 10000))
        << frame.windowTitle().toStdString();

    auto* file = qobject_cast<QMenu*>(frame.Action(COrvixApp::ID_APP_EXIT)->associatedObjects().value(0));
    ASSERT_NE(file, nullptr);
    std::vector<std::string> entries;
    for (int round = 0; round < 2; ++round) { // made again, not added again, each time it opens
        emit file->aboutToShow();
        entries.clear();
        for (QAction* a : file->actions())
            if (a->text().startsWith('&') && a->text().contains(".oxv"))
                entries.push_back(a->text().toStdString());
    }
    EXPECT_EQ(entries, (std::vector<std::string>{"&1 c:\\data\\MO04.oxv", "&2 " + files[3], "&3 " + files[2],
                                                 "&4 " + files[1]}));
    for (QAction* a : file->actions())
        if (a->text() == QString::fromStdString("&4 " + files[1]))
            a->trigger();
    EXPECT_EQ(app.Document()->GetPathName(), files[1]);

    // Save As with a bare name adds the extension the Open dialog looks for.
    ui.onModal = [](QDialog& dialog) { return TypeIntoFileDialog(dialog, "renamed"); };
    EXPECT_TRUE(app.OnFileSaveAs());
    EXPECT_EQ(app.Document()->GetPathName(), dir + "/renamed.oxv");
    EXPECT_TRUE(std::filesystem::exists(dir + "/renamed.oxv"));
    app.ExitInstance();
}

// The data folder's "c:\data" form as File > Open and Save As meet it: each starts in the
// folder it maps to, and a name typed in that form is taken as the mapped one.
TEST_F(DocTest, OpenAndSaveAsMapTheDataFoldersForm)
{
    const std::string data = dir + "/drives/c/data";
    std::filesystem::create_directories(data);
    EXPECT_EQ(FileDialogStart("c:\\data\\MO01.oxv").folder, data);
    EXPECT_EQ(FileDialogStart("c:\\data\\MO01.oxv").name, "MO01.oxv");
    EXPECT_EQ(FileDialogStart("/x.oxv").folder, "/");
    EXPECT_EQ(FileDialogStart("x.oxv").folder, "");
    {
        COrvixDoc saved;
        saved.commandLines = {"OR 0"};
        saved.ParseCommandFile(kNoAngleOffset);
        ASSERT_TRUE(saved.OnSaveDocument(data + "/MO01.oxv"));
    }
    COrvixApp app;
    ASSERT_TRUE(app.InitInstance(QStringList{"orvix"}));
    std::string startedIn, offered;
    auto answer = [&](const char* typed) {
        ui.onModal = [&, typed](QDialog& dialog) {
            startedIn = qobject_cast<QFileDialog*>(&dialog)->directory().absolutePath().toStdString();
            auto* edit = dialog.findChild<QLineEdit*>("fileNameEdit");
            offered = edit->text().toStdString();
            // Qt would turn Open off for a name it does not know yet.
            edit->setText(typed);
            if (QPushButton* open = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)) {
                EXPECT_TRUE(open->isEnabled());
            }
            return TypeIntoFileDialog(dialog, typed);
        };
    };
    answer("c:\\data\\MO01.oxv"); // the first dialog: Qt's start where the last one ended
    app.OnFileOpen();
    EXPECT_EQ(startedIn, data);
    app.Document()->SetPathName("c:\\data\\MOaa4aOrient01.oxv");
    answer("c:\\data\\MO01.oxv");
    app.OnFileOpen();
    EXPECT_EQ(startedIn, data);
    EXPECT_EQ(app.Document()->GetPathName(), data + "/MO01.oxv");

    app.Document()->SetPathName("c:\\data\\MOaa4aOrient01.oxv");
    answer("c:\\data\\x.oxv");
    EXPECT_TRUE(app.OnFileSaveAs());
    EXPECT_EQ(startedIn, data);
    EXPECT_EQ(offered, "MOaa4aOrient01.oxv");
    EXPECT_EQ(app.Document()->GetPathName(), data + "/x.oxv");
    EXPECT_TRUE(std::filesystem::exists(data + "/x.oxv"));
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().text;

    // A document without a file: the data folder, not the working folder of the tasks.
    app.Document()->OnNewDocument();
    answer("y");
    EXPECT_TRUE(app.OnFileSaveAs());
    EXPECT_EQ(startedIn, data);
    EXPECT_TRUE(std::filesystem::exists(data + "/y.oxv"));
    app.ExitInstance();
}

// Help > "&Help Topics" shows the program's own documentation (found in its source tree
// here), and only the documentation's files: another user's README is not taken for it.
TEST_F(DocTest, HelpTopicsShowsTheDocumentation)
{
    COrvixApp app;
    ASSERT_TRUE(app.InitInstance(QStringList{"orvix"}));
    QAction* topics = app.MainFrame()->Action(ICommandTarget::ID_HELP_FINDER);
    ASSERT_NE(topics, nullptr);
    EXPECT_EQ(topics->text(), "&Help Topics");
    topics->trigger();
    auto* help = app.MainFrame()->findChild<CHelpWindow*>();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    const std::vector<std::string>& files = help->Files();
    ASSERT_FALSE(files.empty());
    EXPECT_EQ(files[0], "README.md");
    EXPECT_TRUE(help->Browser()->toPlainText().startsWith("Orvix\n")); // the title, as Markdown
    const auto platform = std::find(files.begin(), files.end(), "docs/platform.md");
    ASSERT_NE(platform, files.end());
    help->ShowFile(static_cast<size_t>(platform - files.begin()));
    EXPECT_TRUE(help->Browser()->toPlainText().contains("how the Windows platform maps here"));
    // A link out of the documentation loads nothing.
    orvix_test::WriteFile(dir + "/README.md", "# planted\n");
    const QUrl planted = QUrl::fromLocalFile(QString::fromStdString(dir + "/README.md"));
    EXPECT_FALSE(help->Browser()->loadResource(QTextDocument::MarkdownResource, planted).isValid());
    EXPECT_EQ(FindDocumentation({dir + "/none", dir}), dir);
    if (orvix_test::CanActAsOtherUser()) {
        ASSERT_EQ(chown((dir + "/README.md").c_str(), orvix_test::kOtherUser, orvix_test::kOtherUser), 0);
        EXPECT_EQ(FindDocumentation({dir}), "");
    }
    app.ExitInstance();
}

// The control panel is a tool window of the main window: it stays above it, Escape leaves
// it open, and it goes with the main window.
TEST_F(DocTest, ControlPanelStaysAboveTheMainWindowAndEscapeKeepsIt)
{
    COrvixApp app;
    ASSERT_TRUE(app.InitInstance(QStringList{"orvix"}));
    app.MainFrame()->Action(COrvixApp::ID_CONTROL_PANEL)->trigger();
    CControlPanel* panel = app.ControlPanels()->Get();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->parentWidget(), app.MainFrame());
    EXPECT_EQ(panel->windowType(), Qt::Tool);
    QTest::keyClick(panel, Qt::Key_Escape);
    EXPECT_TRUE(panel->isVisible());
    app.MainFrame()->Action(COrvixApp::ID_CONTROL_PANEL)->trigger();
    EXPECT_FALSE(panel->isVisible());
    app.ExitInstance();
}
