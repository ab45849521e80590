// The response graph's commands, its menus and the dialogs they open.
#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QFontDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <cmath>

#include "document/graphinteraction.h"
#include "document/graphproperties.h"
#include "document/orvixdoc.h"
#include "model/fieldtext.h"
#include "platform/files/paths.h"
#include "platform/files/writepath.h"
#include "platform/text/qtext.h"
#include "platform/ui/ui.h"
#include "views/graphdialogs.h"
#include "views/graphpages.h"
#include "views/graphview.h"
#include "views/srvritem.h"

namespace orvix {

namespace {

using Id = ICommandTarget;

struct PlotTypeCommand {
    int id;
    const char* text;
    int plotType;
};
constexpr PlotTypeCommand kPlotTypes[] = {
    {Id::ID_PLOT_BUBBLE, "Bubble", PLOT_BUBBLE},       {Id::ID_PLOT_BLOB, "Blob", PLOT_BLOB},
    {Id::ID_PLOT_ROOF, "Roof", PLOT_ROOF},             {Id::ID_PLOT_EDGE, "Edge", PLOT_EDGE},
    {Id::ID_PLOT_INVERT_ROOF, "Invert Roof", PLOT_INVERT_ROOF}, {Id::ID_PLOT_INVERT_EDGE, "Invert Edge", PLOT_INVERT_EDGE},
    {Id::ID_PLOT_LINE, "Line", PLOT_LINE},             {Id::ID_PLOT_LINE_SMOOTHED, "Line smoothed", PLOT_LINE_SMOOTHED},
};

struct MacroCommand {
    int id;
    AnalysisMacro macro;
};
constexpr MacroCommand kMacros[] = {
    {Id::ID_DRAW_RDROOF, AnalysisMacro::RDRoof},
    {Id::ID_DRAW_RDEDGE, AnalysisMacro::RDEdge},
    {Id::ID_DRAW_SOLIDROOF, AnalysisMacro::SolidRoof},
    {Id::ID_DRAW_BORDER_OWNERSHIP, AnalysisMacro::BorderOwnership},
};

bool IsCheckable(int id)
{
    return id == Id::ID_SHOW_GUIDE_LINES || id == Id::ID_CROSS_HAIR_CURSOR || id == Id::ID_APPLY_MACRO;
}

// Commands of other parts of the program that the graph's menus offer.
bool IsForwarded(int id)
{
    return id == Id::ID_GRAPH_EXPORT_DATA || id == Id::ID_EXPORT_PARAM
        || id == Id::ID_MAXIMIZE || id == Id::ID_RESTORE;
}

} // namespace

bool CGraphView::OnCommand(int id)
{
    for (const PlotTypeCommand& p : kPlotTypes)
        if (p.id == id) {
            graph_.SetPlotType(p.plotType);
            FollowGraph();
            return true;
        }
    for (const MacroCommand& m : kMacros)
        if (m.id == id) {
            graph_.RunAnalysisMacro(m.macro);
            FollowGraph();
            return true;
        }
    if (IsForwarded(id))
        return forwardCommand ? forwardCommand(id) : true;
    switch (id) {
    case ID_Y_SPIKE_RATE: graph_.SelectAxisSpecial(AXIS_Y, AXIS_SPIKE_RATE); break;
    case ID_Y_DEPTH_MATCHED: graph_.SelectAxisSpecial(AXIS_Y, AXIS_DEPTH); break;
    case ID_Y_REVCORR: graph_.SelectAxisSpecial(AXIS_Y, AXIS_REVCORR); break;
    case ID_X_TIME: graph_.SelectAxisSpecial(AXIS_X, AXIS_TIME); break;
    case ID_FIGURE_ALL: graph_.SelectAxisSpecial(AXIS_FIGURE, AXIS_ALL); break;
    case ID_SET_SELECTION: OnSetSelection(); break;
    case ID_SMALL_VIEW: graph_.SetPresetSize(false); break;
    case ID_BIG_VIEW: graph_.SetPresetSize(true); break;
    case ID_SWITCH_RIDGE: OnSwitchRidge(); break;
    case ID_APPLY_MACRO: applyMacro = !applyMacro; break;
    case ID_GRAPH_FONT: OnFont(); break;
    case ID_GRAPH_PROPERTIES: OnProperties(); break;
    case ID_SHOW_GUIDE_LINES:
        showGuideLines = !showGuideLines;
        InvalidateFigures();
        break;
    case ID_CROSS_HAIR_CURSOR:
        crossHairCursor = !crossHairCursor;
        UpdateOverlays();
        break;
    case ID_COPY_DATA: OnCopyData(); break;
    case ID_EDIT_COPY: OnEditCopy(); break;
    case ID_SET_OPTIMAL_VALUE: OnSetOptimalValue(); break;
    case ID_REVCORR_DIALOG: OnRevCorr(); break;
    case ID_FILE_PRINT: OnFilePrint(); break;
    case ID_FILE_PRINT_PREVIEW: OnFilePrintPreview(); break;
    case ID_EXPORT_GRAPH: OnExportGraph(); break;
    default: return false;
    }
    FollowGraph();
    return true;
}

bool CGraphView::OnUpdateCommand(int id, bool& enabled, bool& checked) const
{
    enabled = true;
    checked = false;
    switch (id) {
    case ID_EDIT_COPY:
    case ID_COPY_DATA: enabled = HasTrials(); return true;
    case ID_APPLY_MACRO: checked = applyMacro; return true;
    case ID_SHOW_GUIDE_LINES: checked = showGuideLines; return true;
    case ID_CROSS_HAIR_CURSOR: checked = crossHairCursor; return true;
    case ID_SWITCH_RIDGE: return doc_.OnUpdateCommand(id, enabled, checked);
    default: break;
    }
    return false;
}

// ---- Menus ----

namespace {

// An entry that runs a command on the view; its state follows the view before the menu
// shows.
QAction* AddCommand(QMenu* menu, CGraphView* view, int id, const char* text)
{
    QAction* action = menu->addAction(text);
    action->setData(id);
    action->setCheckable(IsCheckable(id));
    QObject::connect(action, &QAction::triggered, view, [view, id] { view->OnCommand(id); });
    return action;
}

void UpdateStates(QMenu* menu, const CGraphView* view)
{
    for (QAction* action : menu->actions()) {
        if (action->menu())
            UpdateStates(action->menu(), view);
        if (!action->data().canConvert<int>() || action->data().typeId() != QMetaType::Int)
            continue;
        bool enabled = true, checked = false;
        if (view->OnUpdateCommand(action->data().toInt(), enabled, checked)) {
            action->setEnabled(enabled);
            if (action->isCheckable())
                action->setChecked(checked);
        }
    }
}

void AddPlotTypes(QMenu* menu, CGraphView* view)
{
    QMenu* types = menu->addMenu("Plot Type");
    for (const PlotTypeCommand& p : kPlotTypes)
        AddCommand(types, view, p.id, p.text);
}

} // namespace

QMenu* CGraphView::AddMenus(QMenuBar* menuBar)
{
    auto* menu = new QMenu("&Graph", menuBar);
    AddCommand(menu, this, ID_SET_SELECTION, "Set selection");
    AddPlotTypes(menu, this);
    AddCommand(menu, this, ID_SMALL_VIEW, "Small View");
    AddCommand(menu, this, ID_BIG_VIEW, "Big View");
    menu->addSeparator();
    AddCommand(menu, this, ID_DRAW_RDROOF, "Draw &RDRoof")->setShortcut(QKeySequence("Ctrl+R"));
    AddCommand(menu, this, ID_DRAW_RDEDGE, "Draw RD&Edge")->setShortcut(QKeySequence("Ctrl+E"));
    // Ctrl+S stays with File Save.
    AddCommand(menu, this, ID_DRAW_SOLIDROOF, "Draw &SolidRoof");
    AddCommand(menu, this, ID_DRAW_BORDER_OWNERSHIP, "Draw &BorderOwnership")->setShortcut(QKeySequence("Ctrl+B"));
    AddCommand(menu, this, ID_SWITCH_RIDGE, "Switch RIDGE: 0<->14");
    AddCommand(menu, this, ID_APPLY_MACRO, "Apply macro to opened file");
    menu->addSeparator();
    AddCommand(menu, this, ID_REVCORR_DIALOG, "RevCorr");
    AddCommand(menu, this, ID_GRAPH_PROPERTIES, "Properties");
    AddCommand(menu, this, ID_GRAPH_FONT, "Font");
    AddCommand(menu, this, ID_SHOW_GUIDE_LINES, "Show Guide Lines");
    AddCommand(menu, this, ID_CROSS_HAIR_CURSOR, "Cross Hair Cursor");
    AddCommand(menu, this, ID_SET_OPTIMAL_VALUE, "Set Optimal Value");
    menu->addSeparator();
    AddCommand(menu, this, ID_COPY_DATA, "Copy Data");
    AddCommand(menu, this, ID_EDIT_COPY, "Copy Graph");
    AddCommand(menu, this, ID_EXPORT_GRAPH, "Save Graph As...");
    menu->addSeparator();
    AddCommand(menu, this, ID_FILE_PRINT, "&Print...");
    AddCommand(menu, this, ID_FILE_PRINT_PREVIEW, "Print Pre&view");
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { UpdateStates(menu, this); });
    const QList<QAction*> menus = menuBar->actions();
    if (menus.isEmpty())
        menuBar->addMenu(menu);
    else
        menuBar->insertMenu(menus.back(), menu);
    return menu;
}

