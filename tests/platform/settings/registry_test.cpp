#include "platform/files/atomic_file.h"
#include "platform/settings/registry.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <utility>
#include <vector>

#include "tests/common/test_support.h"

using namespace orvix;

namespace {

class RegistryTest : public testing::Test {
protected:
    void SetUp() override
    {
        path = temp.Path() + "/sub/Orvix.reg";
        setenv("ORVIX_REGISTRY", path.c_str(), 1);
        SetRegistryReporter(this, [this](const std::string& line) { told.push_back(line); });
        ReloadRegistry();
        told.clear(); // what other tests left to be told
    }
    void TearDown() override
    {
        FailAtomicWritesForTesting(false);
        unsetenv("ORVIX_REGISTRY");
        ReloadRegistry();
        RemoveRegistryReporter(this);
    }
    // The file as a hand edit leaves it, read again.
    void Edit(const std::string& text)
    {
        mkdir((temp.Path() + "/sub").c_str(), 0700);
        unlink(path.c_str());
        orvix_test::WriteFile(path, text);
        ReloadRegistry();
    }
    orvix_test::ScopedTempDir temp{"orvix-reg"};
    std::string path;
    std::vector<std::string> told;
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
    EXPECT_EQ(RegSetValueEx(k, "v", "newer"), ERROR_WRITE_FAULT);
    FailAtomicWritesForTesting(false);
    EXPECT_EQ(Value(HKEY_CURRENT_USER, "K", "v"), "old");
    EXPECT_EQ(orvix_test::ReadFile(path), before);
    ASSERT_EQ(told.size(), 1u); // once for the kind
    EXPECT_EQ(told[0].rfind("Changes of the settings are not saved to \"" + path + "\": ", 0), 0u) << told[0];
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
    // An edit by rename (as sed -i saves) between the commit's last look and its rename; then
    // an editor that opened the file before a write saves it in place after it, changing,
    // deleting and adding values. A transaction works on one view, so that a key another
    // instance adds meanwhile does not stop the deletion of a tree.
    bool edited = false;
    BeforeRenamesForTesting([&](const std::string&) {
        std::string text = orvix_test::ReadFile(path);
        if (std::exchange(edited, true) || text.find("\"theirs\"=\"2\"") == std::string::npos)
            return;
        orvix_test::WriteFile(path + ".sed", text.replace(text.find("=\"2\""), 4, "=\"2b\"") + "\n[Late]\n\"hand\"=\"9\"\n");
        rename((path + ".sed").c_str(), path.c_str());
    });
    EXPECT_EQ(Set("K", "renamed", "10"), ERROR_SUCCESS);
    BeforeRenamesForTesting(nullptr);
    ASSERT_TRUE(edited);
    const int editor = open(path.c_str(), O_RDWR);
    std::string held = orvix_test::ReadFile(path);
    EXPECT_EQ(Set("K", "meanwhile", "11"), ERROR_SUCCESS);
    held.replace(held.find("\"hand\"=\"9\""), 10, "\"hand\"=\"9b\"");
    held.replace(held.find("\"renamed\"=\"10\"\n"), 15, "");
    held += "\n[Late]\n\"added\"=\"12\"\n";
    EXPECT_EQ(ftruncate(editor, 0) == 0 && pwrite(editor, held.data(), held.size(), 0) == ssize_t(held.size()), true);
    close(editor);
    ASSERT_EQ(Set("Tree\\Old", "v", "1"), ERROR_SUCCESS);
    {
        CRegistryTransaction t;
        EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "Tree\\Old"), ERROR_SUCCESS);
        InAnotherInstance([] { ReloadRegistry(), Set("Tree\\New", "v", "2"); });
        EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "Tree"), ERROR_SUCCESS);
        EXPECT_TRUE(t.Commit());
    }
    ReloadRegistry();
    for (auto [key, name, data] : {std::tuple{"K", "mine", "<no value>"}, {"K", "theirs", "2b"}, {"K", "during", "5"},
                                   {"K", "after", "7"}, {"H", "hand", "3"}, {"L", "held", "6"}, {"T\\X", "t", "<no key>"},
                                   {"K", "renamed", "<no value>"}, {"K", "meanwhile", "11"}, {"Late", "hand", "9b"},
                                   {"Late", "added", "12"}, {"Tree", "v", "<no key>"}})
        EXPECT_EQ(Value(HKEY_CURRENT_USER, key, name), data) << key << "\\" << name;
    EXPECT_EQ(told, std::vector<std::string>{}); // nothing read twice, so no value twice

    const std::string before = orvix_test::ReadFile(path), other = temp.Path() + "/other";
    orvix_test::WriteFile(other, "theirs");
    const std::pair<std::function<bool()>, std::string> notMine[] = {
        {[&] { return mkfifo(lock.c_str(), 0600) == 0; }, "is not a regular file of the user's"},
        {[&] { return symlink(other.c_str(), lock.c_str()) == 0; },
         "is a symbolic link; it is not followed (it points to \"" + other + "\")"},
        {[&] { return orvix_test::CanActAsOtherUser() && link(other.c_str(), lock.c_str()) == 0
                      && chown(other.c_str(), orvix_test::kOtherUser, orvix_test::kOtherUser) == 0; },
         "is not a regular file of the user's"},
    };
    for (const auto& [make, why] : notMine) {
        unlink(lock.c_str());
        if (!make())
            GTEST_SKIP() << "another user's file needs root";
        EXPECT_EQ(Set("K", "refused", "8"), ERROR_WRITE_FAULT);
        EXPECT_EQ(orvix_test::ReadFile(path), before);
        EXPECT_EQ(orvix_test::ReadFile(other), "theirs");
        EXPECT_EQ(Value(HKEY_CURRENT_USER, "K", "refused"), "<no value>");
        // Said once each.
        const std::string said = "not saved: the lock \"" + lock + "\" " + why + ".";
        EXPECT_TRUE(std::any_of(told.begin(), told.end(), [&](const std::string& t) { return t.find(said) != t.npos; }))
            << said;
    }
    unlink(lock.c_str());
    EXPECT_EQ(Set("K", "refused", "no more"), ERROR_SUCCESS);
}

