// Data files: saving the document, opening one into it, and merging further files.
#include <algorithm>
#include <cctype>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "document/datafile_format.h"
#include "document/orvixdoc.h"
#include "platform/files/atomic_file.h"
#include "platform/files/paths.h"
#include "platform/text/codepage.h"
#include "platform/ui/ui.h"

namespace orvix {

namespace {

const char* const kTooNew =
    "What are you doing?\nYou should get a new version of Orvix software to open this data file.";

std::string Upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Fills a table from a file's parameters; a later name equal to an earlier one but for
// letter case is dropped ("." never counts as a repeat).
void FillTable(CParamTable& table, std::vector<std::unique_ptr<CParam>>& params)
{
    table.Clear();
    std::set<std::string> seen;
    for (auto& p : params) {
        const std::string& name = p->GetName();
        if (name != "." && !seen.insert(Upper(name)).second)
            continue;
        table.Add(p.release());
    }
    params.clear();
}

std::vector<const CParam*> Objects(const CParamTable& table)
{
    std::vector<const CParam*> out;
    for (int i = 0; i < table.Count(); ++i)
        if (table.At(i))
            out.push_back(table.At(i));
    return out;
}

// Closes a descriptor when it goes.
struct FileDescriptor {
    int fd;
    ~FileDescriptor()
    {
        if (fd >= 0)
            close(fd);
    }
};

// The file's contents, or null after the reason was shown. The file streams through the
// archive as it is read: it is never held whole beside what is made of it.
std::unique_ptr<DataFileContents> ReadContents(const std::string& path, bool withFormat, bool forMerge)
{
    // Only a regular file: opening a pipe or a device could wait forever or act on it. The
    // type is checked before the open, and again on what was opened (without waiting).
    struct stat st;
    const std::string notRegular = "File \"" + ShownText(path) + "\" is not a regular file: it can't be opened as a data file.";
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        MessageBox(notRegular);
        return nullptr;
    }
    FileDescriptor file{open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (file.fd < 0 || fstat(file.fd, &st) != 0) {
        MessageBox("File \"" + ShownText(path) + "\" doesn't exist or couldn't be opened!");
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        MessageBox(notRegular);
        return nullptr;
    }
    posix_fadvise(file.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    auto c = std::make_unique<DataFileContents>();
    try {
        CArchive ar = CArchive::LoadingFrom(file.fd, static_cast<uint64_t>(st.st_size));
        LoadDataFileContents(ar, *c, withFormat, forMerge);
    } catch (const DataFileTooNew&) {
        MessageBox(kTooNew);
        return nullptr;
    } catch (const CArchiveException& e) {
        MessageBox("Can't read the data file \"" + ShownText(path) + "\".\n" + e.what());
        return nullptr;
    }
    return c;
}

// The document's command lines with a merged file's lines appended; lines of a file that
// was not merged itself get the source number m in front.
std::vector<std::string> MergedCommandLines(std::vector<std::string> lines, const std::vector<std::string>& added,
                                            int m)
{
    bool numbered = !added.empty() && added[0].compare(0, 3, "in ") == 0;
    for (const auto& line : added)
        lines.push_back(numbered ? line : "in " + std::to_string(m) + ", " + line);
    return lines;
}

// The orientation of a merged file's stimuli, carried by its behaviour parameter "OR".
float MergeOffset(const DataFileContents& c)
{
    for (const auto& p : c.behavParams)
        if (p->GetName() == "OR")
            return static_cast<float>(p->GetDouble());
    return 0.0f;
}

} // namespace

void COrvixDoc::StoreDataFile(CArchive& ar)
{
    DataFileContents c;
    c.notes = notes;
    c.selectedChannel = selectedChannel_;
    c.mainChannel = static_cast<uint8_t>(mainChannel);
    c.cellIds = cellIds;
    c.gridChoices = gridChoices;
    c.depths = depths;
    // With no test type current the file names an empty one.
    c.testTypes = {GetTestTypeName()};
    c.commandLines = commandLines;
    c.plot = plot;
    c.selectionList1 = selectionList1;
    c.selectionList2 = selectionList2;
    c.expressionColumns = expressionColumns;
    for (int k = 0; k < KIND_COUNT; ++k)
        c.savedLists[static_cast<size_t>(k)] = saved_[k];
    DataFileObjects objects{Objects(exp_), Objects(behav_), Objects(graph_), {}};
    for (const auto& t : trials_)
        objects.trials.push_back(t.get());
    StoreDataFileContents(ar, c, objects);
}

void COrvixDoc::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        StoreDataFile(ar);
        return;
    }
    auto c = std::make_unique<DataFileContents>();
    LoadDataFileContents(ar, *c, loadFormat != 0, mergeMode != 0);
    if (mergeMode)
        ApplyMergedFile(*c);
    else
        ApplyDataFile(*c);
}

