// COrvixView: the trial view, the upper pane of the frame's right column. A scrolling table
// of cells, one per trial, several across when the window is wide enough: the trial's
// identification and stimulus parameters, its spikes, the figure-onset and analysis-end
// marks and the eye traces against a time axis. Dragging a cell's divider lines changes the
// layout; scrolling selects the trial whose comment the frame's dialog bar edits. It draws
// only the cells the paint needs, and lays out again at the display tick after a hint.
#pragma once
#include <QAbstractScrollArea>
#include <functional>

#include "document/observer.h"
#include "views/trialcells.h"

class QPrinter;

namespace orvix {

class COrvixDoc;

class COrvixView : public QAbstractScrollArea, public IDocObserver {
public:
    static constexpr int kPrintOffset = 64; // 6.4 mm of margin at the left and the top

    explicit COrvixView(COrvixDoc& doc, QWidget* parent = nullptr);
    ~COrvixView() override;

    // A document was opened or made: back to its first trial.
    void OnInitialUpdate();
    void OnUpdate(IDocObserver* sender, const DocUpdate& update) override;
    // The display tick: the layout a hint asked for, and following new trials.
    void Refresh();
    void RecalcLayout();

    // ---- Scrolling ----
    // The first trial shown (the thumb position); clamped, sets or clears the at-end flag.
    void VScrollTo(int position);
    void HScrollTo(int position);
    int FirstTrial() const { return firstTrial_; }
    int HorizontalPosition() const { return hPos_; }
    bool AtEnd() const { return atEnd_; }

    // ---- Settings of the context menu ----
    void SetMsPerUnit(int msPerUnit);
    void SetDegreeScale(float degrees);
    void ToggleGrid();
    void ChooseFont();
    const TrialViewLayout& Layout() const { return layout_; }
    TrialViewLayout& Layout() { return layout_; }
    MetricScale Scale() const;
    Font font{"Arial", 39, 400, false, 0};

    // ---- Printing ----
    // Pages of cells from the first trial on, laid out for the page; headless, a PDF.
    int PageCount(QPrinter& printer) const;
    void Print(QPrinter& printer);

    // Told when scrolling selects a trial (the frame's comment trial).
    std::function<void(int)> onSelectTrial;
    // The frame's pane and print commands, for the context menu.
    std::function<void()> onMaximize, onRestore, onPrint, onPrintPreview;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // The logical point (0.1 mm, y upwards) of a viewport pixel.
    Point ToLogical(QPoint px) const;
    void SetCursorFor(int code);
    void UpdateScrollBars();
    // The printer's layout: this view's settings for the paper's page.
    TrialViewLayout PrintLayout(QPrinter& printer) const;

    COrvixDoc& doc_;
    TrialViewLayout layout_;
    int firstTrial_ = 0;
    int hPos_ = 0;
    bool atEnd_ = true;
    bool layoutPending_ = true;
    bool followPending_ = false;
    bool updatingBars_ = false;
    // The divider drag.
    DividerHitResult drag_;
    Point dragStart_;
    Point dragLine_;
};

} // namespace orvix
