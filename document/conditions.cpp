// The document's stimulus commands: rows from the command lines, and the columns of the
// trial-parameter table that follow from them.
#include "document/orvixdoc.h"

#include "platform/ui/ui.h"

namespace orvix {

CommandRow& COrvixDoc::GetCommand(int i)
{
    static CommandRow none;
    if (i < 0 || i >= GetCommandRowCount()) {
        none.clear();
        return none;
    }
    return commands_[static_cast<size_t>(i)];
}

void COrvixDoc::ParseCommandFile(float angleOffset)
{
    std::string error;
    commands_ = ParseCommandLines(commandLines, angleOffset, error);
    ++commandListVersion;
    if (!error.empty()) {
        MessageBox(error);
        commands_.clear();
        commandLines.clear();
        testRunning = 0;
    }
    DefineAnalysisColumns();
}

void COrvixDoc::DefineAnalysisColumns()
{
    std::vector<std::string> names;
    std::vector<int> types;
    AnalysisColumns(commands_, names, types);
    if (names.empty())
        return;
    trialTable.DefineColumns(names, types);
    UpdateStatVariables(-1);
}

} // namespace orvix
