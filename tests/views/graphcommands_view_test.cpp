// The graph view as the user drives it: context menus that carry their column, drags with
// the mouse, the cross-hair's panes, the keys, the clipboard, printing to PDF, the
// Properties sheet and the dialogs through their widgets, and the picture item.
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFontDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include "document/graphproperties.h"
#include "platform/text/numbers.h"
#include "tests/document/graph_fixture.h"
#include "views/graphdialogs.h"
#include "views/graphpages.h"
#include "views/graphview.h"
#include "views/srvritem.h"

using namespace orvix;

namespace {

QPushButton* Button(QDialog& d, QDialogButtonBox::StandardButton which)
{
    for (QDialogButtonBox* box : d.findChildren<QDialogButtonBox*>())
        if (QPushButton* b = box->button(which))
            return b;
    return nullptr;
}

std::vector<std::string> Texts(const QMenu& menu)
{
    std::vector<std::string> out;
    for (QAction* a : menu.actions())
        if (!a->isSeparator())
            out.push_back(a->text().toStdString());
    return out;
}

QAction* Find(const QMenu& menu, const char* text)
{
    for (QAction* a : menu.findChildren<QAction*>())
        if (a->text() == text)
            return a;
    return nullptr;
}

} // namespace

class GraphViewCommandsTest : public GraphTest {
protected:
    // OR 0 (5 and 15 spikes/s) and OR 90 (10 spikes/s) on channel 0.
    void TuningDocument()
    {
        SetCommands({"SZ 2, OR 0", "SZ 2, OR 90"});
        Add(TrialWithSpikes(0, 4));
        Add(TrialWithSpikes(0, 12));
        Add(TrialWithSpikes(1, 8));
        Axes(0, -1, -1);
        SelectChannel(0);
        doc->plot.mainFont.faceName = doc->plot.verticalFont.faceName = "DejaVu Sans";
    }
    std::unique_ptr<CGraphView> View()
    {
        auto view = std::make_unique<CGraphView>(*doc);
        view->resize(500, 400);
        view->OnInitialUpdate();
        view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        return view;
    }
    // A logical point (0.01 mm) in viewport pixels.
    static QPoint Pixel(const CGraphView& view, int x, int y)
    {
        return QPoint(x * view.viewport()->logicalDpiX() / 2540 + 1, y * view.viewport()->logicalDpiY() / 2540 + 1);
    }
};

TEST_F(GraphViewCommandsTest, AxisMenusListTheColumnsAndCarryThem)
{
    std::string line;
    for (int k = 0; k < 20; ++k)
        line += (k ? ", P" : "P") + std::to_string(k) + " " + std::to_string(k);
    SetCommands({line});
    Add(MakeTrial(0, {}));
    Axes(0, -1, -1);
    CGraphView view(*doc);
    std::unique_ptr<QMenu> x(view.CreateContextMenu(9, nullptr));
    std::vector<std::string> texts = Texts(*x);
    ASSERT_EQ(texts.size(), 21u); // 20 parameters, none of the 14 response columns, "Time (ms)"
    EXPECT_EQ(texts.front(), "P0");
    EXPECT_EQ(texts[19], "P19");
    EXPECT_EQ(texts.back(), "Time (ms)");
    QAction* plotted = x->actions()[19];
    EXPECT_TRUE(plotted->isChecked());
    EXPECT_FALSE(plotted->isEnabled());
    // P0 lies 19 places from the row's end: beyond the ten the numbered commands reached.
    x->actions()[0]->trigger();
    EXPECT_EQ(doc->plot.XAxisVariable, 19);
    EXPECT_EQ(doc->GetBehavParam("Param2ShowX", CParam(nullptr, 0)).GetText(), "P0");

    std::unique_ptr<QMenu> y(view.CreateContextMenu(10, nullptr));
    texts = Texts(*y);
    ASSERT_EQ(texts.size(), 24u);
    EXPECT_EQ(texts.front(), "Set selection");
    EXPECT_EQ(std::vector<std::string>(texts.end() - 3, texts.end()),
              (std::vector<std::string>{"Spikes/S", "Depth matched", "RevCorr"}));
    EXPECT_TRUE(y->actions()[21]->isChecked()); // "Spikes/S" at -1
    y->actions()[23]->trigger();
    EXPECT_EQ(doc->plot.YAxisVariable, AXIS_REVCORR);

    std::unique_ptr<QMenu> figure(view.CreateContextMenu(11, nullptr));
    EXPECT_EQ(Texts(*figure).back(), "all");
    figure->actions()[18]->trigger(); // P18: k = 1
    EXPECT_EQ(doc->plot.FigureAxisVariable, 1);
}

