// The document's figure, histogram and plot settings: the look of every response figure.
// Lengths are in 0.01 mm, colours RGB with red in the low byte.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "model/param.h"

namespace orvix {

// The font record the data file keeps: the 60-byte ANSI LOGFONT of the original format.
struct FontRecord {
    int32_t height = -318;
    int32_t width = 0;
    int32_t escapement = 0;
    int32_t orientation = 0;
    int32_t weight = 400;
    uint8_t italic = 0, underline = 0, strikeOut = 0, charSet = 0;
    uint8_t outPrecision = 0, clipPrecision = 0, quality = 0, pitchAndFamily = 0;
    std::string faceName = "Arial"; // at most 31 characters in the record
};

struct CPlotSettings {
    FontRecord mainFont;
    FontRecord verticalFont{-318, 0, 900, 900, 400};
    int32_t FigWidth = 10000;
    int32_t FigHeight = 8000;
    int32_t FigLeftMargin = 1200;
    int32_t FigRightMargin = 300;
    int32_t FigTopMargin = 500;
    int32_t FigBottomMargin = 1000;
    int32_t SymbolSize = 100;
    int32_t MaxYRange = 50;
    int32_t MinYRange = 0;
    int32_t StepYRange = 10;
    int32_t GridLength = 100;
    uint32_t BarColor = 0xFF8000; // RGB(0, 128, 255)
    int32_t ErrorBarLength = 150;
    std::string xTitle, yTitle, zTitle;
    int32_t HistBin = 10;
    int32_t HistMin = -200;
    int32_t HistMax = 200;
    int32_t HistMaxCount = 1;
    int32_t HistLabelSpacing = 5;
    int32_t revCorrSubtract = 0;
    int32_t revCorrLatency = 70;
    int32_t XAxisVariable = 0;
    int32_t YAxisVariable = 1;
    int32_t FigureAxisVariable = 2;
    int32_t PlotType = 0;
    int32_t PenWidth = 20;
};

// Plot type codes.
enum PlotTypeCode : int32_t {
    PLOT_BUBBLE = 0,
    PLOT_BLOB = 1,
    PLOT_ROOF = 2,
    PLOT_EDGE = 3,
    PLOT_INVERT_ROOF = 4,
    PLOT_INVERT_EDGE = 5,
    PLOT_LINE = 6,
    PLOT_LINE_SMOOTHED = 7,
};

// The figure settings under a name, as named values: what a template of the figure's look
// keeps ("PlotType" ... "ErrorBarLength" as integers, then "FontHeight", "FontWeight" and
// the text "FontFaceName").
struct CFigureTemplate {
    std::string name;
    std::vector<CParam> values;

    void AddInt(const char* valueName, int value) { values.emplace_back(valueName, value); }
    void AddText(const char* valueName, const char* text) { values.emplace_back(valueName, text); }
};

// The templates the user keeps: one registry key each under
// "Software\Morvane\Orvix\Figure Templates", its values the template's in order. A name
// is matched without regard to letter case, as registry keys are.
std::vector<CFigureTemplate> LoadFigureTemplates();
// Stores a template, in place of one of the same name; false when the registry refused it.
bool SaveFigureTemplate(const CFigureTemplate& figureTemplate);
// The kept template of that name; false when there is none.
bool FindFigureTemplate(const std::string& name, CFigureTemplate& out);

} // namespace orvix
