// Times the first open and the first save of a data file in a fresh process, at 1,000,
// 10,000 and 100,000 recorded trials (spikes on eight channels, eye samples at 60 Hz over
// about 2 s, task events and key readings), beside a plain read() of the same file into a
// fresh buffer and a plain write() + fsync() of the same bytes. Each figure is the median of
// several runs, each run a new process (this program started again in a child mode), so that
// no run reuses memory an earlier one freed. Opens are timed with the page cache dropped
// (when this user may drop it) and with the file cached. Not a test: run it by hand.
// Usage: bench_datafile [runs [trials...]]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "document/orvixdoc.h"
#include "platform/files/atomic_file.h"
#include "platform/runtime/random.h"
#include "platform/settings/registry.h"
#include "platform/ui/ui.h"
#include "tests/common/bench_support.h"

using namespace orvix;

namespace {

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// One trial as the runner records it: about 2 s, figure on at 300 ms and off at 1800 ms.
CTrial* RecordedTrial(CRandom15& rnd, int index, int commands)
{
    auto* t = new CTrial;
    t->commandIndex = index % commands;
    t->repetition = index / commands;
    const uint32_t length = 1900 + static_cast<uint32_t>(rnd.Next() % 200);
    t->SetLength(length);
    t->SetStartTime(1000000u + static_cast<uint32_t>(index) * 2500u);
    t->SetResponse(1, 200 + rnd.Next() % 300, 0, 0, 1);
    // Eight channels at 10 to 80 spikes/s: about 150 spikes, in time order.
    uint32_t time = 0;
    while (true) {
        time += 1 + static_cast<uint32_t>(rnd.Next() % 260); // 0.1 ms units
        if (time >= length * 10)
            break;
        t->AddSpike(static_cast<uint16_t>(1u << (rnd.Next() % 8)), time);
    }
    for (uint32_t ms = 0; ms < length; ms += 17) { // 60 Hz
        t->hSamples.push_back(static_cast<int16_t>(2560 + rnd.Next() % 64 - 32));
        t->vSamples.push_back(static_cast<int16_t>(1280 + rnd.Next() % 64 - 32));
    }
    for (uint32_t ms : {250u, 1200u, 1850u}) {
        t->keyTimes.push_back(ms);
        t->keyCodes.push_back(static_cast<uint16_t>(0x20 + rnd.Next() % 4));
    }
    const uint32_t events[][2] = {{0, 1}, {50, 2}, {150, 3}, {300, 6}, {1800, 7}, {1850, 8}, {length, 9}};
    for (const auto& e : events) {
        t->eventTimes.push_back(e[0]);
        t->eventCodes.push_back(static_cast<uint8_t>(e[1]));
    }
    return t;
}

bool MakeFile(const std::string& path, int trials)
{
    COrvixDoc doc;
    doc.AddTestType("Orient");
    doc.GetExpParam("IVFile", CParam(nullptr, "grating.iv"));
    doc.GetBehavParam("AnalysisTime", CParam(nullptr, 800));
    for (int c = 0; c < 16; ++c)
        doc.commandLines.push_back("OR " + std::to_string(c * 22.5) + ", SF 2, TF 4");
    doc.ParseCommandFile(kNoAngleOffset);
    CRandom15 rnd(12345);
    for (int i = 0; i < trials; ++i)
        doc.AddTrial(RecordedTrial(rnd, i, 16));
    return doc.OnSaveDocument(path);
}

bool ReadAll(const std::string& path, std::vector<char>* keep, double* seconds)
{
    double t0 = Now();
    int fd = open(path.c_str(), O_RDONLY);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0)
        return false;
    size_t size = static_cast<size_t>(st.st_size), done = 0;
    char* buffer = static_cast<char*>(malloc(size));
    while (done < size) {
        ssize_t n = read(fd, buffer + done, size - done);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    close(fd);
    *seconds = Now() - t0;
    if (keep)
        keep->assign(buffer, buffer + done);
    free(buffer);
    return done == size;
}

// The peer of a save: the same bytes written to a fresh file, flushed and renamed.
bool WriteCopy(const std::vector<char>& bytes, const std::string& out, double* seconds)
{
    double t0 = Now();
    std::string tmp = out + ".tmp";
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    bool ok = WriteAll(fd, bytes.data(), bytes.size()) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok && rename(tmp.c_str(), out.c_str()) == 0;
    *seconds = Now() - t0;
    unlink(tmp.c_str());
    unlink(out.c_str());
    return ok;
}

// Child mode: one timed step in this fresh process; prints its seconds.
int Child(const std::string& mode, const std::string& path, const std::string& out)
{
    ReloadRegistry();
    CScriptedUI ui;
    double seconds = 0.0;
    bool ok = false;
    if (mode == "make") { // for profiling by hand: --child make <path> <trials>
        return MakeFile(path, atoi(out.c_str())) ? 0 : 1;
    } else if (mode == "read") {
        ok = ReadAll(path, nullptr, &seconds);
    } else if (mode == "write") {
        std::vector<char> bytes;
        ok = ReadAll(path, &bytes, &seconds) && WriteCopy(bytes, out, &seconds);
    } else {
        COrvixDoc doc;
        double t0 = Now();
        ok = doc.OnOpenDocument(path);
        seconds = Now() - t0;
        if (ok && mode == "save") {
            t0 = Now();
            ok = doc.OnSaveDocument(out);
            seconds = Now() - t0;
            unlink(out.c_str());
        }
    }
    if (!ok)
        return 1;
    printf("%.9f\n", seconds);
    return 0;
}

// A cold open: the whole page cache is dropped (when this user may), a run on the file reads
// the program's own code back in, and the file alone is then evicted again, so that the
// timed run finds only the file cold.
bool g_droppedAll = true;

bool DropCaches(const std::string& self, const std::string& path)
{
    sync();
    FILE* f = fopen("/proc/sys/vm/drop_caches", "w");
    bool dropped = f && fputs("3\n", f) >= 0;
    if (f)
        dropped = fclose(f) == 0 && dropped;
    g_droppedAll = g_droppedAll && dropped;
    if (orvix_test::RunCommand(self + " --child open " + path + " - >/dev/null") != 0)
        return false;
    int fd = open(path.c_str(), O_RDONLY);
    bool evicted = fd >= 0 && fdatasync(fd) == 0 && posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
    if (fd >= 0)
        close(fd);
    return evicted;
}

// Median MB/s of `runs` children in `mode`; 0 when a run failed.
double Rate(const std::string& self, const std::string& mode, const std::string& path, const std::string& out,
            size_t bytes, int runs, bool cold)
{
    std::vector<double> seconds;
    for (int r = 0; r < runs; ++r) {
        double warm;
        if (cold && !DropCaches(self, path))
            return 0.0;
        if (!cold && r == 0)
            ReadAll(path, nullptr, &warm);
        const std::vector<std::string> words = orvix_test::CommandWords(self + " --child " + mode + " " + path + " " + out);
        const double s = words.size() == 1 ? atof(words[0].c_str()) : 0.0;
        if (s <= 0.0)
            return 0.0;
        seconds.push_back(s);
    }
    return static_cast<double>(bytes) / 1e6 / orvix_test::Median(seconds);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && strcmp(argv[1], "--child") == 0)
        return Child(argv[2], argv[3], argv[4]);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    std::vector<int> sizes;
    for (int i = 2; i < argc; ++i)
        sizes.push_back(atoi(argv[i]));
    if (sizes.empty())
        sizes = {1000, 10000, 100000};
    char self[4096];
    ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
    if (len <= 0)
        return 1;
    self[len] = 0;
    orvix_test::ScopedTempDir temp("orvix-bench-datafile");
    const std::string& dir = temp.Path();
    const std::string path = dir + "/bench.oxv", out = dir + "/saved.oxv";
    setenv("ORVIX_REGISTRY", (dir + "/Orvix.reg").c_str(), 1);
    setenv("ORVIX_DRIVES", (dir + "/drives").c_str(), 1);
    ReloadRegistry();
    CScriptedUI ui;

