#include "stats/grp2idx.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>
#include <unordered_map>

namespace tarsel {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Uniquep UniqueText(const mwArray& s)
{
    // Numbered by first appearance: the same result as sorting the distinct strings and
    // then ordering them by their first position.
    const size_t n = s.Numel();
    std::unordered_map<std::string, size_t> index;
    std::vector<std::string> names;
    std::vector<double> first, group(n);
    for (size_t k = 0; k < n; ++k) {
        std::string text = CellText(s.Cell(k));
        auto [it, added] = index.emplace(std::move(text), names.size());
        if (added) {
            names.push_back(it->first);
            first.push_back(k + 1.0);
        }
        group[k] = it->second + 1.0;
    }
    return {mwArray::CellColumn(names), mwArray::Column(first), mwArray::Column(group)};
}

Uniquep UniqueNumbers(const mwArray& s)
{
    const size_t n = s.Numel();
    std::vector<double> sorted;
    sorted.reserve(n);
    bool anyNaN = false;
    for (double v : s.Data()) {
        if (std::isnan(v))
            anyNaN = true;
        else
            sorted.push_back(v);
    }
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    const size_t nb = sorted.size() + (anyNaN ? 1 : 0);
    std::vector<double> first(nb, 0.0), group(n);
    for (size_t k = 0; k < n; ++k) {
        const double v = s[k];
        const size_t g = std::isnan(v) ? nb - 1
                                       : std::lower_bound(sorted.begin(), sorted.end(), v) - sorted.begin();
        group[k] = g + 1.0;
        if (first[g] == 0)
            first[g] = k + 1.0;
    }
    std::vector<double> values = sorted;
    if (anyNaN)
        values.push_back(kNaN);
    return {mwArray::CellColumn(NumbersToText(values)), mwArray::Column(first), mwArray::Column(group)};
}

} // namespace

std::vector<std::string> NumbersToText(const std::vector<double>& values)
{
    bool whole = true;
    double largest = 0;
    for (double v : values) {
        if (std::isfinite(v)) {
            whole = whole && std::floor(v) == v;
            largest = std::max(largest, std::fabs(v));
        }
    }
    int digits = 5;
    if (largest > 0)
        digits = std::clamp(static_cast<int>(std::floor(std::log10(largest))) + 5, 5, 16);
    std::vector<std::string> out;
    out.reserve(values.size());
    char buf[64];
    for (double v : values) {
        if (std::isnan(v))
            out.emplace_back("NaN");
        else if (std::isinf(v))
            out.emplace_back(v > 0 ? "Inf" : "-Inf");
        else if (whole && std::fabs(v) < 1e15)
            out.emplace_back(buf, snprintf(buf, sizeof buf, "%.0f", v));
        else
            out.emplace_back(buf, snprintf(buf, sizeof buf, "%.*g", digits, v));
    }
    return out;
}

Uniquep uniquep(const mwArray& s)
{
    return InRoutine("grp2idx/uniquep", [&] {
        if (s.IsCell())
            return UniqueText(s);
        if (s.IsNumeric())
            return UniqueNumbers(s);
        Error("Input must be a numeric vector, a character matrix or a cell array of strings.");
    });
}

mwArray grp2idx(const mwArray& input, mwArray* gnOut)
{
    return InRoutine("grp2idx", [&] {
        mwArray s = input.IsChar() ? Cellstr(input) : input;
        if (s.Rows() == 1)
            s = s.Transposed();
        Uniquep u = uniquep(s);
        mwArray& gn = u.b;
        mwArray& g = u.j;

        auto find = [&](const char* text) -> size_t {
            for (size_t k = 0; k < gn.Numel(); ++k)
                if (gn.Cell(k).Chars() == text)
                    return k + 1;
            return 0;
        };
        size_t nangrp = find("");
        if (!nangrp)
            nangrp = find("NaN");
        if (nangrp) {
            mwArray kept = mwArray::Cells(gn.Numel() - 1, 1);
            for (size_t k = 0, to = 0; k < gn.Numel(); ++k)
                if (k + 1 != nangrp)
                    kept.Cell(to++) = gn.Cell(k);
            gn = kept;
            for (double& v : g.Data()) {
                if (v == nangrp)
                    v = kNaN;
                else if (v > nangrp)
                    v -= 1;
            }
        }
        if (gnOut)
            *gnOut = gn;
        return g;
    });
}

} // namespace tarsel
