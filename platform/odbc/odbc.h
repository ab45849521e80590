// A small layer of our own over unixODBC's C API: a connection with transactions, and
// statements with bound parameters (single rows or parameter arrays), bound result
// columns with row arrays, and the catalogue calls. Every call's result is checked: a
// failure throws COdbcError with the driver's diagnostic records (SQLGetDiagRec), so that
// nothing a data source refuses goes unseen. The ODBC headers stay inside odbc.cpp.
#pragma once
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text/codepage.h"

namespace orvix {

// A failed ODBC call: the text of every diagnostic record, the first record's SQLSTATE
// and native error code, and what was being done.
class COdbcError : public std::runtime_error {
public:
    COdbcError(const std::string& what, std::string text, std::string state, long nativeError);

    // The driver's messages, one line per diagnostic record.
    const std::string& Text() const { return text_; }
    // The five-character SQLSTATE of the first record ("HY000"); empty without records.
    const std::string& State() const { return state_; }
    long NativeError() const { return native_; }
    // The link to the data source is gone (SQLSTATE class 08, or the server shutting
    // down, 57P01): the connection is useless.
    bool ConnectionLost() const { return state_.compare(0, 2, "08") == 0 || state_ == "57P01"; }
    // "State: 22003, native error: 7" etc., for messages.
    std::string StateText() const;

private:
    std::string text_, state_;
    long native_;
};

// The C types of bound buffers, and the SQL types they stand for (ODBC's SQL_C_... and
// SQL_... codes, kept out of the headers of callers). Text values go as WChar: characters,
// which the driver stores in its database's own encoding.
enum class OdbcC { SLong, SShort, UShort, UTinyInt, SBigInt, Double, Char, WChar };
enum class OdbcSql { Numeric, Decimal, Varchar, Char, Integer, BigInt, Double };

// What a buffer of a bound parameter or column holds per row: a NUL-terminated text, or
// its length; for result columns the driver writes the whole value's length here
// (larger than the buffer when it was cut), or OdbcNullData for NULL.
using OdbcLen = long;
constexpr OdbcLen kOdbcNts = -3;
constexpr OdbcLen kOdbcNullData = -1;
constexpr OdbcLen kOdbcNoTotal = -4;

class COdbcConnection {
public:
    COdbcConnection();
    ~COdbcConnection();
    COdbcConnection(const COdbcConnection&) = delete;
    COdbcConnection& operator=(const COdbcConnection&) = delete;

    // Connects without any prompt ("DSN=lab;UID=me;PWD=secret", or a driver's own
    // "Driver=...;Database=..."); throws COdbcError. Gives up after `loginSeconds`.
    void Open(const std::string& connect, int loginSeconds = 15);
    bool IsOpen() const { return dbc_ != nullptr; }
    // The driver knows the link to the data source is gone (or no connection is open).
    bool IsDead() const;
    // Rolls back an open transaction and disconnects; never throws.
    void Close() noexcept;

    // The connect string the driver completed (with the data source's own settings).
    const std::string& ConnectString() const { return connect_; }
    // The user named in the connect string after "UID=" (or "UserName="), "" when none.
    std::string UserName() const;
    std::string DbmsName() const;

    // Runs a statement that returns no rows.
    void ExecuteSQL(const std::string& sql);

    // One transaction: automatic commit off until Commit or Rollback.
    void BeginTrans();
    void CommitTrans();
    // Never throws: a connection that is gone has nothing left to roll back.
    bool Rollback() noexcept;
    bool InTransaction() const { return inTransaction_; }

    void* Handle() const { return dbc_; }

    // unixODBC's trace of every call into this file, from the next Open on (the driver
    // manager keeps one trace for the process).
    std::string traceFile;

    // Throws a COdbcError built from the diagnostics of `handle` (of `type`, ODBC's
    // handle-type code) when `rc` is a failure; answers the code otherwise.
    static short Check(short rc, short type, void* handle, const char* what);

private:
    void* env_ = nullptr;
    void* dbc_ = nullptr;
    std::string connect_;
    bool inTransaction_ = false;
};

class COdbcStatement {
public:
    explicit COdbcStatement(COdbcConnection& connection);
    ~COdbcStatement();
    COdbcStatement(const COdbcStatement&) = delete;
    COdbcStatement& operator=(const COdbcStatement&) = delete;

