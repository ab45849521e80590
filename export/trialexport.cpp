#include "export/trialexport.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fnmatch.h>
#include <memory>
#include <stdexcept>
#include <unistd.h>

#include "document/orvixdoc.h"
#include "export/dbfwriter.h"
#include "export/exportfile.h"
#include "export/exportprogress.h"
#include "export/trialrecords.h"
#include "platform/files/atomic_file.h"
#include "platform/files/paths.h"
#include "platform/text/codepage.h"
#include "platform/text/numbers.h"
#include "platform/ui/ui.h"

namespace orvix {

const char* const kRefusedFilesFolder = "c:\\temp";

namespace {

bool HasTrials(COrvixDoc& doc) { return doc.GetCommandCount() > 0 && doc.GetTrialCount() > 0; }

// A folder and a file name, joined as the folder is written: a Windows form ("c:", "c:\temp",
// "out\csv") with "\", any other with "/".
std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    char last = folder.back();
    if (last == '\\' || last == '/')
        return folder + name;
    bool windows = folder.find('\\') != std::string::npos
                   || (folder.size() == 2 && std::isalpha(static_cast<unsigned char>(folder[0])) && folder[1] == ':');
    return folder + (windows ? '\\' : '/') + name;
}

} // namespace

std::vector<std::string> FindDataFiles(const std::string& pattern)
{
    namespace fs = std::filesystem;
    std::vector<std::string> found;
    const std::string mapped = MapPath(pattern);
    size_t slash = mapped.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : mapped.substr(0, slash));
    const std::string name = slash == std::string::npos ? mapped : mapped.substr(slash + 1);
    std::error_code ec;
    if (name.find_first_of("*?[") == std::string::npos) {
        if (fs::is_regular_file(mapped, ec))
            found.push_back(mapped);
        return found;
    }
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string file = it->path().filename().string();
        if (fnmatch(name.c_str(), file.c_str(), 0) == 0 && !IsTemporaryFileName(file) && it->is_regular_file(ec))
            found.push_back(slash == std::string::npos ? file : (fs::path(folder) / file).string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

CTrialExport::CTrialExport(COrvixDoc* doc, IDocumentOpener& opener, IExportProgress& progress)
    : doc_(doc), opener_(opener), progress_(progress)
{
}

bool CTrialExport::Run(const ExportSettings& settings)
{
    failed_ = false;
    written_ = 0;
    try {
        if (settings.format == EXPORT_ODBC && !tableExporter) {
            MessageBox("The ODBC database export is not available in this version.");
            return false;
        }
        if (!opener_.MayReplaceDocument())
            return false;
        if (settings.format == EXPORT_ODBC)
            tableExporter->Begin();
        if (settings.singleFile && settings.format != EXPORT_ODBC)
            ExportToSingleFile(settings.input, settings.output, settings.format, settings.eventType);
        else
            ExportEachFile(settings);
        if (settings.format == EXPORT_ODBC && tableExporter->Failed())
            failed_ = true;
    } catch (const std::exception& e) {
        MessageBox(std::string("The export ended: ") + e.what());
        failed_ = true;
    }
    return !failed_;
}

void CTrialExport::ExportEachFile(const ExportSettings& settings)
{
    std::vector<std::string> files = FindDataFiles(settings.input);
    if (files.empty()) {
        MessageBox("No data file matches \"" + settings.input + "\".");
        failed_ = true;
        return;
    }
    for (const std::string& path : files) {
        if (!progress_.IsRunning())
            break;
        // A file that cannot be opened has been reported; the document still holds the
        // previous file, which must not be exported again under this name.
        COrvixDoc* doc = opener_.OpenDataFile(path);
        if (doc) {
            doc_ = doc;
            if (!ExportFile(settings.output, settings.format, settings.eventType))
                break;
        } else {
            failed_ = true;
        }
        progress_.OnFileDone();
    }
}

bool CTrialExport::CommitOrReport(CExportFile& file, const std::string& shownPath)
{
    if (file.Commit()) {
        ++written_;
        return true;
    }
    MessageBox("Can't write the output file \"" + shownPath + "\": " + file.Error()
               + ".\nThe file was not written; the export stops.");
    failed_ = true;
    return false;
}

bool CTrialExport::ExportFile(const std::string& outputDir, int format, int eventType)
{
    if (!doc_ || !HasTrials(*doc_))
        return true;
    CTrialData data(*doc_);
    progress_.OnFile(doc_->dataFilePath, data.TrialCount());
    if (format == EXPORT_ODBC) {
        const bool go = tableExporter && tableExporter->ExportDocument(*doc_, eventType, progress_);
        written_ += go;
        return go;
    }

    const std::string shown =
        JoinPath(outputDir, ExportFileName(data.Name(), eventType, format == EXPORT_DBF ? ".dbf" : ".csv"));
    CExportFile file;
    if (!file.Open(MapPath(shown))) {
        // Going on with the next file or not, this one is not written: the run failed.
        failed_ = true;
        return MessageBox("Can't open output file: \"" + shown + "\".\n" + (file.Refused() ? file.Error() + ".\n" : "")
                              + "The \"Output file, dir or table\" should be a writable directory.\nContinue?",
                          MB_YESNO)
            == IDYES;
    }
    ExportColumns columns = ExportedColumns(data.Table());
    std::vector<int> map = IdentityMap(static_cast<int>(columns.names.size()));
    if (format == EXPORT_DBF) {
        CDbfWriter writer(&file);
        if (!DefineDbfFields(writer, eventType, columns)) {
            failed_ = true;
            return false;
        }
        if (!WriteDbfRows(writer, data, eventType, columns, map, progress_))
            failed_ = true;
        writer.Close();
    } else {
        file.WriteText(CsvHeader(eventType, columns));
        WriteCsvRows(file, data, eventType, map, progress_);
    }
    return CommitOrReport(file, shown);
}

void CTrialExport::CopyRefused(const std::string& path)
{
    // Copied directly, never through a command line: a file name is no command. The copy is
    // written as a save is, so that it replaces only what the user may replace.
    const std::string copy = MapPath(kRefusedFilesFolder) + "/" + std::filesystem::path(path).filename().string();
    const int in = open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const bool copied = in >= 0 && WriteFileAtomically(copy, [in](int fd) {
        char buffer[65536];
        for (;;) {
            const ssize_t n = read(in, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return n == 0;
            if (!WriteAll(fd, buffer, static_cast<size_t>(n)))
                return false;
        }
    });
    const std::string why = in < 0 ? std::string(strerror(errno)) : WriteFailureText();
    if (in >= 0)
        close(in);
    if (!copied) {
        MessageBox("Can't copy \"" + ShownText(path) + "\" to " + kRefusedFilesFolder + ": " + why + ".");
        failed_ = true;
    }
}

void CTrialExport::ExportToSingleFile(const std::string& input, const std::string& outputFile, int format,
                                      int eventType)
{
    CExportFile file;
    if (!file.Open(MapPath(outputFile))) {
        MessageBox("Can't open the output file: \"" + outputFile + "\".\n" + (file.Refused() ? file.Error() + ".\n" : "")
                   + "The \"Output file, dir or table\" should be a writable file!");
        failed_ = true;
        return;
    }
    std::vector<std::string> files = FindDataFiles(input);
    std::unique_ptr<CDbfWriter> writer;
    ExportColumns reference;
    bool first = true, copyOnCountMismatch = false, copyOnMissingName = false;
    for (const std::string& path : files) {
        if (!progress_.IsRunning())
            break;
        COrvixDoc* doc = opener_.OpenDataFile(path);
        if (!doc) {
            failed_ = true;
            continue;
        }
        doc_ = doc;
        if (!HasTrials(*doc)) {
            if (MessageBox("Empty file: \"" + doc->dataFilePath + "\".\nContinue?", MB_YESNO) == IDNO)
                break;
            continue;
        }
        CTrialData data(*doc);
        std::vector<int> map;
        if (first) {
            reference = ExportedColumns(data.Table());
            map = IdentityMap(static_cast<int>(reference.names.size()));
            if (format == EXPORT_DBF) {
                writer = std::make_unique<CDbfWriter>(&file);
                if (!DefineDbfFields(*writer, eventType, reference)) {
                    failed_ = true;
                    return;
                }
            } else {
                file.WriteText(CsvHeader(eventType, reference));
            }
            first = false;
        } else {
            // Columns are found by the table's own names: expression columns at the front
            // would shift a mapping by the command's parameters.
            const int count = ExportedColumns(data.Table()).parameterCount;
            if (eventType == EXPORT_BASIC && count != reference.parameterCount) {
                if (!copyOnCountMismatch) {
                    std::string question = Format(
                        "Parameter numbers in the command files are not consistent.\nFile \"%s\" has %d "
                        "parameters.\nFirst file has \"%d\" parameters.\nContinue?\n\nIf continue, the underlining "
                        "file will be copied to c:\\temp\\ but not exported.",
                        doc->dataFilePath.c_str(), count, reference.parameterCount);
                    if (MessageBox(question, MB_YESNO) == IDNO)
                        break;
                    copyOnCountMismatch = true;
                }
                CopyRefused(path);
                continue;
            }
            map = MapColumns(reference, data.Table());
            auto missing = std::find(map.begin(), map.end(), -1);
            if (eventType == EXPORT_BASIC && missing != map.end()) {
                if (!copyOnMissingName) {
                    const std::string& name = reference.names[static_cast<size_t>(missing - map.begin())];
                    if (MessageBox("Parameter name \"" + name
                                       + "\" not found!\nContinue?\nIf yes, the underlining file will be copied to "
                                         "c:\\temp\\ but not exported.",
                                   MB_YESNO)
                        == IDNO)
                        break;
                    copyOnMissingName = true;
                }
                CopyRefused(path);
                continue;
            }
        }
        progress_.OnFile(doc->dataFilePath, data.TrialCount());
        if (format == EXPORT_DBF) {
            if (!WriteDbfRows(*writer, data, eventType, reference, map, progress_))
                failed_ = true;
        } else
            WriteCsvRows(file, data, eventType, map, progress_);
        progress_.OnFileDone();
    }
    if (first) {
        // Nothing matched or every file was empty: no file rather than one without a header.
        file.Discard();
        if (files.empty()) {
            MessageBox("No data file matches \"" + input + "\".");
            failed_ = true;
        }
        return;
    }
    if (writer)
        writer->Close();
    CommitOrReport(file, outputFile);
}

} // namespace orvix
