// The graph and behaviour parameter pages, driven through their widgets.
#include <QFont>
#include <QImage>
#include <QLayout>
#include <QTest>

#include "model/inputstringdlg.h"
#include "panel/parampages.h"
#include "tests/panel/panel_fixture.h"

using namespace orvix;
using orvix_test::Sent;

namespace {
// A list line: name, the given number of blanks, tab, value.
std::string L(const char* name, int blanks, const char* value)
{
    return std::string(name) + std::string(static_cast<size_t>(blanks), ' ') + '\t' + value;
}

// Where the dark pixels of an image's rows top..bottom lie: [from, to) each, those less than
// gap columns apart taken as one.
std::vector<std::pair<int, int>> InkRuns(const QImage& image, int top, int bottom, int gap)
{
    std::vector<std::pair<int, int>> runs;
    for (int x = 0; x < image.width(); ++x)
        for (int y = top; y < bottom; ++y)
            if (qGray(image.pixel(x, y)) < 128) {
                if (!runs.empty() && x - runs.back().second < gap)
                    runs.back().second = x + 1;
                else
                    runs.emplace_back(x, x + 1);
                break;
            }
    return runs;
}

// Selects a line, types a value and presses Enter in the edit.
void EditValue(CParamPage* page, int row, const char* value)
{
    page->ParamList()->setCurrentRow(row);
    page->ValueEdit()->setText(value);
    QTest::keyClick(page->ValueEdit(), Qt::Key_Return);
}
} // namespace

TEST_F(PanelTest, GraphPageListsParametersAndSendsEachEnter)
{
    AddGraph("POSH", "10");
    AddGraph("SEP", ".");
    int size = AddGraph("SIZE", "3");
    CGraphParam* page = Panel()->GraphPage();
    EXPECT_EQ(Lines(page->ParamList()),
              (std::vector<std::string>{L("POSH", 12, "10"), std::string(26, '='), L("SIZE", 12, "3")}));
    EXPECT_EQ(page->ParamList()->currentRow(), 0);
    EXPECT_EQ(page->ValueEdit()->text(), "10");

    EditValue(page, size, "4.5");
    EXPECT_EQ(sent, (std::vector<Sent>{{size, "4.5", false}}));
    EXPECT_EQ(doc->GetGraphParam(size).GetType(), PARAM_TEXT);
    EXPECT_EQ(doc->GetGraphParam(size).GetText(), "4.5");
    EXPECT_EQ(page->ParamList()->item(size)->text().toStdString(), L("SIZE", 12, "4.5"));
    EXPECT_EQ(page->ParamList()->currentRow(), size);

    // Enter without a change still sends, once.
    sent.clear();
    QTest::keyClick(page->ValueEdit(), Qt::Key_Return);
    EXPECT_EQ(sent, (std::vector<Sent>{{size, "4.5", false}}));

    // A number typed in turns the parameter into text.
    sent.clear();
    EditValue(page, 0, "12");
    EXPECT_EQ(sent, (std::vector<Sent>{{0, "12", false}}));
    EXPECT_EQ(doc->GetGraphParam(0).GetType(), PARAM_TEXT);

    // "." can never be typed in, and a separator cannot be edited.
    sent.clear();
    EditValue(page, 0, ".");
    EditValue(page, 1, "7");
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(doc->GetGraphParam(0).GetText(), "12");
    EXPECT_EQ(doc->GetGraphParam(1).GetText(), ".");
    EXPECT_EQ(page->ParamList()->item(1)->text().toStdString(), std::string(26, '='));

    // Enter in the list moves to the edit without applying anything.
    QTest::keyClick(page->ParamList(), Qt::Key_Return);
    EXPECT_TRUE(sent.empty());
}

TEST_F(PanelTest, GraphPageChangeOfFixationPointParameterRefreshesViews)
{
    AddBehav("FPParamH", "TPOSH");
    int tposh = AddGraph("TPOSH", "0");
    int other = AddGraph("OTHER", "0");
    CGraphParam* page = Panel()->GraphPage();
    EditValue(page, other, "1");
    EXPECT_TRUE(views.hints.empty());
    EditValue(page, tposh, "5");
    EXPECT_EQ(views.hints, (std::vector<int>{HINT_PARAMS_RELOADED}));
    // "FPParamV" was looked up with a default and so came into being.
    EXPECT_GE(doc->FindBehavParam("FPParamV", false, CParam()), 0);
}

