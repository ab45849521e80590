#include "platform/renderer/standin.h"

#include <cerrno>
#include <chrono>
#include <fstream>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/files/paths.h"
#include "platform/net/peerowner.h"
#include "platform/text/codepage.h"

namespace orvix {

namespace {

void SendAll(int fd, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        p += n;
        size -= static_cast<size_t>(n);
    }
}

// What a program that connects to a stand-in already serving another one is told on its
// console before the stand-in closes its links.
const char kBusyLine[] = "Renderer busy: it serves another program; this connection is refused.\n";
const char kBusy[] = "it serves another program";

// A program closes its old links just before it connects again, so their ends may be on the
// way: they are waited for this long before a newcomer is refused.
constexpr int kGoneWaitMs = 50;

// Connections taken from each port's queue in one turn.
constexpr int kAcceptsPerTurn = 256;

// The refusals are said at most this often: a stranger's loop of connections must not fill
// the user's terminal.
constexpr auto kRefusalReportEvery = std::chrono::seconds(1);

constexpr size_t kMaxPayload = 255;

// Whether the program on the link `fd` has gone: `readEnded` takes what is waiting and says
// whether the stream ended. The first wait is the one for a closing program's end; one that
// keeps sending is there.
bool PeerGone(int fd, const std::function<bool()>& readEnded)
{
    for (int round = 0; round < 64; ++round) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, round == 0 ? kGoneWaitMs : 0) <= 0)
            return false;
        if (readEnded())
            return true;
    }
    return false;
}

// On a console link what the program sends meanwhile is dropped; programs send nothing there.
bool ConsolePeerGone(int fd)
{
    return PeerGone(fd, [fd] {
        char sink[256];
        ssize_t n = recv(fd, sink, sizeof sink, MSG_DONTWAIT);
        return n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR);
    });
}

std::string Trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return std::string();
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

} // namespace

const SceneParams& DefaultSceneParams()
{
    static const SceneParams params = {
        {"RESET", "0"},  {"TARGET", "0"}, {"FIGURE", "0"},   {"TPOSH", "0"},      {"TPOSV", "0"},
        {"POSH", "0"},   {"POSV", "0"},   {"OR", "0"},       {"SIZE", "2.0"},     {"CONTRAST", "1.0"},
    };
    return params;
}

SceneParams LoadSceneParams(const std::string& scene, const std::string& sceneDir, std::vector<std::string>* refused)
{
    std::string path = MapPath(scene);
    if (!path.empty() && path[0] != '/' && !sceneDir.empty())
        path = sceneDir + "/" + path;
    path += ".params";
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return DefaultSceneParams();
    SceneParams params;
    std::string bytes;
    for (size_t number = 1; std::getline(in, bytes); ++number) {
        // A person's text file: UTF-8, or the code page for a line that is not; the packets
        // carry the program's text.
        std::string line;
        TextRefusal why;
        if (!DecodeText(bytes, line, &why)) {
            why.line = number;
            if (refused) // the path is this machine's: the message stays UTF-8
                refused->push_back(RefusalMessage(why, path) + " The line is left out.");
            continue;
        }
        line = Trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        size_t blank = line.find_first_of(" \t");
        std::string name = line.substr(0, blank);
        std::string value = blank == std::string::npos ? std::string() : Trim(line.substr(blank));
        params.emplace_back(name, value);
    }
    return params;
}

CRendererStandIn::CRendererStandIn(int commandPort, int consolePort, std::string sceneDir)
    : commandPortWanted_(commandPort), consolePortWanted_(consolePort), sceneDir_(std::move(sceneDir))
{
}

CRendererStandIn::~CRendererStandIn()
{
    DropCommandClient();
    if (consoleFd_ >= 0)
        close(consoleFd_);
}

int CRendererStandIn::Start()
{
    if (int e = command_.Listen(commandPortWanted_))
        return e;
    return console_.Listen(consolePortWanted_);
}

void CRendererStandIn::RunOnce(int timeoutMs)
{
    pollfd fds[3] = {{command_.Fd(), POLLIN, 0}, {console_.Fd(), POLLIN, 0}, {commandFd_, POLLIN, 0}};
    if (poll(fds, commandFd_ >= 0 ? 3 : 2, timeoutMs) > 0) {
        // The program's commands first, and again after each newcomer: a stranger costs a
        // look-up in the socket table, and a flood of them must never stand between a command
        // and its acknowledgement. All that waits is taken (up to the bound, so that the turn
        // ends), so that strangers are closed as fast as they come and the user's own
        // connection never waits behind them for another turn.
        if (fds[2].revents)
            ReadCommands();
        for (int i = 0; fds[1].revents && i < kAcceptsPerTurn && AcceptConsole(); ++i)
            ServeProgram();
        for (int i = 0; fds[0].revents && i < kAcceptsPerTurn && AcceptCommand(); ++i)
            ServeProgram();
    }
    ReportRefusals();
}

void CRendererStandIn::ServeProgram()
{
    pollfd p{commandFd_, POLLIN, 0};
    if (commandFd_ >= 0 && poll(&p, 1, 0) > 0)
        ReadCommands();
}

// One program at a time: a newcomer never takes the links of a program still connected (it
// would end that program's run); the program's own reconnect finds its old links gone.
bool CRendererStandIn::AcceptConsole()
{
    int fd = console_.Accept(0);
    if (fd < 0)
        return false;
    if (RefusedAsStranger(fd, true))
        return true;
    if (consoleFd_ >= 0 && !ConsolePeerGone(consoleFd_)) {
        // The command link carries packets only: the reason goes on the console.
        SendAll(fd, kBusyLine, sizeof kBusyLine - 1);
        Refuse(fd, true, kBusy);
        return true;
    }
    if (consoleFd_ >= 0)
        close(consoleFd_);
    consoleFd_ = fd;
    Say("Inventor started!");
    return true;
}

