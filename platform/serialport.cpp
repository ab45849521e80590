#include "platform/serialport.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/random.h"
#include "platform/simsubject.h"

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

// 60 records per second (one per 16.7 ms, the runner's default eye bin), produced for the time
// that has passed since the last read: the simulated subject's gaze when there is one, else
// a steady gaze straight ahead.
class CSimEyeTracker : public ISerialPort {
public:
    CSimEyeTracker() : last_(Clock().TickMs()) {}
    bool Configure(int) override { return true; }
    void Purge() override { last_ = Clock().TickMs(); }
    void SetDtr(bool) override {}
    long BytesWaiting() override { return static_cast<long>(Due() * 6); }
    long Read(uint8_t* buffer, size_t size) override
    {
        uint32_t due = Due();
        size_t records = std::min<size_t>(due, size / 6);
        CSimulatedSubject* subject = ActiveSimulatedSubject();
        for (size_t r = 0; r < records; ++r) {
            int h = 2560 + random_.Next() % 21 - 10;
            int v = 1280 + random_.Next() % 21 - 10;
            if (subject)
                subject->Gaze(last_ + static_cast<uint32_t>(r * 50 / 3), h, v);
            uint8_t* p = buffer + r * 6;
            p[0] = 'D';
            p[1] = 'D';
            p[2] = static_cast<uint8_t>(h & 0xFF);
            p[3] = static_cast<uint8_t>(h >> 8);
            p[4] = static_cast<uint8_t>(v & 0xFF);
            p[5] = static_cast<uint8_t>(v >> 8);
        }
        last_ += static_cast<uint32_t>(records * 50 / 3); // 16.7 ms per record
        return static_cast<long>(records * 6);
    }

private:
    uint32_t Due() const { return (Clock().TickMs() - last_) * 3 / 50; }
    uint32_t last_;
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
