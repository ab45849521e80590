// The handshake between running instances, with another instance in a process of its own.
#include <QProcess>
#include <csignal>
#include <fcntl.h>
#include <cstring>
#include <filesystem>
#include <functional>
#include <poll.h>
#include <thread>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "document/orvixdoc.h"
#include "platform/net/instances.h"
#include "platform/runtime/eventpump.h"
#include "tests/common/test_support.h"
#include "tests/document/doc_fixture.h"
#include "views/mainframe.h"

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

    // A Unix socket bound (or connected) to `name` in the instance folder, through a descriptor
    // of the folder (`at`, else one opened here): its path may be longer than an address takes.
    // -1 when that fails.
    int SocketAt(const std::string& name, bool bindIt, int at = -1) const
    {
        int dir = at >= 0 ? dup(at) : open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        snprintf(address.sun_path, sizeof address.sun_path, "/proc/self/fd/%d/%s", dir, name.c_str());
        auto* a = reinterpret_cast<sockaddr*>(&address);
        if ((bindIt ? bind(fd, a, sizeof address) : connect(fd, a, sizeof address)) != 0) {
            close(fd);
            fd = -1;
        }
        close(dir);
        return fd;
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
    // A socket file nobody listens on any more: no, and the file is cleared away. Only the
    // user's own sockets go: the folder (a group's, which keeps its mode) may hold other files,
    // and other users' sockets.
    mkdir(folder.c_str(), 0700);
    chmod(folder.c_str(), 02775);
    auto bound = [this](const std::string& path) {
        int fd = SocketAt(path.substr(path.rfind('/') + 1), true);
        return fd >= 0 && close(fd) == 0;
    };
    std::string stale = folder + "/99999999", file = folder + "/11111111", fifo = folder + "/22222222",
                foreign = folder + "/33333333";
    ASSERT_TRUE(bound(stale));
    orvix_test::WriteFile(file, "notes");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    if (geteuid() == 0) {
        ASSERT_TRUE(bound(foreign));
        ASSERT_EQ(lchown(foreign.c_str(), 65534, 65534), 0);
    }
    CInstanceHandshake me(folder);
    ASSERT_TRUE(me.Listen());
    EXPECT_FALSE(me.AskOtherInstances());
    EXPECT_NE(access(stale.c_str(), F_OK), 0);
    EXPECT_EQ(orvix_test::ReadFile(file), "notes");
    struct stat st;
    EXPECT_TRUE(stat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
    EXPECT_EQ(geteuid() == 0, lstat(foreign.c_str(), &st) == 0 && S_ISSOCK(st.st_mode));
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 02775u);

    // A stopped instance never answers: no, once the time is up.
    StartPeer(true);
    ASSERT_EQ(kill(static_cast<pid_t>(peer.processId()), SIGSTOP), 0);
    ASSERT_TRUE(WaitUntilStopped(static_cast<pid_t>(peer.processId())));
    EXPECT_FALSE(me.AskOtherInstances(300));
    kill(static_cast<pid_t>(peer.processId()), SIGCONT);
    EXPECT_TRUE(me.AskOtherInstances());
    EXPECT_EQ(CInstanceHandshake::kAnswerTimeoutMs, 2000);
}

// Only the user's own instances are asked and answered: the kernel names the user at the
// other end. In a folder that others may write (one that ORVIX_INSTANCES names), a stranger's
// instance that says its link runs is not believed, and a stranger that reaches this
// instance's socket gets no answer.
TEST_F(HandshakeTest, OnlyTheUsersOwnInstancesAreAskedAndAnswered)
{
    if (!orvix_test::CanActAsOtherUser())
        GTEST_SKIP() << "only root can act as another user";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(chmod(folder.c_str(), 01777), 0);
    // The stranger listens (the kernel notes its user then) and says yes to whoever comes.
    const int strangers = SocketAt("1", true);
    ASSERT_GE(strangers, 0);
    ASSERT_EQ(lchown((folder + "/1").c_str(), orvix_test::kOtherUser, orvix_test::kOtherUser), 0);
    ASSERT_TRUE(orvix_test::AsOtherUser([strangers] { return listen(strangers, 4) == 0; }));
    std::thread answering([strangers] {
        pollfd p{strangers, POLLIN, 0};
        if (poll(&p, 1, 5000) == 1) {
            int fd = accept(strangers, nullptr, nullptr);
            send(fd, "1", 1, MSG_NOSIGNAL);
            close(fd);
        }
    });
    CInstanceHandshake me(folder);
    me.SetRendererRunning(true);
    ASSERT_TRUE(me.Listen());
    EXPECT_FALSE(me.AskOtherInstances());
    answering.join();
    close(strangers);

    // The socket's mode opened, as on a file system that keeps none: the stranger's question
    // ends without an answer, while the user's own is answered. (The stranger is handed the
    // folder: the test's own folders above it are closed to others.)
    ASSERT_EQ(chmod(me.SocketPath().c_str(), 0666), 0);
    const std::string name = me.SocketPath().substr(folder.size() + 1);
    const int at = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    EXPECT_TRUE(orvix_test::AsOtherUser([&] {
        const int fd = SocketAt(name, false, at);
        pollfd p{fd, POLLIN, 0};
        char got = 0;
        return fd >= 0 && send(fd, "?", 1, MSG_NOSIGNAL) == 1 && poll(&p, 1, 2000) == 1 && recv(fd, &got, 1, 0) <= 0;
    }));
    close(at);
    EXPECT_TRUE(CInstanceHandshake(folder).AskOtherInstances());
}

