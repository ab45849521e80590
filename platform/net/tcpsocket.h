// Plain TCP sockets with deadlines: the renderer links, the stand-in renderer and the tests
// use them. Errors are errno values; ErrorText gives the system's text for one.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace orvix {

enum : long { kRecvClosed = 0, kRecvError = -1, kRecvTimeout = -2 };

class CTcpSocket {
public:
    CTcpSocket() = default;
    explicit CTcpSocket(int fd) : fd_(fd), connected_(fd >= 0) {}
    ~CTcpSocket() { Close(); }
    CTcpSocket(const CTcpSocket&) = delete;
    CTcpSocket& operator=(const CTcpSocket&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    // Makes a new stream socket, not yet connected (any previous one is closed); 0 or the
    // errno.
    int Create();
    // Connects the socket Create made (a new one when there is none, or when it is
    // connected already) to host:port within the time limit; 0 or the errno (ECONNREFUSED,
    // ETIMEDOUT, EHOSTUNREACH for a name that does not resolve, ...). A failed attempt
    // leaves no socket.
    int Connect(const std::string& host, int port, int timeoutMs);
    // One send of all the bytes (blocks at most about 2 s when the peer reads nothing);
    // the number sent or -1.
    long Send(const void* data, size_t size);
    // Waits up to timeoutMs (0: does not wait, <0: not allowed, treated as 0) for bytes and
    // takes what is there up to size: the count, kRecvClosed, kRecvError or kRecvTimeout.
    long Recv(void* buffer, size_t size, int timeoutMs);
    // Bytes waiting without reading them (0 on error).
    long Available() const;
    bool SetNoDelay(bool on);
    void Close();
    // Gives up ownership of the descriptor.
    int Release();

private:
    int fd_ = -1;
    bool connected_ = false;
};

// A listening socket on loopback (port 0: any free port), with the system's full queue of
// connections waiting to be accepted (SOMAXCONN, as far as the system allows).
class CTcpListener {
public:
    ~CTcpListener() { Close(); }
    // 0 or the errno.
    int Listen(int port, bool loopbackOnly = true);
    int Port() const { return port_; }
    int Fd() const { return fd_; }
    // A connection within the time limit, or -1.
    int Accept(int timeoutMs);
    void Close();

private:
    int fd_ = -1;
    int port_ = 0;
};

std::string ErrorText(int error);

} // namespace orvix
