#include "panel/lines.h"

#include <algorithm>

#include "platform/text/numbers.h"

namespace orvix {

std::string ParamLine(CParam& param)
{
    const std::string& name = param.GetName();
    int k = std::max(0, 13 - static_cast<int>(name.size()));
    return name + std::string(static_cast<size_t>(k + k / 3), ' ') + '\t' + param.GetText();
}

bool IsSeparator(CParam& param) { return param.GetText() == "."; }

std::string SeparatorLine(int width) { return std::string(static_cast<size_t>(width), '='); }

std::string LineValue(const std::string& line)
{
    size_t tab = line.find('\t');
    return tab == std::string::npos ? line : line.substr(tab + 1);
}

std::string LineName(const std::string& line)
{
    std::string name = line.substr(0, line.find('\t'));
    name.erase(name.find_last_not_of(' ') + 1);
    return name;
}

std::string ResponseLine(int trialNumber, const int v[5])
{
    switch (v[0]) {
    case 1: return Format("%6d\tEARLY\t%6d\t%6d\t%6d\t%6d", trialNumber, v[1], v[2], v[3], v[4]);
    case 2: return Format("%6d\tHIT\t%6d\t%6d\t%6d\t%6d", trialNumber, v[1], v[2], v[3], v[4]);
    case 3: return Format("%6d\tMISS\t%6d\t%6d\t%6d\t%6d", trialNumber, v[1], v[2], v[3], v[4]);
    default: return Format("%6d\t%6d\t%6d\t%6d\t%6d\t%6d", trialNumber, v[0], v[1], v[2], v[3], v[4]);
    }
}

std::vector<std::string> SplitLogText(const std::string& text)
{
    std::vector<std::string> lines;
    std::string all = text + "\n";
    size_t from = 0;
    for (size_t at; (at = all.find('\n', from)) != std::string::npos; from = at + 1)
        lines.push_back(all.substr(from, at - from));
    return lines;
}

std::string ViewListLine(int number, const std::string& text) { return Format("%03d: ", number) + text; }

} // namespace orvix
