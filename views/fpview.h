// CFPView: the eye-position view, the lower pane of the frame's right column. A square plot
// in degrees with the eye's position as a moving dot and its trail, the fixation shapes a
// task asks for, panning and zooming by dragging the axis labels or turning the wheel, and
// the eye tracker's calibration. It never draws from inside an experiment pass: a pass only
// counts; the display tick takes the eye position (at most every 16 ms, and only after
// passes ran) and draws it.
#pragma once
#include <QImage>
#include <QWidget>
#include <functional>
#include <vector>

#include "document/observer.h"
#include "platform/ui/drawing.h"
#include "views/eyecalibration.h"

namespace orvix {

class COrvixDoc;
class CTaskRunner;

// The plot's place and scale: degrees to pixels and back, and the label hit test.
struct FPGeometry {
    float centreH = 0.0f;
    float centreV = 0.0f;
    float range = 20.0f; // degrees across the plot, at least 1
    int size = 200;      // side of the square plot, pixels
    int left = 25;       // plot origin in the client area
    int top = 10;

    // Plot pixels (from the plot origin, y down) of a position in degrees.
    Point ToPlot(double h, double v) const;
    // The degrees of a client point.
    void ToDegrees(int x, int y, double& h, double& v) const;
    // 2 horizontal centre label, 3 vertical centre label, 4 horizontal end labels, 5 vertical
    // end labels, 0 none (client pixels).
    int HitTest(int x, int y) const;
};

// The plot without the trail, in plot coordinates (the caller moves the origin to the plot
// origin): labels, titles, the grid, the green cross and the red dot at the last point.
void DrawFPPlot(IDrawContext& dc, const FPGeometry& g, bool showGrid, Point lastPoint);

// A fixation shape of a task (1/60 degree) and its colour bits (1 blue, 2 green, 4 red,
// 8 bright).
COLORREF FixationColour(int bits);
void DrawFPRectangle(IDrawContext& dc, const FPGeometry& g, int x, int y, int width, int height, int colour);
void DrawFPCircle(IDrawContext& dc, const FPGeometry& g, int x, int y, int radius, int colour);

class CFPView : public QWidget, public IDocObserver {
public:
    CFPView(COrvixDoc& doc, CTaskRunner& runner, QWidget* parent = nullptr);
    ~CFPView() override;

    // The task built-ins: drawn at the next display tick, kept until the next redraw.
    void FPRectangle(int x, int y, int width, int height, int colour);
    void FPCircle(int x, int y, int radius, int colour);

    void OnCalibrate() { calibration_.OnCalibrate(); }
    bool IsCalibrating() const { return calibration_.IsCalibrating(); }
    CEyeCalibration& Calibration() { return calibration_; }

    // What the passes show (at most every 16 ms): the eye position for the trail, the raw
    // values and the task state for the calibration.
    void OnEyePosition(float h, float v, int rawH, int rawV, int taskState);
    // The display tick: after passes, the eye position from the runner; then draws what is
    // new.
    void Refresh();
    // Everything drawn again; the trail and the fixation shapes go.
    void Redraw();

    const FPGeometry& Geometry() const { return geometry_; }
    void SetRange(float range);
    bool ShowsGrid() const { return showGrid_; }
    Point LastPoint() const { return lastPoint_; }
    // Trail segments drawn since the view was made.
    long TrailSegmentsDrawn() const { return trailSegments_; }

    void OnUpdate(IDocObserver* sender, const DocUpdate& update) override;

    // The frame's pane commands and its Calibrate command, for the context menu.
    std::function<void()> onMaximize, onRestore, onCalibrate;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    struct Shape {
        bool circle;
        int x, y, a, b, colour;
    };
    // After passes, at most every 16 ms: the runner's eye position and state.
    void TakeEyePosition();
    void EnsureOverlay();
    void SetCursorFor(int code);

    COrvixDoc& doc_;
    CTaskRunner& runner_;
    CEyeCalibration calibration_;
    FPGeometry geometry_;
    bool showGrid_ = true;
    Point lastPoint_{100, 100};
    // What the passes noted: trail points and shapes not drawn yet.
    long passes_ = 0; // since the eye position was last taken
    std::vector<Point> pendingTrail_;
    std::vector<Shape> pendingShapes_;
    // The trail and the shapes: drawn once, kept until the next redraw.
    QImage overlay_;
    // The trail's end as drawn into the overlay.
    Point drawnPoint_{100, 100};
    long trailSegments_ = 0;
    int dragCode_ = 0;
    int dragX_ = 0, dragY_ = 0;
};

} // namespace orvix
