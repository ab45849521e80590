#include "platform/runtime/random.h"

#include <chrono>

namespace orvix {

CRandom15::CRandom15()
    : state_(static_cast<uint32_t>(std::chrono::system_clock::now().time_since_epoch().count()))
{
}

} // namespace orvix
