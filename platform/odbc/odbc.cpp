#include "platform/odbc/odbc.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>

#include <QByteArray>
#include <QString>

namespace orvix {

static_assert(sizeof(SQLLEN) == sizeof(OdbcLen), "bound length indicators are SQLLEN");
static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "wide text parameters are UTF-16");
static_assert(SQL_NTS == kOdbcNts && SQL_NULL_DATA == kOdbcNullData && SQL_NO_TOTAL == kOdbcNoTotal);

namespace {

// Catalogue calls are synchronous unless a statement is made asynchronous, which this
// layer never does; the wait is bounded all the same.
constexpr auto kStillExecutingLimit = std::chrono::minutes(10);

bool Failed(SQLRETURN rc) { return rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && rc != SQL_NO_DATA; }

SQLSMALLINT CType(OdbcC c)
{
    switch (c) {
    case OdbcC::SLong: return SQL_C_SLONG;
    case OdbcC::SShort: return SQL_C_SSHORT;
    case OdbcC::UShort: return SQL_C_USHORT;
    case OdbcC::UTinyInt: return SQL_C_UTINYINT;
    case OdbcC::SBigInt: return SQL_C_SBIGINT;
    case OdbcC::Double: return SQL_C_DOUBLE;
    case OdbcC::Char: return SQL_C_CHAR;
    case OdbcC::WChar: return SQL_C_WCHAR;
    }
    return SQL_C_CHAR;
}

SQLSMALLINT SqlType(OdbcSql s)
{
    switch (s) {
    case OdbcSql::Numeric: return SQL_NUMERIC;
    case OdbcSql::Decimal: return SQL_DECIMAL;
    case OdbcSql::Varchar: return SQL_VARCHAR;
    case OdbcSql::Char: return SQL_CHAR;
    case OdbcSql::Integer: return SQL_INTEGER;
    case OdbcSql::BigInt: return SQL_BIGINT;
    case OdbcSql::Double: return SQL_DOUBLE;
    }
    return SQL_VARCHAR;
}

SQLCHAR* Text(const std::string& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); }

// Text for the wide API: the driver takes characters, whatever its database's encoding.
SQLWCHAR* Wide(const std::u16string& s) { return reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(s.c_str())); }
// A null pointer for an empty filter (matches every value).
SQLWCHAR* WideFilter(const std::u16string& s) { return s.empty() ? nullptr : Wide(s); }

std::u16string FromWide(const SQLWCHAR* text, size_t units)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text), units);
}
std::u16string FromWide(const SQLWCHAR* text)
{
    size_t n = 0;
    while (text[n])
        ++n;
    return FromWide(text, n);
}

std::string Utf8Of(std::u16string_view wide)
{
    const QByteArray utf8 = QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size())).toUtf8();
    return std::string(utf8.constData(), static_cast<size_t>(utf8.size()));
}

// What the driver says, for a message: nothing of it is kept.
std::string Shown(std::u16string_view wide) { return ShownText(Utf8Of(wide)); }

template <class Call>
SQLRETURN WhileStillExecuting(Call call)
{
    const auto deadline = std::chrono::steady_clock::now() + kStillExecutingLimit;
    SQLRETURN rc = call();
    while (rc == SQL_STILL_EXECUTING && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        rc = call();
    }
    return rc;
}

std::string Upper(std::string s)
{
    for (char& ch : s)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

} // namespace

COdbcError::COdbcError(const std::string& what, std::string text, std::string state, long nativeError)
    : std::runtime_error(what + (text.empty() ? std::string() : ": " + text)), text_(std::move(text)),
      state_(std::move(state)), native_(nativeError)
{
}

std::string COdbcError::StateText() const
{
    return "State: " + (state_.empty() ? std::string("none") : state_) + ", native error: " + std::to_string(native_);
}

