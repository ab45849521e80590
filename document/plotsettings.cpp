// The figure settings as named values, and the smoothing width of the tuning curves.
#include <algorithm>
#include <cstring>

#include "document/graphproperties.h"
#include "document/orvixdoc.h"
#include "platform/numbers.h"

namespace orvix {

namespace {

// The integer settings of a template, in its order, with where each lives.
struct IntSetting {
    const char* name;
    int32_t CPlotSettings::*field;
};
constexpr IntSetting kIntSettings[] = {
    {"PlotType", &CPlotSettings::PlotType},
    {"PenWidth", &CPlotSettings::PenWidth},
    {"HistBin", &CPlotSettings::HistBin},
    {"HistMin", &CPlotSettings::HistMin},
    {"HistMax", &CPlotSettings::HistMax},
    {"HistMaxCount", &CPlotSettings::HistMaxCount},
    {"HistLabelSpacing", &CPlotSettings::HistLabelSpacing},
    {"FigWidth", &CPlotSettings::FigWidth},
    {"FigHeight", &CPlotSettings::FigHeight},
    {"FigLeftMargin", &CPlotSettings::FigLeftMargin},
    {"FigRightMargin", &CPlotSettings::FigRightMargin},
    {"FigTopMargin", &CPlotSettings::FigTopMargin},
    {"FigBottomMargin", &CPlotSettings::FigBottomMargin},
    {"SymbolSize", &CPlotSettings::SymbolSize},
    {"MaxYRange", &CPlotSettings::MaxYRange},
    {"MinYRange", &CPlotSettings::MinYRange},
    {"StepYRange", &CPlotSettings::StepYRange},
    {"GridLength", &CPlotSettings::GridLength},
};

} // namespace

CFigureTemplate COrvixDoc::BuildFigureTemplate(const std::string& name) const
{
    CFigureTemplate t;
    t.name = name;
    for (const IntSetting& s : kIntSettings)
        t.values.emplace_back(s.name, static_cast<int>(plot.*s.field));
    t.values.emplace_back("BarColor", static_cast<int>(plot.BarColor));
    t.values.emplace_back("ErrorBarLength", static_cast<int>(plot.ErrorBarLength));
    t.AddInt("FontHeight", plot.mainFont.height);
    t.AddInt("FontWeight", plot.mainFont.weight);
    t.AddText("FontFaceName", plot.mainFont.faceName.c_str());
    return t;
}

void COrvixDoc::ApplyFigureTemplate(const CFigureTemplate& figureTemplate)
{
    for (const CParam& v : figureTemplate.values) {
        const std::string& name = v.GetName();
        auto s = std::find_if(std::begin(kIntSettings), std::end(kIntSettings),
                              [&](const IntSetting& i) { return name == i.name; });
        if (s != std::end(kIntSettings))
            plot.*s->field = v.GetInt();
        else if (name == "BarColor")
            plot.BarColor = static_cast<uint32_t>(v.GetInt());
        else if (name == "ErrorBarLength")
            plot.ErrorBarLength = v.GetInt();
        else if (name == "FontHeight")
            plot.mainFont.height = plot.verticalFont.height = v.GetInt();
        else if (name == "FontWeight")
            plot.mainFont.weight = plot.verticalFont.weight = v.GetInt();
        else if (name == "FontFaceName") {
            CParam text(v);
            // The font record keeps 31 characters.
            plot.mainFont.faceName = plot.verticalFont.faceName = text.GetText().substr(0, 31);
        }
    }
    UpdateAllViews(nullptr, HINT_REBUILD);
}

void COrvixDoc::SetSmoothSigma(float sigma)
{
    // Less than a tenth of a step would make a kernel of zero width; beyond a hundred steps
    // the curve is flat long before and the kernel only costs memory.
    smoothWidth = std::clamp(SigmaToTenths(sigma), 1, kMaxSmoothWidth);
    smoothKernel = BuildSmoothingKernel(smoothWidth);
    UpdateAllViews(nullptr, HINT_REBUILD);
}

} // namespace orvix
