#include "export/exportdatadlg.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <numeric>

#include "export/exportparamdlg.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/eventpump.h"
#include "tests/export/export_fixture.h"

using namespace orvix;
using orvix_test::ReadFile;

namespace {

// A clock that moves on by `step` at each reading.
struct SteppingClock : CFakeClock {
    int64_t Counter() override
    {
        AdvanceNs(step);
        return CFakeClock::Counter();
    }
    int64_t step = 20'000'000; // more than a frame: every trial and file serves the events
};

class ExportDlgTest : public LoopTest {
protected:
    void SetUp() override
    {
        LoopTest::SetUp();
        SetClock(&clock);
    }
    void TearDown() override
    {
        dlg.reset();
        SetClock(nullptr);
        LoopTest::TearDown();
    }
    void Open()
    {
        dlg = std::make_unique<CExportDataDlg>(doc.get(), opener, choices);
        Open(dlg.get());
    }
    template <class W>
    W* Ctl(int id) { return dlg->findChild<W*>(QStringLiteral("ctl%1").arg(id)); }
    void Type(int id, const std::string& text)
    {
        QLineEdit* e = Ctl<QLineEdit>(id);
        e->selectAll();
        QTest::keyClicks(e, QString::fromStdString(text));
    }
    void Start() { QTest::mouseClick(Ctl<QPushButton>(IDOK), Qt::LeftButton); }
    void Open(QDialog* d)
    {
        d->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(d));
    }

    ExportDataChoices choices;
    std::unique_ptr<CExportDataDlg> dlg;
    SteppingClock clock;
};

TEST_F(ExportDlgTest, StartExportsAndTheChoicesLast)
{
    Save("M1aa1aOrient01.oxv", {"OR 0", "OR 90"}, Trials(3));
    Save("M1aa1aOrient02.oxv", {"OR 0", "OR 90"}, Trials(2));
    // A file opened from the data folder is shown in the program's form, as a new one is.
    const std::string opened = dir + "/drives/c/data/MO001.oxv";
    std::filesystem::create_directories(dir + "/drives/c/data");
    Fill(*doc, {"OR 0"}, Trials(1));
    ASSERT_TRUE(doc->OnSaveDocument(opened) && doc->OnOpenDocument(opened));
    Open();
    EXPECT_EQ(Ctl<QLineEdit>(CExportDataDlg::IDC_INPUT)->text(), "c:\\data\\MO001.oxv");
    dlg.reset();
    doc->dataFilePath = "c:\\data\\M1aa1aOrient05.oxv";
    Open();
    EXPECT_EQ(Ctl<QLineEdit>(CExportDataDlg::IDC_INPUT)->text(), "c:\\data\\M1aa1aOrient05.oxv");
    EXPECT_EQ(Ctl<QLineEdit>(CExportDataDlg::IDC_OUTPUT)->text(), "c:\\temp");
    EXPECT_TRUE(Ctl<QRadioButton>(CExportDataDlg::IDC_CSV)->isChecked());
    EXPECT_TRUE(Ctl<QRadioButton>(CExportDataDlg::IDC_BASIC)->isChecked());
    EXPECT_TRUE(Ctl<QRadioButton>(CExportDataDlg::IDC_ODBC)->isEnabled());

    Ctl<QRadioButton>(CExportDataDlg::IDC_DBF)->click();
    Ctl<QRadioButton>(CExportDataDlg::IDC_SPIKE)->click();
    EXPECT_EQ(choices.format, EXPORT_DBF); // at once
    EXPECT_EQ(choices.eventType, EXPORT_SPIKE);
    QCheckBox* single = Ctl<QCheckBox>(CExportDataDlg::IDC_SINGLE_FILE);
    single->click();
    EXPECT_EQ(Ctl<QLabel>(CExportDataDlg::IDC_OUTPUT_LABEL)->text(), "&Output file:");
    single->click();
    EXPECT_EQ(Ctl<QLabel>(CExportDataDlg::IDC_OUTPUT_LABEL)->text(), "&Output directory:");
    Type(CExportDataDlg::IDC_INPUT, data + "/*.oxv");
    Type(CExportDataDlg::IDC_OUTPUT, out);
    Ctl<QCheckBox>(CExportDataDlg::IDC_EXPAND_VECTOR)->click();
    Start();

    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"M1aa1aOrient_Spike01.dbf", "M1aa1aOrient_Spike02.dbf"}));
    EXPECT_EQ(Ctl<QPushButton>(IDOK)->text(), "&Start");
    EXPECT_TRUE(Ctl<QPushButton>(IDCANCEL)->isEnabled());
    EXPECT_EQ(ui.beeps, 1);
    EXPECT_EQ(Ctl<QProgressBar>(CExportDataDlg::IDC_PROGRESS)->value(), 2);
    EXPECT_EQ(Ctl<QLabel>(CExportDataDlg::IDC_STATUS)->text(), "Done: 2 file(s).");
    EXPECT_EQ(choices.output, out);
    EXPECT_TRUE(choices.expandVector);
    EXPECT_TRUE(ui.messages.empty());

    // A new dialog starts from the last choices.
    dlg.reset();
    Open();
    EXPECT_TRUE(Ctl<QRadioButton>(CExportDataDlg::IDC_DBF)->isChecked());
    EXPECT_TRUE(Ctl<QRadioButton>(CExportDataDlg::IDC_SPIKE)->isChecked());
    EXPECT_EQ(Ctl<QLineEdit>(CExportDataDlg::IDC_OUTPUT)->text().toStdString(), out);
}