// Every key and value name and every value comes back as it was written: in the session and
// after a new read, also names that look like the file's escapes. The forms that hand edits,
// Windows editors and the previous version of the writer left read as they were meant.
TEST_F(RegistryTest, TheFileReadsBackWhatWasWritten)
{
    const std::vector<std::string> names = {"xdeadline", "x10 narrow",  "Say \"hi\"", "50% \"grey\" box",
                                            "\"quoted\"", "two\nlines\r", "nice",      "\xE9t\xE9 [1]"};
    for (const auto& name : names)
        ASSERT_EQ(Set(("Software\\T\\" + name).c_str(), name.c_str(), name.c_str()), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(HKEY_CURRENT_USER, "RootValue", "on the root"), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(HKEY_CURRENT_USER, nullptr, "root default"), ERROR_SUCCESS);
    for (bool reread : {false, true}) {
        if (reread)
            ReloadRegistry();
        HKEY k;
        ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\T", &k), ERROR_SUCCESS);
        std::string key;
        for (uint32_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(RegEnumKey(k, i, &key), ERROR_SUCCESS);
            EXPECT_EQ(key, names[i]);
            EXPECT_EQ(Value(k, key.c_str(), key.c_str()), names[i]);
        }
        EXPECT_EQ(RegEnumKey(k, static_cast<uint32_t>(names.size()), &key), ERROR_NO_MORE_ITEMS);
        RegCloseKey(k);
        EXPECT_EQ(Value(HKEY_CURRENT_USER, "", "RootValue"), "on the root");
        EXPECT_EQ(Value(HKEY_CURRENT_USER, "", nullptr), "root default");
    }
    EXPECT_EQ(orvix_test::ReadFile(path), "ORVIX REGISTRY 1\n\n[]\n@=\"root default\"\n\"RootValue\"=\"on the root\"\n"
                                          "\n[Software\\T\\\\x78deadline]\n\"xdeadline\"=\"xdeadline\"\n"
                                          "\n[Software\\T\\\\x7810 narrow]\n\"x10 narrow\"=\"x10 narrow\"\n"
                                          "\n[Software\\T\\Say \"hi\"]\n\"Say \\\"hi\\\"\"=\"Say \\\"hi\\\"\"\n"
                                          "\n[Software\\T\\50% \"grey\" box]\n\"50% \\\"grey\\\" box\"=\"50% \\\"grey\\\" box\"\n"
                                          "\n[Software\\T\\\\x22quoted\"]\n\"\\\"quoted\\\"\"=\"\\\"quoted\\\"\"\n"
                                          "\n[Software\\T\\two\\x0Alines\\x0D]\n\"two\\x0Alines\\x0D\"=\"two\\x0Alines\\x0D\"\n"
                                          "\n[Software\\T\\nice]\n\"nice\"=\"nice\"\n"
                                          "\n[Software\\T\\\xC3\xA9t\xC3\xA9 [1\\x5D]\n\"\xC3\xA9t\xC3\xA9 [1]\"=\"\xC3\xA9t\xC3\xA9 [1]\"\n");

    const char* const header = "ORVIX REGISTRY 1\n";
    // Windows' "Unicode" files, as Notepad and regedit save them: UTF-16 with a byte-order mark.
    const auto utf16 = [](std::u16string text, bool big) {
        std::string bytes;
        for (char16_t c : u"\uFEFF" + text)
            bytes += big ? std::string{char(c >> 8), char(c & 0xFF)} : std::string{char(c & 0xFF), char(c >> 8)};
        return bytes;
    };
    const std::u16string notepad = u"ORVIX REGISTRY 1\r\n\r\n[Software\\Lab]\r\n\"Subject\"=\"M\u00FCller\"\r\n";
    const struct {
        std::string file;
        const char *key, *name, *value;
        std::string told = {}; // after the file's path
    } cases[] = {
        {"ORVIX REGISTRY 1\r\n\r\n[Software\\A]\r\n\"v\"=\"crlf\"\r\n@=\"default\"\r\n", "Software\\A", "v", "crlf"},
        {"ORVIX REGISTRY 1\r\n[Software\\A]\r\n@=\"default\"\r\n", "Software\\A", nullptr, "default"},
        {"\xEF\xBB\xBFORVIX REGISTRY 1\r\n[A]\r\n\"v\"=\"after a byte-order mark\"\r\n", "A", "v",
         "after a byte-order mark"},
        // As the previous version wrote the names above.
        {header + std::string("[T\\xdeadline]\n\"v\"=\"1\"\n"), "T\\xdeadline", "v", "1"},
        {header + std::string("[T\\Say \\\"hi\\\"]\n\"v\"=\"2\"\n"), "T\\Say \"hi\"", "v", "2"},
        {header + std::string("[T\\\\\"quoted\\\"]\n\"v\"=\"3\"\n"), "T\\\"quoted\"", "v", "3"},
        {header + std::string("[T\\\\xE9t\\xE9 [1\\x5D]\n\"v\"=\"4\"\n"), "T\\\xE9t\xE9 [1]", "v", "4"},
        {header + std::string("[T\\nice]\n\"v\"=\"5\"\n"), "T\\nice", "v", "5"},
        {header + std::string("[]\n\"v\"=\"on the root\"\n"), "", "v", "on the root"},
        {header + std::string("[K]\n\"v\"=\"cut short"), "K", "v", "cut short"},
        {header + std::string("[K]\n\"v\"=\"cut after a backslash\\\n"), "K", "v", "cut after a backslash\\"},
        {header + std::string("[K]\n@=\"cut \\\"quoted\\\"\n"), "K", nullptr, "cut \"quoted\""},
        // A path after the names it shares with the key before.
        {header + std::string("[A\\B\\C]\n[\\1\\D\\E]\n\"v\"=\"6\"\n"), "A\\D\\E", "v", "6"},
        // Trailing blanks on a key line and on the header; an escape that is not the file's own.
        {header + std::string("[A]\n\"y\"=\"1\"\n[B]\t\n\"y\"=\"2\"\n"), "B", "y", "2"},
        {"ORVIX REGISTRY 1 \t\n[K]\n\"v\"=\"7\"\n", "K", "v", "7"},
        {header + std::string("[K]\n\"DataPath\"=\"c:\\data\\rig2\"\n"), "K", "DataPath", "c:\\data\\rig2"},
        // UTF-8 typed by hand, and a line in the code page as the original system wrote it.
        {header + std::string("[K]\n\"Subject\"=\"M\xC3\xBCller \xE2\x82\xAC\"\n"), "K", "Subject", "M\xFCller \x80"},
        {header + std::string("[K]\n\"Subject\"=\"M\xFCller\"\n"), "K", "Subject", "M\xFCller"},
        {utf16(notepad, false), "Software\\Lab", "Subject", "M\xFCller", "\" is UTF-16 LE text: it is read, and the next "
                                                                         "change of the settings writes it as UTF-8."},
        {utf16(notepad, true), "Software\\Lab", "Subject", "M\xFCller", "\" is UTF-16 BE text: it is read, and the next "
                                                                        "change of the settings writes it as UTF-8."},
        // Paths typed by hand read as typed; a line break as the previous version wrote it reads as before.
        {header + std::string("[K]\n\"P\"=\"c:\\data\\new\\xfiles\\t1\"\n"), "K", "P", "c:\\data\\new\\xfiles\\t1"},
        {header + std::string("[K]\n\"P\"=\"\\\\server\\share\\nrl\"\n"), "K", "P", "\\\\server\\share\\nrl"},
        {header + std::string("[K]\n\"P\"=\"c:\\temp\\\"\n"), "K", "P", "c:\\temp\\"},
        {header + std::string("[K]\n\"P\"=\"two\\nlines \\\\ \\x41\"\n"), "K", "P", "two\nlines \\ A"},
        {header + std::string("[K]\n\"P\"=\"c:\\new\"\n"), "K", "P", "c:\new",
         "\" has values that read \"\\n\" as a line break where a path may have been typed (a path's backslashes are "
         "typed \"\\\\\" there): line 3 \"\"P\"=\"c:\\new\"\"."},
        // One name twice under a key, in one case or two, also in a section given twice: the later holds.
        {header + std::string("[K]\n\"Rate\"=\"1000\"\n\"Rate\"=\"2000\"\n"), "K", "Rate", "2000",
         "\" names a value twice under one key: the later line holds, and the next change of the settings writes it "
         "once. Passed over: line 3 \"\"Rate\"=\"1000\"\"."},
        {header + std::string("[Software\\Lab]\n\"Rate\"=\"1000\"\n\n[SOFTWARE\\LAB]\n\"rate\"=\"2000\"\n@=\"a\"\n@=\"b\"\n"),
         "Software\\Lab", "Rate", "2000",
         "\" names a value twice under one key: the later line holds, and the next change of the settings writes it "
         "once. Passed over: line 3 \"\"Rate\"=\"1000\"\", line 7 \"@=\"a\"\"."},
        // The header after a comment.
        {"; the lab's settings\nORVIX REGISTRY 1\n[K]\n\"v\"=\"1\"\n", "K", "v", "1",
         "\" has 1 lines that this program does not understand; they are kept as they are: line 1 \"; the lab's "
         "settings\"."},
    };
    for (const auto& c : cases) {
        told.clear();
        Edit(c.file);
        EXPECT_EQ(Value(HKEY_CURRENT_USER, c.key, c.name), c.value) << c.file;
        EXPECT_EQ(Set("Written", "w", "1"), ERROR_SUCCESS);
        const auto said = told;
        ReloadRegistry();
        EXPECT_EQ(Value(HKEY_CURRENT_USER, c.key, c.name), c.value) << orvix_test::ReadFile(path);
        EXPECT_EQ(Value(HKEY_CURRENT_USER, "Written", "w"), "1") << c.file;
        EXPECT_EQ(said, c.told.empty() ? std::vector<std::string>{} : std::vector{"The settings file \"" + path + c.told});
        // Written as UTF-8, each value once (the files told of hold one name of theirs).
        std::string written = orvix_test::ReadFile(path), line = "\n\"" + std::string(c.name ? c.name : "") + "\"=";
        for (std::string* t : {&written, &line})
            std::transform(t->begin(), t->end(), t->begin(), [](unsigned char b) { return char(tolower(b)); });
        EXPECT_TRUE(c.told.empty() || (written.find(line) != std::string::npos && written.find(line) == written.rfind(line)))
            << written;
    }
}

