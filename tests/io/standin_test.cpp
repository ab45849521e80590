// The stand-in renderer's own conventions: the scene description file, its answers, and whom
// it serves.
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "platform/net/tcpsocket.h"
#include "platform/renderer/standin.h"
#include "tests/common/test_support.h"

using namespace orvix;

TEST(StandInTest, SceneDescriptionLinesAndTheBuiltInSet)
{
    const orvix_test::ScopedTempDir temp("orvix-scenes");
    const std::string& dir = temp.Path();
    orvix_test::WriteFile(dir + "/a.iv.params", "# comment\n\n  POSH\t1.5  \nLABEL\nTEXT two words|x\r\n");
    SceneParams p = LoadSceneParams("a.iv", dir);
    EXPECT_EQ(p, (SceneParams{{"POSH", "1.5"}, {"LABEL", ""}, {"TEXT", "two words|x"}}));
    // An absolute scene name is not looked for in the scene folder.
    EXPECT_EQ(LoadSceneParams(dir + "/a.iv", "/nowhere"), p);
    EXPECT_EQ(LoadSceneParams("missing.iv", dir), DefaultSceneParams());
    // UTF-8 lines become the code page's bytes of the packets, a line that is not UTF-8 is the
    // code page's already; one with a letter the code page lacks is left out and said.
    orvix_test::WriteFile(dir + "/caf\xC3\xA9.iv.params", "U 5\xC2\xB5V\nN caf\xC3\xA9\nOLD 30\xB0\nW 1\xCE\xA9\nOR 2\n");
    std::vector<std::string> refused;
    EXPECT_EQ(LoadSceneParams("caf\xE9.iv", dir, &refused),
              (SceneParams{{"U", "5\xB5V"}, {"N", "caf\xE9"}, {"OLD", "30\xB0"}, {"OR", "2"}}));
    EXPECT_EQ(refused, std::vector<std::string>{"The letter U+03A9 at line 4, column 4 of " + dir
                                                + "/caf\xC3\xA9.iv.params cannot be kept: the program's text holds "
                                                  "only the letters of the code page Windows-1252. The line is left out."});
}

TEST(StandInTest, AnswersSceneLoadsAndAcknowledgesCommands)
{
    const orvix_test::ScopedTempDir temp("orvix-scenes");
    const std::string& dir = temp.Path();
    orvix_test::WriteFile(dir + "/s.iv.params", "OR 45\n");
    CRendererStandIn renderer(0, 0, dir);
    ASSERT_EQ(renderer.Start(), 0);
    CTcpSocket client;
    ASSERT_EQ(client.Connect("127.0.0.1", renderer.CommandPort(), 1000), 0);
    renderer.RunOnce(1000); // accepts

    const char load[] = "\x05\x05s.iv";
    ASSERT_EQ(client.Send(load, 7), 7);
    renderer.RunOnce(1000);
    uint8_t buffer[64];
    long n = client.Recv(buffer, sizeof buffer, 1000);
    // Type 1 with one definition, then the definition: index 0 0 and "OR 45", no NUL.
    ASSERT_EQ(n, 3 + 2 + 2 + 5);
    EXPECT_EQ(orvix_test::ToHex(std::vector<uint8_t>(buffer, buffer + n)), "01 01 01 06 07 00 00 4F 52 20 34 35");
    EXPECT_EQ(renderer.scene, "s.iv");

    // Object 0 := "90" with the wait flag, object 0 := "91" without.
    const uint8_t commands[] = {2, 5, 0, 1, '9', '0', 0, 2, 5, 0, 0, '9', '1', 0};
    ASSERT_EQ(client.Send(commands, sizeof commands), static_cast<long>(sizeof commands));
    renderer.RunOnce(1000);
    n = client.Recv(buffer, sizeof buffer, 1000);
    EXPECT_EQ(orvix_test::ToHex(std::vector<uint8_t>(buffer, buffer + n)), "07 01 00");
    EXPECT_EQ(renderer.values[0], "91");
    EXPECT_EQ(renderer.commands, 2);
}

