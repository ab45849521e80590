#include "views/srvritem.h"

#include <QBuffer>
#include <QMimeData>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <cctype>
#include <cerrno>
#include <cmath>

#include "document/orvixdoc.h"
#include "platform/files/atomic_file.h"
#include "views/qpainterdc.h"

namespace orvix {

namespace {

// a x b / c rounded half away from zero, as the system's MulDiv.
int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    return static_cast<int>(std::lround(static_cast<double>(a) * b / c));
}

constexpr int kPdfResolution = 1200;

bool EndsWith(const std::string& s, const char* end)
{
    const std::string e(end);
    if (s.size() < e.size())
        return false;
    for (size_t i = 0; i < e.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - e.size() + i])) != e[i])
            return false;
    return true;
}

} // namespace

std::vector<uint8_t> COrvixSrvrItem::Serialize()
{
    CArchive ar;
    doc_.Serialize(ar);
    return ar.Buffer();
}

QSize COrvixSrvrItem::OnGetExtent(int dpiX, int dpiY) const
{
    int w = 0, h = 0;
    doc_.GetFigureExtent(w, h);
    // 2540 logical units to the inch onto the screen's pixels, then the pixels in HIMETRIC.
    const int px = MulDiv(w, dpiX, 2540), py = MulDiv(h, dpiY, 2540);
    return QSize(MulDiv(px, 2540, dpiX), MulDiv(py, 2540, dpiY));
}

QSize COrvixSrvrItem::OnDraw(IDrawContext& dc)
{
    int w = 0, h = 0;
    doc_.GetFigureExtent(w, h);
    doc_.plot.verticalFont.escapement = doc_.plot.verticalFont.orientation = 900;
    doc_.DrawFigures(dc, -1);
    return QSize(w, h);
}

QImage COrvixSrvrItem::RenderImage(int dpi)
{
    int w = 0, h = 0;
    doc_.GetFigureExtent(w, h);
    const QSize pixels(std::max(MulDiv(w, dpi, 2540), 1), std::max(MulDiv(h, dpi, 2540), 1));
    QImage image(pixels, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    QPainter painter(&image);
    painter.scale(dpi / 2540.0, dpi / 2540.0);
    CQPainterDC dc(painter);
    OnDraw(dc);
    return image;
}

QByteArray COrvixSrvrItem::RenderPng(int dpi)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    RenderImage(dpi).save(&buffer, "PNG");
    return bytes;
}

QByteArray COrvixSrvrItem::RenderSvg()
{
    int w = 0, h = 0;
    doc_.GetFigureExtent(w, h);
    // Units of 0.1 mm: 254 to the inch.
    const QSize size((w + 9) / 10, (h + 9) / 10);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setResolution(254);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle("Orvix Document");
    QPainter painter(&svg);
    painter.scale(0.1, 0.1);
    CQPainterDC dc(painter);
    OnDraw(dc);
    painter.end();
    return bytes;
}

QByteArray COrvixSrvrItem::RenderPdf()
{
    int w = 0, h = 0;
    doc_.GetFigureExtent(w, h);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter pdf(&buffer);
    pdf.setTitle("Orvix Document");
    pdf.setResolution(kPdfResolution);
    pdf.setPageSize(QPageSize(QSizeF(w / 100.0, h / 100.0), QPageSize::Millimeter));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&pdf);
    painter.scale(kPdfResolution / 2540.0, kPdfResolution / 2540.0);
    CQPainterDC dc(painter);
    OnDraw(dc);
    painter.end();
    return bytes;
}

bool COrvixSrvrItem::SavePicture(const std::string& path, int dpi)
{
    QByteArray bytes;
    if (EndsWith(path, ".png"))
        bytes = RenderPng(dpi);
    else if (EndsWith(path, ".svg"))
        bytes = RenderSvg();
    else if (EndsWith(path, ".pdf"))
        bytes = RenderPdf();
    else {
        SetWriteFailure(EINVAL, "A picture's name ends in \".png\", \".svg\" or \".pdf\"");
        return false;
    }
    // A failure leaves any earlier file as it was.
    return WriteFileAtomically(path, bytes.constData(), static_cast<size_t>(bytes.size()));
}

QMimeData* COrvixSrvrItem::CreateMimeData(int dpi)
{
    auto* data = new QMimeData;
    const std::vector<uint8_t> document = Serialize();
    data->setData(kMimeType, QByteArray(reinterpret_cast<const char*>(document.data()),
                                        static_cast<qsizetype>(document.size())));
    data->setImageData(RenderImage(dpi));
    data->setData("image/png", RenderPng(dpi));
    data->setData("image/svg+xml", RenderSvg());
    return data;
}

} // namespace orvix
