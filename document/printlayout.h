// The printed page of the response graph: the figure placed by the page setup, under a
// header of the file's date and path and the command filter, with a rule below. Lengths in
// 0.01 mm from the printable area's corner, y downwards.
#pragma once
#include <ctime>
#include <string>
#include <vector>

#include "model/param.h"
#include "platform/ui/drawing.h"

namespace orvix {

class COrvixDoc;

// Where the figure goes on a printed page; the view keeps it for the program's run.
// Alignments 0 left/top, 1 centre, 2 right/bottom. The printer offset moves from the top
// and left margins to the bottom and right ones.
struct GraphPageSetup {
    int bottomMargin = 2000;
    int topMargin = 2000;
    int rightMargin = 2000;
    int leftMargin = 2500;
    int printerOffset = 425;
    int horizontalAlignment = 1;
    int verticalAlignment = 1;
};

// The printer's paper as its settings give it: the paper code (1 Letter, 5 Legal, 9 A4,
// anything else another paper), that paper's own size in 0.1 mm, and the orientation.
enum PaperCode : int { PAPER_LETTER = 1, PAPER_LEGAL = 5, PAPER_A4 = 9 };
struct PrinterPaper {
    int code = PAPER_A4;
    int widthTenths = 2100;
    int lengthTenths = 2970;
    bool landscape = false;
};

struct PrintLayout {
    int paperWidth = 0, paperHeight = 0;
    // The margins with the printer offset applied.
    int top = 0, left = 0, bottom = 0, right = 0;
    // The header font's height as stored (negative: a character height), f.
    int fontHeight = 0;
    std::string date, path;
    // "Selection:" and the filter; empty without one.
    std::string selection;
    Point datePosition, pathPosition, selectionPosition;
    Point ruleFrom, ruleTo;
    // Where the figure's own origin lies on the page.
    Point figureOrigin;
};

// The filter as the header shows it: " (A=1 AND B=2) OR (C=3)"; empty for no filter.
std::string SelectionText(const std::vector<CParam>& list1, const std::vector<CParam>& list2);
// "%H:%M, %A, %B %d, %Y" with English names, whatever the user's locale.
std::string PrintDateText(std::time_t when);
// The data file's modification time when the file can be examined, else now.
std::time_t PrintDateOf(const COrvixDoc& doc);

// Lays the page out. A paper other than Letter, Legal and A4 is said to be unsupported (a
// message) and its own size is used.
PrintLayout LayOutPrintedPage(const COrvixDoc& doc, const GraphPageSetup& setup, const PrinterPaper& paper,
                              const std::string& date);
// The header: date right-aligned and path left-aligned on the top line, the filter below,
// then the rule; in the document's main font.
void DrawPrintHeader(IDrawContext& dc, const COrvixDoc& doc, const PrintLayout& layout);

} // namespace orvix
