// How badly a set of trials lines up for one candidate delay.
#include <cmath>
#include <limits>

#include "stats/xcorr.h"

namespace tarsel {

namespace {

// The histogram: 61 bins centred on 0, 5, ..., 300 over the window [0, 300].
constexpr int kBins = 61;
constexpr double kBinWidth = 5;
constexpr double kWindowEnd = 300;

} // namespace

mwArray alltrialsxcorr(const mwArray& delay, const mwArray& t, const mwArray& delay0In, const mwArray& spikes)
{
    return InRoutine("alltrialsxcorr", [&] {
        // Our own copy of the reference times: the caller's stay as they are.
        mwArray delay0 = delay0In;
        if (!delay.IsScalar() || !t.IsScalar())
            Error("Matrix dimensions must agree.");
        const double d = delay.Scalar(), period = t.Scalar();
        for (double& v : delay0.Data()) {
            v += d;
            if (v >= period)
                v -= period;  // one subtraction, not a remainder
        }
        const size_t N = delay0.Numel();
        if (N == 0)
            return mwArray(std::numeric_limits<double>::quiet_NaN());
        if (!spikes.IsCell() || spikes.Numel() < N)
            Error("Index exceeds matrix dimensions.");
        mwArray n = mwArray::Zeros(kBins, N);
        for (size_t i = 0; i < N; ++i) {
            const mwArray& s = spikes.Cell(i);
            if (!s.IsNumeric() && !s.IsEmpty())
                Error("Spike times must be numbers.");
            for (size_t k = 0; k < s.Numel(); ++k) {
                const double rel = s[k] - delay0[i];
                if (!(rel >= 0 && rel <= kWindowEnd))
                    continue;  // before the reference time, after the window, or NaN
                const int bin = std::min(kBins - 1, static_cast<int>(std::floor(rel / kBinWidth + 0.5)));
                n(bin, i) += 1;
            }
        }
        const mwArray corr = xcorr({n, mwArray(0.0), mwArray::Text("coeff")});
        double sum = 0;
        for (double v : corr.Data())
            sum += v;
        return mwArray(1 - sum / static_cast<double>(corr.Numel()));
    });
}

} // namespace tarsel
