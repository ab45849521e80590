// The generic call interface of the local routines: arguments and results as arrays,
// with the declared counts checked as the run-time checks them.
#include <cstdio>

#include "stats/anovan.h"
#include "stats/grp2idx.h"

namespace tarsel {

namespace {

struct Declared {
    const char* name;
    int line;
    int inputs;
    int outputs;
};

const Declared kRoutines[] = {
    {"myanovan/termsnotcontained", 349, 1, 1},
    {"myanovan/makemodel", 360, 2, 1},
    {"myanovan/anovanfit", 370, 2, 2},
    {"myanovan/initfit", 389, 5, 6},
    {"termcross", 1, 2, 1},
    {"grp2idx/uniquep", 36, 1, 3},
};

[[noreturn]] void CountError(const Declared& d, const char* what, int count)
{
    char buf[300];
    snprintf(buf, sizeof buf,
             "Run-time Error: File: %s Line: %d Column: 1 The function \"%s\" was called with more "
             "than the declared number of %s (%d).",
             d.name, d.line, d.name, what, count);
    Error(buf);
}

const mwArray& Arg(const std::vector<mwArray>& args, size_t i)
{
    if (i >= args.size())
        Error("Not enough input arguments.");
    return args[i];
}

} // namespace

std::vector<mwArray> CallLocal(const std::string& name, int nargout, const std::vector<mwArray>& args)
{
    const Declared* d = nullptr;
    for (const Declared& r : kRoutines)
        if (name == r.name)
            d = &r;
    if (!d)
        Error("Undefined function " + name + ".");
    if (static_cast<int>(args.size()) > d->inputs)
        CountError(*d, "inputs", d->inputs);
    if (nargout > d->outputs)
        CountError(*d, "outputs", d->outputs);

    std::vector<mwArray> out;
    const std::string n = d->name;
    if (n == "myanovan/termsnotcontained") {
        out.push_back(termsnotcontained(Arg(args, 0)));
    } else if (n == "myanovan/makemodel") {
        out.push_back(makemodel(Arg(args, 0).Scalar(), Arg(args, 1).Scalar()));
    } else if (n == "termcross") {
        out.push_back(termcross(Arg(args, 0), Arg(args, 1)));
    } else if (n == "myanovan/anovanfit") {
        const Fit f = anovanfit(Arg(args, 0), Arg(args, 1));
        out = {mwArray(f.ssx), mwArray(f.dfx)};
    } else if (n == "myanovan/initfit") {
        InitFit f = initfit(Arg(args, 0), Arg(args, 1), Arg(args, 2), Arg(args, 3).Scalar(),
                            Arg(args, 4).Scalar());
        mwArray stats = mwArray::Cells(6, 1);
        stats.Cell(0) = mwArray::Text(f.stats.source);
        stats.Cell(1) = f.stats.coeffs;
        stats.Cell(2) = f.stats.Rtr;
        stats.Cell(3) = mwArray(f.stats.dfe);
        stats.Cell(4) = mwArray(f.stats.mse);
        stats.Cell(5) = f.stats.permvec;
        out = {mwArray(f.ssx), mwArray(f.dfx), f.dmat2, f.y2, f.termname2, stats};
    } else {
        Uniquep u = uniquep(Arg(args, 0));
        out = {u.b, u.i, u.j};
    }
    out.resize(std::max(nargout, 1));
    return out;
}

} // namespace tarsel
