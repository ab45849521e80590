#include "analysis/stat.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetricsF>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <dlfcn.h>

#include "analysis/designsize.h"
#include "analysis/selectcases.h"
#include "analysis/statjob.h"
#include "analysis/tablemodel.h"
#include "app/orvixapp.h"
#include "tests/document/doc_fixture.h"

using namespace orvix;

namespace {

CTableModel Column(int type, std::vector<std::string> cells)
{
    CTableModel t;
    t.DefineColumns({"C"}, {type});
    t.SetRowCount(static_cast<int>(cells.size()));
    for (int r = 0; r < static_cast<int>(cells.size()); ++r) {
        if (type == TABLE_TEXT)
            t.SetString(r, 0, cells[static_cast<size_t>(r)].c_str());
        else if (type == TABLE_INT)
            t.SetInt(r, 0, std::stoi(cells[static_cast<size_t>(r)]));
        else
            t.SetDouble(r, 0, std::stod(cells[static_cast<size_t>(r)]));
    }
    return t;
}

std::vector<std::string> Cells(const CTableModel& t)
{
    std::vector<std::string> out;
    for (int r = 0; r < t.GetRowCount(); ++r)
        out.emplace_back(t.GetText(r, 0));
    return out;
}

class StatTest : public DocTest {
protected:
    void SetUp() override
    {
        DocTest::SetUp();
        std::string lib = std::string(ORVIX_TEST_BINARY_DIR) + "/../../app/libtarsel.so";
        library = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        doc = std::make_unique<COrvixDoc>();
        // Rate by two factors: A (2 levels) and B (2 levels), two trials per cell.
        doc->trialTable.DefineColumns({"A", "B", "Rate", "Label"}, {TABLE_INT, TABLE_INT, TABLE_DOUBLE, TABLE_TEXT});
        const int a[] = {1, 1, 1, 1, 2, 2, 2, 2};
        const int b[] = {1, 1, 2, 2, 1, 1, 2, 2};
        const double rate[] = {10, 12, 20, 22, 30, 34, 40, 41};
        doc->trialTable.SetRowCount(8);
        for (int r = 0; r < 8; ++r) {
            doc->trialTable.SetInt(r, 0, a[r]);
            doc->trialTable.SetInt(r, 1, b[r]);
            doc->trialTable.SetDouble(r, 2, rate[r]);
            doc->trialTable.SetString(r, 3, r % 2 ? "x" : "y");
        }
        page = std::make_unique<CStat>(doc.get(), library);
    }
    void TearDown() override
    {
        page.reset();
        doc.reset();
        // Nothing may still be inside a library that goes.
        EXPECT_TRUE(WaitForStatJobs(30000));
        dlclose(library);
        DocTest::TearDown();
    }
    template <class W>
    W* Ctl(int id) { return page->findChild<W*>(QStringLiteral("ctl%1").arg(id)); }
    void Pick(int variable, int button)
    {
        Ctl<QListWidget>(CStat::IDC_VARIABLES)->setCurrentRow(variable);
        Ctl<QPushButton>(button)->click();
    }
    // A table of the document with a dependent column Y and factors F1.. with the given
    // levels (row r of factor j has level (r + 5 j) mod levels + 1); every factor is chosen.
    void ChooseDesign(int rows, std::vector<int> levels)
    {
        std::vector<std::string> names{"Y"};
        std::vector<int> types{TABLE_DOUBLE};
        for (size_t j = 0; j < levels.size(); ++j) {
            names.push_back("F" + std::to_string(j + 1));
            types.push_back(TABLE_INT);
        }
        CTableModel& table = doc->trialTable;
        table.DefineColumns(names, types);
        table.SetRowCount(rows);
        for (int r = 0; r < rows; ++r) {
            table.SetDouble(r, 0, r % 7);
            for (size_t j = 0; j < levels.size(); ++j)
                table.SetInt(r, static_cast<int>(j) + 1, (r + 5 * static_cast<int>(j)) % levels[j] + 1);
        }
        page->UpdateVariableLists(-1);
        Pick(0, CStat::IDC_SET_DEPEND);
        for (size_t j = 0; j < levels.size(); ++j)
            Pick(static_cast<int>(j) + 1, CStat::IDC_ADD_FACTOR);
    }
    // Clicks Estimate and lets the event loop run until the page is free again.
    void Estimate()
    {
        Ctl<QPushButton>(CStat::IDC_ESTIMATE)->click();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !page->IsBusy(); }, 30000));
    }

    HMODULE library = nullptr;
    std::unique_ptr<COrvixDoc> doc;
    std::unique_ptr<CStat> page;
};

} // namespace