void COrvixDoc::ApplyDataFile(DataFileContents& c)
{
    notes = c.notes;
    ShowNotesOnPanel();
    mainChannel = c.mainChannel < kChannelCount ? c.mainChannel : 3;
    selectedChannel_ = loadFormat ? c.selectedChannel : mainChannel;
    if (selectedChannel_ < -1 || selectedChannel_ >= kChannelCount)
        selectedChannel_ = mainChannel;
    for (int i = 0; i < kChannelCount; ++i) {
        cellIds[static_cast<size_t>(i)] = static_cast<int16_t>(ClampCellId(c.cellIds[static_cast<size_t>(i)]));
        gridChoices[static_cast<size_t>(i)] = std::min<uint8_t>(c.gridChoices[static_cast<size_t>(i)], 7);
    }
    depths = c.depths;

    // The file's test type: found by name, or added. A position outside the list keeps the
    // current test type. A file saved without one (an empty name) has none: no type is
    // current, so that nothing renames the file or saves a type without a name.
    if (c.testTypeEntry < c.testTypes.size()) {
        const std::string& name = c.testTypes[c.testTypeEntry];
        auto it = std::find(testTypeNames_.begin(), testTypeNames_.end(), name);
        if (name.empty()) {
            curTestType_ = -1;
        } else if (it != testTypeNames_.end()) {
            curTestType_ = static_cast<int>(it - testTypeNames_.begin());
        } else {
            testTypeNames_.push_back(name);
            curTestType_ = GetTestTypeCount() - 1;
            for (int k = 0; k < KIND_COUNT; ++k)
                init_[k].emplace_back();
        }
    }

    FillTable(exp_, c.expParams);
    FillTable(behav_, c.behavParams);
    FillTable(graph_, c.graphParams);
    commandLines = c.commandLines;
    for (auto& t : c.trials)
        trials_.push_back(std::move(t));
    c.trials.clear();
    reservedArrays = c.reserved;
    if (!trials_.empty())
        activeChannels = trials_.back()->activeChannels;
    ParseCommandFile(kNoAngleOffset);

    if (c.version < 3) {
        if (commands_.empty())
            return;
        int n = static_cast<int>(commands_[0].size());
        plot.XAxisVariable = std::clamp(plot.XAxisVariable, 0, std::max(n - 1, 0));
        plot.YAxisVariable = std::clamp(plot.YAxisVariable, -3, n - 1);
        if (plot.YAxisVariable == plot.XAxisVariable)
            plot.YAxisVariable = -1;
        plot.FigureAxisVariable = std::clamp(plot.FigureAxisVariable, -1, n - 1);
        if (plot.FigureAxisVariable >= 0
            && (plot.FigureAxisVariable == plot.XAxisVariable || plot.FigureAxisVariable == plot.YAxisVariable))
            plot.FigureAxisVariable = -1;
    }
    if (!c.hasFormat)
        return;
    FontRecord mainFont = plot.mainFont, verticalFont = plot.verticalFont;
    int32_t symbolSize = plot.SymbolSize, gridLength = plot.GridLength, errorBar = plot.ErrorBarLength;
    int32_t penWidth = plot.PenWidth, plotType = plot.PlotType;
    plot = c.plot;
    plot.mainFont = mainFont;
    plot.verticalFont = verticalFont;
    plot.SymbolSize = symbolSize;
    plot.GridLength = gridLength;
    plot.ErrorBarLength = errorBar;
    plot.PenWidth = penWidth;
    if (!c.hasPlotType)
        plot.PlotType = plotType;
    selectionList1 = c.selectionList1;
    selectionList2 = c.selectionList2;
    if (c.hasExpressionColumns)
        expressionColumns = c.expressionColumns;
    if (c.hasSavedLists)
        for (int k = 0; k < KIND_COUNT; ++k)
            saved_[k] = c.savedLists[static_cast<size_t>(k)];
    if (curTestType_ < 0)
        return;
    // The type's initial graph and behaviour values are the file's values of the
    // parameters the saved lists name.
    for (int k : {KIND_GRAPH, KIND_BEHAV}) {
        auto& init = init_[k][static_cast<size_t>(curTestType_)];
        init.clear();
        CParamTable& table = Table(k);
        for (const CParam& s : saved_[k]) {
            int pos = table.Find(s.GetName());
            if (pos >= 0)
                init.push_back(*table.At(pos));
        }
    }
}