TEST_F(GraphViewCommandsTest, TheOptionMenuAndTheGraphMenu)
{
    SetCommands({"OR 0"});
    CGraphView view(*doc);
    std::unique_ptr<QMenu> options(view.CreateContextMenu(0, nullptr));
    EXPECT_EQ(Texts(*options),
              (std::vector<std::string>{"Set Optimal Value", "Properties", "Font", "Show Guide Lines", "Cross Hair Cursor",
                                        "Copy Data", "Copy Graph", "Export Data ...", "Export Param ...", "Print",
                                        "Print Preview", "Maximize", "Restore", "Small View", "Big View", "Plot Type",
                                        "RevCorr"}));
    // No trials: nothing to copy. The guide lines are on.
    EXPECT_FALSE(Find(*options, "Copy Data")->isEnabled());
    EXPECT_FALSE(Find(*options, "Copy Graph")->isEnabled());
    EXPECT_TRUE(Find(*options, "Show Guide Lines")->isChecked());
    EXPECT_FALSE(Find(*options, "Cross Hair Cursor")->isChecked());
    Find(*options, "Line smoothed")->trigger();
    EXPECT_EQ(doc->plot.PlotType, PLOT_LINE_SMOOTHED);
    // Without commands the bands offer the options too.
    doc->commandLines.clear();
    doc->ParseCommandFile(kNoAngleOffset);
    std::unique_ptr<QMenu> band(view.CreateContextMenu(9, nullptr));
    EXPECT_EQ(Texts(*band).front(), "Set Optimal Value");

    // Exports and the panes' layout belong to others.
    std::vector<int> forwarded;
    view.forwardCommand = [&](int id) {
        forwarded.push_back(id);
        return true;
    };
    Find(*options, "Export Data ...")->trigger();
    Find(*options, "Maximize")->trigger();
    EXPECT_EQ(forwarded, (std::vector<int>{ICommandTarget::ID_GRAPH_EXPORT_DATA, ICommandTarget::ID_MAXIMIZE}));

    QMenuBar bar;
    bar.addMenu("&File");
    bar.addMenu("&Help");
    QMenu* graph = view.AddMenus(&bar);
    ASSERT_EQ(bar.actions().size(), 3);
    EXPECT_EQ(bar.actions()[1]->menu(), graph);
    QAction* apply = Find(*graph, "Apply macro to opened file");
    ASSERT_TRUE(apply);
    apply->trigger();
    EXPECT_TRUE(view.applyMacro);
    emit graph->aboutToShow();
    EXPECT_TRUE(apply->isChecked());
    EXPECT_EQ(Find(*graph, "Draw &RDRoof")->shortcut(), QKeySequence("Ctrl+R"));
}