TEST_F(PanelTest, GraphPageCreatesTheFixationPointParametersWithTheirDefaults)
{
    int tposv = AddGraph("TPOSV", "0");
    CGraphParam* page = Panel()->GraphPage();
    EditValue(page, tposv, "3");
    EXPECT_EQ(views.hints, (std::vector<int>{HINT_PARAMS_RELOADED}));
    EXPECT_EQ(doc->GetBehavParam("FPParamH", CParam()).GetText(), "TPOSH");
    EXPECT_EQ(doc->GetBehavParam("FPParamV", CParam()).GetType(), PARAM_TEXT);
    doc->OnSaveParameters();
    EXPECT_EQ(GetReg("Parameters", "FPParamV"), "TPOSV");
}

TEST_F(PanelTest, GraphPageXYToHVRotatesIntoScreenPosition)
{
    int posh = AddGraph("POSH", "10");
    int posv = AddGraph("POSV", "5");
    int posx = AddGraph("POSX", "1");
    int posy = AddGraph("POSY", "0");
    int orient = AddGraph("OR", "90");
    CGraphParam* page = Panel()->GraphPage();
    Control<QPushButton>(page, CGraphParam::IDC_XY_TO_HV)->click();
    // cos 90° leaves nothing for H once rounded to 0.1; sin 90° moves V by 1.
    EXPECT_EQ(doc->GetGraphParam(posh).GetText(), "10");
    EXPECT_EQ(doc->GetGraphParam(posh).GetType(), PARAM_REAL);
    EXPECT_EQ(doc->GetGraphParam(posv).GetText(), "6");
    EXPECT_EQ(doc->GetGraphParam(posx).GetText(), "0");
    EXPECT_EQ(doc->GetGraphParam(posx).GetType(), PARAM_INT);
    EXPECT_EQ(doc->GetGraphParam(posy).GetText(), "0");
    EXPECT_EQ(sent, (std::vector<Sent>{{posh, "10", false}, {posv, "6", false}, {posx, "0", false}, {posy, "0", false}}));
    EXPECT_EQ(page->ParamList()->item(posv)->text().toStdString(), L("POSV", 12, "6"));

    // With OR 0 the offsets add as they are, rounded to 0.1: 1.26 -> 1.3, -0.34 -> -0.3.
    doc->GetGraphParam(posx) = "1.26";
    doc->GetGraphParam(posy) = "-0.34";
    doc->GetGraphParam(orient) = "0";
    Control<QPushButton>(page, CGraphParam::IDC_XY_TO_HV)->click();
    EXPECT_EQ(doc->GetGraphParam(posh).GetText(), "11.3");
    EXPECT_EQ(doc->GetGraphParam(posv).GetText(), "5.7");

    // Without POSY nothing happens.
    sent.clear();
    auto& table = doc->Table(KIND_GRAPH);
    table.RemoveAt(posy);
    table.RebuildIndex();
    page->UpdateList(-1);
    Control<QPushButton>(page, CGraphParam::IDC_XY_TO_HV)->click();
    EXPECT_TRUE(sent.empty());
}

TEST_F(PanelTest, BehaviourPageEditsActOnTheParameterName)
{
    AddBehav("Sep", ".");
    int analysis = AddBehav("AnalysisTime", "800");
    int show = AddBehav("Param2ShowX", "X");
    int plain = AddBehav("Plain", "1");
    records.trials.resize(2);
    records.trials[0].channels[0] = 40;
    records.trials[1].channels[0] = 20;
    CBehavParam* page = Panel()->BehavPage();
    EXPECT_EQ(page->ParamList()->item(0)->text().toStdString(), std::string(34, '='));

    // Unchanged: nothing at all.
    EditValue(page, analysis, "800");
    EXPECT_TRUE(views.hints.empty());
    EXPECT_TRUE(records.computeWindows.empty());

    EditValue(page, analysis, "500");
    EXPECT_EQ(doc->GetBehavParam(analysis).GetText(), "500");
    EXPECT_EQ(records.computeWindows, (std::vector<int>{500, 500}));
    EXPECT_EQ(views.hints, (std::vector<int>{HINT_REBUILD}));
    ASSERT_FALSE(bar.levels.empty());
    EXPECT_EQ(bar.levels.back()[0], 30); // (40 + 20) / 2 trials
    EXPECT_EQ(page->ParamList()->item(analysis)->text().toStdString(), L("AnalysisTime", 1, "500"));

    views.hints.clear();
    EditValue(page, show, "OR");
    EXPECT_EQ(views.hints, (std::vector<int>{HINT_AXES}));
    views.hints.clear();
    EditValue(page, plain, "2");
    EXPECT_TRUE(views.hints.empty());
    EXPECT_EQ(doc->GetBehavParam(plain).GetText(), "2");
    EXPECT_TRUE(sent.empty()); // behaviour parameters never go to the renderer
}

