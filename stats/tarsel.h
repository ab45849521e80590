// The statistics library's exports. The program loads libtarsel.so (or the debug build
// libtarseld.so) by name and binds these by name; only they are visible.
#pragma once

#include <cstdint>

#include "analysis/tablemodel.h"
#include "stats/mwarray.h"

#define TARSEL_EXPORT __attribute__((visibility("default")))

extern "C" {

// n-way analysis of variance (type 3 sums of squares) of data: column 0 the dependent
// variable, the other columns the factors; model the highest interaction order. Returns the
// library's one result table, reused by the next call; the caller never frees it. A failure
// comes back as a table with one text column named "Exception! " and the message.
TARSEL_EXPORT CTableModel* anova(CTableModel* data, int model);

// The record of doubles that aligntrials takes (x86-64 layout: 16 bytes).
struct DoubleSeries {
    int32_t reserved;       // not read
    int32_t count;          // number of values
    const double* values;
};

// The delay among 0, 0.1, 0.2, ... below maxDelay (0 always tried) whose alignment measure
// is smallest; ref holds one reference time per trial, spikes one series per trial. An error
// of the analysis is thrown to the caller (as a std::exception).
TARSEL_EXPORT double aligntrials(double maxDelay, const DoubleSeries* ref, const DoubleSeries* spikes);

// Stubs of the library's old face (fnTarsel returns 42); nothing calls them. The old
// CTarsel class stub is left out: a C++ class cannot be exported unmangled.
TARSEL_EXPORT int fnTarsel();
TARSEL_EXPORT extern int nTarsel;

// The alignment measure for one delay, on the library's own arrays (delay, period,
// 1xN reference times, 1xN cell of spike times). Only callers built with the library's
// array class can use it.
TARSEL_EXPORT tarsel::mwArray alltrialsxcorr(tarsel::mwArray delay, tarsel::mwArray t, tarsel::mwArray delay0,
                                             tarsel::mwArray spikes);
}
