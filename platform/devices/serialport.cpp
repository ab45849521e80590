#include "platform/devices/serialport.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "platform/devices/simsubject.h"
#include "platform/files/paths.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/random.h"

namespace orvix {

namespace {

speed_t SpeedCode(int baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return 0;
    }
}

class CTermiosPort : public ISerialPort {
public:
    explicit CTermiosPort(int fd) : fd_(fd) {}
    ~CTermiosPort() override { close(fd_); }

    bool Configure(int baud) override
    {
        termios t{};
        if (tcgetattr(fd_, &t) != 0)
            return false;
        cfmakeraw(&t);
        t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
        t.c_cflag |= CS8 | CLOCAL | CREAD;
        t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        speed_t speed = SpeedCode(baud);
        bool ok = true;
        if (speed)
            cfsetspeed(&t, speed);
        else
            ok = false;
        return tcsetattr(fd_, TCSANOW, &t) == 0 && ok;
    }
    void Purge() override { tcflush(fd_, TCIOFLUSH); }
    void SetDtr(bool on) override
    {
        int bit = TIOCM_DTR;
        ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit);
    }
    long BytesWaiting() override
    {
        int n = 0;
        if (ioctl(fd_, FIONREAD, &n) != 0)
            return -1;
        return n;
    }
    long Read(uint8_t* buffer, size_t size) override
    {
        ssize_t n = read(fd_, buffer, size);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return 0;
        return static_cast<long>(n);
    }

private:
    int fd_;
};

// 60 records a second (one per 16.67 ms, the runner's eye bin): as many as are due for the
// time since the tracker started, record n falling at n x 1000 / 60 ms, so that no rounding
// adds up however often the port is read. Each carries the simulated subject's gaze at its
// own instant when there is a subject, else a steady gaze straight ahead.
class CSimEyeTracker : public ISerialPort {
public:
    CSimEyeTracker() : start_(Clock().TickMs()), tick_(start_) {}
    bool Configure(int) override { return true; }
    // What waits is dropped; the records that follow keep their instants.
    void Purge() override { sent_ = Due(); }
    void SetDtr(bool) override {}
    long BytesWaiting() override { return static_cast<long>((Due() - sent_) * 6); }
    long Read(uint8_t* buffer, size_t size) override
    {
        uint64_t records = std::min<uint64_t>(Due() - sent_, size / 6);
        CSimulatedSubject* subject = ActiveSimulatedSubject();
        for (uint64_t r = 0; r < records; ++r) {
            int h = 2560 + random_.Next() % 21 - 10;
            int v = 1280 + random_.Next() % 21 - 10;
            if (subject)
                subject->Gaze(Instant(sent_ + r + 1), h, v);
            uint8_t* p = buffer + r * 6;
            p[0] = 'D';
            p[1] = 'D';
            p[2] = static_cast<uint8_t>(h & 0xFF);
            p[3] = static_cast<uint8_t>(h >> 8);
            p[4] = static_cast<uint8_t>(v & 0xFF);
            p[5] = static_cast<uint8_t>(v >> 8);
        }
        sent_ += records;
        return static_cast<long>(records * 6);
    }

private:
    // Records due since the start. The elapsed time is summed in 64 bits, as the tick
    // wraps after 49 days.
    uint64_t Due()
    {
        uint32_t now = Clock().TickMs();
        elapsed_ += now - tick_;
        tick_ = now;
        return elapsed_ * 60 / 1000;
    }
    // The tick at which record n (from 1) becomes due.
    uint32_t Instant(uint64_t n) const { return start_ + static_cast<uint32_t>((n * 1000 + 59) / 60); }

    const uint32_t start_;
    uint32_t tick_;
    uint64_t elapsed_ = 0; // ms since the start
    uint64_t sent_ = 0;    // records read or dropped
    CRandom15 random_;
};

} // namespace

std::unique_ptr<ISerialPort> OpenSerialPort(const std::string& name)
{
    const char* simulate = getenv("ORVIX_SIMULATED_EYE");
    if (name == kSimulatedSerialPort || (simulate && *simulate && *simulate != '0'))
        return std::make_unique<CSimEyeTracker>();
    std::string path = MapSerialPort(name);
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    // Exclusive, as the original opened its port without sharing.
    ioctl(fd, TIOCEXCL);
    return std::make_unique<CTermiosPort>(fd);
}

} // namespace orvix
