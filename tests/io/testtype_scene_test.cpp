// Test types with their own scenes, against the stand-in renderer: switching carries the
// renderer values over to the new scene by name, and only from the scene just left.
#include <sys/stat.h>

#include "io/sockets.h"
#include "io_fixture.h"
#include "platform/devices/serialport.h"
#include "standin_process.h"

using namespace orvix;

TEST_F(IoTest, TestTypeSwitchCarriesTheLastScenesValuesOnly)
{
    std::string scenes = dir + "/scenes";
    mkdir(scenes.c_str(), 0700);
    orvix_test::WriteFile(scenes + "/a.iv.params", "OR 0\nSIZE 1\nCOLOR red\n");
    orvix_test::WriteFile(scenes + "/b.iv.params", "OR 5\nSIZE 9\n");
    orvix_test::WriteFile(scenes + "/c.iv.params", "OR 0\nCOLOR blue\n");
    StandInProcess renderer;
    ASSERT_TRUE(renderer.Start(scenes));
    setenv("ORVIX_RENDERER_PORT", std::to_string(renderer.commandPort).c_str(), 1);
    setenv("ORVIX_CONSOLE_PORT", std::to_string(renderer.consolePort).c_str(), 1);
    doc->GetBehavParam("SGI", CParam(nullptr, "127.0.0.1"));
    doc->GetBehavParam("SerialPort", CParam(nullptr, kSimulatedSerialPort));

    // Enabling compiles the task file; without one the run stops at once.
    std::string task = dir + "/task.c";
    orvix_test::WriteFile(task, "int TaskEntry() { return TRIAL_CONTINUE; }\n");

    // Three test types, each with its own scene.
    const char* types[] = {"A", "B", "C"};
    const char* files[] = {"a.iv", "b.iv", "c.iv"};
    for (int t = 0; t < 3; ++t) {
        ASSERT_TRUE(doc->AddTestType(types[t]));
        doc->GetExpParam("IVFile", CParam(nullptr, files[t])) = files[t];
        doc->GetExpParam("TaskFile", CParam(nullptr, "")) = task.c_str();
    }
    ASSERT_TRUE(doc->SetTestType(0));
    ASSERT_EQ(doc->GetExpParam("IVFile", CParam()).GetText(), "a.iv");

    doc->OnEnable();
    ASSERT_EQ(doc->loadedScene, "a.iv");
    ASSERT_EQ(experiment.runner.GetRunFlag(), 1);
    doc->GetGraphParam("OR") = "30";
    doc->GetGraphParam("COLOR") = "green";

    ASSERT_TRUE(doc->SetTestType(1));
    EXPECT_EQ(doc->loadedScene, "b.iv");
    EXPECT_EQ(experiment.runner.GetRunFlag(), 1);
    ASSERT_EQ(doc->GetGraphParamCount(), 2);
    EXPECT_EQ(doc->GetGraphParam("OR").GetText(), "30");
    EXPECT_EQ(doc->GetGraphParam("SIZE").GetText(), "1");

    // COLOR was not in scene b: scene c keeps its own value.
    ASSERT_TRUE(doc->SetTestType(2));
    EXPECT_EQ(doc->loadedScene, "c.iv");
    ASSERT_EQ(doc->GetGraphParamCount(), 2);
    EXPECT_EQ(doc->GetGraphParam("OR").GetText(), "30");
    EXPECT_EQ(doc->GetGraphParam("COLOR").GetText(), "blue");

    // Reloading the scene loads it again even though it is the one loaded, keeping values.
    doc->GetGraphParam("OR") = "60";
    doc->ReloadScene();
    EXPECT_EQ(doc->loadedScene, "c.iv");
    EXPECT_EQ(doc->GetGraphParam("OR").GetText(), "60");
    EXPECT_TRUE(deviceIO.IsRendererRunning());
    EXPECT_EQ(experiment.runner.GetRunFlag(), 1);
}
