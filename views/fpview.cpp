#include "views/fpview.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>

#include "document/orvixdoc.h"
#include "platform/runtime/clock.h"
#include "platform/text/numbers.h"
#include "runner/taskrunner.h"
#include "views/qpainterdc.h"
#include "views/viewcommands.h"

namespace orvix {

namespace {

constexpr uint32_t kTrailIntervalMs = 16;
constexpr int kLabelHeight = 12;
constexpr int kDragStep = 10;
constexpr int kWheelStep = 120;
constexpr size_t kMaxPending = 4096;
// 1/60 degree of the task built-ins to degrees, as the task's single precision has it.
constexpr double kSixtieth = 0.016666668;

const Font kLabelFont{"Arial", kLabelHeight, 400, false, 0};
const Font kVerticalFont{"Arial", kLabelHeight, 400, false, 2700};

struct RangeItem {
    int id;
    const char* text;
    float range;
};
const RangeItem kRanges[] = {{ID_VIEW_1DEG, "1 deg", 1},     {ID_VIEW_2DEG, "2 deg", 2},
                             {ID_VIEW_5DEG, "5 deg", 5},     {ID_VIEW_10DEG, "10 deg", 10},
                             {ID_VIEW_15DEG, "15 deg", 15},  {ID_VIEW_20DEG, "20 deg", 20},
                             {ID_VIEW_50DEG, "50 deg", 50},  {ID_VIEW_100DEG, "100 deb", 100}};

// Shared by every eye-position view, as one time stamp and one wheel.
uint32_t g_lastTrailTick = 0;
int g_wheelAccumulator = 0;

} // namespace

Point FPGeometry::ToPlot(double h, double v) const
{
    return {size / 2 + DoubleToInt((h - centreH) * size / range), size / 2 - DoubleToInt((v - centreV) * size / range)};
}

void FPGeometry::ToDegrees(int x, int y, double& h, double& v) const
{
    h = static_cast<double>(x - left - size / 2) / size * range + centreH;
    v = static_cast<double>(top - y + size / 2) / size * range + centreV;
}

int FPGeometry::HitTest(int x, int y) const
{
    const int L = left, T = top, S = size;
    const bool besideV = L - 20 < x && x < L;
    const bool underH = T + S < y && y < T + S + 20;
    if (besideV && std::abs(y - (T + S / 2)) < 10)
        return 3;
    if (std::abs(x - (L + S / 2)) < 10 && underH)
        return 2;
    if ((std::abs(x - (L + S)) < 10 || std::abs(x - L) < 10) && underH)
        return 4;
    if (besideV && (std::abs(y - T) < 10 || std::abs(y - (T + S)) < 10))
        return 5;
    return 0;
}

void DrawFPPlot(IDrawContext& dc, const FPGeometry& g, bool showGrid, Point lastPoint)
{
    const int S = g.size;
    dc.SetFont(kLabelFont);
    dc.SetTextColour(RGB(0, 0, 0));
    const double half = g.range / 2.0;
    dc.Text(0, S + 2, FormatG(g.centreH - half), HAlign::Centre, VAlign::Top);
    dc.Text(S / 2, S + 2, FormatG(g.centreH), HAlign::Centre, VAlign::Top);
    dc.Text(S, S + 2, FormatG(g.centreH + half), HAlign::Centre, VAlign::Top);
    dc.Text(S / 2, S + kLabelHeight + 2, "Horizontal Eye Position (deg)", HAlign::Centre, VAlign::Top);
    dc.Text(-2, S - kLabelHeight, FormatG(g.centreV - half), HAlign::Right, VAlign::Top);
    dc.Text(-2, S / 2 - kLabelHeight / 2, FormatG(g.centreV), HAlign::Right, VAlign::Top);
    dc.Text(-2, -kLabelHeight / 2, FormatG(g.centreV + half), HAlign::Right, VAlign::Top);
    // Reading downwards, the letters' feet towards the plot, in the left margin.
    dc.SetFont(kVerticalFont);
    dc.Text(-g.left, S / 2, "Vertical Eye Position (deg)", HAlign::Centre, VAlign::Bottom);

    dc.SetPen(Pen{});
    if (showGrid) {
        for (int i = 0; i <= 10; ++i) {
            int at = i * S / 10;
            dc.Line(at, 0, at, S);
            dc.Line(0, at, S, at);
        }
    }
    dc.SetPen(Pen{RGB(0, 128, 0), 0, PenStyle::Solid});
    dc.Line(S / 2, 0, S / 2, S);
    dc.Line(0, S / 2, S, S / 2);
    dc.SetPixel(lastPoint.x, lastPoint.y, RGB(255, 0, 0));
}

COLORREF FixationColour(int bits)
{
    uint8_t on = (bits & 8) ? 255 : 128;
    return RGB((bits & 4) ? on : 0, (bits & 2) ? on : 0, (bits & 1) ? on : 0);
}

void DrawFPRectangle(IDrawContext& dc, const FPGeometry& g, int x, int y, int width, int height, int colour)
{
    Point c = g.ToPlot(x * kSixtieth, y * kSixtieth);
    int hw = DoubleToInt(width * g.size / g.range / 60) / 2;
    int hh = DoubleToInt(height * g.size / g.range / 60) / 2;
    dc.SetPen(Pen{FixationColour(colour), 0, PenStyle::Solid});
    dc.SetBrush(Brush{RGB(255, 255, 255), true});
    dc.Rectangle(c.x - hw, c.y - hh, c.x + hw + 1, c.y + hh + 1);
}

void DrawFPCircle(IDrawContext& dc, const FPGeometry& g, int x, int y, int radius, int colour)
{
    Point c = g.ToPlot(x * kSixtieth, y * kSixtieth);
    int r = DoubleToInt(radius * g.size / g.range / 60);
    dc.SetPen(Pen{FixationColour(colour), 0, PenStyle::Solid});
    dc.SetBrush(Brush{RGB(255, 255, 255), true});
    dc.Ellipse(c.x - r, c.y - r, c.x + r + 1, c.y + r + 1);
}

CFPView::CFPView(COrvixDoc& doc, CTaskRunner& runner, QWidget* parent)
    : QWidget(parent), doc_(doc), runner_(runner), calibration_(doc)
{
    setObjectName("FPView");
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(0, 0);
    drawnPoint_ = lastPoint_;
    doc_.AddObserver(this);
}

CFPView::~CFPView() { doc_.RemoveObserver(this); }

void CFPView::OnUpdate(IDocObserver*, const DocUpdate& update)
{
    switch (update.hint) {
    case HINT_PASS: ++passes_; break;
    case HINT_PARAMS_RELOADED: calibration_.Reset(); break;
    // Only its own hint clears the trail and the task's shapes: the rebuilds of the other
    // views (hint 0 comes from the F keys and parameter edits, also during a run) leave them.
    case HINT_EYE_REDRAW: Redraw(); break;
    case HINT_EYE_SAMPLING_ON: calibration_.SetSampling(true); break;
    case HINT_EYE_SAMPLING_OFF: calibration_.SetSampling(false); break;
    default: break;
    }
}

void CFPView::TakeEyePosition()
{
    if (passes_ == 0)
        return;
    uint32_t now = TickMs();
    if (now - g_lastTrailTick < kTrailIntervalMs)
        return;
    g_lastTrailTick = now;
    passes_ = 0;
    OnEyePosition(runner_.GetFPH(), runner_.GetFPV(), runner_.GetRawFPH(), runner_.GetRawFPV(), runner_.nTaskState);
}

void CFPView::OnEyePosition(float h, float v, int rawH, int rawV, int taskState)
{
    Point p = geometry_.ToPlot(h, v);
    if (p != lastPoint_) {
        if (pendingTrail_.size() < kMaxPending)
            pendingTrail_.push_back(p);
        lastPoint_ = p;
    }
    calibration_.OnPass(rawH, rawV, taskState);
}

void CFPView::FPRectangle(int x, int y, int width, int height, int colour)
{
    if (pendingShapes_.size() < kMaxPending)
        pendingShapes_.push_back({false, x, y, width, height, colour});
}

void CFPView::FPCircle(int x, int y, int radius, int colour)
{
    if (pendingShapes_.size() < kMaxPending)
        pendingShapes_.push_back({true, x, y, radius, 0, colour});
}

void CFPView::EnsureOverlay()
{
    if (overlay_.size() != size()) {
        overlay_ = QImage(size(), QImage::Format_ARGB32_Premultiplied);
        overlay_.fill(Qt::transparent);
    }
}

void CFPView::Refresh()
{
    TakeEyePosition();
    if (pendingTrail_.empty() && pendingShapes_.empty())
        return;
    EnsureOverlay();
    if (!overlay_.isNull()) {
        QPainter painter(&overlay_);
        painter.translate(geometry_.left, geometry_.top);
        CQPainterDC dc(painter);
        dc.SetPen(Pen{});
        for (const Point& p : pendingTrail_) {
            dc.Line(p.x, p.y, drawnPoint_.x, drawnPoint_.y);
            drawnPoint_ = p;
            ++trailSegments_;
        }
        for (const Shape& s : pendingShapes_) {
            if (s.circle)
                DrawFPCircle(dc, geometry_, s.x, s.y, s.a, s.colour);
            else
                DrawFPRectangle(dc, geometry_, s.x, s.y, s.a, s.b, s.colour);
        }
    }
    pendingTrail_.clear();
    pendingShapes_.clear();
    update();
}

void CFPView::Redraw()
{
    overlay_ = QImage();
    pendingTrail_.clear();
    drawnPoint_ = lastPoint_;
    update();
}

void CFPView::SetRange(float range)
{
    geometry_.range = std::max(1.0f, range);
    Redraw();
}

void CFPView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.translate(geometry_.left, geometry_.top);
    CQPainterDC dc(painter);
    DrawFPPlot(dc, geometry_, showGrid_, lastPoint_);
    if (!overlay_.isNull()) {
        painter.resetTransform();
        painter.drawImage(0, 0, overlay_);
        painter.translate(geometry_.left, geometry_.top);
        dc.SetPixel(lastPoint_.x, lastPoint_.y, RGB(255, 0, 0));
    }
}

