#include "document/commandfile.h"

#include "platform/text/numbers.h"
#include "platform/text/text.h"

namespace orvix {

CommandRow ParseCommandLine(const std::string& line, float angleOffset)
{
    CommandRow row;
    std::string rest = line + ",";
    size_t start = 0;
    for (size_t comma; (comma = rest.find(',', start)) != std::string::npos; start = comma + 1) {
        std::string item = Trim(rest.substr(start, comma - start));
        size_t blank = item.find(' ');
        if (blank == std::string::npos)
            continue;
        std::string name = item.substr(0, blank);
        std::string value = Trim(item.substr(blank + 1));
        if (angleOffset != kNoAngleOffset && name == "OR2") {
            double angle = ParseDouble(value) + angleOffset;
            if (angle >= 360)
                angle -= 360;
            else if (angle < 0)
                angle += 360;
            row.emplace_back("OR", angle);
        } else {
            row.emplace_back(name.c_str(), value.c_str());
        }
    }
    return row;
}

std::vector<CommandRow> ParseCommandLines(const std::vector<std::string>& lines, float angleOffset,
                                          std::string& error)
{
    error.clear();
    std::vector<CommandRow> rows;
    rows.reserve(lines.size());
    for (const auto& line : lines)
        rows.push_back(ParseCommandLine(line, angleOffset));
    for (size_t i = 1; i < rows.size(); ++i) {
        if (rows[i].size() != rows[0].size()) {
            error = "Command file format error!\nEach command should contain same parameters.";
            break;
        }
        for (size_t k = 0; k < rows[0].size() && error.empty(); ++k)
            if (rows[i][k].GetName() != rows[0][k].GetName())
                error = "Command file format error!\nParameters in every command should be in the same order.";
        if (!error.empty())
            break;
    }
    if (!error.empty())
        rows.clear();
    return rows;
}

void AnalysisColumns(const std::vector<CommandRow>& rows, std::vector<std::string>& names, std::vector<int>& types)
{
    names.clear();
    types.clear();
    if (rows.empty())
        return;
    for (size_t k = 0; k < rows[0].size(); ++k) {
        int type = PARAM_INT;
        for (const auto& row : rows) {
            if (k >= row.size())
                continue;
            CParam value = row[k];
            int kind = ClassifyNumber(value.GetText().c_str());
            if (kind == PARAM_TEXT) {
                type = PARAM_TEXT;
                break;
            }
            if (kind == PARAM_REAL)
                type = PARAM_REAL;
        }
        names.push_back(rows[0][k].GetName());
        types.push_back(type);
    }
    for (const char* n : {"Status", "RTime", "V1", "V2", "V3"}) {
        names.emplace_back(n);
        types.push_back(PARAM_INT);
    }
    names.emplace_back("Resp");
    types.push_back(PARAM_REAL);
    for (int c = 0; c < 8; ++c) {
        names.push_back("Resp" + std::to_string(c));
        types.push_back(PARAM_REAL);
    }
}

} // namespace orvix
