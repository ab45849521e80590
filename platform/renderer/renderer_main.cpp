// orvix-renderer: the stand-in renderer program. Ports from ORVIX_RENDERER_PORT and
// ORVIX_CONSOLE_PORT (defaults 22222 and 20000; 0 takes a free port); scenes are looked for
// in the folder given with --scenes (default: the current folder). It prints the ports it
// listens on and runs until it is stopped. It serves one program at a time, and only the
// user's own; the connections it refuses are said on stderr, at most one line a second.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/net/tcpsocket.h"
#include "platform/renderer/standin.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void OnSignal(int) { g_stop = 1; }

int Port(const char* variable, int fallback)
{
    const char* text = getenv(variable);
    if (!text || !*text)
        return fallback;
    char* end = nullptr;
    long v = strtol(text, &end, 10);
    return (end && *end == '\0' && v >= 0 && v < 65536) ? static_cast<int>(v) : fallback;
}

} // namespace

int main(int argc, char** argv)
{
    std::string scenes = ".";
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--scenes") && i + 1 < argc)
            scenes = argv[++i];
        else if (!strcmp(argv[i], "--verbose"))
            verbose = true;
        else {
            fprintf(stderr, "usage: orvix-renderer [--scenes DIR] [--verbose]\n");
            return 2;
        }
    }
    signal(SIGTERM, OnSignal);
    signal(SIGINT, OnSignal);
    signal(SIGPIPE, SIG_IGN);

    const int commandPort = Port("ORVIX_RENDERER_PORT", 22222), consolePort = Port("ORVIX_CONSOLE_PORT", 20000);
    orvix::CRendererStandIn renderer(commandPort, consolePort, scenes);
    renderer.verbose = verbose;
    renderer.onRefusalReport = [](int count, const std::string& last) {
        if (count == 1)
            fprintf(stderr, "orvix-renderer: refused %s\n", last.c_str());
        else
            fprintf(stderr, "orvix-renderer: refused %d connections since the last line; the last: %s\n", count,
                    last.c_str());
    };
    renderer.onSceneProblem = [](const std::string& why) { fprintf(stderr, "orvix-renderer: %s\n", why.c_str()); };
    if (int e = renderer.Start()) {
        // The command port is taken first: without it, it is the one that failed.
        const bool command = renderer.CommandPort() == 0;
        fprintf(stderr, "orvix-renderer: cannot listen on 127.0.0.1 port %d (its %s port): %s\n",
                command ? commandPort : consolePort, command ? "command" : "console", orvix::ErrorText(e).c_str());
        return 1;
    }
    printf("orvix-renderer listening: command port %d, console port %d\n", renderer.CommandPort(),
           renderer.ConsolePort());
    fflush(stdout);
    while (!g_stop)
        renderer.RunOnce(200);
    return 0;
}
