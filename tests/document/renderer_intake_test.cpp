// The document's renderer intake (graph-parameter definitions) and the manual stimulus
// control, against a loopback peer in place of the renderer.
#include <utility>

#include "tests/io/io_fixture.h"

using namespace orvix;
using namespace std::string_literals;

namespace {

// A definition packet as a renderer sends it: a type (any; 6 here), the length, two bytes not
// examined, the text to the payload's end. "A 1" gives 06 05 00 00 41 20 31.
std::string Def(const std::string& text)
{
    return "\x06"s + static_cast<char>(text.size() + 2) + "\x00\x00"s + text;
}

std::string Header(int count) { return std::string("\x01\x01", 2) + static_cast<char>(count); }

} // namespace

class IntakeTest : public IoTest {
protected:
    void PeerSend(const std::string& bytes) const
    {
        ASSERT_EQ(send(peer, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    void AddGraph(const char* name, CParam value)
    {
        value.GetName() = name;
        doc->Table(KIND_GRAPH).Add(new CParam(value));
    }
};

TEST_F(IntakeTest, DefinitionBlockReplacesTheGraphTable)
{
    OpenWithPeer();
    AddGraph("OLD", CParam(nullptr, 1));
    experiment.runner.SetRunFlag(-1);
    PeerSend(Header(5) + Def("POSH 1.5|deg") + Def("LABEL") + Def("posh  2") + Def(". 0") + Def(". 1"));
    EXPECT_TRUE(doc->OnRendererReceive());
    EXPECT_EQ(experiment.runner.GetRunFlag(), 1);
    ASSERT_EQ(doc->GetGraphParamCount(), 5);
    EXPECT_EQ(doc->GetGraphParam(0).GetName(), "POSH");
    EXPECT_EQ(doc->GetGraphParam(0).GetText(), "1.5");
    EXPECT_EQ(doc->GetGraphParam(0).GetType(), PARAM_TEXT);
    // A definition without a value gets an empty one, not the previous line's.
    EXPECT_EQ(doc->GetGraphParam(1).GetName(), "LABEL");
    EXPECT_EQ(doc->GetGraphParam(1).GetText(), "");
    EXPECT_EQ(doc->GetGraphParam(2).GetText(), "2");
    EXPECT_EQ(doc->FindGraphParam("OLD"), -1);
    EXPECT_EQ(doc->FindGraphParam("posh"), 2);
    // "posh" repeats "POSH" whatever the case; "." may repeat.
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Duplicate graph parameter find!"});
}

TEST_F(IntakeTest, OtherPacketsAreIgnoredAndNothingWaitingIsFalse)
{
    OpenWithPeer();
    EXPECT_FALSE(doc->OnRendererReceive());
    PeerSend("\x07\x00"s);
    EXPECT_TRUE(doc->OnRendererReceive());
    // An empty definition header counts 0 definitions.
    AddGraph("A", CParam(nullptr, 1));
    PeerSend("\x01\x00"s);
    EXPECT_TRUE(doc->OnRendererReceive());
    EXPECT_EQ(doc->GetGraphParamCount(), 0);
    EXPECT_EQ(experiment.runner.GetRunFlag(), 1);
}

// A renderer that sends one definition every 1.8 s: the block ends by its deadline, events
// are served meanwhile (nothing there may switch the experiment or load another scene), and
// what came is kept.
TEST_F(IntakeTest, SlowRendererEndsTheBlockByItsDeadlineKeepingWhatCame)
{
    OpenWithPeer();
    CFakeClock& clock = UseFakeClock();
    experiment.runner.SetRunFlag(1);
    int pumps = 0, sent = 0;
    doc->hooks.pumpMessages = [&](int maxWaitMs) {
        if (++pumps == 1) {
            EXPECT_EQ(experiment.runner.GetRunFlag(), -1);
            doc->OnEnable();
            EXPECT_FALSE(doc->LoadScene("other.iv", false));
            EXPECT_EQ(experiment.runner.GetRunFlag(), -1);
        }
        clock.AdvanceMs(static_cast<uint32_t>(maxWaitMs));
        if (clock.TickMs() >= static_cast<uint32_t>(sent + 1) * 1800u) {
            ++sent;
            PeerSend(Def("P" + std::to_string(sent) + " " + std::to_string(sent)));
        }
        return true;
    };
    PeerSend(Header(8));
    EXPECT_TRUE(doc->OnRendererReceive());
    EXPECT_EQ(clock.TickMs(), COrvixDoc::kDefinitionBlockMs);
    EXPECT_GE(pumps, 100);
    ASSERT_EQ(doc->GetGraphParamCount(), 5);
    EXPECT_EQ(doc->GetGraphParam(4).GetName(), "P5");
    EXPECT_EQ(doc->FindGraphParam("P5"), 4);
    EXPECT_TRUE(deviceIO.IsRendererRunning());
    EXPECT_EQ(experiment.runner.GetRunFlag(), 0);
    EXPECT_TRUE(PeerRead(1, 50).empty()); // "other.iv" was not asked for
    EXPECT_EQ(Log(), (std::vector<std::string>{"Scene \"other.iv\" not loaded: the renderer is still sending the "
                                               "graph parameters of the last one.",
                                               "Graph parameter definitions incomplete: 5 of 8 received."}));

    // A request to quit ends the block at once.
    doc->hooks.pumpMessages = [](int) { return false; };
    PeerSend(Header(3) + Def("A 1"));
    EXPECT_TRUE(doc->OnRendererReceive());
    EXPECT_EQ(doc->GetGraphParamCount(), 1);
    EXPECT_EQ(clock.TickMs(), COrvixDoc::kDefinitionBlockMs);
}

// Definition blocks as renderers send them: without a NUL or with one (what follows it is not
// read), text after the '|', split at every byte, the largest block. And blocks that cannot
// end whole: the link drops in their middle, the renderer stops in the middle of a definition
// or sends bytes out of step (read as a packet whose length runs past the block's end), or a
// packet too short to be a definition. What came is kept; a block that cannot end whole closes
// the link with one line (nothing after it could be told from the rest), and the next
// connection reads its block whole.
TEST_F(IntakeTest, DefinitionBlocks)
{
    CFakeClock& clock = UseFakeClock();
    std::string trickle; // sent one byte at each turn of the event loop
    doc->hooks.pumpMessages = [&](int maxWaitMs) {
        clock.AdvanceMs(static_cast<uint32_t>(maxWaitMs));
        if (!trickle.empty()) {
            PeerSend(trickle.substr(0, 1));
            trickle.erase(0, 1);
        }
        return true;
    };
    const std::string three = Def("A 1") + Def("B 2\0zz"s) + Def("C 3.5|deg x");
    const std::vector<std::string> threeRead = {"A=1", "B=2", "C=3.5"};
    std::string largest;
    std::vector<std::string> largestRead;
    for (int i = 0; i < 255; ++i) {
        largest += Def("P" + std::to_string(i) + " " + std::to_string(i * 7));
        largestRead.push_back("P" + std::to_string(i) + "=" + std::to_string(i * 7));
    }
    const std::string outOfStep = ": the link is closed; press Enable to connect again.";
    const std::string halfPacket = "The renderer's graph parameter definitions end in the middle of a packet" + outOfStep;
    const std::string incomplete = "Graph parameter definitions incomplete: 1 of 3 received.";
    const struct {
        int count;
        std::string bytes;
        bool trickled;
        bool drop; // the renderer closes the link after them
        std::vector<std::string> read;
        std::vector<std::string> log;
    } cases[] = {
        {3, three, false, false, threeRead, {}},
        {3, three, true, false, threeRead, {}},
        {255, largest, false, false, largestRead, {}},
        {3, Def("A 1"), false, true, {"A=1"}, {"The renderer closed the link.", incomplete}},
        {3, Def("A 1") + Def("B 2").substr(0, 5), true, false, {"A=1"}, {halfPacket, incomplete}},
        {3, Def("A 1") + "garbage", false, false, {"A=1"}, {halfPacket, incomplete}},
        {3, Def("A 1") + "\x06\x01x", false, false, {"A=1"},
         {"The renderer sent a packet of type 6 with a payload of length 1, too short for a graph parameter definition"
              + outOfStep,
          incomplete}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 40));
        OpenWithPeer();
        experiment.runner.SetRunFlag(-1);
        PeerSend(Header(c.count) + (c.trickled ? "" : c.bytes));
        if (c.trickled)
            trickle = c.bytes;
        if (c.drop)
            close(std::exchange(peer, -1));
        EXPECT_TRUE(doc->OnRendererReceive());
        std::vector<std::string> read;
        for (int i = 0; i < doc->GetGraphParamCount(); ++i)
            read.push_back(doc->GetGraphParam(i).GetName() + "=" + doc->GetGraphParam(i).GetText());
        EXPECT_EQ(read, c.read);
        EXPECT_EQ(doc->FindGraphParam(c.read.back().substr(0, c.read.back().find('=')).c_str()),
                  static_cast<int>(c.read.size()) - 1);
        const bool whole = c.log.empty();
        EXPECT_EQ(deviceIO.IsRendererRunning(), whole);
        EXPECT_TRUE(whole ? deviceIO.GetCmdSocket().IsConnected()
                          : c.drop || !deviceIO.GetCmdSocket().IsConnected()); // closed out of step
        EXPECT_EQ(experiment.runner.GetRunFlag(), whole ? 1 : 0); // a lost link: idle
        EXPECT_EQ(Log(), c.log);
        EXPECT_TRUE(trickle.empty());
        deviceIO.Close();
        if (peer >= 0)
            close(std::exchange(peer, -1));
        listener.Close();
    }
    OpenWithPeer();
    PeerSend(Header(2) + Def("A 1") + Def("B 2"));
    EXPECT_TRUE(doc->OnRendererReceive());
    EXPECT_EQ(doc->GetGraphParamCount(), 2);
    EXPECT_EQ(experiment.runner.GetRunFlag(), 1);
}

// Reset parameters asked for while the block comes would set the test type up on an empty
// table: it is refused as a whole.
TEST_F(IntakeTest, ResetParametersDuringTheBlockIsRefused)
{
    SetReg("TestType", nullptr, "T | U");
    doc->ReadRegistry();
    ASSERT_TRUE(doc->SetTestType(1));
    OpenWithPeer();
    doc->hooks.pumpMessages = [&](int) {
        doc->OnResetParameters();
        PeerSend(Def("RESET 0"));
        return true;
    };
    PeerSend(Header(1));
    EXPECT_TRUE(doc->OnRendererReceive());
    EXPECT_EQ(doc->GetCurrentTestType(), 1);
    EXPECT_EQ(doc->FindGraphParam("RESET"), 0);
    EXPECT_EQ(Log(), std::vector<std::string>{"Parameters not reset: the renderer is still sending the graph "
                                              "parameters of the scene."});
}

TEST_F(IntakeTest, AnalogStepsMoveAndTurnTheStimulusAndTellTheRenderer)
{
    OpenWithPeer();
    AddGraph("OR", CParam(nullptr, 350));
    AddGraph("POSH", CParam(nullptr, "1.5"));
    AddGraph("POSV", CParam(nullptr, 4));

    doc->ApplyAnalogSteps(2, -6, 20);
    EXPECT_EQ(doc->GetGraphParam("POSH").GetText(), "3.5"); // text becomes real
    EXPECT_EQ(doc->GetGraphParam("POSV").GetText(), "-2");
    EXPECT_EQ(doc->GetGraphParam("POSV").GetType(), PARAM_INT);
    EXPECT_EQ(doc->GetGraphParam("OR").GetText(), "10");
    // Object ids are the positions: POSH 1, POSV 2, OR 0.
    EXPECT_EQ(orvix_test::ToHex(PeerRead(22)), "02 06 01 00 33 2E 35 00 02 05 02 00 2D 32 00 02 05 00 00 31 30 00");

    doc->GetGraphParam("OR") = 5;
    doc->ApplyAnalogSteps(0, 0, -10);
    EXPECT_EQ(doc->GetGraphParam("OR").GetText(), "355");
    doc->GetGraphParam("OR") = 340;
    doc->ApplyAnalogSteps(0, 0, 20);
    EXPECT_EQ(doc->GetGraphParam("OR").GetText(), "360");
    EXPECT_EQ(doc->GetGraphParam("OR").GetType(), PARAM_INT);
    // No step, nothing sent.
    PeerRead(100, 50);
    doc->ApplyAnalogSteps(0, 0, 0);
    EXPECT_TRUE(PeerRead(1, 50).empty());
}

TEST_F(IntakeTest, AnalogStepsWithoutTheParametersDoNothing)
{
    OpenWithPeer();
    doc->ApplyAnalogSteps(3, 3, 3);
    EXPECT_EQ(doc->GetGraphParamCount(), 0);
    EXPECT_TRUE(PeerRead(1, 50).empty());
}