QMenu* CGraphView::CreateContextMenu(int region, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    const bool axisMenu = graph_.HasCommands()
        && (region == REGION_X_BAND || region == REGION_Y_BAND || region == REGION_FIGURE_BAND);
    if (!axisMenu) {
        AddCommand(menu, this, ID_SET_OPTIMAL_VALUE, "Set Optimal Value");
        AddCommand(menu, this, ID_GRAPH_PROPERTIES, "Properties");
        AddCommand(menu, this, ID_GRAPH_FONT, "Font");
        AddCommand(menu, this, ID_SHOW_GUIDE_LINES, "Show Guide Lines");
        AddCommand(menu, this, ID_CROSS_HAIR_CURSOR, "Cross Hair Cursor");
        menu->addSeparator();
        AddCommand(menu, this, ID_COPY_DATA, "Copy Data");
        AddCommand(menu, this, ID_EDIT_COPY, "Copy Graph");
        AddCommand(menu, this, ID_GRAPH_EXPORT_DATA, "Export Data ...");
        AddCommand(menu, this, ID_EXPORT_PARAM, "Export Param ...");
        menu->addSeparator();
        AddCommand(menu, this, ID_FILE_PRINT, "Print");
        AddCommand(menu, this, ID_FILE_PRINT_PREVIEW, "Print Preview");
        menu->addSeparator();
        AddCommand(menu, this, ID_MAXIMIZE, "Maximize");
        AddCommand(menu, this, ID_RESTORE, "Restore");
        menu->addSeparator();
        AddCommand(menu, this, ID_SMALL_VIEW, "Small View");
        AddCommand(menu, this, ID_BIG_VIEW, "Big View");
        AddPlotTypes(menu, this);
        AddCommand(menu, this, ID_REVCORR_DIALOG, "RevCorr");
        UpdateStates(menu, this);
        return menu;
    }

    // One entry per offered column, carrying its parameter; the plotted one is checked and
    // cannot be chosen again.
    const int axis = region == REGION_X_BAND ? AXIS_X : region == REGION_Y_BAND ? AXIS_Y : AXIS_FIGURE;
    const int variable = CResponseGraph::Variable(doc_.plot, axis);
    auto addEntry = [menu](QAction* action, bool checked) {
        action->setCheckable(true);
        action->setChecked(checked);
        action->setEnabled(!checked);
        return action;
    };
    if (axis == AXIS_Y)
        AddCommand(menu, this, ID_SET_SELECTION, "Set selection");
    const int offered = graph_.OfferedColumnCount();
    for (int i = 0; i < offered; ++i) {
        const int k = offered - 1 - i;
        QAction* action = addEntry(menu->addAction(ToQ(graph_.ColumnName(i))), k == variable);
        action->setData(QVariantList{axis, k});
        connect(action, &QAction::triggered, this, [this, axis, k] {
            graph_.SelectAxisParam(axis, k);
            FollowGraph();
        });
    }
    struct Special {
        int id;
        const char* text;
        int value;
    };
    std::vector<Special> specials;
    if (axis == AXIS_X)
        specials = {{ID_X_TIME, "Time (ms)", AXIS_TIME}};
    else if (axis == AXIS_Y)
        specials = {{ID_Y_SPIKE_RATE, "Spikes/S", AXIS_SPIKE_RATE},
                    {ID_Y_DEPTH_MATCHED, "Depth matched", AXIS_DEPTH},
                    {ID_Y_REVCORR, "RevCorr", AXIS_REVCORR}};
    else
        specials = {{ID_FIGURE_ALL, "all", AXIS_ALL}};
    for (const Special& s : specials)
        addEntry(AddCommand(menu, this, s.id, s.text), variable == s.value);
    return menu;
}

