#include "platform/registry.h"
#include "platform/atomic_file.h"

#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

#include "tests/common/test_support.h"

using namespace orvix;

namespace {

class RegistryTest : public testing::Test {
protected:
    void SetUp() override
    {
        path = temp.Path() + "/sub/Orvix.reg";
        setenv("ORVIX_REGISTRY", path.c_str(), 1);
        ReloadRegistry();
    }
    void TearDown() override
    {
        FailAtomicWritesForTesting(false);
        unsetenv("ORVIX_REGISTRY");
        ReloadRegistry();
    }
    orvix_test::ScopedTempDir temp{"orvix-reg"};
    std::string path;
};

std::string Value(HKEY root, const char* key, const char* name)
{
    HKEY k;
    if (RegOpenKeyEx(root, key, &k) != ERROR_SUCCESS)
        return "<no key>";
    std::string data;
    long rc = RegQueryValueEx(k, name, &data);
    RegCloseKey(k);
    return rc == ERROR_SUCCESS ? data : "<no value>";
}

long Set(const char* key, const char* name, const char* data)
{
    HKEY k;
    long rc = RegCreateKeyEx(HKEY_CURRENT_USER, key, &k);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetValueEx(k, name, data);
        RegCloseKey(k);
    }
    return rc;
}

// Runs `change` as another instance would: in a process of its own, which ends with it.
void InAnotherInstance(const std::function<void()>& change)
{
    pid_t child = fork();
    if (child == 0) {
        change();
        _exit(0);
    }
    waitpid(child, nullptr, 0);
}

} // namespace

TEST_F(RegistryTest, ValuesKeepCreationOrderAndSurviveAReload)
{
    HKEY k;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Morvane\\Orvix\\Parameters", &k), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueEx(k, "Zeta", "1"), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueEx(k, "Alpha", "two \"quoted\" \\ back\nline \xE9"), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueEx(k, "zeta", "3"), ERROR_SUCCESS); // same value, other case
    EXPECT_EQ(RegSetValueEx(k, nullptr, "A | B"), ERROR_SUCCESS);
    RegCloseKey(k);

    ReloadRegistry();
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "software\\morvane\\orvix\\parameters", &k), ERROR_SUCCESS);
    uint32_t subKeys = 9, values = 9;
    EXPECT_EQ(RegQueryInfoKey(k, &subKeys, &values), ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 0u);
    EXPECT_EQ(values, 2u);
    std::string name, data;
    EXPECT_EQ(RegEnumValue(k, 0, &name, &data), ERROR_SUCCESS);
    EXPECT_EQ(name, "Zeta");
    EXPECT_EQ(data, "3");
    EXPECT_EQ(RegEnumValue(k, 1, &name, &data), ERROR_SUCCESS);
    EXPECT_EQ(name, "Alpha");
    EXPECT_EQ(data, "two \"quoted\" \\ back\nline \xE9");
    EXPECT_EQ(RegEnumValue(k, 2, &name, &data), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegQueryValueEx(k, "", &data), ERROR_SUCCESS);
    EXPECT_EQ(data, "A | B");
    RegCloseKey(k);
    EXPECT_EQ(Value(HKEY_CURRENT_USER, "Software\\Nope", "x"), "<no key>");
}

TEST_F(RegistryTest, DeleteKeyRefusesKeysWithSubkeys)
{
    HKEY k;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "A\\B\\C", &k), ERROR_SUCCESS);
    RegCloseKey(k);
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "A\\B"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "A\\B\\C"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "A\\B\\C"), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "A", &k), ERROR_SUCCESS);
    std::string child;
    EXPECT_EQ(RegEnumKey(k, 0, &child), ERROR_SUCCESS);
    EXPECT_EQ(child, "B");
    EXPECT_EQ(RegEnumKey(k, 1, &child), ERROR_NO_MORE_ITEMS);
    RegCloseKey(k);
}

TEST_F(RegistryTest, FailedWriteKeepsThePreviousFile)
{
    HKEY k;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "K", &k), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(k, "v", "old"), ERROR_SUCCESS);
    std::string before = orvix_test::ReadFile(path);

    FailAtomicWritesForTesting(true);
    EXPECT_EQ(RegSetValueEx(k, "v", "new"), ERROR_WRITE_FAULT);
    FailAtomicWritesForTesting(false);
    EXPECT_EQ(Value(HKEY_CURRENT_USER, "K", "v"), "old");
    EXPECT_EQ(orvix_test::ReadFile(path), before);
    RegCloseKey(k);
}