short COdbcConnection::Check(short rc, short type, void* handle, const char* what)
{
    if (!Failed(rc))
        return rc;
    std::string text, state;
    long native = 0;
    for (SQLSMALLINT record = 1; handle && record <= 20; ++record) {
        SQLWCHAR sqlState[6] = {0};
        SQLINTEGER nativeError = 0;
        SQLWCHAR message[SQL_MAX_MESSAGE_LENGTH + 1] = {0};
        SQLSMALLINT length = 0;
        SQLRETURN r = SQLGetDiagRecW(type, handle, record, sqlState, &nativeError, message,
                                     static_cast<SQLSMALLINT>(std::size(message)), &length);
        if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO)
            break;
        if (record == 1) {
            state = Shown(FromWide(sqlState));
            native = nativeError;
        }
        if (!text.empty())
            text += '\n';
        text += Shown(FromWide(message));
    }
    if (text.empty())
        text = rc == SQL_INVALID_HANDLE ? "invalid handle" : "the driver gave no diagnostics";
    throw COdbcError(what, text, state, native);
}

COdbcConnection::COdbcConnection() = default;

COdbcConnection::~COdbcConnection() { Close(); }

void COdbcConnection::Open(const std::string& connect, int loginSeconds)
{
    Close();
    SQLHENV env = SQL_NULL_HENV;
    if (Failed(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        throw COdbcError("Can't start the ODBC driver manager", "", "", 0);
    env_ = env;
    try {
        Check(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_HANDLE_ENV,
              env, "Setting the ODBC version");
        SQLHDBC dbc = SQL_NULL_HDBC;
        Check(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_HANDLE_ENV, env, "Allocating a connection");
        dbc_ = dbc;
        if (!traceFile.empty()) {
            SQLSetConnectAttr(dbc, SQL_ATTR_TRACEFILE, Text(traceFile), SQL_NTS);
            SQLSetConnectAttr(dbc, SQL_ATTR_TRACE, reinterpret_cast<SQLPOINTER>(SQL_OPT_TRACE_ON), 0);
        }
        SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(loginSeconds)),
                          0);
        std::vector<SQLWCHAR> out(4096);
        SQLSMALLINT outLength = 0;
        const std::u16string wideConnect = ToUtf16(connect);
        SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, Wide(wideConnect), SQL_NTS, out.data(),
                                         static_cast<SQLSMALLINT>(out.size()), &outLength, SQL_DRIVER_NOPROMPT);
        if (Failed(rc)) {
            // The handle stays allocated until the diagnostics are read.
            try {
                Check(rc, SQL_HANDLE_DBC, dbc, "Connecting");
            } catch (...) {
                SQLFreeHandle(SQL_HANDLE_DBC, dbc);
                dbc_ = nullptr;
                throw;
            }
        }
        out.back() = 0;
        if (!FromUtf16(FromWide(out.data()), connect_) || connect_.empty())
            connect_ = connect;
    } catch (...) {
        if (dbc_)
            SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        dbc_ = nullptr;
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
        env_ = nullptr;
        throw;
    }
}

void COdbcConnection::Close() noexcept
{
    if (dbc_) {
        if (inTransaction_)
            Rollback();
        SQLDisconnect(dbc_);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        dbc_ = nullptr;
    }
    if (env_) {
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
        env_ = nullptr;
    }
    inTransaction_ = false;
    connect_.clear();
}

std::string COdbcConnection::UserName() const { return ConnectStringUser(connect_); }

bool COdbcConnection::IsDead() const
{
    if (!dbc_)
        return true;
    SQLUINTEGER dead = SQL_CD_FALSE;
    if (Failed(SQLGetConnectAttr(dbc_, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)))
        return false;
    return dead == SQL_CD_TRUE;
}

std::string COdbcConnection::DbmsName() const
{
    if (!dbc_)
        return std::string();
    char name[256] = {0};
    SQLSMALLINT length = 0;
    SQLGetInfo(dbc_, SQL_DBMS_NAME, name, sizeof name, &length);
    return name;
}

