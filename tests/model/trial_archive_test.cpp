// The trial record's bytes. Expected bytes are laid out by hand from the record's field
// table; older versions are built field by field here, independently of the archive.
#include <gtest/gtest.h>

#include <memory>

#include "model/trial.h"
#include "tests/common/test_support.h"

using namespace orvix;
using orvix_test::Hex;
using orvix_test::ToHex;

namespace {

std::vector<uint8_t> Store(const CTrial& t)
{
    CArchive ar;
    const_cast<CTrial&>(t).Serialize(ar);
    return ar.Buffer();
}

// Loads one record; the archive must be used up exactly.
void Load(CTrial& t, const std::vector<uint8_t>& bytes)
{
    CArchive ar(bytes);
    t.Serialize(ar);
    EXPECT_EQ(ar.Remaining(), 0u);
}

// Little-endian byte writer for hand-made records.
struct Bytes {
    std::vector<uint8_t> b;
    Bytes& B(uint8_t v) { b.push_back(v); return *this; }
    Bytes& W(uint16_t v) { return B(v & 0xFF).B(v >> 8); }
    Bytes& D(uint32_t v) { return W(v & 0xFFFF).W(v >> 16); }
    Bytes& S(const std::string& s) { B(static_cast<uint8_t>(s.size())); b.insert(b.end(), s.begin(), s.end()); return *this; }
};

const char* kEmptyTrial =
    "06 00 "                                     // version
    "00 00 "                                     // file word
    "00 00 00 00 "                               // length
    "00 00 80 3F "                               // DtoAH 1.0
    "00 F6 FF FF "                               // H0 -2560
    "00 00 80 3F "                               // DtoAV 1.0
    "00 FB FF FF "                               // V0 -1280
    "FF FF FF FF "                               // command index -1
    "FF FF FF FF "                               // repetition -1
    "00 00 00 00 FF FF FF FF 00 00 00 00 00 00 00 00 " // responses 0, -1, 0, 0
    "FF "                                        // active channels
    "00 "                                        // comment ""
    "00 00 00 00 "                               // response 5
    "00 00 80 3F 00 00 80 3F "                   // DtoAH2, DtoAV2
    "00 00 00 00 "                               // start time
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"; // eight empty arrays

const char* kFullTrial =
    "06 00 "
    "00 00 "
    "E8 03 00 00 "                               // length 1000
    "00 00 00 3F "                               // DtoAH 0.5
    "00 F6 FF FF "
    "00 00 80 3F "
    "00 FB FF FF "
    "02 00 00 00 "                               // command index 2
    "00 00 00 00 "                               // repetition 0
    "05 00 00 00 FF FF FF FF 00 00 00 00 00 00 00 00 "
    "0F "                                        // channels 0-3
    "02 61 62 "                                  // comment "ab"
    "02 00 00 00 "                               // response 5 = 2
    "00 00 80 3E 00 00 00 C0 "                   // DtoAH2 0.25, DtoAV2 -2.0
    "78 56 34 12 "                               // start time
    "02 00 01 00 03 00 "                         // spike masks 1, 3
    "02 00 1C 0C 00 00 70 11 01 00 "             // spike times 3100, 70000
    "02 00 64 00 FB FF "                         // H 100, -5
    "02 00 38 FF 07 00 "                         // V -200, 7
    "01 00 32 00 00 00 "                         // key time 50
    "01 00 42 00 "                               // key code 'B'
    "02 00 00 00 00 00 2C 01 00 00 "             // event times 0, 300
    "02 00 01 06";                               // event codes 1, 6

CTrial FullTrial()
{
    CTrial t;
    t.SetLength(1000);
    t.DtoAH = 0.5f;
    t.commandIndex = 2;
    t.repetition = 0;
    t.SetResponse(5, -1, 0, 0, 2);
    t.activeChannels = 0x0F;
    t.comment = "ab";
    t.DtoAH2 = 0.25f;
    t.DtoAV2 = -2.0f;
    t.SetStartTime(0x12345678);
    t.AddSpike(1, 3100);
    t.AddSpike(3, 70000);
    t.hSamples = {100, -5};
    t.vSamples = {-200, 7};
    t.keyTimes = {50};
    t.keyCodes = {'B'};
    t.eventTimes = {0, 300};
    t.eventCodes = {1, EVENT_FIG_ON};
    return t;
}

} // namespace

