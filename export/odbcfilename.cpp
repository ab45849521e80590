#include "export/odbcfilename.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "export/odbctable.h"
#include "export/trialexport.h"
#include "platform/ui.h"

namespace orvix {

const char* const kOdbcInputFormatError = "Format error! Should be: ODBC://[user[:password]@]database:SQL statement";

COdbcFilename::COdbcFilename(COdbcConnection& db) : db_(db) {}

void COdbcFilename::Open(const std::string& sql)
{
    Close();
    auto statement = std::make_unique<COdbcStatement>(db_);
    names_.assign(static_cast<size_t>(kRowsetSize) * kNameBytes, '\0');
    lengths_.assign(kRowsetSize, 0);
    statement->SetRowArraySize(kRowsetSize);
    statement->ExecDirect(sql.empty() ? GetDefaultSQL() : sql);
    statement->BindColumn(1, OdbcC::Char, names_.data(), kNameBytes, lengths_.data());
    statement_ = std::move(statement);
    MoveNext();
}

void COdbcFilename::MoveNext()
{
    if (!statement_)
        return;
    eof_ = !statement_->Fetch();
    fetched_ = eof_ ? 0 : std::min<size_t>(statement_->RowsFetched(), kRowsetSize);
}

void COdbcFilename::Close()
{
    statement_.reset();
    eof_ = true;
    fetched_ = 0;
}

std::string COdbcFilename::Name(size_t row) const
{
    if (row >= fetched_ || lengths_[row] == kOdbcNullData)
        return std::string();
    const char* slot = names_.data() + row * kNameBytes;
    return std::string(slot, strnlen(slot, kNameBytes - 1));
}

bool COdbcFilename::IsCut(size_t row) const
{
    OdbcLen n = lengths_[row];
    return row < fetched_ && (n == kOdbcNoTotal || n >= static_cast<OdbcLen>(kNameBytes));
}

bool IsOdbcInput(const std::string& text)
{
    static const char prefix[] = "ODBC://";
    if (text.size() < 7)
        return false;
    for (size_t i = 0; i < 7; ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

bool ParseOdbcInput(const std::string& text, OdbcInputSpec& spec)
{
    spec = OdbcInputSpec();
    std::string rest = text.substr(std::min<size_t>(7, text.size()));
    size_t at = rest.find('@');
    if (at != std::string::npos) {
        std::string userPart = rest.substr(0, at);
        rest = rest.substr(at + 1);
        spec.hasUser = true;
        size_t colon = userPart.find(':');
        spec.user = userPart.substr(0, colon);
        if (colon != std::string::npos) {
            spec.hasPassword = true;
            spec.password = userPart.substr(colon + 1);
        }
    }
    size_t colon = rest.find(':');
    spec.database = rest.substr(0, colon);
    if (colon != std::string::npos) {
        spec.statement = rest.substr(colon + 1);
        size_t first = spec.statement.find_first_not_of(" \t\r\n\f\v");
        spec.statement = first == std::string::npos ? std::string() : spec.statement.substr(first);
    }
    return !spec.database.empty() && !spec.statement.empty();
}

std::string OdbcInputConnectString(const OdbcInputSpec& spec)
{
    std::string connect = "DSN=" + ConnectValue(spec.database);
    if (spec.hasUser && !spec.user.empty()) {
        connect += ";UID=" + ConnectValue(spec.user);
        if (spec.hasPassword)
            connect += ";PWD=" + ConnectValue(spec.password);
    }
    return connect;
}

std::string OdbcInputForHistory(const std::string& text)
{
    if (!IsOdbcInput(text))
        return text;
    size_t at = text.find('@', 7);
    if (at == std::string::npos)
        return text;
    size_t colon = text.find(':', 7);
    if (colon == std::string::npos || colon > at)
        return text;
    return text.substr(0, colon) + text.substr(at);
}

namespace {

void Connect(COdbcConnection& db, OdbcInputSpec spec)
{
    try {
        db.Open(OdbcInputConnectString(spec));
    } catch (const COdbcError& e) {
        // The history keeps no passwords: a user without one is asked for it.
        // No use asking when the data source itself is unknown.
        if (!spec.hasUser || spec.hasPassword || e.State() == "IM002")
            throw;
        std::string password;
        if (!UI().AskPassword("Password of " + spec.user + " for the data source " + spec.database + ":", password))
            throw;
        spec.password = password;
        spec.hasPassword = true;
        db.Open(OdbcInputConnectString(spec));
    }
}

} // namespace

bool ListOdbcInputFiles(const std::string& text, std::vector<std::string>& files)
{
    files.clear();
    OdbcInputSpec spec;
    if (!ParseOdbcInput(text, spec)) {
        MessageBox(kOdbcInputFormatError);
        return false;
    }
    COdbcConnection db;
    try {
        Connect(db, spec);
    } catch (const COdbcError& e) {
        MessageBox("Can't open the data source \"" + spec.database + "\":\n" + DiagnosticText(e));
        return false;
    } catch (const std::invalid_argument& e) {
        MessageBox("Can't open the data source \"" + spec.database + "\": " + e.what());
        return false;
    }
    std::vector<std::string> cut;
    try {
        COdbcFilename names(db);
        names.Open(spec.statement);
        for (; !names.IsEOF(); names.MoveNext()) {
            for (size_t row = 0; row < names.RowsFetched(); ++row) {
                if (names.IsCut(row)) {
                    cut.push_back(names.Name(row));
                    continue;
                }
                std::string name = names.Name(row);
                if (name.empty())
                    continue;
                for (std::string& path : FindDataFiles(name))
                    files.push_back(std::move(path));
            }
        }
    } catch (const COdbcError& e) {
        MessageBox("Can't read file names from \"" + spec.database + "\" with\n" + spec.statement + "\n"
                   + DiagnosticText(e));
        return false;
    }
    if (!cut.empty())
        MessageBox(std::to_string(cut.size()) + " file name(s) of the query are 256 characters or longer and were left "
                   "out; the first begins\n" + cut.front().substr(0, 80) + "...");
    return true;
}

} // namespace orvix
