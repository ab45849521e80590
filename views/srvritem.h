// COrvixSrvrItem: the document as an item other programs take in. On this platform no
// container embeds a program's window, so the item is what can travel: the document's
// data-file bytes under its own MIME type, the figures' extent, and the figures rendered as
// PNG, SVG and PDF pictures (the clipboard's "Copy Graph" and "Save Graph As..."). It is
// never active in place.
#pragma once
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <string>
#include <vector>

class QMimeData;

namespace orvix {

class COrvixDoc;
class IDrawContext;

class COrvixSrvrItem {
public:
    // The MIME type of a document's data-file bytes ("Orvix.Document").
    static constexpr const char* kMimeType = "application/x-orvix-document";

    explicit COrvixSrvrItem(COrvixDoc& doc) : doc_(doc) {}

    // The document as its data file holds it.
    std::vector<uint8_t> Serialize();
    // The figures' extent in 0.01 mm as a container learns it: through the pixels of a
    // screen of `dpiX` x `dpiY` dots per inch and back, each step rounded.
    QSize OnGetExtent(int dpiX, int dpiY) const;
    // Draws the figures from (0, 0) in 0.01 mm, y downwards; returns their extent.
    QSize OnDraw(IDrawContext& dc);
    bool isActiveInPlace() const { return false; }

    // The figures at `dpi` dots per inch on white, the resolution recorded in the image.
    QImage RenderImage(int dpi);
    QByteArray RenderPng(int dpi);
    // Width and height in millimetres, drawn in units of 0.1 mm.
    QByteArray RenderSvg();
    // One page of the figures' size.
    QByteArray RenderPdf();
    // The picture by the file's extension (.png at `dpi`, .svg, .pdf); false when the file
    // could not be written or the extension is none of these.
    bool SavePicture(const std::string& path, int dpi);
    // For the clipboard: the document's bytes, the PNG at `dpi` and the SVG.
    QMimeData* CreateMimeData(int dpi);

private:
    COrvixDoc& doc_;
};

} // namespace orvix