// ---- Dialogs and commands ----

void CGraphView::OnSetSelection()
{
    if (!graph_.HasCommands())
        return;
    std::vector<CParam> candidates = graph_.SelectionCandidates();
    if (candidates.empty())
        return;
    // One dialog at a time: the list it shows is refilled here.
    delete selectionDlg_.data();
    selectionCandidates_ = std::move(candidates);
    auto* dialog = new CSetSelectionDlg(&selectionCandidates_, &doc_.selectionList1, &doc_.selectionList2, this);
    connect(dialog, &CSetSelectionDlg::selectionFinished, this, &CGraphView::OnSelectionChanged, Qt::QueuedConnection);
    selectionDlg_ = dialog;
    dialog->show();
}

void CGraphView::OnSelectionChanged(bool ok)
{
    if (ok) {
        graph_.OnUpdate(DocUpdate{HINT_COLUMN_CHANGED});
        FollowGraph();
    }
    if (selectionDlg_)
        selectionDlg_->deleteLater();
    selectionDlg_ = nullptr;
}

void CGraphView::OnSwitchRidge()
{
    const int sources = graph_.SwitchRidgeSources();
    if (sources < 0)
        return;
    CSwitchRidgeDlg dialog(sources, this);
    if (UI().RunModal(dialog) == IDOK && dialog.choice >= 0)
        graph_.SwitchRidge(dialog.choice);
}

