// The program as a user runs it: start-up, "&Enable" from the Experiment menu against the
// stand-in renderer with the simulated eye tracker, then a sweep started from the Test page,
// with the example task of the run command. Everything goes through the program's own
// objects and widgets.
#include <QApplication>
#include <QImage>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <sys/stat.h>

#include "app/controlpanel_owner.h"
#include "app/orvixapp.h"
#include "document/orvixdoc.h"
#include "io/deviceio.h"
#include "panel/controlpanel.h"
#include "panel/testpage.h"
#include "runner/taskrunner.h"
#include "standin_process.h"
#include "tests/document/doc_fixture.h"
#include "views/fpview.h"
#include "views/graphview.h"
#include "views/mainframe.h"
#include "views/orvixview.h"
#include "views/viewcommands.h"

using namespace orvix;

class ProgramRunTest : public DocTest {
protected:
    // The example task and scene of the run command, the stand-in renderer on its own ports.
    void SetUp() override
    {
        DocTest::SetUp();
        std::string examples = std::string(ORVIX_TEST_SOURCE_DIR) + "/../../examples";
        std::string scenes = dir + "/scenes";
        mkdir(scenes.c_str(), 0700);
        orvix_test::WriteFile(scenes + "/mytest.iv.params", orvix_test::ReadFile(examples + "/mytest.iv.params"));
        orvix_test::WriteFile(dir + "/Task.c", orvix_test::ReadFile(examples + "/Task.c"));
        ASSERT_TRUE(renderer.Start(scenes));
        setenv("ORVIX_RENDERER_PORT", std::to_string(renderer.commandPort).c_str(), 1);
        setenv("ORVIX_CONSOLE_PORT", std::to_string(renderer.consolePort).c_str(), 1);
        SetReg("Parameters", "SGI", "127.0.0.1");
    }
    void TearDown() override
    {
        for (const char* v : {"ORVIX_SIMULATED_EYE", "ORVIX_RENDERER_PORT", "ORVIX_CONSOLE_PORT"})
            unsetenv(v);
        renderer.Stop();
        DocTest::TearDown();
    }

    StandInProcess renderer;
};

TEST_F(ProgramRunTest, AnExperimentRunsFromTheTestPage)
{
    setenv("ORVIX_SIMULATED_EYE", "1", 1);
    SetReg("TestType", nullptr, "Demo");

    {
        COrvixApp app;
        ASSERT_TRUE(app.InitInstance(QStringList{"orvix"}));
        COrvixDoc& doc = *app.Document();
        ASSERT_TRUE(doc.SetTestType(0));
        QWidget* page = app.ControlPanels()->Get()->TestPage();
        auto edit = [page](int id) { return page->findChild<QLineEdit*>(QStringLiteral("ctl%1").arg(id)); };
        edit(1011)->setText(QString::fromLocal8Bit((dir + "/Task.c").c_str())); // task file
        edit(1028)->setText("OR");                                              // parameter to test
        edit(1003)->setText("0");
        edit(1004)->setText("90");
        edit(1005)->setText("45");
        edit(1015)->setText("1"); // accum times
        page->findChild<QCheckBox*>("ctl1029")->setChecked(false); // list order

        app.MainFrame()->Action(COrvixDoc::ID_ENABLE)->trigger();
        ASSERT_EQ(app.Experiment().runner.GetRunFlag(), 1);
        ASSERT_TRUE(app.Experiment().runner.HasProgram());

        // While the sweep runs the main window shows it: the response graph paints while the
        // trials come in, the eye's trail and the trials are drawn by the display tick between
        // the passes.
        CMainFrame& frame = *app.MainFrame();
        auto* graphView = dynamic_cast<CGraphView*>(frame.GraphPane());
        ASSERT_NE(graphView, nullptr);
        CGraphView& graph = *graphView;
        const int buildsBefore = graph.Graph().FullBuilds();
        int paintsDuringSweep = 0, lastPaints = graph.PaintCount();
        long trailDuringRun = 0;
        int trialsShownDuringRun = 0;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            int trials = doc.GetTrialCount();
            if (graph.PaintCount() != lastPaints && trials > 0 && trials < 3)
                ++paintsDuringSweep;
            lastPaints = graph.PaintCount();
            if (!doc.testRunning)
                return;
            trailDuringRun = frame.EyeView()->TrailSegmentsDrawn();
            trialsShownDuringRun = std::max(trialsShownDuringRun, frame.TrialView()->Layout().trialCount);
        });
        watch.start(10);

        // The run pumps events until its three commands are done; a deadline stops it.
        bool late = false;
        auto* start = page->findChild<QPushButton*>("ctl1001");
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, [&] {
            late = true;
            start->click(); // "&Stop"
        });
        deadline.start(20000);
        start->click();
        deadline.stop();
        EXPECT_FALSE(late);
        ASSERT_EQ(doc.GetTrialCount(), 3);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(doc.GetTrial(i)->commandIndex, i);
            EXPECT_EQ(doc.GetTrial(i)->responses[0], 3); // nobody answers: the example task's miss
            EXPECT_FALSE(doc.GetTrial(i)->hSamples.empty());
        }
        EXPECT_EQ(doc.GetExpParam("AccumedTimes", CParam(nullptr, 0)).GetInt(), 1);
        EXPECT_EQ(doc.trialTable.GetRowCount(), 3);
        EXPECT_EQ(doc.trialTable.GetInt(2, 0), 90); // the OR column
        watch.stop();
        EXPECT_GT(paintsDuringSweep, 0);
        EXPECT_EQ(doc.responses.xValues, (std::vector<std::string>{"0", "45", "90"}));
        EXPECT_EQ(doc.responses.mean.Columns(), 3);
        EXPECT_EQ(graph.Graph().FullBuilds() - buildsBefore, 1); // then trial by trial
        EXPECT_GT(trailDuringRun, 0);
        EXPECT_GE(trialsShownDuringRun, 1);
        // After the run the trial view holds the trials recorded, and draws them.
        frame.Tick();
        EXPECT_EQ(frame.TrialView()->Layout().trialCount, 3);
        EXPECT_EQ(frame.PaneText(ID_INDICATOR_ACCUM), "Accum: 1");
        QImage cells = frame.TrialView()->viewport()->grab().toImage();
        int ticks = 0;
        for (int y = 0; y < cells.height(); ++y)
            for (int x = 0; x < cells.width(); ++x)
                ticks += (cells.pixel(x, y) & 0xFFFFFF) == 0x0000C0; // the axes' blue
        EXPECT_GT(ticks, 0);
        app.ExitInstance();
        app.Experiment().deviceIO.Close();
    }
}

TEST_F(ProgramRunTest, TheFirstEnableWithoutATestTypeLeavesTheExperimentRunning)
{
    // No test type has ever loaded the parameters: the task is compiled only once the
    // scene's definitions are in, so no experiment pass may run while the scene loads.
    SetReg("Parameters", "SerialPort", "/nonexistent/orvix-tty");
    COrvixApp app;
    ASSERT_TRUE(app.InitInstance(QStringList{"orvix"}));
    QWidget* page = app.ControlPanels()->Get()->TestPage();
    page->findChild<QLineEdit*>("ctl1011")->setText(QString::fromLocal8Bit((dir + "/Task.c").c_str()));
    app.MainFrame()->Action(COrvixDoc::ID_ENABLE)->trigger();
    EXPECT_TRUE(app.Experiment().runner.HasProgram());
    EXPECT_EQ(app.Experiment().runner.GetRunFlag(), 1);
    app.ExitInstance();
    app.Experiment().deviceIO.Close();
}
