// Times saving and opening a data file of 10,000 recorded trials (spikes on eight channels,
// eye samples at 60 Hz over about 2 s, task events and key readings), in memory (the
// archive alone) and through the document's own save and open, and reports MB/s and the
// peak memory each step needs beyond the document. Not a test: run it by hand.
// Usage: bench_datafile [trials]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <new>
#include <string>
#include <unistd.h>

#include "document/datafile_format.h"
#include "document/orvixdoc.h"
#include "platform/clock.h"
#include "platform/random.h"
#include "platform/registry.h"
#include "platform/ui.h"

using namespace orvix;

namespace {
size_t g_live = 0, g_peak = 0;
} // namespace

void* operator new(size_t size)
{
    void* p = malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    g_live += malloc_usable_size(p);
    g_peak = std::max(g_peak, g_live);
    return p;
}
void operator delete(void* p) noexcept
{
    if (p)
        g_live -= malloc_usable_size(p);
    free(p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {

// Live heap bytes and their peak, counted by the allocation operators below: unlike the
// resident set, they do not hide behind memory the allocator kept from an earlier step.
size_t Live() { return g_live; }
size_t Peak() { return g_peak; }
void ResetPeak() { g_peak = g_live; }

double Seconds() { return static_cast<double>(Clock().Counter()) / Clock().CounterFrequency(); }

template <class T>
size_t VectorBytes(const std::vector<T>& v)
{
    return v.capacity() * sizeof(T);
}

// The memory the trials of a document hold.
size_t TrialBytes(const COrvixDoc& doc)
{
    size_t bytes = 0;
    for (int i = 0; i < doc.GetTrialCount(); ++i) {
        const CTrial& t = *doc.GetTrial(i);
        bytes += sizeof t + VectorBytes(t.spikeMasks) + VectorBytes(t.spikeTimes) + VectorBytes(t.hSamples)
            + VectorBytes(t.vSamples) + VectorBytes(t.keyTimes) + VectorBytes(t.keyCodes) + VectorBytes(t.eventTimes)
            + VectorBytes(t.eventCodes) + t.comment.capacity();
    }
    return bytes;
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

struct Step {
    double best = 1e300;
    long extra = -1;
};

void Report(const char* what, const Step& s, size_t fileBytes)
{
    double mb = static_cast<double>(fileBytes) / 1e6;
    printf("%-34s %8.1f ms %8.1f MB/s   peak beyond the document %6.1f MB (%.2f x the file)\n", what, s.best * 1e3,
           mb / s.best, s.extra / 1e6, static_cast<double>(s.extra) / static_cast<double>(fileBytes));
}

} // namespace

int main(int argc, char** argv)
{
    const int trialCount = argc > 1 ? atoi(argv[1]) : 10000;
    const int reps = 3;
    char dirPattern[] = "/tmp/orvix-bench-XXXXXX";
    if (!mkdtemp(dirPattern))
        return 1;
    const std::string dir = dirPattern, path = dir + "/bench.oxv";
    setenv("ORVIX_REGISTRY", (dir + "/Orvix.reg").c_str(), 1);
    setenv("ORVIX_DRIVES", (dir + "/drives").c_str(), 1);
    ReloadRegistry();
    CScriptedUI ui;

    COrvixDoc doc;
    doc.AddTestType("Orient");
    doc.GetExpParam("IVFile", CParam(nullptr, "grating.iv"));
    doc.GetBehavParam("AnalysisTime", CParam(nullptr, 800));
    for (int c = 0; c < 16; ++c)
        doc.commandLines.push_back("OR " + std::to_string(c * 22.5) + ", SF 2, TF 4");
    doc.ParseCommandFile(kNoAngleOffset);
    CRandom15 rnd(12345);
    for (int i = 0; i < trialCount; ++i)
        doc.AddTrial(RecordedTrial(rnd, i, 16));

    Step write, save, read, open;
    size_t fileBytes = 0;
    for (int r = 0; r < reps; ++r) {
        ResetPeak();
        size_t before = Live();
        double t0 = Seconds();
        {
            CArchive ar;
            doc.Serialize(ar);
            fileBytes = ar.Buffer().size();
        }
        write.best = std::min(write.best, Seconds() - t0);
        write.extra = std::max(write.extra, static_cast<long>(Peak() - before));

        ResetPeak();
        before = Live();
        t0 = Seconds();
        if (!doc.OnSaveDocument(path))
            return 1;
        save.best = std::min(save.best, Seconds() - t0);
        save.extra = std::max(save.extra, static_cast<long>(Peak() - before));
    }
    for (int r = 0; r < reps; ++r) {
        std::vector<uint8_t> bytes;
        ReadWholeFile(path, bytes);
        ResetPeak();
        size_t before = Live();
        double t0 = Seconds();
        {
            CArchive ar(std::move(bytes));
            DataFileContents c;
            LoadDataFileContents(ar, c, true, false);
            read.best = std::min(read.best, Seconds() - t0);
            size_t held = 0;
            for (const auto& t : c.trials)
                held += sizeof *t + VectorBytes(t->spikeMasks) + VectorBytes(t->spikeTimes)
                    + VectorBytes(t->hSamples) + VectorBytes(t->vSamples) + VectorBytes(t->keyTimes)
                    + VectorBytes(t->keyCodes) + VectorBytes(t->eventTimes) + VectorBytes(t->eventCodes);
            read.extra = std::max(read.extra, static_cast<long>(Peak() - before - held));
        }

        COrvixDoc loaded;
        ResetPeak();
        before = Live();
        t0 = Seconds();
        if (!loaded.OnOpenDocument(path) || loaded.GetTrialCount() != trialCount) {
            fprintf(stderr, "the open failed\n");
            return 1;
        }
        open.best = std::min(open.best, Seconds() - t0);
        open.extra = std::max(open.extra, static_cast<long>(Peak() - before - TrialBytes(loaded)));
    }

    printf("%d trials, file %.1f MB, trials in memory %.1f MB\n", trialCount, fileBytes / 1e6,
           TrialBytes(doc) / 1e6);
    Report("store (archive in memory)", write, fileBytes);
    Report("save (OnSaveDocument, to disk)", save, fileBytes);
    Report("load (archive in memory)", read, fileBytes);
    Report("open (OnOpenDocument, from disk)", open, fileBytes);
    unlink(path.c_str());
    unlink((dir + "/Orvix.reg").c_str());
    rmdir((dir + "/drives").c_str());
    rmdir(dir.c_str());
    return 0;
}
