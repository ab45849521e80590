#include "export/odbcnames.h"

#include <unordered_map>

namespace orvix {

namespace {

std::string Rename(const std::string& upper, std::initializer_list<std::pair<const char*, const char*>> renames)
{
    for (const auto& [from, to] : renames)
        if (upper == from)
            return to;
    return upper;
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }

} // namespace

std::string UpperCase(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool IsSqlIdentifier(const std::string& name)
{
    if (name.empty() || !IsLetter(name[0]))
        return false;
    for (char c : name)
        if (!IsLetter(c) && !(c >= '0' && c <= '9'))
            return false;
    return true;
}

std::string TrialTableName(const std::string& suffixedTestName)
{
    std::string name = UpperCase(suffixedTestName);
    if ((!name.empty() && name[0] >= '0' && name[0] <= '9') || name == "SIZE")
        name = "T" + name;
    return name;
}

std::string TrialColumnName(const std::string& name)
{
    return Rename(UpperCase(name), {{"OR", "ORIENT"}, {"CONDITION", "COND"}, {"NULL", "NU"}});
}

std::string GraphParamColumnName(const std::string& name)
{
    return Rename(UpperCase(name), {{"OR", "ORIENT"}, {"CONDITION", "COND"}, {"LEVEL", "LEVELL"}, {"INTERVAL", "INTERV"}});
}

std::string FirstBadIdentifier(const std::vector<std::string>& names)
{
    for (const std::string& n : names)
        if (!IsSqlIdentifier(n))
            return n.empty() ? std::string("(empty)") : n;
    return std::string();
}

std::pair<int, int> FirstCollision(const std::vector<std::string>& names)
{
    std::unordered_map<std::string, int> seen;
    for (int i = 0; i < static_cast<int>(names.size()); ++i) {
        auto [it, fresh] = seen.emplace(UpperCase(names[static_cast<size_t>(i)]), i);
        if (!fresh)
            return {it->second, i};
    }
    return {-1, -1};
}

} // namespace orvix