// Where no session names a runtime folder, the shared "<temp>/orvix-<uid>" is used only when it
// is a folder of the user's that nobody else may enter; otherwise the one in the user's state
// folder, named for the machine, which every copy of the user finds too. Both are kept (another
// copy may be starting in them), and any length of their names serves. Below folders of
// another user's there is none, and the main frame says once that it runs without the check.
TEST_F(HandshakeTest, TheFallbackFolderIsUsedOnlyWhenItIsTheUsersOwn)
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"), instances = qgetenv("ORVIX_INSTANCES"),
                     temp = qgetenv("TMPDIR"), log = qgetenv("ORVIX_LOG"), state = qgetenv("XDG_STATE_HOME"),
                     home = qgetenv("HOME");
    qunsetenv("XDG_RUNTIME_DIR");
    qunsetenv("ORVIX_INSTANCES");
    qputenv("HOME", QByteArray::fromStdString(dir + "/home"));
    mkdir((dir + "/real").c_str(), 0700);
    // The temporary and state folders' names are over the 108 bytes of a socket's address.
    const std::string longTemp = dir + "/" + std::string(120, 'l'), otherUsers = dir + "/other",
                      longState = dir + "/" + std::string(120, 's'), states = dir + "/state";
    mkdir(longTemp.c_str(), 0700);
    mkdir(otherUsers.c_str(), 0755);
    mkdir((otherUsers + "/tmp").c_str(), 0700);
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    const std::string uid = "/orvix-" + std::to_string(getuid()), byHost = std::string("/orvix-runtime-") + host;
    const struct {
        const char* what;
        std::string temp, state, base; // base: the runtime folder used, "" none
        std::function<void()> make;
    } cases[] = {
        {"absent", dir, states, dir + uid, [] {}},
        {"open to others", dir, states, states + byHost, [&] { mkdir((dir + uid).c_str(), 0755); }},
        {"a link", dir, states, states + byHost, [&] { symlink((dir + "/real").c_str(), (dir + uid).c_str()); }},
        {"another user's", dir, states, states + byHost,
         [&] { mkdir((dir + uid).c_str(), 0700), lchown((dir + uid).c_str(), 65534, 65534); }},
        {"a long temporary folder", longTemp, states, longTemp + uid, [] {}},
        {"below another user's folder, a long state folder", otherUsers + "/tmp", longState, longState + byHost,
         [&] { lchown(otherUsers.c_str(), 65534, 65534); }},
        {"below another user's folder, a relative state folder", otherUsers + "/tmp", "state",
         dir + "/home/.local/state" + byHost, [] {}},
        {"below another user's folders both", otherUsers + "/tmp", otherUsers + "/state", "", [] {}},
    };
    for (const auto& c : cases) {
        if (geteuid() != 0 && strstr(c.what, "another user's"))
            continue; // only root can make it
        SCOPED_TRACE(c.what);
        qputenv("TMPDIR", QByteArray::fromStdString(c.temp));
        qputenv("XDG_STATE_HOME", QByteArray::fromStdString(c.state));
        std::filesystem::remove_all(c.temp + uid);
        c.make();
        std::string socket;
        {
            CInstanceHandshake me;
            EXPECT_EQ(me.Listen(), !c.base.empty()) << me.Failure();
            socket = me.SocketPath();
            EXPECT_EQ(socket.rfind(c.base + "/orvix-instances/", 0) == 0, !c.base.empty()) << socket;
            if (!c.base.empty()) {
                me.SetRendererRunning(true);
                EXPECT_TRUE(CInstanceHandshake().AskOtherInstances());
            } else {
                EXPECT_NE(me.Failure().find(otherUsers + ": a folder of another user's"), std::string::npos)
                    << me.Failure();
                EXPECT_TRUE(std::filesystem::is_empty(c.temp));
                const std::string logFile = dir + "/orvix.log";
                qputenv("ORVIX_LOG", QByteArray::fromStdString(logFile));
                COrvixDoc doc;
                testing::internal::CaptureStderr();
                { CMainFrame frame(doc, experiment, {&doc}); }
                const std::string said = testing::internal::GetCapturedStderr();
                const std::string line = "No check for other running copies: no instance socket (" + me.Failure() + ").";
                EXPECT_EQ(said, "Orvix: " + line + "\n");
                std::string logged = orvix_test::ReadFile(logFile);
                EXPECT_TRUE(logged.size() > 10 && logged.substr(10) == line + "\n") << logged;
            }
        }
        if (!c.base.empty()) {
            struct stat st;
            ASSERT_EQ(lstat(c.base.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0700u);
            EXPECT_TRUE(std::filesystem::is_empty(c.base + "/orvix-instances")); // its socket went with it
            std::filesystem::remove_all(c.base);
        }
        std::filesystem::remove_all(c.temp + uid);
    }
    for (auto [name, value] : {std::pair{"XDG_RUNTIME_DIR", runtime}, {"ORVIX_INSTANCES", instances}, {"TMPDIR", temp},
                               {"ORVIX_LOG", log}, {"XDG_STATE_HOME", state}, {"HOME", home}})
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
}
