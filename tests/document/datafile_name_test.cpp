// Data-file names: the parts that make them, the next free number, the data-folder dialog.
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "doc_fixture.h"
#include "document/datapathdlg.h"
#include "platform/files/atomic_file.h"
#include "platform/files/paths.h"

using namespace orvix;
namespace fs = std::filesystem;

class DataFileTest : public DocTest {
protected:
    void SetUp() override
    {
        DocTest::SetUp();
        dataDir = dir + "/drives/c/data";
        fs::create_directories(dataDir);
    }
    // The file the data path names, in this machine's form.
    static std::string OnDisk(const COrvixDoc& doc) { return MapPath(doc.dataFilePath); }
    void Touch(const std::string& name) { orvix_test::WriteFile(dataDir + "/" + name, "x"); }
    std::string dataDir;
};

TEST_F(DataFileTest, DefaultsNameTheFirstFileOfTheTestType)
{
    COrvixDoc doc;
    doc.UpdateDataFileName(); // no test type: nothing
    EXPECT_EQ(doc.dataFilePath, "");
    ASSERT_TRUE(doc.AddTestType("Orient"));
    doc.UpdateDataFileName();
    EXPECT_EQ(doc.dataFilePath, "c:\\data\\MOaa4aOrient01.oxv");
    EXPECT_EQ(doc.GetPathName(), doc.dataFilePath);
    EXPECT_EQ(OnDisk(doc), dataDir + "/MOaa4aOrient01.oxv");
    EXPECT_EQ(ui.modalRuns, 0);
    // The defaults came into being as text parameters; the folder text is left as it was.
    EXPECT_EQ(doc.GetBehavParam("SubjectName", CParam(nullptr, "x")).GetText(), "Monkey1");
    EXPECT_EQ(doc.GetBehavParam("HoleNum", CParam(nullptr, "x")).GetText(), "a");
    EXPECT_EQ(doc.GetBehavParam("DataPath", CParam(nullptr, "x")).GetText(), "c:\\data");
}

TEST_F(DataFileTest, TheNextFreeNumberIsTaken)
{
    COrvixDoc doc;
    ASSERT_TRUE(doc.AddTestType("Orient"));
    Touch("MOaa4aOrient01.oxv");
    Touch("MOaa4aOrient02.oxv");
    Touch("MOaa4aOrient04.oxv");
    doc.UpdateDataFileName();
    EXPECT_EQ(OnDisk(doc), dataDir + "/MOaa4aOrient03.oxv");

    for (int n = 1; n <= 99; ++n)
        Touch("MOaa4aOrient" + std::string(n < 10 ? "0" : "") + std::to_string(n) + ".oxv");
    doc.UpdateDataFileName();
    EXPECT_EQ(OnDisk(doc), dataDir + "/MOaa4aOrient100.oxv");
}

// Two documents with the same settings (two instances, two rigs on one folder) name the
// same file. A save finds another recording there, keeps it, takes the next free number
// and logs it; a document saves over the file it wrote itself; a failed save keeps the
// document modified and its name.
TEST_F(DataFileTest, ASaveNeverReplacesAnotherRecordingUnderItsName)
{
    struct : IDocObserver {
        std::string lines;
        void OnLogLine(const std::string& line) override { lines += line + "\n"; }
    } log;
    COrvixDoc first, second;
    second.AddObserver(&log);
    ASSERT_TRUE(first.AddTestType("Orient"));
    ASSERT_TRUE(second.AddTestType("Orient"));
    ASSERT_EQ(second.dataFilePath, first.dataFilePath);
    first.notes = "first";
    ASSERT_TRUE(first.SaveDataFile());
    const std::string one = orvix_test::ReadFile(dataDir + "/MOaa4aOrient01.oxv");
    second.SetModifiedFlag();
    for (int again = 0; again < 2; ++again) {
        ASSERT_TRUE(second.SaveDataFile());
        EXPECT_EQ(second.dataFilePath, "c:\\data\\MOaa4aOrient02.oxv");
        EXPECT_FALSE(second.IsModified());
        ASSERT_TRUE(first.SaveDataFile());
        EXPECT_EQ(first.dataFilePath, "c:\\data\\MOaa4aOrient01.oxv");
    }
    EXPECT_EQ(orvix_test::ReadFile(dataDir + "/MOaa4aOrient01.oxv"), one);
    EXPECT_NE(log.lines.find(": \"c:\\data\\MOaa4aOrient01.oxv\" holds another recording: this one is saved as "
                             "\"c:\\data\\MOaa4aOrient02.oxv\".\n"),
              std::string::npos)
        << log.lines;
    EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), '\n'), 1);

    // Another rig's file takes the place of the first one's: File > Save looks again too.
    Touch("MOaa4aOrient01.oxv");
    first.SetModifiedFlag();
    FailAtomicWritesForTesting(true);
    EXPECT_FALSE(first.SaveDataFile());
    FailAtomicWritesForTesting(false);
    EXPECT_TRUE(first.IsModified());
    EXPECT_EQ(first.dataFilePath, "c:\\data\\MOaa4aOrient01.oxv");
    EXPECT_EQ(orvix_test::ReadFile(dataDir + "/MOaa4aOrient01.oxv"), "x");
    ASSERT_TRUE(first.DoFileSave());
    EXPECT_EQ(first.dataFilePath, "c:\\data\\MOaa4aOrient03.oxv");
    EXPECT_EQ(first.GetPathName(), dataDir + "/MOaa4aOrient03.oxv");
    EXPECT_EQ(orvix_test::ReadFile(dataDir + "/MOaa4aOrient01.oxv"), "x");
}

