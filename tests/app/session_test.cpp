// The program as a process of its own: Enable, a short sweep with the simulated subject,
// then the way out with unsaved trials. The exit code and the steps it printed tell the
// story; a crash at teardown shows as a signal, a sanitizer report as a failing code.
#include <QProcess>
#include <QRegularExpression>
#include <filesystem>
#include <gtest/gtest.h>

#include "tests/common/test_support.h"

namespace {

struct Session {
    int exitCode = -1;
    bool crashed = false;
    std::string output;
    // Instance sockets left behind in the session's own folder.
    int socketsLeft = -1;
};

// Runs the stand-in renderer and the driven program, as the run command does, in a fresh
// home of their own.
Session RunSession(const char* answer)
{
    namespace fs = std::filesystem;
    const orvix_test::ScopedTempDir temp("orvix-session");
    const std::string& home = temp.Path();
    std::string source = std::string(ORVIX_TEST_SOURCE_DIR) + "/../../examples";
    std::string work = home + "/drives/c/orvix/task", scenes = home + "/scenes";
    fs::create_directories(work);
    fs::create_directories(home + "/drives/c/data");
    fs::create_directories(scenes);
    fs::copy_file(source + "/Task.c", work + "/Task.c");
    fs::copy_file(source + "/mytest.oxq", work + "/mytest.oxq");
    fs::copy_file(source + "/mytest.iv.params", scenes + "/mytest.iv.params");

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ORVIX_RENDERER_PORT", "0");
    env.insert("ORVIX_CONSOLE_PORT", "0");
    QProcess renderer;
    renderer.setProcessEnvironment(env);
    renderer.start(ORVIX_RENDERER_PROGRAM, {"--scenes", QString::fromStdString(scenes)});
    Session session;
    if (!renderer.waitForReadyRead(10000))
        return session;
    QRegularExpression ports("command port (\\d+), console port (\\d+)");
    auto match = ports.match(QString::fromUtf8(renderer.readAll()));
    if (!match.hasMatch())
        return session;

    env.insert("ORVIX_RENDERER_PORT", match.captured(1));
    env.insert("ORVIX_CONSOLE_PORT", match.captured(2));
    env.insert("ORVIX_DRIVES", QString::fromStdString(home + "/drives"));
    env.insert("ORVIX_REGISTRY", QString::fromStdString(home + "/Orvix.reg"));
    env.insert("ORVIX_LOG", QString::fromStdString(home + "/orvix.log"));
    env.insert("ORVIX_SIMULATED_EYE", "1");
    env.insert("ORVIX_SIMULATED_SUBJECT", "1");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    const std::string instances = home + "/instances";
    env.insert("ORVIX_INSTANCES", QString::fromStdString(instances));
    QProcess program;
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(QString::fromStdString(work));
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(ORVIX_SESSION_DRIVER, {answer});
    if (std::string(answer) == "signal") {
        while (session.output.find("signal me\n") == std::string::npos && program.waitForReadyRead(120000))
            session.output += program.readAll().toStdString();
        program.terminate();
    }
    program.waitForFinished(240000);
    session.output += program.readAll().toStdString();
    std::error_code error;
    session.socketsLeft = 0;
    for (auto it = fs::directory_iterator(instances, error); !error && it != fs::directory_iterator(); ++it)
        ++session.socketsLeft;
    session.crashed = program.exitStatus() == QProcess::CrashExit;
    session.exitCode = program.exitCode();
    renderer.terminate();
    renderer.waitForFinished(5000);
    return session;
}

} // namespace

TEST(Session, QuitAfterASweepEndsCleanlyWhicheverWayTheQuestionIsAnswered)
{
    // "signal": SIGTERM during the run leaves as Exit does, the run stopped first.
    for (const char* answer : {"no", "cancel", "signal"}) {
        SCOPED_TRACE(answer);
        Session s = RunSession(answer);
        EXPECT_FALSE(s.crashed) << s.output;
        EXPECT_EQ(s.exitCode, 0) << s.output;
        EXPECT_EQ(s.socketsLeft, 0) << s.output;
        // Exit during the run is refused; after it the trials are offered for saving.
        EXPECT_EQ(s.output.find("was not refused"), std::string::npos) << s.output;
        EXPECT_NE(s.output.find(std::string(answer) == "signal" ? "Orvix: SIGTERM" : "stop\n"), std::string::npos)
            << s.output;
        EXPECT_NE(s.output.find("asked: Save changes to MOaa4aDemo01.oxv?"), std::string::npos) << s.output;
        // Cancel keeps the program running: it is asked a second time.
        bool again = s.output.find("exit again\n") != std::string::npos;
        EXPECT_EQ(again, std::string(answer) == "cancel") << s.output;
    }
}