// The stand-in runs as the user and reads the user's scene files for whoever asks, so it serves
// only its own user: a stranger's links, and a link whose owner cannot be told (its end closed
// already), are closed before anything is said or read, each with a line, and do not make it
// busy: the user's own program is then served.
TEST(StandInTest, ServesOnlyItsOwnUser)
{
    if (!orvix_test::CanActAsOtherUser())
        GTEST_SKIP() << "only root can act as another user";
    const orvix_test::ScopedTempDir temp("orvix-scenes");
    const std::string& dir = temp.Path();
    orvix_test::WriteFile(dir + "/private.iv.params", "SECRET 1\n");
    chmod((dir + "/private.iv.params").c_str(), 0600);
    CRendererStandIn renderer(0, 0, dir);
    ASSERT_EQ(renderer.Start(), 0);
    std::vector<std::string> said;
    renderer.onRefused = [&said](const char* link, const std::string& why) { said.push_back(link + (": " + why)); };
    const char load[] = "\x05\x0bprivate.iv";
    auto nothingCame = [](CTcpSocket& link) {
        char buffer[64];
        const long n = link.Recv(buffer, sizeof buffer, 2000);
        return n == kRecvClosed || n == kRecvError;
    };
    std::atomic<bool> stop{false};
    std::thread serving([&] {
        while (!stop)
            renderer.RunOnce(10);
    });
    EXPECT_TRUE(orvix_test::AsOtherUser([&] {
        CTcpSocket console, command;
        return console.Connect("127.0.0.1", renderer.ConsolePort(), 1000) == 0 && nothingCame(console)
               && command.Connect("127.0.0.1", renderer.CommandPort(), 1000) == 0 && command.Send(load, sizeof load) >= 0
               && nothingCame(command);
    }));
    stop = true;
    serving.join();
    {
        CTcpSocket gone;
        ASSERT_EQ(gone.Connect("127.0.0.1", renderer.ConsolePort(), 1000), 0);
        gone.Close();
        renderer.RunOnce(1000);
    }
    const std::string other = std::to_string(orvix_test::kOtherUser), me = std::to_string(geteuid());
    EXPECT_EQ(said, (std::vector<std::string>{"console: it is user " + other + "'s, not this user's (" + me + ")",
                                              "command: it is user " + other + "'s, not this user's (" + me + ")",
                                              "console: its owner cannot be told (its other end is no longer connected)"}));
    EXPECT_EQ(renderer.scene, "");

    CTcpSocket console, command;
    ASSERT_EQ(console.Connect("127.0.0.1", renderer.ConsolePort(), 1000), 0);
    renderer.RunOnce(1000);
    char buffer[64];
    const long n = console.Recv(buffer, sizeof buffer, 1000);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(std::max(n, 0L))), "Inventor started!\n");
    ASSERT_EQ(command.Connect("127.0.0.1", renderer.CommandPort(), 1000), 0);
    renderer.RunOnce(1000);
    ASSERT_EQ(command.Send(load, sizeof load), static_cast<long>(sizeof load));
    renderer.RunOnce(1000);
    EXPECT_EQ(renderer.scene, "private.iv");
    EXPECT_EQ(renderer.values[0], "1");
    EXPECT_EQ(renderer.refused, 3);
}

