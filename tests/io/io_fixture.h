// The I/O layer's test fixture: a document over a private registry, the log read back from
// its file copy, a recording digital-I/O device and a loopback peer for the renderer link.
#pragma once
#include <deque>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

#include "io/deviceio.h"
#include "platform/devices/devicecall.h"
#include "platform/devices/spikesim.h"
#include "platform/net/tcpsocket.h"
#include "platform/runtime/clock.h"
#include "runner/experiment.h"
#include "tests/document/doc_fixture.h"

// What the recording TROVIK device saw and answers.
struct TrovikRecord {
    std::vector<uint8_t> written;
    std::deque<uint8_t> keys;
    uint32_t failKeys = 0;
    std::vector<uint32_t> codes;
};

class CRecordingTrovik : public orvix::IDevice {
public:
    explicit CRecordingTrovik(TrovikRecord& record) : r_(record) {}
    uint32_t DeviceIoControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                             uint32_t& returned) override
    {
        r_.codes.push_back(code);
        if (code == orvix::IOCTL_TROVIK_WRITE_A && inSize == 1) {
            r_.written.push_back(*static_cast<const uint8_t*>(in));
            return 0;
        }
        if (code == orvix::IOCTL_TROVIK_GET_KEY && outSize == 1) {
            if (r_.failKeys) {
                --r_.failKeys;
                return orvix::ERROR_GEN_FAILURE;
            }
            *static_cast<uint8_t*>(out) = r_.keys.empty() ? 'C' : r_.keys.front();
            if (!r_.keys.empty())
                r_.keys.pop_front();
            returned = 1;
            return 0;
        }
        return orvix::ERROR_INVALID_PARAMETER;
    }

private:
    TrovikRecord& r_;
};

class IoTest : public DocTest {
protected:
    void SetUp() override
    {
        DocTest::SetUp();
        logPath = dir + "/log.txt";
        setenv("ORVIX_LOG", logPath.c_str(), 1);
        orvix::ResetDeviceRegistry();
        orvix::ResetSpikeSim();
        doc = std::make_unique<orvix::COrvixDoc>();
        experiment.Attach(doc.get());
    }
    void TearDown() override
    {
        deviceIO.Close();
        doc.reset();
        orvix::ResetDeviceRegistry();
        orvix::ResetSpikeSim();
        orvix::SetClock(nullptr);
        for (const char* v : {"ORVIX_LOG", "ORVIX_RENDERER_PORT", "ORVIX_CONSOLE_PORT"})
            unsetenv(v);
        if (peer >= 0)
            close(peer);
        DocTest::TearDown();
    }

    // The log lines without their time prefix "HH:MM:SS: ".
    std::vector<std::string> Log() const
    {
        std::vector<std::string> lines;
        std::istringstream in(orvix_test::ReadFile(logPath));
        std::string line;
        while (std::getline(in, line))
            lines.push_back(line.size() >= 10 ? line.substr(10) : line);
        return lines;
    }
    void ClearLog() const { orvix_test::WriteFile(logPath, ""); }

    // A clock of the fixture, so that it outlives whatever the tear-down closes.
    orvix::CFakeClock& UseFakeClock()
    {
        orvix::SetClock(&fakeClock);
        return fakeClock;
    }

    void UseRecordingTrovik()
    {
        orvix::RegisterDevice(orvix::kTrovikDeviceName, [this](uint32_t&) {
            return std::unique_ptr<orvix::IDevice>(new CRecordingTrovik(trovik));
        });
    }

    // A loopback port where nobody listens.
    static int ClosedPort()
    {
        orvix::CTcpListener l;
        l.Listen(0);
        int port = l.Port();
        l.Close();
        return port;
    }

    // Settings that keep Open away from real hardware: no serial port, the renderer at port.
    void PointAt(int rendererPort, const char* serial = "/nonexistent/orvix-tty")
    {
        setenv("ORVIX_RENDERER_PORT", std::to_string(rendererPort).c_str(), 1);
        doc->GetBehavParam("SGI", orvix::CParam(nullptr, "127.0.0.1"));
        doc->GetBehavParam("SerialPort", orvix::CParam(nullptr, serial));
    }

    // Opens the I/O layer against a listener of this test and accepts the connection as
    // `peer`; the renderer is then marked running.
    void OpenWithPeer()
    {
        ASSERT_EQ(listener.Listen(0), 0);
        PointAt(listener.Port());
        deviceIO.Open(doc.get());
        peer = listener.Accept(2000);
        ASSERT_GE(peer, 0);
        deviceIO.SetRendererRunning(true);
        ClearLog();
    }

    // Bytes the peer receives within the time (fewer when no more come).
    std::vector<uint8_t> PeerRead(size_t count, int timeoutMs = 1000) const
    {
        std::vector<uint8_t> out;
        while (out.size() < count) {
            pollfd p{peer, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0)
                break;
            uint8_t buf[1024];
            ssize_t n = recv(peer, buf, std::min(sizeof buf, count - out.size()), 0);
            if (n <= 0)
                break;
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }
    void PeerWrite(const std::string& hex) const
    {
        std::vector<uint8_t> bytes = orvix_test::Hex(hex);
        ASSERT_EQ(send(peer, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }

    orvix::CFakeClock fakeClock;
    std::unique_ptr<orvix::COrvixDoc> doc;
    std::string logPath;
    TrovikRecord trovik;
    orvix::CTcpListener listener;
    int peer = -1;
};
