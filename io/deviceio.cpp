#include "io/deviceio.h"

namespace orvix {

CDeviceIO g_deviceIO;

bool CDeviceIO::SendCommand(int objectId, const char* text, bool wait)
{
    if (!rendererRunning_)
        return false;
    if (sendHookForTest) {
        sendHookForTest(objectId, text ? text : "", wait);
        return true;
    }
    return false;
}

} // namespace orvix
