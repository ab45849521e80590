// The data-file reader over damaged files: the seed files of the fuzz targets (valid files
// of every version) cut short and with bytes overwritten must end in a clean failure, and
// the inputs the fuzz runs found are kept here.
#include "doc_fixture.h"

#include "document/datafile_format.h"

#include <algorithm>
#include <climits>
#include <dirent.h>

using namespace orvix;

namespace {

const std::string kSeedDir = ORVIX_TEST_SOURCE_DIR "/../fuzz/corpus/datafile";

std::vector<std::string> SeedFiles()
{
    std::vector<std::string> names;
    if (DIR* d = opendir(kSeedDir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string name = e->d_name; name.size() > 4 && name.substr(name.size() - 4) == ".oxv")
                names.push_back(name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

enum class Outcome { read, archiveError, tooNew };

Outcome Load(const std::vector<uint8_t>& bytes, bool withFormat, bool forMerge)
{
    CArchive ar(bytes);
    DataFileContents c;
    try {
        LoadDataFileContents(ar, c, withFormat, forMerge);
        return Outcome::read;
    } catch (const CArchiveException&) {
        return Outcome::archiveError;
    } catch (const DataFileTooNew&) {
        return Outcome::tooNew;
    }
}

std::vector<uint8_t> Bytes(const std::string& path)
{
    std::string s = orvix_test::ReadFile(path);
    return std::vector<uint8_t>(s.begin(), s.end());
}

} // namespace

TEST(DataFileRobustness, SeedFilesOfEveryVersionRead)
{
    std::vector<std::string> seeds = SeedFiles();
    ASSERT_EQ(seeds.size(), 13u) << kSeedDir;
    for (const auto& name : seeds) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> bytes = Bytes(kSeedDir + "/" + name);
        Outcome expected = name == "v8-too-new.oxv" ? Outcome::tooNew : Outcome::read;
        EXPECT_EQ(Load(bytes, true, false), expected);
        EXPECT_EQ(Load(bytes, false, false), expected);
        EXPECT_EQ(Load(bytes, true, true), expected);
    }
    // The hand-written version-3 seed: key codes a byte each, no calibration cross terms.
    CArchive ar(Bytes(kSeedDir + "/v3.oxv"));
    DataFileContents c;
    LoadDataFileContents(ar, c, true, false);
    ASSERT_EQ(c.trials.size(), 3u); // the null fourth object is skipped
    EXPECT_EQ(c.trials[0]->keyCodes, std::vector<uint16_t>{32});
    EXPECT_EQ(c.trials[0]->startTime, 0u);
    EXPECT_EQ(c.reserved[4], std::vector<uint32_t>{0xDEADBEEF});
    EXPECT_EQ(c.plot.xTitle, "Orientation");
    EXPECT_EQ(ar.Remaining(), 0u);
}

// Every prefix of a valid file is a truncated file: with the format fields it must fail as
// an archive error (a shorter read, without the format fields or merging, may succeed).
TEST(DataFileRobustness, EveryTruncationFailsCleanly)
{
    for (const auto& name : SeedFiles()) {
        if (name == "v8-too-new.oxv")
            continue;
        SCOPED_TRACE(name);
        std::vector<uint8_t> full = Bytes(kSeedDir + "/" + name);
        for (size_t n = 0; n < full.size(); ++n) {
            std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(n));
            ASSERT_EQ(Load(cut, true, false), Outcome::archiveError) << "cut at " << n;
            Outcome plain = Load(cut, false, false), merged = Load(cut, false, true);
            ASSERT_NE(plain, Outcome::tooNew);
            ASSERT_NE(merged, Outcome::tooNew);
        }
    }
}

// Each byte of each seed overwritten with values that count, tag and length fields treat
// specially: whatever the reader makes of it, it ends in a result or a clean error (any
// other exception fails the test; the sanitizer builds catch bad memory use and leaks).
TEST(DataFileRobustness, OverwrittenBytesFailCleanly)
{
    for (const auto& name : SeedFiles()) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> full = Bytes(kSeedDir + "/" + name);
        for (size_t i = 0; i < full.size(); ++i) {
            for (uint8_t v : {0x00, 0x7F, 0x80, 0xFE, 0xFF}) {
                std::vector<uint8_t> bytes = full;
                bytes[i] = v;
                Load(bytes, true, false);
                Load(bytes, false, false);
                Load(bytes, true, true);
            }
        }
    }
}

// Found with the document's fuzz target: a merged trial whose command index lay outside
// its file's commands was moved by the commands already open, which overflowed for an
// index near INT_MAX and, for -1, pointed the trial at the previous file's last command.
TEST_F(DocTest, MergedTrialOutsideItsCommandsStaysOutside)
{
    std::vector<uint8_t> bytes = Bytes(kSeedDir + "/v7.oxv");
    // The command index of the three trials: after the tag, class name, version, file
    // word, length and the four calibration words.
    std::vector<size_t> at;
    const std::string name = "CTrial";
    for (size_t i = 0; i + name.size() <= bytes.size(); ++i)
        if (std::equal(name.begin(), name.end(), bytes.begin() + static_cast<long>(i)))
            at.push_back(i + name.size() + 2 + 2 + 4 + 16);
    ASSERT_EQ(at.size(), 1u);
    auto setIndex = [&](size_t pos, int32_t v) {
        for (int k = 0; k < 4; ++k)
            bytes[pos + static_cast<size_t>(k)] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * k));
    };
    setIndex(at[0], INT_MAX);
    // The later trials carry the class tag 0x80nn instead of the class name: find them by
    // their version word, file word and length (2000 ms) after the first.
    const std::vector<uint8_t> head = {0x06, 0x00, 0x00, 0x00, 0xD0, 0x07, 0x00, 0x00};
    std::vector<size_t> later;
    for (size_t i = at[0]; i + head.size() <= bytes.size(); ++i)
        if (std::equal(head.begin(), head.end(), bytes.begin() + static_cast<long>(i)))
            later.push_back(i + 2 + 2 + 4 + 16);
    ASSERT_EQ(later.size(), 2u);
    setIndex(later[0], -1);
    setIndex(later[1], 2); // the file's own third command
    std::string path = dir + "/merged.oxv";
    orvix_test::WriteFile(path, std::string(bytes.begin(), bytes.end()));

    COrvixDoc doc;
    doc.commandLines = {"OR 45, SF 1", "OR 135, SF 1"};
    doc.ParseCommandFile(kNoAngleOffset);
    doc.OnFileMergingMode();
    ASSERT_TRUE(doc.OnOpenDocument(path)) << (ui.messages.empty() ? "" : ui.messages.back().text);
    ASSERT_EQ(doc.GetCommandCount(), 5);
    ASSERT_EQ(doc.GetTrialCount(), 3);
    EXPECT_EQ(doc.GetTrial(0)->commandIndex, -1);
    EXPECT_EQ(doc.GetTrial(1)->commandIndex, -1);
    EXPECT_EQ(doc.GetTrial(2)->commandIndex, 4);
    EXPECT_EQ(doc.trialTable.GetRowCount(), 3);
}