// A new recording takes only a name that nothing has. Whatever another user put in a shared
// data folder at the number that comes next (a link leading nowhere, a FIFO, a file), before
// the naming or between the naming and the save, keeps its name and is not written through;
// the next free number is taken.
TEST_F(DataFileTest, ANewRecordingTakesOnlyAFreeName)
{
    chmod(dataDir.c_str(), 01777);
    const int at = open(dataDir.c_str(), O_PATH | O_DIRECTORY);
    const std::string elsewhere = dir + "/elsewhere.oxv";
    const struct {
        const char* kind;
        std::function<bool(const char* name)> make;
    } cases[] = {
        {"dangling link", [&](const char* name) { return symlinkat(elsewhere.c_str(), at, name) == 0; }},
        {"FIFO", [&](const char* name) { return mkfifoat(at, name, 0666) == 0; }},
        {"file", [&](const char* name) { return close(openat(at, name, O_WRONLY | O_CREAT | O_EXCL, 0666)) == 0; }},
    };
    for (const auto& c : cases) {
        auto put = [&](const char* name) {
            return orvix_test::CanActAsOtherUser() ? orvix_test::AsOtherUser([&] { return c.make(name); }) : c.make(name);
        };
        for (const char* name : {"MOaa4aOrient01.oxv", "MOaa4aOrient02.oxv", "MOaa4aOrient03.oxv"})
            unlinkat(at, name, 0);
        ASSERT_TRUE(put("MOaa4aOrient01.oxv")) << c.kind;
        COrvixDoc doc;
        ASSERT_TRUE(doc.AddTestType("Orient"));
        EXPECT_EQ(doc.dataFilePath, "c:\\data\\MOaa4aOrient02.oxv") << c.kind;
        ASSERT_TRUE(put("MOaa4aOrient02.oxv")) << c.kind;
        doc.notes = c.kind;
        ASSERT_TRUE(doc.SaveDataFile()) << c.kind << ": " << (ui.Texts().empty() ? "" : ui.Texts().back());
        EXPECT_EQ(doc.dataFilePath, "c:\\data\\MOaa4aOrient03.oxv") << c.kind;
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dataDir + "/MOaa4aOrient03.oxv"))) << c.kind;
        EXPECT_EQ(fs::symlink_status(dataDir + "/MOaa4aOrient02.oxv").type(),
                  fs::symlink_status(dataDir + "/MOaa4aOrient01.oxv").type())
            << c.kind;
        EXPECT_FALSE(fs::exists(elsewhere)) << c.kind;
    }
    close(at);
}

TEST_F(DataFileTest, NamePartsFollowTheSettings)
{
    COrvixDoc doc;
    // Selecting the type named its data file: the name's parameters exist from then on.
    ASSERT_TRUE(doc.AddTestType("Size"));
    doc.GetBehavParam("SubjectName", CParam()) = "k";
    doc.GetBehavParam("HoleNum", CParam()) = "";
    doc.GetBehavParam("PosNum", CParam()) = "p7";
    doc.GetBehavParam("DataPath", CParam()) = "c:\\data\\\\";
    doc.mainChannel = 5;
    doc.gridChoices[5] = 0;
    doc.cellIds[5] = 2;
    doc.UpdateDataFileName();
    // One subject letter, "a" for the empty hole, grid 0 gives 1, cell 2 gives b.
    EXPECT_EQ(doc.dataFilePath, "c:\\data\\Kap71bSize01.oxv");

    doc.GetBehavParam("SubjectName", CParam()) = "";
    doc.cellIds[5] = 26;
    doc.UpdateDataFileName();
    EXPECT_EQ(doc.dataFilePath, "c:\\data\\ap71zSize01.oxv");
}

