#include "views/orvixview.h"

#include <QContextMenuEvent>
#include <QFont>
#include <QFontDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "document/orvixdoc.h"
#include "model/fieldtext.h"
#include "platform/text/qtext.h"
#include "platform/ui/ui.h"
#include "views/qpainterdc.h"
#include "views/viewcommands.h"

namespace orvix {

namespace {

constexpr int kWheelStep = 120;
// Shared by every trial view, as one wheel.
int g_wheelAccumulator = 0;

struct ScaleItem {
    int id;
    const char* text;
    int msPerUnit;
};
const ScaleItem kTimeScales[] = {{ID_VIEW_400MS, "400 ms/grid", 20},
                                 {ID_VIEW_200MS, "200 ms/grid", 10},
                                 {ID_VIEW_80MS, "80 ms/grid", 4},
                                 {ID_VIEW_40MS, "40 ms/grid", 2},
                                 {ID_VIEW_20MS, "20 ms/grid", 1}};
struct DegreeItem {
    int id;
    const char* text;
    float degrees;
};
const DegreeItem kDegreeScales[] = {{ID_VIEW_1DEG, "1 deg", 1},    {ID_VIEW_2DEG, "2 deg", 2},
                                    {ID_VIEW_5DEG, "5 deg", 5},    {ID_VIEW_10DEG, "10 deg", 10},
                                    {ID_VIEW_15DEG, "15 deg", 15}, {ID_VIEW_20DEG, "20 deg", 20},
                                    {ID_VIEW_50DEG, "50 deg", 50}, {ID_VIEW_100DEG, "100 deb", 100}};

// The font dialog speaks points: the stored height in 0.1 mm x 4 / 3 x 72 / 254.
double HeightToPoints(int height) { return std::abs(height) * 4.0 / 3.0 * 72.0 / 254.0; }
int PointsToHeight(double points) { return static_cast<int>(std::lround(points * 254.0 / 72.0 * 3.0 / 4.0)); }

// Draws the cells of a layout with the painter's origin at the table's top-left corner.
void PaintCells(QPainter& painter, COrvixDoc& doc, const TrialViewLayout& layout, const MetricScale& scale,
                int first, const LogicalBox& clip, const Font& font)
{
    painter.scale(scale.pxPerUnitX, -scale.pxPerUnitY);
    CQPainterDC dc(painter, true);
    DrawTrialCells(dc, doc, layout, first, clip, font);
}

} // namespace

COrvixView::COrvixView(COrvixDoc& doc, QWidget* parent) : QAbstractScrollArea(parent), doc_(doc)
{
    setObjectName("TrialView");
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setBackgroundRole(QPalette::Base);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) {
        if (!updatingBars_)
            VScrollTo(v);
    });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) {
        if (!updatingBars_)
            HScrollTo(v);
    });
    doc_.AddObserver(this);
}

COrvixView::~COrvixView() { doc_.RemoveObserver(this); }

MetricScale COrvixView::Scale() const
{
    return MetricScale::ForDpi(viewport()->logicalDpiX(), viewport()->logicalDpiY());
}

void COrvixView::OnInitialUpdate()
{
    firstTrial_ = 0;
    hPos_ = 0;
    atEnd_ = true;
    RecalcLayout();
    if (doc_.GetTrialCount() > 0 && onSelectTrial)
        onSelectTrial(0);
}

void COrvixView::OnUpdate(IDocObserver*, const DocUpdate& update)
{
    if (update.hint == HINT_REBUILD) {
        layoutPending_ = true;
    } else if (update.hint == HINT_TRIAL_ADDED) {
        layoutPending_ = true;
        followPending_ = true;
    }
}

void COrvixView::Refresh()
{
    if (!layoutPending_)
        return;
    layoutPending_ = false;
    RecalcLayout();
    if (followPending_ && atEnd_)
        VScrollTo(layout_.vRange);
    followPending_ = false;
}