void COdbcConnection::ExecuteSQL(const std::string& sql)
{
    COdbcStatement statement(*this);
    statement.ExecDirect(sql);
}

void COdbcConnection::BeginTrans()
{
    Check(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
          SQL_HANDLE_DBC, dbc_, "Beginning a transaction");
    inTransaction_ = true;
}

void COdbcConnection::CommitTrans()
{
    Check(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT), SQL_HANDLE_DBC, dbc_, "Committing the transaction");
    inTransaction_ = false;
    Check(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0),
          SQL_HANDLE_DBC, dbc_, "Ending a transaction");
}

bool COdbcConnection::Rollback() noexcept
{
    if (!dbc_)
        return false;
    bool ok = !Failed(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK));
    inTransaction_ = false;
    SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    return ok;
}

COdbcStatement::COdbcStatement(COdbcConnection& connection) : connection_(connection)
{
    if (!connection.IsOpen())
        throw COdbcError("No database connection", "", "08003", 0);
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    COdbcConnection::Check(SQLAllocHandle(SQL_HANDLE_STMT, connection.Handle(), &stmt), SQL_HANDLE_DBC,
                           connection.Handle(), "Allocating a statement");
    stmt_ = stmt;
}

COdbcStatement::~COdbcStatement()
{
    if (stmt_) {
        SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
        SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    }
}

short COdbcStatement::Check(short rc, const char* what)
{
    return COdbcConnection::Check(rc, SQL_HANDLE_STMT, stmt_, what);
}

void COdbcStatement::Prepare(const std::string& sql)
{
    const std::u16string wide = ToUtf16(sql);
    Check(SQLPrepareW(stmt_, Wide(wide), SQL_NTS), "Preparing the statement");
}

void COdbcStatement::Execute()
{
    paramsProcessed_ = 0;
    SQLRETURN rc = WhileStillExecuting([&] { return SQLExecute(stmt_); });
    Check(rc, "Executing the statement");
    CheckParamStatus();
}

void COdbcStatement::ExecDirect(const std::string& sql)
{
    paramsProcessed_ = 0;
    const std::u16string wide = ToUtf16(sql);
    SQLRETURN rc = WhileStillExecuting([&] { return SQLExecDirectW(stmt_, Wide(wide), SQL_NTS); });
    Check(rc, "Executing the statement");
    CheckParamStatus();
}

void COdbcStatement::CheckParamStatus()
{
    // A driver may answer "success with information" for an array in which some sets
    // failed: each set's status says.
    if (paramRows_ <= 1)
        return;
    for (size_t row = 0; row < paramsProcessed_ && row < paramStatus_.size(); ++row) {
        if (paramStatus_[row] == SQL_PARAM_ERROR)
            throw COdbcError("Executing the statement", "row " + std::to_string(row + 1) + " of the set was refused",
                             "HY000", 0);
    }
}

void COdbcStatement::SetParamSetSize(size_t rows)
{
    paramRows_ = rows ? rows : 1;
    paramStatus_.assign(paramRows_, SQL_PARAM_UNUSED);
    Check(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_PARAM_BIND_BY_COLUMN), 0),
          "Binding parameters by column");
    Check(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(paramRows_), 0),
          "Setting the parameter array's size");
    Check(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_STATUS_PTR, paramStatus_.data(), 0), "Setting the parameter status");
    Check(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &paramsProcessed_, 0), "Setting the parameter count");
}

void COdbcStatement::BindParameter(int number, OdbcC c, OdbcSql sql, size_t columnSize, int decimals, void* buffer,
                                   OdbcLen bufferLength, OdbcLen* indicators)
{
    Check(SQLBindParameter(stmt_, static_cast<SQLUSMALLINT>(number), SQL_PARAM_INPUT, CType(c), SqlType(sql),
                           columnSize, static_cast<SQLSMALLINT>(decimals), buffer, bufferLength,
                           reinterpret_cast<SQLLEN*>(indicators)),
          "Binding a parameter");
}

