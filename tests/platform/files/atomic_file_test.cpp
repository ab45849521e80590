#include "platform/files/atomic_file.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <iterator>
#include <set>
#include <stdio.h>
#include <utility>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/common/test_support.h"

using namespace orvix;

namespace {

std::set<std::string> Names(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

// A folder "group" in `dir` that the other user may write as a member of its group (2775),
// as an O_PATH descriptor to act in: the other user cannot reach our private folders.
int GroupFolder(const std::string& dir)
{
    const std::string group = dir + "/group";
    chmod(dir.c_str(), 0755);
    mkdir(group.c_str(), 0775);
    EXPECT_EQ(chown(group.c_str(), 0, orvix_test::kOtherUser), 0);
    chmod(group.c_str(), 02775);
    return open(group.c_str(), O_PATH | O_DIRECTORY);
}

// A save writes "<target>.~orvix-tmp-<its pid>-<12 letters>", locked while it writes, and
// first removes the temporaries that killed writers left in its folder, whatever their
// target, and only what this program can have made: not one whose writer still runs, nor one
// that is locked (a writer elsewhere), nor a name of the older forms or one that only looks
// alike, nor what is not the user's own regular file with one name.
TEST(AtomicFile, ASaveRemovesTheTemporariesOfWritersThatAreGone)
{
    const orvix_test::ScopedTempDir dir("orvix-atomic");
    const std::string gone = std::to_string(orvix_test::EndedProcessId());
    const std::string running = std::to_string(getpid());
    enum Kind { kFile, kLocked, kFifo, kSecondName, kOthers };
    struct {
        std::string name;
        Kind kind;
        bool stays;
    } cases[] = {
        {"M1small.oxv.~orvix-tmp-" + gone + "-Ab12Cd34Ef56", kFile, false},
        {"M1small.oxv.~orvix-tmp-" + gone + "-zz0099zz0099", kFile, false},
        {"M1other.oxv.~orvix-tmp-" + gone + "-Ab12Cd34Ef56", kFile, false},
        {"M1small.oxv.~orvix-tmp-" + running + "-Ab12Cd34Ef56", kFile, true},
        {"M1small.oxv.~orvix-tmp-" + gone + "-Lk12Cd34Ef56", kLocked, true},
        {"M1small.oxv.~orvix-tmp-" + gone + "-Fi12Cd34Ef56", kFifo, true},
        {"M1small.oxv.~orvix-tmp-" + gone + "-Hl12Cd34Ef56", kSecondName, true},
        {"M1small.oxv.~orvix-tmp-" + gone + "-Ot12Cd34Ef56", kOthers, true},
        {"M1small.oxv.~orvix-tmp-" + gone + "-short", kFile, true},
        {"M1small.oxv.tmp-" + gone + "-Ab12Cd", kFile, true},
        {"M1small.oxv.tmp-Ab12Cd", kFile, true},
        {"notes.tmp-run001", kFile, true},
        {"report.tmp-2024-backup", kFile, true},
        {"log.tmp-20240101-abcdef", kFile, true},
    };
    std::set<std::string> expected = {"M1small.oxv", "kept.oxv"};
    orvix_test::WriteFile(dir.Path() + "/kept.oxv", "partial");
    std::vector<int> locks;
    for (const auto& c : cases) {
        const std::string path = dir.Path() + "/" + c.name;
        if (c.kind == kOthers && !orvix_test::CanActAsOtherUser())
            continue;
        if (c.kind == kFifo)
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        else if (c.kind == kSecondName)
            ASSERT_EQ(link((dir.Path() + "/kept.oxv").c_str(), path.c_str()), 0);
        else
            orvix_test::WriteFile(path, "partial");
        if (c.kind == kOthers) {
            ASSERT_EQ(chown(path.c_str(), orvix_test::kOtherUser, orvix_test::kOtherUser), 0);
        }
        if (c.kind == kLocked) {
            locks.push_back(open(path.c_str(), O_RDONLY));
            flock(locks.back(), LOCK_EX);
        }
        if (c.stays)
            expected.insert(c.name);
    }
    ForgetSweptFoldersForTesting();
    const std::string ours = "M1small.oxv.~orvix-tmp-" + running + "-";
    ASSERT_TRUE(WriteFileAtomically(dir.Path() + "/M1small.oxv", [&](int fd) {
        std::set<std::string> now = Names(dir.Path());
        auto it = std::find_if(now.begin(), now.end(),
                               [&](const std::string& n) { return !expected.count(n) && n.rfind(ours, 0) == 0; });
        EXPECT_TRUE(it != now.end() && it->size() == ours.size() + 12);
        if (it != now.end()) {
            int other = open((dir.Path() + "/" + *it).c_str(), O_RDONLY);
            EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0) << "our temporary is not locked";
            close(other);
        }
        return WriteAll(fd, "new", 3);
    }));
    EXPECT_EQ(Names(dir.Path()), expected);
    EXPECT_EQ(orvix_test::ReadFile(dir.Path() + "/M1small.oxv"), "new");
    for (int fd : locks)
        close(fd);
}

// What Begin checked is checked again at the commit, on what has the name then. In a group
// folder another member may rename the user's 0600 file away and put a file of its own in
// its place: that file is not replaced, and the new data never get its 0666 (nor go into a
// file that appeared meanwhile); a file gone from the name lends its own rights, not the
// umask's; the user's own file swapped in is replaced with its rights.
TEST(AtomicFile, TheCommitChecksAgainWhatBeginChecked)
{
    if (!orvix_test::CanActAsOtherUser())
        GTEST_SKIP() << "needs a second user";
    const orvix_test::ScopedTempDir dir("orvix-atomic");
    const std::string group = dir.Path() + "/group", path = group + "/priv.csv";
    const int at = GroupFolder(dir.Path());
    const struct {
        const char* name;
        bool existed; // the user's 0600 file was there at Begin
        bool asOther, movesAway;
        mode_t puts; // the mode of the file put in its place; 0: none
        bool written;
        mode_t mode; // of the file at the name afterwards
    } cases[] = {{"swapped", true, true, true, 0666, false, 0666},
                 {"appeared", false, true, false, 0666, false, 0666},
                 {"gone", true, true, true, 0, true, 0600},
                 {"own", true, false, true, 0640, true, 0640}};
    const mode_t saved = umask(022);
    for (const auto& c : cases) {
        unlink(path.c_str());
        unlink((group + "/moved.csv").c_str());
        if (c.existed) {
            orvix_test::WriteFile(path, "old");
            chmod(path.c_str(), 0600);
        }
        auto meanwhile = [&] {
            if (c.movesAway && renameat(at, "priv.csv", at, "moved.csv") != 0)
                return false;
            const int fd = c.puts ? openat(at, "priv.csv", O_WRONLY | O_CREAT | O_EXCL, c.puts) : -1;
            return !c.puts || (fd >= 0 && fchmod(fd, c.puts) == 0 && close(fd) == 0);
        };
        CAtomicWrite write;
        ASSERT_TRUE(write.Begin(path, false)) << c.name;
        ASSERT_TRUE(WriteAll(write.Fd(), "new", 3));
        ASSERT_TRUE(c.asOther ? orvix_test::AsOtherUser(meanwhile) : meanwhile()) << c.name;
        EXPECT_EQ(write.Commit() == 0, c.written) << c.name;
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0) << c.name;
        EXPECT_EQ(st.st_mode & 07777, c.mode) << c.name;
        EXPECT_EQ(st.st_uid, c.written ? 0u : orvix_test::kOtherUser) << c.name;
        EXPECT_EQ(orvix_test::ReadFile(path), c.written ? "new" : "") << c.name;
        if (!c.written) {
            EXPECT_EQ(WriteFailureText(), "\"" + path + "\" belongs to another user; it is not replaced") << c.name;
        }
        EXPECT_EQ(Names(group).size(), 1u + c.existed) << c.name << ": a temporary was left";
    }
    umask(saved);
    close(at);
}