TEST_F(RegistryTest, TransactionWritesOnceOrNotAtAll)
{
    HKEY k;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "K", &k), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(k, "v", "old"), ERROR_SUCCESS);
    RegCloseKey(k);
    {
        CRegistryTransaction t;
        ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "K", &k), ERROR_SUCCESS);
        RegSetValueEx(k, "v", "new");
        RegCloseKey(k);
        EXPECT_EQ(Value(HKEY_CURRENT_USER, "K", "v"), "new");
        // left without Commit
    }
    EXPECT_EQ(Value(HKEY_CURRENT_USER, "K", "v"), "old");
    {
        CRegistryTransaction t;
        ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "K", &k), ERROR_SUCCESS);
        RegSetValueEx(k, "v", "new");
        RegCloseKey(k);
        EXPECT_TRUE(t.Commit());
    }
    ReloadRegistry();
    EXPECT_EQ(Value(HKEY_CURRENT_USER, "K", "v"), "new");
}

// Another instance and a hand edit change the file between this instance's changes. Each
// change, also a transaction's, is made again on the file as it is then; reads see the file
// as it is; the lock beside the file orders the writes and must be the user's own file.
TEST_F(RegistryTest, OtherInstancesAndHandEditsKeepTheirChanges)
{
    ASSERT_EQ(Set("K", "mine", "1"), ERROR_SUCCESS);
    InAnotherInstance([] { Set("K", "theirs", "2"), Set("T\\X", "t", "x"); });
    EXPECT_EQ(Value(HKEY_CURRENT_USER, "K", "theirs"), "2");
    orvix_test::WriteFile(path, orvix_test::ReadFile(path) + "\n[H]\n\"hand\"=\"3\"\n");
    EXPECT_EQ(Set("K", "mine", "4"), ERROR_SUCCESS);
    {
        CRegistryTransaction t;
        HKEY k;
        ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "K", &k), ERROR_SUCCESS);
        EXPECT_EQ(RegDeleteValue(k, "mine"), ERROR_SUCCESS);
        RegCloseKey(k);
        EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "T\\X"), ERROR_SUCCESS);
        orvix_test::WriteFile(path, orvix_test::ReadFile(path) + "\n[K]\n\"during\"=\"5\"\n");
        EXPECT_TRUE(t.Commit());
    }
    const std::string lock = path + ".lock";
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t holder = fork();
    if (holder == 0) { // reads and writes under the lock, the write a little late
        int fd = open(lock.c_str(), O_RDWR);
        if (fd < 0 || flock(fd, LOCK_EX) != 0)
            _exit(1);
        std::string read = orvix_test::ReadFile(path);
        if (write(ready[1], "x", 1) != 1)
            _exit(1);
        usleep(300 * 1000);
        orvix_test::WriteFile(path, read + "\n[L]\n\"held\"=\"6\"\n");
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    EXPECT_EQ(Set("K", "after", "7"), ERROR_SUCCESS);
    waitpid(holder, nullptr, 0);
    close(ready[0]), close(ready[1]);
    ReloadRegistry();
    for (auto [key, name, data] : {std::tuple{"K", "mine", "<no value>"}, {"K", "theirs", "2"}, {"K", "during", "5"},
                                   {"K", "after", "7"}, {"H", "hand", "3"}, {"L", "held", "6"}, {"T\\X", "t", "<no key>"}})
        EXPECT_EQ(Value(HKEY_CURRENT_USER, key, name), data) << key << "\\" << name;

    const std::string before = orvix_test::ReadFile(path), other = temp.Path() + "/other";
    orvix_test::WriteFile(other, "theirs");
    const std::function<bool()> notMine[] = {
        [&] { return mkfifo(lock.c_str(), 0600) == 0; },
        [&] { return symlink(other.c_str(), lock.c_str()) == 0; },
        [&] { return orvix_test::CanActAsOtherUser() && link(other.c_str(), lock.c_str()) == 0
                   && chown(other.c_str(), orvix_test::kOtherUser, orvix_test::kOtherUser) == 0; },
    };
    for (const auto& make : notMine) {
        unlink(lock.c_str());
        if (!make())
            GTEST_SKIP() << "another user's file needs root";
        EXPECT_EQ(Set("K", "refused", "8"), ERROR_WRITE_FAULT);
        EXPECT_EQ(orvix_test::ReadFile(path), before);
        EXPECT_EQ(orvix_test::ReadFile(other), "theirs");
        EXPECT_EQ(Value(HKEY_CURRENT_USER, "K", "refused"), "<no value>");
    }
    unlink(lock.c_str());
    EXPECT_EQ(Set("K", "refused", "no more"), ERROR_SUCCESS);
}
