#include "platform/atomic_file.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/file.h>
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

// A save writes "<target>.tmp-<its pid>-XXXXXX", locked while it writes, and first removes
// the temporaries that killed writers left in its folder, whatever their target, and only
// those: not one whose writer still runs, nor one that is locked (a writer elsewhere), nor
// one of the older form without a pid, which may be a file of the user's.
TEST(AtomicFile, ASaveRemovesTheTemporariesOfWritersThatAreGone)
{
    const orvix_test::ScopedTempDir dir("orvix-atomic");
    const std::string gone = std::to_string(orvix_test::EndedProcessId());
    const std::string running = std::to_string(getpid());
    struct {
        std::string name;
        bool locked, stays;
    } cases[] = {
        {"M1small.oxv.tmp-" + gone + "-Ab12Cd", false, false},
        {"M1small.oxv.tmp-" + gone + "-zz0099", false, false},
        {"M1small.oxv.tmp-" + running + "-Ab12Cd", false, true},
        {"M1small.oxv.tmp-" + gone + "-Lk12Cd", true, true},
        {"M1other.oxv.tmp-" + gone + "-Ab12Cd", false, false},
        {"M1other.oxv.tmp-" + running + "-Ab12Cd", false, true},
        {"M1small.oxv.tmp-Ab12Cd", false, true},
        {"notes.tmp-run001", false, true},
    };
    std::set<std::string> expected = {"M1small.oxv"};
    std::vector<int> locks;
    for (const auto& c : cases) {
        orvix_test::WriteFile(dir.Path() + "/" + c.name, "partial");
        if (c.locked) {
            locks.push_back(open((dir.Path() + "/" + c.name).c_str(), O_RDONLY));
            flock(locks.back(), LOCK_EX);
        }
        if (c.stays)
            expected.insert(c.name);
    }
    const std::string ours = "M1small.oxv.tmp-" + running + "-";
    ASSERT_TRUE(WriteFileAtomically(dir.Path() + "/M1small.oxv", [&](int fd) {
        std::set<std::string> now = Names(dir.Path());
        auto it = std::find_if(now.begin(), now.end(),
                               [&](const std::string& n) { return !expected.count(n) && n.rfind(ours, 0) == 0; });
        EXPECT_TRUE(it != now.end() && it->size() == ours.size() + 6);
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
        const std::string suffix = ".tmp-" + std::to_string(getpid()) + "-";
        const size_t kept = seen.size() - suffix.size() - 6;
        EXPECT_LE(seen.size(), nameMax);
        EXPECT_EQ(seen.substr(0, kept), name.substr(0, kept));
        EXPECT_NE(static_cast<unsigned char>(name[kept]) & 0xC0, 0x80) << "cut inside a character";
        EXPECT_EQ(seen.compare(kept, suffix.size(), suffix), 0);
        unlink((dir.Path() + "/" + name).c_str());
    }
}

} // namespace