bool CRendererStandIn::AcceptCommand()
{
    int fd = command_.Accept(0);
    if (fd < 0)
        return false;
    if (RefusedAsStranger(fd, false))
        return true;
    if (commandFd_ >= 0 && !CommandClientGone()) {
        Refuse(fd, false, kBusy);
        return true;
    }
    DropCommandClient();
    commandFd_ = fd;
    return true;
}

bool CRendererStandIn::CommandClientGone()
{
    // What the program sent before it went (its closing packet) is served first.
    return PeerGone(commandFd_, [this] {
        ReadCommands();
        return commandFd_ < 0;
    });
}

void CRendererStandIn::Refuse(int fd, bool console, const std::string& why)
{
    close(fd);
    ++refused;
    const char* link = console ? "console" : "command";
    if (onRefused)
        onRefused(link, why);
    ++unreported_;
    lastRefusal_ = std::string("a ") + link + " connection: " + why;
    ReportRefusals();
}

void CRendererStandIn::ReportRefusals()
{
    const auto now = std::chrono::steady_clock::now();
    if (unreported_ == 0 || (reportedBefore_ && now - lastReport_ < kRefusalReportEvery))
        return;
    if (onRefusalReport)
        onRefusalReport(unreported_, lastRefusal_);
    unreported_ = 0;
    lastReport_ = now;
    reportedBefore_ = true;
}

// Checked before the connection can make the stand-in busy: another user's process must not
// keep the user's own program out either.
bool CRendererStandIn::RefusedAsStranger(int fd, bool console)
{
    uid_t owner = 0;
    std::string why;
    if (!PeerOwner(fd, owner, &why))
        why = "its owner cannot be told (" + why + ")";
    else if (owner != geteuid())
        why = "it is user " + std::to_string(owner) + "'s, not this user's (" + std::to_string(geteuid()) + ")";
    else
        return false;
    Refuse(fd, console, why);
    return true;
}

void CRendererStandIn::DropCommandClient()
{
    if (commandFd_ >= 0)
        close(commandFd_);
    commandFd_ = -1;
    rx_.clear();
}

void CRendererStandIn::ReadCommands()
{
    uint8_t buffer[4096];
    ssize_t n = recv(commandFd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        DropCommandClient();
        return;
    }
    if (n < 0)
        return;
    rx_.insert(rx_.end(), buffer, buffer + n);
    size_t at = 0;
    while (rx_.size() - at >= 2 && rx_.size() - at >= 2u + rx_[at + 1]) {
        uint8_t type = rx_[at];
        size_t size = rx_[at + 1];
        Handle(type, rx_.data() + at + 2, size);
        if (commandFd_ < 0)
            return;
        at += 2 + size;
    }
    rx_.erase(rx_.begin(), rx_.begin() + static_cast<long>(at));
}

void CRendererStandIn::Handle(uint8_t type, const uint8_t* payload, size_t size)
{
    auto text = [&](size_t from) {
        std::string s;
        for (size_t i = from; i < size && payload[i]; ++i)
            s += static_cast<char>(payload[i]);
        return s;
    };
    switch (type) {
    case 2: { // command: object id, wait flag, text
        if (size < 2)
            return;
        ++commands;
        int id = payload[0];
        values[id] = text(2);
        if (verbose)
            Say("Object " + std::to_string(id) + " = " + values[id]);
        if (payload[1])
            SendPacket(7, std::string(1, static_cast<char>(id)));
        return;
    }
    case 4: // the program closes the link
        DropCommandClient();
        return;
    case 5: { // scene name: answer with the scene's definitions
        scene = text(0);
        std::vector<std::string> refused;
        SceneParams params = LoadSceneParams(scene, sceneDir_, &refused);
        for (const std::string& why : refused)
            if (onSceneProblem)
                onSceneProblem(why);
        if (params.size() > 255)
            params.resize(255);
        SendPacket(1, std::string(1, static_cast<char>(params.size())));
        values.clear();
        for (size_t i = 0; i < params.size(); ++i) {
            // Two bytes the program does not look at (the index, low byte first), then the
            // text to the payload's end, without a NUL: as a renderer sends it.
            std::string body;
            body += static_cast<char>(i & 0xFF);
            body += static_cast<char>(i >> 8);
            body += params[i].first + " " + params[i].second;
            if (body.size() > kMaxPayload)
                body.resize(kMaxPayload);
            SendPacket(6, body);
            values[static_cast<int>(i)] = params[i].second;
        }
        Say("Scene " + scene + " loaded, " + std::to_string(params.size()) + " parameters.");
        return;
    }
    case 8:
        Say("Latency measuring on.");
        return;
    case 9:
        Say("Latency measuring off.");
        return;
    default:
        return;
    }
}

void CRendererStandIn::SendPacket(uint8_t type, const std::string& payload)
{
    if (commandFd_ < 0)
        return;
    std::string packet;
    packet += static_cast<char>(type);
    packet += static_cast<char>(payload.size());
    packet += payload;
    SendAll(commandFd_, packet.data(), packet.size());
}

void CRendererStandIn::Say(const std::string& line)
{
    if (consoleFd_ < 0)
        return;
    std::string text = line + "\n";
    SendAll(consoleFd_, text.data(), text.size());
}

} // namespace orvix
