// What a replaced file hands on to the file that replaces it.
#pragma once
#include <string>
#include <sys/stat.h>

namespace orvix {

// Gives the open file `fd` what the file `replaced` (a descriptor of it; O_PATH will do) has:
// its permission bits, its group where the user may set it (otherwise the group's bits are
// dropped, so that another group never gets the rights meant for the first), its access list
// and its extended attributes. With `replaced` -1 (a new file): what the umask leaves of
// 0666. False with errno set when the access list or the bits could not be set.
bool TakeAttributes(int replaced, int fd);

// The process's umask, read without changing it (which other threads would see).
mode_t CurrentUmask();

} // namespace orvix
