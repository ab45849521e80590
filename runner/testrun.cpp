#include "runner/testrun.h"

#include <QEvent>
#include <QMouseEvent>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>

#include "document/orvixdoc.h"
#include "model/trial.h"
#include "platform/files/paths.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/eventpump.h"
#include "platform/text/codepage.h"
#include "platform/text/numbers.h"
#include "platform/text/text.h"
#include "platform/ui/ui.h"
#include "runner/taskrunner.h"
#include "runner/testsequence.h"

namespace orvix {

namespace {

constexpr int kBehaviourBase = 1000000;
// Room reserved for trials before a run, at most.
constexpr int64_t kMaxReserve = 1 << 20;

// "%f" without trailing zeros and then without a trailing point: 0.5, 10.
std::string SweepValue(double value)
{
    std::string text = Format("%f", value);
    while (!text.empty() && text.back() == '0')
        text.pop_back();
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

// While a run holds the event loop: notices a request to quit (kept and made again once
// the run is over) and drops right and middle button presses.
class CRunWatch : public CQuitWatch {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (CQuitWatch::eventFilter(watched, event))
            return true;
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
            auto button = static_cast<QMouseEvent*>(event)->button();
            return button == Qt::RightButton || button == Qt::MiddleButton;
        }
        return false;
    }
};

CRunWatch* g_quitWatch = nullptr;

bool QtPump(int maxWaitMs)
{
    PumpEvents(maxWaitMs);
    return true;
}

} // namespace

bool SweepLines(const std::string& param, float begin, float end, float step, std::vector<std::string>& lines,
                std::string& error)
{
    lines.clear();
    const double b = begin, e = end, s = step;
    if (!std::isfinite(b) || !std::isfinite(e) || !std::isfinite(s) || (b < e && s < 0) || (b > e && s > 0)) {
        error = "The sweep never reaches End: the Step must lead from Begin towards End.";
        return false;
    }
    if (s != 0 && std::floor((e - b) / s) + 1 > CTestRun::kMaxSweepLines) {
        error = Format("The sweep gives more than %d commands. Please choose a larger Step.", CTestRun::kMaxSweepLines);
        return false;
    }
    for (int i = 0;; ++i) {
        double value = b + i * s;
        if (b <= e ? value > e : value < e)
            break;
        lines.push_back(param + " " + SweepValue(value));
        if (s == 0)
            break;
    }
    return true;
}

bool ReadCommandFileLines(const std::string& path, std::vector<std::string>& lines, std::string* refusal)
{
    lines.clear();
    std::ifstream in(MapPath(path), std::ios::binary);
    if (!in)
        return false;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return false;
    std::string text;
    TextRefusal why;
    if (!DecodeText(bytes, text, &why)) {
        if (refusal)
            *refusal = RefusalMessage(why, "the command file \"" + path + "\"");
        return false;
    }
    // Whole lines, however long: cutting a long line would make two different commands.
    std::istringstream lineStream(std::move(text));
    std::string line;
    while (std::getline(lineStream, line)) {
        std::string trimmed = Trim(line);
        if (!trimmed.empty() && trimmed[0] != '#')
            lines.push_back(trimmed);
    }
    return true;
}

CTestRun::CTestRun(COrvixDoc& doc, ITrialEngine& engine) : doc_(doc), engine_(engine) {}

CTestRun::~CTestRun()
{
    if (spare_)
        engine_.SetPendingTrial(nullptr);
}

bool CTestRun::ReadCommandList(const CTestSettings& settings)
{
    if (doc_.IsMergeMode())
        return false;
    std::vector<std::string> lines;
    if (settings.useCustomItems) {
        std::string refusal;
        if (!ReadCommandFileLines(settings.customItems, lines, &refusal)) {
            doc_.commandLines.clear();
            doc_.ParseCommandFile(kNoAngleOffset);
            MessageBox(refusal.empty() ? "Can't open command file: \"" + settings.customItems + "\"" : refusal);
            return false;
        }
    } else {
        std::string error;
        if (!SweepLines(settings.param2Change, settings.begin, settings.end, settings.step, lines, error)) {
            MessageBox(error);
            return false;
        }
    }
    doc_.commandLines = std::move(lines);
    doc_.ParseCommandFile(kNoAngleOffset);
    return true;
}

