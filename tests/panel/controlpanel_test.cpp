// The control panel as a whole: its pages, showing and hiding, and its lifetime.
#include <QTabWidget>

#include "panel/logpages.h"
#include "panel/parampages.h"
#include "tests/panel/panel_fixture.h"

using namespace orvix;

TEST_F(PanelTest, PanelHoldsTheEightPagesInOrderAndStartsHidden)
{
    EXPECT_EQ(panels->Get(), nullptr);
    CControlPanel* panel = Panel();
    EXPECT_EQ(panel->windowTitle(), "ControlPanel");
    EXPECT_FALSE(panel->isVisible());
    QStringList titles;
    for (int i = 0; i < panel->Tabs()->count(); ++i)
        titles << panel->Tabs()->tabText(i);
    EXPECT_EQ(titles, (QStringList{"Test", "GraphParam", "BehavParam", "Resp", "SysLog", "Electrode", "Statistics",
                                   "Play back"}));
    EXPECT_EQ(panel->Tabs()->currentIndex(), 0);
    // A second creation keeps the same panel.
    panels->Create();
    EXPECT_EQ(panels->Get(), panel);
}

TEST_F(PanelTest, ControlPanelCommandTogglesAndClosingOnlyHides)
{
    panels->Toggle();
    CControlPanel* panel = panels->Get();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    panels->Toggle();
    EXPECT_FALSE(panel->isVisible());
    panels->Toggle();
    EXPECT_TRUE(panel->isVisible());
    panel->close();
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(panels->Get(), panel);
    panels->Show(true);
    EXPECT_TRUE(panel->isVisible());
}

TEST_F(PanelTest, ParametersChangedRefreshesEveryPage)
{
    CControlPanel* panel = Panel();
    AddGraph("POSH", "1");
    AddBehav("H0", "-2560");
    records.trials.resize(2);
    doc->cellIds[0] = 5;
    EXPECT_EQ(panel->GraphPage()->ParamList()->count(), 0);
    doc->ParametersChanged();
    EXPECT_EQ(views.hints, (std::vector<int>{HINT_PARAMS_RELOADED}));
    EXPECT_EQ(panel->GraphPage()->ParamList()->count(), 1);
    // H0 and the task runner's nine others, added by its look-up.
    EXPECT_EQ(panel->BehavPage()->ParamList()->count(), 10);
    EXPECT_EQ(Control<QListWidget>(panel->ResponsePage(), 1034)->count(), 2);
}

TEST_F(PanelTest, OpeningAndClosingThePanelRepeatedly)
{
    AddGraph("POSH", "1");
    // Qt keeps a list of every widget alive, which also hides lost widgets from the leak
    // checker: count them instead.
    const qsizetype widgetsBefore = QApplication::allWidgets().size();
    for (int i = 0; i < 20; ++i) {
        panels->Toggle();
        doc->AddLogLine("line");
        doc->AddTrialResult(2, 1, 2, 3, 4);
        panels->Get()->close();
        panels->Destroy();
        EXPECT_EQ(panels->Get(), nullptr);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(QApplication::allWidgets().size(), widgetsBefore);
    // The owner deletes a panel it still has.
    panels->Create();
    EXPECT_GT(QApplication::allWidgets().size(), widgetsBefore);
    panels.reset();
    EXPECT_EQ(QApplication::allWidgets().size(), widgetsBefore);
}
