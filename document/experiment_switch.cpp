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
#include "platform/runtime/clock.h"
#include "platform/runtime/eventpump.h"
#include "platform/text/numbers.h"
#include "platform/ui/ui.h"

namespace orvix {

namespace {
constexpr int kConsoleConnectMs = 5000;
} // namespace

bool COrvixDoc::PumpMessages(int maxWaitMs)
{
    if (hooks.pumpMessages)
        return hooks.pumpMessages(maxWaitMs);
    if (!QCoreApplication::instance()) {
        Clock().SleepMs(static_cast<uint32_t>(maxWaitMs));
        return true;
    }
    return PumpEventsUnlessQuit(maxWaitMs);
}

void COrvixDoc::OnEnable()
{
    // A click while the switch still waits for the renderer or the scene, or while a scene's
    // definitions come, is one too many: it would start a second switch inside the first.
    if (switching_ || definitionsPending_)
        return;
    CWaitMark switching(switching_);
    if (hooks.createControlPanel)
        hooks.createControlPanel();
    if (!experiment_)
        return;
    CDeviceIO& io = experiment_->DeviceIO();

    if (io.IsRendererRunning()) {
        int flag = GetRunFlag();
        if (flag == 0) {
            SetRunFlag(1);
            io.ResetSerial();
            io.SetOutputBit2(true);
            if (testRunning && hooks.setTestPriority)
                hooks.setTestPriority(true);
        } else if (flag == 1) {
            SetRunFlag(0);
            io.StopSerial();
            io.SetOutputBit2(false);
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
    CConsoleSocket& console = experiment_->Console();
    if (!console.HasSocket())
        console.Create();
    int error = console.Connect(host, RendererConsolePort(), kConsoleConnectMs);
    if (error) {
        errno = error;
        MessageBox("Can't make a network connection with \"" + host + "\"\n" + GetSystemErrorText()
                   + "\nPlease check the network connection, then restart the program.");
        return;
    }
    if (!io.Open(this))
        return;

    uint32_t t0 = TickMs();
    while (!io.IsRendererRunning()) {
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
        io.SetOutputBit2(true);
    }
}

bool COrvixDoc::OnUpdateEnable() const
{
    return GetRunFlag() == 1 && IsRendererRunning();
}

bool COrvixDoc::LoadScene(const char* sceneFile, bool keepGraphParams)
{
    CDeviceIO* io = Devices();
    if (!io)
        return false;
    const std::string scene = sceneFile ? sceneFile : "";
    if (definitionsPending_) {
        // Asked for from an event served while the last scene's definitions come: the
        // renderer's answers to the two would meet in one block.
        AddLogLine("Scene \"" + scene
                   + "\" not loaded: the renderer is still sending the graph parameters of the last one.");
        return false;
    }
    std::vector<std::unique_ptr<CParam>> old;
    if (!keepGraphParams)
        for (CParam* p : graph_.TakeAll())
            old.emplace_back(p);

    bool sent = io->SendText(sceneFile);
    SetRunFlag(-1);
    io->StopSerial();
    // A name the link refused (too long) brings no definitions: no use waiting a minute.
    if (!sent && io->IsRendererRunning())
        SetRunFlag(0);
    uint32_t t0 = TickMs();
    while (GetRunFlag() == -1) {
        if (!io->IsRendererRunning())
            break;
        if (TickMs() - t0 > kSceneTimeoutMs) {
            SetRunFlag(0);
            AddLogLine("The renderer did not answer the scene \"" + scene + "\" within "
                       + FormatInt(static_cast<int>(kSceneTimeoutMs / 1000)) + " s: no graph parameters came.");
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
    loadedScene = scene;
    io->ResetSerial();
    return true;
}

void COrvixDoc::ApplyAnalogInputs()
{
    CDeviceIO* io = Devices();
    if (!io)
        return;
    int h = io->ReadPosStepH();
    int v = io->ReadPosStepV();
    int angle = io->ReadAngleStep();
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
        analogRefreshPending_ = true;
        lastAnalogChange_ = TickMs();
    };
    apply("POSH", stepH, false);
    apply("POSV", stepV, false);
    apply("OR", stepAngle, true);

    if (analogRefreshPending_ && TickMs() - lastAnalogChange_ > kPanelRefreshMs) {
        for (const char* name : {"POSH", "POSV", "OR"})
            UpdateGraphParamItem(FindGraphParam(name));
        analogRefreshPending_ = false;
    }
}

} // namespace orvix