void CTestRun::Stop()
{
    doc_.testRunning = 0;
    engine_.SetPendingTrial(nullptr);
    engine_.EndTrial();
}

void CTestRun::OnStart(const CTestSettings& settings)
{
    if (running_) {
        Stop();
        return;
    }
    if (engine_.GetRunFlag() != 1)
        return;
    doc_.testRunning = 1;
    if (commandListChanged && !doc_.IsMergeMode()) {
        commandListChanged = 0;
        if (!ReadCommandList(settings)) {
            // Built again next time: the file may be there then.
            commandListChanged = 1;
            doc_.testRunning = 0;
            return;
        }
    }
    if (!doc_.testRunning) // the list was refused while it was parsed
        return;
    if (doc_.GetCommandCount() == 0 || doc_.GetCommandRowCount() == 0) {
        doc_.testRunning = 0;
        MessageBox("There are no stimulus commands to run.\nPlease check the command file or the parameter to test.");
        return;
    }
    try {
        Run(settings);
    } catch (const std::exception& e) {
        Abandon();
        MessageBox(e.what());
    } catch (...) {
        Abandon();
        MessageBox("Something wrong. Exception captured!");
    }
}

void CTestRun::Run(const CTestSettings& settings)
{
    running_ = true;
    quitRequested_ = false;
    CRunWatch watch;
    CRunWatch* outerWatch = g_quitWatch;
    g_quitWatch = &watch;
    struct Unwatch {
        CRunWatch* outer;
        ~Unwatch() { g_quitWatch = outer; }
    } unwatch{outerWatch};

    if (onRunning)
        onRunning(true);
    if (doc_.hooks.testRunChanged)
        doc_.hooks.testRunChanged(true);
    int trialsBefore = doc_.GetTrialCount();
    int accumed = doc_.GetExpParam("AccumedTimes", CParam(nullptr, 0)).GetInt();
    engine_.TurnOffFig();
    engine_.TurnOffTarget();
    if (doc_.hooks.setTestPriority)
        doc_.hooks.setTestPriority(true);
    BuildParamMap();
    int64_t expected = static_cast<int64_t>(std::max(settings.accumTimes, 0)) * doc_.GetCommandCount();
    doc_.ReserveTrials(static_cast<int>(std::min(expected, kMaxReserve)));

    WaitUntilIdle();
    if (settings.isRandom)
        RunRandom(accumed);
    else
        RunInOrder(settings, accumed);

    doc_.UpdateAllViews(nullptr, HINT_TRIAL_ADDED);
    doc_.UpdateChannelRates(nullptr);
    Finish(trialsBefore);
    if (quitRequested_)
        CQuitWatch::RepeatQuit();
}

void CTestRun::BuildParamMap()
{
    map_.clear();
    saved_.clear();
    CommandRow& row = doc_.GetCommand(0);
    for (CParam& p : row) {
        const char* name = p.GetName().c_str();
        int g = doc_.FindGraphParam(name);
        if (g >= 0) {
            map_.push_back(g);
            saved_.push_back(doc_.GetGraphParam(g));
            continue;
        }
        int b = doc_.FindBehavParam(name, false, CParam());
        if (b >= 0) {
            map_.push_back(kBehaviourBase + b);
            saved_.push_back(doc_.GetBehavParam(b));
        } else {
            map_.push_back(-1);
            saved_.emplace_back();
        }
    }
}

void CTestRun::AssignMapped(size_t k, const CParam& value)
{
    int m = map_[k];
    if (m >= kBehaviourBase) {
        doc_.GetBehavParam(m - kBehaviourBase) = value;
        doc_.UpdateBehavParamItem(m - kBehaviourBase);
    } else if (m >= 0) {
        doc_.GetGraphParam(m) = value;
        doc_.SendGraphParam(m);
        doc_.UpdateGraphParamItem(m);
    }
}

