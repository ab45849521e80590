// The term algebra local to the analysis: term lists by order, and term containment.
#include <cmath>
#include <cstdint>
#include <numeric>

#include "stats/anovan.h"

namespace tarsel {

mwArray makemodel(double p, double ngIn)
{
    return InRoutine("myanovan/makemodel", [&] {
        const size_t ng = ngIn > 0 ? static_cast<size_t>(ngIn) : 0;
        std::vector<double> v;
        for (size_t f = 0; f < ng; ++f)
            v.push_back(std::ldexp(1.0, static_cast<int>(f)));
        const std::vector<double> vgen = v;
        // Count the terms first: a high order among many factors must fail, not exhaust memory.
        double count = static_cast<double>(ng), choose = static_cast<double>(ng);
        for (size_t j = 2; static_cast<double>(j) <= p && j <= ng; ++j) {
            choose = choose * static_cast<double>(ng - j + 1) / static_cast<double>(j);
            count += choose;
        }
        if (count > 1 << 20)
            throw mwBadAlloc();
        for (size_t j = 2; static_cast<double>(j) <= p; ++j) {
            if (j > ng)
                Error("K must be an integer between 0 and N.");
            // Combinations of j positions in lexicographic order.
            std::vector<size_t> pick(j);
            std::iota(pick.begin(), pick.end(), 0);
            for (;;) {
                double code = 0;
                for (size_t q : pick)
                    code += vgen[q];
                v.push_back(code);
                size_t i = j;
                while (i > 0 && pick[i - 1] == ng - j + i - 1)
                    --i;
                if (i == 0)
                    break;
                ++pick[i - 1];
                for (size_t q = i; q < j; ++q)
                    pick[q] = pick[q - 1] + 1;
            }
        }
        return mwArray::Column(v);
    });
}

mwArray termsnotcontained(const mwArray& t)
{
    return InRoutine("myanovan/termsnotcontained", [&] {
        const size_t n = t.Numel();
        for (double v : t.Data())
            if (!IsWhole(v) || v < 0 || v >= 9007199254740992.0)
                Error("Double inputs must have integer values in the range of ASSUMEDTYPE.");
        mwArray m = mwArray::Zeros(n, n);
        for (size_t i = 0; i < n; ++i)
            for (size_t j = 0; j < n; ++j) {
                const auto ti = static_cast<uint64_t>(t[i]), tj = static_cast<uint64_t>(t[j]);
                m(i, j) = (i == j || (ti & tj) != ti) ? 1 : 0;
            }
        return m;
    });
}

} // namespace tarsel
