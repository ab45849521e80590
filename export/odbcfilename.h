// The input files named by a database query: COdbcFilename reads the names that the
// user's SQL statement gives, 100 rows at a time, for the main frame's input box and its
// "ODBC://[user[:password]@]database:SQL statement" form. No widgets: messages and the
// password question go through the UI service.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/odbc/odbc.h"

namespace orvix {

class COdbcFilename {
public:
    enum { kRowsetSize = 100, kNameBytes = 256 };

    explicit COdbcFilename(COdbcConnection& db);

    static const char* GetDefaultConnect() { return "ODBC;DSN=neuron"; }
    static const char* GetDefaultSQL() { return "Select fileName from test"; }

    // Runs the statement (the default one when empty) and fetches the first rowset; the
    // names are its first column. Throws COdbcError.
    void Open(const std::string& sql);
    bool IsOpen() const { return statement_ != nullptr; }
    // No rowset left.
    bool IsEOF() const { return eof_; }
    // The next rowset.
    void MoveNext();
    void Close();

    // Rows of the current rowset.
    size_t RowsFetched() const { return eof_ ? 0 : fetched_; }
    // Row i's name as the program's text; "" for NULL. False, with the letter in `why`, when
    // the code page cannot hold one of its letters.
    bool Name(size_t row, std::string& name, TextRefusal* why = nullptr) const;
    std::string Name(size_t row) const;
    // Row i's name did not fit its buffer of 256 characters (it is 256 or longer).
    bool IsCut(size_t row) const;
    // Row i's whole length in bytes of UTF-16 as the driver reported it.
    OdbcLen Length(size_t row) const { return lengths_[row]; }

private:
    COdbcConnection& db_;
    std::unique_ptr<COdbcStatement> statement_;
    std::vector<char16_t> names_;
    std::vector<OdbcLen> lengths_;
    size_t fetched_ = 0;
    bool eof_ = true;
};

// The parts of the input box's "ODBC://[user[:password]@]database:SQL statement" (the
// main frame parses it).
struct OdbcInputSpec {
    std::string user, password, database, statement;
    bool hasUser = false, hasPassword = false;
};

// "DSN=<database>[;UID=<user>[;PWD=<password>]]", values braced where needed.
std::string OdbcInputConnectString(const OdbcInputSpec& spec);

// The names (files or patterns) that the statement's first column gives, in its order.
// When the text names a user but no password (the history keeps none) and the data source
// refuses the connection, the password is asked for. Names of 256 bytes or more, which the
// rowset's buffers cannot hold, and names holding a letter that the program's text cannot,
// are left out and reported. False with the reason (the
// driver's diagnostics) when the data source cannot be opened or refuses the statement.
bool ReadOdbcFileNames(const OdbcInputSpec& spec, std::vector<std::string>& names, std::string& error);

// The input box's text as its history may keep it: an "ODBC://" text without its password
// ("ODBC://lab@neuron:select ..."); any other text unchanged.
std::string OdbcInputForHistory(const std::string& text);

} // namespace orvix
