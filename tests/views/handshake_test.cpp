// The handshake between running instances, with another instance in a process of its own.
#include <QProcess>
#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "document/orvixdoc.h"
#include "platform/eventpump.h"
#include "platform/instances.h"
#include "tests/document/doc_fixture.h"

using namespace orvix;

namespace {

const char* const kRefusal = "Only one copy of the Orvix program can access the system resources at the same time.\n"
                             "Please close other running Orvix programs first.";

class HandshakeTest : public DocTest {
protected:
    void SetUp() override
    {
        DocTest::SetUp();
        folder = dir + "/instances";
    }
    void TearDown() override
    {
        if (peer.state() != QProcess::NotRunning) {
            peer.closeWriteChannel();
            if (!peer.waitForFinished(3000))
                peer.kill();
            peer.waitForFinished(3000);
        }
        DocTest::TearDown();
    }
    // Starts the other instance and waits until it listens.
    void StartPeer(bool rendererRunning)
    {
        peer.start(ORVIX_INSTANCE_PEER, {QString::fromStdString(folder), rendererRunning ? "1" : "0"});
        ASSERT_TRUE(peer.waitForStarted(5000));
        ASSERT_TRUE(peer.waitForReadyRead(5000));
        ASSERT_EQ(peer.readLine().trimmed(), "ready");
    }
    void SetPeerAnswer(bool rendererRunning)
    {
        peer.write(rendererRunning ? "1\n" : "0\n");
        ASSERT_TRUE(peer.waitForReadyRead(5000));
        peer.readAll();
    }

    // A stop signal takes effect a moment after it was sent: the process state says when.
    static bool WaitUntilStopped(pid_t pid)
    {
        for (int i = 0; i < 500; ++i) {
            std::string stat = orvix_test::ReadFile("/proc/" + std::to_string(pid) + "/stat");
            size_t close = stat.rfind(')');
            if (close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'T')
                return true;
            usleep(2000);
        }
        return false;
    }

    std::string folder;
    QProcess peer;
};

} // namespace

TEST_F(HandshakeTest, TheSecondInstanceIsRefusedWhileTheFirstsRendererLinkRuns)
{
    StartPeer(false);
    CInstanceHandshake me(folder);
    ASSERT_TRUE(me.Listen());
    EXPECT_FALSE(me.AskOtherInstances());

    SetPeerAnswer(true);
    EXPECT_TRUE(me.AskOtherInstances());

    // The document's first Enable asks, and refuses with the program's message.
    COrvixDoc doc;
    experiment.Attach(&doc);
    doc.hooks.askOtherInstances = [&me] { return me.AskOtherInstances(); };
    doc.OnEnable();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, kRefusal);
    EXPECT_EQ(experiment.GetRunFlag(), 0);
    experiment.Attach(nullptr);
}

TEST_F(HandshakeTest, EveryOtherInstanceIsAsked)
{
    // Two instances in this process and one outside: each is asked, and the one whose link
    // runs says so, while the asker serves its own events.
    CInstanceHandshake me(folder);
    me.SetRendererRunning(true);
    ASSERT_TRUE(me.Listen());
    StartPeer(false);
    CInstanceHandshake third(folder);
    int served = 0;
    EXPECT_TRUE(third.AskOtherInstances(CInstanceHandshake::kAnswerTimeoutMs, [&served](int ms) {
        ++served;
        PumpEvents(ms);
        return true;
    }));
    EXPECT_GT(served, 0);
    me.SetRendererRunning(false);
    EXPECT_FALSE(third.AskOtherInstances());
    // A quit while waiting ends the asking at once.
    me.SetRendererRunning(true);
    EXPECT_FALSE(third.AskOtherInstances(CInstanceHandshake::kAnswerTimeoutMs, [](int) { return false; }));
}

TEST_F(HandshakeTest, AGoneOrSilentInstanceCountsAsNo)
{
    // A socket file nobody listens on any more: no, and the file is cleared away.
    mkdir(folder.c_str(), 0700);
    std::string stale = folder + "/99999999";
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "%s", stale.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);
    CInstanceHandshake me(folder);
    ASSERT_TRUE(me.Listen());
    EXPECT_FALSE(me.AskOtherInstances());
    EXPECT_NE(access(stale.c_str(), F_OK), 0);

    // A stopped instance never answers: no, once the time is up.
    StartPeer(true);
    ASSERT_EQ(kill(static_cast<pid_t>(peer.processId()), SIGSTOP), 0);
    ASSERT_TRUE(WaitUntilStopped(static_cast<pid_t>(peer.processId())));
    EXPECT_FALSE(me.AskOtherInstances(300));
    kill(static_cast<pid_t>(peer.processId()), SIGCONT);
    EXPECT_TRUE(me.AskOtherInstances());
    EXPECT_EQ(CInstanceHandshake::kAnswerTimeoutMs, 2000);
}

// Where no session names a runtime folder, the shared "<temp>/orvix-<uid>" is used only when it
// is a folder of the user's that nobody else may enter; otherwise a private one, which goes
// with the handshake.
TEST_F(HandshakeTest, TheFallbackFolderIsUsedOnlyWhenItIsTheUsersOwn)
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"), instances = qgetenv("ORVIX_INSTANCES"),
                     temp = qgetenv("TMPDIR");
    qunsetenv("XDG_RUNTIME_DIR");
    qunsetenv("ORVIX_INSTANCES");
    qputenv("TMPDIR", QByteArray::fromStdString(dir));
    const std::string shared = dir + "/orvix-" + std::to_string(getuid());
    mkdir((dir + "/real").c_str(), 0700);
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"absent", [] {}},
        {"open to others", [&] { mkdir(shared.c_str(), 0755); }},
        {"a link", [&] { symlink((dir + "/real").c_str(), shared.c_str()); }},
        {"another user's", [&] { mkdir(shared.c_str(), 0700), lchown(shared.c_str(), 65534, 65534); }},
    };
    for (const auto& [what, make] : cases) {
        if (std::string(what) == "another user's" && geteuid() != 0)
            continue; // only root can make it
        std::filesystem::remove_all(shared);
        make();
        const bool used = std::string(what) == "absent";
        std::string socket;
        {
            CInstanceHandshake me;
            ASSERT_TRUE(me.Listen()) << what;
            socket = me.SocketPath();
            EXPECT_EQ(socket.rfind(shared + "/", 0) == 0, used) << what << ": " << socket;
        }
        EXPECT_EQ(std::filesystem::exists(std::filesystem::path(socket).parent_path().parent_path()), used) << what;
    }
    std::filesystem::remove_all(shared);
    for (auto [name, value] : {std::pair{"XDG_RUNTIME_DIR", runtime}, {"ORVIX_INSTANCES", instances}, {"TMPDIR", temp}})
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
}
