// Times the database export of one data file of 10,000 recorded trials with their spikes
// (about 1.5 million rows) into SQLite through its ODBC driver and into PostgreSQL through
// psqlODBC, and beside each the database's own bulk load of the same rows in the same run:
// sqlite3's .import and PostgreSQL's COPY (psql's \copy) of a CSV file of those rows. The
// PostgreSQL server is a throw-away cluster started for the run (tests/export/odbc/
// pg_cluster.sh), as in the tests. Not a test: run it by hand.
// Usage: bench_odbc [trials [runs [sqlite|postgres]]]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>

#include "document/orvixdoc.h"
#include "export/exportprogress.h"
#include "export/odbctrialexport.h"
#include "export/trialdata.h"
#include "platform/odbc/odbc.h"
#include "platform/runtime/clock.h"
#include "platform/settings/registry.h"
#include "platform/text/numbers.h"
#include "platform/ui/ui.h"
#include "tests/common/bench_support.h"
#include "tests/export/bench_document.h"

using namespace orvix;

namespace {

double Seconds() { return static_cast<double>(Clock().Counter()) / Clock().CounterFrequency(); }

// This process's processor time (user and system): the driver's share of the export.
double CpuSeconds()
{
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

const char* const kCreate = "Create Table ORIENT_SPIKE ( CELLID char(6), REP decimal(2), TRIALNUM decimal(6), "
                            "SPIKEEVENT decimal(6), SPIKETIME decimal(9,1) ) ";

// The rows the export inserts, as CSV for the bulk loaders: the closing row's 65535 too.
long long WriteRowsCsv(COrvixDoc& doc, const std::string& path)
{
    CTrialData data(doc);
    std::string out;
    long long rows = 0;
    for (int i = 0; i < data.TrialCount(); ++i) {
        const CTrial& t = data.Trial(i);
        const float f = data.TimeBase(i);
        const std::string prefix = data.Name().cellId + "," + FormatInt(data.Name().repetition) + "," + FormatInt(i) + ",";
        for (size_t k = 0; k < CTrialData::SpikeCount(t); ++k, ++rows)
            out += prefix + FormatInt(t.spikeMasks[k]) + "," + Format("%.1f", CTrialData::SpikeTime(t, k, f)) + "\n";
        out += prefix + "65535," + Format("%.1f", CTrialData::EndTime(t, f)) + "\n";
        ++rows;
    }
    std::ofstream(path, std::ios::binary) << out;
    return rows;
}

long long CountRows(COdbcConnection& db)
{
    COdbcStatement s(db);
    s.ExecDirect("SELECT count(*) FROM ORIENT_SPIKE");
    return s.Fetch() ? std::stoll(s.GetText(1)) : -1;
}

// The best time of the export into a fresh table, and the rows it holds after.
double TimeExport(COrvixDoc& doc, const std::string& connect, int runs, long long& rows, double& cpu)
{
    double best = 1e300;
    for (int r = 0; r < runs; ++r) {
        COdbcConnection db;
        db.Open(connect);
        try {
            db.ExecuteSQL("DROP TABLE ORIENT_SPIKE");
        } catch (const COdbcError&) {
        }
        OdbcOptions options;
        COdbcTrialExport writer(db, options);
        IExportProgress progress;
        writer.Begin();
        const double t0 = Seconds(), c0 = CpuSeconds();
        if (!writer.ExportDocument(doc, EXPORT_SPIKE, progress) || writer.Failed())
            return -1;
        if (Seconds() - t0 < best) {
            best = Seconds() - t0;
            cpu = CpuSeconds() - c0;
        }
        rows = CountRows(db);
    }
    return best;
}

// The best time of a shell command (the bulk loader), run `runs` times after `before`.
double TimeCommand(const std::string& before, const std::string& command, int runs)
{
    double best = 1e300;
    for (int r = 0; r < runs; ++r) {
        if (orvix_test::RunCommand(before) != 0)
            return -1;
        const double t0 = Seconds();
        if (orvix_test::RunCommand(command) != 0)
            return -1;
        best = std::min(best, Seconds() - t0);
    }
    return best;
}

void Report(const char* database, long long rows, double ours, double cpu, const char* loader, double theirs,
            double goal)
{
    printf("%-10s %9lld rows: export %6.2f s %9.0f rows/s (%4.2f s CPU here) | %-15s %6.2f s %9.0f rows/s | %.2fx "
           "(goal %.0fx)\n",
           database, rows, ours, rows / ours, cpu, loader, theirs, rows / theirs, ours / theirs, goal);
}

} // namespace

int main(int argc, char** argv)
{
    const int trialCount = argc > 1 ? atoi(argv[1]) : 10000;
    const int runs = argc > 2 ? atoi(argv[2]) : 3;
    const std::string only = argc > 3 ? argv[3] : "";
    orvix_test::ScopedTempDir temp("orvix-bench-odbc");
    const std::string& dir = temp.Path();
    std::filesystem::permissions(dir, std::filesystem::perms::all, std::filesystem::perm_options::add);
    setenv("ORVIX_REGISTRY", (dir + "/Orvix.reg").c_str(), 1);
    setenv("ORVIX_DRIVES", (dir + "/drives").c_str(), 1);
    setenv("ODBCSYSINI", ORVIX_ODBC_DIR, 1);
    setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
    ReloadRegistry();
    CScriptedUI ui;

    COrvixDoc doc;
    bench::FillBenchDocument(doc, trialCount, dir);
    const std::string csv = dir + "/rows.csv";
    const long long expected = WriteRowsCsv(doc, csv);
    std::filesystem::permissions(csv, std::filesystem::perms::all, std::filesystem::perm_options::add);
    printf("%d trials, %lld spike rows, best of %d runs; the bulk loaders read the same rows from a CSV file.\n",
           trialCount, expected, runs);

    int status = 0;
    long long rows = 0;
    // SQLite: the driver on a database file; sqlite3's .import into another.
    if (only != "postgres") {
    const std::string sqliteDb = dir + "/odbc.db", importDb = dir + "/import.db";
    double cpu = 0;
    double ours = TimeExport(doc, "Driver=SQLite3;Database=" + sqliteDb, runs, rows, cpu);
    double theirs = TimeCommand("rm -f " + importDb,
                                "sqlite3 " + importDb + " \"" + kCreate + "\" \".mode csv\" \".import " + csv +
                                    " ORIENT_SPIKE\"",
                                runs);
    if (ours < 0 || theirs < 0 || rows != expected) {
        fprintf(stderr, "SQLite: the export or the import failed (%lld rows of %lld)%s\n", rows, expected,
                ui.messages.empty() ? "" : (": " + ui.messages.back().text).c_str());
        status = 1;
    } else {
        Report("SQLite", rows, ours, cpu, "sqlite3 .import", theirs, 3);
    }
    }
    if (only == "sqlite")
        return status;

    // PostgreSQL: a cluster of its own for the run.
    const std::string state = dir + "/pg.state";
    const std::string cluster = std::string("'") + ORVIX_PG_SCRIPT + "' ";
    if (orvix_test::RunCommand(cluster + "start " + state + " " + dir + "/odbc.ini >/dev/null") != 0) {
        fprintf(stderr, "PostgreSQL: the cluster did not start\n");
        return 1;
    }
    std::string pgDir, port;
    {
        std::ifstream in(state);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("dir=", 0) == 0)
                pgDir = line.substr(4);
            if (line.rfind("port=", 0) == 0)
                port = line.substr(5);
        }
    }
    const std::string psql = "psql -q -h '" + pgDir + "' -p " + port + " -U tc tctest ";
    double cpu = 0;
    double ours = TimeExport(doc, "DSN=orvix_pg", runs, rows, cpu);
    double theirs = TimeCommand(psql + "-c 'SET client_min_messages = warning' -c 'DROP TABLE IF EXISTS copied' -c \"" + std::string(kCreate).replace(13, 12, "copied") +
                             "\"",
                         psql + "-c \"\\copy copied from '" + csv + "' csv\"", runs);
    if (ours < 0 || theirs < 0 || rows != expected) {
        fprintf(stderr, "PostgreSQL: the export or COPY failed (%lld rows of %lld)%s\n", rows, expected,
                ui.messages.empty() ? "" : (": " + ui.messages.back().text).c_str());
        status = 1;
    } else {
        Report("PostgreSQL", rows, ours, cpu, "COPY (\\copy)", theirs, 5);
    }
    orvix_test::RunCommand(cluster + "stop " + state);
    return status;
}
