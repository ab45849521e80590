// Printing the response graph: one page with the header and the figure where the page
// setup puts it, on the printer's own paper; and its preview.
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include "document/orvixdoc.h"
#include "platform/ui/ui.h"
#include "views/graphview.h"

namespace orvix {

QPrinter& CGraphView::Printer()
{
    if (sharedPrinter_)
        return *sharedPrinter_;
    if (!ownPrinter_)
        ownPrinter_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *ownPrinter_;
}

PrinterPaper CGraphView::PaperOf(const QPrinter& printer)
{
    const QPageLayout layout = printer.pageLayout();
    const QPageSize size = layout.pageSize();
    PrinterPaper paper;
    switch (size.id()) {
    case QPageSize::Letter: paper.code = PAPER_LETTER; break;
    case QPageSize::Legal: paper.code = PAPER_LEGAL; break;
    case QPageSize::A4: paper.code = PAPER_A4; break;
    default: paper.code = 0; break;
    }
    // The paper's own size in tenths of a millimetre, upright.
    const QSizeF mm = size.size(QPageSize::Millimeter);
    paper.widthTenths = qRound(mm.width() * 10);
    paper.lengthTenths = qRound(mm.height() * 10);
    paper.landscape = layout.orientation() == QPageLayout::Landscape;
    return paper;
}

void CGraphView::PrintPage(QPainter& painter, const QPaintDevice& device, const PrinterPaper& paper)
{
    const PrintLayout layout = LayOutPrintedPage(doc_, page, paper, PrintDateText(PrintDateOf(doc_)));
    painter.save();
    PrepareMapping(painter, device);
    {
        CQPainterDC dc(painter);
        DrawPrintHeader(dc, doc_, layout);
    }
    painter.translate(layout.figureOrigin.x, layout.figureOrigin.y);
    OnDraw(painter, true);
    painter.restore();
}

void CGraphView::OnFilePrint()
{
    QPrinter& printer = Printer();
    bool go = false;
    if (askPrinter) {
        go = askPrinter(printer);
    } else {
        QPrintDialog dialog(&printer, this);
        go = UI().RunModal(dialog) == IDOK;
    }
    if (!go)
        return;
    // The page's own margins place everything: the origin is the printable area's corner.
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&printer)) {
        MessageBox("The printer could not be started.");
        return;
    }
    PrintPage(painter, printer, PaperOf(printer));
    painter.end();
}

void CGraphView::OnFilePrintPreview()
{
    QPrinter& printer = Printer();
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    QPrintPreviewDialog preview(&printer, this);
    preview.setWindowTitle("Print Preview");
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) {
        QPainter painter(p);
        PrintPage(painter, *p, PaperOf(*p));
    });
    UI().RunModal(preview);
}

} // namespace orvix