// A flood of connections that are closed at once (another user's connect-and-close loop: their
// owner can no longer be told) neither fills the ports' queues, which take the system's whole
// queue, nor keeps the user's own program waiting: one turn closes all that waits and serves it.
TEST(StandInTest, AFloodOfClosedConnectionsKeepsNoProgramOut)
{
    CRendererStandIn renderer(0, 0, ".");
    ASSERT_EQ(renderer.Start(), 0);
    constexpr int kFlood = 100;
    for (int i = 0; i < kFlood; ++i) {
        CTcpSocket gone;
        ASSERT_EQ(gone.Connect("127.0.0.1", renderer.ConsolePort(), 1000), 0) << i << " connections were queued";
    }
    CTcpSocket console;
    ASSERT_EQ(console.Connect("127.0.0.1", renderer.ConsolePort(), 1000), 0);
    renderer.RunOnce(1000);
    char buffer[64];
    const long n = console.Recv(buffer, sizeof buffer, 1000);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(std::max(n, 0L))), "Inventor started!\n");
    EXPECT_EQ(renderer.refused, kFlood);
}

// Another user's loop of connections that connect and close at once, while the user's program
// sends acknowledged commands: each turn reads and answers the program's commands before it
// takes a stranger, so no stranger is taken while a command waits, and the refusals are
// reported at most once a second, with their count.
TEST(StandInTest, StrangersConnectingInALoopNeverComeBeforeTheProgramsCommands)
{
    if (!orvix_test::CanActAsOtherUser())
        GTEST_SKIP() << "only root can act as another user";
    using Clock = std::chrono::steady_clock;
    CRendererStandIn renderer(0, 0, ".");
    ASSERT_EQ(renderer.Start(), 0);
    int sent = 0, strangersFirst = 0, reports = 0, reported = 0;
    Clock::duration shortestGap = std::chrono::hours(1);
    Clock::time_point lastReport;
    renderer.onRefused = [&](const char*, const std::string&) { strangersFirst += renderer.commands < sent; };
    renderer.onRefusalReport = [&](int count, const std::string&) {
        if (reports++)
            shortestGap = std::min(shortestGap, Clock::now() - lastReport);
        lastReport = Clock::now();
        reported += count;
    };
    CTcpSocket console, command;
    ASSERT_EQ(console.Connect("127.0.0.1", renderer.ConsolePort(), 1000), 0);
    renderer.RunOnce(1000);
    ASSERT_EQ(command.Connect("127.0.0.1", renderer.CommandPort(), 1000), 0);
    renderer.RunOnce(1000);

    int stop[2];
    ASSERT_EQ(pipe(stop), 0);
    const int ports[2] = {renderer.CommandPort(), renderer.ConsolePort()};
    std::thread strangers([&] {
        orvix_test::AsOtherUser([&] {
            close(stop[1]);
            pollfd p{stop[0], POLLIN, 0};
            for (int i = 0; poll(&p, 1, 0) == 0; ++i)
                CTcpSocket().Connect("127.0.0.1", ports[i % 2], 100); // and closed at once
            return true;
        });
    });
    for (uint8_t object = 0; object < 100; ++object) {
        std::this_thread::sleep_for(std::chrono::milliseconds(3)); // strangers queue up meanwhile
        const uint8_t on[] = {2, 4, object, 1, '1', 0};
        ASSERT_EQ(command.Send(on, sizeof on), static_cast<long>(sizeof on));
        ++sent;
        uint8_t ack[3] = {};
        for (int turn = 0; turn < 100 && command.Available() < 3; ++turn)
            renderer.RunOnce(100);
        ASSERT_EQ(command.Recv(ack, sizeof ack, 0), 3);
        EXPECT_EQ(orvix_test::ToHex({ack, ack + 3}), orvix_test::ToHex({7, 1, object}));
    }
    close(stop[1]);
    strangers.join();
    close(stop[0]);
    for (int before = -1; before != renderer.refused;) {
        before = renderer.refused;
        renderer.RunOnce(50);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    renderer.RunOnce(0); // the last count is reported once its second is over

    EXPECT_GT(renderer.refused, 100);
    EXPECT_EQ(strangersFirst, 0);
    EXPECT_EQ(reported, renderer.refused);
    EXPECT_GE(reports, 2);
    EXPECT_GE(shortestGap, std::chrono::milliseconds(990));
}