// A name that another member of a group folder swaps between two steps of a write: the walk
// looks once at each name, so the user's link that was judged is the one followed (at the
// last name, or as a folder), whatever has the name when its target is read; a folder that the
// walk made and that is then replaced by a file, and a link put at the name before the commit,
// refuse the write in so many words. A location that is walked again holds one folder.
TEST(AtomicFile, ANameSwappedBetweenTwoStepsGetsNothingThroughAnotherUsersLink)
{
    if (!orvix_test::CanActAsOtherUser())
        GTEST_SKIP() << "needs a second user";
    const orvix_test::ScopedTempDir dir("orvix-atomic");
    const std::string group = dir.Path() + "/group", mine = dir.Path() + "/mine", thesis = dir.Path() + "/thesis.txt";
    const std::string changed = "\"" + group + "/x\" changed while it was being written; nothing was written";
    const int at = GroupFolder(dir.Path());
    mkdir(mine.c_str(), 0700);
    auto swap = [&] { return renameat2(at, "x", at, "spare", RENAME_EXCHANGE) == 0; };
    auto file = [&] {
        return unlinkat(at, "x", AT_REMOVEDIR) == 0 && close(openat(at, "x", O_CREAT | O_WRONLY, 0666)) == 0;
    };
    const struct {
        std::string mine; // the user's link at "x"; "" for a file, "-" for nothing
        std::string path; // written, below the group folder
        bool commit; // what the other user does comes before the commit's look, else between two looks at "x"
        std::function<bool()> meanwhile;
        std::string refusal; // "": written to mine/out.csv
    } cases[] = {
        {mine + "/out.csv", "x", false, swap, ""},
        {mine, "x/out.csv", false, swap, ""},
        {"-", "x/out.csv", false, file, changed},
        {"", "x", true, swap, changed + " (it is now a symbolic link to \"" + thesis + "\")"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(group + "/x");
        unlink((group + "/spare").c_str());
        unlink((mine + "/out.csv").c_str());
        orvix_test::WriteFile(thesis, "old");
        if (c.mine.empty())
            orvix_test::WriteFile(group + "/x", "old");
        else if (c.mine != "-")
            symlink(c.mine.c_str(), (group + "/x").c_str());
        const std::string theirs = c.mine == mine ? dir.Path() : thesis; // where the other user's link points
        ASSERT_TRUE(orvix_test::AsOtherUser([&] { return symlinkat(theirs.c_str(), at, "spare") == 0; }));
        bool done = false;
        auto once = [&](const std::string& path) {
            if ((c.commit || path == group + "/x") && !std::exchange(done, true)) {
                EXPECT_TRUE(orvix_test::AsOtherUser(c.meanwhile)) << c.path;
            }
        };
        // At the commit: while the data are written, after the walk and before the last look.
        auto write = [&](int fd) {
            if (c.commit)
                once(std::string());
            return WriteAll(fd, "new", 3);
        };
        BetweenLooksForTesting(c.commit ? nullptr : std::function<void(const std::string&)>(once));
        EXPECT_EQ(WriteFileAtomically(group + "/" + c.path, write), c.refusal.empty()) << c.refusal;
        BetweenLooksForTesting(nullptr);
        EXPECT_TRUE(done) << c.refusal;
        EXPECT_EQ(c.refusal.empty() ? "" : WriteFailureText(), c.refusal);
        EXPECT_EQ(orvix_test::ReadFile(thesis), "old") << c.refusal;
        EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/out.csv")) << c.refusal;
        EXPECT_EQ(orvix_test::ReadFile(mine + "/out.csv"), c.refusal.empty() ? "new" : "") << c.refusal;
    }
    WriteLocation reused;
    auto descriptors = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    ASSERT_TRUE(LocateWriteTarget(thesis, false, reused));
    const auto held = descriptors();
    ASSERT_TRUE(LocateWriteTarget(group + "/spare", false, reused) && LocateWriteTarget(thesis, false, reused));
    EXPECT_EQ(descriptors(), held) << "the location's earlier folder is still open";
    close(at);
}

// Every name that the file system takes can be saved: the temporary's name is cut to fit the
// name limit (not inside a character), keeping the writer's pid and the random part.
TEST(AtomicFile, EveryNameTheFileSystemTakesCanBeSaved)
{
    const orvix_test::ScopedTempDir dir("orvix-atomic");
    const size_t nameMax = static_cast<size_t>(pathconf(dir.Path().c_str(), _PC_NAME_MAX));
    std::string accented;
    while (accented.size() + 6 <= nameMax)
        accented += "\xc3\xa9"; // é, up to a name of nameMax - 1 bytes
    for (const std::string& name : {std::string(249, 'M'), std::string(nameMax, 'M'), accented + ".oxv"}) {
        std::string seen;
        ASSERT_TRUE(WriteFileAtomically(dir.Path() + "/" + name, [&](int fd) {
            for (const std::string& n : Names(dir.Path()))
                seen = IsTemporaryFileName(n) ? n : seen;
            return WriteAll(fd, "new", 3);
        })) << name.size();
        const std::string suffix = ".~orvix-tmp-" + std::to_string(getpid()) + "-";
        const size_t kept = seen.size() - suffix.size() - 12;
        EXPECT_LE(seen.size(), nameMax);
        EXPECT_EQ(seen.substr(0, kept), name.substr(0, kept));
        EXPECT_NE(static_cast<unsigned char>(name[kept]) & 0xC0, 0x80) << "cut inside a character";
        EXPECT_EQ(seen.compare(kept, suffix.size(), suffix), 0);
        unlink((dir.Path() + "/" + name).c_str());
    }
}

} // namespace
