// The renderer command link: packet bytes, the acknowledgement wait and its limit,
// packets cut by the network, and the link's failures.
#include <QCoreApplication>
#include <thread>

#include "io_fixture.h"

using namespace orvix;
using orvix_test::ToHex;

TEST_F(IoTest, PacketsHaveTheirExactBytes)
{
    OpenWithPeer();
    EXPECT_TRUE(deviceIO.SendCommand(3, "1", false));
    EXPECT_EQ(ToHex(PeerRead(6)), "02 04 03 00 31 00");

    PeerWrite("07 00"); // the acknowledgement is already waiting
    EXPECT_TRUE(deviceIO.SendCommand(3, "1", true));
    EXPECT_EQ(ToHex(PeerRead(6)), "02 04 03 01 31 00");

    EXPECT_TRUE(deviceIO.SendText("mytest.iv"));
    EXPECT_EQ(ToHex(PeerRead(12)), "05 0A 6D 79 74 65 73 74 2E 69 76 00");

    EXPECT_TRUE(deviceIO.SendCommand(255, "", false));
    EXPECT_TRUE(deviceIO.SendLatencyMeasuring(true));
    EXPECT_TRUE(deviceIO.SendLatencyMeasuring(false));
    EXPECT_TRUE(deviceIO.SendClose());
    EXPECT_EQ(ToHex(PeerRead(11)), "02 03 FF 00 00 08 00 09 00 04 00");
}

TEST_F(IoTest, CommandTextsUpToTheLengthByteAndNoFurther)
{
    OpenWithPeer();
    std::string longest(252, 'x');
    EXPECT_TRUE(deviceIO.SendCommand(1, longest.c_str(), false));
    std::vector<uint8_t> bytes = PeerRead(257);
    ASSERT_EQ(bytes.size(), 257u);
    EXPECT_EQ(bytes[1], 0xFF);
    EXPECT_EQ(bytes[256], 0);

    // One more character would wrap the length byte: refused, nothing sent, logged.
    ClearLog();
    EXPECT_FALSE(deviceIO.SendCommand(1, std::string(253, 'x').c_str(), false));
    EXPECT_FALSE(deviceIO.SendText(std::string(255, 's').c_str()));
    EXPECT_FALSE(deviceIO.SendCommand(256, "1", false)); // the id travels in one byte too
    EXPECT_FALSE(deviceIO.SendCommand(-1, "1", false));
    EXPECT_TRUE(PeerRead(1, 50).empty());
    EXPECT_EQ(Log().size(), 3u);
    EXPECT_TRUE(deviceIO.IsRendererRunning());
}

TEST_F(IoTest, NothingIsSentWhileTheRendererIsNotRunning)
{
    OpenWithPeer();
    deviceIO.SetRendererRunning(false);
    EXPECT_FALSE(deviceIO.SendCommand(3, "1", false));
    EXPECT_FALSE(deviceIO.SendText("a.iv"));
    EXPECT_FALSE(deviceIO.SendClose());
    PeerWrite("07 00");
    EXPECT_EQ(deviceIO.ReceivePacket(), nullptr);
    EXPECT_TRUE(PeerRead(1, 50).empty());
}

TEST_F(IoTest, MissedAcknowledgementMarksTheLinkDownAndStopsTheRun)
{
    OpenWithPeer();
    experiment.runner.SetRunFlag(1);
    // A connected renderer that says nothing: the wait still ends.
    EXPECT_FALSE(deviceIO.SendCommand(3, "1", true));
    EXPECT_FALSE(deviceIO.IsRendererRunning());
    EXPECT_EQ(experiment.runner.GetRunFlag(), 0);
    EXPECT_TRUE(Log().empty()); // a missed acknowledgement is not logged
}

TEST_F(IoTest, OtherPacketsDuringTheWaitAreDropped)
{
    OpenWithPeer();
    experiment.runner.SetRunFlag(1);
    experiment.runner.SetLastLoopTime(0);
    PeerWrite("01 01 05  06 03 41 42 00  07 01 03");
    EXPECT_TRUE(deviceIO.SendCommand(3, "1", true));
    EXPECT_EQ(experiment.runner.GetRunFlag(), 1);
    EXPECT_NE(experiment.runner.GetLastLoopTime(), 0);
    // Nothing is left over.
    EXPECT_EQ(deviceIO.ReceivePacket(), nullptr);
}

TEST_F(IoTest, AcknowledgementCutByTheNetworkIsCompleted)
{
    OpenWithPeer();
    std::thread late([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        PeerWrite("07");
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        PeerWrite("01 09");
    });
    EXPECT_TRUE(deviceIO.SendCommand(3, "1", true));
    late.join();
    EXPECT_TRUE(deviceIO.IsRendererRunning());
}

