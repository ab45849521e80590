#include "document/graphproperties.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <climits>

#include "document/orvixdoc.h"
#include "platform/text/numbers.h"
#include "platform/text/text.h"

namespace orvix {

namespace {

// Truncation towards zero of a value shown as a float, allowing for the float's error: at
// least `allowance`, and two steps of a float's precision (a float of 512.29 mm is 0.006
// hundredths short).
int TruncateShown(double v, double allowance)
{
    allowance = std::max(allowance, std::fabs(v) * 2.5e-7);
    return DoubleToInt(std::trunc(v + (v < 0 ? -allowance : allowance)));
}

} // namespace

int MillimetresToUnits(float mm) { return TruncateShown(static_cast<double>(mm) * 100, 1e-3); }

int SigmaToTenths(float sigma) { return TruncateShown(static_cast<double>(sigma) * 10, 1e-4); }

GraphProperties LoadGraphProperties(COrvixDoc& doc, const GraphPageSetup& setup)
{
    GraphProperties v;
    PageSetupPageValues& page = v.page;
    page.bottomMargin = static_cast<float>(setup.bottomMargin * 0.01);
    page.leftMargin = static_cast<float>(setup.leftMargin * 0.01);
    page.rightMargin = static_cast<float>(setup.rightMargin * 0.01);
    page.topMargin = static_cast<float>(setup.topMargin * 0.01);
    page.horizontalAlignment = setup.horizontalAlignment;
    page.verticalAlignment = setup.verticalAlignment;

    const CPlotSettings& p = doc.plot;
    FigurePageValues& f = v.figure;
    f.leftMargin = static_cast<float>(p.FigLeftMargin * 0.01);
    f.rightMargin = static_cast<float>(p.FigRightMargin * 0.01);
    f.topMargin = static_cast<float>(p.FigTopMargin * 0.01);
    f.bottomMargin = static_cast<float>(p.FigBottomMargin * 0.01);
    f.figureWidth = static_cast<float>(p.FigWidth * 0.01 - (f.rightMargin + f.leftMargin));
    f.figureHeight = static_cast<float>(p.FigHeight * 0.01 - (f.bottomMargin + f.topMargin));
    f.red = GetRValue(p.BarColor);
    f.green = GetGValue(p.BarColor);
    f.blue = GetBValue(p.BarColor);
    f.errorBarLength = static_cast<float>(p.ErrorBarLength * 0.01);
    f.gridLength = static_cast<float>(p.GridLength * 0.01);
    f.penWidth = static_cast<float>(p.PenWidth * 0.01);
    f.sigma = doc.GetSmoothSigma();

    AxisPageValues& a = v.axis;
    a.yMaximum = static_cast<float>(p.MaxYRange);
    a.yMinimum = static_cast<float>(p.MinYRange);
    a.yMajorUnit = static_cast<float>(p.StepYRange);
    a.xTitle = p.xTitle;
    a.yTitle = p.yTitle;
    a.histMin = p.HistMin;
    a.histMax = p.HistMax;
    a.histBin = p.HistBin;
    a.labelSpace = p.HistLabelSpacing;
    return v;
}

void ApplyGraphProperties(const GraphProperties& v, COrvixDoc& doc, GraphPageSetup& setup)
{
    setup.topMargin = MillimetresToUnits(v.page.topMargin);
    setup.bottomMargin = MillimetresToUnits(v.page.bottomMargin);
    setup.leftMargin = MillimetresToUnits(v.page.leftMargin);
    setup.rightMargin = MillimetresToUnits(v.page.rightMargin);
    setup.horizontalAlignment = v.page.horizontalAlignment;
    setup.verticalAlignment = v.page.verticalAlignment;

    CPlotSettings& p = doc.plot;
    const FigurePageValues& f = v.figure;
    p.FigWidth = MillimetresToUnits(f.figureWidth);
    p.FigHeight = MillimetresToUnits(f.figureHeight);
    p.FigLeftMargin = MillimetresToUnits(f.leftMargin);
    p.FigRightMargin = MillimetresToUnits(f.rightMargin);
    p.FigTopMargin = MillimetresToUnits(f.topMargin);
    p.FigBottomMargin = MillimetresToUnits(f.bottomMargin);
    p.FigWidth += p.FigLeftMargin + p.FigRightMargin;
    p.FigHeight += p.FigTopMargin + p.FigBottomMargin;
    p.BarColor = RGB(f.red, f.green, f.blue);
    p.ErrorBarLength = MillimetresToUnits(f.errorBarLength);
    p.GridLength = MillimetresToUnits(f.gridLength);
    p.PenWidth = MillimetresToUnits(f.penWidth);
    doc.SetSmoothSigma(f.sigma);

    const AxisPageValues& a = v.axis;
    p.MaxYRange = DoubleToInt(std::trunc(a.yMaximum));
    p.MinYRange = DoubleToInt(std::trunc(a.yMinimum));
    p.StepYRange = DoubleToInt(std::trunc(a.yMajorUnit));
    p.yTitle = a.yTitle;
    p.xTitle = a.xTitle;
    p.HistMin = a.histMin;
    p.HistMax = a.histMax;
    p.HistBin = a.histBin;
    p.HistLabelSpacing = a.labelSpace;
    doc.GetExpParam("XTitle", CParam(nullptr, 0)) = a.xTitle;
    doc.GetExpParam("YTitle", CParam(nullptr, 0)) = a.yTitle;
}

double FontPointSize(int height) { return std::fabs(static_cast<double>(height)) * 72.0 / 2540.0; }

int FontHeightForPoints(double points, int previousHeight)
{
    // The dialog offers sizes to a tenth of a point or coarser.
    if (std::fabs(points - FontPointSize(previousHeight)) < 0.05)
        return previousHeight;
    return -DoubleToInt(std::lround(points * 2540.0 / 72.0));
}

std::string FormatPageNumber(float value)
{
    std::string text = Format("%.2f", static_cast<double>(value));
    if (text.find('.') != std::string::npos) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.')
            text.pop_back();
    }
    return text == "-0" ? "0" : text;
}

bool ParsePageNumber(const std::string& text, float& value)
{
    const std::string t = Trim(text);
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    size_t digits = 0;
    while (i < t.size() && isdigit(static_cast<unsigned char>(t[i])))
        ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && isdigit(static_cast<unsigned char>(t[i])))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            ++i;
        size_t exponent = 0;
        while (i < t.size() && isdigit(static_cast<unsigned char>(t[i])))
            ++i, ++exponent;
        if (exponent == 0)
            return false;
    }
    if (i != t.size())
        return false;
    const double d = ParseDouble(t);
    if (!std::isfinite(d) || std::fabs(d) > 3.4e38)
        return false;
    value = static_cast<float>(d);
    return true;
}

bool ParsePageInteger(const std::string& text, int32_t& value)
{
    const std::string t = Trim(text);
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    if (i == t.size())
        return false;
    for (size_t k = i; k < t.size(); ++k)
        if (!isdigit(static_cast<unsigned char>(t[k])))
            return false;
    if (t.size() - i > 10)
        return false;
    const long long v = std::stoll(t);
    if (v < INT_MIN || v > INT_MAX)
        return false;
    value = static_cast<int32_t>(v);
    return true;
}

} // namespace orvix
