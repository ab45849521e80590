// The document's menu commands, channel selection and rates, and every way the core
// reaches the control panel's pages: each forwarding does nothing while no panel exists.
#include <ctime>

#include "document/orvixdoc.h"

#include "analysis/stat.h"
#include "io/deviceio.h"
#include "panel/controlpanel.h"
#include "panel/electrode.h"
#include "panel/logpages.h"
#include "panel/parampages.h"
#include "tasklang/transformdlg.h"
#include "platform/logmirror.h"
#include "platform/numbers.h"
#include "platform/ui.h"
#include "runner/taskrunner.h"

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
    case ID_CONTROL_PANEL: OnControlPanel(); return true;
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
    default:
        return false;
    }
}

void COrvixDoc::OnTransform()
{
    CTransformDlg dlg;
    if (UI().RunModal(dlg) == IDOK)
        InsertExpressionColumn(dlg.name, dlg.expression, false, true);
}

void COrvixDoc::OnSelectChannel(int n)
{
    selectedChannel_ = selectedChannel_ == n ? -1 : n;
    UpdateAllViews(nullptr, HINT_REBUILD);
}

// ---- Control panel ----

void COrvixDoc::CreateControlPanel()
{
    // No parent window: the panel lives exactly as long as the document says, never
    // deleted behind its back by a parent.
    if (!controlPanel_)
        controlPanel_ = new CControlPanel(this, "ControlPanel", nullptr, 0);
}

void COrvixDoc::ShowControlPanel(bool show)
{
    if (controlPanel_)
        controlPanel_->setVisible(show);
}

void COrvixDoc::OnControlPanel()
{
    if (controlPanel_) {
        ShowControlPanel(!controlPanel_->isVisible());
        return;
    }
    CreateControlPanel();
    ShowControlPanel(true);
}

void COrvixDoc::DestroyControlPanel()
{
    CControlPanel* panel = controlPanel_;
    controlPanel_ = nullptr;
    delete panel;
}

void COrvixDoc::AddLogLine(const std::string& text)
{
    char stamp[16];
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    strftime(stamp, sizeof stamp, "%H:%M:%S: ", &local);
    std::string line = stamp + text;
    MirrorLogLine(line);
    if (controlPanel_)
        controlPanel_->LogPage()->AddLog(line);
}

void COrvixDoc::UpdateBehavParamItem(int i)
{
    if (controlPanel_ && i >= 0)
        controlPanel_->BehavPage()->UpdateList(i);
}

void COrvixDoc::UpdateBehavParamItem(const char* name)
{
    if (controlPanel_)
        UpdateBehavParamItem(behav_.Find(name ? name : ""));
}

void COrvixDoc::UpdateGraphParamItem(int i)
{
    if (controlPanel_ && i >= 0)
        controlPanel_->GraphPage()->UpdateList(i);
}

void COrvixDoc::RefreshBehavPage()
{
    if (controlPanel_)
        controlPanel_->BehavPage()->UpdateList(-1);
}

void COrvixDoc::UpdateStatVariables(int arg)
{
    if (controlPanel_)
        controlPanel_->StatPage()->UpdateVariableLists(arg);
}

void COrvixDoc::AddTrialResult(int r1, int r2, int r3, int r4, int status)
{
    if (controlPanel_)
        controlPanel_->ResponsePage()->AddTrialResult(r1, r2, r3, r4, status);
}

void COrvixDoc::ClearResponsePage()
{
    if (controlPanel_)
        controlPanel_->ResponsePage()->Clear();
}

void COrvixDoc::ParametersChanged()
{
    g_taskRunner.LoadParameters(this);
    UpdateAllViews(nullptr, HINT_PARAMS_RELOADED);
    if (controlPanel_)
        controlPanel_->UpdatePages();
}

void COrvixDoc::SendGraphParam(int i)
{
    if (CParam* p = graph_.At(i))
        g_deviceIO.SendCommand(i, p->GetText().c_str(), false);
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
    if (channelBar_)
        channelBar_->ShowChannelLevels(channelLevels_.data());
}

void COrvixDoc::RecomputeChannelRates()
{
    channelSums.fill(0.0f);
    int count = GetRecordedTrialCount();
    for (int i = 0; i < count; ++i) {
        int window = GetBehavParam("AnalysisTime", CParam("", 800)).GetInt();
        double responses[8];
        trialRecords_->ComputeChannelResponses(i, window, responses);
        AddChannelResponses(responses);
    }
}

void COrvixDoc::UpdateChannelDisplay(int n)
{
    if (n < 0 || n >= kChannelCount)
        return;
    if (channelBar_)
        channelBar_->UpdateChannelButton(n);
    if (controlPanel_)
        controlPanel_->ElectrodePage()->UpdateFromDoc(n);
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
