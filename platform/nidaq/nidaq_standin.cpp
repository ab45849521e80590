// Stand-in of the analog-input board's library: device 1 with 16 single-ended channels that
// hold steady voltages (0 V unless set), so the manual stimulus controls stay still by
// default. Tests set the voltages through the AISim_ functions.
#include <cstdint>

#define ORVIX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
constexpr int kChannels = 16;
double g_volts[kChannels] = {};
int g_failReads = 0;
int g_configureCalls = 0;
int16_t g_lastConfigure[6] = {};

constexpr int16_t kNoError = 0;
constexpr int16_t kBadDevice = -60;
constexpr int16_t kBadChannel = -61;
constexpr int16_t kReadFailed = -10;
} // namespace

ORVIX_EXPORT int16_t AI_Configure(int16_t device, int16_t channel, int16_t inputMode, int16_t inputRange,
                                  int16_t polarity, int16_t driveAis)
{
    ++g_configureCalls;
    int16_t args[6] = {device, channel, inputMode, inputRange, polarity, driveAis};
    for (int i = 0; i < 6; ++i)
        g_lastConfigure[i] = args[i];
    return device == 1 ? kNoError : kBadDevice;
}

ORVIX_EXPORT int16_t AI_VRead(int16_t device, int16_t channel, int16_t gain, double* volts)
{
    if (device != 1)
        return kBadDevice;
    if (channel < 0 || channel >= kChannels || !volts)
        return kBadChannel;
    if (g_failReads > 0) {
        --g_failReads;
        return kReadFailed;
    }
    *volts = g_volts[channel];
    return kNoError;
}

// ---- Scripting for tests ----
ORVIX_EXPORT void AISim_SetVolts(int channel, double volts)
{
    if (channel >= 0 && channel < kChannels)
        g_volts[channel] = volts;
}

// The next n reads fail without writing the voltage.
ORVIX_EXPORT void AISim_FailReads(int n) { g_failReads = n; }

ORVIX_EXPORT int AISim_ConfigureCalls() { return g_configureCalls; }

ORVIX_EXPORT int AISim_LastConfigureArg(int i) { return i >= 0 && i < 6 ? g_lastConfigure[i] : 0; }

ORVIX_EXPORT void AISim_Reset()
{
    for (double& v : g_volts)
        v = 0.0;
    g_failReads = 0;
    g_configureCalls = 0;
}
