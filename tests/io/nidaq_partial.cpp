// Analog-input libraries that lack entries, for the I/O layer's "not found" paths.
#include <cstdint>

#ifdef ORVIX_WITH_CONFIGURE
extern "C" __attribute__((visibility("default"))) int16_t AI_Configure(int16_t, int16_t, int16_t, int16_t, int16_t,
                                                                       int16_t)
{
    return 0;
}
#endif
extern "C" __attribute__((visibility("default"))) int orvix_nidaq_placeholder() { return 0; }
