// The experiment switch ("&Enable"): the first use connects to the renderer, opens the
// devices and loads the scene; later uses pause and resume the experiment passes. Also the
// scene load itself and the manual stimulus control from the analog inputs.
#include <QCoreApplication>
#include <cerrno>
#include <memory>

#include "document/orvixdoc.h"
#include "io/deviceio.h"
#include "io/sockets.h"
#include "model/param.h"
#include "platform/clock.h"
#include "platform/eventpump.h"
#include "platform/ui.h"
#include "runner/taskrunner.h"

namespace orvix {

namespace {
constexpr int kConsoleConnectMs = 5000;
constexpr int kPumpSliceMs = 10;

// Process-wide state of the manual stimulus control.
uint32_t g_lastAnalogChange = 0;
bool g_analogRefreshPending = false;
} // namespace

bool COrvixDoc::PumpMessages(int maxWaitMs)
{
    if (hooks.pumpMessages)
        return hooks.pumpMessages(maxWaitMs);
    if (!QCoreApplication::instance()) {
        Clock().SleepMs(static_cast<uint32_t>(maxWaitMs));
        return true;
    }
    PumpEvents(maxWaitMs);
    return true;
}

void COrvixDoc::OnEnable()
{
    if (!controlPanel_)
        CreateControlPanel();

    if (g_deviceIO.IsRendererRunning()) {
        int flag = g_taskRunner.GetRunFlag();
        if (flag == 0) {
            g_taskRunner.SetRunFlag(1);
            g_deviceIO.ResetSerial();
            g_deviceIO.SetOutputBit2(true);
            if (testRunning && hooks.setTestPriority)
                hooks.setTestPriority(true);
        } else if (flag == 1) {
            g_taskRunner.SetRunFlag(0);
            g_deviceIO.StopSerial();
            g_deviceIO.SetOutputBit2(false);
            if (testRunning && hooks.setTestPriority)
                hooks.setTestPriority(false);
        }
        return;
    }

    if (hooks.askOtherInstances && hooks.askOtherInstances()) {
        MessageBox("Only one copy of the Orvix program can access the system resources at the same time.\n"
                   "Please close other running Orvix programs first.");
        return;
    }
    std::string host = GetBehavParam("SGI", CParam("SGI", kDefaultRendererHost)).GetText();
    if (!g_consoleSocket.HasSocket())
        g_consoleSocket.Create();
    int error = g_consoleSocket.Connect(host, RendererConsolePort(), kConsoleConnectMs);
    if (error) {
        errno = error;
        MessageBox("Can't make a network connection with \"" + host + "\"\n" + GetSystemErrorText()
                   + "\nPlease check the network connection, then restart the program.");
        return;
    }
    if (!g_deviceIO.Open(this))
        return;

    uint32_t t0 = TickMs();
    while (!g_deviceIO.IsRendererRunning()) {
        if (TickMs() - t0 > kRendererStartMs)
            return;
        if (!PumpMessages(kPumpSliceMs))
            return;
    }

    if (hooks.saveTestSettings)
        hooks.saveTestSettings();
    std::string scene = GetExpParam("IVFile", CParam("IVFile", 0)).GetText();
    if (LoadScene(scene.c_str(), false)) {
        RestoreParams(KIND_GRAPH);
        LoadInitParams(KIND_GRAPH);
        ParametersChanged();
        g_deviceIO.SetOutputBit2(true);
    }
}

bool COrvixDoc::OnUpdateEnable() const
{
    return g_taskRunner.GetRunFlag() == 1 && g_deviceIO.IsRendererRunning();
}

bool COrvixDoc::LoadScene(const char* sceneFile, bool keepGraphParams)
{
    std::vector<std::unique_ptr<CParam>> old;
    if (!keepGraphParams)
        for (CParam* p : graph_.TakeAll())
            old.emplace_back(p);

    bool sent = g_deviceIO.SendText(sceneFile);
    g_taskRunner.SetRunFlag(-1);
    g_deviceIO.StopSerial();
    // A name the link refused (too long) brings no definitions: no use waiting a minute.
    if (!sent && g_deviceIO.IsRendererRunning())
        g_taskRunner.SetRunFlag(0);
    uint32_t t0 = TickMs();
    while (g_taskRunner.GetRunFlag() == -1) {
        if (!g_deviceIO.IsRendererRunning())
            break;
        if (TickMs() - t0 > kSceneTimeoutMs) {
            g_taskRunner.SetRunFlag(0);
            break;
        }
        if (!PumpMessages(kPumpSliceMs))
            return false;
    }

    if (!keepGraphParams) {
        // Values the user set survive a scene change for every name the new scene has too.
        for (auto& p : old) {
            int pos = graph_.Find(p->GetName());
            if (pos < 0)
                continue;
            CParam* now = graph_.At(pos);
            if (now->GetText() != p->GetText()) {
                *now = p->GetText().c_str();
                SendGraphParam(pos);
            }
        }
    }
    loadedScene = sceneFile ? sceneFile : "";
    g_deviceIO.ResetSerial();
    return true;
}

void COrvixDoc::ApplyAnalogInputs()
{
    int h = g_deviceIO.ReadPosStepH();
    int v = g_deviceIO.ReadPosStepV();
    int angle = g_deviceIO.ReadAngleStep();
    ApplyAnalogSteps(h, v, angle);
}

void COrvixDoc::ApplyAnalogSteps(int stepH, int stepV, int stepAngle)
{
    auto apply = [this](const char* name, int step, bool wrap) {
        int pos = FindGraphParam(name);
        if (pos < 0 || step == 0)
            return;
        CParam& p = *graph_.At(pos);
        p += step;
        if (wrap) {
            double value = p.GetDouble();
            if (value > 360.0)
                p = value - 360.0;
            else if (value < 0.0)
                p = value + 360.0;
        }
        SendGraphParam(pos);
        g_analogRefreshPending = true;
        g_lastAnalogChange = TickMs();
    };
    apply("POSH", stepH, false);
    apply("POSV", stepV, false);
    apply("OR", stepAngle, true);

    if (controlPanel_ && g_analogRefreshPending && TickMs() - g_lastAnalogChange > kPanelRefreshMs) {
        for (const char* name : {"POSH", "POSV", "OR"})
            UpdateGraphParamItem(FindGraphParam(name));
        g_analogRefreshPending = false;
    }
}

} // namespace orvix
