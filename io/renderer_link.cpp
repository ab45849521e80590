// The renderer command link of the I/O layer: packets (type, length byte, payload) over TCP,
// commands that wait for their acknowledgement, the scene name and the closing packet.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "io/deviceio.h"
#include "model/param.h"
#include "platform/runtime/clock.h"
#include "platform/text/numbers.h"

namespace orvix {

namespace {
// Once a packet has begun to arrive, the rest is waited for this long: the renderer sends
// whole packets, so the rest is already on its way.
constexpr int kPacketRestMs = 500;
} // namespace

void CDeviceIO::SetRendererRunning(bool running)
{
    rendererRunning_ = running ? 1 : 0;
    // Data that came while the renderer was not yet announced are notified now.
    if (running && cmdSocket_.IsNotifying())
        cmdSocket_.SetNotify(true);
}

void CDeviceIO::OnRendererClosed()
{
    SetRendererRunning(false);
    Log("The renderer closed the link.");
    StopRun();
}

void CDeviceIO::OnSendError()
{
    Log("Net send error! " + GetSystemErrorText());
    Close();
}

void CDeviceIO::OnReceiveError(int requested)
{
    Log("Net receive error! " + GetSystemErrorText() + Format(", size=%d, received=%d", requested, -1));
    Close();
}

bool CDeviceIO::SendPacket(uint8_t type, const uint8_t* payload, size_t size)
{
    if (!rendererRunning_ || size > kMaxPayload)
        return false;
    uint8_t buffer[2 + kMaxPayload];
    buffer[0] = type;
    buffer[1] = static_cast<uint8_t>(size);
    if (size)
        memcpy(buffer + 2, payload, size);
    long sent = cmdSocket_.Socket().Send(buffer, size + 2);
    if (sent != static_cast<long>(size + 2)) {
        if (sent >= 0)
            errno = EIO;
        OnSendError();
        return false;
    }
    return true;
}

int CDeviceIO::Receive(void* buffer, int count, int timeoutMs)
{
    if (!rendererRunning_ || count <= 0)
        return 0;
    long n = cmdSocket_.Socket().Recv(buffer, static_cast<size_t>(count), timeoutMs);
    if (n == kRecvTimeout)
        return 0; // nothing waiting is not an error
    cmdSocket_.NoteReceived();
    if (n == kRecvClosed) {
        cmdSocket_.OnClose(0);
        return 0;
    }
    if (n < 0) {
        OnReceiveError(count);
        return 0;
    }
    return static_cast<int>(n);
}

bool CDeviceIO::FillPacket(int timeoutMs, bool holdDeadline)
{
    uint32_t t0 = TickMs();
    int limit = std::max(timeoutMs, 0);
    int waited = 0;
    while (true) {
        int need = packetHave_ < 2 ? 2 : 2 + packet_[1];
        if (packetHave_ >= need)
            return true;
        if (packetHave_ > 0 && !holdDeadline)
            limit = std::max(limit, kPacketRestMs);
        int elapsed = std::max(static_cast<int>(TickMs() - t0), waited);
        int remaining = elapsed >= limit ? 0 : limit - elapsed;
        int n = Receive(packet_ + packetHave_, need - packetHave_, remaining);
        if (n > 0) {
            packetHave_ += n;
            continue;
        }
        if (!rendererRunning_ || remaining == 0)
            return false;
        waited = elapsed + remaining;
    }
}

const uint8_t* CDeviceIO::ReceivePacket(int timeoutMs, bool holdDeadline)
{
    if (!rendererRunning_)
        return nullptr;
    if (!FillPacket(timeoutMs, holdDeadline))
        return nullptr;
    // The NUL goes after the payload even when it is empty, so no reader meets old bytes.
    packet_[2 + packet_[1]] = 0;
    packetHave_ = 0;
    return packet_;
}

bool CDeviceIO::SendCommand(int objectId, const char* text, bool wait)
{
    if (objectId < 0)
        return false;
    if (sendHookForTest) {
        if (!rendererRunning_)
            return false;
        sendHookForTest(objectId, text ? text : "", wait);
        if (onCommandSent)
            onCommandSent(objectId, text ? text : "");
        return true;
    }
    size_t length = text ? strlen(text) : 0;
    if (objectId > 255 || length > kMaxCommandText) {
        // The id and the length each travel in one byte; a larger one would wrap.
        Log(Format("Renderer command for object %d not sent: ", objectId) + FormatInt(static_cast<int>(length))
            + " characters is too long.");
        return false;
    }
    uint8_t payload[kMaxPayload];
    payload[0] = static_cast<uint8_t>(objectId);
    payload[1] = wait ? 1 : 0;
    if (length)
        memcpy(payload + 2, text, length);
    payload[2 + length] = 0;
    if (!SendPacket(PKT_COMMAND, payload, length + 3))
        return false;
    if (onCommandSent)
        onCommandSent(objectId, std::string(text ? text : "", length));
    if (!wait)
        return true;

    uint32_t t0 = TickMs();
    SetAsyncMode(false);
    int waited = 0;
    while (true) {
        int elapsed = std::max(static_cast<int>(TickMs() - t0), waited);
        int remaining = elapsed > static_cast<int>(kAckTimeoutMs) ? 0 : static_cast<int>(kAckTimeoutMs) + 1 - elapsed;
        // One deadline for the whole command: an acknowledgement still on its way when it
        // passes is too late, however it was cut.
        const uint8_t* packet = ReceivePacket(remaining, true);
        if (packet) {
            if (engineHooks.restartLoopTiming)
                engineHooks.restartLoopTiming();
            if (packet[0] == PKT_ACK) {
                SetAsyncMode(true);
                return true;
            }
            continue; // anything else is dropped while the acknowledgement is awaited
        }
        elapsed = std::max(static_cast<int>(TickMs() - t0), elapsed + remaining);
        if (!rendererRunning_ || elapsed > static_cast<int>(kAckTimeoutMs)) {
            rendererRunning_ = 0;
            StopRun();
            return false;
        }
        waited = elapsed;
    }
}

bool CDeviceIO::SendText(const char* text)
{
    size_t length = text ? strlen(text) : 0;
    if (length > kMaxSceneText) {
        Log("Scene name not sent: " + FormatInt(static_cast<int>(length)) + " characters is too long.");
        return false;
    }
    uint8_t payload[kMaxPayload];
    if (length)
        memcpy(payload, text, length);
    payload[length] = 0;
    return SendPacket(PKT_SCENE, payload, length + 1);
}

bool CDeviceIO::SendClose() { return SendPacket(PKT_CLOSE, nullptr, 0); }

bool CDeviceIO::SendLatencyMeasuring(bool on) { return SendPacket(on ? PKT_LATENCY_ON : PKT_LATENCY_OFF, nullptr, 0); }

void CDeviceIO::CloseOutOfStep(const std::string& why)
{
    Log(why + ": the link is closed; press Enable to connect again.");
    Close();
}

void CDeviceIO::SetAsyncMode(bool async)
{
    if (!rendererRunning_)
        return;
    if (!cmdSocket_.SetNotify(async))
        Log("AsyncSelect error!");
}

} // namespace orvix
