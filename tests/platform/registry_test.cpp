#include "platform/registry.h"
#include "platform/atomic_file.h"

#include <cstdlib>
#include <gtest/gtest.h>

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
