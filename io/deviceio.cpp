#include "io/deviceio.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "io/iohost.h"
#include "model/param.h"
#include "platform/devices/serialport.h"
#include "platform/runtime/clock.h"
#include "platform/text/numbers.h"

namespace orvix {

namespace {

int PortFromEnvironment(const char* variable, int fallback)
{
    const char* text = getenv(variable);
    if (!text || !*text)
        return fallback;
    int port = ParseInt(text);
    return port > 0 && port < 65536 ? port : fallback;
}

} // namespace

int RendererCommandPort() { return PortFromEnvironment("ORVIX_RENDERER_PORT", 22222); }
int RendererConsolePort() { return PortFromEnvironment("ORVIX_CONSOLE_PORT", 20000); }

CDeviceIO::CDeviceIO() : serialChunk_(kMaxSerialRead), spikeBuffer_(kSpikeBufferBytes) {}

CDeviceIO::~CDeviceIO()
{
    SendClose();
    Close();
}

void CDeviceIO::Log(const std::string& text)
{
    if (host_)
        host_->AddLogLine(text);
}

void CDeviceIO::StopRun()
{
    if (engineHooks.stopRun)
        engineHooks.stopRun();
}

// ---- Open and close ----

void CDeviceIO::SetHost(IIoHost* host)
{
    host_ = host;
    cmdSocket_.SetHost(host);
}

bool CDeviceIO::Open(IIoHost* host)
{
    // After a missed acknowledgement nothing was closed; the devices are opened exclusively,
    // so what is still held must go first.
    ReleaseDevices();
    ForgetKeptState();
    if (host)
        host_ = host;
    OpenAnalogInput();
    spike_ = OpenDriver("\\\\.\\SPIKE", "SPIKE");
    trovik_ = OpenDriver(kTrovikDeviceName, "TROVIK");
    OpenSerial();
    ConnectRenderer();
    return true;
}

void CDeviceIO::OpenAnalogInput()
{
    nidaq_ = LoadLibrary(analogLibrary_);
    if (!nidaq_) {
        Log("Can't load library \"nidaq32.dll\". ");
        return;
    }
    Log("Library \"nidaq32.dll\" loaded.");
    aiConfigure_ = reinterpret_cast<AIConfigureFn>(GetProcAddress(nidaq_, "AI_Configure"));
    if (aiConfigure_)
        aiConfigure_(1, -1, 2, 0, 0, 0);
    else
        Log("Can't GetProcAddress of \"AI_Configure\".");
    aiVRead_ = reinterpret_cast<AIVReadFn>(GetProcAddress(nidaq_, "AI_VRead"));
    if (!aiVRead_)
        Log("Can't GetProcAddress of \"AI_VRead\".");
}

HANDLE CDeviceIO::OpenDriver(const char* path, const char* shortName)
{
    HANDLE h = CreateFile(path);
    std::string name = std::string("Device driver \"") + shortName + "\" ";
    if (h != INVALID_HANDLE_VALUE)
        Log(name + "loaded.");
    else if (GetLastError() == static_cast<uint32_t>(ERROR_FILE_NOT_FOUND))
        Log(name + "not found!");
    else if (GetLastError() == ERROR_NOT_SUPPORTED)
        Log(name + "doesn't support DeviceIOControl interface!");
    else
        Log(name + "error!");
    return h;
}

void CDeviceIO::OpenSerial()
{
    CParam port("SerialPort", "COM2");
    std::string name = host_ ? host_->GetBehavParam("SerialPort", port).GetText() : port.GetText();
    serial_ = OpenSerialPort(name);
    if (!serial_) {
        std::string text = GetSystemErrorText();
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        Log("Serial port " + name + " error. " + text);
        return;
    }
    Log("Serial port " + name + " opened.");
    serial_->Purge();
    CParam rate("BaudRate", 115200);
    int baud = host_ ? host_->GetBehavParam("BaudRate", rate).GetInt() : rate.GetInt();
    serial_->Configure(baud);
    serial_->SetDtr(true);
    serialRx_.clear();
}

void CDeviceIO::ConnectRenderer()
{
    // The socket's blocking mode is set with its creation and after the connection, by
    // calls on a descriptor it holds, which the system cannot refuse: no "Socket IOCtl
    // error!" can come here.
    if (!cmdSocket_.Create(host_)) {
        Log("Socket creation error!");
        return;
    }
    uint32_t t0 = TickMs();
    int error = 0;
    while (true) {
        CParam sgi("SGI", kDefaultRendererHost);
        std::string host = host_ ? host_->GetBehavParam("SGI", sgi).GetText() : sgi.GetText();
        uint32_t elapsed = TickMs() - t0;
        int limit = elapsed < kConnectRetryMs ? static_cast<int>(kConnectRetryMs - elapsed) : 1;
        error = cmdSocket_.Connect(host, RendererCommandPort(), limit);
        if (error != ECONNREFUSED || TickMs() - t0 >= kConnectRetryMs)
            break;
        // A refused connection is retried until the renderer listens; a short pause keeps
        // the retries from taking a whole core.
        Clock().SleepMs(20);
    }
    if (error) {
        Log("Socket connect error! " + ErrorText(error));
        return;
    }
    if (!cmdSocket_.SetNotify(true))
        Log("AsyncSelect error!");
    if (!cmdSocket_.Socket().SetNoDelay(true))
        Log("SetSockOpt error!");
}

void CDeviceIO::ReleaseDevices()
{
    StopSerial();
    StopSpikeCounter();
    if (spike_ != INVALID_HANDLE_VALUE)
        CloseHandle(spike_);
    spike_ = INVALID_HANDLE_VALUE;
    if (trovik_ != INVALID_HANDLE_VALUE)
        CloseHandle(trovik_);
    trovik_ = INVALID_HANDLE_VALUE;
    if (nidaq_) {
        FreeLibrary(nidaq_);
        nidaq_ = nullptr;
        aiConfigure_ = nullptr;
        aiVRead_ = nullptr;
    }
    serial_.reset();
    cmdSocket_.Close();
    packetHave_ = 0;
}

void CDeviceIO::ForgetKeptState()
{
    latch_ = 0;
    spikeStart_ = 0;
    eyeSamples_.clear();
    lastEyeRead_ = 0;
    eyeReadBefore_ = false;
    spikes_.clear();
    key_ = 0;
    volts_ = 0.0;
    switchArmed_ = 0;
    lastAngle_ = 0;
    angleLow_ = -4.0f;
    angleHigh_ = 4.0f;
    lastPosH_ = 0;
    lastPosV_ = 0;
}

void CDeviceIO::Close()
{
    ReleaseDevices();
    if (console_)
        console_->Close();
    rendererRunning_ = 0;
    StopRun();
}

// ---- Spike counter ----

void CDeviceIO::StartSpikeCounter()
{
    if (spike_ == INVALID_HANDLE_VALUE)
        return;
    spikeStart_ = TickMs();
    DeviceIoControl(spike_, 0x8200200C, nullptr, 0, nullptr, 0, nullptr);
}

void CDeviceIO::StopSpikeCounter()
{
    if (spike_ != INVALID_HANDLE_VALUE)
        DeviceIoControl(spike_, 0x82002010, nullptr, 0, nullptr, 0, nullptr);
}

std::vector<uint16_t>& CDeviceIO::ReadSpikes()
{
    spikes_.clear();
    if (spike_ == INVALID_HANDLE_VALUE)
        return spikes_;
    uint32_t returned = 0;
    if (!DeviceIoControl(spike_, 0x82002018, nullptr, 0, spikeBuffer_.data(),
                         static_cast<uint32_t>(spikeBuffer_.size()), &returned))
        return spikes_;
    // The driver's count is not trusted beyond the buffer it was given.
    size_t bytes = std::min<size_t>(returned, spikeBuffer_.size());
    spikes_.resize(bytes / 2);
    if (!spikes_.empty())
        memcpy(spikes_.data(), spikeBuffer_.data(), spikes_.size() * 2);
    return spikes_;
}

// ---- Key and outputs ----

signed char CDeviceIO::ReadDigitalInput()
{
    if (trovik_ == INVALID_HANDLE_VALUE)
        return 'C';
    uint8_t byte = static_cast<uint8_t>(key_);
    uint32_t returned = 0;
    if (DeviceIoControl(trovik_, IOCTL_TROVIK_GET_KEY, nullptr, 0, &byte, 1, &returned) && returned == 1)
        key_ = static_cast<signed char>(byte);
    return key_;
}

void CDeviceIO::WriteDigitalOutput(uint8_t byte)
{
    if (trovik_ != INVALID_HANDLE_VALUE)
        DeviceIoControl(trovik_, IOCTL_TROVIK_WRITE_A, &byte, 1, nullptr, 0, nullptr);
}

void CDeviceIO::PulseEarly()
{
    WriteDigitalOutput(latch_ | 9);
    WriteDigitalOutput(latch_ | 8);
}

void CDeviceIO::PulseHit()
{
    WriteDigitalOutput(latch_ | 3);
    WriteDigitalOutput(latch_);
}

void CDeviceIO::PulseMiss()
{
    WriteDigitalOutput(latch_ | 1);
    WriteDigitalOutput(latch_);
}

void CDeviceIO::SetOutputBit2(bool on)
{
    latch_ = on ? static_cast<uint8_t>(latch_ | 4) : static_cast<uint8_t>(latch_ & ~4);
    WriteDigitalOutput(latch_);
}

// ---- Eye tracker ----

void CDeviceIO::ResetSerial()
{
    if (!serial_)
        return;
    PurgeSerial();
    serial_->SetDtr(true);
    serialRx_.clear();
}

void CDeviceIO::StopSerial()
{
    if (!serial_)
        return;
    serial_->SetDtr(false);
    serial_->Purge();
    serialRx_.clear();
}

void CDeviceIO::PurgeSerial()
{
    if (!serial_)
        return;
    serial_->Purge();
    serialRx_.clear();
}

std::vector<uint16_t>& CDeviceIO::ReadEyeSamples() { return ReadEyeSamples(true); }

std::vector<uint16_t>& CDeviceIO::ReadEyeSamplesNow() { return ReadEyeSamples(false); }

std::vector<uint16_t>& CDeviceIO::ReadEyeSamples(bool gated)
{
    eyeSamples_.clear();
    uint32_t now = TickMs();
    if (!eyeReadBefore_) {
        eyeReadBefore_ = true;
        lastEyeRead_ = now;
        return eyeSamples_;
    }
    if (gated && now - lastEyeRead_ < kEyeReadIntervalMs)
        return eyeSamples_;
    lastEyeRead_ = now;
    if (!serial_)
        return eyeSamples_;
    long waiting = serial_->BytesWaiting();
    if (waiting <= 0)
        return eyeSamples_;
    size_t want = std::min<size_t>(static_cast<size_t>(waiting), kMaxSerialRead);
    long got = serial_->Read(serialChunk_.data(), want);
    if (got < 0) {
        int flags = errno;
        if (flags)
            Log(Format("Communication port error: %u", static_cast<unsigned>(flags)));
        return eyeSamples_;
    }
    serialRx_.insert(serialRx_.end(), serialChunk_.begin(), serialChunk_.begin() + got);
    size_t i = 0;
    size_t size = serialRx_.size();
    while (i + 5 < size) {
        if (serialRx_[i] == 'D' && serialRx_[i + 1] == 'D') {
            eyeSamples_.push_back(static_cast<uint16_t>(serialRx_[i + 2] | (serialRx_[i + 3] << 8)));
            eyeSamples_.push_back(static_cast<uint16_t>(serialRx_[i + 4] | (serialRx_[i + 5] << 8)));
            i += 6;
        } else {
            ++i;
        }
    }
    serialRx_.erase(serialRx_.begin(), serialRx_.begin() + static_cast<long>(i));
    return eyeSamples_;
}

// ---- Analog inputs ----

double CDeviceIO::ReadVolts(int channel, int gain)
{
    if (aiVRead_)
        aiVRead_(1, static_cast<int16_t>(channel), static_cast<int16_t>(gain), &volts_);
    return volts_;
}

int CDeviceIO::ReadMillivolts(int channel, int gain) { return DoubleToInt(ReadVolts(channel, gain) * 1000.0); }

int CDeviceIO::ReadAnalogSwitch()
{
    double v = ReadVolts(0, 1);
    if (v <= 2.5) {
        switchArmed_ = 1;
        return 0;
    }
    return switchArmed_;
}

int CDeviceIO::ReadAngleStep()
{
    if (!ReadAnalogSwitch())
        return 0;
    float v = static_cast<float>(ReadVolts(1, -1));
    if (v < angleLow_)
        angleLow_ = v;
    if (v > angleHigh_)
        angleHigh_ = v;
    int angle = DoubleToInt((v - angleLow_) * 359.99 / (angleHigh_ - angleLow_));
    int d = angle - lastAngle_;
    if (d < 0)
        d += 360;
    if (d >= 6 && d < 355) {
        lastAngle_ = angle;
        return 0;
    }
    if (d < 3 || d >= 358)
        return 0;
    lastAngle_ = angle;
    return d;
}

namespace {

int PosStep(CDeviceIO& io, int channel, int& last)
{
    int x = DoubleToInt(io.ReadVolts(channel, 1) * -60.0);
    if (std::abs(x - last) < 2)
        return 0;
    int previous = last;
    last = x;
    return io.ReadAnalogSwitch() ? x - previous : 0;
}

} // namespace

int CDeviceIO::ReadPosStepH() { return PosStep(*this, 2, lastPosH_); }
int CDeviceIO::ReadPosStepV() { return PosStep(*this, 3, lastPosV_); }

} // namespace orvix