TEST_F(DataFileTest, NamesStayInsideTheDataFolder)
{
    COrvixDoc doc;
    ASSERT_TRUE(doc.AddTestType("Or/ient"));
    doc.GetBehavParam("SubjectName", CParam()) = "a/b";
    doc.GetBehavParam("HoleNum", CParam()) = "..\\..\\x";
    doc.GetBehavParam("PosNum", CParam()) = "/etc";
    doc.UpdateDataFileName();
    EXPECT_EQ(doc.dataFilePath, "c:\\data\\A_.._.._x_etc4aOr_ient01.oxv");
    EXPECT_EQ(fs::path(OnDisk(doc)).parent_path(), fs::path(dataDir));

    // Channel values a damaged file could bring: a grid choice that would make '/', a
    // cell id past 'z', a main channel past the last one.
    doc.GetBehavParam("SubjectName", CParam()) = "MO";
    doc.GetBehavParam("HoleNum", CParam()) = "a";
    doc.GetBehavParam("PosNum", CParam()) = "a";
    doc.gridChoices[3] = 254; // '1' + 254 wraps to '/'
    doc.cellIds[3] = 40;
    doc.UpdateDataFileName();
    EXPECT_EQ(doc.dataFilePath, "c:\\data\\MOaa_zOr_ient01.oxv");
    doc.cellIds[3] = 0;
    doc.mainChannel = 9;
    doc.UpdateDataFileName();
    EXPECT_EQ(doc.dataFilePath, "c:\\data\\MOaa8aOr_ient01.oxv");
}

TEST_F(DataFileTest, AMissingFolderIsAskedForUntilOneExists)
{
    COrvixDoc doc;
    ASSERT_TRUE(doc.AddTestType("Orient"));
    doc.GetBehavParam("DataPath", CParam()) = "c:\\nowhere";
    std::vector<std::string> shown;
    std::vector<std::string> answers = {"c:\\missing\\\\", "c:\\data"};
    ui.onAskDataFolder = [&](std::string& folder) {
        if (shown.size() >= answers.size())
            return false;
        shown.push_back(folder);
        folder = answers[shown.size() - 1];
        return true;
    };
    ASSERT_TRUE(doc.SetDataFileName(0));
    EXPECT_EQ(shown, (std::vector<std::string>{"c:\\nowhere\\", "c:\\missing\\"}));
    EXPECT_EQ(doc.GetBehavParam("DataPath", CParam()).GetText(), "c:\\data\\");
    EXPECT_EQ(OnDisk(doc), dataDir + "/MOaa4aOrient01.oxv");
    // Known now: no question the next time.
    doc.UpdateDataFileName();
    EXPECT_EQ(ui.modalRuns, 2);

    // A Linux path of a folder that exists is taken at once, as a drive-letter path is.
    std::string linuxFolder = dir + "/linux data";
    std::filesystem::create_directories(linuxFolder);
    doc.GetBehavParam("DataPath", CParam()) = "c:\nowhere";
    shown.clear();
    answers = {linuxFolder + "/"};
    ASSERT_TRUE(doc.SetDataFileName(0));
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_EQ(OnDisk(doc), linuxFolder + "/MOaa4aOrient01.oxv");
}

TEST_F(DataFileTest, CancelLeavesEverythingAsItWas)
{
    COrvixDoc doc;
    ASSERT_TRUE(doc.AddTestType("Orient"));
    doc.UpdateDataFileName();
    std::string before = doc.dataFilePath;
    doc.GetBehavParam("DataPath", CParam()) = "c:\\nowhere";
    ASSERT_FALSE(doc.SetDataFileName(0)); // the scripted interface cancels modal dialogs
    EXPECT_EQ(ui.modalRuns, 1);
    EXPECT_EQ(doc.dataFilePath, before);
    EXPECT_EQ(doc.GetPathName(), before);
    EXPECT_EQ(doc.GetBehavParam("DataPath", CParam()).GetText(), "c:\\nowhere");
}

namespace {

// Runs the dialog and presses one of its buttons from inside the event loop.
int RunAndPress(CDataPathDlg& dialog, QDialogButtonBox::StandardButton which)
{
    auto* box = dialog.findChild<QDialogButtonBox*>();
    if (!box || !box->button(which))
        return -2;
    QTimer::singleShot(0, box->button(which), &QPushButton::click);
    QTimer::singleShot(5000, &dialog, [&dialog] { dialog.done(-1); }); // deadline
    return dialog.exec();
}

} // namespace

TEST_F(DataFileTest, TheDialogShowsItsTextAndCanBeCancelled)
{
    CDataPathDlg dialog;
    dialog.SetDirectory("c:\\d\xE9j\xE0");
    EXPECT_EQ(dialog.Directory(), "c:\\d\xE9j\xE0"); // Latin-1 both ways
    auto* label = dialog.findChild<QLabel*>();
    ASSERT_TRUE(label);
    EXPECT_EQ(label->text().toStdString(), "Data file directory doesn't exist. Please choose another one.");
    EXPECT_EQ(RunAndPress(dialog, QDialogButtonBox::Cancel), QDialog::Rejected);
    EXPECT_EQ(RunAndPress(dialog, QDialogButtonBox::Ok), QDialog::Accepted);
}