void COdbcStatement::BindText(int number, OdbcSql sql, size_t columnSize, std::u16string& text, OdbcLen& indicator)
{
    indicator = kOdbcNts;
    BindParameter(number, OdbcC::WChar, sql, std::max<size_t>(columnSize, 1), 0, text.data(),
                  static_cast<OdbcLen>((text.size() + 1) * sizeof(char16_t)), &indicator);
}

void COdbcStatement::ResetParams() { SQLFreeStmt(stmt_, SQL_RESET_PARAMS); }

void COdbcStatement::SetRowArraySize(size_t rows)
{
    rowArray_ = rows ? rows : 1;
    Check(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0),
          "Binding columns by column");
    Check(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rowArray_), 0),
          "Setting the row array's size");
    Check(SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &rowsFetched_, 0), "Setting the fetched-rows count");
}

void COdbcStatement::BindColumn(int number, OdbcC c, void* buffer, OdbcLen bufferLength, OdbcLen* indicators)
{
    Check(SQLBindCol(stmt_, static_cast<SQLUSMALLINT>(number), CType(c), buffer, bufferLength,
                     reinterpret_cast<SQLLEN*>(indicators)),
          "Binding a column");
}

bool COdbcStatement::Fetch()
{
    rowsFetched_ = 0;
    SQLRETURN rc = WhileStillExecuting([&] { return SQLFetch(stmt_); });
    if (rc == SQL_NO_DATA) {
        rowsFetched_ = 0;
        return false;
    }
    Check(rc, "Reading the result");
    if (rowArray_ <= 1)
        rowsFetched_ = 1;
    return true;
}

std::string COdbcStatement::GetText(int number)
{
    std::u16string wide;
    SQLWCHAR chunk[512];
    for (;;) {
        SQLLEN length = 0;
        SQLRETURN rc = SQLGetData(stmt_, static_cast<SQLUSMALLINT>(number), SQL_C_WCHAR, chunk, sizeof chunk, &length);
        if (rc == SQL_NO_DATA)
            break;
        Check(rc, "Reading a column");
        if (length == SQL_NULL_DATA)
            break;
        // Cut: the chunk is full but for its NUL, and more follows. Lengths are in bytes.
        const bool more = rc == SQL_SUCCESS_WITH_INFO && (length == SQL_NO_TOTAL || length >= SQLLEN(sizeof chunk));
        wide += FromWide(chunk, more ? std::size(chunk) - 1 : static_cast<size_t>(length) / sizeof(SQLWCHAR));
        if (!more)
            break;
    }
    std::string value;
    TextRefusal why;
    if (!FromUtf16(wide, value, &why))
        throw COdbcError("Reading a column",
                         RefusalMessage(why, "column " + std::to_string(number) + " of the result", false), "", 0);
    return value;
}

int COdbcStatement::ResultColumns()
{
    SQLSMALLINT n = 0;
    Check(SQLNumResultCols(stmt_, &n), "Counting the result's columns");
    return n;
}

void COdbcStatement::CloseCursor() { SQLFreeStmt(stmt_, SQL_CLOSE); }

void COdbcStatement::Tables(const std::string& qualifier, const std::string& owner, const std::string& name,
                            const std::string& type)
{
    const std::u16string q = CatalogueName(qualifier), o = CatalogueName(owner), n = CatalogueName(name),
                         t = ToUtf16(type);
    SQLRETURN rc = WhileStillExecuting([&] {
        return SQLTablesW(stmt_, WideFilter(q), SQL_NTS, WideFilter(o), SQL_NTS, WideFilter(n), SQL_NTS, WideFilter(t),
                          SQL_NTS);
    });
    Check(rc, "Listing the tables");
}

void COdbcStatement::Columns(const std::string& qualifier, const std::string& owner, const std::string& table)
{
    const std::u16string q = CatalogueName(qualifier), o = CatalogueName(owner), t = CatalogueName(table);
    SQLRETURN rc = WhileStillExecuting([&] {
        return SQLColumnsW(stmt_, WideFilter(q), SQL_NTS, WideFilter(o), SQL_NTS, WideFilter(t), SQL_NTS, nullptr, 0);
    });
    Check(rc, "Listing the columns");
}