TEST_F(PanelTest, TypedValuesAreKeptInTheCodePageAndALetterItCannotHoldIsRefused)
{
    int label = AddBehav("Label", "x");
    CBehavParam* page = Panel()->BehavPage();
    // Typed and shown as Unicode, kept as Windows-1252: µ B5, é E9, ° B0, € 80.
    const std::pair<const char*, std::string> values[] = {
        {"5µV", "5\xB5V"}, {"café", "caf\xE9"}, {"30°", "30\xB0"}, {"€", "\x80"}};
    for (const auto& [typed, stored] : values) {
        EditValue(page, label, typed);
        EXPECT_EQ(doc->GetBehavParam(label).GetText(), stored);
        EXPECT_EQ(page->ParamList()->item(label)->text(), QString::fromUtf8(L("Label", 10, typed)));
    }
    EXPECT_TRUE(ui.messages.empty());

    // "Ω" is refused where it is typed: named, the value kept, the letter selected for mending.
    EditValue(page, label, "5Ω");
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"The letter U+03A9 in the value of Label cannot be kept: the "
                                                   "program's text holds only the letters of the code page "
                                                   "Windows-1252."});
    EXPECT_EQ(doc->GetBehavParam(label).GetText(), "\x80");
    EXPECT_EQ(page->ValueEdit()->text(), QString::fromUtf8("5Ω"));
    EXPECT_EQ(page->ValueEdit()->selectedText(), QString::fromUtf8("Ω"));
}

TEST_F(PanelTest, BehaviourPageAddsAndDeletesParameters)
{
    AddBehav("First", "1");
    AddBehav("Sep", ".");
    CBehavParam* page = Panel()->BehavPage();
    ui.onModal = [](QDialog& d) {
        auto& dlg = static_cast<CInputStringDlg&>(d);
        dlg.Edit()->setText("New_1");
        dlg.accept();
        return IDOK;
    };
    Control<QPushButton>(page, CBehavParam::IDC_ADD_BEHAV)->click();
    ASSERT_EQ(doc->GetBehavParamCount(), 3);
    EXPECT_EQ(doc->GetBehavParam(2).GetName(), "New_1");
    EXPECT_EQ(doc->GetBehavParam(2).GetType(), PARAM_INT);
    EXPECT_EQ(page->ParamList()->count(), 3);
    EXPECT_EQ(page->ParamList()->item(2)->text().toStdString(), L("New_1", 10, "0"));

    ui.onModal = [](QDialog& d) {
        auto& dlg = static_cast<CInputStringDlg&>(d);
        dlg.Edit()->setText("1bad");
        dlg.accept();
        return IDOK;
    };
    Control<QPushButton>(page, CBehavParam::IDC_ADD_BEHAV)->click();
    EXPECT_EQ(doc->GetBehavParamCount(), 3);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Parameter name should begin with an alphabetic character or underscore.\n"
                                   "Rest of the characters can also be numbers.");

    // A separator is not deleted; another parameter is, and the list follows.
    page->ParamList()->setCurrentRow(1);
    Control<QPushButton>(page, CBehavParam::IDC_DEL_BEHAV)->click();
    EXPECT_EQ(doc->GetBehavParamCount(), 3);
    page->ParamList()->setCurrentRow(0);
    Control<QPushButton>(page, CBehavParam::IDC_DEL_BEHAV)->click();
    // The task runner looks its ten parameters up again after the deletion, adding them.
    ASSERT_EQ(doc->GetBehavParamCount(), 12);
    EXPECT_EQ(doc->GetBehavParam(0).GetName(), "Sep");
    std::vector<std::string> lines = Lines(page->ParamList());
    ASSERT_EQ(lines.size(), 12u);
    lines.resize(2);
    EXPECT_EQ(lines, (std::vector<std::string>{std::string(34, '='), L("New_1", 10, "0")}));
    EXPECT_EQ(views.hints, (std::vector<int>{HINT_PARAMS_RELOADED}));
}

