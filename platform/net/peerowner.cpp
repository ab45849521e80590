#include "platform/net/peerowner.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvix {

namespace {

// The kernel answers at once; this is only the deadline of the wait.
constexpr int kTableWaitMs = 1000;

bool Fail(std::string* why, const std::string& text)
{
    if (why)
        *why = text;
    return false;
}

int Unusable(std::string* why, const std::string& text)
{
    Fail(why, text);
    return -1;
}

// One end of a TCP connection as the socket table writes it: addresses in 16 bytes (an IPv4
// address in the first 4, the rest zero), the port in network order.
struct End {
    uint8_t address[16] = {};
    uint16_t port = 0;
};

// The socket table's entry for the socket whose own end is `peer` and whose other end is
// `mine`, in one exact look-up (sock_diag). 1 found, with its owner; 0 no such socket; -1 the
// table gave no usable answer (`why` says why).
int LookUp(int family, const End& peer, const End& mine, uid_t& owner, std::string* why)
{
    const int nl = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (nl < 0)
        return Unusable(why, std::string("the kernel's socket table cannot be read: ") + strerror(errno));
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } q{};
    q.header.nlmsg_len = sizeof q;
    q.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    q.header.nlmsg_flags = NLM_F_REQUEST;
    q.header.nlmsg_seq = 1;
    q.request.sdiag_family = static_cast<uint8_t>(family);
    q.request.sdiag_protocol = IPPROTO_TCP;
    q.request.idiag_states = ~0u;
    q.request.id.idiag_sport = peer.port;
    q.request.id.idiag_dport = mine.port;
    memcpy(q.request.id.idiag_src, peer.address, 16);
    memcpy(q.request.id.idiag_dst, mine.address, 16);
    q.request.id.idiag_cookie[0] = q.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    alignas(nlmsghdr) char answer[8192];
    ssize_t n = -1;
    int error = 0;
    if (sendto(nl, &q, sizeof q, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) != sizeof q) {
        error = errno;
    } else {
        pollfd p{nl, POLLIN, 0};
        const int ready = poll(&p, 1, kTableWaitMs);
        error = ready < 0 ? errno : ready == 0 ? ETIMEDOUT : 0;
        if (ready > 0 && (n = recv(nl, answer, sizeof answer, MSG_DONTWAIT)) < 0)
            error = errno;
    }
    close(nl);
    const auto* h = reinterpret_cast<const nlmsghdr*>(answer);
    if (error == 0 && !NLMSG_OK(h, n))
        error = EBADMSG;
    if (error == 0 && h->nlmsg_type == NLMSG_ERROR) {
        const auto* e = static_cast<const nlmsgerr*>(NLMSG_DATA(h));
        if (h->nlmsg_len < NLMSG_LENGTH(sizeof *e) || e->error == -ENOENT)
            return 0;
        error = -e->error;
    }
    if (error == 0 && (h->nlmsg_type != SOCK_DIAG_BY_FAMILY || h->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))))
        error = EBADMSG;
    if (error != 0)
        return Unusable(why, std::string("the kernel's socket table cannot be read: ") + strerror(error));
    // The look-up may fall back to a listening socket: only the exact connection counts.
    const auto* m = static_cast<const inet_diag_msg*>(NLMSG_DATA(h));
    if (m->idiag_family != family || m->id.idiag_sport != peer.port || m->id.idiag_dport != mine.port
        || memcmp(m->id.idiag_src, peer.address, 16) != 0 || memcmp(m->id.idiag_dst, mine.address, 16) != 0)
        return 0;
    // An end that was closed may be a remnant that names no owner (the system's, uid 0).
    if (m->idiag_state != TCP_ESTABLISHED)
        return Unusable(why, "its other end is no longer connected");
    owner = m->idiag_uid;
    return 1;
}

// The ends of a socket address as the table may hold them: an IPv4 peer of an IPv6 socket
// (an address "::ffff:a.b.c.d") is an IPv4 socket there, or an IPv6 one.
int Ends(const sockaddr_storage& a, End ends[2], int families[2])
{
    if (a.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(a);
        memcpy(ends[0].address, &v4.sin_addr, 4);
        ends[0].port = v4.sin_port;
        families[0] = AF_INET;
        return 1;
    }
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(a);
    int count = 0;
    if (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) {
        memcpy(ends[count].address, v6.sin6_addr.s6_addr + 12, 4);
        ends[count].port = v6.sin6_port;
        families[count++] = AF_INET;
    }
    memcpy(ends[count].address, v6.sin6_addr.s6_addr, 16);
    ends[count].port = v6.sin6_port;
    families[count++] = AF_INET6;
    return count;
}

} // namespace

bool PeerOwner(int fd, uid_t& owner, std::string* why)
{
    sockaddr_storage mine{}, peer{};
    socklen_t size = sizeof mine;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&mine), &size) != 0)
        return Fail(why, strerror(errno));
    if (mine.ss_family == AF_UNIX) {
        ucred credentials{};
        socklen_t length = sizeof credentials;
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
            return Fail(why, strerror(errno));
        if (credentials.uid == static_cast<uid_t>(-1))
            return Fail(why, "the kernel names no user for its other end");
        owner = credentials.uid;
        return true;
    }
    int protocol = 0;
    socklen_t length = sizeof protocol;
    if ((mine.ss_family != AF_INET && mine.ss_family != AF_INET6)
        || getsockopt(fd, SOL_SOCKET, SO_PROTOCOL, &protocol, &length) != 0 || protocol != IPPROTO_TCP)
        return Fail(why, "not a Unix socket nor a TCP connection");
    size = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0)
        return Fail(why, strerror(errno));
    End mineEnds[2], peerEnds[2];
    int mineFamilies[2], peerFamilies[2];
    const int count = std::min(Ends(mine, mineEnds, mineFamilies), Ends(peer, peerEnds, peerFamilies));
    for (int i = 0; i < count; ++i)
        if (int found = LookUp(mineFamilies[i], peerEnds[i], mineEnds[i], owner, why))
            return found > 0;
    return Fail(why, "its other end is not in this machine's socket table (not a local process, or gone)");
}

} // namespace orvix