void COrvixView::RecalcLayout()
{
    int longest = 0, count = 0;
    doc_.GetTrialExtent(longest, count);
    layout_.Compute(Scale(), viewport()->width(), viewport()->height(), longest, count);
    if (firstTrial_ > layout_.vRange) {
        firstTrial_ = layout_.vRange;
        atEnd_ = true;
    }
    hPos_ = std::clamp(hPos_, 0, layout_.hRange);
    layoutPending_ = false;
    UpdateScrollBars();
    viewport()->update();
}

void COrvixView::UpdateScrollBars()
{
    updatingBars_ = true;
    QScrollBar* v = verticalScrollBar();
    v->setRange(0, layout_.vRange);
    v->setPageStep(layout_.trialsPerPage);
    v->setSingleStep(1);
    v->setValue(firstTrial_);
    QScrollBar* h = horizontalScrollBar();
    h->setRange(0, layout_.hRange);
    h->setPageStep(std::max(1, layout_.pageWidth));
    h->setSingleStep(layout_.lineStep);
    h->setValue(hPos_);
    updatingBars_ = false;
}

void COrvixView::VScrollTo(int position)
{
    int pos = std::clamp(position, 0, layout_.vRange);
    atEnd_ = pos == layout_.vRange;
    if (pos == firstTrial_)
        return;
    firstTrial_ = pos;
    updatingBars_ = true;
    verticalScrollBar()->setValue(pos);
    updatingBars_ = false;
    viewport()->update();
    if (onSelectTrial)
        onSelectTrial(std::min(firstTrial_, doc_.GetTrialCount() - 1));
}

void COrvixView::HScrollTo(int position)
{
    int pos = std::clamp(position, 0, layout_.hRange);
    if (pos == hPos_)
        return;
    hPos_ = pos;
    updatingBars_ = true;
    horizontalScrollBar()->setValue(pos);
    updatingBars_ = false;
    viewport()->update();
}

void COrvixView::scrollContentsBy(int, int)
{
    // The positions are followed through the scroll bars' values; the cells are drawn anew.
    viewport()->update();
}

void COrvixView::SetMsPerUnit(int msPerUnit)
{
    layout_.msPerUnit = std::max(1, msPerUnit);
    RecalcLayout();
}

void COrvixView::SetDegreeScale(float degrees)
{
    layout_.degreeScale = degrees;
    viewport()->update();
}

void COrvixView::ToggleGrid()
{
    layout_.showGrid = !layout_.showGrid;
    viewport()->update();
}

void COrvixView::ChooseFont()
{
    QFont initial(ToQ(font.face));
    initial.setPointSizeF(HeightToPoints(font.height));
    initial.setWeight(static_cast<QFont::Weight>(std::clamp(font.weight, 1, 1000)));
    initial.setItalic(font.italic);
    QFontDialog dialog(initial, this);
    if (UI().RunModal(dialog) != IDOK)
        return;
    QFont chosen = dialog.selectedFont();
    // A name the code page cannot hold leaves the font as it was.
    std::string face = font.face;
    if (!TakeTyped(chosen.family(), face, "the font's name"))
        return;
    font.face = face;
    font.height = PointsToHeight(chosen.pointSizeF());
    font.weight = chosen.weight();
    font.italic = chosen.italic();
    viewport()->update();
}

Point COrvixView::ToLogical(QPoint px) const
{
    MetricScale s = Scale();
    return {s.ToUnitsX(px.x()) + hPos_, -s.ToUnitsY(px.y())};
}

