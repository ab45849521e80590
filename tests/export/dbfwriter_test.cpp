#include "export/dbfwriter.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

#include "export/exportfile.h"
#include "platform/files/atomic_file.h"
#include "platform/files/logmirror.h"
#include "platform/ui/ui.h"
#include "tests/common/test_support.h"

using namespace orvix;
using orvix_test::Hex;
using orvix_test::ReadFile;

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

class DbfTest : public testing::Test {
protected:
    void SetUp() override
    {
        path = dir + "/t.dbf";
        ASSERT_TRUE(file.Open(path));
    }
    // Closes the table and the file and returns the file's bytes.
    std::string Finish(CDbfWriter& w)
    {
        w.Close();
        EXPECT_TRUE(file.Commit()) << file.Error();
        return ReadFile(path);
    }
    // The three fields of the worked example: CellID C 6, TrialNum N 6, FigOnTime N 9.1.
    void ThreeFields(CDbfWriter& w)
    {
        ASSERT_TRUE(w.AddField("CellID", 'C', 6, 0));
        ASSERT_TRUE(w.AddField("TrialNum", 'N', 6, 0));
        ASSERT_TRUE(w.AddField("FigOnTime", 'N', 9, 1));
        w.WriteHeader();
    }

    orvix_test::ScopedTempDir temp{"orvix-dbf"};
    CScriptedUI ui;
    std::string dir = temp.Path(), path;
    CExportFile file;
};

// Worked out from the file layout by hand: 32 + 3 x 32 + 1 = 129 header bytes, records of
// 1 + 6 + 6 + 9 = 22 bytes, fields at 1, 7 and 13.
TEST_F(DbfTest, HeaderDescriptorsAndRecordsByteForByte)
{
    CDbfWriter w(&file);
    ThreeFields(w);
    w.SetField("abc");
    w.SetField(12);
    w.SetField(12);
    std::string bytes = Finish(w);
    std::vector<uint8_t> expected = Hex(
        "03 61 04 19 01 00 00 00 81 00 16 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 03 00 00"
        " 43 65 6C 6C 49 44 00 00 00 00 00 43 01 00 00 00 06 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
        " 54 72 69 61 6C 4E 75 6D 00 00 00 4E 07 00 00 00 06 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
        " 46 69 67 4F 6E 54 69 6D 65 00 00 4E 0D 00 00 00 09 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
        " 0D");
    std::string record = " abc       12     12.0";
    expected.insert(expected.end(), record.begin(), record.end());
    EXPECT_EQ(orvix_test::ToHex(Bytes(bytes)), orvix_test::ToHex(expected));
    EXPECT_EQ(bytes.size(), 129u + 22u); // and no 0x1A after the last record
}