    void Prepare(const std::string& sql);
    // Runs the prepared statement for the bound parameters. With a parameter array, a
    // row that the data source refuses throws too, naming the row.
    void Execute();
    void ExecDirect(const std::string& sql);

    // Parameter arrays: `rows` sets of the bound parameters go in one Execute. Each
    // parameter's buffer then holds `rows` values one after the other (column-wise), a
    // text parameter `bufferLength` bytes per value.
    void SetParamSetSize(size_t rows);
    size_t ParamSetSize() const { return paramRows_; }
    void BindParameter(int number, OdbcC c, OdbcSql sql, size_t columnSize, int decimals, void* buffer,
                       OdbcLen bufferLength = 0, OdbcLen* indicators = nullptr);
    void ResetParams();
    // A text parameter: `text` (ToUtf16 of the value) stays alive until Execute.
    void BindText(int number, OdbcSql sql, size_t columnSize, std::u16string& text, OdbcLen& indicator);

    // Row arrays: each Fetch reads up to `rows` rows into the bound columns' buffers
    // (column-wise); RowsFetched says how many arrived.
    void SetRowArraySize(size_t rows);
    void BindColumn(int number, OdbcC c, void* buffer, OdbcLen bufferLength, OdbcLen* indicators);
    // False at the end of the result.
    bool Fetch();
    size_t RowsFetched() const { return rowsFetched_; }
    // Column `number` of the current row as the program's text (NULL: ""), for unbound
    // columns. A letter the code page cannot hold throws, naming it and the column.
    std::string GetText(int number);
    // The number of result columns; 0 for a statement without a result.
    int ResultColumns();
    void CloseCursor();

    // The catalogue: an empty filter is passed as a null pointer (matches every value).
    // SQL_STILL_EXECUTING is waited out.
    void Tables(const std::string& qualifier, const std::string& owner, const std::string& name,
                const std::string& type);
    void Columns(const std::string& qualifier, const std::string& owner, const std::string& table);

    // Rows changed by the last Execute (all sets of an array), -1 when unknown.
    long long RowCount();

    void* Handle() const { return stmt_; }

private:
    short Check(short rc, const char* what);
    // A name for a catalogue call's filter, folded as the data source folds names written
    // without quotes.
    std::u16string CatalogueName(const std::string& name);
    // Throws for the first row of a parameter array that the driver marked as failed.
    void CheckParamStatus();

    COdbcConnection& connection_;
    void* stmt_ = nullptr;
    size_t paramRows_ = 1;
    std::vector<unsigned short> paramStatus_;
    unsigned long paramsProcessed_ = 0;
    size_t rowArray_ = 1;
    unsigned long rowsFetched_ = 0;
};

// The program's text as UTF-16, as every text goes to the driver (statements, parameters,
// connect strings, catalogue filters): through the wide API, as characters. Throws
// COdbcError when the text cannot be converted (no converter): nothing goes out without it.
std::u16string ToUtf16(std::string_view text);
// Text from the driver as the program's; false, with the letter, when the code page cannot
// hold one of its letters. Diagnostics are shown with such letters by their code points.
bool FromUtf16(std::u16string_view wide, std::string& text, TextRefusal* why = nullptr);

// A value of a connect string, braced when it holds a character that would end it or
// confuse the parser (";", "{", "=", blanks at its ends). A "}" cannot be written inside
// braces: such a value throws std::invalid_argument.
std::string ConnectValue(const std::string& value);

// The user a connect string names after "UID=" (or "UserName="), key case ignored, braces
// taken off; "" when none.
std::string ConnectStringUser(const std::string& connect);

// The data sources the driver manager knows (user and system), with their descriptions.
struct OdbcDataSource {
    std::string name, description;
};
std::vector<OdbcDataSource> ListDataSources();

} // namespace orvix