// While the export runs, the dialog shows the file, the trial and the bar; Stop, Esc and
// closing the window come in through the event loop and end it after the trial in hand.
TEST_F(ExportDlgTest, StopEscAndCloseEndTheExportBetweenTrials)
{
    Save("M1aa1aOrient01.oxv", {"OR 0", "OR 90"}, Trials(4));
    Save("M1aa1aOrient02.oxv", {"OR 0", "OR 90"}, Trials(4));
    enum { STOP, ESC, CLOSE };
    for (int how : {STOP, ESC, CLOSE}) {
        std::filesystem::remove_all(out);
        std::filesystem::create_directories(out);
        opener.opened.clear();
        Open();
        Type(CExportDataDlg::IDC_INPUT, data + "/*.oxv");
        Type(CExportDataDlg::IDC_OUTPUT, out);
        QString statusDuringRun;
        opener.afterOpen = [&](COrvixDoc&) {
            QPushButton* start = Ctl<QPushButton>(IDOK);
            EXPECT_EQ(start->text(), "&Stop");
            EXPECT_FALSE(Ctl<QPushButton>(IDCANCEL)->isEnabled());
            if (how == STOP)
                QMetaObject::invokeMethod(start, "click", Qt::QueuedConnection);
            else if (how == ESC)
                QCoreApplication::postEvent(dlg.get(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
            else
                QMetaObject::invokeMethod(dlg.get(), "close", Qt::QueuedConnection);
        };
        Start();
        EXPECT_EQ(opener.opened.size(), 1u) << how;
        std::string csv = ReadFile(out + "/M1aa1aOrient01.csv");
        EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 2) << how; // header and trial 0
        EXPECT_EQ(Ctl<QPushButton>(IDOK)->text(), "&Start");
        EXPECT_EQ(Ctl<QProgressBar>(CExportDataDlg::IDC_PROGRESS)->maximum(), 4);
        EXPECT_EQ(Ctl<QProgressBar>(CExportDataDlg::IDC_PROGRESS)->value(), 1);
        EXPECT_EQ(dlg->isVisible(), how != CLOSE) << how;
        if (how != CLOSE) {
            EXPECT_EQ(Ctl<QLabel>(CExportDataDlg::IDC_STATUS)->text(), "Stopped.");
        }
        opener.afterOpen = nullptr;
        dlg.reset();
    }
}

TEST_F(ExportDlgTest, ProgressNamesTheFileAndTheTrial)
{
    Save("M1aa1aOrient01.oxv", {"OR 0", "OR 90"}, Trials(3));
    Save("M1aa1aOrient02.oxv", {"OR 0", "OR 90"}, Trials(1));
    Open();
    Type(CExportDataDlg::IDC_INPUT, data + "/*.oxv");
    Type(CExportDataDlg::IDC_OUTPUT, out);
    std::vector<QString> seen;
    opener.afterOpen = [&](COrvixDoc&) { seen.push_back(Ctl<QLabel>(CExportDataDlg::IDC_STATUS)->text()); };
    Start();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].toStdString(), "File 1: " + data + "/M1aa1aOrient01.oxv - trial 3 of 3");
}

