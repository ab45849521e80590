// CGraphView: the response-graph view, the main frame's left pane. It keeps the response
// graph (the tables live in the document) up to date from the document's update hints and
// shows the figures on a scroll area, one logical unit being 0.01 mm on any screen. Hints
// only update the tables; painting follows at display rate, never inside an experiment
// pass.
#pragma once
#include <QAbstractScrollArea>
#include <QPoint>
#include <QTimer>

#include "document/observer.h"
#include "document/responsegraph.h"
#include "views/qpainterdc.h"

class QPainter;
class QPaintDevice;

namespace orvix {

class COrvixDoc;

class CGraphView : public QAbstractScrollArea, public IDocObserver {
    Q_OBJECT
public:
    explicit CGraphView(COrvixDoc& doc, QWidget* parent = nullptr);
    ~CGraphView() override;

    // The first update after a document was opened or made: the tables, then the test
    // type's analysis when "apply macro" is on.
    void OnInitialUpdate();
    void OnUpdate(IDocObserver* sender, const DocUpdate& update) override;

    // Draws the figures in logical units on a painter already mapped by PrepareMapping;
    // on screen also the guide lines and, in device units, the cross-hair.
    void OnDraw(QPainter& painter, bool printing = false);
    // Maps 0.01 mm to the device's pixels (its dots per inch), the scroll offset taken off.
    static void PrepareMapping(QPainter& painter, const QPaintDevice& device, QPoint scroll = {});
    // The figure extent in pixels of this view's screen; the scroll range follows it.
    QSize FigurePixels() const;
    void UpdateScrollSizes();

    CResponseGraph& Graph() { return graph_; }
    COrvixDoc& Document() { return doc_; }
    bool HasTrials() const { return graph_.HasTrials(); }

    // Runs the test type's analysis when a document is opened.
    bool applyMacro = false;
    // Dotted lines along the figure's and the plot area's edges.
    bool showGuideLines = true;
    // A full-view cross-hair at `crossHair` (viewport pixels; x -1 = none).
    bool crossHairCursor = false;
    QPoint crossHair{-1, -1};

    // Where the figure goes on a printed page, in 0.01 mm; alignments 0 left/top,
    // 1 centre, 2 right/bottom. The printer offset moves from the top and left margins to
    // the bottom and right ones.
    struct PageSetup {
        int bottomMargin = 2000;
        int topMargin = 2000;
        int rightMargin = 2000;
        int leftMargin = 2500;
        int printerOffset = 425;
        int horizontalAlignment = 1;
        int verticalAlignment = 1;
    } page;

    // How often the view painted itself (tests and benchmarks watch the display rate).
    int PaintCount() const { return paints_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // Does what the graph asked for: a new scroll range, a repaint.
    void FollowGraph();
    // At most one repaint per display frame, however many updates arrive.
    void ScheduleRepaint();

    COrvixDoc& doc_;
    CResponseGraph graph_;
    QTimer repaintTimer_;
    CTextCache texts_;
    int paints_ = 0;
};

} // namespace orvix