TEST(CTrialArchive, NewTrialBytes)
{
    EXPECT_EQ(ToHex(Store(CTrial())), ToHex(Hex(kEmptyTrial)));
}

TEST(CTrialArchive, FilledTrialBytesAndReadBack)
{
    ASSERT_EQ(ToHex(Store(FullTrial())), ToHex(Hex(kFullTrial)));
    CTrial t;
    Load(t, Hex(kFullTrial));
    EXPECT_EQ(Store(t), Hex(kFullTrial));
    EXPECT_EQ(t.comment, "ab");
    EXPECT_EQ(t.spikeTimes, (std::vector<uint32_t>{3100, 70000}));
    EXPECT_EQ(t.hSamples, (std::vector<int16_t>{100, -5}));
    EXPECT_EQ(t.DtoAV2, -2.0f);
}

TEST(CTrialArchive, ObjectRecordCarriesClassAndSchema)
{
    std::unique_ptr<CTrial> trial(new CTrial);
    CArchive out;
    out.WriteObject(trial.get());
    std::vector<uint8_t> expected = Hex("FF FF 01 00 06 00 43 54 72 69 61 6C");
    std::vector<uint8_t> record = Hex(kEmptyTrial);
    expected.insert(expected.end(), record.begin(), record.end());
    EXPECT_EQ(ToHex(out.Buffer()), ToHex(expected));

    CArchive in(out.Buffer());
    std::unique_ptr<CTrial> back(ReadObjectAs<CTrial>(in));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->H0, -2560);
    EXPECT_EQ(in.Remaining(), 0u);
}

TEST(CTrialArchive, EveryVersionReadsWithItsFields)
{
    for (int version : {0, 1, 2, 3, 4, 5, 6, 7, 0xFFFF}) {
        SCOPED_TRACE(version);
        Bytes r;
        r.W(static_cast<uint16_t>(version)).W(0x1234).D(1000);
        r.D(0x3F000000).D(static_cast<uint32_t>(-100)).D(0x40000000).D(static_cast<uint32_t>(-50)); // 0.5, 2.0
        r.D(3).D(4).D(1).D(2).D(3).D(4);
        if (version >= 1)
            r.B(0x0F).S("hi");
        if (version >= 3)
            r.D(9);
        if (version >= 5)
            r.D(0x3E800000).D(0xBF800000); // 0.25, -1.0
        if (version >= 6)
            r.D(777);
        r.W(1).W(3);                // spike masks
        r.W(1).D(5000);             // spike times
        r.W(1).W(10);               // H
        r.W(1).W(0xFFEC);           // V -20
        r.W(1).D(60);               // key times
        if (version < 4)
            r.W(1).B(0xC2);         // key codes as bytes
        else
            r.W(1).W(0x1C2);
        r.W(2).D(0).D(300);         // event times
        r.W(2).B(1).B(6);           // event codes

        CTrial t;
        Load(t, r.b);
        EXPECT_EQ(t.fileWord, 0x1234u);
        EXPECT_EQ(t.GetLength(), 1000u);
        EXPECT_EQ(t.DtoAH, 0.5f);
        EXPECT_EQ(t.H0, -100);
        EXPECT_EQ(t.DtoAV, 2.0f);
        EXPECT_EQ(t.V0, -50);
        EXPECT_EQ(t.commandIndex, 3);
        EXPECT_EQ(t.repetition, 4);
        EXPECT_EQ(t.responses, (std::array<int32_t, 4>{1, 2, 3, 4}));
        EXPECT_EQ(t.activeChannels, version >= 1 ? 0x0F : 0xFF);
        EXPECT_EQ(t.comment, version >= 1 ? "hi" : "");
        EXPECT_EQ(t.response5, version >= 3 ? 9 : 0);
        EXPECT_EQ(t.DtoAH2, version >= 5 ? 0.25f : 1.0f);
        EXPECT_EQ(t.DtoAV2, version >= 5 ? -1.0f : 1.0f);
        EXPECT_EQ(t.GetStartTime(), version >= 6 ? 777u : 0u);
        EXPECT_EQ(t.spikeMasks, std::vector<uint16_t>{3});
        EXPECT_EQ(t.spikeTimes, std::vector<uint32_t>{5000});
        EXPECT_EQ(t.hSamples, std::vector<int16_t>{10});
        EXPECT_EQ(t.vSamples, std::vector<int16_t>{-20});
        EXPECT_EQ(t.keyTimes, std::vector<uint32_t>{60});
        // A byte code widens without sign.
        EXPECT_EQ(t.keyCodes, std::vector<uint16_t>{static_cast<uint16_t>(version < 4 ? 0xC2 : 0x1C2)});
        EXPECT_EQ(t.eventTimes, (std::vector<uint32_t>{0, 300}));
        EXPECT_EQ(t.eventCodes, (std::vector<uint8_t>{1, 6}));
        // Whatever was read, the trial is written back as the current version.
        EXPECT_EQ(Store(t)[0], 6);
    }
}