TEST(SelectCases, ComparisonsByColumnType)
{
    CTableModel ints = Column(TABLE_INT, {"1", "2", "3", "4"});
    SelectCaseRows(ints, 0, 1, "2.5"); // ">"
    EXPECT_EQ(Cells(ints), (std::vector<std::string>{"3", "4"}));
    CTableModel texts = Column(TABLE_TEXT, {"a", "b", "b", "d"});
    SelectCaseRows(texts, 0, 5, "b"); // "<>"
    EXPECT_EQ(Cells(texts), (std::vector<std::string>{"a", "d"}));
    CTableModel more = Column(TABLE_TEXT, {"a", "c", "b"});
    SelectCaseRows(more, 0, 3, "b"); // ">="
    EXPECT_EQ(Cells(more), (std::vector<std::string>{"c", "b"}));
    CTableModel doubles = Column(TABLE_DOUBLE, {"1.5", "2", "2.5"});
    SelectCaseRows(doubles, 0, 4, "2"); // "<="
    EXPECT_EQ(doubles.GetRowCount(), 2);
    CTableModel same = Column(TABLE_DOUBLE, {"1", "2"});
    SelectCaseRows(same, 0, 9, "1"); // an unknown operator removes nothing
    EXPECT_EQ(same.GetRowCount(), 2);
}

TEST_F(StatTest, ChoosingVariablesAndFactors)
{
    EXPECT_EQ(Ctl<QListWidget>(CStat::IDC_VARIABLES)->count(), 4);
    EXPECT_EQ(Ctl<QComboBox>(CStat::IDC_FUNCTION)->currentText(), "anova");
    Pick(2, CStat::IDC_SET_DEPEND);
    EXPECT_EQ(page->GetDepend(), 2);
    EXPECT_EQ(Ctl<QLineEdit>(CStat::IDC_DEPEND)->text(), "Rate");
    Pick(2, CStat::IDC_ADD_FACTOR); // the dependent variable is refused
    Pick(1, CStat::IDC_ADD_FACTOR);
    Pick(0, CStat::IDC_ADD_FACTOR);
    Pick(0, CStat::IDC_ADD_FACTOR); // no second time
    EXPECT_EQ(page->GetFactors(), (std::vector<int>{1, 0}));

    // The table's columns change: a vanished factor leaves, the others follow their names.
    doc->trialTable.DefineColumns({"Rate", "A", "New"}, {TABLE_DOUBLE, TABLE_INT, TABLE_INT});
    page->UpdateVariableLists(-1);
    EXPECT_EQ(page->GetFactors(), (std::vector<int>{1}));
    EXPECT_EQ(page->GetDepend(), 0);
    Ctl<QListWidget>(CStat::IDC_FACTORS)->setCurrentRow(0);
    Ctl<QPushButton>(CStat::IDC_REMOVE)->click();
    EXPECT_TRUE(page->GetFactors().empty());
}

TEST_F(StatTest, EstimateListsTheAnalysisAndClampsTheLevel)
{
    Pick(2, CStat::IDC_SET_DEPEND);
    Pick(0, CStat::IDC_ADD_FACTOR);
    Pick(1, CStat::IDC_ADD_FACTOR);
    Ctl<QLineEdit>(CStat::IDC_LEVEL)->setText("5");
    Estimate();
    EXPECT_EQ(page->GetLevel(), 2);
    auto lines = page->OutputLines();
    ASSERT_EQ(lines.size(), 7u) << (lines.empty() ? "" : lines[0]);
    EXPECT_EQ(lines[0].rfind("Source", 0), 0u) << lines[0];
    // A: means 16 and 36.25 -> SS = 8 * (20.25/2)^2 = 820.125.
    EXPECT_NE(lines[1].find("A\t820.125"), std::string::npos) << lines[1];
    EXPECT_EQ(lines.back(), "");
    EXPECT_EQ(Ctl<QListWidget>(CStat::IDC_OUTPUT)->currentRow(), 6);

    Ctl<QLineEdit>(CStat::IDC_LEVEL)->setText("0");
    Estimate();
    EXPECT_EQ(page->GetLevel(), 1);
}

