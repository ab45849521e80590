// CDeviceIO: the program's one I/O layer, owner of every outside connection: the renderer's
// command link, the key and the outputs (digital-I/O driver), the eye tracker's serial line,
// the spike counter and the analog inputs. Every device is optional: one that cannot be
// opened is logged once by Open and its operations then do nothing or return a neutral value.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "io/sockets.h"
#include "platform/devices/devicecall.h"
#include "platform/runtime/library.h"

namespace orvix {

class IIoHost;
class ISerialPort;

// Renderer packet types.
enum PacketType : uint8_t {
    PKT_DEFINITIONS = 1,
    PKT_COMMAND = 2,
    PKT_CLOSE = 4,
    PKT_SCENE = 5,
    PKT_ACK = 7,
    PKT_LATENCY_ON = 8,
    PKT_LATENCY_OFF = 9,
};

// Digital-I/O driver codes the program sends.
enum : uint32_t {
    IOCTL_TROVIK_GET_KEY = 0x8300201C,
    IOCTL_TROVIK_WRITE_A = 0x83002020,
};

inline const char* const kTrovikDeviceName = "\\\\.\\TROVIK";

// Ports of the renderer links; ORVIX_RENDERER_PORT and ORVIX_CONSOLE_PORT override them.
int RendererCommandPort();
int RendererConsolePort();
// The host added as "SGI" when the parameter is missing: the stand-in renderer's.
inline const char* const kDefaultRendererHost = "localhost";

class CDeviceIO {
public:
    static constexpr int kMaxPayload = 255;
    static constexpr int kMaxCommandText = kMaxPayload - 3;
    static constexpr int kMaxSceneText = kMaxPayload - 1;
    static constexpr uint32_t kAckTimeoutMs = 500;
    static constexpr uint32_t kConnectRetryMs = 5000;
    static constexpr size_t kSpikeBufferBytes = 120000;
    static constexpr size_t kMaxSerialRead = 60000;
    static constexpr uint32_t kEyeReadIntervalMs = 16;

    CDeviceIO();
    virtual ~CDeviceIO();
    CDeviceIO(const CDeviceIO&) = delete;
    CDeviceIO& operator=(const CDeviceIO&) = delete;

    // Opens every device in a fixed order, logging each outcome; always true. Whatever an
    // earlier Open left open is closed first, and what the operations kept between calls
    // (output latch, spike start, key, voltages, the analog switch's arming, the angle
    // limits and last steps, the eye-read clock) starts again as at construction: a new
    // experiment never inherits the last one's calibration. A host given here becomes the
    // layer's host.
    bool Open(IIoHost* host);
    // Closes every device and both renderer sockets; clears the renderer-running flag and
    // stops the experiment passes.
    void Close();
    // Who receives the log lines, answers the settings and reads the renderer's packets;
    // null: nobody (the log is dropped, the settings take their defaults).
    void SetHost(IIoHost* host);
    IIoHost* GetHost() const { return host_; }
    // The renderer's console link, closed with the devices.
    void SetConsole(CConsoleSocket* console) { console_ = console; }
    // The experiment engine's part of the link, set by whoever owns both: stopRun when the
    // link went down or was closed (the run flag goes to 0), restartLoopTiming when a packet
    // came while a command waited for its acknowledgement.
    struct EngineHooks {
        std::function<void()> stopRun;
        std::function<void()> restartLoopTiming;
    } engineHooks;
    // A line for the host's log.
    void Log(const std::string& text);
    // The analog-input library's name ("nidaq32"); tests point it elsewhere.
    void SetAnalogLibraryName(const std::string& name) { analogLibrary_ = name; }

    // ---- Spike counter ----
    void StartSpikeCounter();
    void StopSpikeCounter();
    // Words of 3-word records (mask, time low, time high) since the counter started.
    std::vector<uint16_t>& ReadSpikes();
    uint32_t GetSpikeStartTime() const { return spikeStart_; }

    // ---- Key and outputs ----
    // The last key or lever letter; 'C' without the driver.
    signed char ReadDigitalInput();
    void WriteDigitalOutput(uint8_t byte);
    void PulseEarly();
    void PulseHit();
    void PulseMiss();
    void SetOutputBit2(bool on);
    uint8_t GetOutputLatch() const { return latch_; }

    // ---- Eye tracker ----
    void ResetSerial();
    void StopSerial();
    void PurgeSerial();
    // Raw (H, V) pairs read since the last call; at most one port read every 16 ms.
    std::vector<uint16_t>& ReadEyeSamples();
    // The same without the 16 ms limit: everything that came up to now (a trial's end).
    std::vector<uint16_t>& ReadEyeSamplesNow();
    bool IsSerialOpen() const { return serial_ != nullptr; }

    // ---- Analog inputs ----
    double ReadVolts(int channel, int gain);
    int ReadMillivolts(int channel, int gain);
    int ReadAnalogSwitch();
    int ReadAngleStep();
    int ReadPosStepH();
    int ReadPosStepV();
    bool HasAnalogInput() const { return aiVRead_ != nullptr; }

