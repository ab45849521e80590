// The document's menu commands, channel choice and rates, and what it tells its observers.
#include <QAction>
#include <QMenu>

#include "app/orvixapp.h"
#include "tests/panel/panel_fixture.h"
#include "views/mainframe.h"

using namespace orvix;

TEST_F(PanelTest, ChannelCommandsSelectAndUnselect)
{
    EXPECT_EQ(COrvixDoc::ChannelOfCommand(32832), 0);
    EXPECT_EQ(COrvixDoc::ChannelOfCommand(32825), 1);
    EXPECT_EQ(COrvixDoc::ChannelOfCommand(32831), 7);
    EXPECT_EQ(COrvixDoc::ChannelOfCommand(32833), -1);
    EXPECT_EQ(COrvixDoc::ChannelOfCommand(32824), -1);

    EXPECT_EQ(doc->GetSelectedChannel(), 1);
    ASSERT_TRUE(doc->OnCommand(32827)); // "Channel &3"
    EXPECT_EQ(doc->GetSelectedChannel(), 3);
    bool enabled = false, checked = false;
    ASSERT_TRUE(doc->OnUpdateCommand(32827, enabled, checked));
    EXPECT_TRUE(checked);
    doc->OnUpdateCommand(32832, enabled, checked);
    EXPECT_FALSE(checked);
    doc->OnCommand(32827);
    EXPECT_EQ(doc->GetSelectedChannel(), -1);
    doc->OnUpdateCommand(32827, enabled, checked);
    EXPECT_FALSE(checked);
    EXPECT_EQ(views.hints, (std::vector<int>{HINT_REBUILD, HINT_REBUILD}));
    doc->OnCommand(32832);
    EXPECT_EQ(doc->GetSelectedChannel(), 0);

    EXPECT_FALSE(doc->OnCommand(12345));
    EXPECT_FALSE(doc->OnUpdateCommand(COrvixDoc::ID_CONTROL_PANEL, enabled, checked));
}

TEST_F(PanelTest, FileOpenIsDisabledWhileATestRuns)
{
    bool enabled = false, checked = true;
    ASSERT_TRUE(doc->OnUpdateCommand(COrvixDoc::ID_FILE_OPEN, enabled, checked));
    EXPECT_TRUE(enabled);
    doc->testRunning = 1;
    doc->OnUpdateCommand(COrvixDoc::ID_FILE_OPEN, enabled, checked);
    EXPECT_FALSE(enabled);
}

TEST_F(PanelTest, NotificationsAreHarmlessWithoutAPanel)
{
    AddGraph("POSH", "1");
    doc->AddLogLine("no panel yet");
    doc->UpdateGraphParamItem(0);
    doc->UpdateBehavParamItem(0);
    doc->RefreshBehavPage();
    doc->UpdateStatVariables(-1);
    doc->AddTrialResult(2, 1, 1, 1, 1);
    doc->UpdateChannelDisplay(3);
    doc->UpdateChannelDisplay(8);
    doc->ParametersChanged();
    EXPECT_EQ(bar.buttons, (std::vector<int>{3}));
}

TEST_F(PanelTest, ChannelRatesAreTheMeansOfThePositiveResponses)
{
    // No trials: the sums are divided by 1; 0 and -1 (not computed) add nothing.
    const double first[8] = {-1.0, 0.0, 10.5, 99.9, 1, 2, 3, 4};
    doc->AddChannelResponses(first);
    doc->UpdateChannelRates(nullptr);
    ASSERT_EQ(bar.levels.size(), 1u);
    EXPECT_EQ(bar.levels[0], (std::vector<int>{0, 0, 10, 99, 1, 2, 3, 4}));

    // Four trials: (10.5 + 31.5) / 4 = 10.5 -> 10; 99.9 / 4 = 24.975 -> 24.
    const double second[8] = {8, -1, 31.5, 0, 3, 2, 1, 0};
    doc->AddChannelResponses(second);
    records.trials.resize(4);
    doc->UpdateChannelRates(nullptr);
    EXPECT_EQ(bar.levels.back(), (std::vector<int>{2, 0, 10, 24, 1, 1, 1, 1}));
    EXPECT_EQ(doc->GetChannelLevels()[3], 24);
}