void CTestRun::ApplyCommand(int i)
{
    CommandRow& row = doc_.GetCommand(i);
    for (size_t k = 0; k < row.size() && k < map_.size(); ++k)
        AssignMapped(k, row[k]);
}

void CTestRun::RestoreParams()
{
    for (size_t k = 0; k < map_.size(); ++k)
        AssignMapped(k, saved_[k]);
}

void CTestRun::WaitUntilIdle()
{
    // The task finishes what it is doing; nothing changes once the experiment is off.
    while (engine_.GetTaskState() != 0 && doc_.testRunning && engine_.GetRunFlag() == 1) {
        if (!engine_.IsSwitchJoystick())
            doc_.ApplyAnalogInputs();
        engine_.Step();
        engine_.SampleEye();
        doc_.UpdateAllViews(nullptr, HINT_PASS);
        if (!Pump(kPassWaitMs)) {
            doc_.testRunning = 0;
            quitRequested_ = true;
        }
    }
}

CTrial* CTestRun::SpareTrial()
{
    if (!spare_)
        spare_ = std::make_unique<CTrial>();
    return spare_.get();
}

void CTestRun::StoreTrial(int command, int repetition)
{
    CTrial* trial = spare_.release();
    trial->commandIndex = command;
    trial->repetition = repetition;
    doc_.AddTrial(trial);
    if (AtTrialStart()) {
        doc_.UpdateAllViews(nullptr, HINT_TRIAL_ADDED, trial);
        doc_.UpdateChannelRates(trial);
    }
}

void CTestRun::ShowFailedAttempt()
{
    if (AtTrialStart()) {
        doc_.UpdateAllViews(nullptr, HINT_TRIAL_ADDED, nullptr);
        doc_.UpdateChannelRates(nullptr);
    }
}

void CTestRun::AddAccumedTimes(int n)
{
    if (n <= 0)
        return;
    CParam& accumed = doc_.GetExpParam("AccumedTimes", CParam(nullptr, 0));
    accumed = accumed.GetInt() + n;
}

void CTestRun::RunRandom(int accumedBefore)
{
    std::unique_ptr<CTestSequence> sequence;
    if (seed) {
        TestSequenceSettings s;
        s.accumTimes = doc_.GetExpParam("AccumTimes", CParam(nullptr, 0)).GetInt();
        s.groupSize = doc_.GetExpParam("CommandGroupSize", CParam(nullptr, 0)).GetInt();
        s.groupNumParam = doc_.GetExpParam("CommandGroupNumParam", CParam(nullptr, 0)).GetInt();
        s.isBalanced = doc_.GetExpParam("IsBalanced", CParam(nullptr, 0)).GetInt();
        std::vector<std::vector<CParam>> rows;
        for (int i = 0; i < doc_.GetCommandCount(); ++i)
            rows.push_back(doc_.GetCommand(i));
        sequence = std::make_unique<CTestSequence>(rows, s, *seed);
    } else {
        sequence = std::make_unique<CTestSequence>(&doc_);
    }
    while (doc_.testRunning) {
        int i = sequence->Next(AtTrialStart());
        if (i < 0)
            break;
        ApplyCommand(i);
        int r = RunTrial(SpareTrial());
        if (r == TRIAL_END || r == TRIAL_REPEAT) {
            StoreTrial(i, sequence->GetRepeat() + accumedBefore);
            if (r == TRIAL_END)
                sequence->MarkDone();
        } else if (r == TRIAL_FAIL) {
            ShowFailedAttempt();
        }
    }
    // No commands give -1: nothing was recorded, nothing to add.
    AddAccumedTimes(sequence->GetMaxRepeats());
}

void CTestRun::RunInOrder(const CTestSettings& settings, int accumedBefore)
{
    int count = doc_.GetCommandCount();
    for (int rep = 0; rep < settings.accumTimes && doc_.testRunning; ++rep) {
        int i = 0;
        while (i < count && doc_.testRunning) {
            ApplyCommand(i);
            int r = RunTrial(SpareTrial());
            if (r != TRIAL_FAIL) {
                StoreTrial(i, rep + accumedBefore);
                if (r != TRIAL_REPEAT)
                    ++i;
            } else {
                ShowFailedAttempt();
            }
        }
        AddAccumedTimes(1);
    }
}

