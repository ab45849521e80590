// Keeping the trial-parameter table in step with the trials: row filling, columns
// computed from expressions, and merging further data files into the document.
#include <algorithm>

#include "document/orvixdoc.h"
#include "model/missing.h"
#include "platform/text/numbers.h"
#include "tasklang/transform.h"

namespace orvix {

namespace {

constexpr int kResponseColumns = 14;

// Row i of the trial table; from: an earlier row of the same command to copy the command's
// cells from (-1: work them out from its parameters).
void FillRow(COrvixDoc& doc, int i, int from)
{
    CTableModel& trialTable = doc.trialTable;
    CTrial* t = doc.GetTrial(i);
    if (!t || i >= trialTable.GetRowCount())
        return;
    int columns = trialTable.GetColumnCount();
    int n = columns - kResponseColumns;
    if (n < 0)
        return;
    // A trial whose command is not in the list fills only its response cells.
    CommandRow& row = doc.GetCommand(t->commandIndex);
    for (int k = 0; k < n && k < static_cast<int>(row.size()); ++k) {
        CParam& p = row[static_cast<size_t>(k)];
        switch (trialTable.GetColumnType(k)) {
        case PARAM_TEXT:
            trialTable.SetString(i, k, from >= 0 ? trialTable.GetText(from, k) : p.GetText().c_str());
            break;
        case PARAM_INT: trialTable.SetInt(i, k, from >= 0 ? trialTable.GetInt(from, k) : p.GetInt()); break;
        case PARAM_REAL: trialTable.SetDouble(i, k, from >= 0 ? trialTable.GetDouble(from, k) : p.GetDouble()); break;
        default: break;
        }
    }
    const int values[5] = {t->responses[0], t->responses[1], t->responses[2], t->responses[3], t->response5};
    for (int v = 0; v < 5; ++v)
        trialTable.SetInt(i, n + v, values[v]);
    auto cell = [](double r) { return r >= 0 ? r : kMissingValue; };
    trialTable.SetDouble(i, n + 5, cell(t->GetChannelResponse(doc.mainChannel)));
    for (int c = 0; c < kChannelCount; ++c)
        trialTable.SetDouble(i, n + 6 + c, cell(t->GetChannelResponse(c)));
}

} // namespace

void COrvixDoc::ReserveTrials(int count)
{
    if (count <= 0)
        return;
    trialTable.ReserveRows(GetTrialCount() + count);
}

void COrvixDoc::FillTrialRow(int i) { FillRow(*this, i, -1); }

void COrvixDoc::RebuildTrialTable()
{
    if (GetTrialCount() == 0)
        return;
    trialTable.SetRowCount(GetTrialCount());
    // A command's cells are worked out from its parameters at its first trial and copied
    // from that row for the others, so that a value is not parsed again for every trial.
    std::vector<int> firstRow(commands_.size(), -1);
    for (int i = 0; i < GetTrialCount(); ++i) {
        const int k = GetTrial(i)->commandIndex;
        const bool listed = k >= 0 && k < GetCommandRowCount();
        FillRow(*this, i, listed ? firstRow[static_cast<size_t>(k)] : -1);
        if (listed && firstRow[static_cast<size_t>(k)] < 0)
            firstRow[static_cast<size_t>(k)] = i;
    }
}

bool COrvixDoc::InsertExpressionColumn(const std::string& name, const std::string& expression, bool roundToInt,
                                       bool record, std::string* problem)
{
    auto refuse = [problem](const std::string& why) {
        if (problem)
            *problem = why;
        return false;
    };
    if (commands_.empty())
        return refuse("There are no stimulus commands to compute a column from.");
    // The expression's variables: working copies named as command row 0's parameters.
    std::vector<CParam> work(commands_[0].begin(), commands_[0].end());
    std::vector<CParam*> vars;
    for (CParam& w : work)
        vars.push_back(&w);
    int found = -1;
    for (size_t k = 0; k < work.size(); ++k)
        if (work[k].GetName() == name) {
            found = static_cast<int>(k);
            break;
        }
    CTransformLexer lexer;
    CTransformParser parser(lexer);
    if (!lexer.SetInput(expression, vars))
        return refuse(Format("The expression is longer than %d characters.", static_cast<int>(CTransformLexer::kMaxLength)));
    parser.Reset();
    if (parser.Parse() != 0 || !parser.Result()) {
        // The names an expression may use are the stimulus commands' parameters only.
        if (!lexer.UnknownName().empty())
            return refuse("\"" + lexer.UnknownName() + "\" is not a parameter of the stimulus commands.");
        return refuse("\"" + expression + "\" is not an expression the Transform can compute.");
    }

    bool real = false;
    for (CommandRow& row : commands_) {
        for (size_t k = 0; k < work.size() && k < row.size(); ++k) {
            work[k].GetName() = row[k].GetName();
            work[k].SetFromText(row[k].GetText().c_str());
        }
        CParam result = *parser.Result()->Eval();
        CParam value;
        if (result.GetType() == PARAM_REAL) {
            real = true;
            double x = result.GetDouble();
            value = CParam(name.c_str(), roundToInt ? static_cast<double>(CParam("", x).GetInt()) : x);
        } else {
            value = CParam(name.c_str(), result.GetText().c_str());
        }
        if (found < 0)
            row.insert(row.begin(), value);
        else if (found < static_cast<int>(row.size()))
            row[static_cast<size_t>(found)] = value.GetText().c_str();
    }

    ++commandListVersion;
    int column = found;
    if (found < 0) {
        trialTable.InsertColumn(0, name.c_str(), real ? PARAM_INT : PARAM_TEXT);
        column = 0;
    }
    for (int i = 0; i < trialTable.GetRowCount() && i < GetTrialCount(); ++i) {
        CommandRow& row = GetCommand(GetTrial(i)->commandIndex);
        if (column >= static_cast<int>(row.size()))
            continue;
        CParam& p = row[static_cast<size_t>(column)];
        if (real)
            trialTable.SetInt(i, column, p.GetInt());
        else
            trialTable.SetString(i, column, p.GetText().c_str());
    }
    if (found >= 0) {
        // Axis variables count command parameters from the last one.
        int designated = trialTable.GetColumnCount() - 15 - found;
        if (plot.XAxisVariable == designated || plot.YAxisVariable == designated
            || plot.FigureAxisVariable == designated)
            UpdateAllViews(nullptr, HINT_COLUMN_CHANGED);
    }
    UpdateStatVariables(-1);
    if (record) {
        expressionColumns.push_back(name);
        expressionColumns.push_back(expression);
    }
    return true;
}

void COrvixDoc::OnFileMergingMode()
{
    if (mergeMode) {
        mergeMode = 0;
        return;
    }
    mergeMode = 1;
    if (commandLines.empty())
        return;
    if (commandLines[0].compare(0, 6, "in 1, ") != 0)
        for (auto& line : commandLines)
            line = "in 1, " + line;
    InsertExpressionColumn("in", "1", false, false);
}

void COrvixDoc::GetFigureExtent(int& width, int& height) const
{
    int n = std::max(figureCount, 1);
    int columns = std::min(n, 2);
    int rows = (n + 1) / 2;
    if (plot.revCorrSubtract)
        columns = rows = 1;
    width = plot.FigWidth * columns;
    height = plot.FigHeight * rows;
}

} // namespace orvix