TEST_F(PanelTest, RecomputedRatesUseTheAnalysisTime)
{
    doc->channelSums.fill(50.0f);
    records.trials.resize(2);
    records.trials[0].channels[1] = 12;
    records.trials[1].channels[1] = -1;
    doc->RecomputeChannelRates();
    EXPECT_EQ(records.computeWindows, (std::vector<int>{800, 800}));
    EXPECT_EQ(doc->GetBehavParam("AnalysisTime", CParam("", 0)).GetInt(), 800);
    EXPECT_EQ(doc->channelSums[1], 12.0f);
    EXPECT_EQ(doc->channelSums[0], 0.0f);
}

TEST_F(PanelTest, TrialResponsesComeFromTheRecords)
{
    records.trials.resize(1);
    records.trials[0].responses[0] = 3;
    records.trials[0].responses[4] = 9;
    int r1 = 0, r2 = 0, r3 = 0, r4 = 0, status = 0;
    ASSERT_TRUE(doc->GetTrialResponse(0, &r1, &r2, &r3, &r4, &status));
    EXPECT_EQ(r1, 3);
    EXPECT_EQ(r2, -1);
    EXPECT_EQ(status, 9);
    EXPECT_FALSE(doc->GetTrialResponse(1, &r1, &r2, &r3, &r4, &status));
}

namespace {
// A document whose test-type selection can be made to fail.
class CRefusingDoc : public COrvixDoc {
public:
    bool refuse = false;
    bool SetTestType(int i) override { return refuse ? false : COrvixDoc::SetTestType(i); }
};
} // namespace

TEST_F(PanelTest, NextCellStepsTheMainChannelsCellUpToZ)
{
    CRefusingDoc cells;
    cells.AddObserver(&bar);
    ASSERT_TRUE(cells.AddTestType("Orient"));
    bar.buttons.clear();
    ASSERT_TRUE(cells.NextCell());
    EXPECT_EQ(cells.cellIds[3], 2);
    // The new document shows every channel, then the main channel's new cell.
    EXPECT_EQ(bar.buttons, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 3}));

    // A refused test-type selection (the user kept the old document) takes the step back.
    cells.refuse = true;
    EXPECT_FALSE(cells.NextCell());
    EXPECT_EQ(cells.cellIds[3], 2);

    // Past cell z there is no letter for a data-file name.
    cells.refuse = false;
    cells.cellIds[3] = 26;
    EXPECT_FALSE(cells.NextCell());
    EXPECT_EQ(cells.cellIds[3], 26);
    EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(DocTest, MenuEntriesReachTheDocumentsCommands)
{
    COrvixApp app;
    ASSERT_TRUE(app.InitInstance(QStringList{"orvix"}));
    COrvixDoc* d = app.Document();
    // The panel exists from the start, hidden.
    CControlPanel* made = app.ControlPanels()->Get();
    ASSERT_NE(made, nullptr);
    EXPECT_FALSE(made->isVisible());
    QAction* panel = app.MainFrame()->Action(COrvixDoc::ID_CONTROL_PANEL);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->text(), "&Control Panel...");
    panel->trigger();
    EXPECT_TRUE(made->isVisible());
    panel->trigger();
    EXPECT_FALSE(made->isVisible());

    QAction* ch3 = app.MainFrame()->Action(32827);
    QAction* ch0 = app.MainFrame()->Action(32832);
    ASSERT_NE(ch3, nullptr);
    ASSERT_NE(ch0, nullptr);
    EXPECT_EQ(ch3->text(), "Channel &3");
    ch3->trigger();
    EXPECT_EQ(d->GetSelectedChannel(), 3);
    QMenu* view = qobject_cast<QMenu*>(ch3->parent());
    ASSERT_NE(view, nullptr);
    app.MainFrame()->UpdateCommandStates(view);
    EXPECT_TRUE(ch3->isChecked());
    EXPECT_FALSE(ch0->isChecked());
    ch3->trigger();
    app.MainFrame()->UpdateCommandStates(view);
    EXPECT_EQ(d->GetSelectedChannel(), -1);
    EXPECT_FALSE(ch3->isChecked());

    QAction* open = app.MainFrame()->Action(COrvixApp::ID_FILE_OPEN);
    d->testRunning = 1;
    app.MainFrame()->UpdateCommandStates(qobject_cast<QMenu*>(open->parent()));
    EXPECT_FALSE(open->isEnabled());
    d->testRunning = 0;
    app.ExitInstance();
}
