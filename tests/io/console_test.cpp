// The renderer's console link: line splitting, breaking of long lines, the start line.
#include <QCoreApplication>

#include "io/sockets.h"
#include "io_fixture.h"

using namespace orvix;

namespace {

// A line of the given length of letters with blanks at the given positions.
std::string LineWithBlanks(size_t length, std::initializer_list<size_t> blanks)
{
    std::string s;
    for (size_t i = 0; i < length; ++i)
        s += static_cast<char>('a' + i % 26);
    for (size_t b : blanks)
        s[b] = ' ';
    return s;
}

} // namespace

class ConsoleTest : public IoTest {
protected:
    void SetUp() override
    {
        IoTest::SetUp();
        console.SetDeviceIO(&deviceIO);
    }
    void TearDown() override
    {
        console.Close();
        IoTest::TearDown();
    }
    CConsoleSocket console;
};

TEST_F(ConsoleTest, LinesAreSplitAtLineFeedsAndLongOnesBrokenAtABlankFromIndex60)
{
    std::string seventy = LineWithBlanks(70, {10, 62});
    console.ProcessText(seventy + "\n");
    ASSERT_EQ(console.lines.size(), 2u);
    EXPECT_EQ(console.lines[0], seventy.substr(0, 62));
    EXPECT_EQ(console.lines[1], seventy.substr(63));
    EXPECT_EQ(console.lines[1].size(), 7u);

    // No blank at or after index 60: kept whole.
    console.lines.clear();
    std::string whole = LineWithBlanks(70, {59});
    console.ProcessText(whole + "\n");
    EXPECT_EQ(console.lines, std::vector<std::string>{whole});

    // 140 characters, blanks at 61 and 125: "0..60" (61), then the rest of 78 characters is
    // still above 65 and is broken at its blank 63 (125 - 62): 63 and 14 characters.
    console.lines.clear();
    std::string twice = LineWithBlanks(140, {61, 125});
    console.ProcessText(twice + "\n");
    ASSERT_EQ(console.lines.size(), 3u);
    EXPECT_EQ(console.lines[0], twice.substr(0, 61));
    EXPECT_EQ(console.lines[1], twice.substr(62, 63));
    EXPECT_EQ(console.lines[2], twice.substr(126));

    // Exactly 65 characters is not broken.
    console.lines.clear();
    std::string limit = LineWithBlanks(65, {62});
    console.ProcessText(limit + "\n");
    EXPECT_EQ(console.lines, std::vector<std::string>{limit});
}

TEST_F(ConsoleTest, TextWithoutLineFeedWaitsForTheNextReceive)
{
    console.ProcessText("Scene a");
    EXPECT_TRUE(console.lines.empty());
    console.ProcessText(".iv loaded\nsecond\nthi");
    EXPECT_EQ(console.lines, (std::vector<std::string>{"Scene a.iv loaded", "second"}));
    EXPECT_EQ(console.pending, "thi");
    // Each line also goes to the log.
    EXPECT_EQ(Log(), (std::vector<std::string>{"Scene a.iv loaded", "second"}));
}

TEST_F(ConsoleTest, OnlyTheExactStartLineMarksTheRendererRunning)
{
    console.ProcessText("Inventor started!\r\n");
    EXPECT_FALSE(deviceIO.IsRendererRunning());
    console.ProcessText(" Inventor started!\n");
    EXPECT_FALSE(deviceIO.IsRendererRunning());
    console.ProcessText("Inventor sta");
    EXPECT_FALSE(deviceIO.IsRendererRunning());
    console.ProcessText("rted!\n");
    EXPECT_TRUE(deviceIO.IsRendererRunning());
}

TEST_F(ConsoleTest, ReceivesFromTheRendererThroughTheEventLoop)
{
    ASSERT_EQ(listener.Listen(0), 0);
    ASSERT_EQ(console.Connect("127.0.0.1", listener.Port(), 2000), 0);
    peer = listener.Accept(2000);
    ASSERT_GE(peer, 0);
    PeerWrite("49 6E 76 65 6E 74 6F 72 20 73 74 61 72 74 65 64 21 0A"); // "Inventor started!\n"
    uint32_t t0 = TickMs();
    while (console.lines.empty() && TickMs() - t0 < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(console.lines, std::vector<std::string>{"Inventor started!"});
    EXPECT_TRUE(deviceIO.IsRendererRunning());
    // The renderer going away does not keep the loop busy or fail.
    close(peer);
    peer = -1;
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(console.lines.size(), 1u);
}

TEST(ConsoleSocketBounds, AnEndlessLineAndALongSessionStayBounded)
{
    orvix::CConsoleSocket console;
    std::string chunk(4096, 'x'); // no blank, no line feed
    for (int i = 0; i < 20; ++i)
        console.ProcessText(chunk);
    ASSERT_EQ(console.lines.size(), 1u);
    EXPECT_EQ(console.lines[0].size(), orvix::CConsoleSocket::kMaxPendingLine + 4096);
    EXPECT_LT(console.pending.size(), orvix::CConsoleSocket::kMaxPendingLine);
    for (size_t i = 0; i < orvix::CConsoleSocket::kMaxKeptLines + 5; ++i)
        console.ProcessText("line " + std::to_string(i) + "\n");
    EXPECT_EQ(console.lines.size(), orvix::CConsoleSocket::kMaxKeptLines);
    EXPECT_EQ(console.lines.back(), "line " + std::to_string(orvix::CConsoleSocket::kMaxKeptLines + 4));
}
