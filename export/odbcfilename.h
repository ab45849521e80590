// The input files named by a database query: COdbcFilename reads the names that the
// user's SQL statement gives, 100 rows at a time, and the "ODBC://" form of the input box
// ("ODBC://[user[:password]@]database:SQL statement") is parsed and turned into the list
// of data files those names match. No widgets: messages and the password question go
// through the UI service.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/odbc.h"

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
    // Row i's name; "" for NULL.
    std::string Name(size_t row) const;
    // Row i's name did not fit its 256-byte buffer (it is 256 bytes or longer).
    bool IsCut(size_t row) const;
    // Row i's whole length as the driver reported it.
    OdbcLen Length(size_t row) const { return lengths_[row]; }

private:
    COdbcConnection& db_;
    std::unique_ptr<COdbcStatement> statement_;
    std::vector<char> names_;
    std::vector<OdbcLen> lengths_;
    size_t fetched_ = 0;
    bool eof_ = true;
};

// The parts of "ODBC://[user[:password]@]database:SQL statement".
struct OdbcInputSpec {
    std::string user, password, database, statement;
    bool hasUser = false, hasPassword = false;
};

// The text begins with "ODBC://" in any letter case.
bool IsOdbcInput(const std::string& text);
// False when the database or the statement is empty.
bool ParseOdbcInput(const std::string& text, OdbcInputSpec& spec);
extern const char* const kOdbcInputFormatError;
// "DSN=<database>[;UID=<user>[;PWD=<password>]]", values braced where needed.
std::string OdbcInputConnectString(const OdbcInputSpec& spec);
// The text as the input box's history may keep it: the password taken out
// ("ODBC://lab@neuron:select ..."); any other text unchanged.
std::string OdbcInputForHistory(const std::string& text);

// The data files the query of an "ODBC://" text names: each name it returns is a file or
// a pattern, and every file that matches is listed (full paths, in the order found). A
// malformed text, a data source that cannot be opened, a statement it refuses and names
// too long for their buffers are reported. When the text names a user but no password
// and the data source refuses the connection, the password is asked for. False when
// nothing could be read.
bool ListOdbcInputFiles(const std::string& text, std::vector<std::string>& files);

} // namespace orvix
