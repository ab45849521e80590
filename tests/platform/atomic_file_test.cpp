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
// the temporaries that killed writers left beside its target, and only those: not one whose
// writer still runs, nor one that is locked (a writer elsewhere), nor another target's, nor
// one of the older form without a pid.
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
        {"M1other.oxv.tmp-" + gone + "-Ab12Cd", false, true},
        {"M1small.oxv.tmp-Ab12Cd", false, true},
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

} // namespace
