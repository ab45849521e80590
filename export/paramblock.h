// Buffers of bound parameters for many rows at once: one array per parameter (column-wise,
// as ODBC's parameter arrays and multi-row INSERTs take them), filled row by row.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/odbc/odbc.h"

namespace orvix {

class CParamBlock {
public:
    explicit CParamBlock(size_t rows) : rows_(rows) {}

    // A parameter of a C type and its SQL type; text parameters (Char or WChar) hold up to
    // `textBytes` characters (longer texts are cut). Returns its index.
    size_t Add(OdbcC c, OdbcSql sql, size_t columnSize, int decimals, size_t textBytes = 0);
    size_t Parameters() const { return params_.size(); }
    size_t Rows() const { return rows_; }

    template <class T>
    void Set(size_t param, size_t row, T value)
    {
        Param& p = params_[param];
        std::memcpy(p.data.data() + row * p.stride, &value, sizeof value);
    }
    // A text of the program's (the code page); a WChar parameter takes it as UTF-16.
    void SetText(size_t param, size_t row, const char* text);
    // A number as the text of "%.<decimals>f" (a text parameter of kNumberText bytes): the
    // data source takes it as written, as the file exports write it, without the driver
    // formatting every double through printf.
    void SetFixed(size_t param, size_t row, double value, int decimals);
    static constexpr size_t kNumberText = 40;

    // Binds the parameters of row `firstRow` as the statement's parameters `firstNumber`,
    // `firstNumber` + 1, ... (one row of a multi-row INSERT); from row 0 a statement with
    // a parameter array takes the rows that follow too.
    void Bind(COdbcStatement& statement, size_t firstRow, int firstNumber);

private:
    struct Param {
        OdbcC c;
        OdbcSql sql;
        size_t columnSize;
        int decimals;
        size_t stride;
        std::vector<unsigned char> data;
        std::vector<OdbcLen> lengths;
    };
    size_t rows_;
    std::vector<Param> params_;
};

} // namespace orvix
