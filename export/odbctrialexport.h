// The trial export's database branch: each data file becomes rows of one table named
// after its test and event type. The table is checked (created, widened) as the options
// allow, a file already in the table is skipped or replaced, and the rows go in through
// prepared INSERTs with bound parameters, all of one file in one transaction: a file is
// in the table completely or not at all.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "export/odbctable.h"
#include "export/trialexport.h"

namespace orvix {

class CTrialData;

class COdbcTrialExport : public ITableExporter {
public:
    COdbcTrialExport(COdbcConnection& db, const OdbcOptions& options);

    // ITableExporter
    void Begin() override;
    bool ExportDocument(COrvixDoc& doc, int eventType, IExportProgress& progress) override;
    bool Failed() const override { return failed_; }

    // The table's columns for an event type: the fixed ones, and for basic events one per
    // exported column of the trial-parameter table (renamed, upper case).
    static TableColumns ColumnsFor(const CTrialData& data, int eventType);
    // "INSERT INTO T (Cellid, Rep, TrialNum, ...) VALUES (?, ?, ...)" with `rows` value
    // lists; `columns` the table's columns as ColumnsFor gives them.
    static std::string InsertStatement(const std::string& table, const TableColumns& columns, int eventType,
                                       size_t rows);

    // Rows of the file (cell id and repetition) already in the table.
    int64_t CountFileRows(const std::string& table, const std::string& cellId, int repetition);
    // Inserts every trial's rows in one transaction, after deleting the file's old rows
    // when asked; throws COdbcError after rolling the transaction back.
    void InsertRows(const std::string& table, const TableColumns& columns, const CTrialData& data, int eventType,
                    bool deleteFirst, IExportProgress& progress);

    // Rows per multi-row INSERT (at most; fewer when a row has many columns). Rows that do
    // not fill one go through the one-row statement as a parameter array.
    size_t blockRows = 1000;

private:
    bool Refuse(const std::string& path, const std::string& why);

    COdbcConnection& db_;
    const OdbcOptions& options_;
    COdbcTableCheck check_;
    bool failed_ = false;
};

} // namespace orvix
