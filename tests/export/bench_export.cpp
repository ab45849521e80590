// Times the trial-data export of one data file of 10,000 recorded trials (spikes on eight
// channels, eye samples at 60 Hz over about 2 s, key readings, two parameter columns) to
// CSV and dBASE III, for the four event types, and reports the output in MB/s: the writer
// alone, and the same export through the Export Data dialog (shown offscreen, its bar,
// status line and event loop kept live), Start to end, into memory and onto the disk. The
// document is built in memory: its loading is not timed. Beside it, Python's csv module
// writes the same rows (values parsed from our CSV beforehand, formatted as the export
// formats them) in the same run; its file must be byte for byte ours. Not a test: run it
// by hand. Last, the basic rows to CSV with a text of letters beyond ASCII ("gr°t µ é"),
// converted to UTF-8, against the same rows in ASCII.
// Usage: bench_export [trials [basic|spike|eye|key]]
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/wait.h>

#include "document/orvixdoc.h"
#include "export/dbfwriter.h"
#include "export/exportdatadlg.h"
#include "export/exportfile.h"
#include "export/exportprogress.h"
#include "export/trialexport.h"
#include "export/trialrecords.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/eventpump.h"
#include "platform/runtime/random.h"
#include "platform/settings/registry.h"
#include "platform/text/qtext.h"
#include "platform/ui/ui.h"
#include "tests/common/bench_support.h"
#include "tests/export/bench_document.h"

using namespace orvix;

