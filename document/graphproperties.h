// The values of the response graph's "Properties" sheet as its three pages show them
// (lengths in millimetres, as floats) and their way to and from the document and the
// view's page setup. The pages only show and edit these.
#pragma once
#include <cstdint>
#include <string>

#include "document/printlayout.h"

namespace orvix {

class COrvixDoc;

// "Figure": the plot area's size and margins, the pens and the bar colour, the smoothing.
struct FigurePageValues {
    float bottomMargin = 0, figureWidth = 0, leftMargin = 0, rightMargin = 0, topMargin = 0, figureHeight = 0;
    float errorBarLength = 0, gridLength = 0, penWidth = 0;
    uint8_t blue = 0, green = 0, red = 0;
    float sigma = 0; // in x steps
};

// "Axises": the y range and step, the titles and the histogram. The x numbers are shown as
// 0 and never stored.
struct AxisPageValues {
    float xMaximum = 0, xMinimum = 0, xMajorUnit = 0;
    std::string xTitle;
    float yMaximum = 0, yMinimum = 0, yMajorUnit = 0;
    std::string yTitle;
    int32_t histBin = 0, labelSpace = 0, histMax = 0, histMin = 0;
};

// "Page": the printed page's margins and the figure's alignment on it.
struct PageSetupPageValues {
    float bottomMargin = 0, leftMargin = 0, rightMargin = 0, topMargin = 0;
    int32_t horizontalAlignment = -1, verticalAlignment = -1;
};

struct GraphProperties {
    FigurePageValues figure;
    AxisPageValues axis;
    PageSetupPageValues page;
};

// The smoothing width's accepted range, in x steps.
constexpr float kMinSigma = 0.1f, kMaxSigma = 100.0f;

// Millimetres shown as floats back to 0.01 mm, truncated towards zero. The shown float is
// a hair below the value it stands for (0.29 is 0.28999999): the truncation allows for it,
// so that a value taken back unchanged stores what was shown.
int MillimetresToUnits(float mm);
// A smoothing sigma in x steps to the stored width in tenths of a step, likewise.
int SigmaToTenths(float sigma);

GraphProperties LoadGraphProperties(COrvixDoc& doc, const GraphPageSetup& setup);
// What OK stores: the page setup, the figure and histogram settings, the smoothing (which
// updates every view), the y range, the titles (also the test settings "XTitle" and
// "YTitle").
void ApplyGraphProperties(const GraphProperties& values, COrvixDoc& doc, GraphPageSetup& setup);

// The font dialog's size in points for a stored font height in 0.01 mm (negative: the
// character height) and back; a size taken back unchanged keeps the height.
double FontPointSize(int height);
int FontHeightForPoints(double points, int previousHeight);

// The pages' number texts in the C locale: a float with at most two decimals, trailing
// zeros dropped; and the strict reading back (blanks around allowed, nothing else).
std::string FormatPageNumber(float value);
bool ParsePageNumber(const std::string& text, float& value);
bool ParsePageInteger(const std::string& text, int32_t& value);

} // namespace orvix