TEST_F(GraphViewCommandsTest, DraggingTheRightEdgeWidensThePlot)
{
    TuningDocument();
    auto view = View();
    const int before = doc->plot.FigWidth;
    // The plot's right edge is at x 9700 in the plot rows (500 < y < 7000).
    const QPoint start = Pixel(*view, 9700, 3000), end = start + QPoint(20, 0);
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, start);
    EXPECT_EQ(view->viewport()->cursor().shape(), Qt::SizeHorCursor);
    QMouseEvent move(QEvent::MouseMove, end, view->viewport()->mapToGlobal(end), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(view->viewport(), &move);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, end);
    EXPECT_EQ(doc->plot.FigWidth, before + view->ToLogical(end).x() - view->ToLogical(start).x());
    EXPECT_GT(doc->plot.FigWidth, before);
    EXPECT_EQ(view->viewport()->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(GraphViewCommandsTest, TheCrossHairFeedsThePanesAndFollowsTheScroll)
{
    TuningDocument();
    auto view = View();
    QString stimulus, response;
    QObject::connect(view.get(), &CGraphView::paneTextsChanged, [&](const QString& s, const QString& r) {
        stimulus = s;
        response = r;
    });
    // Mid plot: px 4250 of 8500 over two columns of 4250: 0 + 90 x (4250 - 2125) x 2 / 8500.
    const QPoint at = Pixel(*view, 1200 + 4250, 3750);
    QMouseEvent move(QEvent::MouseMove, at, view->viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(view->viewport(), &move);
    const QPoint logical = view->ToLogical(at);
    std::string expected = Format("S:%5.1f", 90.0 * (logical.x() - 1200 - 2125) * 2 / 8500);
    EXPECT_EQ(stimulus.toStdString(), expected);
    EXPECT_EQ(response.toStdString(), Format("R:%5.1f", 50.0 * (7000 - logical.y()) / 6500));
    EXPECT_EQ(view->StimulusText(), expected);

    // Set Optimal Value sends the reading to the graph parameter of the x axis.
    doc->Table(KIND_GRAPH).Add(new CParam("OR", "0"));
    view->OnCommand(ICommandTarget::ID_SET_OPTIMAL_VALUE);
    EXPECT_EQ(doc->GetGraphParam("OR").GetText(), expected.substr(expected.find_first_not_of(' ', 2)));

    // End scrolls to the bottom; the cross-hair stays on the same content.
    view->resize(200, 150);
    view->crossHair = QPoint(100, 300);
    const int range = view->verticalScrollBar()->maximum();
    ASSERT_GT(range, 0);
    QTest::keyClick(view.get(), Qt::Key_End);
    EXPECT_EQ(view->verticalScrollBar()->value(), range);
    EXPECT_EQ(view->crossHair, QPoint(100, 300 - range));
    QTest::keyClick(view.get(), Qt::Key_Home);
    EXPECT_EQ(view->crossHair, QPoint(100, 300));
}

TEST_F(GraphViewCommandsTest, ThePanesFollowTheGraphUnderAStillCrossHair)
{
    TuningDocument();
    auto view = View();
    const QPoint at = Pixel(*view, 1200 + 4250, 3750);
    QMouseEvent move(QEvent::MouseMove, at, view->viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(view->viewport(), &move);
    const QPoint logical = view->ToLogical(at);
    QString response;
    QObject::connect(view.get(), &CGraphView::paneTextsChanged, [&](const QString&, const QString& r) { response = r; });

    // A new range (as Properties sets it): the response pane reads it at the next frame.
    doc->plot.MaxYRange = 100;
    doc->UpdateAllViews(nullptr, HINT_REBUILD);
    const std::string expected = Format("R:%5.1f", 100.0 * (7000 - logical.y()) / 6500);
    for (int wait = 0; wait < 200 && view->ResponseText() != expected; ++wait)
        QTest::qWait(10);
    EXPECT_EQ(response.toStdString(), expected);
    EXPECT_EQ(view->ResponseText(), expected);

    // New x values (0 and 180): Set Optimal Value sends the reading of now at once.
    SetCommands({"SZ 2, OR 0", "SZ 2, OR 180"});
    doc->UpdateAllViews(nullptr, HINT_REBUILD);
    doc->Table(KIND_GRAPH).Add(new CParam("OR", "0"));
    view->OnCommand(ICommandTarget::ID_SET_OPTIMAL_VALUE);
    const std::string stimulus = Format("%.1f", 180.0 * (logical.x() - 1200 - 2125) * 2 / 8500);
    EXPECT_EQ(doc->GetGraphParam("OR").GetText(), stimulus);
}

TEST_F(GraphViewCommandsTest, CopyDataAndCopyGraphReachTheClipboard)
{
    TuningDocument();
    doc->dataFilePath = "c:\\data\\ab1234x.oxv";
    auto view = View();
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText("before");
    view->OnCommand(ICommandTarget::ID_COPY_DATA);
    EXPECT_EQ(clipboard->text().toStdString(), "ab1234\t0\t10\t5\r\nab1234\t90\t10\t0\r\n");

    view->OnCommand(ICommandTarget::ID_EDIT_COPY);
    const QMimeData* data = clipboard->mimeData();
    ASSERT_TRUE(data);
    EXPECT_TRUE(data->hasFormat(COrvixSrvrItem::kMimeType));
    EXPECT_TRUE(data->hasFormat("image/svg+xml"));
    EXPECT_TRUE(data->hasImage());
    const QByteArray bytes = data->data(COrvixSrvrItem::kMimeType);
    const std::vector<uint8_t> stored = COrvixSrvrItem(*doc).Serialize();
    EXPECT_EQ(bytes, QByteArray(reinterpret_cast<const char*>(stored.data()), static_cast<qsizetype>(stored.size())));
    // The bytes read back as a document with the same trials.
    COrvixDoc copy;
    CArchive in(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    copy.Serialize(in);
    EXPECT_EQ(copy.GetTrialCount(), 3);

    // Without trials nothing is copied.
    doc->OnNewDocument();
    clipboard->setText("kept");
    view->OnCommand(ICommandTarget::ID_COPY_DATA);
    view->OnCommand(ICommandTarget::ID_EDIT_COPY);
    EXPECT_EQ(clipboard->text().toStdString(), "kept");
}

TEST_F(GraphViewCommandsTest, PrintingToPdfAndThePrintedPage)
{
    TuningDocument();
    doc->dataFilePath = "c:\\data\\AB1234x.oxv";
    auto view = View();
    const std::string path = dir + "/graph.pdf";
    view->askPrinter = [&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(path));
        printer.setPageSize(QPageSize(QPageSize::A4));
        return true;
    };
    view->OnCommand(ICommandTarget::ID_FILE_PRINT);
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray pdf = file.readAll();
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    EXPECT_TRUE(pdf.contains("/MediaBox [0 0 595.000000 842.000000]"));
    EXPECT_TRUE(ui.messages.empty());

    // Another paper is printed on as it is, after the message.
    view->askPrinter = [&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(dir + "/a3.pdf"));
        printer.setPageSize(QPageSize(QPageSize::A3));
        return true;
    };
    view->OnCommand(ICommandTarget::ID_FILE_PRINT);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Only Letter, Legal and A4 papers are supported.");
    EXPECT_EQ(CGraphView::PaperOf(view->Printer()).widthTenths, 2970);

    // The page at 10 pixels a millimetre: the rule at top' - 2f = 22.11 mm from 20.75 mm to
    // 185.75 mm; the figure's bars from its origin (53.25 mm, 113.79 mm).
    QImage page(2100, 2970, QImage::Format_RGB32);
    page.setDotsPerMeterX(10000);
    page.setDotsPerMeterY(10000);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        view->PrintPage(painter, page, PrinterPaper{PAPER_A4, 0, 0, false});
    }
    EXPECT_EQ(page.pixel(1000, 221), qRgb(0, 0, 0));
    EXPECT_EQ(page.pixel(210, 221), qRgb(0, 0, 0));
    EXPECT_EQ(page.pixel(1855, 221), qRgb(0, 0, 0));
    EXPECT_EQ(page.pixel(1870, 221), qRgb(255, 255, 255));
    EXPECT_EQ(page.pixel(1000, 230), qRgb(255, 255, 255));
    // The bar of 10 on 0..50 at OR 0: x 53.25 + 33.25 mm, between y 113.79 + 57 and + 70.
    EXPECT_EQ(page.pixel(532 + 332, 1137 + 640), qRgb(0, 128, 255));
    // The path's text left on the top line (15.75 mm), the date right-aligned to 185.75 mm.
    auto inkIn = [&](int x0, int x1, int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (page.pixel(x, y) != qRgb(255, 255, 255))
                    return true;
        return false;
    };
    EXPECT_TRUE(inkIn(208, 400, 158, 200));
    EXPECT_TRUE(inkIn(1600, 1857, 158, 200));
    EXPECT_FALSE(inkIn(1862, 2100, 150, 210));
    EXPECT_FALSE(inkIn(0, 200, 0, 1000));
}

TEST_F(GraphViewCommandsTest, PropertiesThroughTheSheetsWidgets)
{
    TuningDocument();
    doc->plot.FigWidth = 14000;
    doc->plot.FigLeftMargin = doc->plot.FigRightMargin = 2000;
    doc->SetSmoothSigma(0.7f);
    auto view = View();
    const CPlotSettings before = doc->plot;
    std::string shownWidth;
    // OK without edits: nothing changes (sigma 0.7 stays 7 tenths).
    ui.onModal = [&](QDialog& d) {
        auto& sheet = dynamic_cast<CGraphPropertySheet&>(d);
        shownWidth = sheet.FigurePage()->Edit(1047)->text().toStdString();
        EXPECT_EQ(sheet.Tabs()->tabText(1).toStdString(), "Axises");
        Button(d, QDialogButtonBox::Ok)->click();
        return d.result() == QDialog::Accepted ? IDOK : IDCANCEL;
    };
    view->OnCommand(ICommandTarget::ID_GRAPH_PROPERTIES);
    EXPECT_EQ(shownWidth, "100");
    EXPECT_EQ(doc->plot.FigWidth, 14000);
    EXPECT_EQ(doc->smoothWidth, 7);
    EXPECT_EQ(doc->plot.GridLength, before.GridLength);
    EXPECT_EQ(view->page.leftMargin, 2500);

    // 101.5 mm stores 14150; a sigma of 0.05 is refused and the sheet stays open.
    ui.onModal = [&](QDialog& d) {
        auto& sheet = dynamic_cast<CGraphPropertySheet&>(d);
        sheet.FigurePage()->Edit(1047)->setText("101.5");
        sheet.FigurePage()->Edit(1200)->setText("0.05");
        sheet.PageSetupPage()->Horizontal()->button(2)->click();
        Button(d, QDialogButtonBox::Ok)->click();
        EXPECT_NE(d.result(), QDialog::Accepted);
        sheet.FigurePage()->Edit(1200)->setText("0.1");
        Button(d, QDialogButtonBox::Ok)->click();
        return d.result() == QDialog::Accepted ? IDOK : IDCANCEL;
    };
    view->OnCommand(ICommandTarget::ID_GRAPH_PROPERTIES);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Please enter a number between 0.1 and 100.");
    EXPECT_EQ(doc->plot.FigWidth, 14150);
    EXPECT_EQ(doc->smoothWidth, 1);
    EXPECT_EQ(view->page.horizontalAlignment, 2);

    // A colour beyond a byte and a malformed length are refused; Cancel keeps everything.
    ui.messages.clear();
    ui.onModal = [&](QDialog& d) {
        auto& sheet = dynamic_cast<CGraphPropertySheet&>(d);
        sheet.FigurePage()->Edit(1138)->setText("256");
        Button(d, QDialogButtonBox::Ok)->click();
        sheet.FigurePage()->Edit(1138)->setText("0");
        sheet.PageSetupPage()->Edit(1037)->setText("2,5");
        Button(d, QDialogButtonBox::Ok)->click();
        EXPECT_EQ(sheet.Tabs()->currentIndex(), 2);
        Button(d, QDialogButtonBox::Cancel)->click();
        return IDCANCEL;
    };
    view->OnCommand(ICommandTarget::ID_GRAPH_PROPERTIES);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "Please enter an integer between 0 and 255.");
    EXPECT_EQ(ui.messages[1].text, "Please enter a number.");
    EXPECT_EQ(doc->plot.BarColor, before.BarColor);
}