void COrvixView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.fillRect(event->rect(), Qt::white);
    if (doc_.GetTrialCount() == 0)
        return;
    const MetricScale s = Scale();
    const QRect r = event->rect();
    LogicalBox clip{s.ToUnitsX(r.left()) + hPos_ - 1, -s.ToUnitsY(r.top()) + 1, s.ToUnitsX(r.right() + 1) + hPos_ + 1,
                    -s.ToUnitsY(r.bottom() + 1) - 1};
    painter.save();
    painter.translate(-s.ToPxX(hPos_), 0);
    PaintCells(painter, doc_, layout_, s, firstTrial_, clip, font);
    painter.restore();

    if (drag_.code != HIT_NONE) {
        // The guide lines of the drag, inverted.
        painter.setCompositionMode(QPainter::RasterOp_NotDestination);
        int x = s.ToPxX(dragLine_.x - hPos_), y = s.ToPxY(-dragLine_.y);
        if (drag_.code == HIT_CELL_RIGHT || drag_.code == HIT_CORNER || drag_.code == HIT_CAPTION)
            painter.drawLine(x, 0, x, viewport()->height());
        if (drag_.code == HIT_ROW_BORDER || drag_.code == HIT_CORNER || drag_.code == HIT_SPIKE_BAND)
            painter.drawLine(0, y, viewport()->width(), y);
    }
}

void COrvixView::resizeEvent(QResizeEvent*)
{
    RecalcLayout();
}

void COrvixView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_PageUp: VScrollTo(firstTrial_ - layout_.trialsPerPage); break;
    case Qt::Key_PageDown: VScrollTo(firstTrial_ + layout_.trialsPerPage); break;
    case Qt::Key_Home: VScrollTo(0); break;
    case Qt::Key_End: VScrollTo(layout_.vRange); break;
    case Qt::Key_Up: VScrollTo(firstTrial_ - 1); break;
    case Qt::Key_Down: VScrollTo(firstTrial_ + 1); break;
    case Qt::Key_Left: HScrollTo(hPos_ - layout_.lineStep); break;
    case Qt::Key_Right: HScrollTo(hPos_ + layout_.lineStep); break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
    }
    event->accept();
}

void COrvixView::wheelEvent(QWheelEvent* event)
{
    g_wheelAccumulator += event->angleDelta().y();
    while (g_wheelAccumulator >= kWheelStep) {
        g_wheelAccumulator -= kWheelStep;
        VScrollTo(firstTrial_ - 1);
    }
    while (g_wheelAccumulator <= -kWheelStep) {
        g_wheelAccumulator += kWheelStep;
        VScrollTo(firstTrial_ + 1);
    }
    event->accept();
}

void COrvixView::SetCursorFor(int code)
{
    switch (code) {
    case HIT_CELL_RIGHT:
    case HIT_CAPTION: viewport()->setCursor(Qt::SizeHorCursor); break;
    case HIT_ROW_BORDER:
    case HIT_SPIKE_BAND: viewport()->setCursor(Qt::SizeVerCursor); break;
    case HIT_CORNER: viewport()->setCursor(Qt::SizeFDiagCursor); break;
    default: viewport()->unsetCursor(); break;
    }
}

void COrvixView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    Point at = ToLogical(event->position().toPoint());
    DividerHitResult hit = HitTestDivider(layout_, at.x, at.y);
    if (hit.code == HIT_NONE)
        return;
    drag_ = hit;
    dragStart_ = dragLine_ = at;
    viewport()->update();
}

void COrvixView::mouseMoveEvent(QMouseEvent* event)
{
    Point at = ToLogical(event->position().toPoint());
    if (drag_.code == HIT_NONE) {
        SetCursorFor(HitTestDivider(layout_, at.x, at.y).code);
        return;
    }
    dragLine_ = at;
    viewport()->update();
}

void COrvixView::mouseReleaseEvent(QMouseEvent* event)
{
    if (drag_.code == HIT_NONE)
        return;
    Point at = ToLogical(event->position().toPoint());
    DividerHitResult hit = drag_;
    drag_ = DividerHitResult{};
    if (at != dragStart_) {
        ApplyDividerDrag(layout_, hit, at.x - dragStart_.x, at.y - dragStart_.y);
        RecalcLayout();
    }
    viewport()->unsetCursor();
    viewport()->update();
}

