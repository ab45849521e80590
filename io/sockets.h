// The two renderer connections: the command socket (packets both ways, owned by the I/O
// layer) and the console socket (the renderer's text output, read line by line into a list
// and the log). Notifications of waiting data arrive through the Qt event loop on the one
// user-interface thread.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/net/tcpsocket.h"

class QSocketNotifier;

namespace orvix {

class CDeviceIO;
class IIoHost;

class CCmdSocket {
public:
    // The I/O layer that owns the link hears when the renderer closes it.
    explicit CCmdSocket(CDeviceIO* owner = nullptr) : owner_(owner) {}
    virtual ~CCmdSocket();
    CCmdSocket(const CCmdSocket&) = delete;
    CCmdSocket& operator=(const CCmdSocket&) = delete;

    // Stores who reads incoming packets and makes the socket; false (errno set) when the
    // system gives none. The connection is made by Connect.
    bool Create(IIoHost* host);
    void SetHost(IIoHost* host) { host_ = host; }
    // 0 or the errno.
    int Connect(const std::string& host, int port, int timeoutMs);
    bool IsConnected() const { return socket_.IsOpen(); }
    CTcpSocket& Socket() { return socket_; }
    IIoHost* GetHost() const { return host_; }
    void Close();

    // Asynchronous notification of waiting data on or off; false when it cannot be on: the
    // connected socket has no event loop to register with (a thread without one).
    bool SetNotify(bool on);
    bool IsNotifying() const { return notify_; }
    // A receive was made: as with the original sockets, the next data are notified again.
    void NoteReceived();

    // Data are waiting: the host reads a packet.
    virtual void OnReceive(int error);
    // The renderer closed the link.
    virtual void OnClose(int error);

private:
    void OnActivated();
    void Arm();

    CDeviceIO* owner_;
    IIoHost* host_ = nullptr;
    CTcpSocket socket_;
    QSocketNotifier* notifier_ = nullptr;
    bool notify_ = false;
    unsigned receives_ = 0;
};

class CConsoleSocket {
public:
    static constexpr size_t kReceiveSize = 10000;
    static constexpr size_t kBreakLength = 65;
    static constexpr size_t kBreakFrom = 60;

    CConsoleSocket() = default;
    virtual ~CConsoleSocket();
    CConsoleSocket(const CConsoleSocket&) = delete;
    CConsoleSocket& operator=(const CConsoleSocket&) = delete;

    // The I/O layer whose renderer-running flag the start line sets and whose log the
    // lines go to; none: the lines are only kept.
    void SetDeviceIO(CDeviceIO* io) { io_ = io; }

    bool Create();
    bool HasSocket() const { return created_; }
    // 0 or the errno.
    int Connect(const std::string& host, int port, int timeoutMs);
    bool IsConnected() const { return socket_.IsOpen(); }
    void Close();

    virtual void OnReceive(int error);
    // Splits received text into lines, breaking long ones at a blank.
    void ProcessText(const std::string& text);

    static constexpr size_t kMaxPendingLine = 65536;
    static constexpr size_t kMaxKeptLines = 10000;
    std::vector<std::string> lines;
    std::string pending;

private:
    void AddLine(const std::string& line);

    CDeviceIO* io_ = nullptr;
    bool created_ = false;
    CTcpSocket socket_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace orvix