TEST_F(DbfTest, ValuesAtTheirWidths)
{
    struct Case {
        char type;
        int length, decimals;
        int kind; // 0 int, 1 double, 2 text
        double number;
        const char* text;
        const char* expected;
    } cases[] = {
        {'N', 9, 1, 0, 12, nullptr, "     12.0"},
        {'N', 6, 0, 0, 12, nullptr, "    12"},
        {'N', 9, 2, 1, 2.25, nullptr, "     2.25"},
        {'N', 9, 2, 1, -1.0, nullptr, "    -1.00"},
        {'N', 9, 1, 1, 734.5, nullptr, "    734.5"},
        {'N', 6, 0, 1, 2.5, nullptr, "     2"}, // printf rounds the tie to even
        {'N', 9, 2, 2, 0, "3.14159", "     3.14"},
        {'N', 6, 0, 2, 0, "abc", "     0"},
        {'C', 6, 0, 2, 0, "abc", "abc   "},
        {'C', 6, 0, 0, 42, nullptr, "    42"},
        {'C', 6, 0, 2, 0, "abcdefgh", "abcdef"},
        {'C', 3, 0, 0, 123456, nullptr, "123"},
    };
    for (const Case& c : cases) {
        std::string out = dir + "/v.dbf";
        CExportFile f;
        ASSERT_TRUE(f.Open(out));
        CDbfWriter w(&f);
        ASSERT_TRUE(w.AddField("V", c.type, static_cast<uint8_t>(c.length), static_cast<uint8_t>(c.decimals)));
        w.WriteHeader();
        if (c.kind == 0)
            w.SetField(static_cast<int>(c.number));
        else if (c.kind == 1)
            w.SetField(c.number);
        else
            w.SetField(c.text);
        w.Close();
        ASSERT_TRUE(f.Commit());
        std::string bytes = ReadFile(out);
        EXPECT_EQ(bytes.substr(65), std::string(" ") + c.expected) << c.expected;
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(DbfTest, TooLongNumberAsksAndOkKeepsTheRightmostCharacters)
{
    CDbfWriter w(&file);
    ASSERT_TRUE(w.AddField("N", 'N', 2, 0));
    w.WriteHeader();
    ui.answers = {IDOK};
    w.SetField(999);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Value too long! \"999\" will be truncated to \"99\".");
    EXPECT_EQ(ui.messages[0].style & 0xF, static_cast<unsigned>(MB_OKCANCEL));
    std::string bytes = Finish(w);
    EXPECT_EQ(bytes.substr(65), " 99");
}

// Cancel takes the whole record back: later records stay in place and the count matches.
TEST_F(DbfTest, CancelTakesTheRecordBackAndCloseDropsAHalfSetOne)
{
    CDbfWriter w(&file);
    ThreeFields(w);
    w.SetField("r0");
    w.SetField(0);
    w.SetField(1.5);
    w.SetField("r1");
    ui.answers = {IDCANCEL};
    try {
        w.SetField(1234567);
        FAIL() << "no Cancelled";
    } catch (const CDbfWriter::Cancelled& c) {
        EXPECT_EQ(c.field, 1);
    }
    w.SetField("r2");
    w.SetField(2);
    w.SetField(2.5);
    w.SetField("half"); // never completed
    std::string bytes = Finish(w);
    ASSERT_EQ(bytes.size(), 129u + 2 * 22u);
    EXPECT_EQ(bytes.substr(129), " r0         0      1.5 r2         2      2.5");
    EXPECT_EQ(Hex("02 00 00 00"), Bytes(bytes.substr(4, 4)));
}

TEST_F(DbfTest, NoFieldsAndLongNames)
{
    {
        CDbfWriter w(&file);
        w.WriteHeader();
        w.SetField(5);
        std::string bytes = Finish(w);
        EXPECT_EQ(orvix_test::ToHex(Bytes(bytes)),
                  "03 61 04 19 00 00 00 00 21 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 03 00 00 0D");
    }
    CExportFile f;
    ASSERT_TRUE(f.Open(dir + "/n.dbf"));
    CDbfWriter w(&f);
    ASSERT_TRUE(w.AddField("TwelveChars!", 'N', 4, 0));
    w.WriteHeader();
    w.Close();
    ASSERT_TRUE(f.Commit());
    EXPECT_EQ(ReadFile(dir + "/n.dbf").substr(32, 12), std::string("TwelveChar\0N", 12));
    // The 16-bit header length holds at most 2046 fields.
    CDbfWriter many(nullptr);
    int added = 0;
    while (added < 3000 && many.AddField("F", 'N', 1, 0))
        ++added;
    EXPECT_EQ(added, 2046);
    EXPECT_EQ(many.HeaderLength(), 32 + 32 * 2046 + 1);
}

// Blocks of about a megabyte, written between records: the file is the same as one written
// in one go.
TEST_F(DbfTest, LargeTablesAreWrittenInWholeRecords)
{
    CDbfWriter w(&file);
    ThreeFields(w);
    const int n = 100000; // 2.2 MB of records
    for (int i = 0; i < n; ++i) {
        w.SetField("x");
        w.SetField(i % 1000000);
        w.SetField(i * 0.5);
    }
    std::string bytes = Finish(w);
    ASSERT_EQ(bytes.size(), 129u + 22u * n);
    EXPECT_EQ(bytes.substr(129 + 22 * 77777, 22), " x      77777  38888.5");
    EXPECT_EQ(w.RecordCount(), static_cast<uint32_t>(n));
}

// A full disk: the write fails, the previous file stays and no temporary file is left.
TEST(ExportFile, WriteErrorsKeepThePreviousFileAndAreReported)
{
    const orvix_test::ScopedTempDir temp("orvix-exportfile");
    const std::string& dir = temp.Path();
    std::string path = dir + "/out.csv";
    orvix_test::WriteFile(path, "previous");
    struct rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit small = {4096, old.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    CExportFile f;
    bool opened = f.Open(path);
    f.Write(std::string(10000, 'x'));
    bool committed = f.Commit();
    setrlimit(RLIMIT_FSIZE, &old);
    ASSERT_TRUE(opened);
    EXPECT_FALSE(committed);
    EXPECT_EQ(f.Error(), "File too large");
    EXPECT_EQ(ReadFile(path), "previous");
    EXPECT_EQ(system(("test $(ls '" + dir + "' | wc -l) -eq 1").c_str()), 0); // quoted: blanks in the temporary folder's name

    CExportFile g;
    EXPECT_FALSE(g.Open(path + "/below-a-file.csv"));
    EXPECT_EQ(g.Error(), "Not a directory");
    CExportFile h;
    ASSERT_TRUE(h.Open(dir + "/new.csv"));
    h.Write("abc");
    h.Discard();
    EXPECT_NE(access((dir + "/new.csv").c_str(), F_OK), 0);
}

// Makes the system call `call` of this process write nothing and return 0, as a faulty file
// system might; false when the system does not allow it.
bool WritesWriteNothing(long call)
{
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(call), 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO), // "error" 0: the call returns 0
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program = {sizeof code / sizeof code[0], code};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// A write that writes nothing fails as an input/output error instead of being tried again
// forever (in a child process, with a watchdog against such a loop).
TEST(ExportFile, AWriteThatWritesNothingIsAnError)
{
    pid_t probe = fork();
    if (probe == 0)
        _exit(WritesWriteNothing(SYS_pwrite64) ? 0 : 2);
    int status = 0;
    waitpid(probe, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        GTEST_SKIP() << "this system does not let a process filter its own system calls";
    const orvix_test::ScopedTempDir dir("orvix-exportfile");
    struct {
        long call;
        std::function<void(CExportFile&)> write;
    } cases[] = {
        {SYS_write, [](CExportFile& f) { f.Write("abc"); }},
        {SYS_pwrite64, [](CExportFile& f) { f.WriteAt(0, "x", 1); }},
    };
    for (const auto& c : cases) {
        EXPECT_EXIT(
            {
                CExportFile f;
                f.Open(dir.Path() + "/out.csv");
                f.Write("head");
                if (!WritesWriteNothing(c.call))
                    _exit(2);
                alarm(60);
                c.write(f);
                _exit(f.Error() == "Input/output error" ? 0 : 1);
            },
            testing::ExitedWithCode(0), "")
            << c.call;
    }
}

// An export, like a save, first removes the temporaries that killed writers left beside its
// target.
TEST(ExportFile, OpenRemovesTheTemporariesOfWritersThatAreGone)
{
    const orvix_test::ScopedTempDir dir("orvix-exportfile");
    const std::string left =
        dir.Path() + "/out.csv.~orvix-tmp-" + std::to_string(orvix_test::EndedProcessId()) + "-Ab12Cd34Ef56";
    orvix_test::WriteFile(left, "partial");
    ForgetSweptFoldersForTesting();
    CExportFile f;
    ASSERT_TRUE(f.Open(dir.Path() + "/out.csv"));
    EXPECT_NE(access(left.c_str(), F_OK), 0);
}

// The writers of files: a save and an export, each writing "new" to a path, and the log
// mirror, appending the line "new". Each runs `g_during` (when set) while its file is being
// written.
std::function<void()> g_during;
void During()
{
    if (g_during)
        g_during();
}
struct Writer {
    const char* name;
    std::function<bool(const std::string& path)> write;
    bool appends;
    std::string After(const std::string& old) const { return appends ? old + "new\n" : "new"; }
};
const Writer kWriters[] = {
    {"save",
     [](const std::string& path) {
         return WriteFileAtomically(path, [](int fd) {
             During();
             return WriteAll(fd, "new", 3);
         });
     },
     false},
    {"export",
     [](const std::string& path) {
         CExportFile f;
         f.Open(path);
         During();
         f.Write("new");
         return f.Commit();
     },
     false},
    {"log",
     [](const std::string& path) {
         setenv("ORVIX_LOG", path.c_str(), 1);
         During();
         const bool written = MirrorLogLine("new");
         unsetenv("ORVIX_LOG");
         return written;
     },
     true},
};
const Writer& kSave = kWriters[0];
const Writer& kExport = kWriters[1];

// The temporary being written in `folder`, "" when there is none.
std::string TemporaryIn(const std::string& folder)
{
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (IsTemporaryFileName(e.path().filename().string()))
            return e.path().filename().string();
    return std::string();
}

// A cleaner that cannot see the writer's process (another pid namespace, another machine on a
// shared folder) goes by the lock alone: a save's or an export's temporary stays locked until
// it has been renamed.
TEST(ExportFile, TheTemporaryStaysLockedUntilItIsRenamed)
{
    const orvix_test::ScopedTempDir dir("orvix-exportfile");
    const std::string target = dir.Path() + "/out.csv";
    for (const Writer& w : {kSave, kExport}) {
        int locked = 0;
        BeforeRenamesForTesting([&](const std::string& temp) {
            const int other = open(temp.c_str(), O_RDONLY);
            locked += other >= 0 && flock(other, LOCK_EX | LOCK_NB) != 0;
            close(other);
        });
        EXPECT_TRUE(w.write(target)) << w.name;
        BeforeRenamesForTesting(nullptr);
        EXPECT_EQ(locked, 1) << w.name << ": its temporary was not locked before the rename";
        EXPECT_EQ(ReadFile(target), "new") << w.name;
    }
}

// Through a symbolic link (a dangling one, a chain) the file that the link finally names is
// written, through a temporary beside it, and the link stays; where that file's folder does
// not exist (also for a link in the middle of the path, a save making the folders of its
// path), nothing changes and nothing is made behind the link.
TEST(ExportFile, WritesThroughSymbolicLinksKeepTheLinks)
{
    namespace fs = std::filesystem;
    const orvix_test::ScopedTempDir dir("orvix-exportfile");
    const std::string data = dir.Path() + "/data", elsewhere = dir.Path() + "/elsewhere";
    for (const Writer& w : kWriters) {
        for (const std::string& folder : {data, elsewhere})
            fs::remove_all(folder), fs::create_directories(folder);
        fs::create_symlink("../elsewhere/real.oxv", data + "/link.oxv");
        fs::create_symlink("../elsewhere/new.oxv", data + "/dangling.oxv");
        fs::create_symlink("link.oxv", data + "/chain.oxv");
        fs::create_symlink(elsewhere + "/missing/x.oxv", data + "/nofolder.oxv");
        fs::create_symlink("../elsewhere/missing", data + "/gone");
        // The link, the path written through it, and the file it names ("": none may be written).
        const std::tuple<std::string, std::string, std::string> cases[] = {
            {"link.oxv", "", elsewhere + "/real.oxv"}, {"dangling.oxv", "", elsewhere + "/new.oxv"},
            {"chain.oxv", "", elsewhere + "/real.oxv"}, {"nofolder.oxv", "", ""}, {"gone", "/sub/x.oxv", ""}};
        for (const auto& [link, below, file] : cases) {
            orvix_test::WriteFile(elsewhere + "/real.oxv", "old");
            const std::string old = file == elsewhere + "/real.oxv" ? "old" : "";
            EXPECT_EQ(w.write(data + "/" + link + below), !file.empty()) << w.name << " " << link;
            EXPECT_TRUE(fs::is_symlink(data + "/" + link)) << w.name << " " << link;
            EXPECT_TRUE(file.empty() || ReadFile(file) == w.After(old)) << w.name << " " << link;
            if (file.empty()) {
                EXPECT_EQ(WriteFailureText(), "\"" + data + "/" + link + "\" is a link to \""
                                                  + fs::read_symlink(data + "/" + link).string()
                                                  + "\", which does not exist; it is not made")
                    << w.name;
            }
            unlink((elsewhere + "/new.oxv").c_str());
        }
        EXPECT_FALSE(fs::exists(elsewhere + "/missing")) << w.name;
        for (const std::string& folder : {data, elsewhere})
            for (const auto& e : fs::directory_iterator(folder))
                EXPECT_FALSE(IsTemporaryFileName(e.path().filename().string())) << w.name << " left " << e.path();
    }
}

// A replaced file keeps its permission bits, group, access list and extended attributes; a
// new one gets what the umask leaves of 0666. Until it is whole, the new content is the
// user's alone: the temporary is 0600, and another user cannot open it.
TEST(ExportFile, ReplacedFilesKeepTheirPermissionsAndNewOnesFollowTheUmask)
{
    const orvix_test::ScopedTempDir dir("orvix-exportfile");
    chmod(dir.Path().c_str(), 0755);
    const int folder = open(dir.Path().c_str(), O_PATH | O_DIRECTORY);
    // 0640 where the group gets nothing and user 65534 may read: owner rw, that user r, owning
    // group none, mask r, others none.
    const std::vector<uint8_t> acl = Hex("02 00 00 00  01 00 06 00 FF FF FF FF  02 00 04 00 FE FF 00 00"
                                         "  04 00 00 00 FF FF FF FF  10 00 04 00 FF FF FF FF  20 00 00 00 FF FF FF FF");
    const struct {
        mode_t existing; // 0: a new file
        mode_t umask, expected;
        bool listed; // with the access list, a user attribute and another group
    } cases[] = {{0600, 022, 0600, false}, {0640, 077, 0640, false}, {0664, 002, 0664, false},
                 {0, 077, 0600, false},    {0, 022, 0644, false},    {0640, 022, 0640, true}};
    const mode_t saved = umask(022);
    for (const Writer& w : kWriters) {
        for (const auto& c : cases) {
            const std::string path = dir.Path() + "/subject.oxv";
            unlink(path.c_str());
            bool listed = false;
            if (c.existing) {
                orvix_test::WriteFile(path, "old");
                chmod(path.c_str(), c.existing);
                listed = c.listed && setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) == 0
                         && setxattr(path.c_str(), "user.orvix", "note", 4, 0) == 0
                         && (!orvix_test::CanActAsOtherUser() || chown(path.c_str(), -1, orvix_test::kOtherUser) == 0);
                if (c.listed && !listed)
                    ADD_FAILURE() << "this file system keeps no access lists or user attributes";
            }
            g_during = [&] {
                const std::string temp = TemporaryIn(dir.Path());
                if (w.appends)
                    return;
                struct stat st;
                ASSERT_EQ(fstatat(folder, temp.c_str(), &st, 0), 0) << w.name;
                EXPECT_EQ(st.st_mode & 0777, 0600u) << w.name;
                if (orvix_test::CanActAsOtherUser()) {
                    EXPECT_TRUE(orvix_test::AsOtherUser([&] { return openat(folder, temp.c_str(), O_RDONLY) < 0; }))
                        << w.name << ": another user opened the temporary";
                }
            };
            umask(c.umask);
            EXPECT_TRUE(w.write(path)) << w.name;
            umask(022);
            g_during = nullptr;
            struct stat st;
            ASSERT_EQ(stat(path.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, c.expected) << w.name << std::oct << " was " << c.existing << ", umask "
                                                      << c.umask;
            if (listed) {
                std::vector<uint8_t> now(64);
                now.resize(static_cast<size_t>(std::max<ssize_t>(
                    0, getxattr(path.c_str(), "system.posix_acl_access", now.data(), now.size()))));
                EXPECT_EQ(orvix_test::ToHex(now), orvix_test::ToHex(acl)) << w.name;
                char note[8] = {};
                EXPECT_EQ(getxattr(path.c_str(), "user.orvix", note, sizeof note), 4) << w.name;
                EXPECT_STREQ(note, "note") << w.name;
                EXPECT_TRUE(!orvix_test::CanActAsOtherUser() || st.st_gid == orvix_test::kOtherUser) << w.name;
            }
        }
    }
    umask(saved);
    close(folder);
}

// A write replaces or appends to only a regular file that the user may write, and follows a
// link only when it is the user's own or root's: a link of another user's is refused, in a
// sticky folder that everyone may write and in a group folder alike. In the sticky folder a
// file that another user made first is not written, by root neither (the kernel's
// protected-regular rule). What is refused stays as it was, with a sentence naming it; a FIFO
// never blocks the writer. Elsewhere a file of another user's keeps its owner (root), or is
// not replaced (a user who cannot give it); the log mirror appends to none.
TEST(ExportFile, WritesReplaceOnlyWhatTheUserMayReplace)
{
    namespace fs = std::filesystem;
    const orvix_test::ScopedTempDir dir("orvix-exportfile");
    const std::string shared = dir.Path() + "/shared", mine = dir.Path() + "/thesis.txt";
    const bool root = orvix_test::CanActAsOtherUser();
    const unsigned other = orvix_test::kOtherUser;
    chmod(dir.Path().c_str(), 0755);
    struct Case {
        const char* name;
        std::function<void(const std::string& path)> make;
        bool asOther; // written by the other user, in the shared folder
        const char* refusal; // part of the sentence; null: written
        bool needsRoot;
        bool others = false; // the file is not the writer's
    };
    auto plantedBy = [&](unsigned uid) {
        return [&, uid](const std::string& path) {
            fs::create_symlink(mine, path);
            ASSERT_EQ(lchown(path.c_str(), uid, uid), 0);
        };
    };
    const Case cases[] = {
        {"planted.oxv", plantedBy(other), false, "is a symbolic link of another user", true},
        {"own.oxv", [&](const std::string& p) { fs::create_symlink(mine, p); }, false, nullptr, false},
        {"fifo.oxv", [](const std::string& p) { mkfifo(p.c_str(), 0666); }, false, "is not a regular file", false},
        {"tofifo.oxv",
         [&](const std::string& p) {
             mkfifo((dir.Path() + "/fifo").c_str(), 0666);
             fs::create_symlink(dir.Path() + "/fifo", p);
         },
         false, "is not a regular file", false},
        {"folder.oxv", [](const std::string& p) { fs::create_directory(p); }, false, "is not a regular file", false},
        {"readonly.oxv",
         [](const std::string& p) {
             orvix_test::WriteFile(p, "old");
             chmod(p.c_str(), 0444);
         },
         false, "is read-only", false},
        {"member.oxv",
         [&](const std::string& p) {
             ASSERT_EQ(chown(shared.c_str(), 0, other), 0);
             chmod(shared.c_str(), 02775);
             plantedBy(other)(p);
         },
         false, "is a symbolic link of another user", true},
        {"first.csv",
         [&](const std::string& p) {
             orvix_test::WriteFile(p, "");
             chmod(p.c_str(), 0600);
             ASSERT_EQ(chown(p.c_str(), other, other), 0);
         },
         false, "belongs to another user, in a folder that everyone may write", true, true},
        {"theirs.oxv",
         [&](const std::string& p) {
             chmod(shared.c_str(), 0755);
             orvix_test::WriteFile(p, "old");
             ASSERT_EQ(chown(p.c_str(), other, other), 0);
             chmod(p.c_str(), 0666);
         },
         false, nullptr, true, true},
        {"notmine.oxv", [](const std::string& p) { orvix_test::WriteFile(p, "old"); }, true, "You may not write",
         true},
        {"groups.oxv",
         [](const std::string& p) {
             orvix_test::WriteFile(p, "old");
             chmod(p.c_str(), 0666);
         },
         true, "belongs to another user", true, true},
    };
    for (const Writer& w : kWriters) {
        for (const Case& c : cases) {
            if (c.needsRoot && !root)
                continue;
            fs::remove_all(shared);
            fs::remove(dir.Path() + "/fifo");
            fs::create_directory(shared);
            chmod(shared.c_str(), 01777);
            orvix_test::WriteFile(mine, "old");
            chmod(mine.c_str(), 0600);
            const std::string path = shared + "/" + c.name;
            c.make(path);
            struct stat before;
            lstat(fs::canonical(path).c_str(), &before);
            const std::string old = S_ISREG(before.st_mode) ? ReadFile(path) : "";
            const std::string why = std::string(w.name) + " " + c.name;
            const char* refusal = c.refusal || !(w.appends && c.others) ? c.refusal : "belongs to another user";
            const bool expected = !refusal;
            auto writes = [&](const std::string& target) {
                const bool written = w.write(target);
                EXPECT_EQ(written, expected) << why;
                if (!written && refusal) {
                    EXPECT_NE(WriteFailureText().find(refusal), std::string::npos) << why << ": " << WriteFailureText();
                }
                return written == expected;
            };
            alarm(60); // a FIFO opened for writing would block
            if (c.asOther) {
                // From within the shared folder: the other user cannot reach our private folders.
                const int at = open(shared.c_str(), O_PATH | O_DIRECTORY);
                EXPECT_TRUE(orvix_test::AsOtherUser([&] { return fchdir(at) == 0 && writes(c.name); })) << why;
                close(at);
            } else {
                writes(path);
                if (std::string(c.name) == "planted.oxv") {
                    EXPECT_EQ(WriteFailureText(), "\"" + path + "\" is a symbolic link of another user; it is not "
                                                  "followed (it points to \"" + mine + "\")")
                        << why;
                }
            }
            alarm(0);
            struct stat after;
            lstat(fs::canonical(path).c_str(), &after);
            if (!expected) {
                EXPECT_EQ(after.st_ino, before.st_ino) << why;
                EXPECT_EQ(after.st_mode, before.st_mode) << why;
                EXPECT_TRUE(!S_ISREG(after.st_mode) || ReadFile(path) == old) << why;
            } else {
                EXPECT_EQ(ReadFile(path), w.After(old)) << why;
            }
            EXPECT_EQ(after.st_uid, before.st_uid) << why;
            EXPECT_EQ(ReadFile(mine), std::string(c.name) == "own.oxv" ? w.After("old") : "old") << why;
            EXPECT_EQ(TemporaryIn(shared), "") << why;
        }
    }
}

} // namespace