void COrvixDoc::ApplyMergedFile(DataFileContents& c)
{
    ++mergeMode;
    const int firstCommand = GetCommandCount();
    commandLines = MergedCommandLines(commandLines, c.commandLines, mergeMode);
    ParseCommandFile(MergeOffset(c));
    if (commands_.empty()) {
        mergeMode = 0;
        return;
    }
    std::vector<std::string> expressions = expressionColumns;
    for (size_t i = 0; i + 1 < expressions.size(); i += 2)
        InsertExpressionColumn(expressions[i], expressions[i + 1], false, false);
    // A trial's command moves past the commands already open. An index outside the file's
    // own commands stays outside (-1) rather than landing on another file's command.
    const int fileCommands = static_cast<int>(c.commandLines.size());
    for (auto& t : c.trials) {
        const int index = t->commandIndex;
        t->commandIndex = index >= 0 && index < fileCommands ? index + firstCommand : -1;
        trials_.push_back(std::move(t));
    }
    c.trials.clear();
}

bool COrvixDoc::OnOpenDocument(const std::string& path)
{
    fileLoaded = 0;
    if (access(path.c_str(), R_OK) != 0) {
        MessageBox("File \"" + ShownText(path) + "\" doesn't exist or couldn't be opened!");
        return false;
    }
    // The document names its file in the program's text (the title, the data folder, the
    // exports' cell ids): a path that this text cannot hold could not be saved to again.
    std::string name;
    if (!NameOfPath(path, name))
        return false;
    // Everything is read and checked before the document changes, so that a file that
    // cannot be used leaves the document as it was.
    auto c = ReadContents(path, loadFormat != 0, mergeMode != 0);
    if (!c)
        return false;
    std::string error;
    std::vector<std::string> lines =
        mergeMode ? MergedCommandLines(commandLines, c->commandLines, mergeMode + 1) : c->commandLines;
    if (ParseCommandLines(lines, mergeMode ? MergeOffset(*c) : kNoAngleOffset, error).empty()) {
        MessageBox(error.empty() ? "File \"" + name + "\" holds no stimulus commands." : error);
        return false;
    }

    std::vector<std::unique_ptr<CParam>> graphAside;
    std::string showX, showY, showZ;
    if (!mergeMode) {
        if (!loadFormat) {
            showX = GetBehavParam("Param2ShowX", CParam(nullptr, "X")).GetText();
            showY = GetBehavParam("Param2ShowY", CParam(nullptr, "Spikes/S")).GetText();
            showZ = GetBehavParam("Param2ShowZ", CParam(nullptr, "all")).GetText();
        }
        SnapshotTestSettings();
        LoadInitParams(-1);
        for (CParam* p : graph_.TakeAll())
            graphAside.emplace_back(p);
        exp_.Clear();
        behav_.Clear();
    }
    DeleteContents();
    if (mergeMode)
        ApplyMergedFile(*c);
    else
        ApplyDataFile(*c);

    // The file as the program names it, in the data folder's form where it maps ("c:\data\x"),
    // as the exports' input and the print header show a new document's.
    std::string shown = name;
    if (!mergeMode) {
        // A path that names its folder makes that folder the data folder, in the form the
        // program names folders ("c:\data" for ~/orvix/c/data). Paths opened here are of this
        // machine: '/' separates the folders, a backslash is part of a name.
        if (path.find('/') != std::string::npos) {
            std::error_code ec;
            const std::filesystem::path file = std::filesystem::absolute(path, ec).lexically_normal();
            TextRefusal why;
            const std::string folder = ec ? std::string() : UnmapPath(file.parent_path().string(), &why);
            if (const std::string form = ec ? std::string() : UnmapPath(file.string());
                form.size() > 1 && form[1] == ':')
                shown = form;
            if (!folder.empty())
                GetBehavParam("DataPath", CParam(nullptr, "c:\\data")) = folder.c_str();
            else if (!ec) // the working folder of a relative path: the data folder stays
                AddLogLine(RefusalMessage(why, "the folder \"" + ShownText(file.parent_path().string()) + "\"", false)
                           + " The data folder stays as it was.");
        }
        if (!loadFormat) {
            GetBehavParam("Param2ShowX", CParam(nullptr, "X")) = showX.c_str();
            GetBehavParam("Param2ShowY", CParam(nullptr, "Spikes/S")) = showY.c_str();
            GetBehavParam("Param2ShowZ", CParam(nullptr, "all")) = showZ.c_str();
        }
        std::vector<CParam> registry;
        ReadRegistryParams(registry);
        for (const CParam& r : registry) {
            if (behav_.Find(r.GetName()) >= 0)
                continue;
            behav_.Add(new CParam(r));
        }
        RestoreGraphParams(graphAside);
        fileLoaded = 1;
        ParametersChanged();
    }
    RecomputeChannelRates();
    UpdateChannelRates(nullptr);
    for (int ch = 0; ch < kChannelCount; ++ch)
        UpdateChannelDisplay(ch);
    dataFilePath = shown;
    dataFileBase_.clear();
    SetPathName(name);
    SetModifiedFlag(false);
    RebuildTrialTable();
    return true;
}

