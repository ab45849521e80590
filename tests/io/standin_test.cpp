// The stand-in renderer's own conventions: the scene description file and its answers.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include "platform/renderer/standin.h"
#include "platform/tcpsocket.h"
#include "tests/common/test_support.h"

using namespace orvix;

TEST(StandInTest, SceneDescriptionLinesAndTheBuiltInSet)
{
    const orvix_test::ScopedTempDir temp("orvix-scenes");
    const std::string& dir = temp.Path();
    orvix_test::WriteFile(dir + "/a.iv.params", "# comment\n\n  POSH\t1.5  \nLABEL\nTEXT two words|x\r\n");
    SceneParams p = LoadSceneParams("a.iv", dir);
    EXPECT_EQ(p, (SceneParams{{"POSH", "1.5"}, {"LABEL", ""}, {"TEXT", "two words|x"}}));
    // An absolute scene name is not looked for in the scene folder.
    EXPECT_EQ(LoadSceneParams(dir + "/a.iv", "/nowhere"), p);
    EXPECT_EQ(LoadSceneParams("missing.iv", dir), DefaultSceneParams());
}

TEST(StandInTest, AnswersSceneLoadsAndAcknowledgesCommands)
{
    const orvix_test::ScopedTempDir temp("orvix-scenes");
    const std::string& dir = temp.Path();
    orvix_test::WriteFile(dir + "/s.iv.params", "OR 45\n");
    CRendererStandIn renderer(0, 0, dir);
    ASSERT_EQ(renderer.Start(), 0);
    CTcpSocket client;
    ASSERT_EQ(client.Connect("127.0.0.1", renderer.CommandPort(), 1000), 0);
    renderer.RunOnce(1000); // accepts

    const char load[] = "\x05\x05s.iv";
    ASSERT_EQ(client.Send(load, 7), 7);
    renderer.RunOnce(1000);
    uint8_t buffer[64];
    long n = client.Recv(buffer, sizeof buffer, 1000);
    // Type 1 with one definition, then the definition: index 0 0, "OR 45", NUL.
    ASSERT_EQ(n, 3 + 2 + 2 + 6);
    EXPECT_EQ(orvix_test::ToHex(std::vector<uint8_t>(buffer, buffer + n)), "01 01 01 06 08 00 00 4F 52 20 34 35 00");
    EXPECT_EQ(renderer.scene, "s.iv");

    // Object 0 := "90" with the wait flag, object 0 := "91" without.
    const uint8_t commands[] = {2, 5, 0, 1, '9', '0', 0, 2, 5, 0, 0, '9', '1', 0};
    ASSERT_EQ(client.Send(commands, sizeof commands), static_cast<long>(sizeof commands));
    renderer.RunOnce(1000);
    n = client.Recv(buffer, sizeof buffer, 1000);
    EXPECT_EQ(orvix_test::ToHex(std::vector<uint8_t>(buffer, buffer + n)), "07 01 00");
    EXPECT_EQ(renderer.values[0], "91");
    EXPECT_EQ(renderer.commands, 2);
}