    // ---- Renderer command link ----
    bool IsRendererRunning() const { return rendererRunning_ != 0; }
    // Only the console's "Inventor started!" line sets it; clearing it stops all traffic.
    void SetRendererRunning(bool running);
    // The renderer closed the command link: the link is down and the experiment passes end
    // (they would go on blind); the log says so. A later Enable connects again.
    void OnRendererClosed();
    // Tests of the pages stand in for the renderer: a command that would go out is handed
    // to this hook instead (and counts as sent).
    std::function<void(int objectId, const std::string& text, bool wait)> sendHookForTest;
    void SetRendererRunningForTest(bool running) { rendererRunning_ = running ? 1 : 0; }
    // Who watches what the renderer is told (the simulated subject): told of each command
    // once it has gone out.
    std::function<void(int objectId, const std::string& text)> onCommandSent;
    // One packet (type, length byte, payload) in one send; false when the renderer is not
    // running, the payload is too long, or the send failed (the link is then closed).
    bool SendPacket(uint8_t type, const uint8_t* payload, size_t size);
    // One receive of at most count bytes: the count, 0 when nothing came or the peer closed.
    int Receive(void* buffer, int count, int timeoutMs = 0);
    // The next whole packet in the shared buffer (header, payload, NUL), or null when none is
    // complete within the time; a packet cut by the network is kept and completed later.
    // Once a packet has begun, its rest is waited for up to 500 ms unless the caller's time
    // is a deadline of its own (holdDeadline).
    const uint8_t* ReceivePacket(int timeoutMs = 0, bool holdDeadline = false);
    // Type-2 command; with wait, blocks up to 500 ms for the acknowledgement and marks the
    // link down when none comes. A negative object id sends nothing. True when sent (and,
    // with wait, acknowledged).
    bool SendCommand(int objectId, const char* text, bool wait);
    bool SendText(const char* text);
    bool SendClose();
    bool SendLatencyMeasuring(bool on);
    void SetAsyncMode(bool async);
    CCmdSocket& GetCmdSocket() { return cmdSocket_; }
    // A packet has begun to arrive and is not whole yet.
    bool HasHalfPacket() const { return packetHave_ > 0; }
    // The stream cannot be trusted any more (a packet cut off for good, bytes that are no
    // packet): nothing after it could be told from the rest of it. The layer is closed as
    // for a failed receive, the half packet with it, and the log gets this one line; the
    // next Enable connects again and loads the scene anew.
    void CloseOutOfStep(const std::string& why);

private:
    void StopRun();
    void OpenAnalogInput();
    HANDLE OpenDriver(const char* path, const char* shortName);
    void OpenSerial();
    void ConnectRenderer();
    // Closes devices and the command link, not the console link and not the flags.
    void ReleaseDevices();
    // The values kept between calls, as at construction.
    void ForgetKeptState();
    void OnSendError();
    void OnReceiveError(int requested);
    // Bytes of the packet being received so far; true when it is whole.
    bool FillPacket(int timeoutMs, bool holdDeadline);
    std::vector<uint16_t>& ReadEyeSamples(bool gated);

    using AIConfigureFn = int16_t (*)(int16_t, int16_t, int16_t, int16_t, int16_t, int16_t);
    using AIVReadFn = int16_t (*)(int16_t, int16_t, int16_t, double*);

    std::string analogLibrary_ = "nidaq32";
    HMODULE nidaq_ = nullptr;
    AIConfigureFn aiConfigure_ = nullptr;
    AIVReadFn aiVRead_ = nullptr;
    HANDLE spike_ = INVALID_HANDLE_VALUE;
    HANDLE trovik_ = INVALID_HANDLE_VALUE;
    std::unique_ptr<ISerialPort> serial_;
    std::vector<uint8_t> serialRx_;
    CCmdSocket cmdSocket_{this};
    IIoHost* host_ = nullptr;
    CConsoleSocket* console_ = nullptr;
    uint8_t latch_ = 0;
    uint32_t spikeStart_ = 0;
    int rendererRunning_ = 0;

    // Kept between calls.
    std::vector<uint16_t> eyeSamples_;
    std::vector<uint8_t> serialChunk_;
    uint32_t lastEyeRead_ = 0;
    bool eyeReadBefore_ = false;
    std::vector<uint16_t> spikes_;
    std::vector<uint8_t> spikeBuffer_;
    signed char key_ = 0;
    double volts_ = 0.0;
    int switchArmed_ = 0;
    int lastAngle_ = 0;
    float angleLow_ = -4.0f;
    float angleHigh_ = 4.0f;
    int lastPosH_ = 0;
    int lastPosV_ = 0;

    // The packet being received: header, payload and a NUL.
    uint8_t packet_[2 + kMaxPayload + 1] = {};
    int packetHave_ = 0;
};

} // namespace orvix
