// A file descriptor that is closed with its holder.
#pragma once
#include <unistd.h>
#include <utility>

namespace orvix {

struct Descriptor {
    int fd = -1;

    Descriptor() = default;
    explicit Descriptor(int opened) : fd(opened) {}
    Descriptor(Descriptor&& other) noexcept : fd(other.Release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        Reset(other.Release());
        return *this;
    }
    ~Descriptor() { Reset(-1); }

    // Closes what it holds and holds `opened` instead.
    void Reset(int opened)
    {
        if (fd >= 0)
            close(fd);
        fd = opened;
    }
    // Hands the descriptor on; nothing is closed.
    int Release() { return std::exchange(fd, -1); }
};

} // namespace orvix
