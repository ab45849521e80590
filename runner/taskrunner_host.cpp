// The task runner as the task language's host: what the built-in functions do to the
// document, the current trial, the renderer and the devices.
#include <algorithm>
#include <cstdint>

#include <QGuiApplication>

#include "document/orvixdoc.h"
#include "io/deviceio.h"
#include "model/trial.h"
#include "platform/devices/virtualkeys.h"
#include "platform/runtime/clock.h"
#include "platform/text/numbers.h"
#include "runner/taskrunner.h"

namespace orvix {

// ---- Compilation ----

int CTaskRunner::FindBehavParam(const std::string& name)
{
    if (!doc_)
        return -1;
    CParam none;
    return doc_->FindBehavParam(name.c_str(), false, none);
}

int CTaskRunner::FindGraphParam(const std::string& name) { return doc_ ? doc_->FindGraphParam(name.c_str()) : -1; }

void CTaskRunner::LogLine(const std::string& text)
{
    if (doc_)
        doc_->AddLogLine(text);
}

// ---- Parameters ----

int CTaskRunner::GetGraphParamCount() { return doc_ ? doc_->GetGraphParamCount() : 0; }
int CTaskRunner::GetGraphParamInt(int index) { return GraphInt(index); }

double CTaskRunner::GetGraphParamReal(int index)
{
    if (!doc_ || index < 0 || index >= doc_->GetGraphParamCount())
        return 0.0;
    return doc_->GetGraphParam(index).GetDouble();
}

int CTaskRunner::GetBehavParamCount() { return doc_ ? doc_->GetBehavParamCount() : 0; }
int CTaskRunner::GetBehavParamInt(int index) { return BehavInt(index, 0); }

double CTaskRunner::GetBehavParamReal(int index)
{
    if (!doc_ || index < 0 || index >= doc_->GetBehavParamCount())
        return 0.0;
    return doc_->GetBehavParam(index).GetDouble();
}

void CTaskRunner::SetGraphParamValue(int index, int value)
{
    if (!doc_ || index < 0 || index >= doc_->GetGraphParamCount())
        return;
    doc_->GetGraphParam(index) = value;
    doc_->UpdateGraphParamItem(index);
}

// ---- Renderer ----

void CTaskRunner::SendToObject(int objectId, const char* text, bool wait)
{
    if (objectId < 0 || objectId > 255)
        return;
    io_.SendCommand(objectId, text, wait);
}

void CTaskRunner::SendObjectCommand(int objectId, const std::string& text, bool wait)
{
    SendToObject(objectId, text.c_str(), wait);
}

void CTaskRunner::TurnOnTarget() { SendToObject(targetId_, "1", false); }
void CTaskRunner::TurnOffTarget() { SendToObject(targetId_, "0", false); }
void CTaskRunner::FlipTarget() { SendToObject(targetId_, "2", false); }

void CTaskRunner::TurnOnFig()
{
    if (!io_.IsRendererRunning())
        return;
    SendToObject(resetId_, "0", false);
    SendToObject(figureId_, "1", true);
    nCurrentTime = static_cast<int>(TickMs());
    if (current_)
        AppendEvent(EVENT_FIG_ON);
}

void CTaskRunner::TurnOffFig()
{
    if (!io_.IsRendererRunning())
        return;
    SendToObject(figureId_, "0", true);
    nCurrentTime = static_cast<int>(TickMs());
    if (current_)
        AppendEvent(EVENT_FIG_OFF);
}

// ---- Subject, eye and devices ----

int CTaskRunner::OnFP()
{
    int units = BehavInt(behavIndex_[B_UNITSPERDEG], 60);
    if (units == 0)
        units = 60;
    int64_t x = DoubleToInt(eyeH_ * static_cast<float>(units));
    int64_t y = DoubleToInt(eyeV_ * static_cast<float>(units));
    int64_t dx = x - GraphInt(tposH_);
    int64_t dy = y - GraphInt(tposV_);
    int64_t r = BehavInt(behavIndex_[B_FPWINRAD], 300);
    // 64 bits: a far-off eye must not wrap back into the window.
    return dx * dx + dy * dy < r * r ? 1 : 0;
}

int CTaskRunner::GetKeyPos() { return io_.ReadDigitalInput(); }

void CTaskRunner::DoEarlyAct()
{
    io_.PulseEarly();
    CountAction(false);
}

void CTaskRunner::DoHitAct()
{
    io_.PulseHit();
    CountAction(true);
}

void CTaskRunner::DoMissAct()
{
    io_.PulseMiss();
    CountAction(false);
}

int CTaskRunner::ReadAICh_mv(int channel, int gainCode) { return io_.ReadMillivolts(channel, gainCode); }

int CTaskRunner::KeyDown(int virtualKey)
{
    if (frameHooks.isKeyDown)
        return frameHooks.isKeyDown(virtualKey) ? 1 : 0;
    // Without the main frame's keyboard: the Shift and Ctrl keys as the window system reports
    // them now (no side named, so either side reads as both); other keys read as up.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return 0;
    const Qt::KeyboardModifiers now = QGuiApplication::queryKeyboardModifiers();
    HeldModifiers held;
    held.shift = now.testFlag(Qt::ShiftModifier);
    held.control = now.testFlag(Qt::ControlModifier);
    return std::max(ModifierKeyDown(virtualKey, held), 0);
}

// ---- Trial and document ----

int CTaskRunner::Recording() { return doc_ ? doc_->testRunning : 0; }

void CTaskRunner::SaveKeyState(int keyCode)
{
    if (!current_)
        return;
    current_->keyTimes.push_back(static_cast<uint32_t>(nCurrentTime) - trialStart_);
    current_->keyCodes.push_back(static_cast<uint16_t>(keyCode));
}

void CTaskRunner::SaveResponse(const std::array<int, 5>& v, bool showOnPage)
{
    // Only a trial being recorded has a line on the response page: the passes before and
    // after a run record nothing, and the page shows exactly the run's trials.
    if (!current_)
        return;
    current_->SetResponse(v[0], v[1], v[2], v[3], v[4]);
    if (showOnPage && doc_)
        doc_->AddTrialResult(v[0], v[1], v[2], v[3], v[4]);
}

void CTaskRunner::FPUpdate(int flag)
{
    if (doc_)
        doc_->UpdateAllViews(nullptr, flag ? HINT_EYE_SAMPLING_ON : HINT_EYE_SAMPLING_OFF);
}

void CTaskRunner::FPCircle(int a, int b, int c, int d)
{
    if (frameHooks.fpCircle)
        frameHooks.fpCircle(a, b, c, d);
}

void CTaskRunner::FPRectangle(int a, int b, int c, int d, int e)
{
    if (frameHooks.fpRectangle)
        frameHooks.fpRectangle(a, b, c, d, e);
}

} // namespace orvix
