#include "export/odbctrialexport.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "analysis/tablemodel.h"
#include "document/orvixdoc.h"
#include "export/exportprogress.h"
#include "export/odbccatalog.h"
#include "export/odbcnames.h"
#include "export/paramblock.h"
#include "export/trialdata.h"
#include "model/trial.h"
#include "platform/text/numbers.h"
#include "platform/ui/ui.h"

namespace orvix {

namespace {

// Parameters of one multi-row INSERT at most. SQLite's builds before 3.32 take 999; other
// data sources get a count that their limits leave room for. PostgreSQL's server takes
// 65535, but libpq drops the connection ("lost synchronization with server") when the
// server's description of the parameters, 6 bytes + 4 per parameter, passes 30000 bytes:
// 7498 parameters go through, 7499 do not. 6000 keeps a fifth of that in hand (a message
// of 24006 bytes) and still lets the spike, eye and key tables (5 or 6 columns) take
// their 1000-row blocks.
constexpr size_t kPostgresMaxParams = 6000;
size_t MaxBlockParams(const COdbcConnection& db)
{
    return db.DbmsName() == "PostgreSQL" ? kPostgresMaxParams : 999;
}
constexpr size_t kTextCell = 12;

// The trial-parameter columns that a basic row carries, by index; other type codes have
// no column.
std::vector<int> BasicSourceColumns(const CTableModel& table)
{
    std::vector<int> cols;
    ExportColumns exported = ExportedColumns(table);
    for (size_t k = 0; k < exported.types.size(); ++k) {
        int type = exported.types[k];
        if (type == TABLE_TEXT || type == TABLE_INT || type == TABLE_DOUBLE)
            cols.push_back(static_cast<int>(k));
    }
    return cols;
}

// A decimal column's value: its text in the column's decimals, as the file exports write
// it (the data sources round a double each their own way; SQLite would keep all of it).
void Number(CParamBlock& block, size_t digits, int decimals)
{
    block.Add(OdbcC::Char, OdbcSql::Numeric, digits, decimals, CParamBlock::kNumberText - 1);
}

// The parameters of a row, in the order of the table's columns; the values come from
// RowWriter below.
void DefineParams(CParamBlock& block, const CTrialData& data, int eventType)
{
    block.Add(OdbcC::WChar, OdbcSql::Varchar, 6, 0, 6);    // cell id
    block.Add(OdbcC::SLong, OdbcSql::Numeric, 2, 0);       // repetition
    block.Add(OdbcC::SLong, OdbcSql::Numeric, 6, 0);       // trial number
    switch (eventType) {
    case EXPORT_BASIC:
        for (int col : BasicSourceColumns(data.Table())) {
            int type = data.Table().GetColumnType(col);
            if (type == TABLE_TEXT)
                block.Add(OdbcC::WChar, OdbcSql::Varchar, kTextCell, 0, kTextCell);
            else if (type == TABLE_INT)
                block.Add(OdbcC::SLong, OdbcSql::Numeric, 6, 0);
            else
                Number(block, 9, 2);
        }
        block.Add(OdbcC::UTinyInt, OdbcSql::Numeric, 4, 0);
        block.Add(OdbcC::UTinyInt, OdbcSql::Numeric, 2, 0);
        Number(block, 9, 1);
        break;
    case EXPORT_SPIKE:
        block.Add(OdbcC::UShort, OdbcSql::Numeric, 6, 0);
        Number(block, 9, 1);
        break;
    case EXPORT_EYE:
        Number(block, 9, 2);
        Number(block, 9, 2);
        Number(block, 9, 1);
        break;
    case EXPORT_KEY:
        block.Add(OdbcC::SShort, OdbcSql::Numeric, 6, 0);
        Number(block, 9, 1);
        break;
    default: break;
    }
}

// Gathers rows into the block and sends each full block through `flush`.
class RowWriter {
public:
    template <class Flush>
    RowWriter(CParamBlock& block, Flush&& flush) : block_(block), flush_(std::forward<Flush>(flush))
    {
    }
    // Starts a row; the fixed parameters (cell id, repetition) are set once per slot.
    size_t Row()
    {
        if (row_ == block_.Rows()) {
            flush_(row_);
            row_ = 0;
        }
        return row_++;
    }
    size_t Pending() const { return row_; }

private:
    CParamBlock& block_;
    std::function<void(size_t)> flush_;
    size_t row_ = 0;
};

} // namespace

COdbcTrialExport::COdbcTrialExport(COdbcConnection& db, const OdbcOptions& options)
    : db_(db), options_(options), check_(db, options)
{
}

void COdbcTrialExport::Begin()
{
    failed_ = false;
    check_.NewRun();
}

TableColumns COdbcTrialExport::ColumnsFor(const CTrialData& data, int eventType)
{
    TableColumns c;
    c.Add("CELLID", "char(6)");
    c.Add("REP", "decimal(2)");
    c.Add("TRIALNUM", "decimal(6)");
    switch (eventType) {
    case EXPORT_BASIC:
        for (int col : BasicSourceColumns(data.Table())) {
            int type = data.Table().GetColumnType(col);
            c.Add(TrialColumnName(data.Table().GetColumnName(col)),
                  type == TABLE_TEXT ? "varchar(12)" : type == TABLE_INT ? "decimal(6)" : "decimal(9,2)");
        }
        c.Add("ACTIVECH", "decimal(4)");
        c.Add("MAINCH", "decimal(2)");
        c.Add("FIGONTIME", "decimal(9,1)");
        break;
    case EXPORT_SPIKE:
        c.Add("SPIKEEVENT", "decimal(6)");
        c.Add("SPIKETIME", "decimal(9,1)");
        break;
    case EXPORT_EYE:
        c.Add("FPX", "decimal(9,2)");
        c.Add("FPY", "decimal(9,2)");
        c.Add("FPTIME", "decimal(9,1)");
        break;
    case EXPORT_KEY:
        c.Add("KEYACTION", "decimal(6)");
        c.Add("KEYTIME", "decimal(9,1)");
        break;
    default: break;
    }
    return c;
}

std::string COdbcTrialExport::InsertStatement(const std::string& table, const TableColumns& columns, int eventType,
                                              size_t rows)
{
    std::string list = "Cellid, Rep, TrialNum";
    switch (eventType) {
    case EXPORT_BASIC:
        for (size_t k = 3; k + 3 < columns.names.size(); ++k)
            list += ", " + columns.names[k];
        list += ", ActiveCh, MainCh, FigOnTime";
        break;
    case EXPORT_SPIKE: list += ", SpikeEvent, SpikeTime"; break;
    case EXPORT_EYE: list += ", FPX, FPY, FPTime"; break;
    case EXPORT_KEY: list += ", KeyAction, KeyTime"; break;
    default: break;
    }
    std::string values = "(";
    for (size_t k = 0; k < columns.names.size(); ++k)
        values += k ? ", ?" : "?";
    values += ")";
    std::string sql = "INSERT INTO " + table + " (" + list + ") VALUES " + values;
    for (size_t r = 1; r < rows; ++r)
        sql += ", " + values;
    return sql;
}

int64_t COdbcTrialExport::CountFileRows(const std::string& table, const std::string& cellId, int repetition)
{
    CExistRecordset count(db_);
    count.Open("SELECT count(cellid) as COUNTCELLID from " + table + " where cellid = ? and rep = ?", {cellId},
               &repetition);
    return count.m_nCountCellId;
}

void COdbcTrialExport::InsertRows(const std::string& table, const TableColumns& columns, const CTrialData& data,
                                  int eventType, bool deleteFirst, IExportProgress& progress)
{
    const size_t perRow = columns.names.size();
    const size_t perBlock = std::clamp<size_t>(MaxBlockParams(db_) / std::max<size_t>(perRow, 1), 1,
                                               std::max<size_t>(blockRows, 1));
    CParamBlock block(perBlock);
    DefineParams(block, data, eventType);

    COdbcStatement one(db_);
    one.Prepare(InsertStatement(table, columns, eventType, 1));
    COdbcStatement many(db_);
    many.Prepare(InsertStatement(table, columns, eventType, perBlock));
    for (size_t r = 0; r < perBlock; ++r)
        block.Bind(many, r, static_cast<int>(r * perRow + 1));
    for (size_t r = 0; r < perBlock; ++r) {
        block.SetText(0, r, data.Name().cellId.c_str());
        block.Set<int32_t>(1, r, data.Name().repetition);
    }

    db_.BeginTrans();
    try {
        // The old rows go in the same transaction: a failed insert leaves them in place.
        if (deleteFirst) {
            COdbcStatement del(db_);
            del.Prepare("DELETE FROM " + table + " WHERE CellID = ? and Rep = ?");
            std::u16string cell = ToUtf16(data.Name().cellId);
            OdbcLen cellLength;
            int32_t rep = data.Name().repetition;
            del.BindText(1, OdbcSql::Varchar, cell.size(), cell, cellLength);
            del.BindParameter(2, OdbcC::SLong, OdbcSql::Integer, 10, 0, &rep);
            del.Execute();
        }
        RowWriter rows(block, [&](size_t) { many.Execute(); });
        const CTableModel& tm = data.Table();
        const std::vector<int> source = eventType == EXPORT_BASIC ? BasicSourceColumns(tm) : std::vector<int>();
        const int n = data.TrialCount();
        for (int i = 0; i < n; ++i) {
            const CTrial& t = data.Trial(i);
            const float f = data.TimeBase(i);
            auto start = [&]() {
                size_t r = rows.Row();
                block.Set<int32_t>(2, r, i);
                return r;
            };
            switch (eventType) {
            case EXPORT_BASIC: {
                size_t r = start();
                size_t p = 3;
                const bool hasRow = i < tm.GetRowCount();
                for (int col : source) {
                    int type = tm.GetColumnType(col);
                    if (type == TABLE_TEXT)
                        block.SetText(p, r, hasRow ? tm.GetText(i, col) : "");
                    else if (type == TABLE_INT)
                        block.Set<int32_t>(p, r, hasRow ? tm.GetInt(i, col) : 0);
                    else {
                        double v = hasRow ? tm.GetDouble(i, col) : 0.0;
                        block.SetFixed(p, r, std::isnan(v) ? -1.0 : v, 2);
                    }
                    ++p;
                }
                block.Set<uint8_t>(p++, r, t.activeChannels);
                block.Set<uint8_t>(p++, r, data.MainChannel());
                block.SetFixed(p, r, data.FigOnTime(i, f), 1);
                break;
            }
            case EXPORT_SPIKE:
                for (size_t k = 0, m = CTrialData::SpikeCount(t); k < m; ++k) {
                    size_t r = start();
                    block.Set<uint16_t>(3, r, t.spikeMasks[k]);
                    block.SetFixed(4, r, CTrialData::SpikeTime(t, k, f), 1);
                }
                {
                    // The closing row: stored tables know it by the all-ones mask.
                    size_t r = start();
                    block.Set<uint16_t>(3, r, 65535);
                    block.SetFixed(4, r, CTrialData::EndTime(t, f), 1);
                }
                break;
            case EXPORT_EYE:
                for (size_t j = 0, m = CTrialData::EyeSampleCount(t); j < m; ++j) {
                    size_t r = start();
                    block.SetFixed(3, r, CTrialData::EyeX(t, j), 2);
                    block.SetFixed(4, r, CTrialData::EyeY(t, j), 2);
                    block.SetFixed(5, r, data.EyeTime(j, f), 1);
                }
                break;
            case EXPORT_KEY:
                for (size_t k = 0, m = CTrialData::KeyEventCount(t); k < m; ++k) {
                    size_t r = start();
                    block.Set<int16_t>(3, r, static_cast<int16_t>(t.keyCodes[k]));
                    block.SetFixed(4, r, t.keyTimes[k] - static_cast<double>(f), 1);
                }
                break;
            default: break;
            }
            // The file goes in whole even when the user stops: its transaction is one.
            progress.OnTrial(i + 1);
        }
        if (size_t rest = rows.Pending()) {
            one.SetParamSetSize(rest);
            block.Bind(one, 0, 1);
            one.Execute();
        }
        db_.CommitTrans();
    } catch (...) {
        db_.Rollback();
        throw;
    }
}

bool COdbcTrialExport::Refuse(const std::string& path, const std::string& why)
{
    MessageBox("Can't export \"" + path + "\" to the database: " + why + "\nThe file is left out.");
    failed_ = true;
    return true;
}

bool COdbcTrialExport::ExportDocument(COrvixDoc& doc, int eventType, IExportProgress& progress)
{
    CTrialData data(doc);
    const std::string& path = doc.dataFilePath;
    std::string table = TrialTableName(SuffixedTestName(data.Name().testName, eventType));
    if (table.empty())
        return Refuse(path, "its name has no test name between the cell id and the repetition, so there is no "
                            "table to put it in.");
    if (!IsSqlIdentifier(table))
        return Refuse(path, "the table name \"" + table
                                + "\" is not a plain SQL name (letters, digits and _, not starting with a digit).");
    TableColumns columns = ColumnsFor(data, eventType);
    std::string bad = FirstBadIdentifier(columns.names);
    if (!bad.empty())
        return Refuse(path, "the column name \"" + bad
                                + "\" is not a plain SQL name (letters, digits and _, not starting with a digit).");
    auto [a, b] = FirstCollision(columns.names);
    if (a >= 0)
        return Refuse(path, "two columns would both be named " + columns.names[static_cast<size_t>(b)] + " in table "
                                + table + ".");

    // From here on a refusal of the data source ends the export, as the user would
    // otherwise meet it again with every file.
    try {
        if (!check_.PrepareTable(table, columns,
                                 "Non-table orjbect '" + table
                                     + "' exists in the data source.\nPlease drop it and try to export again.")) {
            failed_ = true;
            return false;
        }
    } catch (const COdbcError& e) {
        MessageBox(std::string(e.what()) + "\n" + e.StateText());
        if (e.ConnectionLost() || db_.IsDead())
            db_.Close();
        failed_ = true;
        return false;
    }
    try {
        int64_t old = CountFileRows(table, data.Name().cellId, data.Name().repetition);
        if (old > 0 && options_.duplicates == DUPLICATE_SKIP)
            return true;
        InsertRows(table, columns, data, eventType, old > 0, progress);
        return true;
    } catch (const COdbcError& e) {
        failed_ = true;
        if (e.ConnectionLost() || db_.IsDead()) {
            db_.Close();
            MessageBox("The connection to the database was lost while exporting \"" + path + "\" to table " + table
                       + ":\n" + DiagnosticText(e) + "\nNone of the file's rows were stored. The export stops.");
            return false;
        }
        MessageBox("Can't store the trials of \"" + path + "\" in table " + table + ":\n" + DiagnosticText(e)
                   + "\nNone of the file's rows were stored.");
        return true;
    }
}

} // namespace orvix