TEST_F(StatTest, RefusalsAndUnknownFunctions)
{
    Ctl<QPushButton>(CStat::IDC_ESTIMATE)->click();
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Invalid dependent variable."});
    Pick(3, CStat::IDC_SET_DEPEND); // a text column
    Ctl<QPushButton>(CStat::IDC_ESTIMATE)->click();
    EXPECT_EQ(ui.messages.back().text, "Invalid dependent variable.");
    Pick(2, CStat::IDC_SET_DEPEND);
    Ctl<QPushButton>(CStat::IDC_ESTIMATE)->click();
    EXPECT_EQ(ui.messages.back().text, "Invalid factors.");
    Pick(0, CStat::IDC_ADD_FACTOR);

    auto* function = Ctl<QComboBox>(CStat::IDC_FUNCTION);
    for (const char* name : {"ANOVA", "aligntrials", "nothing"}) {
        function->setEditText(name);
        Ctl<QPushButton>(CStat::IDC_ESTIMATE)->click();
        EXPECT_EQ(page->OutputLines().back(), std::string("Function \"") + name + "\" not found.");
    }
    EXPECT_EQ(function->count(), 1);
    // As typed: no completion turns the name into "anova".
    for (const char* typed : {"Anov", "ANOVA"}) {
        function->lineEdit()->clear();
        QTest::keyClicks(function->lineEdit(), typed);
        QTest::keyClick(function->lineEdit(), Qt::Key_Return);
        Ctl<QPushButton>(CStat::IDC_ESTIMATE)->click();
        EXPECT_EQ(page->OutputLines().back(), std::string("Function \"") + typed + "\" not found.");
    }

    function->setEditText("anova");
    Ctl<QCheckBox>(CStat::IDC_CASES)->click();
    size_t before = page->OutputLines().size();
    Ctl<QPushButton>(CStat::IDC_ESTIMATE)->click();
    EXPECT_EQ(ui.messages.back().text, "Equation for selecting cases is invalid!");
    EXPECT_EQ(page->OutputLines().size(), before);

    Ctl<QComboBox>(CStat::IDC_CASE_COLUMN)->setCurrentIndex(1);
    Ctl<QComboBox>(CStat::IDC_OPERATOR)->setCurrentIndex(0);
    Ctl<QLineEdit>(CStat::IDC_CASE_VALUE)->setText("1");
    Estimate();
    auto lines = page->OutputLines();
    ASSERT_GT(lines.size(), before);
    EXPECT_EQ(lines[before], "Cases selected by: B=1");
    EXPECT_EQ(doc->trialTable.GetRowCount(), 8); // the document's table is untouched
}

TEST_F(StatTest, OutputColumnsLineUpAtTheListsTabStops)
{
    auto* output = Ctl<QListWidget>(CStat::IDC_OUTPUT);
    page->resize(1400, 700);
    for (const char* line : {"X", "\tX", "\t\tX"})
        output->addItem(line);
    output->doItemsLayout();
    const QImage image = output->viewport()->grab().toImage();
    auto inkStart = [&](int row) {
        const QRect r = output->visualItemRect(output->item(row));
        for (int x = r.left(); x <= r.right() && x < image.width(); ++x)
            for (int y = r.top(); y <= r.bottom() && y < image.height(); ++y)
                if (qGray(image.pixel(x, y)) < 128)
                    return x;
        return -1;
    };
    ASSERT_GE(inkStart(0), 0);
    // Stops every 65 quarters of a character of the list's fixed-pitch font.
    const double stop = 65 * QFontMetricsF(output->font()).horizontalAdvance('0') / 4;
    EXPECT_NEAR(inkStart(1) - inkStart(0), stop, 1.5);
    EXPECT_NEAR(inkStart(2) - inkStart(0), 2 * stop, 1.5);
    // Each line is measured with the same stops, so the list scrolls to the end of the widest.
    EXPECT_GE(output->visualItemRect(output->item(2)).width(), static_cast<int>(2 * stop));
}