// Lines the reader does not understand stay in the file, beside the values they were
// beside, through every write, and are told once. A file of a version the reader does not
// know is read as far as it can be, never written, and told once.
TEST_F(RegistryTest, WhatTheReaderCannotReadIsKeptAndToldOnce)
{
    Edit("ORVIX REGISTRY 1\n; top\n\n[Software\\P]\n# my data folder\n\"DataPath\"=\"c:\\\\data\"\n"
         "  \"Indented\"=\"1\"\r\n\"Subject\"=\"Monkey1\" # note\n\x01\xFF\n[\\7\\Far]\n\"Where\"=\"?\"\n"
         "[Software\\P]\n\"Late\"=\"2\"\n[Broken\n\"Lost\"=\"3\"\n");
    EXPECT_EQ(Value(HKEY_CURRENT_USER, "Software\\P", "DataPath"), "c:\\data");
    EXPECT_EQ(Value(HKEY_CURRENT_USER, "Software\\P", "Late"), "2");
    EXPECT_EQ(Value(HKEY_CURRENT_USER, "Software\\P", "Lost"), "<no value>"); // not the key above's
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], "The settings file \"" + path + "\" has 9 lines that this program does not understand; they "
                       "are kept as they are: line 2 \"; top\", line 5 \"# my data folder\", line 7 \"  \"Indented\"=\"1\"\\x0D\", "
                       "line 8 \"\"Subject\"=\"Monkey1\" # note\", line 9 \"\\x01\\xFF\" and 4 more.");
    HKEY k;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\P", &k), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValue(k, "DataPath"), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueEx(k, "New", "3"), ERROR_SUCCESS);
    RegCloseKey(k);
    EXPECT_EQ(orvix_test::ReadFile(path), "ORVIX REGISTRY 1\n; top\n\n[Software\\P]\n# my data folder\n"
                                          "  \"Indented\"=\"1\"\r\n\"Subject\"=\"Monkey1\" # note\n\x01\xFF\n"
                                          "[\\7\\Far]\n\"Where\"=\"?\"\n[Software\\P]\n\"Late\"=\"2\"\n[Broken\n\"Lost\"=\"3\"\n"
                                          "[Software\\P]\n\"New\"=\"3\"\n");
    EXPECT_EQ(told.size(), 1u);

    // Also after blank lines; a transaction's commit says that it wrote nothing, and why. So
    // too for a file the program cannot read: binary, or none of its lines read.
    const std::string v2 = "is of a version this program does not know (\"ORVIX REGISTRY 2\")",
                      binary = "is not one this program can read (NUL bytes at line 4: a binary file, or text in an "
                               "encoding it does not read)";
    for (const auto& [kept, why, value] : {
             std::tuple<std::string, std::string, const char*>{"ORVIX REGISTRY 2\n[K]\n\"v\"=\"1\"\n", v2, "1"},
             {"\n \t\nORVIX REGISTRY 2\n[K]\n\"v\"=\"1\"\n", v2, "1"},
             {std::string("ORVIX REGISTRY 1\n[K]\n\"v\"=\"1\"\nPK\x03\x04\x14\0\b\0", 37), binary, "1"},
             {"\x89PNG\r\n\x1A\n\xFF\xD8 not a settings file\n", "is not one this program can read (none of its lines could be read)",
              "<no key>"}}) {
        told.clear();
        Edit(kept);
        EXPECT_EQ(Value(HKEY_CURRENT_USER, "K", "v"), value);
        EXPECT_EQ(Set("K", "w", "2"), ERROR_SUCCESS);
        CRegistryTransaction t;
        EXPECT_EQ(Set("K", "w", "3"), ERROR_SUCCESS);
        EXPECT_FALSE(t.Commit());
        EXPECT_EQ(t.Failure(), "The settings file \"" + path + "\" " + why + ": it is never written.");
        EXPECT_EQ(Value(HKEY_CURRENT_USER, "K", "w"), "3"); // for the rest of the run
        EXPECT_EQ(orvix_test::ReadFile(path), kept);
        ASSERT_EQ(told.size(), 1u) << told.back();
        EXPECT_NE(told[0].find(why.substr(0, 40)), std::string::npos) << told[0];
    }
}

