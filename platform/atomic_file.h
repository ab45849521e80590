// Writing a whole file so that a failure never destroys the previous copy: the data go to
// a temporary file beside the target, which is flushed and then renamed over it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace orvix {

// Creates missing parent folders. False when anything failed; the old file is then intact.
bool WriteFileAtomically(const std::string& path, const std::string& data);
bool WriteFileAtomically(const std::string& path, const void* data, size_t size);
// The same, the data coming from `write`, which writes them to the temporary file's
// descriptor as it makes them and returns false (errno set) when a write failed.
bool WriteFileAtomically(const std::string& path, const std::function<bool(int fd)>& write);

// Writes all `size` bytes to the descriptor, again after an interruption or a short write;
// at `offset` when it is not negative (the descriptor's position then stays). False (errno
// set) when a write failed or wrote nothing.
bool WriteAll(int fd, const void* data, size_t size, int64_t offset = -1);

// Makes every atomic write fail (a full disk, a lost mount); for tests of failure paths.
void FailAtomicWritesForTesting(bool fail);

} // namespace orvix