namespace {

double Seconds() { return static_cast<double>(Clock().Counter()) / Clock().CounterFrequency(); }

struct Timing {
    double written = 1e300; // formatted and handed to the system
    double committed = 1e300; // and flushed to the disk and renamed into place
};

// What the export of one file does, with the two stages timed.
bool ExportOnce(COrvixDoc& doc, const std::string& path, int format, int eventType, Timing& t)
{
    IExportProgress progress;
    const double t0 = Seconds();
    CExportFile file;
    if (!file.Open(path))
        return false;
    CTrialData data(doc);
    ExportColumns columns = ExportedColumns(data.Table());
    std::vector<int> map = IdentityMap(static_cast<int>(columns.names.size()));
    if (format == EXPORT_DBF) {
        CDbfWriter writer(&file);
        DefineDbfFields(writer, eventType, columns);
        WriteDbfRows(writer, data, eventType, columns, map, progress);
        writer.Close();
    } else {
        file.Write(CsvHeader(eventType, columns));
        WriteCsvRows(file, data, eventType, map, progress);
    }
    const double t1 = Seconds();
    if (!file.Commit())
        return false;
    const double t2 = Seconds();
    t.written = std::min(t.written, t1 - t0);
    t.committed = std::min(t.committed, t2 - t0);
    return true;
}

// The dialog's files are the one document built in memory, whatever the pattern names.
struct MemoryOpener : IDocumentOpener {
    explicit MemoryOpener(COrvixDoc& d) : doc(d) {}
    COrvixDoc* OpenDataFile(const std::string&) override { return &doc; }
    COrvixDoc& doc;
};

// The best time of the dialog's exports into `folder`, as the user starts them (the
// dialog shown, its output choices those of the run); 0 when one failed or wrote another
// size than `bytes`.
double DialogBest(COrvixDoc& doc, IDocumentOpener& opener, int format, int eventType, const std::string& folder,
                  int reps, uintmax_t bytes, const std::string& fileName)
{
    ExportDataChoices choices;
    choices.format = format;
    choices.eventType = eventType;
    choices.output = folder;
    CExportDataDlg dialog(&doc, opener, choices);
    dialog.findChild<QLineEdit*>(QStringLiteral("ctl%1").arg(CExportDataDlg::IDC_INPUT))->setText(ToQ(doc.dataFilePath));
    QLabel* status = dialog.findChild<QLabel*>(QStringLiteral("ctl%1").arg(CExportDataDlg::IDC_STATUS));
    dialog.show();
    double best = 1e300;
    for (int r = 0; r < reps; ++r) {
        // Start is pressed in a dialog at rest: what the last run left to paint is painted.
        for (const double rest = Seconds() + 0.05; Seconds() < rest;)
            PumpEvents(10);
        const double t0 = Seconds();
        dialog.OnOK();
        best = std::min(best, Seconds() - t0);
        std::error_code ec;
        if (status->text() != "Done: 1 file(s)." || std::filesystem::file_size(folder + "/" + fileName, ec) != bytes)
            return 0;
    }
    return best;
}

const char* const kEvents[] = {"basic", "spike", "eye", "key"};
const char* const kSuffix[] = {"", "_Spike", "_Eye", "_Key"};

struct Bench {
    CScriptedUI& ui;
    std::string dir, diskFolder, memoryFolder, script;
    bool python;
    int reps, pythonReps;
};

// One line of the table: the writer alone, the dialog into memory and onto the disk, and
// Python's csv beside it. The writer's best time, or 0 when something failed (said).
double RunCase(Bench& b, COrvixDoc& doc, int format, int e, const char* label)
{
    const std::string file =
        b.dir + "/M1aa1aOrient" + kSuffix[e] + "01" + (format == EXPORT_CSV ? ".csv" : ".dbf");
    Timing t;
    for (int r = 0; r < b.reps; ++r) {
        if (!ExportOnce(doc, file, format, e, t) || !b.ui.messages.empty()) {
            fprintf(stderr, "the export failed%s\n", b.ui.messages.empty() ? "" : ": it asked a question");
            return 0;
        }
    }
    const double best = t.written;
    const uintmax_t bytes = std::filesystem::file_size(file);
    const double mb = static_cast<double>(bytes) / 1e6;
    const std::string name = std::filesystem::path(file).filename().string();
    MemoryOpener opener(doc);
    const double memorySeconds = DialogBest(doc, opener, format, e, b.memoryFolder, b.reps, bytes, name);
    const double diskSeconds = DialogBest(doc, opener, format, e, b.diskFolder, b.reps, bytes, name);
    if (memorySeconds <= 0 || diskSeconds <= 0 || !b.ui.messages.empty()) {
        fprintf(stderr, "the export through the dialog failed\n");
        return 0;
    }
    printf("%-6s %-7s %7.1f %7.1f ms %8.1f %8.1f %8.1f %8.1f", format == EXPORT_CSV ? "CSV" : "DBF", label, mb,
           best * 1e3, mb / best, mb / t.committed, mb / memorySeconds, mb / diskSeconds);
    if (format == EXPORT_CSV && b.python) {
        // The script prints the seconds of its best write and whether the bytes match.
        const std::vector<std::string> words = orvix_test::CommandWords(
            "/usr/bin/python3 " + b.script + " " + file + " " + b.dir + "/python.csv " + std::to_string(b.pythonReps));
        const double seconds = words.size() == 2 ? atof(words[0].c_str()) : 0.0;
        if (seconds > 0)
            printf("   %7.1f ms %6.1f MB/s, written %.1fx, dialog %.1fx its speed, bytes %s", seconds * 1e3,
                   mb / seconds, seconds / best, seconds / memorySeconds, words[1].c_str());
        else
            printf("   (the Python run failed)");
    }
    printf("\n");
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    const int trialCount = argc > 1 ? atoi(argv[1]) : 10000;
    const std::string only = argc > 2 ? argv[2] : "";
    // Best of many runs: the machine's other work shows in the worst ones.
    const int reps = 10, pythonReps = 3;
    orvix_test::ScopedTempDir temp("orvix-bench-export");
    const std::string& dir = temp.Path();
    // The dialog's outputs in memory too (tmpfs): there the flush to the disk costs nothing,
    // as for Python's file.
    std::optional<orvix_test::ScopedTempDir> memory;
    if (std::filesystem::is_directory("/dev/shm"))
        memory.emplace("orvix-bench-export", "/dev/shm");
    setenv("ORVIX_REGISTRY", (dir + "/Orvix.reg").c_str(), 1);
    setenv("ORVIX_DRIVES", (dir + "/drives").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (!getenv("XDG_RUNTIME_DIR"))
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    QApplication app(argc, argv);
    // The offscreen platform's notes about window hints are no result.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    ReloadRegistry();
    CScriptedUI ui;

    COrvixDoc doc;
    bench::FillBenchDocument(doc, trialCount, dir);
    // The dialog's pattern names this file; the opener hands over the document instead.
    fclose(fopen(doc.dataFilePath.c_str(), "w"));
    Bench b{ui, dir, dir + "/dialog", "", std::string(ORVIX_TEST_SOURCE_DIR) + "/bench_python_csv.py",
            orvix_test::RunCommand("/usr/bin/python3 -c 'import csv' 2>/dev/null") == 0, reps, pythonReps};
    std::filesystem::create_directories(b.diskFolder);
    b.memoryFolder = memory ? memory->Path() : b.diskFolder;

    printf("%d trials, best of %d runs (Python: %d). written: formatted and handed to the system; on disk:\n"
           "also flushed (fsync) and renamed into place, as every export file is. dialog: the Export Data\n"
           "dialog shown, Start to its end, into memory (tmpfs, where the flush costs nothing) and on disk.\n"
           "Python: the csv module writing the same rows (no fsync); x: the dialog (memory) against it.\n",
           trialCount, reps, pythonReps);
    printf("%-6s %-7s %7s %10s %8s %8s %8s %8s   %s\n", "format", "event", "MB", "written", "MB/s", "on disk",
           "dlg mem", "dlg disk", "Python csv");
    for (int format : {EXPORT_CSV, EXPORT_DBF}) {
        for (int e = 0; e < 4; ++e) {
            if (only.empty() || only == kEvents[e])
                if (RunCase(b, doc, format, e, kEvents[e]) <= 0)
                    return 1;
        }
    }
    if (!only.empty() && only != "basic")
        return 0;
    // The basic rows with a text of letters beyond ASCII, which the CSV holds as UTF-8,
    // beside the same rows with ASCII letters in their place (the program's text of each is
    // as long), in the same run.
    printf("\nCSV basic rows whose parameter text is \"gr°t µ é\" (UTF-8 in the file) and \"grot u e\":\n");
    const char* const texts[] = {"grot u e", "gr\xB0t \xB5 \xE9"};
    COrvixDoc twins[2];
    for (int k = 0; k < 2; ++k) {
        bench::FillBenchDocument(twins[k], trialCount, dir, texts[k]);
        if (RunCase(b, twins[k], EXPORT_CSV, EXPORT_BASIC, k ? "letters" : "ASCII") <= 0)
            return 1;
    }
    // The ratio from exports of the two in turn, so that the machine's other work weighs on
    // both alike.
    Timing turns[2];
    for (int r = 0; r < 3 * reps; ++r)
        for (int k = 0; k < 2; ++k)
            if (!ExportOnce(twins[k], dir + "/twin.csv", EXPORT_CSV, EXPORT_BASIC, turns[k]))
                return 1;
    printf("letters take %.2fx the time of ASCII (the best of %d exports of each, in turn: %.2f and %.2f ms)\n",
           turns[1].written / turns[0].written, 3 * reps, turns[1].written * 1e3, turns[0].written * 1e3);
    return 0;
}