void COrvixView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu top;
    QMenu* menu = top.addMenu("Option");
    for (const ScaleItem& item : kTimeScales) {
        QAction* a = menu->addAction(item.text);
        bool current = layout_.msPerUnit == item.msPerUnit;
        a->setCheckable(true);
        a->setChecked(current);
        a->setEnabled(!current);
        int ms = item.msPerUnit;
        connect(a, &QAction::triggered, this, [this, ms] { SetMsPerUnit(ms); });
    }
    menu->addSeparator();
    for (const DegreeItem& item : kDegreeScales) {
        QAction* a = menu->addAction(item.text);
        bool current = layout_.degreeScale == item.degrees;
        a->setCheckable(true);
        a->setChecked(current);
        a->setEnabled(!current);
        float degrees = item.degrees;
        connect(a, &QAction::triggered, this, [this, degrees] { SetDegreeScale(degrees); });
    }
    menu->addSeparator();
    QAction* grid = menu->addAction("Show Grid");
    grid->setCheckable(true);
    grid->setChecked(layout_.showGrid);
    connect(grid, &QAction::triggered, this, [this] { ToggleGrid(); });
    menu->addSeparator();
    auto hook = [this, menu](const char* text, std::function<void()>* target) {
        connect(menu->addAction(text), &QAction::triggered, this, [target] {
            if (*target)
                (*target)();
        });
    };
    hook("Maximize", &onMaximize);
    hook("Restore", &onRestore);
    menu->addSeparator();
    connect(menu->addAction("Font"), &QAction::triggered, this, [this] { ChooseFont(); });
    menu->addSeparator();
    hook("Print", &onPrint);
    hook("Print Preview", &onPrintPreview);
    menu->exec(event->globalPos());
}

TrialViewLayout COrvixView::PrintLayout(QPrinter& printer) const
{
    TrialViewLayout layout = layout_;
    MetricScale s = MetricScale::ForDpi(printer.logicalDpiX(), printer.logicalDpiY());
    QRect page = printer.pageRect(QPrinter::DevicePixel).toRect();
    int longest = 0, count = 0;
    doc_.GetTrialExtent(longest, count);
    layout.Compute(s, page.width() - s.ToPxX(kPrintOffset), page.height() - s.ToPxY(kPrintOffset), longest, count);
    return layout;
}

int COrvixView::PageCount(QPrinter& printer) const
{
    int count = doc_.GetTrialCount();
    if (count == 0)
        return 0;
    TrialViewLayout layout = PrintLayout(printer);
    int perPage = std::max(1, layout.columns * layout.rowsPerPage);
    return (count + perPage - 1) / perPage;
}

void COrvixView::Print(QPrinter& printer)
{
    // Every trial, page after page, each page laid out for the paper as the screen's cells
    // are for the window.
    TrialViewLayout layout = PrintLayout(printer);
    const MetricScale s = MetricScale::ForDpi(printer.logicalDpiX(), printer.logicalDpiY());
    const int pages = PageCount(printer);
    const int perPage = std::max(1, layout.columns * layout.rowsPerPage);
    int from = printer.fromPage() > 0 ? printer.fromPage() : 1;
    int to = printer.toPage() > 0 ? std::min(printer.toPage(), pages) : pages;
    QPainter painter;
    if (pages == 0 || !painter.begin(&printer))
        return;
    // The page's rows only: the part of a row that the paper cuts belongs to the next page.
    QRect page = printer.pageRect(QPrinter::DevicePixel).toRect();
    LogicalBox clip{-kPrintOffset, kPrintOffset, s.ToUnitsX(page.width()),
                    std::max(-s.ToUnitsY(page.height()), 1 - layout.rowsPerPage * layout.rowHeight)};
    for (int p = from; p <= to; ++p) {
        if (p > from)
            printer.newPage();
        painter.save();
        painter.translate(s.ToPxX(kPrintOffset), s.ToPxY(kPrintOffset));
        PaintCells(painter, doc_, layout, s, (p - 1) * perPage, clip, font);
        painter.restore();
    }
    painter.end();
}

} // namespace orvix
