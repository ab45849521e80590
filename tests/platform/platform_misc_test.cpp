#include <atomic>
#include <csignal>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <iconv.h>
#include <thread>
#include <unistd.h>

#include "export/exportfile.h"
#include "platform/files/logmirror.h"
#include "platform/files/paths.h"
#include "platform/runtime/library.h"
#include "platform/text/codepage.h"
#include "platform/ui/ui.h"
#include "tests/common/test_support.h"

using namespace orvix;

namespace {
std::atomic<bool> g_iconvOpenFails{false};
}

// The C library's iconv_open as this program meets it, or as a broken installation has it.
extern "C" iconv_t iconv_open(const char* to, const char* from)
{
    if (g_iconvOpenFails) {
        errno = EINVAL;
        return reinterpret_cast<iconv_t>(-1);
    }
    static auto real = reinterpret_cast<iconv_t (*)(const char*, const char*)>(dlsym(RTLD_NEXT, "iconv_open"));
    return real(to, from);
}

TEST(Paths, DriveLettersMapUnderTheDrivesFolder)
{
    setenv("ORVIX_DRIVES", "/srv/drives", 1);
    EXPECT_EQ(MapPath("c:\\data"), "/srv/drives/c/data");
    EXPECT_EQ(MapPath("C:\\temp\\temp.csv"), "/srv/drives/c/temp/temp.csv");
    EXPECT_EQ(MapPath("d:x"), "/srv/drives/d/x");
    EXPECT_EQ(MapPath("data\\a.oxv"), "data/a.oxv");
    EXPECT_EQ(MapPath("/home/u/a.oxv"), "/home/u/a.oxv");
    // And back, for the folders the program names as its own.
    EXPECT_EQ(UnmapPath("/srv/drives/c/data"), "c:\\data");
    EXPECT_EQ(UnmapPath("/srv/drives//c/./temp/x/"), "c:\\temp\\x");
    EXPECT_EQ(UnmapPath("/srv/drives/d"), "d:");
    EXPECT_EQ(UnmapPath("/srv/drives"), "/srv/drives");
    EXPECT_EQ(UnmapPath("/srv/drives/C/data"), "/srv/drives/C/data");
    EXPECT_EQ(UnmapPath("/srv/drives/cd/data"), "/srv/drives/cd/data");
    EXPECT_EQ(UnmapPath("/srv/drives/c/a\\b"), "/srv/drives/c/a\\b");
    EXPECT_EQ(UnmapPath("/srv/drivesx/c"), "/srv/drivesx/c");
    EXPECT_EQ(UnmapPath("/home/u/data"), "/home/u/data");
    // The program's text is the code page, the file system's names UTF-8.
    EXPECT_EQ(MapPath("c:\\data\\m\xFCller 5\xB5V caf\xE9 30\xB0"), "/srv/drives/c/data/m\xC3\xBCller 5\xC2\xB5V caf\xC3\xA9 30\xC2\xB0");
    EXPECT_EQ(UnmapPath("/srv/drives/c/data/m\xC3\xBCller"), "c:\\data\\m\xFCller");
    EXPECT_EQ(UnmapPath("/home/caf\xC3\xA9"), "/home/caf\xE9");
    TextRefusal why;
    EXPECT_EQ(UnmapPath("/srv/drives/c/\xCE\xA9", &why), "");
    EXPECT_EQ(why.codePoint, 0x3A9u);
    EXPECT_EQ(UnmapPath("/home/m\xFCller", &why), ""); // not UTF-8: no text names it again
    unsetenv("ORVIX_DRIVES");
    EXPECT_EQ(MapSerialPort("COM2"), "/dev/ttyS1");
    EXPECT_EQ(MapSerialPort("com10"), "/dev/ttyS9");
    EXPECT_EQ(MapSerialPort("COM0"), "COM0");
    EXPECT_EQ(MapSerialPort("/dev/pts/3"), "/dev/pts/3");
}