void CGraphView::OnProperties()
{
    CGraphPropertySheet sheet(LoadGraphProperties(doc_, page), this);
    if (UI().RunModal(sheet) != IDOK)
        return;
    ApplyGraphProperties(sheet.values, doc_, page);
    OnUpdate(nullptr, DocUpdate{HINT_REBUILD});
    graph_.TakeExtentChanged();
    UpdateScrollSizes();
    InvalidateFigures();
}

void CGraphView::OnFont()
{
    FontRecord& f = doc_.plot.mainFont;
    QFont font(ToQ(f.faceName));
    font.setPointSizeF(std::max(FontPointSize(f.height), 1.0));
    font.setWeight(static_cast<QFont::Weight>(std::clamp(f.weight == 0 ? 400 : f.weight, 1, 1000)));
    font.setItalic(f.italic);
    font.setUnderline(f.underline);
    font.setStrikeOut(f.strikeOut);
    QFontDialog dialog(font, this);
    dialog.setWindowTitle("Font");
    if (UI().RunModal(dialog) != IDOK)
        return;
    const QFont chosen = dialog.selectedFont();
    FontRecord record = f;
    // A name the code page cannot hold leaves the font as it was.
    if (!TakeTyped(chosen.family(), record.faceName, "the font's name"))
        return;
    record.faceName = record.faceName.substr(0, 31);
    record.height = FontHeightForPoints(chosen.pointSizeF(), f.height);
    record.weight = chosen.weight();
    record.italic = chosen.italic();
    record.underline = chosen.underline();
    record.strikeOut = chosen.strikeOut();
    f = record;
    // The y titles' font is the same font turned upright.
    FontRecord vertical = record;
    vertical.escapement = vertical.orientation = 900;
    doc_.plot.verticalFont = vertical;
    InvalidateFigures();
}

void CGraphView::OnCopyData()
{
    // What a document without trials still shows is not its data.
    if (!HasTrials())
        return;
    const std::string text = CopyDataText(doc_);
    if (text.empty())
        return;
    QGuiApplication::clipboard()->setText(ToQ(text));
}

void CGraphView::OnEditCopy()
{
    if (!HasTrials())
        return;
    COrvixSrvrItem item(doc_);
    QGuiApplication::clipboard()->setMimeData(item.CreateMimeData(logicalDpiX()));
}

void CGraphView::OnSetOptimalValue()
{
    // The readings as the panes show them now, not as the mouse last left them.
    UpdatePaneTexts();
    graph_.SetOptimalValue(stimulusText_, responseText_);
}

void CGraphView::OnRevCorr()
{
    if (doc_.plot.YAxisVariable != AXIS_REVCORR)
        return;
    const int duration = RevCorrDuration(doc_.GetBehavParam("FigOnDur", CParam(nullptr, 0)).GetInt());
    auto* dialog = new CRevCorrDlg(doc_.plot.revCorrLatency, duration, doc_.responses.revCorrMinimum,
                                   doc_.responses.revCorrMaximum, doc_.plot.revCorrSubtract != 0, this);
    revCorrDlg_ = dialog;
    dialog->show();
}

void CGraphView::OnRevCorrChanged(int latency, int duration, float minimum, float maximum, bool redrawNow)
{
    graph_.UpdateReverseCorrelation(latency, duration, minimum, maximum);
    graph_.TakeRepaint();
    // The subtract flag changes how many maps there are.
    UpdateScrollSizes();
    figuresValid_ = false;
    if (redrawNow)
        viewport()->repaint();
    else
        viewport()->update();
}

void CGraphView::OnExportGraph()
{
    std::string path;
    if (askPictureFile)
        path = askPictureFile();
    else
        path = PathFromQ(QFileDialog::getSaveFileName(
            this, "Save Graph As", QString(), "PNG picture (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)"));
    if (path.empty())
        return;
    COrvixSrvrItem item(doc_);
    if (!item.SavePicture(path, logicalDpiX()))
        MessageBox("Can't save the picture \"" + UnmapPath(path) + "\".\n" + WriteFailureText());
}

} // namespace orvix
