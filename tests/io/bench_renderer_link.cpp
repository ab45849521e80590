// Benchmark (not a test): the acknowledged renderer command over loopback, beside the raw
// socket round trip of the same bytes to the same stand-in renderer.
//   bench_renderer_link [rounds]
#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <vector>

#include "document/orvixdoc.h"
#include "io/deviceio.h"
#include "platform/net/tcpsocket.h"
#include "platform/renderer/standin.h"
#include "platform/settings/registry.h"
#include "runner/experiment.h"
#include "tests/common/tempdir.h"

using namespace orvix;
using Clock = std::chrono::steady_clock;

namespace {

struct Stats {
    double median, p99, mean;
};

Stats Summarise(std::vector<double> us)
{
    std::sort(us.begin(), us.end());
    double sum = 0;
    for (double v : us)
        sum += v;
    return {us[us.size() / 2], us[us.size() * 99 / 100], sum / static_cast<double>(us.size())};
}

} // namespace

int main(int argc, char** argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 20000;
    setenv("ORVIX_LOG", "/dev/null", 0);
    // The document reads (and so makes) its registry keys: a registry of the run's own.
    orvix_test::ScopedTempDir temp("orvix-bench-link");
    setenv("ORVIX_REGISTRY", (temp.Path() + "/Orvix.reg").c_str(), 1);
    ReloadRegistry();
    QCoreApplication app(argc, argv);

    // Two identical stand-ins, one for each client, so that the two kinds of round trip can
    // take turns in blocks and share whatever the machine does meanwhile.
    CRendererStandIn forRaw(0, 0, "."), forLink(0, 0, ".");
    if (forRaw.Start() != 0 || forLink.Start() != 0) {
        fprintf(stderr, "cannot listen\n");
        return 1;
    }
    std::atomic<bool> stop{false};
    std::thread serveRaw([&] {
        while (!stop)
            forRaw.RunOnce(50);
    });
    std::thread serveLink([&] {
        while (!stop)
            forLink.RunOnce(50);
    });

    // Raw: a type-2 command with the wait flag by plain send, its 3-byte acknowledgement by
    // plain blocking receives.
    CTcpSocket s;
    if (s.Connect("127.0.0.1", forRaw.CommandPort(), 2000) != 0) {
        fprintf(stderr, "cannot connect\n");
        return 1;
    }
    s.SetNoDelay(true);
    auto rawRound = [&] {
        const uint8_t command[] = {2, 4, 3, 1, '1', 0};
        send(s.Fd(), command, sizeof command, MSG_NOSIGNAL);
        uint8_t ack[3];
        size_t got = 0;
        while (got < sizeof ack) {
            ssize_t n = recv(s.Fd(), ack + got, sizeof ack - got, 0);
            if (n <= 0)
                return false;
            got += static_cast<size_t>(n);
        }
        return true;
    };

    // The I/O layer: SendCommand(3, "1", wait).
    setenv("ORVIX_RENDERER_PORT", std::to_string(forLink.CommandPort()).c_str(), 1);
    CExperiment experiment;
    CDeviceIO& deviceIO = experiment.deviceIO;
    COrvixDoc doc;
    experiment.Attach(&doc);
    doc.GetBehavParam("SGI", CParam(nullptr, "127.0.0.1"));
    doc.GetBehavParam("SerialPort", CParam(nullptr, "/nonexistent/orvix-bench-tty"));
    deviceIO.Open(&doc);
    deviceIO.SetRendererRunning(true);
    auto linkRound = [&deviceIO] { return deviceIO.SendCommand(3, "1", true); };

    std::vector<double> raw, acked;
    const int block = 1000;
    for (int done = -block; done < rounds; done += block) { // the first block warms up
        for (int pass = 0; pass < 2; ++pass) {
            std::vector<double>& into = pass == 0 ? raw : acked;
            for (int i = 0; i < block; ++i) {
                auto t0 = Clock::now();
                if (!(pass == 0 ? rawRound() : linkRound())) {
                    fprintf(stderr, "round trip failed\n");
                    return 1;
                }
                if (done >= 0)
                    into.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
            }
        }
    }
    deviceIO.Close();
    stop = true;
    serveRaw.join();
    serveLink.join();

    Stats r = Summarise(raw), a = Summarise(acked);
    printf("rounds: %d each, in alternating blocks of %d (after one warm-up block each)\n", rounds, block);
    printf("raw socket round trip:       median %7.2f us  mean %7.2f us  p99 %7.2f us\n", r.median, r.mean, r.p99);
    printf("acknowledged SendCommand:    median %7.2f us  mean %7.2f us  p99 %7.2f us\n", a.median, a.mean, a.p99);
    printf("ratio (median):              %.2f  (goal: within 1.5)\n", a.median / r.median);
    return 0;
}
