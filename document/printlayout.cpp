#include "document/printlayout.h"

#include <sys/stat.h>

#include "document/figures_util.h"
#include "document/orvixdoc.h"
#include "platform/files/paths.h"
#include "platform/text/numbers.h"
#include "platform/ui/ui.h"

namespace orvix {

namespace {

const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};

std::string Entries(const std::vector<CParam>& list)
{
    std::string out;
    for (size_t i = 0; i < list.size(); ++i) {
        CParam entry(list[i]);
        out += (i ? " AND " : "") + entry.GetName() + "=" + entry.GetText();
    }
    return out;
}

} // namespace

std::string SelectionText(const std::vector<CParam>& list1, const std::vector<CParam>& list2)
{
    std::string out;
    if (!list1.empty())
        out += " (" + Entries(list1) + ")";
    if (!list2.empty())
        out += " OR (" + Entries(list2) + ")";
    return out;
}

std::string PrintDateText(std::time_t when)
{
    struct tm t;
    localtime_r(&when, &t);
    return Format("%02d:%02d, %s, %s %02d, %d", t.tm_hour, t.tm_min, kDays[t.tm_wday % 7], kMonths[t.tm_mon % 12],
                  t.tm_mday, t.tm_year + 1900);
}

std::time_t PrintDateOf(const COrvixDoc& doc)
{
    struct stat s;
    if (!doc.dataFilePath.empty() && stat(MapPath(doc.dataFilePath).c_str(), &s) == 0)
        return s.st_mtime;
    return std::time(nullptr);
}

PrintLayout LayOutPrintedPage(const COrvixDoc& doc, const GraphPageSetup& setup, const PrinterPaper& paper,
                              const std::string& date)
{
    PrintLayout l;
    l.top = setup.topMargin - setup.printerOffset;
    l.left = setup.leftMargin - setup.printerOffset;
    l.bottom = setup.bottomMargin + setup.printerOffset;
    l.right = setup.rightMargin + setup.printerOffset;
    switch (paper.code) {
    case PAPER_LETTER: l.paperWidth = 21590, l.paperHeight = 27940; break;
    case PAPER_LEGAL: l.paperWidth = 21590, l.paperHeight = 35560; break;
    case PAPER_A4: l.paperWidth = 21000, l.paperHeight = 29700; break;
    default:
        MessageBox("Only Letter, Legal and A4 papers are supported.");
        l.paperWidth = paper.widthTenths * 10;
        l.paperHeight = paper.lengthTenths * 10;
        break;
    }
    if (paper.landscape)
        std::swap(l.paperWidth, l.paperHeight);

    const int f = doc.plot.mainFont.height;
    l.fontHeight = f;
    l.date = date;
    const std::string& path = doc.dataFilePath;
    l.path = path.size() > 4 ? path.substr(0, path.size() - 4) : std::string();
    l.datePosition = {l.paperWidth - l.right, l.top};
    l.pathPosition = {l.left, l.top};
    const std::string selection = SelectionText(doc.selectionList1, doc.selectionList2);
    int headerEnd = l.top - 3 * f;
    if (!selection.empty()) {
        l.selection = "Selection:" + selection;
        l.selectionPosition = {l.left, l.top - 2 * f};
        l.ruleFrom = {l.left, l.top - 4 * f};
        headerEnd = l.top - 5 * f;
    } else {
        l.ruleFrom = {l.left, l.top - 2 * f};
    }
    l.ruleTo = {l.paperWidth - l.right, l.ruleFrom.y};

    int width = 0, height = 0;
    doc.GetFigureExtent(width, height);
    switch (setup.horizontalAlignment) {
    case 0: l.figureOrigin.x = l.left; break;
    case 1: l.figureOrigin.x = l.left + (l.paperWidth - width - l.right - l.left) / 2; break;
    case 2: l.figureOrigin.x = l.paperWidth - width - l.right; break;
    default: break;
    }
    switch (setup.verticalAlignment) {
    case 0: l.figureOrigin.y = headerEnd; break;
    case 1: l.figureOrigin.y = headerEnd + (l.paperHeight - height - l.bottom - l.top) / 2; break;
    case 2: l.figureOrigin.y = l.paperHeight - height - l.bottom; break;
    default: break;
    }
    return l;
}

void DrawPrintHeader(IDrawContext& dc, const COrvixDoc& doc, const PrintLayout& l)
{
    const DrawState saved = dc.State();
    dc.SetFont(figures::ToFont(doc.plot.mainFont));
    dc.SetTextColour(RGB(0, 0, 0));
    dc.Text(l.datePosition.x, l.datePosition.y, l.date, HAlign::Right, VAlign::Top);
    dc.Text(l.pathPosition.x, l.pathPosition.y, l.path, HAlign::Left, VAlign::Top);
    if (!l.selection.empty())
        dc.Text(l.selectionPosition.x, l.selectionPosition.y, l.selection, HAlign::Left, VAlign::Top);
    dc.SetPen(Pen{RGB(0, 0, 0), 0});
    dc.Line(l.ruleFrom.x, l.ruleFrom.y, l.ruleTo.x, l.ruleTo.y);
    dc.SetPen(saved.pen);
    dc.SetFont(saved.font);
    dc.SetTextColour(saved.textColour);
}

} // namespace orvix
