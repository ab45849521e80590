#include "export/odbcfilename.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "export/odbctable.h"
#include "platform/ui/ui.h"

namespace orvix {

COdbcFilename::COdbcFilename(COdbcConnection& db) : db_(db) {}

void COdbcFilename::Open(const std::string& sql)
{
    Close();
    auto statement = std::make_unique<COdbcStatement>(db_);
    names_.assign(static_cast<size_t>(kRowsetSize) * kNameBytes, u'\0');
    lengths_.assign(kRowsetSize, 0);
    statement->SetRowArraySize(kRowsetSize);
    statement->ExecDirect(sql.empty() ? GetDefaultSQL() : sql);
    statement->BindColumn(1, OdbcC::WChar, names_.data(), kNameBytes * sizeof(char16_t), lengths_.data());
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

bool COdbcFilename::Name(size_t row, std::string& name, TextRefusal* why) const
{
    name.clear();
    if (row >= fetched_ || lengths_[row] == kOdbcNullData)
        return true;
    const char16_t* slot = names_.data() + row * kNameBytes;
    const std::u16string_view wide(slot, static_cast<size_t>(std::find(slot, slot + kNameBytes - 1, u'\0') - slot));
    return FromUtf16(wide, name, why);
}

std::string COdbcFilename::Name(size_t row) const
{
    std::string name;
    return Name(row, name) ? name : std::string();
}

bool COdbcFilename::IsCut(size_t row) const
{
    OdbcLen n = lengths_[row];
    return row < fetched_ && (n == kOdbcNoTotal || n >= static_cast<OdbcLen>(kNameBytes * sizeof(char16_t)));
}

namespace {

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

void Connect(COdbcConnection& db, OdbcInputSpec spec)
{
    try {
        db.Open(OdbcInputConnectString(spec));
    } catch (const COdbcError& e) {
        // The history keeps no passwords: a user without one is asked for it. No use asking
        // when the data source itself is unknown.
        if (!spec.hasUser || spec.user.empty() || spec.hasPassword || e.State() == "IM002")
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

bool ReadOdbcFileNames(const OdbcInputSpec& spec, std::vector<std::string>& names, std::string& error)
{
    names.clear();
    COdbcConnection db;
    try {
        Connect(db, spec);
    } catch (const COdbcError& e) {
        error = DiagnosticText(e);
        return false;
    } catch (const std::invalid_argument& e) {
        error = e.what();
        return false;
    }
    std::vector<std::string> cut;
    std::string refused;
    size_t refusedCount = 0, rowNumber = 0;
    try {
        COdbcFilename query(db);
        query.Open(spec.statement);
        for (; !query.IsEOF(); query.MoveNext()) {
            for (size_t row = 0; row < query.RowsFetched(); ++row) {
                std::string name;
                TextRefusal why;
                ++rowNumber;
                if (query.IsCut(row)) {
                    cut.push_back(query.Name(row));
                } else if (!query.Name(row, name, &why)) {
                    if (refusedCount++ == 0)
                        refused = RefusalMessage(why, "the name of row " + std::to_string(rowNumber), false);
                } else if (!name.empty()) {
                    names.push_back(std::move(name));
                }
            }
        }
    } catch (const COdbcError& e) {
        error = "the statement \"" + spec.statement + "\" failed: " + DiagnosticText(e);
        names.clear();
        return false;
    }
    if (!cut.empty())
        MessageBox(std::to_string(cut.size()) + " file name(s) of the query are 256 characters or longer and were left "
                   "out; the first begins\n" + cut.front().substr(0, 80) + "...");
    if (refusedCount)
        MessageBox(std::to_string(refusedCount) + " file name(s) of the query were left out. " + refused);
    return true;
}

} // namespace orvix
