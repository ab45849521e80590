// The statistics library's exports. The program loads libtarsel.so (or the debug build
// libtarseld.so) by name and binds these by name; only they are visible.
#pragma once

#include "analysis/tablemodel.h"

#define TARSEL_EXPORT __attribute__((visibility("default")))

extern "C" {

// n-way analysis of variance (type 3 sums of squares) of data: column 0 the dependent
// variable, the other columns the factors; model the highest interaction order. Returns the
// library's one result table, reused by the next call; the caller never frees it. A failure
// comes back as a table with one text column named "Exception! " and the message.
TARSEL_EXPORT CTableModel* anova(CTableModel* data, int model);

// Stubs of the library's old face (fnTarsel returns 42); nothing calls them. The old
// CTarsel class stub is left out: a C++ class cannot be exported unmangled.
TARSEL_EXPORT int fnTarsel();
TARSEL_EXPORT extern int nTarsel;
}