TEST_F(GraphViewCommandsTest, SetSelectionDialogEditsTheFilter)
{
    SetCommands({"EYE 1, OR 0", "EYE 3, OR 0", "EYE 3, OR 90"});
    Add(TrialWithSpikes(0, 8));
    Add(TrialWithSpikes(1, 16));
    Add(TrialWithSpikes(2, 4));
    Axes(0, -1, -1);
    SelectChannel(0);
    doc->selectionList2 = {CParam("EYE", "1")};
    auto view = View();
    view->OnCommand(ICommandTarget::ID_SET_SELECTION);
    CSetSelectionDlg* dialog = view->SelectionDialog();
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_EQ(dialog->FirstList()->count(), 2);
    EXPECT_EQ(dialog->FirstList()->item(0)->text().toStdString(), "EYE=1");
    EXPECT_EQ(dialog->FirstList()->item(1)->text().toStdString(), "EYE=3");
    EXPECT_TRUE(dialog->SecondList()->item(0)->isSelected());
    EXPECT_FALSE(dialog->FirstList()->item(0)->isSelected());

    // EYE 3 alone: the OR 0 cell keeps only the second trial's 20 spikes/s.
    dialog->FirstList()->item(1)->setSelected(true);
    dialog->SecondList()->item(0)->setSelected(false);
    dialog->accept();
    QTest::qWait(20);
    EXPECT_FALSE(view->SelectionDialog());
    ASSERT_EQ(doc->selectionList1.size(), 1u);
    EXPECT_EQ(doc->selectionList1[0].GetName(), "EYE");
    EXPECT_TRUE(doc->selectionList2.empty());
    EXPECT_EQ(doc->responses.mean.At(0, 0, 0), 20.0f);

    // Cancel changes nothing and closes it as well.
    view->OnCommand(ICommandTarget::ID_SET_SELECTION);
    view->SelectionDialog()->SecondList()->item(0)->setSelected(true);
    view->SelectionDialog()->reject();
    QTest::qWait(20);
    EXPECT_FALSE(view->SelectionDialog());
    EXPECT_TRUE(doc->selectionList2.empty());
}