TEST(CTrialArchive, LargeCountsUseTheEscape)
{
    CTrial t;
    for (uint32_t i = 0; i < 70000; ++i)
        t.AddSpike(1, i);
    std::vector<uint8_t> bytes = Store(t);
    // The arrays start after 66 bytes of fixed fields and an empty comment.
    const size_t masks = 66;
    const size_t times = masks + 6 + 2 * 70000;
    EXPECT_EQ(ToHex({bytes.begin() + masks, bytes.begin() + masks + 6}), "FF FF 70 11 01 00");
    EXPECT_EQ(ToHex({bytes.begin() + times, bytes.begin() + times + 6}), "FF FF 70 11 01 00");
    EXPECT_EQ(bytes.size(), times + 6 + 4 * 70000 + 6 * 2);
    CTrial back;
    Load(back, bytes);
    EXPECT_EQ(back.spikeTimes, t.spikeTimes);
}

TEST(CTrialArchive, TruncatedRecordsFailCleanly)
{
    std::vector<uint8_t> full = Hex(kFullTrial);
    for (size_t n = 0; n < full.size(); ++n) {
        CArchive ar(std::vector<uint8_t>(full.begin(), full.begin() + static_cast<long>(n)));
        CTrial t;
        EXPECT_THROW(t.Serialize(ar), CArchiveException) << "cut at " << n;
    }
}

TEST(CTrialArchive, CountsBeyondTheRemainingBytesAreRefusedBeforeAllocating)
{
    std::vector<uint8_t> head = Hex(kEmptyTrial);
    head.resize(66); // the fixed fields, up to the first array
    // Masks: 0x7FFFFFFF entries claimed, a few bytes present.
    for (const char* count : {"FF FF FF FF FF 7F", "FF FF FF FF FF FF", "FE FF"}) {
        SCOPED_TRACE(count);
        std::vector<uint8_t> bytes = head;
        for (uint8_t b : Hex(count))
            bytes.push_back(b);
        bytes.insert(bytes.end(), 64, 0);
        CArchive ar(bytes);
        CTrial t;
        try {
            t.Serialize(ar);
            FAIL() << "a count larger than the record was accepted";
        } catch (const CArchiveException& e) {
            EXPECT_EQ(e.cause, CArchiveException::endOfFile);
        }
        EXPECT_LT(t.spikeMasks.capacity(), 1000u);
    }

    // An event-code count one larger than the bytes left: refused, not read past the end.
    std::vector<uint8_t> full = Hex(kFullTrial);
    full[full.size() - 4] = 3;
    CArchive ar(full);
    CTrial t;
    EXPECT_THROW(t.Serialize(ar), CArchiveException);

    // A comment whose length runs past the end.
    std::vector<uint8_t> text = Hex(kEmptyTrial);
    text[49] = 0xFF;
    text.insert(text.begin() + 50, {0x00, 0x10});
    CArchive ar2(text);
    EXPECT_THROW(t.Serialize(ar2), CArchiveException);
}
