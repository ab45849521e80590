#include "stats/distributions.h"

namespace tarsel {

int distchck(int nparms, std::vector<mwArray>& arrays)
{
    if (nparms == 1) {
        for (size_t j = 1; j < arrays.size(); ++j)
            arrays[j] = mwArray();
        return 0;
    }
    const mwArray* first = nullptr;
    for (const mwArray& a : arrays)
        if (!a.IsScalar()) {
            first = &a;
            break;
        }
    if (!first)
        return 0;
    const size_t rows = first->Rows(), cols = first->Cols();
    for (mwArray& a : arrays) {
        if (a.IsScalar())
            a = mwArray::Filled(rows, cols, a.Scalar());
        else if (a.Rows() != rows || a.Cols() != cols)
            return 1;
    }
    return 0;
}

} // namespace tarsel