std::u16string COdbcStatement::CatalogueName(const std::string& name)
{
    // Names written without quotes are stored folded: PostgreSQL's "t2afc" is the program's
    // T2AFC. The driver's narrow calls tried the lower-case name themselves; its wide ones
    // take the name as given.
    SQLUSMALLINT identifierCase = 0;
    if (Failed(SQLGetInfo(connection_.Handle(), SQL_IDENTIFIER_CASE, &identifierCase, sizeof identifierCase, nullptr))
        || identifierCase != SQL_IC_LOWER || std::any_of(name.begin(), name.end(), [](char c) { return c >= 'a' && c <= 'z'; }))
        return ToUtf16(name);
    std::string lower = name;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return ToUtf16(lower);
}

long long COdbcStatement::RowCount()
{
    SQLLEN n = -1;
    if (Failed(SQLRowCount(stmt_, &n)))
        return -1;
    return n;
}

std::u16string ToUtf16(std::string_view text)
{
    std::u16string wide(text.size(), u'\0');
    if (!ToUtf16(text, wide.data()))
        throw COdbcError("Converting the text", TextConverterProblem(), "", 0);
    return wide;
}

bool FromUtf16(std::u16string_view wide, std::string& text, TextRefusal* why)
{
    return FromUtf8(Utf8Of(wide), text, why);
}

std::string ConnectValue(const std::string& value)
{
    if (value.find('}') != std::string::npos)
        throw std::invalid_argument("a connect string value cannot hold \"}\"");
    bool brace = value.find_first_of(";{=") != std::string::npos
                 || (!value.empty() && (std::isspace(static_cast<unsigned char>(value.front()))
                                        || std::isspace(static_cast<unsigned char>(value.back()))));
    return brace ? "{" + value + "}" : value;
}

std::string ConnectStringUser(const std::string& connect)
{
    // Attributes are "key=value" separated by ";", a value possibly in braces.
    size_t i = 0;
    while (i < connect.size()) {
        size_t eq = connect.find('=', i);
        if (eq == std::string::npos)
            break;
        std::string key = Upper(connect.substr(i, eq - i));
        size_t start = eq + 1, end;
        std::string value;
        if (start < connect.size() && connect[start] == '{') {
            end = connect.find('}', start);
            value = connect.substr(start + 1, (end == std::string::npos ? connect.size() : end) - start - 1);
            end = end == std::string::npos ? connect.size() : connect.find(';', end);
        } else {
            end = connect.find(';', start);
            value = connect.substr(start, (end == std::string::npos ? connect.size() : end) - start);
        }
        while (!key.empty() && key.front() == ' ')
            key.erase(0, 1);
        if (key == "UID" || key == "USERNAME")
            return value;
        if (end == std::string::npos)
            break;
        i = end + 1;
    }
    return std::string();
}

std::vector<OdbcDataSource> ListDataSources()
{
    std::vector<OdbcDataSource> sources;
    SQLHENV env = SQL_NULL_HENV;
    if (Failed(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        return sources;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (int guard = 0; guard < 10000; ++guard) {
        SQLWCHAR name[SQL_MAX_DSN_LENGTH + 1] = {0};
        SQLWCHAR description[512] = {0};
        SQLSMALLINT nameLength = 0, descriptionLength = 0;
        SQLRETURN rc = SQLDataSourcesW(env, direction, name, static_cast<SQLSMALLINT>(std::size(name)), &nameLength,
                                       description, static_cast<SQLSMALLINT>(std::size(description)), &descriptionLength);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO)
            break;
        sources.push_back({Shown(FromWide(name)), Shown(FromWide(description))});
        direction = SQL_FETCH_NEXT;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return sources;
}

} // namespace orvix
