// Who is at the other end of a connection, as the kernel tells it, for servers that serve
// only their own user.
#pragma once
#include <string>
#include <sys/types.h>

namespace orvix {

// The user that owns the other end of the connected socket `fd`: for a Unix socket the user
// of the process that made the peer's end (its credentials when it connected or listened);
// for TCP the owner of the peer's socket in this machine's socket table, which holds only the
// ends of local processes, and only while the peer's end is still connected. False when it
// cannot be told, with the reason in `why`: a server that serves only its own user refuses
// such a connection.
bool PeerOwner(int fd, uid_t& owner, std::string* why = nullptr);

} // namespace orvix
