#include "runner/taskrunner.h"

#include <exception>
#include <filesystem>

#include "document/orvixdoc.h"
#include "io/deviceio.h"
#include "model/trial.h"
#include "platform/files/paths.h"
#include "platform/runtime/clock.h"
#include "platform/text/numbers.h"
#include "platform/ui/ui.h"

namespace orvix {

namespace {

const char* const kEventNames[] = {
    "ITI",    "ITI2",   "TARGET_ON", "FOREP",  "TARGET_FLIP", "TARGET_OFF", "FIG_ON",
    "FIG_OFF", "FOREP1", "FOREP2",   "FOREP3", "FOREP4",      "FOREP5",     "FOREP6",
    "FOREP7", "FOREP8", "FOREP9",    "FOREP10", "ISI",        "ISI2",
};
constexpr int kEventNameCount = sizeof kEventNames / sizeof kEventNames[0];

} // namespace

CTaskRunner::CTaskRunner(CDeviceIO& io) : io_(io), compiler_(*this) {}

CTaskRunner::~CTaskRunner() = default;

double CTaskRunner::GetPerformanceFrequency() const { return Clock().CounterFrequency(); }

// ---- Parameters ----

void CTaskRunner::LoadParameters(COrvixDoc* doc)
{
    if (doc)
        doc_ = doc;
    LoadParameters();
}

void CTaskRunner::LoadParameters()
{
    if (!doc_)
        return;
    struct Default {
        const char* name;
        CParam value;
    };
    const Default cal[CAL_COUNT] = {
        {"DtoAH", CParam("DtoAH", 0.02f)},   {"H0", CParam("H0", -2560)},
        {"DtoAV", CParam("DtoAV", -0.04f)},  {"V0", CParam("V0", -1280)},
        {"DtoAH2", CParam("DtoAH2", 0.0f)}, {"DtoAV2", CParam("DtoAV2", 0.0f)},
    };
    for (int i = 0; i < CAL_COUNT; ++i) {
        CParam def = cal[i].value;
        calIndex_[i] = doc_->FindBehavParam(cal[i].name, true, def);
    }
    const Default behav[B_COUNT] = {
        {"FPWinRad", CParam("FPWinRad", 300)},
        {"SwitchJoystick", CParam("SwitchJoystick", 0)},
        {"AnalysisTime", CParam("AnalysisTime", 800)},
        {"UnitsPerDeg", CParam("UnitsPerDeg", 60.0f)},
    };
    for (int i = 0; i < B_COUNT; ++i) {
        CParam def = behav[i].value;
        behavIndex_[i] = doc_->FindBehavParam(behav[i].name, true, def);
    }

    const char* graphNames[] = {"RESET", "TARGET", "FIGURE", "TPOSH", "TPOSV"};
    int* graphIndex[] = {&resetId_, &targetId_, &figureId_, &tposH_, &tposV_};
    for (int i = 0; i < 5; ++i) {
        *graphIndex[i] = doc_->FindGraphParam(graphNames[i]);
        if (*graphIndex[i] < 0 && io_.IsRendererRunning())
            LogLine(std::string("Graph parameter ") + graphNames[i] + " not found.");
    }
    RequestReload();
}

int CTaskRunner::BehavInt(int index, int def) const
{
    if (!doc_ || index < 0 || index >= doc_->GetBehavParamCount())
        return def;
    return doc_->GetBehavParam(index).GetInt();
}

float CTaskRunner::BehavFloat(int index, float def) const
{
    if (!doc_ || index < 0 || index >= doc_->GetBehavParamCount())
        return def;
    return static_cast<float>(doc_->GetBehavParam(index).GetDouble());
}

int CTaskRunner::GraphInt(int index) const
{
    if (!doc_ || index < 0 || index >= doc_->GetGraphParamCount())
        return 0;
    return doc_->GetGraphParam(index).GetInt();
}

bool CTaskRunner::IsSwitchJoystick() const { return BehavInt(behavIndex_[B_SWITCHJOYSTICK], 0) == 1; }

// ---- The task file ----

std::string CTaskRunner::GetTaskFileName()
{
    if (!doc_)
        return kDefaultTaskFile;
    CParam none("TaskFile", 0);
    int exp = doc_->FindExpParam("TaskFile", false, none);
    if (exp >= 0)
        return doc_->GetExpParam(exp)->GetText();
    int behav = doc_->FindBehavParam("TaskFile", false, none);
    if (behav >= 0) {
        std::string name = doc_->GetBehavParam(behav).GetText();
        // The test remembers the task it ran with.
        doc_->GetExpParam("TaskFile", CParam("TaskFile", name.c_str())) = name;
        return name;
    }
    return kDefaultTaskFile;
}

void CTaskRunner::Report(const std::string& text)
{
    if (inPass_)
        LogLine(text);
    else
        MessageBox(text);
}

void CTaskRunner::LoadTaskFile()
{
    std::string name = GetTaskFileName();
    std::string path = MapPath(name);
    std::error_code error;
    bool exists = std::filesystem::exists(path, error);
    TaskCompileStatus status = TaskCompileStatus::NotFound;
    if (exists) {
        try {
            status = compiler_.CompileFile(path, name);
        } catch (const std::exception& e) {
            LogLine(std::string("Task file - ") + e.what());
            status = TaskCompileStatus::Failed;
        } catch (...) {
            status = TaskCompileStatus::Failed;
        }
    }
    switch (status) {
    case TaskCompileStatus::NotFound:
        if (runFlag_ == 1) {
            Report("File \"" + name + "\" not found!");
            SetRunFlag(0);
        }
        break;
    case TaskCompileStatus::CannotOpen:
        Report("Can't open task file \"" + name + "\".");
        break;
    case TaskCompileStatus::Failed:
        SetRunFlag(0);
        break;
    default:
        break;
    }
}

void CTaskRunner::RequestReload()
{
    if (runFlag_ != 0 && doc_ && doc_->testRunning) {
        reloadRequested_ = true;
    } else if (io_.IsRendererRunning()) {
        LoadTaskFile();
        reloadRequested_ = false;
        nTaskState = 0;
    } else {
        reloadRequested_ = true;
    }
}

// ---- Passes ----

int CTaskRunner::Step()
{
    if (!io_.IsRendererRunning()) {
        if (runFlag_ != 0)
            SetRunFlag(0);
        return TRIAL_NONE;
    }

    int64_t now = Clock().Counter();
    if (latencyMeasuring_ && histogram_) {
        double ms = static_cast<double>(now - lastLoopTime_) * 1000.0 / GetPerformanceFrequency() + 0.5;
        int bin = ms < 0 ? 0 : ms >= kLatencyBins ? kLatencyBins - 1 : static_cast<int>(ms);
        ++histogram_[bin];
    }
    lastLoopTime_ = now;

    // Whatever goes wrong from here on is logged, not shown (see Report).
    struct PassScope {
        bool& flag;
        explicit PassScope(bool& f) : flag(f) { flag = true; }
        ~PassScope() { flag = false; }
    } pass(inPass_);
    if (reloadRequested_ && nTaskState == 0) {
        LoadTaskFile();
        reloadRequested_ = false;
    }
    if (!HasProgram()) {
        if (runFlag_ != 0)
            SetRunFlag(0);
        return TRIAL_NONE;
    }

    nCurrentTime = static_cast<int>(TickMs());
    // Only the low byte is the input; a task may keep flags above it.
    nKeyPos = static_cast<int>((static_cast<uint32_t>(nKeyPos) & ~0xFFu)
                               | static_cast<uint8_t>(io_.ReadDigitalInput()));

    if ((nTaskState == STATE_ITI || nTaskState == STATE_ISI) && pending_)
        StartTrial();

    int previous = nTaskState;
    int outcome = lastOutcome_;
    try {
        // A failed evaluation leaves outcome as it was (logged by the compiler).
        compiler_.Evaluate(outcome);
    } catch (const std::exception& e) {
        LogLine(std::string("Task evaluation failed: ") + e.what());
    } catch (...) {
        LogLine("Task evaluation failed.");
    }
    lastOutcome_ = outcome;
    nCurrentTime = static_cast<int>(TickMs());

    if (nTaskState != previous && current_)
        AppendEvent(static_cast<uint8_t>(nTaskState));
    if (outcome != TRIAL_CONTINUE)
        EndTrial();
    if (nTaskState == 0 && previous != 0 && doc_)
        doc_->UpdateAllViews(nullptr, HINT_EYE_REDRAW);
    return outcome;
}

void CTaskRunner::AppendEvent(uint8_t code)
{
    current_->eventTimes.push_back(static_cast<uint32_t>(nCurrentTime) - trialStart_);
    current_->eventCodes.push_back(code);
}

int CTaskRunner::StartTrial()
{
    if (!pending_)
        return 0;
    // The eye samples that wait are from before the start: they move the eye, but the
    // trial's eye trace, timed from its start, begins with the first one after it.
    TakeEyeSamples(io_.ReadEyeSamplesNow());
    current_ = pending_;
    current_->Reset();
    if (doc_)
        current_->activeChannels = doc_->activeChannels;
    current_->eventTimes.push_back(0);
    current_->eventCodes.push_back(static_cast<uint8_t>(nTaskState));
    trialStart_ = TickMs();
    nCurrentTime = static_cast<int>(trialStart_);
    current_->SetStartTime(trialStart_);
    // A trial that starts between stimuli (ISI) goes on counting the previous spikes.
    if (nTaskState == STATE_ITI)
        io_.StartSpikeCounter();
    pending_ = nullptr;
    return 0;
}

int CTaskRunner::EndTrial()
{
    if (!current_)
        return 0;
    CollectSpikes();
    // Up to the end, however recently the port was read; what comes later is the next
    // trial's time.
    TakeEyeSamples(io_.ReadEyeSamplesNow());
    CTrial& trial = *current_;
    if (doc_)
        trial.activeChannels &= doc_->activeChannels;
    trial.SetLength(TickMs() - trialStart_);
    if (doc_) {
        auto value = [this](const char* name) -> CParam& { return doc_->GetBehavParam(name, CParam(name, 0)); };
        trial.DtoAH = static_cast<float>(value("DtoAH").GetDouble());
        trial.H0 = value("H0").GetInt();
        trial.DtoAV = static_cast<float>(value("DtoAV").GetDouble());
        trial.V0 = value("V0").GetInt();
        trial.DtoAH2 = static_cast<float>(value("DtoAH2").GetDouble());
        trial.DtoAV2 = static_cast<float>(value("DtoAV2").GetDouble());
    }
    if (std::string problem = trial.ComputeResponse(BehavInt(behavIndex_[B_ANALYSISTIME], 0)); !problem.empty())
        Report(problem);
    if (trial.GetLength() > 0) {
        uint64_t rate = static_cast<uint64_t>(trial.hSamples.size()) * 1000 / trial.GetLength();
        // A log line, not a box: a box here would stop the trial loop after every trial.
        if (rate > 100)
            LogLine(Format("Iscan rate too high! %d", static_cast<int>(rate)));
    }
    current_ = nullptr;
    return 0;
}

void CTaskRunner::CollectSpikes()
{
    if (!current_)
        return;
    const std::vector<uint16_t>& words = io_.ReadSpikes();
    uint32_t offset = (io_.GetSpikeStartTime() - trialStart_) * 10u;
    for (size_t i = 0; i + 2 < words.size(); i += 3) {
        uint32_t time = (static_cast<uint32_t>(words[i + 2]) << 16) + words[i + 1] + offset;
        current_->AddSpike(words[i], time);
    }
}

void CTaskRunner::SampleEye() { TakeEyeSamples(io_.ReadEyeSamples()); }

void CTaskRunner::TakeEyeSamples(const std::vector<uint16_t>& samples)
{
    size_t pairs = samples.size() / 2;
    if (pairs == 0)
        return;
    if (current_) {
        for (size_t i = 0; i < pairs; ++i) {
            current_->hSamples.push_back(static_cast<int16_t>(samples[2 * i]));
            current_->vSamples.push_back(static_cast<int16_t>(samples[2 * i + 1]));
        }
    }
    rawH_ = static_cast<int16_t>(samples[2 * pairs - 2]);
    rawV_ = static_cast<int16_t>(samples[2 * pairs - 1]);
    float dtoAH = BehavFloat(calIndex_[CAL_DTOAH], 0.02f);
    int h0 = BehavInt(calIndex_[CAL_H0], -2560);
    float dtoAV = BehavFloat(calIndex_[CAL_DTOAV], -0.04f);
    int v0 = BehavInt(calIndex_[CAL_V0], -1280);
    float dtoAH2 = BehavFloat(calIndex_[CAL_DTOAH2], 0.0f);
    float dtoAV2 = BehavFloat(calIndex_[CAL_DTOAV2], 0.0f);
    float h = static_cast<float>(WrapAdd(rawH_, h0));
    float v = static_cast<float>(WrapAdd(rawV_, v0));
    eyeH_ = h * dtoAH + v * dtoAH2;
    eyeV_ = v * dtoAV + h * dtoAV2;
}

// ---- Display texts ----

const std::string& CTaskRunner::GetKeyPosName()
{
    switch (nKeyPos & 0xFF) {
    case 'B': keyPosName_ = "BACK"; break;
    case 'C': keyPosName_ = "CENTER"; break;
    case 'F': keyPosName_ = "FORTH"; break;
    case 'L': keyPosName_ = "LEFT"; break;
    case 'R': keyPosName_ = "RIGHT"; break;
    default: break;
    }
    return keyPosName_;
}

std::string CTaskRunner::StateName(int state)
{
    if (state >= 0 && state < kEventNameCount)
        return kEventNames[state];
    return FormatInt(state);
}

std::string CTaskRunner::GetStateName() const { return StateName(nTaskState); }

// ---- Loop-latency histogram ----

void CTaskRunner::StartLatencyMeasurement()
{
    histogram_.reset(new (std::nothrow) int[kLatencyBins]());
    if (!histogram_)
        return;
    LogLine("Begins measuring latency.");
    latencyMeasuring_ = true;
}

void CTaskRunner::ReportLatency()
{
    latencyMeasuring_ = false;
    if (!histogram_)
        return;
    LogLine("ORVIX - Time per loop:");
    LogLine("time (ms)   occurrence");
    for (int i = 0; i < kLatencyBins; ++i)
        if (histogram_[i])
            LogLine(Format("%d\t%d", i, histogram_[i]));
    histogram_.reset();
}

int CTaskRunner::GetLatencyCount(int ms) const
{
    return histogram_ && ms >= 0 && ms < kLatencyBins ? histogram_[ms] : 0;
}

} // namespace orvix
