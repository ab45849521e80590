#include "analysis/stat.h"

#include <QComboBox>
#include <QFontMetricsF>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QCheckBox>
#include <dlfcn.h>

#include "analysis/selectcases.h"
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
    Ctl<QPushButton>(CStat::IDC_ESTIMATE)->click();
    EXPECT_EQ(page->GetLevel(), 2);
    auto lines = page->OutputLines();
    ASSERT_EQ(lines.size(), 7u) << (lines.empty() ? "" : lines[0]);
    EXPECT_EQ(lines[0].rfind("Source", 0), 0u) << lines[0];
    // A: means 16 and 36.25 -> SS = 8 * (20.25/2)^2 = 820.125.
    EXPECT_NE(lines[1].find("A\t820.125"), std::string::npos) << lines[1];
    EXPECT_EQ(lines.back(), "");
    EXPECT_EQ(Ctl<QListWidget>(CStat::IDC_OUTPUT)->currentRow(), 6);

    Ctl<QLineEdit>(CStat::IDC_LEVEL)->setText("0");
    Ctl<QPushButton>(CStat::IDC_ESTIMATE)->click();
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

    function->setEditText("anova");
    Ctl<QCheckBox>(CStat::IDC_CASES)->click();
    size_t before = page->OutputLines().size();
    Ctl<QPushButton>(CStat::IDC_ESTIMATE)->click();
    EXPECT_EQ(ui.messages.back().text, "Equation for selecting cases is invalid!");
    EXPECT_EQ(page->OutputLines().size(), before);

    Ctl<QComboBox>(CStat::IDC_CASE_COLUMN)->setCurrentIndex(1);
    Ctl<QComboBox>(CStat::IDC_OPERATOR)->setCurrentIndex(0);
    Ctl<QLineEdit>(CStat::IDC_CASE_VALUE)->setText("1");
    Ctl<QPushButton>(CStat::IDC_ESTIMATE)->click();
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
