#include "platform/files/archive.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

#include "model/param.h"
#include "tests/common/test_support.h"

using namespace orvix;
using orvix_test::Hex;

TEST(Archive, NumbersAreLittleEndian)
{
    CArchive out;
    out.WriteWord(0x1234);
    out.WriteDWord(0xA1B2C3D4);
    out.WriteInt(-2);
    out.WriteDouble(1.0);
    EXPECT_EQ(out.Buffer(), Hex("34 12 D4 C3 B2 A1 FE FF FF FF 00 00 00 00 00 00 F0 3F"));
    CArchive in(out.Buffer());
    EXPECT_EQ(in.ReadWord(), 0x1234);
    EXPECT_EQ(in.ReadDWord(), 0xA1B2C3D4u);
    EXPECT_EQ(in.ReadInt(), -2);
    EXPECT_EQ(in.ReadDouble(), 1.0);
}

TEST(Archive, TextLengthForms)
{
    CArchive out;
    out.WriteString("");
    out.WriteString(std::string(254, 'a'));
    out.WriteString(std::string(255, 'b'));
    out.WriteString(std::string(0xFFFE, 'c'));
    const auto& b = out.Buffer();
    EXPECT_EQ(b[0], 0x00);
    EXPECT_EQ(b[1], 254);
    size_t at = 1 + 1 + 254;
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + at, b.begin() + at + 3), Hex("FF FF 00"));
    at += 3 + 255;
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + at, b.begin() + at + 7), Hex("FF FF FF FE FF 00 00"));

    CArchive in(b);
    EXPECT_EQ(in.ReadString(), "");
    EXPECT_EQ(in.ReadString().size(), 254u);
    EXPECT_EQ(in.ReadString(), std::string(255, 'b'));
    EXPECT_EQ(in.ReadString().size(), 0xFFFEu);
    EXPECT_EQ(in.Remaining(), 0u);
}

TEST(Archive, CountForms)
{
    CArchive out;
    out.WriteCount(3);
    out.WriteCount(0xFFFF);
    EXPECT_EQ(out.Buffer(), Hex("03 00 FF FF FF FF 00 00"));
    CArchive in(out.Buffer());
    EXPECT_EQ(in.ReadCount(), 3u);
    EXPECT_EQ(in.ReadCount(), 0xFFFFu);
}

TEST(Archive, TruncatedAndCorruptInputFailsCleanly)
{
    auto expectFailure = [](const std::string& hex, auto read) {
        CArchive in(Hex(hex));
        EXPECT_THROW(read(in), CArchiveException) << hex;
    };
    expectFailure("34", [](CArchive& a) { a.ReadWord(); });
    expectFailure("05 41 42", [](CArchive& a) { a.ReadString(); });
    expectFailure("FF 00 10 41", [](CArchive& a) { a.ReadString(); });
    // A text length of four gigabytes must not allocate anything.
    expectFailure("FF FF FF FF FF FF FF", [](CArchive& a) { a.ReadString(); });
    // A count far beyond the bytes that follow.
    expectFailure("FF FF FF FF FF 7F 01 41", [](CArchive& a) { a.ReadStringList(); });
    // An unknown class name, a wrong schema, a class index never defined.
    expectFailure("FF FF 01 00 03 00 46 6F 6F", [](CArchive& a) { a.ReadObject(nullptr); });
    expectFailure("FF FF 02 00 06 00 43 50 61 72 61 6D 00 00", [](CArchive& a) { a.ReadObject(nullptr); });
    expectFailure("05 80", [](CArchive& a) { a.ReadObject(nullptr); });
    // A class name longer than what remains.
    expectFailure("FF FF 01 00 40 00 43 50", [](CArchive& a) { a.ReadObject(nullptr); });
}

TEST(Archive, BackReferencesAreRefused)
{
    // A CParam, then a reference to object index 2 (the first CParam): one object with two
    // owners would follow, so the reader refuses it.
    CArchive in(Hex("FF FF 01 00 06 00 43 50 61 72 61 6D 01 41 01 35 02 00"));
    std::unique_ptr<CObject> first(in.ReadObject(&CParam::classRecord));
    ASSERT_NE(first, nullptr);
    EXPECT_THROW(in.ReadObject(&CParam::classRecord), CArchiveException);
}

TEST(Archive, ObjectOfAnotherClassIsRefused)
{
    static const CRuntimeClass otherClass = {"CParam", 1, nullptr};
    CArchive out;
    CParam p("A", 1);
    out.WriteObject(&p);
    CArchive in(out.Buffer());
    EXPECT_THROW(in.ReadObject(&otherClass), CArchiveException);
}

