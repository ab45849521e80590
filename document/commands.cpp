// The document's menu commands, channel selection and rates, and what it tells its
// observers for the control panel and the channel bar (nothing while nobody listens).
#include <ctime>

#include "document/orvixdoc.h"

#include "io/deviceio.h"

#include "platform/files/logmirror.h"
#include "platform/text/numbers.h"
#include "platform/ui/ui.h"

namespace orvix {

namespace {
// Cell ids name the cell in data-file names as the letters a..z.
constexpr int kMaxCellId = 26;
} // namespace

int COrvixDoc::ChannelOfCommand(int id)
{
    if (id >= ID_CHANNEL_1 && id <= ID_CHANNEL_1 + 6)
        return id - ID_CHANNEL_1 + 1;
    if (id == ID_CHANNEL_0)
        return 0;
    return -1;
}

bool COrvixDoc::OnCommand(int id)
{
    int channel = ChannelOfCommand(id);
    if (channel >= 0) {
        OnSelectChannel(channel);
        return true;
    }
    switch (id) {
    case ID_RESET_PARAMETERS: OnResetParameters(); return true;
    case ID_SAVE_PARAMETERS: OnSaveParameters(); return true;
    case ID_ENABLE: OnEnable(); return true;
    case ID_TRANSFORM: OnTransform(); return true;
    case ID_LOAD_FORMAT: OnLoadFormat(); return true;
    case ID_FILE_MERGING_MODE: OnFileMergingMode(); return true;
    default: return false;
    }
}

bool COrvixDoc::OnUpdateCommand(int id, bool& enabled, bool& checked) const
{
    int channel = ChannelOfCommand(id);
    if (channel >= 0) {
        enabled = true;
        checked = OnUpdateSelectChannel(channel);
        return true;
    }
    switch (id) {
    case ID_FILE_OPEN:
        enabled = OnUpdateFileOpen();
        checked = false;
        return true;
    case ID_ENABLE:
        enabled = true;
        checked = OnUpdateEnable();
        return true;
    case ID_LOAD_FORMAT:
        enabled = true;
        checked = loadFormat == 1;
        return true;
    case ID_FILE_MERGING_MODE:
        enabled = GetCommandCount() > 0;
        checked = mergeMode != 0;
        return true;
    case ID_SWITCH_RIDGE:
        enabled = GetCommandCount() > 0;
        checked = false;
        return true;
    default:
        return false;
    }
}

void COrvixDoc::OnTransform()
{
    std::string name, expression, problem;
    if (UI().AskTransform(name, expression) && !InsertExpressionColumn(name, expression, false, true, &problem)
        && !problem.empty())
        MessageBox(problem);
}

void COrvixDoc::OnSelectChannel(int n)
{
    selectedChannel_ = selectedChannel_ == n ? -1 : n;
    UpdateAllViews(nullptr, HINT_REBUILD);
}

// ---- Log and observers ----

void COrvixDoc::AddLogLine(const std::string& text)
{
    char stamp[16];
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    strftime(stamp, sizeof stamp, "%H:%M:%S: ", &local);
    std::string line = stamp + text;
    MirrorLogLine(line);
    Notify([&](IDocObserver& o) { o.OnLogLine(line); });
}

void COrvixDoc::UpdateBehavParamItem(int i)
{
    if (i >= 0)
        Notify([&](IDocObserver& o) { o.OnParamChanged(KIND_BEHAV, i); });
}

void COrvixDoc::UpdateBehavParamItem(const char* name) { UpdateBehavParamItem(behav_.Find(name ? name : "")); }

void COrvixDoc::UpdateGraphParamItem(int i)
{
    if (i >= 0)
        Notify([&](IDocObserver& o) { o.OnParamChanged(KIND_GRAPH, i); });
}

void COrvixDoc::RefreshBehavPage()
{
    Notify([&](IDocObserver& o) { o.OnParamChanged(KIND_BEHAV, -1); });
}

void COrvixDoc::UpdateStatVariables(int arg)
{
    Notify([&](IDocObserver& o) { o.OnTableColumnsChanged(arg); });
}

void COrvixDoc::AddTrialResult(int r1, int r2, int r3, int r4, int status)
{
    std::array<int, 5> values{r1, r2, r3, r4, status};
    Notify([&](IDocObserver& o) { o.OnTrialResult(values); });
}

void COrvixDoc::ClearResponsePage()
{
    Notify([](IDocObserver& o) { o.OnResponsesCleared(); });
}

void COrvixDoc::ParametersChanged()
{
    LoadRunnerParameters();
    UpdateAllViews(nullptr, HINT_PARAMS_RELOADED);
    Notify([](IDocObserver& o) { o.OnParametersChanged(); });
}

void COrvixDoc::SendGraphParam(int i)
{
    CDeviceIO* io = Devices();
    if (CParam* p = graph_.At(i); p && io)
        io->SendCommand(i, p->GetText().c_str(), false);
}

// ---- Trials and channels ----

bool COrvixDoc::GetTrialResponse(int i, int* r1, int* r2, int* r3, int* r4, int* status) const
{
    int v[5] = {0, 0, 0, 0, 0};
    if (!trialRecords_ || !trialRecords_->GetTrialResponse(i, v))
        return false;
    *r1 = v[0];
    *r2 = v[1];
    *r3 = v[2];
    *r4 = v[3];
    *status = v[4];
    return true;
}

void COrvixDoc::AddChannelResponses(const double responses[8])
{
    for (size_t c = 0; c < kChannelCount; ++c)
        if (responses[c] > 0)
            channelSums[c] += static_cast<float>(responses[c]);
}

void COrvixDoc::UpdateChannelRates(const CTrial* trial)
{
    if (trial && trialRecords_) {
        double responses[8];
        trialRecords_->GetChannelResponses(*trial, responses);
        AddChannelResponses(responses);
    }
    int n = GetRecordedTrialCount();
    if (n <= 0)
        n = 1;
    for (size_t c = 0; c < kChannelCount; ++c)
        channelLevels_[c] = DoubleToInt(channelSums[c] / static_cast<float>(n));
    Notify([&](IDocObserver& o) { o.OnChannelLevels(channelLevels_); });
}

void COrvixDoc::RecomputeChannelRates()
{
    channelSums.fill(0.0f);
    int count = GetRecordedTrialCount();
    if (count <= 0)
        return;
    const int window = GetBehavParam("AnalysisTime", CParam("", 800)).GetInt();
    for (int i = 0; i < count; ++i) {
        double responses[8];
        trialRecords_->ComputeChannelResponses(i, window, responses);
        AddChannelResponses(responses);
    }
}

void COrvixDoc::UpdateChannelDisplay(int n)
{
    if (n < 0 || n >= kChannelCount)
        return;
    Notify([&](IDocObserver& o) { o.OnChannelChanged(n); });
}

bool COrvixDoc::NextCell()
{
    if (mainChannel < 0 || mainChannel >= kChannelCount)
        return false;
    auto& cell = cellIds[static_cast<size_t>(mainChannel)];
    if (cell >= kMaxCellId) {
        MessageBox("The main channel already records cell z; there is no next cell.");
        return false;
    }
    ++cell;
    if (!SetTestType(curTestType_)) {
        --cell;
        return false;
    }
    UpdateChannelDisplay(mainChannel);
    return true;
}

} // namespace orvix