// A failure is reported and the run ends without the success beep; the status tells what
// was written.
TEST_F(ExportDlgTest, FailureGivesNoSuccessBeep)
{
    Save("M1aa1aOrient01.oxv", {"OR 0", "OR 90"}, Trials(1));
    Save("M1aa1aOrient02.oxv", {"OR 0", "OR 90"}, Trials(1));
    std::filesystem::create_directories(out + "/M1aa1aOrient02.csv"); // cannot be replaced
    Open();
    Type(CExportDataDlg::IDC_INPUT, data + "/*.oxv");
    Type(CExportDataDlg::IDC_OUTPUT, out);
    Start();
    EXPECT_EQ(ui.beeps, 0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(Ctl<QLabel>(CExportDataDlg::IDC_STATUS)->text(), "Written: 1 file(s). Some files were not written.");
}

// The output, single-file and expand-vector settings are kept by Start only: Cancel after
// a click keeps the earlier ones.
TEST_F(ExportDlgTest, CancelKeepsTheEarlierSettings)
{
    Open();
    Type(CExportDataDlg::IDC_OUTPUT, out);
    Ctl<QCheckBox>(CExportDataDlg::IDC_SINGLE_FILE)->click();
    Ctl<QCheckBox>(CExportDataDlg::IDC_EXPAND_VECTOR)->click();
    QTest::mouseClick(Ctl<QPushButton>(IDCANCEL), Qt::LeftButton);
    EXPECT_EQ(choices.output, "c:\\temp");
    EXPECT_FALSE(choices.singleFile);
    EXPECT_FALSE(choices.expandVector);
}

// One step per trial, shown at the display's rate: trials that come faster than it show
// the last only; slower ones show each.
TEST_F(ExportDlgTest, TheBarFollowsAtTheDisplaysRate)
{
    Save("M1aa1aOrient01.oxv", {"OR 0", "OR 90"}, Trials(40));
    std::vector<int> each(40);
    std::iota(each.begin(), each.end(), 1);
    for (auto [nsPerReading, expected] : {std::pair{0, std::vector<int>{40}}, std::pair{20'000'000, each}}) {
        clock.step = nsPerReading;
        Open();
        Type(CExportDataDlg::IDC_INPUT, data + "/*.oxv");
        Type(CExportDataDlg::IDC_OUTPUT, out);
        std::vector<int> shown;
        QObject::connect(Ctl<QProgressBar>(CExportDataDlg::IDC_PROGRESS), &QProgressBar::valueChanged, dlg.get(),
                         [&](int value) { shown.push_back(value); });
        Start();
        shown.erase(std::remove(shown.begin(), shown.end(), 0), shown.end());
        EXPECT_EQ(shown, expected) << nsPerReading;
    }
}

// A request to quit the program during an export ends it after the trial (Export Data) or
// the file (Export Param) in hand, closes the dialog without the beep and goes on to the
// program's loop once the export is over.
TEST_F(ExportDlgTest, QuitEndsTheExportAndGoesOn)
{
    Save("M1aa1aOrient01.oxv", {"OR 0", "OR 90"}, Trials(4));
    Save("M1aa1aOrient02.oxv", {"OR 0", "OR 90"}, Trials(4));
    opener.afterOpen = [](COrvixDoc&) {
        QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::Quit));
    };
    for (bool param : {false, true}) {
        opener.opened.clear();
        std::unique_ptr<QDialog> d;
        if (param)
            d = std::make_unique<CExportParamDlg>(doc.get(), opener);
        else
            d = std::make_unique<CExportDataDlg>(doc.get(), opener, choices);
        auto edit = [&](int id, const std::string& text) {
            d->findChild<QLineEdit*>(QStringLiteral("ctl%1").arg(id))->setText(QString::fromStdString(text));
        };
        edit(param ? +CExportParamDlg::IDC_INPUT : +CExportDataDlg::IDC_INPUT, data + "/*.oxv");
        edit(param ? +CExportParamDlg::IDC_OUTPUT : +CExportDataDlg::IDC_OUTPUT, param ? out + "/p.csv" : out);
        Open(d.get());
        QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("ctl%1").arg(IDOK)), Qt::LeftButton);
        EXPECT_EQ(opener.opened.size(), 1u) << param;
        // The header and the first trial, or the first file's line.
        std::string csv = ReadFile(out + (param ? "/p.csv" : "/M1aa1aOrient01.csv"));
        EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 2) << param;
        EXPECT_FALSE(d->isVisible()) << param;
        EXPECT_EQ(ui.beeps, 0) << param;
        CQuitWatch after; // takes the request made again, which would end the tests
        QCoreApplication::processEvents();
        EXPECT_TRUE(after.QuitRequested()) << param;
    }
    opener.afterOpen = nullptr;
}

} // namespace
