// The response and log pages and the View list dialog.
#include <QRegularExpression>

#include "panel/logpages.h"
#include "tests/panel/panel_fixture.h"

using namespace orvix;

TEST_F(PanelTest, ResponsesAreNumberedAfterTheRecordedTrials)
{
    records.trials.resize(6);
    records.trials[0].responses[0] = 2;
    records.trials[0].responses[1] = 300;
    CViewResponse* page = Panel()->ResponsePage();
    ASSERT_EQ(page->List()->count(), 6);
    EXPECT_EQ(page->List()->item(0)->text(), "     1\tHIT\t   300\t     0\t     0\t     0");
    EXPECT_EQ(page->List()->item(5)->text(), "     6\t     0\t    -1\t     0\t     0\t     0");

    doc->AddTrialResult(2, 350, 1, 2, 3);
    ASSERT_EQ(page->List()->count(), 7);
    EXPECT_EQ(page->List()->item(6)->text(), "     7\tHIT\t   350\t     1\t     2\t     3");
    EXPECT_EQ(page->List()->currentRow(), 6);

    doc->ClearResponsePage();
    EXPECT_EQ(page->List()->count(), 0);
    EXPECT_EQ(Control<QLineEdit>(page, CViewResponse::IDC_TOTAL)->text(), "0");
    Panel()->UpdatePages();
    EXPECT_EQ(page->List()->count(), 6);
}

TEST_F(PanelTest, NewResponsesLeaveAReaderOfOlderLinesAlone)
{
    CViewResponse* page = Panel()->ResponsePage();
    for (int i = 0; i < 10; ++i)
        doc->AddTrialResult(3, i, 0, 0, 0);
    EXPECT_EQ(page->List()->currentRow(), 9);

    // More than five lines above the end: the selection stays.
    page->List()->setCurrentRow(2);
    doc->AddTrialResult(1, 0, 0, 0, 0);
    EXPECT_EQ(page->List()->currentRow(), 2);

    // The boundary is the new line count - 5: with 12 lines after the addition, row 6
    // stays and row 7 gives way to the newest line.
    page->List()->setCurrentRow(6);
    doc->AddTrialResult(1, 0, 0, 0, 0);
    EXPECT_EQ(page->List()->currentRow(), 6);
    page->List()->setCurrentRow(8); // 13 lines after the next addition: 8 = 13 - 5
    doc->AddTrialResult(1, 0, 0, 0, 0);
    EXPECT_EQ(page->List()->currentRow(), 12);

    // No selection: the newest line is selected.
    page->List()->clearSelection();
    page->List()->setCurrentRow(-1);
    doc->AddTrialResult(1, 0, 0, 0, 0);
    EXPECT_EQ(page->List()->currentRow(), 13);
}

TEST_F(PanelTest, LogLinesCarryTheTimeAndSplitAtLineBreaks)
{
    // Without a panel the line is only mirrored; nothing breaks.
    doc->AddLogLine("before the panel");
    CSysLogPage* page = Panel()->LogPage();
    EXPECT_EQ(page->List()->count(), 0);

    doc->AddLogLine("Device driver \"TROVIK\" not found!\nsecond");
    auto lines = Lines(page->List());
    ASSERT_EQ(lines.size(), 2u);
    QRegularExpression stamp("^[0-2][0-9]:[0-5][0-9]:[0-6][0-9]: Device driver \"TROVIK\" not found!$");
    EXPECT_TRUE(stamp.match(QString::fromStdString(lines[0])).hasMatch()) << lines[0];
    EXPECT_EQ(lines[1], "second");
    EXPECT_EQ(page->List()->currentRow(), 1);

    doc->AddLogLine("ends in a break\n");
    EXPECT_EQ(page->List()->count(), 4);
    EXPECT_EQ(page->List()->item(3)->text(), "");
    EXPECT_EQ(page->List()->currentRow(), 3);

    page->AddLog("");
    EXPECT_EQ(page->List()->count(), 5);
    EXPECT_EQ(page->List()->item(4)->text(), "");

    page->AddInitialLines({"Inventor started!"});
    EXPECT_EQ(page->List()->item(5)->text(), "Inventor started!");
    EXPECT_EQ(page->List()->currentRow(), 4);
}

TEST(ViewListDlg, ShowsNumberedLines)
{
    std::vector<std::string> lines{"POSH 1 POSV 2", "", "OR 45"};
    CViewListDlg dlg(&lines);
    EXPECT_EQ(PanelTest::Lines(dlg.List()), (std::vector<std::string>{"001: POSH 1 POSV 2", "002: ", "003: OR 45"}));
    CViewListDlg empty(nullptr);
    EXPECT_EQ(empty.List()->count(), 0);
}