void CFPView::resizeEvent(QResizeEvent*)
{
    // A new size shows the plot afresh, as a window does after it was resized.
    if (!overlay_.isNull() && overlay_.size() != size())
        Redraw();
}

void CFPView::SetCursorFor(int code)
{
    if (code == 2 || code == 4)
        setCursor(Qt::SizeHorCursor);
    else if (code == 3 || code == 5)
        setCursor(Qt::SizeVerCursor);
    else
        unsetCursor();
}

void CFPView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    QPoint at = event->position().toPoint();
    int code = geometry_.HitTest(at.x(), at.y());
    if (code == 0)
        return;
    dragCode_ = code;
    dragX_ = at.x();
    dragY_ = at.y();
    SetCursorFor(code);
}

void CFPView::mouseMoveEvent(QMouseEvent* event)
{
    QPoint at = event->position().toPoint();
    if (!dragCode_ || !(event->buttons() & Qt::LeftButton)) {
        SetCursorFor(geometry_.HitTest(at.x(), at.y()));
        return;
    }
    int n = 0;
    switch (dragCode_) {
    case 2:
    case 4:
        n = (at.x() - dragX_) / kDragStep;
        dragX_ += n * kDragStep;
        if (dragCode_ == 2)
            geometry_.centreH += static_cast<float>(n);
        else
            geometry_.range = std::max(1.0f, geometry_.range + static_cast<float>(n));
        break;
    case 3:
        n = (at.y() - dragY_) / kDragStep;
        dragY_ += n * kDragStep;
        geometry_.centreV -= static_cast<float>(n);
        break;
    case 5:
        n = (dragY_ - at.y()) / kDragStep; // upwards
        dragY_ -= n * kDragStep;
        geometry_.range = std::max(1.0f, geometry_.range + static_cast<float>(n));
        break;
    default: break;
    }
    if (n != 0)
        Redraw();
}