// The lab's three values in both encodings, worked out from the code page's chart.
TEST(CodePage, LabLettersCrossBothWaysAndOthersAreRefusedWhereTheyStand)
{
    const std::pair<std::string, std::string> values[] = {
        {"5\xB5V", "5\xC2\xB5V"}, {"caf\xE9", "caf\xC3\xA9"}, {"30\xB0", "30\xC2\xB0"},
        {"\x80 \x9F", "\xE2\x82\xAC \xC5\xB8"}, {"\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},
    };
    for (const auto& [cp, utf8] : values) {
        std::string back;
        EXPECT_EQ(ToUtf8(cp), utf8);
        EXPECT_TRUE(FromUtf8(utf8, back));
        EXPECT_EQ(back, cp);
    }
    std::string text = "kept";
    TextRefusal why;
    EXPECT_FALSE(FromUtf8("ab\n5\xC2\xB5V \xCE\xA9", text, &why)); // "Ω"
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(why.codePoint, 0x3A9u);
    EXPECT_EQ(why.letter, "\xCE\xA9");
    EXPECT_EQ(why.line, 2u);
    EXPECT_EQ(why.column, 5u);
    EXPECT_EQ(RefusalMessage(why, "mytest.oxq"), "The letter U+03A9 at line 2, column 5 of mytest.oxq cannot be kept: "
                                                 "the program's text holds only the letters of the code page Windows-1252.");
    EXPECT_FALSE(FromUtf8("\xC2\x80", text)); // a C1 control the code page has no byte for
    // A file: UTF-8 lines read as UTF-8, others as the code page's own bytes; the mark dropped.
    EXPECT_TRUE(DecodeText("\xEF\xBB\xBFLabel 5\xC2\xB5V\nLabel caf\xE9\r\nLabel 30\xB0", text));
    EXPECT_EQ(text, "Label 5\xB5V\nLabel caf\xE9\r\nLabel 30\xB0");
    EXPECT_FALSE(DecodeText("a\nb\nc \xCE\xA9\n", text, &why));
    EXPECT_EQ(why.line, 3u);
    EXPECT_FALSE(DecodeText("caf\xE9\n\xC2\xB5\nc \xCE\xA9\n", text, &why)); // after a line of the code page
    EXPECT_EQ(why.line, 3u);
    EXPECT_EQ(why.column, 3u);
    EXPECT_FALSE(IsUtf8("\xED\xA0\x80")); // a surrogate
    EXPECT_FALSE(IsUtf8("\xC0\xAF"));      // overlong
    // Shown in a message: what the code page lacks by its code point, bytes that are not UTF-8 by value.
    EXPECT_EQ(ShownText("/d/\xCE\xA9\xFF/caf\xC3\xA9"), "/d/<U+03A9><FF>/caf\xE9");
}

// A broken installation, iconv without its converters: no text becomes empty or shortened.
// Conversions and writes refuse, saying what is missing (once on stderr), and the converter
// is opened again once it can be.
TEST(CodePage, AConverterThatCannotBeOpenedRefusesAndIsTriedAgain)
{
    const orvix_test::ScopedTempDir dir("orvix-iconv");
    const std::string csv = dir.Path() + "/out.csv", log = dir.Path() + "/log.txt";
    std::string problem;
    testing::internal::CaptureStderr();
    // A thread of its own: a thread opens its converters at its first conversion.
    std::thread([&] {
        g_iconvOpenFails = true;
        problem = TextConverterProblem();
        EXPECT_EQ(problem, "iconv cannot open its converter from Windows-1252 to UTF-8 (Invalid argument): the C "
                           "library's converter modules (gconv, CP1252) are missing or broken, so no letter beyond "
                           "ASCII is converted, and what would read or write one is refused.");
        std::string utf8 = "kept", text = "kept";
        EXPECT_FALSE(ToUtf8("Caf\xE9 M\xFCller \x80 5", utf8));
        EXPECT_EQ(utf8, "kept");
        EXPECT_EQ(ToUtf8("caf\xE9"), "caf<E9>"); // only shown: marked, not dropped
        TextRefusal why;
        EXPECT_FALSE(FromUtf8("Caf\xC3\xA9", text, &why)); // not "the letter C"
        EXPECT_EQ(text, "kept");
        EXPECT_EQ(RefusalMessage(why, "the task file").rfind("The text of the task file cannot be converted: iconv "
                                                             "cannot open its converter from UTF-8 to Windows-1252", 0),
                  0u);
        EXPECT_TRUE(ToUtf8("ASCII", utf8) && FromUtf8("ASCII", text)); // needs no converter
        // An export with such a text is not written; the log leaves the line out.
        CExportFile file;
        ASSERT_TRUE(file.Open(csv));
        file.WriteText("\"Caf\xE9\",1\r\n");
        EXPECT_FALSE(file.Commit());
        EXPECT_EQ(file.Error() + ".", problem);
        EXPECT_FALSE(std::filesystem::exists(csv));
        setenv("ORVIX_LOG", log.c_str(), 1);
        EXPECT_FALSE(MirrorLogLine("caf\xE9"));
        unsetenv("ORVIX_LOG");
        EXPECT_FALSE(std::filesystem::exists(log));

        g_iconvOpenFails = false;
        EXPECT_EQ(TextConverterProblem(), "");
        EXPECT_EQ(ToUtf8("caf\xE9"), "caf\xC3\xA9");
    }).join();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Orvix: " + problem + "\n"); // once
}

TEST(LogMirror, AppendsLinesToTheNamedFile)
{
    const orvix_test::ScopedTempDir dir("orvix-log");
    std::string path = dir.Path() + "/log.txt";
    setenv("ORVIX_LOG", path.c_str(), 1);
    MirrorLogLine("one");
    MirrorLogLine("two: 5\xB5V caf\xE9 30\xB0");
    unsetenv("ORVIX_LOG");
    MirrorLogLine("three");
    // The program's text, as the file is read with Linux tools: UTF-8.
    EXPECT_EQ(orvix_test::ReadFile(path), "one\ntwo: 5\xC2\xB5V caf\xC3\xA9 30\xC2\xB0\n");
}

TEST(ScriptedUI, RecordsMessagesAndAnswersInOrder)
{
    CScriptedUI ui;
    ui.answers = {IDNO};
    EXPECT_EQ(MessageBox("Save?", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBox("Again?", MB_YESNO), IDYES); // default button once the script is used up
    EXPECT_EQ(MessageBox("Done."), IDOK);
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{"Save?", "Again?", "Done."}));
}

TEST(Library, MissingLibraryGivesNullAndAReason)
{
    EXPECT_EQ(LoadLibrary("surely-not-here"), nullptr);
    EXPECT_FALSE(LibraryError().empty());
}

// A benchmark ended by SIGINT, SIGTERM or SIGHUP (by hand, by `timeout`, by its terminal
// closing) still removes its temporary folder, with what it holds, and ends by the signal; a
// folder of the process that forked it stays.
TEST(TempDir, RemovedWhenASignalEndsTheProcess)
{
    const orvix_test::ScopedTempDir base("orvix-tempdir");
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        EXPECT_EXIT(
            {
                orvix_test::ScopedTempDir dir("killed", base.Path().c_str());
                std::filesystem::create_directories(dir.Path() + "/a/b");
                orvix_test::WriteFile(dir.Path() + "/a/b/data", "x");
                orvix_test::WriteFile(dir.Path() + "/top", "y");
                kill(getpid(), sig);
                for (;;)
                    pause();
            },
            testing::KilledBySignal(sig), "");
        EXPECT_TRUE(std::filesystem::exists(base.Path()) && std::filesystem::is_empty(base.Path())) << sig;
    }
}
