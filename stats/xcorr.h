// Cross-correlation by FFT, its argument parsing, the overlap-add filter, and the trial
// alignment measure built on them.
#pragma once

#include <string>
#include <vector>

#include "stats/fft.h"
#include "stats/mwarray.h"

namespace tarsel {

using Args = std::vector<mwArray>;

// Conversions between run-time arrays of doubles and the complex working matrix.
CMatrix ToComplex(const mwArray& a);
mwArray FromComplex(const CMatrix& c, bool forceReal);

// y = fftfilt(b, x[, nfft]): the first length(x) samples of the convolution of each filter
// with each signal, by overlap-add.
mwArray fftfilt(const Args& args);

// The transform and block length fftfilt picks for a filter of nb and a signal of nx
// samples (nfft <= 0: chosen from the cost table).
struct FftfiltPlan {
    size_t nfft = 0, L = 0;
};
FftfiltPlan FftfiltLengths(size_t nb, size_t nx, double nfft);

// What the arguments of xcorr mean; msg is the first fault, empty when there is none.
struct XcorrArgs {
    bool xIsMatrix = false;
    bool autoFlag = true;
    double maxlag = 0;
    std::string scaleType;
    std::string msg;
};
XcorrArgs parseinput(const mwArray& x, const Args& extra);

// c = xcorr(x, [y], [maxlag], [scale]); lags, when asked for, gets -maxlag..maxlag.
mwArray xcorr(const Args& args, mwArray* lags = nullptr);

// 1 - the mean zero-lag correlation coefficient of the trials' spike histograms (61 bins
// centred on 0, 5, ..., 300) once every reference time is moved by delay (wrapping at t).
mwArray alltrialsxcorr(const mwArray& delay, const mwArray& t, const mwArray& delay0, const mwArray& spikes);

} // namespace tarsel