void COrvixDoc::RestoreGraphParams(std::vector<std::unique_ptr<CParam>>& aside)
{
    std::string scene = GetExpParam("IVFile", CParam(nullptr, 0)).GetText();
    if (IsRendererRunning() && scene == loadedScene) {
        // The renderer keeps its scene: its parameters come back, with the file's values.
        std::vector<std::unique_ptr<CParam>> fromFile;
        for (CParam* p : graph_.TakeAll())
            fromFile.emplace_back(p);
        for (auto& p : aside)
            graph_.Append(p.release());
        graph_.RebuildIndex();
        for (auto& f : fromFile) {
            int pos = graph_.Find(f->GetName());
            if (pos < 0)
                continue;
            CParam& mine = *graph_.At(pos);
            if (mine.GetText() != f->GetText()) {
                mine = f->GetText().c_str();
                SendGraphParam(pos);
            }
        }
        return;
    }
    aside.clear();
    if (IsRendererRunning())
        LoadSceneAfterOpen(scene);
}

void COrvixDoc::LoadSceneAfterOpen(const std::string& scene)
{
    int runFlag = GetRunFlag();
    LoadScene(scene.c_str(), false);
    SetRunFlag(runFlag);
}

bool COrvixDoc::NameOfPath(const std::string& path, std::string& name)
{
    TextRefusal why;
    if (ProgramPath(path, name, &why))
        return true;
    MessageBox(RefusalMessage(why, "the path \"" + ShownText(path) + "\"", false)
               + "\nPlease name the file and its folders with the letters of Windows-1252.");
    return false;
}

bool COrvixDoc::OnSaveDocument(const std::string& path)
{
    // Checked before writing: the document could not name the file it wrote.
    std::string name;
    return NameOfPath(path, name) && AfterWrite(path, WriteDataFile(path));
}

bool COrvixDoc::WriteDataFile(const std::string& path, const std::function<std::string()>& nextName)
{
    // The archive writes through a small buffer as it fills: one pass, no copy of the file
    // in memory, one flush to the disk at the end.
    auto store = [this](int fd) {
        CArchive ar = CArchive::StoringTo(fd);
        Serialize(ar);
        return ar.Flush();
    };
    std::string written = path;
    auto next = [&] {
        const std::string name = nextName();
        written = (std::filesystem::path(path).parent_path() / name).string();
        return name;
    };
    if (!(nextName ? WriteNewFileAtomically(path, store, next) : WriteFileAtomically(path, store)))
        return false;
    writtenPath_ = written;
    written_ = StampOf(written);
    return true;
}

bool COrvixDoc::AfterWrite(const std::string& path, bool written)
{
    if (!written) {
        MessageBox("Can't save the data file \"" + ShownText(path) + "\".\n" + WriteFailureText() + ".");
        return false;
    }
    std::string name;
    SetPathName(ProgramPath(path, name) ? name : ShownText(path));
    SetModifiedFlag(false);
    return true;
}

bool COrvixDoc::DoFileSave()
{
    // A name chosen for the test is looked at again, as the Test page's Save does.
    if (!dataFileBase_.empty() && !dataFilePath.empty() && MapPath(GetPathName()) == MapPath(dataFilePath))
        return SaveDataFile();
    // The path may be in the data folder's "c:\..." form.
    if (!GetPathName().empty())
        return OnSaveDocument(MapPath(GetPathName()));
    if (!dataFilePath.empty())
        return OnSaveDocument(MapPath(dataFilePath));
    return false;
}

bool COrvixDoc::SaveAsFile(std::string path)
{
    if (std::filesystem::path(path).extension().empty())
        path += ".oxv";
    if (!OnSaveDocument(path))
        return false;
    // The list holds the document's names for its files, the program's text.
    if (hooks.addRecentFile)
        hooks.addRecentFile(GetPathName());
    return true;
}

bool COrvixDoc::DoSaveAs()
{
    std::string path = SaveAsStart();
    return UI().AskSaveAsFile(path) && SaveAsFile(path);
}

} // namespace orvix
