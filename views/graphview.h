// CGraphView: the response-graph view, the main frame's left pane. It keeps the response
// graph (the tables live in the document) up to date from the document's update hints and
// shows the figures on a scroll area, one logical unit being 0.01 mm on any screen. Hints
// only update the tables; painting follows at display rate, never inside an experiment
// pass. The user edits the figure with the mouse, reads values off a cross-hair, picks the
// axes from context menus and runs the graph's commands (views/graphview_commands.cpp),
// prints it (views/graphview_print.cpp) and copies it to other programs.
#pragma once
#include <QAbstractScrollArea>
#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "document/commandtarget.h"
#include "document/observer.h"
#include "document/printlayout.h"
#include "document/responsegraph.h"
#include "views/qpainterdc.h"

class QMenu;
class QMenuBar;
class QPainter;
class QPaintDevice;
class QPrinter;

namespace orvix {

class COrvixDoc;
class CRevCorrDlg;
class CSetSelectionDlg;

class CGraphView : public QAbstractScrollArea, public IDocObserver, public ICommandTarget {
    Q_OBJECT
public:
    explicit CGraphView(COrvixDoc& doc, QWidget* parent = nullptr);
    ~CGraphView() override;

    // The first update after a document was opened or made: the tables, then the test
    // type's analysis when "apply macro" is on.
    void OnInitialUpdate();
    void OnUpdate(IDocObserver* sender, const DocUpdate& update) override;

    // Draws the figures in logical units on a painter already mapped by PrepareMapping; on
    // screen also the guide lines.
    void OnDraw(QPainter& painter, bool printing = false);
    // Maps 0.01 mm to the device's pixels (its dots per inch), the scroll offset taken off.
    static void PrepareMapping(QPainter& painter, const QPaintDevice& device, QPoint scroll = {});
    // The figure extent in pixels of this view's screen; the scroll range follows it.
    QSize FigurePixels() const;
    void UpdateScrollSizes();
    // A viewport point in logical units, the scroll position included.
    QPoint ToLogical(QPoint viewportPoint) const;

    CResponseGraph& Graph() { return graph_; }
    COrvixDoc& Document() { return doc_; }
    bool HasTrials() const { return graph_.HasTrials(); }

    // ---- Commands (views/graphview_commands.cpp) ----
    bool OnCommand(int id) override;
    bool OnUpdateCommand(int id, bool& enabled, bool& checked) const override;
    // The graph's menu of the main window ("&Graph"), put before the menu bar's last menu
    // (Help); the frame calls this once. Its entries run on this view.
    QMenu* AddMenus(QMenuBar* menuBar);
    // The context menu of a hit region: the x, y or figure parameters for the axis bands
    // (with stimulus commands), else the options. Parameter entries carry their column.
    QMenu* CreateContextMenu(int region, QWidget* parent);
    // Commands of other parts of the program (the exports, the frame's pane layout) go on
    // to whoever set this; unset, they do nothing.
    std::function<bool(int id)> forwardCommand;

    void OnSetSelection();
    void OnSelectionChanged(bool ok);
    void OnSwitchRidge();
    void OnProperties();
    void OnFont();
    void OnCopyData();
    void OnEditCopy();
    void OnSetOptimalValue();
    void OnRevCorr();
    // The "Reverse Correlation" dialog's new settings; redrawNow: the range stayed, so the
    // map is drawn at once instead of at the next frame.
    void OnRevCorrChanged(int latency, int duration, float minimum, float maximum, bool redrawNow);
    CSetSelectionDlg* SelectionDialog() const;
    CRevCorrDlg* RevCorrDialog() const;

    // ---- Printing (views/graphview_print.cpp) ----
    // The printer the view prints on: the frame's when it shares one, else the view's own.
    void SetPrinter(QPrinter* printer) { sharedPrinter_ = printer; }
    QPrinter& Printer();
    void OnFilePrint();
    void OnFilePrintPreview();
    // One page: the header and the figure placed by the page setup, on a painter of the
    // page's device (origin at the printable area's corner).
    void PrintPage(QPainter& painter, const QPaintDevice& device, const PrinterPaper& paper);
    // The printer's paper as the page layout needs it.
    static PrinterPaper PaperOf(const QPrinter& printer);
    // The print dialog; tests answer it. Unset: Qt's print dialog through the UI service.
    std::function<bool(QPrinter&)> askPrinter;
    // The file a picture of the plot goes to ("" cancels); tests answer it.
    std::function<std::string()> askPictureFile;
    void OnExportGraph();

    // Runs the test type's analysis when a document is opened.
    bool applyMacro = false;
    // Dotted lines along the figure's and the plot area's edges.
    bool showGuideLines = true;
    // A full-view cross-hair at `crossHair` (viewport pixels; x -1 = none).
    bool crossHairCursor = false;
    QPoint crossHair{-1, -1};
    // Where the figure goes on a printed page.
    GraphPageSetup page;

    // The status panes' texts under the cross-hair ("S:...", "R:..."); they keep the last
    // value shown, which "Set Optimal Value" sends. They are read again whenever the mouse
    // moves, the figures change or the view scrolls, and before "Set Optimal Value".
    const std::string& StimulusText() const { return stimulusText_; }
    const std::string& ResponseText() const { return responseText_; }

    // How often the view painted itself, and how often it drew the figures (tests and
    // benchmarks watch the display rate).
    int PaintCount() const { return paints_; }
    int FigureDrawCount() const { return figureDraws_; }

signals:
    // The cross-hair's readings changed: the frame's status panes show them.
    void paneTextsChanged(const QString& stimulus, const QString& response);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    // Does what the graph asked for: a new scroll range, a repaint.
    void FollowGraph();
    // At most one repaint per display frame, however many updates arrive.
    void ScheduleRepaint();
    // The figures changed: drawn again at the next paint.
    void InvalidateFigures();
    // The overlays moved: the next paint only shows the figures drawn before.
    void UpdateOverlays();
    // The cross-hair at a viewport point: stored, shown and read into the panes.
    void MoveCrossHair(QPoint p);
    void UpdatePaneTexts();
    void SetRegionCursor(int region);
    void ShowContextMenu(QPoint viewportPoint);

    COrvixDoc& doc_;
    CResponseGraph graph_;
    QTimer repaintTimer_;
    CTextCache texts_;
    // The figures as last drawn for the viewport; the cross-hair and the rubber line go
    // over them inverted, so that moving them draws no figure again.
    QImage figures_;
    bool figuresValid_ = false;
    int paints_ = 0;
    int figureDraws_ = 0;

    // A drag from button down to button up: its hit region and where it began (viewport
    // pixels); the rubber line that shows the edge being dragged.
    bool dragging_ = false;
    int dragRegion_ = 0;
    QPoint dragStart_;
    enum class Rubber { None, Vertical, Horizontal } rubber_ = Rubber::None;
    QPoint rubberAt_;

    std::string stimulusText_, responseText_;
    QPointer<CSetSelectionDlg> selectionDlg_;
    std::vector<CParam> selectionCandidates_;
    QPointer<CRevCorrDlg> revCorrDlg_;
    QPrinter* sharedPrinter_ = nullptr;
    std::unique_ptr<QPrinter> ownPrinter_;
};

} // namespace orvix
