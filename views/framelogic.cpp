#include "views/framelogic.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <algorithm>
#include <cctype>
#include <strings.h>

#include "document/orvixdoc.h"
#include "model/param.h"
#include "platform/files/atomic_file.h"
#include "platform/files/paths.h"
#include "platform/settings/registry.h"
#include "platform/text/numbers.h"
#include "platform/text/qtext.h"
#include "runner/taskrunner.h"
#include "views/viewcommands.h"

namespace orvix {

const char* const kOdbcFormatError = "Format error! Should be: ODBC://[user[:password]@]database:SQL statement";

namespace {

const char* const kHistoryKey = "Software\\Morvane\\Orvix\\Input Files";

std::string Upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// '*' any run of characters, '?' any one; letter case ignored.
bool WildcardMatch(const char* pattern, const char* name)
{
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || std::tolower(static_cast<unsigned char>(*pattern))
                                          == std::tolower(static_cast<unsigned char>(*name))) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

} // namespace

int ChannelLevelImage(int level)
{
    // A negative rate (nothing computed) shows the lowest image.
    return std::clamp(level / 5, 0, kLevelImageCount - 1);
}

std::string ChannelButtonText(int channel, int gridChoice, int cellId, bool active, bool isMain)
{
    char cell = static_cast<char>('a' + std::clamp(cellId, 1, 26) - 1);
    std::string text = Format("%d-%d-%c", channel + 1, gridChoice + 1, cell);
    text += active ? '*' : ' ';
    text += isMain ? '@' : ' ';
    return text;
}

std::string ChannelButtonText(const COrvixDoc& doc, int channel)
{
    size_t c = static_cast<size_t>(channel);
    return ChannelButtonText(channel, doc.gridChoices.at(c), doc.cellIds.at(c), (doc.activeChannels >> channel) & 1,
                             doc.mainChannel == channel);
}

PaneSizes DefaultPaneSizes(int clientWidth, int clientHeight)
{
    return {std::max(0, clientWidth - 244), std::max(0, clientHeight - 322)};
}

std::string HitRateText(int hits, int actions)
{
    long long n = actions == 0 ? 1 : actions;
    return Format("%lld%%", static_cast<long long>(hits) * 100 / n);
}

std::string StatusPaneText(int paneId, COrvixDoc& doc, CTaskRunner& runner)
{
    auto graphInt = [&doc](const char* name) {
        int i = doc.FindGraphParam(name);
        return i >= 0 ? doc.GetGraphParam(i).GetInt() : 0;
    };
    switch (paneId) {
    case ID_INDICATOR_KEYPOS: return runner.GetKeyPosName();
    case ID_INDICATOR_STATE: return runner.GetStateName();
    case ID_INDICATOR_ACCUM:
        return Format("Accum: %d", doc.GetExpParam("AccumedTimes", CParam(nullptr, 0)).GetInt());
    case ID_INDICATOR_H: return Format("H:%d", graphInt("POSH"));
    case ID_INDICATOR_V: return Format("V:%d", graphInt("POSV"));
    case ID_INDICATOR_SUBJECT: return doc.GetBehavParam("SubjectName", CParam(nullptr, "Monkey1")).GetText();
    case ID_INDICATOR_CMDN: return Format("CmdN:%d", doc.GetCommandCount());
    case ID_INDICATOR_HITRATE: return HitRateText(runner.GetHitCount(), runner.GetActionCount());
    default: return {};
    }
}

int CommentKeyTarget(CommentKey key, int index, int trialCount)
{
    switch (key) {
    case CommentKey::Enter: return index;
    case CommentKey::PageUp: return std::max(index - 10, -1);
    case CommentKey::PageDown: return std::min(index + 10, trialCount - 1);
    case CommentKey::Home: return -1;
    case CommentKey::End: return trialCount - 1;
    case CommentKey::Up: return index >= 0 ? index - 1 : index;
    case CommentKey::Down: return index < trialCount - 1 ? index + 1 : index;
    }
    return index;
}

bool CommentKeyStoresFirst(CommentKey key)
{
    return key == CommentKey::Enter || key == CommentKey::Up || key == CommentKey::Down;
}

std::string OdbcSource::ConnectString() const
{
    std::string s = "ODBC;";
    if (hasUser) {
        s += "UID=" + user + ";";
        if (hasPassword)
            s += "PWD=" + password + ";";
    }
    return s;
}

bool IsOdbcSource(const std::string& text)
{
    return Upper(text.substr(0, 7)) == "ODBC://";
}

bool ParseOdbcSource(const std::string& text, OdbcSource& out)
{
    out = OdbcSource{};
    if (!IsOdbcSource(text))
        return false;
    std::string rest = text.substr(7);
    if (size_t at = rest.find('@'); at != std::string::npos) {
        std::string userPart = rest.substr(0, at);
        rest = rest.substr(at + 1);
        out.hasUser = true;
        if (size_t colon = userPart.find(':'); colon != std::string::npos) {
            out.user = userPart.substr(0, colon);
            out.password = userPart.substr(colon + 1);
            out.hasPassword = true;
        } else {
            out.user = userPart;
        }
    }
    size_t colon = rest.find(':');
    out.database = rest.substr(0, colon);
    if (colon != std::string::npos) {
        size_t start = rest.find_first_not_of(" \t\r\n\v\f", colon + 1);
        out.statement = start == std::string::npos ? std::string() : rest.substr(start);
    }
    return !out.database.empty() && !out.statement.empty();
}

std::string InputText(std::string boxText)
{
    std::replace(boxText.begin(), boxText.end(), kPilcrow, ' ');
    return boxText;
}

std::string ToMultiLine(const std::string& boxText)
{
    std::string out;
    for (char c : boxText) {
        if (c == kPilcrow)
            out += '\n';
        else
            out += c;
    }
    return out;
}

std::string FromMultiLine(const std::string& text)
{
    // Whatever form the editor gives its line breaks in (CR LF, LF CR, LF or CR), each
    // becomes one pilcrow.
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            if (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n') && text[i + 1] != c)
                ++i;
            out += kPilcrow;
        } else {
            out += c;
        }
    }
    return out;
}