// Every key line holds its whole path, so that a lost line costs only its own key's values;
// the Windows registry's limits keep the lines short. A path of any depth that a hand edit
// wrote is read and freed without recursion.
TEST_F(RegistryTest, EachKeyLineStandsOnItsOwn)
{
    std::string level = "Each", tooDeep;
    {
        CRegistryTransaction t;
        for (int i = 1; i <= 300; ++i)
            Set((level += "\\level").c_str(), "v", std::to_string(i).c_str());
        EXPECT_TRUE(t.Commit());
    }
    std::string text = orvix_test::ReadFile(path);
    std::string lost = "\n[Each";
    for (int i = 0; i < 150; ++i)
        lost += "\\level";
    lost += "]\n";
    ASSERT_NE(text.find(lost), std::string::npos);
    Edit(text.replace(text.find(lost), lost.size(), "\n"));
    level = "Each";
    for (int i = 1; i <= 300; ++i) {
        HKEY k;
        ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, (level += "\\level").c_str(), &k), ERROR_SUCCESS);
        uint32_t values = 9;
        EXPECT_EQ(RegQueryInfoKey(k, nullptr, &values), ERROR_SUCCESS);
        EXPECT_EQ(values, i == 150 ? 0u : 1u) << i;
        RegCloseKey(k);
        EXPECT_EQ(Value(HKEY_CURRENT_USER, level.c_str(), "v"), i == 150 ? "<no value>" : std::to_string(i));
    }
    for (int i = 0; i < 512; ++i)
        tooDeep += "a\\";
    HKEY k;
    EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, tooDeep.c_str(), &k), ERROR_SUCCESS);
    RegCloseKey(k);
    EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, (tooDeep + "a").c_str(), &k), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, std::string(256, 'n').c_str(), &k), ERROR_INVALID_PARAMETER);

    std::string deep = "[";
    for (int i = 0; i < 100000; ++i)
        deep += "a\\";
    Edit("ORVIX REGISTRY 1\n" + deep + "]\n\"leaf\"=\"deep\"\n");
    EXPECT_EQ(Value(HKEY_CURRENT_USER, deep.c_str() + 1, "leaf"), "deep");
    EXPECT_EQ(Set("Other", "v", "1"), ERROR_SUCCESS);
    EXPECT_LT(orvix_test::ReadFile(path).size(), deep.size() + 100);
}

