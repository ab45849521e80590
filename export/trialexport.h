// The trial-data export's loop: every data file that matches the input pattern is opened
// as the application's document and its trials written to one file per data file and
// event type, or all into one file. No widgets: the dialog shows the progress and stops
// the loop through IExportProgress; the application opens the files through
// IDocumentOpener.
#pragma once
#include <string>
#include <vector>

#include "export/trialdata.h"

namespace orvix {

class COrvixDoc;
class IExportProgress;

enum ExportFormat : int { EXPORT_CSV = 0, EXPORT_DBF = 1, EXPORT_ODBC = 2 };

class IDocumentOpener {
public:
    virtual ~IDocumentOpener() = default;
    // Opens a data file as the application's one document, as File > Open does (the views
    // show it), its previous contents replaced without a question; null (the reason shown)
    // when the file cannot be opened.
    virtual COrvixDoc* OpenDataFile(const std::string& path) = 0;
    // Asked once before the first file is opened: false (the user kept the document, or it
    // may not be replaced now) and the export does not start.
    virtual bool MayReplaceDocument() { return true; }
};

// Exports the open document's trials to a table of a database (the ODBC format).
class ITableExporter {
public:
    virtual ~ITableExporter() = default;
    // An export run begins.
    virtual void Begin() {}
    // False stops the whole export.
    virtual bool ExportDocument(COrvixDoc& doc, int eventType, IExportProgress& progress) = 0;
    // Whether a file of this run was left out or failed (reported already).
    virtual bool Failed() const { return false; }
};

struct ExportSettings {
    std::string input;  // data files: a path, "*" and "?" in its last part
    std::string output; // the output folder, or the output file in single-file mode
    int format = EXPORT_CSV;
    int eventType = EXPORT_BASIC;
    bool singleFile = false;
};

// The data files a pattern names ("c:\data\M1*.oxv" or a path of this machine): wildcards
// in the file name only, regular files, in name order. The paths are of this machine.
std::vector<std::string> FindDataFiles(const std::string& pattern);

// Where refused files of a single-file export go.
extern const char* const kRefusedFilesFolder;

class CTrialExport {
public:
    CTrialExport(COrvixDoc* doc, IDocumentOpener& opener, IExportProgress& progress);

    // One export as the settings say. True when it ended without a failure (a file that
    // could not be written, a data error): the caller sounds the success beep then.
    bool Run(const ExportSettings& settings);

    // Exports the open document's trials into the output folder; false stops the export.
    bool ExportFile(const std::string& outputDir, int format, int eventType);
    // Every matching file into one output file.
    void ExportToSingleFile(const std::string& input, const std::string& outputFile, int format, int eventType);

    // The output files written by the last run (data files exported, with the database).
    int Written() const { return written_; }
    // The document now open (the last file opened).
    COrvixDoc* Document() const { return doc_; }
    // The database writer of the ODBC format; none: that format is refused.
    ITableExporter* tableExporter = nullptr;

private:
    bool CommitOrReport(class CExportFile& file, const std::string& shownPath);
    // Copies a data file that a single-file export leaves out into the refused-files folder.
    void CopyRefused(const std::string& path);
    // The loop of the per-file modes: opens each file and runs ExportFile.
    void ExportEachFile(const ExportSettings& settings);

    COrvixDoc* doc_;
    IDocumentOpener& opener_;
    IExportProgress& progress_;
    bool failed_ = false;
    int written_ = 0;
};

} // namespace orvix
