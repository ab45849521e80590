#include "stats/distributions.h"

namespace tarsel {

mwArray chi2cdf(const Args& args)
{
    if (args.size() < 2)
        Error("Requires two input arguments.");
    std::vector<mwArray> a(args.begin(), args.begin() + 2);
    for (const mwArray& arg : a)
        if (!arg.IsNumeric())
            Error("Arguments must be numeric.");
    if (distchck(2, a) > 0)
        Error("Requires non-scalar arguments to match in size.");
    mwArray shape = a[1];
    for (double& v : shape.Data())
        v /= 2;
    return gamcdf(a[0], shape, mwArray(2.0));
}

} // namespace tarsel
