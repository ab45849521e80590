#include "stats/betagamma.h"

#include <boost/math/special_functions/beta.hpp>
#include <boost/math/special_functions/gamma.hpp>
#include <cmath>
#include <limits>

namespace tarsel {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

double Betainc(double x, double a, double b)
{
    if (std::isnan(x) || std::isnan(a) || std::isnan(b) || x < 0 || x > 1)
        return kNaN;
    if (!(a > 0) || !(b > 0) || std::isinf(a) || std::isinf(b))
        return kNaN;
    try {
        return boost::math::ibeta(a, b, x);
    } catch (const std::exception&) {
        return kNaN;
    }
}

double Gammainc(double z, double a)
{
    if (std::isnan(z) || std::isnan(a) || z < 0 || !(a > 0))
        return kNaN;
    if (std::isinf(a))
        return std::isinf(z) ? kNaN : 0.0;
    if (std::isinf(z))
        return 1.0;
    try {
        return boost::math::gamma_p(a, z);
    } catch (const std::exception&) {
        return kNaN;
    }
}

} // namespace tarsel