TEST_F(GraphViewCommandsTest, ReverseCorrelationDialogAppliesLiveAndCancelRestoresTheLatency)
{
    SetCommands({"FRAME 1", "FRAME 2", "FRAME 3", "FRAME 4"});
    for (int i = 0; i < 4; ++i) {
        CTrial* t = i == 0 ? MakeTrial(0, {170, 200, 220, 280}) : MakeTrial(i, {});
        t->startTime = 2000u * i;
        Add(t);
    }
    doc->Table(KIND_GRAPH).Add(new CParam("HGRID", 2));
    doc->Table(KIND_GRAPH).Add(new CParam("VGRID", 1));
    doc->GetBehavParam("FigOnDur", CParam(nullptr, 100));
    SelectChannel(0);
    Axes(0, AXIS_REVCORR, -1);
    auto view = View();
    EXPECT_NEAR(doc->responses.mean.At(0, 0, 0), 0.866, 1e-3);

    view->OnCommand(ICommandTarget::ID_REVCORR_DIALOG);
    CRevCorrDlg* dialog = view->RevCorrDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->DurationSpin()->value(), 111);
    EXPECT_EQ(dialog->LatencySpin()->value(), 70);
    EXPECT_EQ(dialog->MaximumEdit()->text().toStdString(), "0.9");
    EXPECT_EQ(dialog->MinimumEdit()->text().toStdString(), "-0.3");
    // A latency of 200 ms moves the window past every spike.
    dialog->LatencySpin()->setValue(200);
    EXPECT_EQ(doc->plot.revCorrLatency, 200);
    EXPECT_EQ(doc->responses.mean.At(0, 0, 0), 0.0f);
    dialog->SubtractCheck()->click();
    EXPECT_EQ(doc->plot.revCorrSubtract, 1);
    dialog->reject();
    EXPECT_EQ(doc->plot.revCorrLatency, 70);
    QTest::qWait(20);
    EXPECT_FALSE(view->RevCorrDialog());

    // Only with the reverse correlation on the y axis.
    doc->plot.YAxisVariable = -1;
    view->OnCommand(ICommandTarget::ID_REVCORR_DIALOG);
    EXPECT_FALSE(view->RevCorrDialog());
}