TEST_F(PanelTest, InitialParametersFollowTheCurrentTestType)
{
    int size = AddGraph("SIZE", "3");
    AddGraph("SEP", ".");
    CGraphParam* page = Panel()->GraphPage();
    auto* add = Control<QPushButton>(page, CParamPage::IDC_ADD_INIT);
    auto* del = Control<QPushButton>(page, CParamPage::IDC_DEL_INIT);

    // No test type: nothing is added, though the edit is applied.
    page->ParamList()->setCurrentRow(size);
    page->ValueEdit()->setText("5");
    add->click();
    EXPECT_EQ(page->InitList()->count(), 0);
    EXPECT_EQ(doc->GetGraphParam(size).GetText(), "5");

    ASSERT_TRUE(doc->AddTestType("Orient"));
    page->UpdateList(-1);
    page->ParamList()->setCurrentRow(size);
    page->ValueEdit()->setText("6");
    add->click();
    EXPECT_EQ(Lines(page->InitList()), (std::vector<std::string>{"SIZE"}));
    ASSERT_EQ(doc->GetInitParamCount(KIND_GRAPH), 1);
    EXPECT_EQ(doc->GetInitParam(KIND_GRAPH, 0).GetText(), "6");
    ASSERT_EQ(doc->SavedList(KIND_GRAPH).size(), 1u);
    EXPECT_EQ(doc->SavedList(KIND_GRAPH)[0].GetText(), "5");

    // The same name again changes the stored value only.
    page->ValueEdit()->setText("7");
    add->click();
    EXPECT_EQ(page->InitList()->count(), 1);
    EXPECT_EQ(doc->GetInitParam(KIND_GRAPH, 0).GetText(), "7");

    // A separator is never an initial parameter.
    page->ParamList()->setCurrentRow(1);
    add->click();
    EXPECT_EQ(page->InitList()->count(), 1);

    page->InitList()->setCurrentRow(0);
    del->click();
    EXPECT_EQ(page->InitList()->count(), 0);
    EXPECT_EQ(doc->GetInitParamCount(KIND_GRAPH), 0);
}

TEST_F(PanelTest, ParameterPagesFollowDocumentChanges)
{
    CBehavParam* page = Panel()->BehavPage();
    EXPECT_EQ(page->ParamList()->count(), 0);
    // An empty table leaves the edit as it was.
    page->ValueEdit()->setText("kept");
    page->UpdateList(-1);
    EXPECT_EQ(page->ValueEdit()->text(), "kept");

    // Get-or-add shows the new parameter at once.
    doc->GetBehavParam("UnitsPerDeg", CParam("", 60.0));
    EXPECT_EQ(Lines(page->ParamList()), (std::vector<std::string>{L("UnitsPerDeg", 2, "60")}));

    // A single-line refresh of the selected line refreshes the edit too.
    page->ParamList()->setCurrentRow(0);
    doc->GetBehavParam(0) = 61;
    doc->UpdateBehavParamItem(0);
    EXPECT_EQ(page->ParamList()->item(0)->text().toStdString(), L("UnitsPerDeg", 2, "61"));
    EXPECT_EQ(page->ValueEdit()->text(), "61");
    EXPECT_EQ(page->ParamList()->currentRow(), 0);

    // By name, without adding a missing one.
    doc->GetBehavParam(0) = 62;
    doc->UpdateBehavParamItem("UnitsPerDeg");
    EXPECT_EQ(page->ParamList()->item(0)->text().toStdString(), L("UnitsPerDeg", 2, "62"));
    doc->UpdateBehavParamItem("Missing");
    EXPECT_EQ(doc->GetBehavParamCount(), 1);

    // Out-of-range refreshes change nothing.
    doc->UpdateBehavParamItem(5);
    doc->UpdateGraphParamItem(-1);
    EXPECT_EQ(page->ParamList()->count(), 1);
}

// Every value shows whole and starts in one column, however long the names and the values
// are: a value cut at the column's edge would read as another ("-1.4561" for -1.45618e-06).
TEST_F(PanelTest, ParameterPagesShowEveryValueWholeInOneColumn)
{
    const std::vector<std::pair<const char*, const char*>> params = {
        {"SubjectName", "Monkey1"}, {"A", "5"}, {"DtoAH2", "-1.45618e-06"}, {"AVeryLongParameterName", "1.5"}};
    for (const auto& [name, value] : params) {
        AddBehav(name, value);
        AddGraph(name, value);
    }
    const QFontMetrics font(QFont("DejaVu Sans", 9));
    for (CParamPage* page : std::initializer_list<CParamPage*>{Panel()->BehavPage(), Panel()->GraphPage()}) {
        QListWidget* list = page->ParamList();
        list->setFont(QFont("DejaVu Sans", 9));
        page->UpdateList(-1);
        page->resize(700, 300);
        page->layout()->activate();
        list->doItemsLayout();
        list->clearSelection();
        const QImage image = list->viewport()->grab().toImage();
        std::vector<int> columns;
        for (int row = 0; row < list->count(); ++row) {
            const QRect r = list->visualRect(list->model()->index(row, 0));
            const auto runs = InkRuns(image, r.top(), r.bottom() + 1, font.horizontalAdvance(' ') + 1);
            ASSERT_GE(runs.size(), 2u) << params[row].first;
            EXPECT_NEAR(runs.back().second - runs.back().first, font.horizontalAdvance(params[row].second), 3)
                << page->objectName().toStdString() << " " << params[row].second;
            columns.push_back(runs.back().first);
        }
        const auto [first, last] = std::minmax_element(columns.begin(), columns.end());
        EXPECT_LE(*last - *first, 1) << page->objectName().toStdString();
    }
}