int CTestRun::RunTrial(CTrial* trial)
{
    engine_.SetPendingTrial(trial);
    for (;;) {
        if (engine_.GetRunFlag() != 0) {
            if (!engine_.IsSwitchJoystick())
                doc_.ApplyAnalogInputs();
            int s = engine_.Step();
            lastOutcome_ = s;
            if (s == TRIAL_END || s == TRIAL_FAIL)
                return s;
            if (s == TRIAL_REPEAT) {
                trial->activeChannels = 0;
                // Inside the run a box would stall the trials: the problem goes to the log.
                if (std::string problem = trial->ComputeResponse(0); !problem.empty())
                    doc_.AddLogLine(problem);
                return s;
            }
            engine_.SampleEye();
            doc_.UpdateAllViews(nullptr, HINT_PASS);
            if (!Pump(kPassWaitMs)) {
                doc_.testRunning = 0;
                quitRequested_ = true;
                return TRIAL_FAIL;
            }
            if (!doc_.testRunning)
                return TRIAL_FAIL;
        } else {
            // The experiment was switched off: wait until it is on again or the run stops.
            if (!Pump(kPauseWaitMs)) {
                doc_.testRunning = 0;
                quitRequested_ = true;
                return TRIAL_FAIL;
            }
            if (engine_.GetRunFlag() != 0 || !doc_.testRunning)
                return TRIAL_FAIL;
        }
    }
}

bool CTestRun::Pump(int maxWaitMs)
{
    bool go = pump ? pump(maxWaitMs) : QtPump(maxWaitMs);
    return go && !(g_quitWatch && g_quitWatch->QuitRequested());
}

void CTestRun::Finish(int trialsBefore)
{
    RestoreParams();
    int accumed = doc_.GetExpParam("AccumedTimes", CParam(nullptr, 0)).GetInt();
    bool grew = doc_.GetTrialCount() > trialsBefore;
    if (accumed == 0)
        doc_.SetModifiedFlag(false);
    else if (grew)
        doc_.SetModifiedFlag(true);
    Abandon();
    engine_.TurnOnFig();
    engine_.TurnOffTarget();
    if (onFinished)
        onFinished(accumed > 0, accumed > 0 && grew);
}

void CTestRun::Abandon()
{
    // The runner must not fill or hold the spare trial once it is gone.
    engine_.SetPendingTrial(nullptr);
    if (spare_) {
        engine_.EndTrial();
        spare_.reset();
    }
    // The counter counts only while trials of a run need it.
    engine_.StopSpikeCounter();
    doc_.testRunning = 0;
    running_ = false;
    ended_ = true;
    endedAt_ = TickMs();
    if (doc_.hooks.setTestPriority)
        doc_.hooks.setTestPriority(false);
    if (onRunning)
        onRunning(false);
    if (doc_.hooks.testRunChanged)
        doc_.hooks.testRunChanged(false);
}

bool CTestRun::EndedWithin(uint32_t ms) const { return ended_ && TickMs() - endedAt_ < ms; }

bool CTestRun::Discard()
{
    int a = doc_.GetExpParam("AccumedTimes", CParam(nullptr, 0)).GetInt();
    // With no repeat recorded the rule below would take every trial of the document.
    if (a <= 0)
        return false;
    for (int i = doc_.GetTrialCount() - 1; i >= 0; --i)
        if (doc_.GetTrial(i)->repetition >= a - 1)
            doc_.RemoveTrial(i);
    doc_.GetExpParam("AccumedTimes", CParam(nullptr, 0)) = std::max(a - 1, 0);
    doc_.SetModifiedFlag(true);
    doc_.UpdateAllViews(nullptr, HINT_REBUILD);
    doc_.UpdateChannelRates(nullptr);
    return true;
}

} // namespace orvix