TEST_F(GraphViewCommandsTest, SwitchRidgeDialogListsTheSources)
{
    SetCommands({"RIDGE 0, POSD -50, ROOFDEPTH 20"});
    Add(MakeTrial(0, {}));
    CGraphView view(*doc);
    doc->mergeMode = 2;
    std::vector<std::string> lines;
    ui.onModal = [&](QDialog& d) {
        auto& dialog = dynamic_cast<CSwitchRidgeDlg&>(d);
        for (int i = 0; i < dialog.SourceCombo()->count(); ++i)
            lines.push_back(dialog.SourceCombo()->itemText(i).toStdString());
        EXPECT_EQ(dialog.SourceCombo()->currentIndex(), -1);
        Button(d, QDialogButtonBox::Ok)->click();
        return IDOK;
    };
    view.OnCommand(ICommandTarget::ID_SWITCH_RIDGE);
    EXPECT_EQ(lines, (std::vector<std::string>{"in=1", "in=2"}));
    EXPECT_TRUE(doc->expressionColumns.empty()); // nothing chosen: nothing switched

    CSwitchRidgeDlg empty(0);
    EXPECT_EQ(empty.SourceCombo()->count(), 0);
    empty.accept();
    EXPECT_EQ(empty.choice, -1);
}

TEST_F(GraphViewCommandsTest, FontDialogKeepsAnUnchangedSize)
{
    TuningDocument();
    CGraphView view(*doc);
    ui.onModal = [](QDialog& d) {
        Button(d, QDialogButtonBox::Ok)->click();
        return IDOK;
    };
    view.OnCommand(ICommandTarget::ID_GRAPH_FONT);
    EXPECT_EQ(doc->plot.mainFont.height, -318);
    QFont selected;
    ui.onModal = [&](QDialog& d) {
        auto& dialog = dynamic_cast<QFontDialog&>(d);
        QFont f = dialog.currentFont();
        f.setPointSize(12);
        dialog.setCurrentFont(f);
        Button(d, QDialogButtonBox::Ok)->click();
        selected = dialog.selectedFont();
        return IDOK;
    };
    view.OnCommand(ICommandTarget::ID_GRAPH_FONT);
    // 12 points of 2540 / 72 hundredths of a millimetre: 423.3.
    EXPECT_EQ(doc->plot.mainFont.height, -423);
    EXPECT_EQ(doc->plot.verticalFont.height, -423);
    EXPECT_EQ(doc->plot.mainFont.faceName, selected.family().toStdString());
    EXPECT_EQ(doc->plot.mainFont.weight, selected.weight());
    EXPECT_EQ(doc->plot.mainFont.italic != 0, selected.italic());
    EXPECT_EQ(doc->plot.verticalFont.escapement, 900);
    EXPECT_EQ(doc->plot.mainFont.escapement, 0);
}

