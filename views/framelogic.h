// What the main frame shows and decides, free of widgets: the channel buttons, the pane
// sizes, the status panes, the comment keys, the input-file box (file patterns and the ODBC
// form, the history) and the navigator over the files found.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace orvix {

class COrvixDoc;
class CTaskRunner;

// ---- Channel tool bar ----
constexpr int kLevelImageCount = 13;
// The level-scale image of a channel's mean rate: level / 5, 0..12.
int ChannelLevelImage(int level);
// "%d-%d-%c" (channel + 1, grid choice + 1, the cell's letter), then "*" when the channel
// is active, else a blank, then "@" when it is the main channel, else a blank.
std::string ChannelButtonText(int channel, int gridChoice, int cellId, bool active, bool isMain);
std::string ChannelButtonText(const COrvixDoc& doc, int channel);

// ---- Panes ----
struct PaneSizes {
    int graphWidth;  // the left column (response graphs)
    int trialHeight; // the upper pane of the right column (trials)
};
// Client width - 244 and height - 322, neither below 0.
PaneSizes DefaultPaneSizes(int clientWidth, int clientHeight);

// ---- Status panes ----
// "%d%%" of hits x 100 / actions, with no actions counted as one.
std::string HitRateText(int hits, int actions);
// The text of a status pane from the document and the runner; the S and R panes (set by
// the response-graph view) and unknown ids give "". Missing "AccumedTimes" and
// "SubjectName" are added with their defaults.
std::string StatusPaneText(int paneId, COrvixDoc& doc, CTaskRunner& runner);

// ---- Comment keys ----
enum class CommentKey { Enter, PageUp, PageDown, Home, End, Up, Down };
// The comment trial after the key (-1 none).
int CommentKeyTarget(CommentKey key, int index, int trialCount);
// Whether the key first stores the edit's text into the trial shown.
bool CommentKeyStoresFirst(CommentKey key);

// ---- The input-file box ----
// The pilcrow that stands for a line break of a stored query.
constexpr char kPilcrow = '\xB6';
extern const char* const kOdbcFormatError;

struct OdbcSource {
    std::string user, password, database, statement;
    bool hasUser = false;
    bool hasPassword = false;
    // "ODBC;" then "UID=user;" and "PWD=password;" when given (a password only with a user).
    std::string ConnectString() const;
};
// The text starts with "ODBC://" in any letter case.
bool IsOdbcSource(const std::string& text);
// "ODBC://[user[:password]@]database:SQL statement"; false when the database or the
// statement is empty.
bool ParseOdbcSource(const std::string& text, OdbcSource& out);

// Every pilcrow becomes a blank: the box's text as a pattern or query.
std::string InputText(std::string boxText);
// The box's one-line form to a multi-line editor's and back.
std::string ToMultiLine(const std::string& boxText);
std::string FromMultiLine(const std::string& text);

struct InputFileEntry {
    std::string path;
    int64_t lastWrite = 0; // seconds
    bool operator==(const InputFileEntry&) const = default;
};
// ".oxv" is appended unless the pattern already ends in it (any letter case).
std::string DataFilePattern(const std::string& pattern);
// The files that match a pattern whose last part may hold '*' and '?' (letter case
// ignored, as on the file systems the patterns come from); Windows path forms are mapped.
// Sorted by name.
std::vector<InputFileEntry> FindMatchingFiles(const std::string& pattern);
// Earliest written first; equal times keep their order.
void SortByWriteTime(std::vector<InputFileEntry>& files);

// ---- The history of the box: "Input Files" values "0" to "19" ----
constexpr int kInputHistoryMax = 20;
std::vector<std::string> LoadInputHistory();
// The first 20 items; values of higher numbers are deleted.
void SaveInputHistory(const std::vector<std::string>& items);
// The index of the first item that begins with text (letter case ignored), -1 none.
int FindHistoryPrefix(const std::vector<std::string>& items, const std::string& text);

// ---- The navigator over the files found ----
class CInputFileList {
public:
    enum Button { First, Previous, Next, Last };
    static constexpr int kShiftStep = 10;

    bool IsStale() const { return stale_; }
    void MarkStale() { stale_ = true; }
    // A new list: no longer stale, the first file current.
    void Rebuild(std::vector<InputFileEntry> files);
    // The file to open after a button (-1: nothing to open). justRebuilt: the press itself
    // rebuilt the list, which opened the first file already.
    int Navigate(Button button, bool shift, bool justRebuilt);

    int Count() const { return static_cast<int>(files_.size()); }
    int Current() const { return current_; }
    const InputFileEntry& At(int i) const { return files_.at(static_cast<size_t>(i)); }
    // "%d of %d", or "no file" for an empty list.
    std::string PositionText() const;

private:
    std::vector<InputFileEntry> files_;
    int current_ = -1;
    bool stale_ = true;
};

} // namespace orvix
