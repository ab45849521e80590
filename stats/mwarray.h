// The matrix layer of the statistics library: a small column-major, 2-D array of doubles,
// logicals, characters or cells, passed by value, and the run-time's exception classes.
// Indexes here are 0-based; the routines' own descriptions count from 1.
#pragma once

#include <cstddef>
#include <exception>
#include <new>
#include <string>
#include <vector>

namespace tarsel {

// Every error of the library's routines is raised as an mwException carrying its message.
class mwException : public std::exception {
public:
    explicit mwException(std::string message) : m_message(std::move(message)) {}
    const char* what() const noexcept override { return m_message.c_str(); }
    const std::string& Message() const { return m_message; }
private:
    std::string m_message;
};

class mwRuntimeError : public mwException {
public:
    using mwException::mwException;
};

class mwBadAlloc : public mwRuntimeError {
public:
    mwBadAlloc() : mwRuntimeError("A memory allocation request failed.") {}
};

// Raises msg as the run-time's error.
[[noreturn]] void Error(const std::string& msg);

// Runs f; an error raised inside gets the routine's name added, as the run-time reports the
// place of a failure, and an exhausted allocation becomes mwBadAlloc.
template <class F>
auto InRoutine(const char* routine, F&& f) -> decltype(f());

class mwArray {
public:
    enum class Class { Double, Logical, Char, Cell };

    mwArray() = default;                      // 0x0 double
    mwArray(double scalar) : m_rows(1), m_cols(1), m_num(1, scalar) {}  // NOLINT: scalars read naturally
    mwArray(Class c, size_t rows, size_t cols);

    static mwArray Zeros(size_t rows, size_t cols) { return mwArray(Class::Double, rows, cols); }
    static mwArray Filled(size_t rows, size_t cols, double value);
    static mwArray Column(const std::vector<double>& values);
    // A rows x cols double array that takes over data (column-major, rows * cols values):
    // large results are built in one pass instead of being zeroed first.
    static mwArray FromData(size_t rows, size_t cols, std::vector<double>&& data);
    static mwArray Text(const std::string& text);                 // a 1xN character row
    static mwArray CharMatrix(const std::vector<std::string>& rows);  // rows padded with blanks
    static mwArray Cells(size_t rows, size_t cols) { return mwArray(Class::Cell, rows, cols); }
    static mwArray CellColumn(const std::vector<std::string>& texts);  // cell column of rows

    Class GetClass() const { return m_class; }
    bool IsNumeric() const { return m_class == Class::Double || m_class == Class::Logical; }
    bool IsChar() const { return m_class == Class::Char; }
    bool IsCell() const { return m_class == Class::Cell; }
    bool IsCellstr() const;  // a cell array whose every element is a character row (or empty text)

    size_t Rows() const { return m_rows; }
    size_t Cols() const { return m_cols; }
    size_t Numel() const { return m_rows * m_cols; }
    size_t Length() const { return Numel() ? (m_rows > m_cols ? m_rows : m_cols) : 0; }
    bool IsEmpty() const { return Numel() == 0; }
    bool IsScalar() const { return Numel() == 1; }
    bool SameSize(const mwArray& o) const { return m_rows == o.m_rows && m_cols == o.m_cols; }

    // Numbers (double and logical arrays).
    double operator[](size_t i) const { return m_num[i]; }
    double& operator[](size_t i) { return m_num[i]; }
    double operator()(size_t r, size_t c) const { return m_num[c * m_rows + r]; }
    double& operator()(size_t r, size_t c) { return m_num[c * m_rows + r]; }
    const std::vector<double>& Data() const { return m_num; }
    std::vector<double>& Data() { return m_num; }
    // Complex doubles keep their imaginary parts beside the real ones; a real array has none.
    bool IsReal() const { return m_imag.empty(); }
    const std::vector<double>& Imag() const { return m_imag; }
    void SetImag(std::vector<double> imag) { m_imag = std::move(imag); }
    double Scalar() const;  // the first element; an error when there is none

    // Cells.
    const mwArray& Cell(size_t i) const { return m_cells[i]; }
    mwArray& Cell(size_t i) { return m_cells[i]; }

    // Characters: all of them in storage order, or one row as it stands.
    const std::string& Chars() const { return m_chars; }
    std::string RowText(size_t r) const;

    // The same elements in another shape (the number of elements must not change).
    mwArray Reshaped(size_t rows, size_t cols) const;
    mwArray Transposed() const;
    // The rows whose keep flag is set.
    mwArray SelectRows(const std::vector<bool>& keep) const;

private:
    Class m_class = Class::Double;
    size_t m_rows = 0;
    size_t m_cols = 0;
    std::vector<double> m_num;
    std::vector<double> m_imag;
    std::string m_chars;
    std::vector<mwArray> m_cells;
};

// A character row without its trailing blanks (and NULs), as cellstr makes it.
std::string TrimTrailing(const std::string& s);
// cellstr of a character matrix: a cell column of its rows without trailing blanks.
mwArray Cellstr(const mwArray& chars);
// Text of an element of a cell array of strings (all characters of a character array).
std::string CellText(const mwArray& cell);
// Whole, positive number test used for codes and options.
bool IsWhole(double v);

template <class F>
auto InRoutine(const char* routine, F&& f) -> decltype(f())
{
    try {
        return f();
    } catch (const mwBadAlloc&) {
        throw;
    } catch (const mwException& e) {
        throw mwException(e.Message() + " (in " + routine + ")");
    } catch (const std::bad_alloc&) {
        throw mwBadAlloc();
    }
}

} // namespace tarsel
