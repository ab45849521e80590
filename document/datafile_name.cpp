// Naming the data file from the subject, the electrode position, the main channel's cell
// and the test type, with the first free running number in the data folder; and saving
// under that name without taking another recording's place.
#include <algorithm>
#include <filesystem>

#include "document/orvixdoc.h"
#include "platform/files/paths.h"
#include "platform/text/numbers.h"
#include "platform/ui/ui.h"

namespace orvix {

namespace {

// Without trailing separators (either kind: Linux paths are accepted too), then one
// backslash.
std::string FolderWithSeparator(std::string path)
{
    while (path.size() > 1 && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    return path + '\\';
}

bool FolderExists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_directory(MapPath(path), ec);
}

// Anything that has the name takes it: a file, a folder, a FIFO, a link (also one that leads
// nowhere, which a write would otherwise follow).
bool NameTaken(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(MapPath(path), ec));
}

// Texts that the user types become part of a file name: a separator in them would put
// the file outside the data folder.
std::string FileNamePart(std::string text)
{
    for (char& c : text)
        if (c == '\\' || c == '/' || c == '\0')
            c = '_';
    return text;
}

std::string TextOr(const std::string& text, const char* fallback) { return text.empty() ? fallback : text; }

// "<base>NN.oxv": two digits from 01, three from 100.
std::string DataFileName(const std::string& base, int n) { return base + Format("%02d", n) + ".oxv"; }

// The first number from `from` on whose "<base>NN.oxv" nothing has; 0 when none is left.
int FirstFreeNumber(const std::string& base, int from)
{
    for (int n = from; n > 0; ++n)
        if (!NameTaken(DataFileName(base, n)))
            return n;
    return 0;
}

} // namespace

void COrvixDoc::UpdateDataFileName()
{
    if (curTestType_ >= 0)
        SetDataFileName(curTestType_);
}

bool COrvixDoc::SetDataFileName(int testType)
{
    std::string path = FolderWithSeparator(GetBehavParam("DataPath", CParam(nullptr, "c:\\data")).GetText());
    if (!FolderExists(path)) {
        do {
            if (!UI().AskDataFolder(path))
                return false;
            path = FolderWithSeparator(path);
        } while (!FolderExists(path));
        // Looked up again: the question's event loop may have changed the table.
        GetBehavParam("DataPath", CParam(nullptr, "c:\\data")) = path;
        UpdateBehavParamItem(FindBehavParam("DataPath", false, CParam()));
    }

    std::string subject = GetBehavParam("SubjectName", CParam(nullptr, "Monkey1")).GetText().substr(0, 2);
    for (char& c : subject)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    std::string hole = TextOr(GetBehavParam("HoleNum", CParam(nullptr, "a")).GetText(), "a");
    std::string position = TextOr(GetBehavParam("PosNum", CParam(nullptr, "a")).GetText(), "a");
    size_t channel = static_cast<size_t>(std::clamp(mainChannel, 0, kChannelCount - 1));
    char grid = static_cast<char>('1' + gridChoices[channel]);
    char cell = static_cast<char>('a' - 1 + ClampCellId(cellIds[channel]));
    std::string type = testType >= 0 && testType < GetTestTypeCount() ? testTypeNames_[static_cast<size_t>(testType)] : "";
    std::string name = path + FileNamePart(subject + hole + position + grid + cell + type);

    dataFilePath = DataFileName(name, FirstFreeNumber(name, 1));
    dataFileBase_ = name;
    SetPathName(dataFilePath);
    return true;
}

std::string COrvixDoc::SaveAsStart()
{
    const std::string& path = GetPathName().empty() ? dataFilePath : GetPathName();
    if (path.find_last_of("\\/") != std::string::npos)
        return path;
    // Not the working folder, which holds the task files: the lab's data are kept here.
    return FolderWithSeparator(GetBehavParam("DataPath", CParam(nullptr, "c:\\data")).GetText()) + path;
}

bool COrvixDoc::SaveDataFile()
{
    std::string file = dataFilePath;
    // The file that this document wrote itself is saved over, as any file is.
    if (dataFileBase_.empty() || (MapPath(file) == writtenPath_ && StampOf(writtenPath_) == written_))
        return AfterWrite(MapPath(file), WriteDataFile(MapPath(file)));
    // The name was free when it was chosen. A new recording claims it as the file comes into
    // being: what has it by then (another instance's or rig's recording, anything at all)
    // keeps it, and the first free number is taken. No lock, which anyone who may read the
    // folder could hold, orders the writers.
    int n = 0;
    auto next = [&] {
        if (!(n = FirstFreeNumber(dataFileBase_, n + 1)))
            return std::string();
        file = DataFileName(dataFileBase_, n);
        return std::filesystem::path(MapPath(file)).filename().string();
    };
    const bool written = WriteDataFile(MapPath(file), next);
    if (!AfterWrite(MapPath(file), written))
        return false;
    if (file != dataFilePath) {
        AddLogLine("\"" + dataFilePath + "\" holds another recording: this one is saved as \"" + file + "\".");
        dataFilePath = file;
    }
    return true;
}

} // namespace orvix