    printf("MB/s, median of %d fresh processes each; peers: read() into a fresh buffer, write()+fsync()+rename()\n",
           runs);
    printf("%8s %7s | %9s %9s %5s | %9s %9s %5s | %9s %9s %5s\n", "trials", "MB", "open cold", "read cold", "x",
           "open warm", "read warm", "x", "save", "write", "x");
    int status = 0;
    for (int trials : sizes) {
        if (!MakeFile(path, trials)) {
            status = 1;
            break;
        }
        struct stat st;
        stat(path.c_str(), &st);
        const auto bytes = static_cast<size_t>(st.st_size);
        double openCold = Rate(self, "open", path, out, bytes, runs, true);
        double readCold = Rate(self, "read", path, out, bytes, runs, true);
        double openWarm = Rate(self, "open", path, out, bytes, runs, false);
        double readWarm = Rate(self, "read", path, out, bytes, runs, false);
        double save = Rate(self, "save", path, out, bytes, runs, false);
        double write = Rate(self, "write", path, out, bytes, runs, false);
        auto ratio = [](double a, double b) { return a > 0.0 ? b / a : 0.0; };
        printf("%8d %7.1f | %9.0f %9.0f %5.2f | %9.0f %9.0f %5.2f | %9.0f %9.0f %5.2f\n", trials, bytes / 1e6,
               openCold, readCold, ratio(openCold, readCold), openWarm, readWarm, ratio(openWarm, readWarm), save,
               write, ratio(save, write));
        fflush(stdout);
    }
    if (!g_droppedAll)
        printf("cold: only the file was evicted (this user cannot drop the whole page cache)\n");
    printf("x: how many times faster the peer is; 0: the step failed\n");
    return status;
}
