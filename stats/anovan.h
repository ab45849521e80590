// n-way analysis of variance and the routines behind it: term algebra, least-squares fits.
#pragma once

#include <string>
#include <vector>

#include "stats/mwarray.h"

namespace tarsel {

// Term codes: bit f-1 set when factor f takes part in the term.

// Codes of all terms up to interaction order p among ng factors: main effects first, then
// the j-factor interactions in lexicographic order of the chosen factors.
mwArray makemodel(double p, double ng);
// m(i, j) = 1 when term i is not contained in term j, or i = j.
mwArray termsnotcontained(const mwArray& t);
// Dummy variables of a group index vector (codings 1, 2 or 3; others code as 2).
mwArray idummy(const mwArray& x, double method = 1);
// Products of the columns of a and b, a's column index running fastest.
mwArray termcross(const mwArray& a, const mwArray& b);

// The same on raw columns of n rows each, written to out (room for the result's columns);
// an operand without columns gives the other one. Returns the number of columns written.
struct Columns {
    const double* data;
    size_t cols;
};
size_t TermcrossInto(Columns a, Columns b, size_t n, double* out);

// The statistics record of a fit (with the analysis's own fields added by myanovan).
struct AnovanStats {
    std::string source;
    mwArray coeffs, Rtr;
    double dfe = 0, mse = 0;
    mwArray permvec;
    mwArray terms, nlevels, termcols;
};

// Model sum of squares and degrees of freedom of a least-squares fit of y on dmat.
struct Fit {
    double ssx = 0, dfx = 0;
};
Fit anovanfit(mwArray dmat, const mwArray& y);

struct InitFit {
    double ssx = 0, dfx = 0;
    mwArray dmat2, y2, termname2;
    AnovanStats stats;
};
InitFit initfit(mwArray dmat, const mwArray& y, const mwArray& termname, double sst, double mu);

// The analysis. nargin counts the arguments given (2 to 5; missing ones may be passed as
// empty arrays); nargout the results wanted (1 to 4), in the order p, t, stats, terms.
struct AnovanResult {
    mwArray p, t;
    AnovanStats stats;
    mwArray terms;
};
AnovanResult myanovan(int nargin, const mwArray& y, const mwArray& group, const mwArray& model,
                      const mwArray& sstype, const mwArray& gnames, int nargout);

// The generic call interface of the local routines, by name ("myanovan/makemodel",
// "termcross", "grp2idx/uniquep", ...): more arguments or results than a routine declares
// raise the run-time's message. initfit's record comes back as a cell of its fields.
std::vector<mwArray> CallLocal(const std::string& name, int nargout, const std::vector<mwArray>& args);

} // namespace tarsel