TEST_F(IoTest, AcknowledgementCompletedAfterTheCommandsDeadlineIsTooLate)
{
    OpenWithPeer();
    experiment.runner.SetRunFlag(1);
    // A stray packet, then the acknowledgement in two pieces, the second past the 500 ms.
    std::thread late([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        PeerWrite("06 01 41");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        PeerWrite("07");
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        PeerWrite("01 03");
    });
    uint32_t t0 = TickMs();
    EXPECT_FALSE(deviceIO.SendCommand(3, "1", true));
    uint32_t took = TickMs() - t0;
    late.join();
    EXPECT_LT(took, 650u);
    EXPECT_FALSE(deviceIO.IsRendererRunning());
    EXPECT_EQ(experiment.runner.GetRunFlag(), 0);
}

TEST_F(IoTest, PacketsCutByTheNetworkAreKeptUntilWhole)
{
    OpenWithPeer();
    // Nothing waiting is not an error.
    EXPECT_EQ(deviceIO.ReceivePacket(), nullptr);
    EXPECT_TRUE(deviceIO.IsRendererRunning());

    PeerWrite("06 05 41");
    EXPECT_EQ(deviceIO.ReceivePacket(), nullptr); // waits a while for the rest, then keeps it
    PeerWrite("42 43 44 45  07 00");
    const uint8_t* p = deviceIO.ReceivePacket();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], 6);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p + 2)), "ABCDE");
    // An empty packet: header only, and the byte after it is a NUL, not an old payload byte.
    p = deviceIO.ReceivePacket(1000);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(ToHex(std::vector<uint8_t>(p, p + 3)), "07 00 00");
    EXPECT_TRUE(Log().empty());
}

TEST_F(IoTest, RendererClosingTheLinkClearsTheRunningFlag)
{
    OpenWithPeer();
    close(peer);
    peer = -1;
    EXPECT_EQ(deviceIO.ReceivePacket(1000), nullptr);
    EXPECT_FALSE(deviceIO.IsRendererRunning());
    EXPECT_TRUE(Log().empty() || Log().back().find("Net receive error!") == std::string::npos);
}

TEST_F(IoTest, AcknowledgementWaitEndsWhenTheRendererGoesAway)
{
    OpenWithPeer();
    experiment.runner.SetRunFlag(1);
    std::thread closer([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        shutdown(peer, SHUT_RDWR);
    });
    EXPECT_FALSE(deviceIO.SendCommand(3, "1", true));
    closer.join();
    EXPECT_FALSE(deviceIO.IsRendererRunning());
    EXPECT_EQ(experiment.runner.GetRunFlag(), 0);
}

TEST_F(IoTest, ResetConnectionIsAReceiveErrorAndClosesTheLayer)
{
    OpenWithPeer();
    experiment.runner.SetRunFlag(1);
    linger hard{1, 0};
    setsockopt(peer, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    close(peer); // sends a reset
    peer = -1;
    EXPECT_EQ(deviceIO.ReceivePacket(1000), nullptr);
    ASSERT_FALSE(Log().empty());
    EXPECT_EQ(Log().back(), "Net receive error! Connection reset by peer, size=2, received=-1");
    EXPECT_FALSE(deviceIO.IsRendererRunning());
    EXPECT_FALSE(deviceIO.GetCmdSocket().IsConnected());
    EXPECT_EQ(experiment.runner.GetRunFlag(), 0);
}

TEST_F(IoTest, FailedSendIsLoggedAndClosesTheLayer)
{
    OpenWithPeer();
    linger hard{1, 0};
    setsockopt(peer, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    close(peer);
    peer = -1;
    // Let the reset arrive.
    pollfd p{deviceIO.GetCmdSocket().Socket().Fd(), POLLIN, 0};
    poll(&p, 1, 1000);
    EXPECT_FALSE(deviceIO.SendCommand(3, "1", false));
    ASSERT_FALSE(Log().empty());
    EXPECT_EQ(Log().back().rfind("Net send error! ", 0), 0u);
    EXPECT_FALSE(deviceIO.IsRendererRunning());
    EXPECT_FALSE(deviceIO.GetCmdSocket().IsConnected());
}

TEST_F(IoTest, ResetNoticedThroughTheEventLoopClosesTheLayer)
{
    OpenWithPeer();
    linger hard{1, 0};
    setsockopt(peer, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    close(peer);
    peer = -1;
    // The notification reads, fails and closes the link from inside itself.
    uint32_t t0 = TickMs();
    while (deviceIO.GetCmdSocket().IsConnected() && TickMs() - t0 < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(deviceIO.GetCmdSocket().IsConnected());
    EXPECT_FALSE(deviceIO.IsRendererRunning());
    ASSERT_FALSE(Log().empty());
    EXPECT_EQ(Log().back().rfind("Net receive error! ", 0), 0u);
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

TEST_F(IoTest, PacketsArriveThroughTheEventLoopOneAtATime)
{
    OpenWithPeer();
    // Three definition blocks of no definitions: each is read by its own notification.
    PeerWrite("01 01 00 01 01 00 01 01 00");
    experiment.runner.SetRunFlag(0);
    uint32_t t0 = TickMs();
    while (experiment.runner.GetRunFlag() != 1 && TickMs() - t0 < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(experiment.runner.GetRunFlag(), 1);
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(deviceIO.ReceivePacket(), nullptr); // all three were taken
    EXPECT_TRUE(deviceIO.IsRendererRunning());
}
