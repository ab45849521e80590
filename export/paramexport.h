// The test-parameter export: the graph (stimulus) or behaviour parameters stored in each
// data file of a pattern, as one line per file of a comma-separated file holding the
// parameters the user names, or as one row per file of the table GRAPHPARAM or BEHAVPARAM
// holding every parameter of the kind. No widgets: CExportParamDlg drives it.
#pragma once
#include <string>
#include <vector>

#include "export/odbctable.h"
#include "export/trialdata.h"

namespace orvix {

class COrvixDoc;
class IDocumentOpener;
class IExportProgress;

enum ParamExportKind : int { PARAM_KIND_GRAPH = 0, PARAM_KIND_BEHAV = 1 };
enum ParamFormat : int { PARAM_FORMAT_CSV = 0, PARAM_FORMAT_ODBC = 1 };

struct ParamExportSettings {
    std::string input;                     // data files: a path, "*" and "?" in its last part
    std::string output = "c:\\temp\\temp.csv";
    std::string names;                     // the CSV's parameters, comma separated
    int kind = PARAM_KIND_GRAPH;
    int format = PARAM_FORMAT_CSV;
};

// The name list as the user typed it: blanks removed, commas at the ends stripped, then
// cut at each comma ("a, b,,c" gives a, b, an empty name and c; "" gives one empty name).
std::vector<std::string> SplitParamNames(const std::string& list);
// "CellID$,TestName,Rep" and ",<name>" per name, CR LF.
std::string ParamCsvHeader(const std::vector<std::string>& names);
// "\"<cell id>\",<test name>,<rep>" and ",<value>" per name ("N/A" when the file has no
// such parameter), CR LF. A value holding a comma, a quote or a line break is quoted.
std::string ParamCsvLine(COrvixDoc& doc, const DataFileParts& parts, const std::vector<std::string>& names, int kind);

// The table's name, its columns (CELLID, TESTNAME, REP, then one per parameter of the
// kind in the document's order, graph parameters renamed, "." left out) and the text of
// each parameter column's value.
struct ParamRow {
    std::string table;
    TableColumns columns;
    std::vector<std::string> values;
};
ParamRow ParamTableRow(COrvixDoc& doc, int kind);
// The column type of a value: "decimal(6)" for an integer, "decimal(10,2)" for a decimal
// number, "varchar(20)" for anything else ("-", "." and "-." too: they are no numbers), or
// "varchar(255)" for a text longer than 20 characters.
const char* ParamColumnType(const std::string& value);

class CParamExport {
public:
    CParamExport(COrvixDoc* doc, IDocumentOpener& opener, IExportProgress& progress);

    // The database of the ODBC format, open, and its options.
    COdbcConnection* db = nullptr;
    const OdbcOptions* options = nullptr;

    // One export as the settings say; true when every file went out.
    bool Run(const ParamExportSettings& settings);
    COrvixDoc* Document() const { return doc_; }

    // "INSERT INTO <table> (CELLID, TESTNAME, REP, ...) VALUES (?, ?, ...)".
    static std::string InsertStatement(const ParamRow& row);

private:
    void RunOdbc(const ParamExportSettings& settings, const std::vector<std::string>& files);
    // False stops the export.
    bool ExportRow(const std::string& path, const DataFileParts& parts, COdbcTableCheck& check, int kind);
    COrvixDoc* Open(const std::string& path);

    COrvixDoc* doc_;
    IDocumentOpener& opener_;
    IExportProgress& progress_;
    bool failed_ = false;
};

} // namespace orvix
