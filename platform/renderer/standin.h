// The stand-in renderer. It listens on the command and console ports, announces
// "Inventor started!" to each console connection, answers a scene name (type 5) with the
// scene's graph-parameter definitions (type 1 and one packet per parameter), acknowledges
// each command sent with the wait flag (type 7) and keeps the values it was sent. It serves
// one program at a time: while one is connected, another's connections are refused. It serves
// only its own user: it runs as the user and reads the user's scene files for whoever asks,
// so a connection from another user's process, or one whose owner cannot be told, is closed
// before anything is said or read.
//
// The definitions of scene "x.iv" come from the text file "x.iv.params" beside the scene:
// one "NAME value" per line, blank lines and lines starting with '#' skipped. Without that
// file the built-in set is sent (DefaultSceneParams).
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/net/tcpsocket.h"

namespace orvix {

using SceneParams = std::vector<std::pair<std::string, std::string>>;

const SceneParams& DefaultSceneParams();
// The definitions for a scene: its ".params" file, else the built-in set. Relative scene
// names are looked for in sceneDir. The file is UTF-8 (a line that is not: the code page);
// a line holding a letter the code page cannot is left out, and `refused` says why.
SceneParams LoadSceneParams(const std::string& scene, const std::string& sceneDir,
                            std::vector<std::string>* refused = nullptr);

class CRendererStandIn {
public:
    CRendererStandIn(int commandPort, int consolePort, std::string sceneDir);
    ~CRendererStandIn();

    // 0 or the errno of the failed listen. Port 0 takes any free port.
    int Start();
    int CommandPort() const { return command_.Port(); }
    int ConsolePort() const { return console_.Port(); }
    // Serves whatever is waiting, waiting up to timeoutMs for something to happen.
    void RunOnce(int timeoutMs);

    // What it was told, for those who look (tests, the verbose console).
    std::map<int, std::string> values;
    std::string scene;
    int commands = 0;
    bool verbose = false;
    // Connections refused (another program is served, or the connection is not the user's);
    // each refusal is told with the link's name ("console" or "command") and the reason.
    int refused = 0;
    std::function<void(const char* link, const std::string& why)> onRefused;
    // The refusals for a person to read, at most once a second: the number since the last
    // report and the last of them ("a console connection: it is user 1001's, ..."). The first
    // after a quiet second is reported at once.
    std::function<void(int count, const std::string& last)> onRefusalReport;
    // A line of a scene's parameters that was left out, and why (a message in UTF-8).
    std::function<void(const std::string& why)> onSceneProblem;

private:
    // Takes one waiting connection; false when none waited.
    bool AcceptConsole();
    bool AcceptCommand();
    void ReadCommands();
    // Reads the program's commands when any are waiting.
    void ServeProgram();
    void ReportRefusals();
    void Handle(uint8_t type, const uint8_t* payload, size_t size);
    void SendPacket(uint8_t type, const std::string& payload);
    void Say(const std::string& line);
    void DropCommandClient();
    bool CommandClientGone();
    void Refuse(int fd, bool console, const std::string& why);
    bool RefusedAsStranger(int fd, bool console);

    CTcpListener command_, console_;
    int commandPortWanted_, consolePortWanted_;
    std::string sceneDir_;
    int commandFd_ = -1;
    int consoleFd_ = -1;
    std::vector<uint8_t> rx_;
    int unreported_ = 0;
    std::string lastRefusal_;
    bool reportedBefore_ = false;
    std::chrono::steady_clock::time_point lastReport_;
};

} // namespace orvix
