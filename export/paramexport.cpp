#include "export/paramexport.h"

#include <algorithm>

#include "document/orvixdoc.h"
#include "export/exportfile.h"
#include "export/exportprogress.h"
#include "export/odbccatalog.h"
#include "export/odbcnames.h"
#include "export/trialexport.h"
#include "model/param.h"
#include "platform/files/paths.h"
#include "platform/text/numbers.h"
#include "platform/ui/ui.h"

namespace orvix {

namespace {

// A cell of the comma-separated file: as it is, unless it would break the line into
// other cells or lines; then between quotes with its quotes doubled.
std::string CsvCell(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

// The value of a parameter of the kind, or false when the file has none of that name.
bool ParamValue(COrvixDoc& doc, int kind, const std::string& name, std::string& value)
{
    if (kind == PARAM_KIND_GRAPH) {
        int i = doc.FindGraphParam(name.c_str());
        if (i < 0)
            return false;
        value = doc.GetGraphParam(i).GetText();
        return true;
    }
    int i = doc.FindBehavParam(name.c_str(), false, CParam(nullptr, 0));
    if (i < 0)
        return false;
    value = doc.GetBehavParam(i).GetText();
    return true;
}

// A value's text: numbers as they are written, text as characters (UTF-16).
void BindValue(COdbcStatement& s, int number, OdbcSql sql, size_t size, int decimals, const std::string& value,
               std::u16string& wide, OdbcLen& length)
{
    wide = ToUtf16(value);
    if (sql == OdbcSql::Varchar) {
        s.BindText(number, sql, size, wide, length);
        return;
    }
    length = kOdbcNts;
    s.BindParameter(number, OdbcC::Char, sql, std::max<size_t>(size, 1), decimals, const_cast<char*>(value.c_str()),
                    static_cast<OdbcLen>(value.size() + 1), &length);
}

} // namespace

std::vector<std::string> SplitParamNames(const std::string& list)
{
    std::string text;
    for (char c : list)
        if (c != ' ')
            text += c;
    size_t first = text.find_first_not_of(',');
    text = first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(',') - first + 1);
    text += ',';
    std::vector<std::string> names;
    for (size_t start = 0, comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1)
        names.push_back(text.substr(start, comma - start));
    return names;
}

std::string ParamCsvHeader(const std::vector<std::string>& names)
{
    std::string h = "CellID$,TestName,Rep";
    for (const std::string& n : names)
        h += "," + n;
    return h + "\r\n";
}

std::string ParamCsvLine(COrvixDoc& doc, const DataFileParts& parts, const std::vector<std::string>& names, int kind)
{
    std::string line = Format("\"%s\",", parts.cellId.c_str()) + CsvCell(parts.testName) + Format(",%d", parts.repetition);
    for (const std::string& n : names) {
        std::string value;
        line += "," + (ParamValue(doc, kind, n, value) ? CsvCell(value) : std::string("N/A"));
    }
    return line + "\r\n";
}

const char* ParamColumnType(const std::string& value)
{
    const bool digit = value.find_first_of("0123456789") != std::string::npos;
    switch (digit ? ClassifyNumber(value.c_str()) : 0) {
    case 1: return "decimal(6)";
    case 3: return "decimal(10,2)";
    default:
        // A text that a varchar(20) would refuse (a folder of this machine in "DataPath")
        // gets a column that holds it.
        return value.size() <= 20 ? "varchar(20)" : "varchar(255)";
    }
}

ParamRow ParamTableRow(COrvixDoc& doc, int kind)
{
    ParamRow row;
    row.table = kind == PARAM_KIND_GRAPH ? "GRAPHPARAM" : "BEHAVPARAM";
    row.columns.Add("CELLID", "char(6)");
    row.columns.Add("TESTNAME", "varchar(50)");
    row.columns.Add("REP", "decimal(2)");
    const int n = kind == PARAM_KIND_GRAPH ? doc.GetGraphParamCount() : doc.GetBehavParamCount();
    for (int i = 0; i < n; ++i) {
        CParam& p = kind == PARAM_KIND_GRAPH ? doc.GetGraphParam(i) : doc.GetBehavParam(i);
        if (kind == PARAM_KIND_GRAPH && p.GetName() == ".")
            continue;
        std::string value = p.GetText();
        row.columns.Add(kind == PARAM_KIND_GRAPH ? GraphParamColumnName(p.GetName()) : p.GetName(),
                        ParamColumnType(value));
        row.values.push_back(value);
    }
    return row;
}

std::string CParamExport::InsertStatement(const ParamRow& row)
{
    std::string list, marks;
    for (size_t k = 0; k < row.columns.names.size(); ++k) {
        list += (k ? ", " : "") + row.columns.names[k];
        marks += k ? ", ?" : "?";
    }
    return "INSERT INTO " + row.table + " (" + list + ") VALUES (" + marks + ")";
}

CParamExport::CParamExport(COrvixDoc* doc, IDocumentOpener& opener, IExportProgress& progress)
    : doc_(doc), opener_(opener), progress_(progress)
{
}

COrvixDoc* CParamExport::Open(const std::string& path)
{
    COrvixDoc* doc = opener_.OpenDataFile(path);
    if (!doc) {
        failed_ = true;
        return nullptr;
    }
    doc_ = doc;
    progress_.OnFile(path, 0);
    progress_.OnFileDone();
    return doc;
}

bool CParamExport::Run(const ParamExportSettings& settings)
{
    failed_ = false;
    if (settings.format == PARAM_FORMAT_ODBC && (!db || !db->IsOpen() || !options)) {
        MessageBox("Can't open database.");
        return false;
    }
    CExportFile file;
    if (settings.format == PARAM_FORMAT_CSV && !file.Open(MapPath(settings.output))) {
        MessageBox("Can't open the output file \"" + settings.output + "\"!" + (file.Refused() ? "\n" + file.Error() + "." : ""));
        return false;
    }
    if (!opener_.MayReplaceDocument())
        return false;
    const std::vector<std::string> files = FindDataFiles(settings.input);
    if (files.empty()) {
        // No file rather than one of a header only.
        MessageBox("No data file matches \"" + settings.input + "\".");
        return false;
    }
    if (settings.format == PARAM_FORMAT_ODBC) {
        RunOdbc(settings, files);
        return !failed_;
    }
    const std::vector<std::string> names = SplitParamNames(settings.names);
    file.WriteText(ParamCsvHeader(names));
    for (const std::string& path : files) {
        if (!progress_.IsRunning())
            break;
        if (COrvixDoc* doc = Open(path))
            file.WriteText(ParamCsvLine(*doc, SplitDataFileName(doc->dataFilePath), names, settings.kind));
    }
    if (!file.Commit()) {
        MessageBox("Can't write the output file \"" + settings.output + "\": " + file.Error()
                   + ".\nThe file was not written.");
        failed_ = true;
    }
    return !failed_;
}

void CParamExport::RunOdbc(const ParamExportSettings& settings, const std::vector<std::string>& files)
{
    COdbcTableCheck check(*db, *options);
    for (const std::string& path : files) {
        if (!progress_.IsRunning())
            break;
        COrvixDoc* doc = Open(path);
        if (doc && !ExportRow(doc->dataFilePath, SplitDataFileName(doc->dataFilePath), check, settings.kind))
            break;
    }
}

bool CParamExport::ExportRow(const std::string& path, const DataFileParts& parts, COdbcTableCheck& check, int kind)
{
    ParamRow row = ParamTableRow(*doc_, kind);
    auto refuse = [&](const std::string& why) {
        MessageBox("Can't export the parameters of \"" + path + "\": " + why + "\nThe file is left out.");
        failed_ = true;
        return true;
    };
    std::string bad = FirstBadIdentifier(row.columns.names);
    if (!bad.empty())
        return refuse("\"" + bad + "\" is not a plain SQL name (letters, digits and _, not starting with a digit).");
    auto [a, b] = FirstCollision(row.columns.names);
    if (a >= 0) {
        const int first = a - 3, second = b - 3; // parameters follow the three fixed columns
        const std::string shown = UpperCase(row.columns.names[static_cast<size_t>(b)]);
        return refuse(first < 0 ? "its parameter \"" + row.columns.names[static_cast<size_t>(b)]
                                      + "\" would take the place of the column " + shown + "."
                                : Format("its parameters %d and %d would both be the column %s of %s.", first + 1,
                                         second + 1, shown.c_str(), row.table.c_str()));
    }
    try {
        if (!check.PrepareTable(row.table, row.columns,
                                "Non-table object '" + row.table
                                    + "' exists in the data source.\nPlease drop it and try to export again.")) {
            failed_ = true;
            return false;
        }
        std::string cell = parts.cellId, test = parts.testName;
        int rep = parts.repetition;
        CExistRecordset count(*db);
        count.Open("SELECT count(cellid) as COUNTCELLID from " + row.table
                       + " where cellid = ? and testname = ? and rep = ?",
                   {cell, test}, &rep);
        const bool present = count.m_nCountCellId > 0;
        if (present && options->duplicates == DUPLICATE_SKIP)
            return true;
        std::u16string wideCell = ToUtf16(cell), wideTest = ToUtf16(test);
        db->BeginTrans();
        try {
            OdbcLen cellLength, testLength;
            int32_t rep32 = rep;
            if (present) {
                COdbcStatement del(*db);
                del.Prepare("DELETE FROM " + row.table + " WHERE CellID = ? and TestName = ? and Rep = ?");
                del.BindText(1, OdbcSql::Varchar, wideCell.size(), wideCell, cellLength);
                del.BindText(2, OdbcSql::Varchar, wideTest.size(), wideTest, testLength);
                del.BindParameter(3, OdbcC::SLong, OdbcSql::Integer, 10, 0, &rep32);
                del.Execute();
            }
            COdbcStatement insert(*db);
            insert.Prepare(InsertStatement(row));
            insert.BindText(1, OdbcSql::Varchar, 6, wideCell, cellLength);
            insert.BindText(2, OdbcSql::Varchar, 50, wideTest, testLength);
            insert.BindParameter(3, OdbcC::SLong, OdbcSql::Numeric, 2, 0, &rep32);
            std::vector<OdbcLen> lengths(row.values.size());
            std::vector<std::u16string> wide(row.values.size());
            for (size_t k = 0; k < row.values.size(); ++k) {
                const std::string& type = row.columns.types[k + 3];
                const bool text = type[0] == 'v';
                BindValue(insert, static_cast<int>(k + 4), text ? OdbcSql::Varchar : OdbcSql::Numeric,
                          text ? row.values[k].size() : (type == "decimal(6)" ? 6 : 10),
                          type == "decimal(10,2)" ? 2 : 0, row.values[k], wide[k], lengths[k]);
            }
            insert.Execute();
            db->CommitTrans();
        } catch (...) {
            db->Rollback();
            throw;
        }
        return true;
    } catch (const COdbcError& e) {
        const bool lost = e.ConnectionLost() || db->IsDead();
        MessageBox("Can't export the parameters of \"" + path + "\" to table " + row.table + ":\n" + DiagnosticText(e)
                   + "\nThe export stops.");
        if (lost)
            db->Close();
        failed_ = true;
        return false;
    }
}

} // namespace orvix
