// n-way analysis of variance with type 1, 2 or 3 sums of squares.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>
#include <unordered_map>

#include "stats/anovan.h"
#include "stats/distributions.h"
#include "stats/grp2idx.h"

namespace tarsel {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::string Formatted(const char* format, int a, int b = 0)
{
    char buf[160];
    snprintf(buf, sizeof buf, format, a, b);
    return buf;
}

// Factor names: X1, X2, ... by default, else the given names, one per factor.
std::vector<std::string> FactorNames(int nargin, const mwArray& gnamesIn, size_t ng)
{
    std::vector<std::string> names;
    if (nargin < 5 || gnamesIn.IsEmpty()) {
        for (size_t j = 1; j <= ng; ++j)
            names.push_back("X" + std::to_string(j));
        return names;
    }
    mwArray g = gnamesIn.IsCell() ? gnamesIn.Reshaped(gnamesIn.Numel(), 1) : gnamesIn;
    if (g.Rows() != ng)
        Error(Formatted("Fifth argument must have %d rows", static_cast<int>(ng)));
    if (!g.IsChar() && !g.IsCellstr())
        Error("Fifth argument must be a character matrix or cell array of strings.");
    if (g.IsChar())
        g = Cellstr(g);
    for (size_t j = 0; j < ng; ++j)
        names.push_back(g.Cell(j).Chars());
    return names;
}

// The term list from the model argument (an order, a keyword or the term codes).
mwArray TermList(int nargin, const mwArray& modelIn, size_t ng)
{
    mwArray model = (nargin < 3 || modelIn.IsEmpty()) ? mwArray(1.0) : modelIn;
    if (!model.IsNumeric()) {
        const std::string word = model.IsChar() ? model.Chars() : std::string("\x01");
        if (word == "linear" || word == "l")
            model = mwArray(1.0);
        else if (word == "interaction" || word == "i")
            model = mwArray(2.0);
        else if (word == "full" || word == "f")
            model = mwArray(static_cast<double>(ng));
        else
            Error("Third argument is invalid.");
    }
    for (double v : model.Data())
        if (!IsWhole(v) || v <= 0)
            Error("Third argument is invalid.");
    if (model.Numel() == 1)
        return makemodel(model[0], static_cast<double>(ng));
    return model.Reshaped(model.Numel(), 1);
}

// A factor's values as a column of n entries (characters become a cell column).
mwArray NormalisedGroup(const mwArray& gIn, size_t j, size_t n)
{
    mwArray g = gIn.Rows() == 1 ? gIn.Transposed() : gIn;
    if (g.Rows() != n)
        Error(Formatted("Group variable %d must have %d elements.", static_cast<int>(j), static_cast<int>(n)));
    if (g.IsChar())
        g = Cellstr(g);
    return g;
}

AnovanResult Analyse(int nargin, const mwArray& yIn, const mwArray& groupIn, const mwArray& modelIn,
                     const mwArray& sstypeIn, const mwArray& gnamesIn, int nargout)
{
    // 1. Checks and defaults.
    if (nargin < 2)
        Error("Not enough input arguments.");
    if (yIn.Numel() != yIn.Length() || (!yIn.IsNumeric() && !yIn.IsEmpty()))
        Error("The first argument must be a vector.");
    mwArray y = yIn.Rows() == 1 ? yIn.Transposed() : yIn;
    if (!y.IsNumeric())
        y = mwArray();
    size_t n = y.Numel();
    if (!groupIn.IsCell())
        Error("The second argument must be a cell array.");
    mwArray group = groupIn.Reshaped(groupIn.Numel(), 1);
    const size_t ng = group.Numel();
    if (ng > 53)
        Error("No more than 53 groups allowed.");
    const std::vector<std::string> gnames = FactorNames(nargin, gnamesIn, ng);
    double sstype = 3;
    if (nargin >= 4 && !sstypeIn.IsEmpty()) {
        sstype = sstypeIn.IsNumeric() && sstypeIn.Numel() == 1 ? sstypeIn[0] : 0;
        if (sstype != 1 && sstype != 2 && sstype != 3)
            Error("Fourth argument must be 1, 2, or 3.");
    }
    const mwArray termlist = TermList(nargin, modelIn, ng);
    const size_t nterms = termlist.Numel();

    // 3. Missing observations.
    std::vector<bool> nanrow(n);
    for (size_t r = 0; r < n; ++r)
        nanrow[r] = std::isnan(y[r]);
    for (size_t j = 0; j < ng; ++j) {
        mwArray& g = group.Cell(j);
        g = NormalisedGroup(g, j + 1, n);
        for (size_t r = 0; r < n; ++r)
            nanrow[r] = nanrow[r] || (g.IsNumeric() ? std::isnan(g[r]) : CellText(g.Cell(r)).empty());
    }
    std::vector<bool> keep(n);
    for (size_t r = 0; r < n; ++r)
        keep[r] = !nanrow[r];
    y = y.SelectRows(keep);
    n = y.Numel();
    if (n == 0)
        Error("No observations are left once the missing ones are removed.");

    // 4. Factor coding.
    std::vector<double> dfvar(ng);
    std::vector<mwArray> gdum(ng);
    for (size_t j = 0; j < ng; ++j) {
        mwArray gn;
        const mwArray gi = grp2idx(group.Cell(j).SelectRows(keep), &gn);
        dfvar[j] = static_cast<double>(gn.Rows()) - 1;
        gdum[j] = idummy(gi, 1);
    }

    // 5. Term names, full degrees of freedom, and how each term's columns are crossed, in
    // ascending order of code. A term's columns are the products (termcross) of its
    // factors' dummy columns, highest factor first, ending with an earlier term's columns
    // when the rest of its code is an earlier term.
    std::vector<size_t> sindex(nterms);
    std::iota(sindex.begin(), sindex.end(), 0);
    std::stable_sort(sindex.begin(), sindex.end(),
                     [&](size_t a, size_t b) { return termlist[a] < termlist[b]; });
    struct Recipe {
        std::vector<size_t> factors;
        long earlier = -1;
    };
    std::vector<Recipe> recipe(nterms);
    std::vector<std::string> tnames(nterms + 1);
    std::vector<double> dfterm0(nterms), termlength(nterms);
    // termcross of an empty operand gives the other one.
    auto crossCols = [](double a, double b) { return a == 0 ? b : (b == 0 ? a : a * b); };
    for (size_t j = 0; j < nterms; ++j) {
        double tm = termlist[sindex[j]];
        double df0 = 1, cols = 0;
        std::string tn;
        Recipe& rec = recipe[sindex[j]];
        while (tm != 0) {
            const int lne = 1 + static_cast<int>(std::floor(std::log2(tm)));
            tm -= std::ldexp(1.0, lne - 1);
            if (lne > static_cast<int>(ng))
                Error("Index exceeds matrix dimensions.");
            df0 *= dfvar[lne - 1];
            rec.factors.push_back(lne - 1);
            cols = crossCols(cols, static_cast<double>(gdum[lne - 1].Cols()));
            tn = tn.empty() ? gnames[lne - 1] : tn + "*" + gnames[lne - 1];
            size_t k = 0;
            while (k < j && termlist[sindex[k]] != tm)
                ++k;
            if (k < j) {
                const size_t s = sindex[k];
                rec.earlier = static_cast<long>(s);
                cols = crossCols(cols, termlength[s]);
                tn = tnames[s] + "*" + tn;
                df0 *= dfterm0[s];
                break;
            }
        }
        const size_t s = sindex[j];
        termlength[s] = cols;
        tnames[s] = tn;
        dfterm0[s] = df0;
    }
    tnames[nterms] = "Error";

    // 6. Design matrix: the constant, then each term's columns in term-list order. The
    // columns are crossed straight into their place, earlier terms read from theirs.
    double total = 1;
    for (double len : termlength)
        total += len;
    if (total * static_cast<double>(n) > static_cast<double>(size_t(1) << 29))
        throw mwBadAlloc();
    const size_t ncols = static_cast<size_t>(total);
    std::vector<size_t> termstart(nterms);
    mwArray termname = mwArray::Zeros(1, ncols);
    for (size_t j = 0, start = 1; j < nterms; ++j) {
        termstart[j] = start;
        for (size_t c = 0; c < termlength[j]; ++c)
            termname[start + c] = static_cast<double>(j + 1);
        start += static_cast<size_t>(termlength[j]);
    }
    std::vector<double> design(n * ncols);
    std::fill_n(design.begin(), n, 1.0);
    for (size_t j = 0; j < nterms; ++j) {
        const size_t s = sindex[j];
        const Recipe& rec = recipe[s];
        std::vector<Columns> ops;
        for (size_t f : rec.factors)
            ops.push_back({gdum[f].Data().data(), gdum[f].Cols()});
        if (rec.earlier >= 0) {
            const auto e = static_cast<size_t>(rec.earlier);
            ops.push_back({design.data() + termstart[e] * n, static_cast<size_t>(termlength[e])});
        }
        double* slot = design.data() + termstart[s] * n;
        std::vector<double> partial, next;
        Columns acc = ops[0];
        for (size_t k = 1; k < ops.size(); ++k) {
            const bool last = k + 1 == ops.size();
            double* out = slot;
            if (!last) {
                next.resize(n * static_cast<size_t>(crossCols(acc.cols, ops[k].cols)));
                out = next.data();
            }
            const size_t cols = TermcrossInto(acc, ops[k], n, out);
            if (!last) {
                partial.swap(next);
                acc = {partial.data(), cols};
            } else {
                acc = {slot, cols};
            }
        }
        if (acc.data != slot)  // a single operand: its columns as they are
            std::copy_n(acc.data, n * acc.cols, slot);
    }
    mwArray dmat = mwArray::FromData(n, ncols, std::move(design));
    gdum.clear();

    // 7. Centring and total sum of squares.
    auto mean = [](const mwArray& v) {
        double s = 0;
        for (double x : v.Data())
            s += x;
        return s / static_cast<double>(v.Numel());
    };
    double mu = mean(y);
    for (double& v : y.Data())
        v -= mu;
    const double mu2 = mean(y);
    mu += mu2;
    double sst = 0;
    for (double v : y.Data())
        sst += (v - mu2) * (v - mu2);

    // 8. The full model, fitted once; later fits use its reduced problem.
    InitFit full = initfit(std::move(dmat), y, termname, sst, mu);
    dmat = std::move(full.dmat2);
    y = std::move(full.y2);
    termname = std::move(full.termname2);
    const double ssx = full.ssx, dfx = full.dfx;
    const double sse = sst - ssx;
    const double dfe = static_cast<double>(n) - dfx;

    // 9. The "with" and "without" model of each term.
    using Model = std::vector<bool>;
    std::vector<Model> modw(nterms, Model(nterms, true));
    std::vector<double> ssw(nterms, -1), sswo(nterms, -1), dfw(nterms, -1), dfwo(nterms, -1);
    if (sstype == 1) {
        for (size_t i = 0; i < nterms; ++i)
            for (size_t k = i + 1; k < nterms; ++k)
                modw[i][k] = false;
        if (nterms > 0) {
            ssw[nterms - 1] = ssx;
            dfw[nterms - 1] = dfx;
        }
    } else if (sstype == 2) {
        const mwArray m = termsnotcontained(termlist);
        for (size_t i = 0; i < nterms; ++i) {
            size_t sum = 0;
            for (size_t k = 0; k < nterms; ++k) {
                modw[i][k] = m(i, k) != 0;
                sum += modw[i][k];
            }
            if (sum == nterms) {
                ssw[i] = ssx;
                dfw[i] = dfx;
            }
        }
    } else {
        std::fill(ssw.begin(), ssw.end(), ssx);
        std::fill(dfw.begin(), dfw.end(), dfx);
    }
    std::vector<Model> modwo = modw;
    for (size_t i = 0; i < nterms; ++i)
        modwo[i][i] = false;
    // Rows that are the same model get the same number, worked out once: comparing every
    // row with each fitted model would cost nterms^3 bit comparisons, minutes for a few
    // thousand terms.
    std::vector<size_t> idw(nterms), idwo(nterms);
    {
        std::unordered_map<Model, size_t> ids;
        for (size_t i = 0; i < nterms; ++i)
            idw[i] = ids.try_emplace(modw[i], ids.size()).first->second;
        for (size_t i = 0; i < nterms; ++i)
            idwo[i] = ids.try_emplace(modwo[i], ids.size()).first->second;
    }

    // 10. Fit each distinct pending model once, from the last one backwards.
    std::vector<double> dfboth(dfw);
    dfboth.insert(dfboth.end(), dfwo.begin(), dfwo.end());
    for (;;) {
        size_t k = dfboth.size();
        while (k > 0 && dfboth[k - 1] != -1)
            --k;
        if (k == 0)
            break;
        const Model& thismod = k <= nterms ? modw[k - 1] : modwo[k - 1 - nterms];
        const size_t thisid = k <= nterms ? idw[k - 1] : idwo[k - 1 - nterms];
        std::vector<size_t> cols;
        for (size_t c = 0; c < termname.Numel(); ++c) {
            const size_t label = static_cast<size_t>(termname[c]);
            if (label == 0 || thismod[label - 1])
                cols.push_back(c);
        }
        mwArray x = mwArray::Zeros(dmat.Rows(), cols.size());
        for (size_t c = 0; c < cols.size(); ++c)
            std::copy_n(dmat.Data().begin() + cols[c] * dmat.Rows(), dmat.Rows(),
                        x.Data().begin() + c * dmat.Rows());
        const Fit f = anovanfit(std::move(x), y);
        for (size_t i = 0; i < nterms; ++i) {
            if (idw[i] == thisid) {
                ssw[i] = f.ssx;
                dfw[i] = f.dfx;
                dfboth[i] = 0;
            }
            if (idwo[i] == thisid) {
                sswo[i] = f.ssx;
                dfwo[i] = f.dfx;
                dfboth[nterms + i] = 0;
            }
        }
    }

    // 11. Term statistics.
    std::vector<double> ssterm(nterms), dfterm(nterms), msterm(nterms), fstat(nterms),
        pval(nterms, kNaN), sing(nterms);
    const double mse = dfe > 0 ? sse / std::max(1.0, dfe) : 0;
    std::vector<size_t> tested;
    for (size_t i = 0; i < nterms; ++i) {
        dfterm[i] = dfw[i] - dfwo[i];
        ssterm[i] = dfterm[i] == 0 ? 0 : ssw[i] - sswo[i];
        msterm[i] = ssterm[i] / std::max(1.0, dfterm[i]);
        fstat[i] = mse > 0 ? msterm[i] / mse : kInf;
        sing[i] = dfterm[i] < dfterm0[i] ? 1 : 0;
        if (dfe > 0 && dfterm[i] > 0)
            tested.push_back(i);
    }
    if (!tested.empty()) {
        mwArray fx = mwArray::Zeros(tested.size(), 1), d1 = fx;
        for (size_t k = 0; k < tested.size(); ++k) {
            fx[k] = fstat[tested[k]];
            d1[k] = dfterm[tested[k]];
        }
        const mwArray cdf = fcdf(fx, d1, mwArray(dfe));
        for (size_t k = 0; k < tested.size(); ++k)
            pval[tested[k]] = 1 - cdf[k];
    }

    // 12. Table and results.
    AnovanResult res;
    res.p = mwArray::Column(pval);
    if (nargout >= 2) {
        mwArray t = mwArray::Cells(nterms + 3, 7);
        const char* heading[] = {"Source", "Sum Sq.", "d.f.", "Singular?", "Mean Sq.", "F", "Prob>F"};
        for (size_t c = 0; c < 7; ++c)
            t.Cell(c * t.Rows()) = mwArray::Text(heading[c]);
        auto set = [&](size_t r, size_t c, double v) { t.Cell(c * t.Rows() + r) = mwArray(v); };
        for (size_t i = 0; i < nterms; ++i) {
            const size_t r = i + 1;
            t.Cell(r) = mwArray::Text(tnames[i]);
            set(r, 1, ssterm[i]);
            set(r, 2, dfterm[i]);
            set(r, 3, sing[i]);
            set(r, 4, msterm[i]);
            set(r, 5, fstat[i]);
            set(r, 6, pval[i]);
        }
        const size_t re = nterms + 1, rt = nterms + 2;
        t.Cell(re) = mwArray::Text("Error");
        set(re, 1, sse);
        set(re, 2, dfe);
        set(re, 3, 0);
        set(re, 4, mse);
        t.Cell(rt) = mwArray::Text("Total");
        set(rt, 1, sst);
        set(rt, 2, static_cast<double>(n) - 1);
        set(rt, 3, 0);
        res.t = std::move(t);
    }
    if (nargout >= 4)
        res.terms = termlist;
    AnovanStats& s = res.stats;
    s = std::move(full.stats);
    s.terms = termlist;
    s.nlevels = mwArray::Zeros(ng, 1);
    for (size_t j = 0; j < ng; ++j)
        s.nlevels[j] = dfvar[j] + 1;
    s.termcols = mwArray::Zeros(nterms + 1, 1);
    s.termcols[0] = 1;
    for (size_t i = 0; i < nterms; ++i)
        s.termcols[i + 1] = termlength[i];
    return res;
}

} // namespace

AnovanResult myanovan(int nargin, const mwArray& y, const mwArray& group, const mwArray& model,
                      const mwArray& sstype, const mwArray& gnames, int nargout)
{
    return InRoutine("myanovan", [&] { return Analyse(nargin, y, group, model, sstype, gnames, nargout); });
}

} // namespace tarsel
