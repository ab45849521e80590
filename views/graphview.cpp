#include "views/graphview.h"

#include <QPaintDevice>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "document/orvixdoc.h"
#include "views/qpainterdc.h"

namespace orvix {

namespace {

constexpr int kFrameMs = 16;

// Logical units (0.01 mm) to pixels as the metric mapping does it: the product first, then
// the division, truncated.
int ToPixels(int units, int dpi) { return static_cast<int>(static_cast<int64_t>(units) * dpi / 2540); }

} // namespace

CGraphView::CGraphView(COrvixDoc& doc, QWidget* parent) : QAbstractScrollArea(parent), doc_(doc), graph_(doc)
{
    setObjectName("GraphView");
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    repaintTimer_.setSingleShot(true);
    repaintTimer_.setInterval(kFrameMs);
    connect(&repaintTimer_, &QTimer::timeout, this, [this] { viewport()->update(); });
    doc_.AddObserver(this);
}

CGraphView::~CGraphView() { doc_.RemoveObserver(this); }

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
    doc_.DrawFigures(dc, -1);
    if (printing)
        return;
    const CPlotSettings& p = doc_.plot;
    if (showGuideLines) {
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
    if (crossHairCursor && crossHair.x() != -1) {
        // Inverted lines across the whole view, in its own pixels.
        painter.save();
        painter.resetTransform();
        painter.setCompositionMode(QPainter::RasterOp_NotDestination);
        painter.setPen(QPen(Qt::black, 0));
        const QRect client = viewport()->rect();
        painter.drawLine(crossHair.x(), client.top(), crossHair.x(), client.bottom());
        painter.drawLine(client.left(), crossHair.y(), client.right(), crossHair.y());
        painter.restore();
    }
}

void CGraphView::paintEvent(QPaintEvent* event)
{
    ++paints_;
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setClipRegion(event->region());
    PrepareMapping(painter, *viewport(), QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value()));
    OnDraw(painter);
}

void CGraphView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollSizes();
}

void CGraphView::scrollContentsBy(int, int) { viewport()->update(); }

} // namespace orvix