TEST_F(GraphViewCommandsTest, TheItemRendersAtItsExtent)
{
    TuningDocument();
    Update();
    COrvixSrvrItem item(*doc);
    EXPECT_FALSE(item.isActiveInPlace());
    // 10000 x 8000 through 96 dots per inch: 378 x 302 pixels, back 10001 x 7990.
    EXPECT_EQ(item.OnGetExtent(96, 96), QSize(10001, 7990));
    EXPECT_EQ(item.OnGetExtent(2540, 2540), QSize(10000, 8000));
    CRecordingDC dc;
    EXPECT_EQ(item.OnDraw(dc), QSize(10000, 8000));
    EXPECT_FALSE(dc.ops.empty());

    const QImage image = item.RenderImage(254);
    EXPECT_EQ(image.size(), QSize(1000, 800));
    EXPECT_EQ(image.dotsPerMeterX(), 10000);
    EXPECT_EQ(image.pixel(300, 650), qRgb(0, 128, 255)); // the bar at OR 0
    QImage png;
    ASSERT_TRUE(png.loadFromData(item.RenderPng(127), "PNG"));
    EXPECT_EQ(png.size(), QSize(500, 400));

    const QByteArray svg = item.RenderSvg();
    EXPECT_TRUE(svg.contains("width=\"100mm\""));
    EXPECT_TRUE(svg.contains("height=\"80mm\""));
    const QByteArray pdf = item.RenderPdf();
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    // 100 x 80 mm in whole points.
    EXPECT_TRUE(pdf.contains("/MediaBox [0 0 283.000000 227.000000]"));

    // Three figures: two across, two down.
    doc->figureCount = 3;
    EXPECT_EQ(item.OnGetExtent(2540, 2540), QSize(20000, 16000));
    EXPECT_EQ(item.RenderImage(254).size(), QSize(2000, 1600));

    EXPECT_TRUE(item.SavePicture(dir + "/graph.svg", 96));
    EXPECT_TRUE(item.SavePicture(dir + "/graph.PNG", 96));
    EXPECT_FALSE(item.SavePicture(dir + "/graph.bmp", 96));
    EXPECT_FALSE(item.SavePicture("/proc/no/graph.pdf", 96));
    QImage saved(QString::fromStdString(dir + "/graph.PNG"));
    EXPECT_EQ(saved.width(), 756); // 755.9 pixels, rounded
}
