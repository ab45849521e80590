#include "platform/net/tcpsocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvix {

namespace {

// Waits for the events on fd up to timeoutMs; >0 ready, 0 timed out, <0 error.
int WaitFor(int fd, short events, int timeoutMs)
{
    pollfd p{fd, events, 0};
    int r;
    do {
        r = poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs);
    } while (r < 0 && errno == EINTR);
    return r;
}

} // namespace

int CTcpSocket::Create()
{
    Close();
    // Non-blocking for the connection's time limit.
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return errno;
    fd_ = fd;
    return 0;
}

int CTcpSocket::Connect(const std::string& host, int port, int timeoutMs)
{
    if (fd_ < 0 || connected_) {
        if (int e = Create())
            return e;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || !found) {
        Close();
        return EHOSTUNREACH;
    }
    int fd = fd_;
    int rc = connect(fd, found->ai_addr, found->ai_addrlen);
    freeaddrinfo(found);
    int error = 0;
    if (rc != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            int w = WaitFor(fd, POLLOUT, timeoutMs);
            if (w == 0) {
                error = ETIMEDOUT;
            } else {
                socklen_t len = sizeof error;
                if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
                    error = errno;
            }
        }
    }
    if (error) {
        Close();
        return error;
    }
    // Blocking from now on; sends give up after 2 s so a stuck peer cannot hold the program.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    timeval tv{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    connected_ = true;
    return 0;
}

long CTcpSocket::Send(const void* data, size_t size)
{
    if (fd_ < 0) {
        errno = ENOTCONN;
        return -1;
    }
    ssize_t n;
    do {
        n = send(fd_, data, size, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

long CTcpSocket::Recv(void* buffer, size_t size, int timeoutMs)
{
    if (fd_ < 0) {
        errno = ENOTCONN;
        return kRecvError;
    }
    // Bytes that are already there are taken without a wait.
    for (int attempt = 0; attempt < 2; ++attempt) {
        ssize_t n;
        do {
            n = recv(fd_, buffer, size, MSG_DONTWAIT);
        } while (n < 0 && errno == EINTR);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return kRecvError;
        if (attempt == 1 || timeoutMs <= 0)
            break;
        int w = WaitFor(fd_, POLLIN, timeoutMs);
        if (w == 0)
            break;
        if (w < 0)
            return kRecvError;
    }
    return kRecvTimeout;
}

long CTcpSocket::Available() const
{
    int n = 0;
    if (fd_ < 0 || ioctl(fd_, FIONREAD, &n) != 0)
        return 0;
    return n;
}

bool CTcpSocket::SetNoDelay(bool on)
{
    int v = on ? 1 : 0;
    return fd_ >= 0 && setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &v, sizeof v) == 0;
}

void CTcpSocket::Close()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    connected_ = false;
}

int CTcpSocket::Release()
{
    int fd = fd_;
    fd_ = -1;
    connected_ = false;
    return fd;
}

int CTcpListener::Listen(int port, bool loopbackOnly)
{
    Close();
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return errno;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY);
    // The system's full queue: another user's loop of connections that close at once must
    // not fill it, or the user's own connects wait for the kernel's retries (1 s, 3 s, ...).
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, SOMAXCONN) != 0) {
        int e = errno;
        close(fd);
        return e;
    }
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    fd_ = fd;
    return 0;
}

int CTcpListener::Accept(int timeoutMs)
{
    if (fd_ < 0 || WaitFor(fd_, POLLIN, timeoutMs) <= 0)
        return -1;
    int fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return fd;
}

void CTcpListener::Close()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

std::string ErrorText(int error) { return strerror(error); }

} // namespace orvix
