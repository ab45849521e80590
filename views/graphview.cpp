#include "views/graphview.h"

#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintDevice>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "document/graphinteraction.h"
#include "document/orvixdoc.h"
#include "platform/text/qtext.h"
#include "views/graphdialogs.h"
#include "views/qpainterdc.h"

namespace orvix {

namespace {

constexpr int kFrameMs = 16;
constexpr int kWheelStep = 120;

// Logical units (0.01 mm) to pixels as the metric mapping does it: the product first, then
// the division, truncated.
int ToPixels(int units, int dpi) { return static_cast<int>(static_cast<int64_t>(units) * dpi / 2540); }

Qt::CursorShape RegionCursor(int region)
{
    switch (region) {
    case REGION_FIGURE_RIGHT:
    case REGION_PLOT_LEFT:
    case REGION_PLOT_RIGHT: return Qt::SizeHorCursor;
    case REGION_FIGURE_BOTTOM:
    case REGION_PLOT_TOP:
    case REGION_PLOT_BOTTOM:
    case REGION_Y_RANGE: return Qt::SizeVerCursor;
    case REGION_X_BAND:
    case REGION_Y_BAND:
    case REGION_FIGURE_BAND: return Qt::SizeAllCursor;
    default: return Qt::ArrowCursor;
    }
}

} // namespace

CGraphView::CGraphView(COrvixDoc& doc, QWidget* parent) : QAbstractScrollArea(parent), doc_(doc), graph_(doc)
{
    setObjectName("GraphView");
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    repaintTimer_.setSingleShot(true);
    repaintTimer_.setInterval(kFrameMs);
    connect(&repaintTimer_, &QTimer::timeout, this, [this] { InvalidateFigures(); });
    doc_.AddObserver(this);
}

CGraphView::~CGraphView()
{
    doc_.RemoveObserver(this);
    delete selectionDlg_.data();
    delete revCorrDlg_.data();
}

CSetSelectionDlg* CGraphView::SelectionDialog() const { return selectionDlg_.data(); }
CRevCorrDlg* CGraphView::RevCorrDialog() const { return revCorrDlg_.data(); }

void CGraphView::OnInitialUpdate()
{
    OnUpdate(nullptr, DocUpdate{HINT_REBUILD});
    if (applyMacro) {
        graph_.RunAnalysisMacro(MacroForTestType(doc_.GetTestTypeName()));
        FollowGraph();
    }
}

void CGraphView::OnUpdate(IDocObserver* sender, const DocUpdate& update)
{
    graph_.OnUpdate(update);
    FollowGraph();
}

void CGraphView::FollowGraph()
{
    if (graph_.TakeExtentChanged())
        UpdateScrollSizes();
    if (graph_.TakeRepaint())
        ScheduleRepaint();
}

void CGraphView::ScheduleRepaint()
{
    if (!repaintTimer_.isActive())
        repaintTimer_.start();
}

void CGraphView::InvalidateFigures()
{
    figuresValid_ = false;
    viewport()->update();
    // Whatever changed the figures (tables, settings, axes, range, scroll) may change the
    // readings under a cross-hair that stays put.
    UpdatePaneTexts();
}

void CGraphView::UpdateOverlays() { viewport()->update(); }

QSize CGraphView::FigurePixels() const
{
    int w = 0, h = 0;
    doc_.GetFigureExtent(w, h);
    return QSize(ToPixels(w, logicalDpiX()), ToPixels(h, logicalDpiY()));
}

void CGraphView::UpdateScrollSizes()
{
    // As a scroll view's defaults: a page a tenth of the whole, a line a tenth of a page.
    const QSize total = FigurePixels();
    const QSize visible = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(total.width() - visible.width(), 0));
    verticalScrollBar()->setRange(0, std::max(total.height() - visible.height(), 0));
    horizontalScrollBar()->setPageStep(std::max(total.width() / 10, 1));
    verticalScrollBar()->setPageStep(std::max(total.height() / 10, 1));
    horizontalScrollBar()->setSingleStep(std::max(total.width() / 100, 1));
    verticalScrollBar()->setSingleStep(std::max(total.height() / 100, 1));
    figuresValid_ = false;
    ScheduleRepaint();
}