TEST(DesignSize, CountsObservationsLevelsAndModelColumns)
{
    // 273 rows, five factors of 12 levels, order 3: 5 + 10 + 10 = 25 terms and
    // 1 + 5*11 + 10*11^2 + 10*11^3 = 14576 columns; the work is 2 p m n + 26 p m (2 m + 80)
    // with p = 14576 and m = n = 273: 27 * 2,172,669,408 + 26 * 318,339,840 = 58,662,074,016
    // + 8,276,835,840 = 66,938,909,856 operations.
    CTableModel t;
    t.DefineColumns({"Y", "A", "B", "C", "D", "E"}, {TABLE_DOUBLE, TABLE_INT, TABLE_INT, TABLE_INT, TABLE_INT, TABLE_INT});
    t.SetRowCount(275);
    for (int r = 0; r < 275; ++r) {
        t.SetDouble(r, 0, r);
        for (int c = 1; c <= 5; ++c)
            t.SetInt(r, c, (r + 5 * c) % 12 + 1);
    }
    // Two rows with a missing response do not count, nor do their levels.
    t.SetDouble(273, 0, std::nan(""));
    t.SetDouble(274, 0, std::nan(""));
    t.SetInt(273, 1, 99);
    DesignSize size = MeasureDesign(t, 3);
    EXPECT_EQ(size.observations, 273);
    EXPECT_EQ(size.levels, (std::vector<int>{12, 12, 12, 12, 12}));
    EXPECT_EQ(size.terms, 25);
    EXPECT_EQ(size.columns, 14576);
    EXPECT_EQ(size.operations, 66938909856.0);
    // The design and the fits' copies, and four tables of 25 x 25 bits.
    EXPECT_EQ(size.bytes, 8.0 * 14576 * (273 + 2 * 273) + 312.5);
    // A text factor: its empty label is missing.
    CTableModel text;
    text.DefineColumns({"Y", "L"}, {TABLE_INT, TABLE_TEXT});
    text.SetRowCount(4);
    const char* labels[] = {"a", "b", "", "a"};
    for (int r = 0; r < 4; ++r)
        text.SetString(r, 1, labels[r]);
    size = MeasureDesign(text, 1);
    EXPECT_EQ(size.observations, 3);
    EXPECT_EQ(size.levels, std::vector<int>{2});
    EXPECT_EQ(size.columns, 2);
}

TEST_F(StatTest, DesignsTooLargeToFinishAreRefusedBeforeTheyRun)
{
    struct Case {
        int rows;
        std::vector<int> levels;
        const char* level;
        const char* message;
    } cases[] = {
        // Every row its own level, twice: 160,000 model columns.
        {400, {400, 400}, "2",
         "Factor \"F1\" has 400 levels in 400 observations: too many to analyse. A factor of more than 20 "
         "levels may have at most half as many levels as there are observations."},
        {273, {12, 12, 12, 12, 12}, "3",
         "The design is too large to analyse: 273 observations and 14576 model columns at level 3 need about 67 "
         "billion operations and 91 MB (at most 20 billion and 512 MB). Choose a lower level, fewer factors or "
         "factors with fewer levels."},
        // Few observations, many terms: 8191 refits of 8 x 8192, 2 * 8192 * 8 * 8 + 8192 * 8192
        // * 8 * 96 operations, 8 * 8192 * 24 bytes and four tables of 8191 x 8191 bits.
        {8, std::vector<int>(13, 2), "13",
         "The design is too large to analyse: 8 observations and 8192 model columns at level 13 need about 52 "
         "billion operations and 33 MB (at most 20 billion and 512 MB). Choose a lower level, fewer factors or "
         "factors with fewer levels."},
    };
    for (const Case& c : cases) {
        ChooseDesign(c.rows, c.levels);
        Ctl<QLineEdit>(CStat::IDC_LEVEL)->setText(c.level);
        ui.messages.clear();
        Ctl<QPushButton>(CStat::IDC_ESTIMATE)->click();
        EXPECT_FALSE(page->IsBusy());
        ASSERT_EQ(ui.Texts(), std::vector<std::string>{c.message});
        EXPECT_TRUE(page->OutputLines().empty());
    }
    // Five 12-level factors at the first order are small enough, and run; so does a short
    // pilot whose factor has nearly as many levels as trials.
    ChooseDesign(273, {12, 12, 12, 12, 12});
    Ctl<QLineEdit>(CStat::IDC_LEVEL)->setText("1");
    ui.messages.clear();
    Estimate();
    EXPECT_TRUE(ui.messages.empty());
    auto lines = page->OutputLines();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[1].rfind("F1\t", 0), 0u) << lines[1];
    ChooseDesign(6, {4});
    Estimate();
    EXPECT_TRUE(ui.messages.empty());
    lines = page->OutputLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1].rfind("F1\t", 0), 0u) << lines[1];
}