// A settings file that is not the user's own is not read and never written, also when it
// becomes another's while the program runs; changes hold for the run, and it is told once.
TEST_F(RegistryTest, ASettingsFileNotTheUsersOwnIsNotUsed)
{
    if (!orvix_test::CanActAsOtherUser())
        GTEST_SKIP() << "another user's file needs root";
    Edit("ORVIX REGISTRY 1\n[K]\n\"v\"=\"1\"\n");
    ASSERT_EQ(chown(path.c_str(), orvix_test::kOtherUser, orvix_test::kOtherUser), 0);
    const std::string theirs = orvix_test::ReadFile(path);
    ReloadRegistry();
    EXPECT_EQ(Value(HKEY_CURRENT_USER, "K", "v"), "<no key>");
    EXPECT_EQ(Set("K", "w", "mine"), ERROR_SUCCESS);
    EXPECT_EQ(Value(HKEY_CURRENT_USER, "K", "w"), "mine");
    EXPECT_EQ(orvix_test::ReadFile(path), theirs);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], "The settings file \"" + path + "\" is not used: it is another user's (uid 65534). The program "
                       "uses its defaults; changes of the settings are kept only until it ends.");

    Edit("ORVIX REGISTRY 1\n[K]\n\"v\"=\"1\"\n");
    EXPECT_EQ(Set("K", "w", "2"), ERROR_SUCCESS);
    const std::string mine = orvix_test::ReadFile(path);
    ASSERT_EQ(chown(path.c_str(), orvix_test::kOtherUser, orvix_test::kOtherUser), 0); // between two changes
    EXPECT_EQ(Set("K", "w", "3"), ERROR_SUCCESS);
    EXPECT_EQ(Value(HKEY_CURRENT_USER, "K", "v"), "<no value>");
    EXPECT_EQ(orvix_test::ReadFile(path), mine);
    EXPECT_EQ(told.size(), 2u);

    unlink(path.c_str());
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    ReloadRegistry();
    EXPECT_EQ(Set("K", "w", "4"), ERROR_SUCCESS);
    ASSERT_EQ(told.size(), 3u);
    EXPECT_NE(told[2].find("is not used: it is not a regular file"), std::string::npos) << told[2];

    // A read follows a link only where a write would: not one that another user planted in its
    // name in a sticky folder, even to a settings file of the user's own.
    const std::string elsewhere = temp.Path() + "/mine.reg";
    orvix_test::WriteFile(elsewhere, "ORVIX REGISTRY 1\n[K]\n\"v\"=\"5\"\n");
    unlink(path.c_str());
    chmod((temp.Path() + "/sub").c_str(), 01777);
    ASSERT_EQ(symlink(elsewhere.c_str(), path.c_str()), 0);
    ASSERT_EQ(lchown(path.c_str(), orvix_test::kOtherUser, orvix_test::kOtherUser), 0);
    ReloadRegistry();
    EXPECT_EQ(Value(HKEY_CURRENT_USER, "K", "v"), "<no key>");
    ASSERT_EQ(told.size(), 4u);
    EXPECT_NE(told[3].find("is a symbolic link of another user"), std::string::npos) << told[3];
}