QPoint CGraphView::ToLogical(QPoint p) const
{
    const int dpiX = std::max(viewport()->logicalDpiX(), 1), dpiY = std::max(viewport()->logicalDpiY(), 1);
    return QPoint(static_cast<int>(int64_t{p.x() + horizontalScrollBar()->value()} * 2540 / dpiX),
                  static_cast<int>(int64_t{p.y() + verticalScrollBar()->value()} * 2540 / dpiY));
}

void CGraphView::PrepareMapping(QPainter& painter, const QPaintDevice& device, QPoint scroll)
{
    painter.translate(-scroll.x(), -scroll.y());
    // One logical unit is 0.01 mm: the device's dots per inch over 2540.
    painter.scale(device.logicalDpiX() / 2540.0, device.logicalDpiY() / 2540.0);
}

void CGraphView::OnDraw(QPainter& painter, bool printing)
{
    CQPainterDC dc(painter, false, &texts_);
    doc_.plot.verticalFont.escapement = doc_.plot.verticalFont.orientation = 900;
    doc_.DrawFigures(dc, -1);
    if (printing || !showGuideLines)
        return;
    const CPlotSettings& p = doc_.plot;
    const Pen saved = dc.State().pen;
    dc.SetPen(Pen{RGB(0, 0, 0), 0, PenStyle::Dot});
    const int W = p.FigWidth, H = p.FigHeight;
    const Point outer[] = {{0, H}, {W, H}, {W, 0}};
    const Point plot[] = {{p.FigLeftMargin, p.FigTopMargin},
                          {W - p.FigRightMargin, p.FigTopMargin},
                          {W - p.FigRightMargin, H - p.FigBottomMargin}};
    dc.Polyline(outer);
    dc.Polyline(plot);
    dc.SetPen(saved);
}

void CGraphView::paintEvent(QPaintEvent* event)
{
    ++paints_;
    const qreal ratio = viewport()->devicePixelRatioF();
    const QSize pixels = viewport()->size() * ratio;
    if (!figuresValid_ || figures_.size() != pixels) {
        // The image is made again only for a new size or screen: a new one of a full screen
        // costs about a third of drawing the figures.
        const int dpmX = qRound(viewport()->logicalDpiX() / 0.0254), dpmY = qRound(viewport()->logicalDpiY() / 0.0254);
        if (figures_.size() != pixels || figures_.devicePixelRatio() != ratio || figures_.dotsPerMeterX() != dpmX
            || figures_.dotsPerMeterY() != dpmY) {
            figures_ = QImage(pixels, QImage::Format_RGB32);
            figures_.setDevicePixelRatio(ratio);
            figures_.setDotsPerMeterX(dpmX);
            figures_.setDotsPerMeterY(dpmY);
        }
        figures_.fill(viewport()->palette().color(QPalette::Base));
        QPainter painter(&figures_);
        painter.setRenderHint(QPainter::Antialiasing, false);
        PrepareMapping(painter, *viewport(), QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value()));
        OnDraw(painter);
        figuresValid_ = true;
        ++figureDraws_;
    }
    QPainter painter(viewport());
    painter.setClipRegion(event->region());
    painter.drawImage(0, 0, figures_);
    // Inverted lines across the whole view, in its own pixels: drawn twice they vanish,
    // so the figures never need drawing again for them.
    painter.setCompositionMode(QPainter::RasterOp_NotDestination);
    painter.setPen(QPen(Qt::black, 0));
    const QRect client = viewport()->rect();
    if (crossHairCursor && crossHair.x() != -1) {
        painter.drawLine(crossHair.x(), client.top(), crossHair.x(), client.bottom());
        painter.drawLine(client.left(), crossHair.y(), client.right(), crossHair.y());
    }
    if (rubber_ == Rubber::Vertical)
        painter.drawLine(rubberAt_.x(), client.top(), rubberAt_.x(), client.bottom());
    else if (rubber_ == Rubber::Horizontal)
        painter.drawLine(client.left(), rubberAt_.y(), client.right(), rubberAt_.y());
}

void CGraphView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollSizes();
}

void CGraphView::scrollContentsBy(int dx, int dy)
{
    // The cross-hair stays on the same content.
    if (crossHair.x() != -1)
        crossHair += QPoint(dx, dy);
    InvalidateFigures();
}

// ---- Mouse and keys ----

void CGraphView::SetRegionCursor(int region)
{
    // The figure's corner leaves the cursor as it is.
    if (region != REGION_FIGURE_CORNER)
        viewport()->setCursor(RegionCursor(region));
}

