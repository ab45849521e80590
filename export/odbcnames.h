// The names the database exports give tables and columns: upper case, with the names the
// data sources reserve replaced, and checked to be plain SQL identifiers. Identifiers are
// never quoted (a quoted name would keep its letter case on PostgreSQL and miss the
// tables made by earlier exports), so a name that is not an identifier is refused.
#pragma once
#include <string>
#include <vector>

namespace orvix {

std::string UpperCase(std::string text);

// [A-Za-z_][A-Za-z0-9_]*
bool IsSqlIdentifier(const std::string& name);

// The table of a trial export: the suffixed test name in upper case, "T" before a leading
// digit and before the name "SIZE".
std::string TrialTableName(const std::string& suffixedTestName);

// A trial-parameter table column's name in the table: upper case, "OR" as "ORIENT",
// "CONDITION" as "COND", "NULL" as "NU".
std::string TrialColumnName(const std::string& name);

// A parameter's column in GRAPHPARAM: upper case, "OR" as "ORIENT", "CONDITION" as "COND",
// "LEVEL" as "LEVELL", "INTERVAL" as "INTERV". Behaviour parameters keep their names.
std::string GraphParamColumnName(const std::string& name);

// The first name that is not an identifier, or "" when all are.
std::string FirstBadIdentifier(const std::vector<std::string>& names);
// The first pair of names that are the same once upper-cased (a renamed "Level" beside a
// "LEVELL"), as indexes; {-1, -1} when there is none.
std::pair<int, int> FirstCollision(const std::vector<std::string>& names);

} // namespace orvix