void CFPView::mouseReleaseEvent(QMouseEvent*)
{
    dragCode_ = 0;
}

void CFPView::mouseDoubleClickEvent(QMouseEvent* event)
{
    double h, v;
    QPoint at = event->position().toPoint();
    geometry_.ToDegrees(at.x(), at.y(), h, v);
    calibration_.CorrectOffsets(h, v);
}

void CFPView::wheelEvent(QWheelEvent* event)
{
    g_wheelAccumulator += event->angleDelta().y();
    bool changed = false;
    while (g_wheelAccumulator >= kWheelStep) {
        g_wheelAccumulator -= kWheelStep;
        geometry_.range += 1.0f;
        changed = true;
    }
    while (g_wheelAccumulator <= -kWheelStep) {
        g_wheelAccumulator += kWheelStep;
        geometry_.range = std::max(1.0f, geometry_.range - 1.0f);
        changed = true;
    }
    if (changed)
        Redraw();
    event->accept();
}

void CFPView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu top;
    QMenu* menu = top.addMenu("Option");
    for (const RangeItem& item : kRanges) {
        QAction* a = menu->addAction(item.text);
        a->setCheckable(true);
        bool current = geometry_.range == item.range;
        a->setChecked(current);
        a->setEnabled(!current);
        float range = item.range;
        connect(a, &QAction::triggered, this, [this, range] { SetRange(range); });
    }
    menu->addSeparator();
    QAction* grid = menu->addAction("Show Grid");
    grid->setCheckable(true);
    grid->setChecked(showGrid_);
    connect(grid, &QAction::triggered, this, [this] {
        showGrid_ = !showGrid_;
        Redraw();
    });
    QAction* calibrate = menu->addAction("Calibrate");
    calibrate->setCheckable(true);
    calibrate->setChecked(IsCalibrating());
    connect(calibrate, &QAction::triggered, this, [this] {
        if (onCalibrate)
            onCalibrate();
        else
            OnCalibrate();
    });
    menu->addSeparator();
    connect(menu->addAction("Maximize"), &QAction::triggered, this, [this] {
        if (onMaximize)
            onMaximize();
    });
    connect(menu->addAction("Restore"), &QAction::triggered, this, [this] {
        if (onRestore)
            onRestore();
    });
    menu->addAction("Font"); // the labels keep their font
    menu->exec(event->globalPos());
}

} // namespace orvix
