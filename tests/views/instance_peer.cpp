// Another running instance for the handshake tests: it listens in the folder given as its
// argument and answers whether its renderer link runs. Lines on its input set the answer
// ("1" runs, "0" does not); it says "ready" once it listens and ends when its input closes.
#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>

#include "platform/net/instances.h"

int main(int argc, char** argv)
{
    // Ends with the test that started it, also when a signal ends the test while this one is
    // stopped (which no other signal would end).
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    orvix::CInstanceHandshake handshake(argv[1]);
    handshake.SetRendererRunning(argc > 2 && std::string(argv[2]) == "1");
    if (!handshake.Listen())
        return 1;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[64];
        ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            app.quit();
            return;
        }
        for (ssize_t i = 0; i < n; ++i)
            if (buffer[i] == '0' || buffer[i] == '1')
                handshake.SetRendererRunning(buffer[i] == '1');
        printf("ok\n");
        fflush(stdout);
    });
    printf("ready\n");
    fflush(stdout);
    return app.exec();
}
