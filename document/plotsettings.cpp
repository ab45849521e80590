// The figure settings as named values, and the smoothing width of the tuning curves.
#include <algorithm>
#include <cstring>
#include <strings.h>

#include "document/graphproperties.h"
#include "document/orvixdoc.h"
#include "platform/settings/registry.h"
#include "platform/text/numbers.h"

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

namespace {

const char* const kTemplatesKey = "Software\\Morvane\\Orvix\\Figure Templates";

// A backslash would nest keys: the key's name has a slash in its place, and its default
// value keeps the name as given.
std::string TemplateKeyName(std::string name)
{
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

} // namespace

std::vector<CFigureTemplate> LoadFigureTemplates()
{
    std::vector<CFigureTemplate> templates;
    HKEY root;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, kTemplatesKey, &root) != ERROR_SUCCESS)
        return templates;
    std::string keyName;
    for (uint32_t i = 0; RegEnumKey(root, i, &keyName) == ERROR_SUCCESS; ++i) {
        HKEY key;
        if (RegOpenKeyEx(root, keyName.c_str(), &key) != ERROR_SUCCESS)
            continue;
        CFigureTemplate t;
        if (RegQueryValueEx(key, nullptr, &t.name) != ERROR_SUCCESS || t.name.empty())
            t.name = keyName;
        std::string name, data;
        for (uint32_t v = 0; RegEnumValue(key, v, &name, &data) == ERROR_SUCCESS; ++v) {
            if (name == "FontFaceName")
                t.AddText(name.c_str(), data.c_str());
            else
                t.AddInt(name.c_str(), ParseInt(data));
        }
        RegCloseKey(key);
        templates.push_back(std::move(t));
    }
    RegCloseKey(root);
    return templates;
}

bool SaveFigureTemplate(const CFigureTemplate& figureTemplate)
{
    const std::string keyName = TemplateKeyName(figureTemplate.name);
    HKEY root, key;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, kTemplatesKey, &root) != ERROR_SUCCESS)
        return false;
    CRegistryTransaction transaction;
    // The old values go with the old key, and the name takes the letter case just given.
    RegDeleteKey(root, keyName.c_str());
    bool stored = RegCreateKeyEx(root, keyName.c_str(), &key) == ERROR_SUCCESS;
    if (stored) {
        stored = RegSetValueEx(key, nullptr, figureTemplate.name) == ERROR_SUCCESS;
        for (CParam value : figureTemplate.values)
            stored = stored && RegSetValueEx(key, value.GetName().c_str(), value.GetText()) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    RegCloseKey(root);
    return stored && transaction.Commit();
}

bool FindFigureTemplate(const std::string& name, CFigureTemplate& out)
{
    for (CFigureTemplate& t : LoadFigureTemplates())
        if (strcasecmp(t.name.c_str(), name.c_str()) == 0) {
            out = std::move(t);
            return true;
        }
    return false;
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