namespace {

// The page over the library whose anova waits for the test.
class SlowStatTest : public StatTest {
protected:
    void SetUp() override
    {
        StatTest::SetUp();
        slow = dlopen(SLOW_STAT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(slow, nullptr) << dlerror();
        release = reinterpret_cast<void (*)(int)>(dlsym(slow, "SlowStat_Release"));
        waitStarted = reinterpret_cast<bool (*)(int, int)>(dlsym(slow, "SlowStat_WaitStarted"));
        mostInside = reinterpret_cast<int (*)()>(dlsym(slow, "SlowStat_MostInside"));
        reinterpret_cast<void (*)()>(dlsym(slow, "SlowStat_Reset"))();
        page = std::make_unique<CStat>(doc.get(), slow);
        Pick(2, CStat::IDC_SET_DEPEND);
        Pick(0, CStat::IDC_ADD_FACTOR);
        Pick(1, CStat::IDC_ADD_FACTOR);
    }
    void TearDown() override
    {
        page.reset();
        release(100);
        EXPECT_TRUE(WaitForStatJobs(30000));
        dlclose(slow);
        StatTest::TearDown();
    }
    bool Busy()
    {
        return page->IsBusy() && !Ctl<QPushButton>(CStat::IDC_ESTIMATE)->isEnabled()
            && Ctl<QPushButton>(CStat::IDC_CANCEL)->isEnabled() && Ctl<QProgressBar>(CStat::IDC_BUSY)->isVisibleTo(page.get());
    }
    bool Idle()
    {
        return !page->IsBusy() && Ctl<QPushButton>(CStat::IDC_ESTIMATE)->isEnabled()
            && !Ctl<QPushButton>(CStat::IDC_CANCEL)->isEnabled() && !Ctl<QProgressBar>(CStat::IDC_BUSY)->isVisibleTo(page.get());
    }
    void* slow = nullptr;
    void (*release)(int) = nullptr;
    bool (*waitStarted)(int, int) = nullptr;
    int (*mostInside)() = nullptr;
};

} // namespace

TEST_F(SlowStatTest, EstimateRunsOffTheInterfaceThreadAndCancelDropsIt)
{
    EXPECT_TRUE(Idle());
    Ctl<QPushButton>(CStat::IDC_ESTIMATE)->click();
    // The click has returned while the library still holds the call, and the event loop
    // turns: a timer fires.
    ASSERT_TRUE(waitStarted(1, 10000));
    EXPECT_TRUE(Busy());
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(5);
    QTest::qWait(100);
    EXPECT_GT(ticks, 0);
    EXPECT_TRUE(page->OutputLines().empty());

    // Cancel frees the page at once; the call goes on in the library.
    Ctl<QPushButton>(CStat::IDC_CANCEL)->click();
    EXPECT_TRUE(Idle());
    EXPECT_EQ(page->OutputLines(), std::vector<std::string>{"Estimate cancelled."});
    // A new estimate waits for the library: never two calls at once.
    Ctl<QPushButton>(CStat::IDC_ESTIMATE)->click();
    EXPECT_TRUE(Busy());
    EXPECT_FALSE(waitStarted(2, 200));
    release(1);
    ASSERT_TRUE(waitStarted(2, 10000));
    release(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page->IsBusy(); }, 10000));
    EXPECT_TRUE(Idle());
    // Only the second estimate is listed.
    EXPECT_EQ(page->OutputLines(), (std::vector<std::string>{"Estimate cancelled.", "Slow", "n8 L2", ""}));
    EXPECT_EQ(mostInside(), 1);
}

TEST_F(SlowStatTest, APageClosedDuringAnEstimateLeavesItToFinish)
{
    Ctl<QPushButton>(CStat::IDC_ESTIMATE)->click();
    ASSERT_TRUE(waitStarted(1, 10000));
    page.reset();
    EXPECT_FALSE(WaitForStatJobs(50));
    release(1);
    EXPECT_TRUE(WaitForStatJobs(10000));
    QTest::qWait(20); // a notice to the gone page is dropped with it
}