void CGraphView::MoveCrossHair(QPoint p)
{
    crossHair = p;
    UpdateOverlays();
    UpdatePaneTexts();
}

void CGraphView::UpdatePaneTexts()
{
    if (crossHair.x() == -1)
        return;
    const QPoint at = ToLogical(crossHair);
    const std::string oldStimulus = stimulusText_, oldResponse = responseText_;
    std::string text;
    if (StimulusPaneText(doc_, at.x(), text))
        stimulusText_ = text;
    if (ResponsePaneText(doc_, at.y(), text))
        responseText_ = text;
    if (stimulusText_ != oldStimulus || responseText_ != oldResponse)
        emit paneTextsChanged(ToQ(stimulusText_), ToQ(responseText_));
}

void CGraphView::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::RightButton) {
        ShowContextMenu(p);
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint at = ToLogical(p);
    const int region = GraphHitTest(doc_.plot, at.x(), at.y());
    if (region != REGION_NONE) {
        dragging_ = true;
        dragRegion_ = region;
        dragStart_ = p;
        SetRegionCursor(region);
        if (!crossHairCursor) {
            if (region == REGION_FIGURE_RIGHT || region == REGION_PLOT_LEFT || region == REGION_PLOT_RIGHT)
                rubber_ = Rubber::Vertical;
            else if (region == REGION_FIGURE_BOTTOM || region == REGION_PLOT_TOP || region == REGION_PLOT_BOTTOM)
                rubber_ = Rubber::Horizontal;
            rubberAt_ = p;
        }
    }
    MoveCrossHair(p);
}

void CGraphView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (!dragging_) {
        const QPoint at = ToLogical(p);
        SetRegionCursor(GraphHitTest(doc_.plot, at.x(), at.y()));
    } else {
        if (rubber_ != Rubber::None)
            rubberAt_ = p;
        if (dragRegion_ == REGION_Y_RANGE) {
            dragStart_.ry() += graph_.DragYRange(p.y() - dragStart_.y());
            FollowGraph();
            InvalidateFigures();
        }
    }
    MoveCrossHair(p);
}

void CGraphView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !dragging_)
        return;
    dragging_ = false;
    rubber_ = Rubber::None;
    const QPoint p = event->position().toPoint();
    if (p != dragStart_) {
        const QPoint start = ToLogical(dragStart_), end = ToLogical(p);
        graph_.ApplyDrag(dragRegion_, end.x() - start.x(), end.y() - start.y());
        FollowGraph();
        InvalidateFigures();
    }
    UpdateOverlays();
    viewport()->setCursor(Qt::ArrowCursor);
}

void CGraphView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        OnSetSelection();
}

void CGraphView::ShowContextMenu(QPoint p)
{
    const QPoint at = ToLogical(p);
    QMenu* menu = CreateContextMenu(GraphHitTest(doc_.plot, at.x(), at.y()), this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(viewport()->mapToGlobal(p));
}

void CGraphView::keyPressEvent(QKeyEvent* event)
{
    QScrollBar* v = verticalScrollBar();
    QScrollBar* h = horizontalScrollBar();
    switch (event->key()) {
    case Qt::Key_PageUp: v->triggerAction(QAbstractSlider::SliderPageStepSub); break;
    case Qt::Key_PageDown: v->triggerAction(QAbstractSlider::SliderPageStepAdd); break;
    case Qt::Key_End: v->triggerAction(QAbstractSlider::SliderToMaximum); break;
    case Qt::Key_Home: v->triggerAction(QAbstractSlider::SliderToMinimum); break;
    case Qt::Key_Left: h->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
    case Qt::Key_Right: h->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
    case Qt::Key_Up: v->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
    case Qt::Key_Down: v->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
    }
    event->accept();
}

void CGraphView::wheelEvent(QWheelEvent* event)
{
    // One line per notch, for every graph view alike; then the usual wheel scrolling.
    static int16_t accumulated = 0;
    accumulated = static_cast<int16_t>(accumulated + event->angleDelta().y());
    if (accumulated >= kWheelStep) {
        accumulated = static_cast<int16_t>(accumulated - kWheelStep);
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    } else if (accumulated <= -kWheelStep) {
        accumulated = static_cast<int16_t>(accumulated + kWheelStep);
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    }
    QAbstractScrollArea::wheelEvent(event);
}

} // namespace orvix