std::string DataFilePattern(const std::string& pattern)
{
    if (pattern.size() >= 4 && Upper(pattern.substr(pattern.size() - 4)) == ".OXV")
        return pattern;
    return pattern + ".oxv";
}

std::vector<InputFileEntry> FindMatchingFiles(const std::string& pattern)
{
    std::string mapped = MapPath(pattern);
    size_t slash = mapped.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : mapped.substr(0, slash));
    std::string name = slash == std::string::npos ? mapped : mapped.substr(slash + 1);
    std::vector<InputFileEntry> found;
    QDir dir(PathToQ(folder));
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo& info : entries) {
        std::string file = PathFromQ(info.fileName());
        if (!WildcardMatch(name.c_str(), file.c_str()) || IsTemporaryFileName(file))
            continue;
        std::string path = folder == "/" ? "/" + file : folder + "/" + file;
        found.push_back({path, info.lastModified().toSecsSinceEpoch()});
    }
    return found;
}

void SortByWriteTime(std::vector<InputFileEntry>& files)
{
    std::stable_sort(files.begin(), files.end(),
                     [](const InputFileEntry& a, const InputFileEntry& b) { return a.lastWrite < b.lastWrite; });
}

std::vector<std::string> LoadInputHistory()
{
    std::vector<std::string> items;
    HKEY key;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, kHistoryKey, &key) != ERROR_SUCCESS)
        return items;
    for (int i = 0; i < kInputHistoryMax; ++i) {
        std::string value;
        if (RegQueryValueEx(key, std::to_string(i).c_str(), &value) == ERROR_SUCCESS && !value.empty())
            items.push_back(value);
    }
    RegCloseKey(key);
    return items;
}

void SaveInputHistory(const std::vector<std::string>& items)
{
    HKEY key;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, kHistoryKey, &key) != ERROR_SUCCESS)
        return;
    CRegistryTransaction transaction;
    for (int i = 0; i < kInputHistoryMax; ++i) {
        std::string name = std::to_string(i);
        if (static_cast<size_t>(i) < items.size())
            RegSetValueEx(key, name.c_str(), items[static_cast<size_t>(i)]);
        else
            RegDeleteValue(key, name.c_str());
    }
    transaction.Commit();
    RegCloseKey(key);
}

int FindHistoryPrefix(const std::vector<std::string>& items, const std::string& text)
{
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].size() >= text.size() && strncasecmp(items[i].c_str(), text.c_str(), text.size()) == 0)
            return static_cast<int>(i);
    return -1;
}

void CInputFileList::Rebuild(std::vector<InputFileEntry> files)
{
    stale_ = false;
    files_ = std::move(files);
    current_ = 0;
}

int CInputFileList::Navigate(Button button, bool shift, bool justRebuilt)
{
    int last = Count() - 1;
    int step = shift ? kShiftStep : 1;
    int next = current_;
    switch (button) {
    case First:
        if (current_ > 0)
            next = 0;
        break;
    case Previous:
        if (current_ > 0)
            next = std::max(0, current_ - step);
        break;
    case Next:
        if (!justRebuilt && current_ < last)
            next = std::min(last, current_ + step);
        break;
    case Last:
        if (current_ < last)
            next = last;
        break;
    }
    if (next == current_ || next < 0 || next > last)
        return -1;
    current_ = next;
    return next;
}

std::string CInputFileList::PositionText() const
{
    if (files_.empty())
        return "no file";
    return Format("%d of %d", current_ + 1, Count());
}

} // namespace orvix