TEST(Archive, RunsOfWordsAndDWords)
{
    const uint16_t words[] = {0x1234, 0xFFFE};
    const uint32_t dwords[] = {0x01020304, 0x80000000};
    CArchive out;
    out.WriteWords(words, 2);
    out.WriteDWords(dwords, 2);
    out.WriteWords(nullptr, 0);
    EXPECT_EQ(out.Buffer(), Hex("34 12 FE FF 04 03 02 01 00 00 00 80"));
    CArchive in(out.Buffer());
    uint16_t w[2];
    uint32_t d[2];
    in.ReadWords(w, 2);
    in.ReadDWords(d, 2);
    in.ReadDWords(nullptr, 0); // an empty array has no storage
    EXPECT_EQ(w[1], 0xFFFE);
    EXPECT_EQ(d[0], 0x01020304u);
    EXPECT_EQ(d[1], 0x80000000u);
    CArchive shortInput(Hex("01 02 03"));
    EXPECT_THROW(shortInput.ReadDWords(d, 1), CArchiveException);
    EXPECT_EQ(shortInput.Remaining(), 3u);
}

TEST(Archive, WholeFileIsReadExactly)
{
    const orvix_test::ScopedTempDir temp("orvix-archive");
    const std::string& dir = temp.Path();
    std::string data(70000, 'x');
    data[0] = '\0';
    data.back() = 'y';
    orvix_test::WriteFile(dir + "/f", data);
    orvix_test::WriteFile(dir + "/empty", "");
    std::vector<uint8_t> bytes{1, 2};
    ASSERT_TRUE(ReadWholeFile(dir + "/f", bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), data);
    ASSERT_TRUE(ReadWholeFile(dir + "/empty", bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(ReadWholeFile(dir + "/missing", bytes));
}

TEST(Archive, FileStreamsThroughTheWindowAsInMemory)
{
    // Items on both sides of the megabyte window's edges, a text longer than the window and
    // a run long enough to be read straight into place.
    std::vector<uint32_t> run(600000);
    for (size_t i = 0; i < run.size(); ++i)
        run[i] = static_cast<uint32_t>(i * 2654435761u);
    const std::string longText(1500000, 'q');
    auto store = [&](CArchive& ar) {
        for (int i = 0; i < 200000; ++i)
            ar.WriteWord(static_cast<uint16_t>(i));
        ar.WriteString(longText);
        CParam p("Name", 7);
        ar.WriteObject(&p);
        ar.WriteDWords(run.data(), run.size());
        for (int i = 0; i < 100000; ++i)
            ar.WriteString("t" + std::to_string(i));
    };
    CArchive memory;
    store(memory);
    const std::vector<uint8_t>& bytes = memory.Buffer();

    const orvix_test::ScopedTempDir dir("orvix-archive");
    const std::string path = dir.Path() + "/f";
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    CArchive toFile = CArchive::StoringTo(fd);
    store(toFile);
    ASSERT_TRUE(toFile.Flush());
    EXPECT_TRUE(orvix_test::ReadFile(path) == std::string(bytes.begin(), bytes.end()));

    // Read back in full, then from a file that lost its last byte after its size was taken.
    for (bool missing : {false, true}) {
        if (missing) {
            ASSERT_EQ(ftruncate(fd, static_cast<off_t>(bytes.size() - 1)), 0);
        }
        lseek(fd, 0, SEEK_SET);
        CArchive in = CArchive::LoadingFrom(fd, bytes.size());
        bool same = true;
        for (int i = 0; i < 200000; ++i)
            same = same && in.ReadWord() == static_cast<uint16_t>(i);
        same = same && in.ReadString() == longText;
        std::unique_ptr<CObject> p(in.ReadObject(&CParam::classRecord));
        same = same && p && static_cast<CParam&>(*p).GetText() == "7";
        std::vector<uint32_t> back(run.size());
        in.ReadDWords(back.data(), back.size());
        same = same && back == run;
        for (int i = 0; i < 99999; ++i)
            same = same && in.ReadString() == "t" + std::to_string(i);
        EXPECT_TRUE(same);
        if (missing) {
            EXPECT_THROW(in.ReadString(), CArchiveException);
        } else {
            EXPECT_EQ(in.ReadString(), "t99999");
            EXPECT_EQ(in.Remaining(), 0u);
            EXPECT_EQ(in.Position(), bytes.size());
        }
    }
    close(fd);
}

// A read the system refuses (here of a folder) is not a fault of the file's contents: it
// says so with the system's reason.
TEST(Archive, AFailedReadGivesTheSystemsReason)
{
    const orvix_test::ScopedTempDir dir("orvix-archive");
    int fd = open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    CArchive in = CArchive::LoadingFrom(fd, 16);
    try {
        in.ReadWord();
        ADD_FAILURE() << "the read did not fail";
    } catch (const CArchiveException& e) {
        EXPECT_EQ(e.cause, CArchiveException::readError);
        EXPECT_STREQ(e.what(), "Is a directory");
    }
    close(fd);
}
