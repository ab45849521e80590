#include "panel/playback_run.h"

#include "document/orvixdoc.h"
#include "io/deviceio.h"
#include "platform/text/numbers.h"

namespace orvix {

void CPlaybackRun::Send(int objectId, const std::string& text)
{
    if (objectId >= 0)
        io_.SendCommand(objectId, text.c_str(), false);
}

bool CPlaybackRun::BeginTrial(int pos, uint32_t now)
{
    ITrialRecords* records = doc_.GetTrialRecords();
    trial_ = CPlaybackTrial();
    if (!records || pos < 0 || !records->GetPlaybackTrial(pos, trial_))
        return false;
    eye_ = event_ = key_ = 0;
    t0_ = now;
    if (pos == 0) {
        offH_ = trial_.h0;
        offV_ = trial_.v0;
    }
    Send(settings_.targetOff, settings_.targetOffValue);
    Send(settings_.figureOff, settings_.figureOffValue);
    // A trial of another command list may name a command this document does not have.
    if (trial_.commandIndex >= 0 && trial_.commandIndex < records->GetCommandCount()) {
        std::vector<CParam> command = records->GetCommand(trial_.commandIndex);
        for (CParam& p : command)
            Send(doc_.FindGraphParam(p.GetName().c_str()), p.GetText());
    }
    return true;
}

bool CPlaybackRun::Pass(uint32_t now)
{
    uint32_t elapsed = now - t0_;
    if (elapsed > trial_.length)
        return false;
    if (settings_.eye >= 0 && eye_ < trial_.EyeSampleCount()
        && static_cast<double>(eye_) * settings_.bin <= static_cast<double>(elapsed)) {
        double h = trial_.EyeH(eye_, offH_, offV_), v = trial_.EyeV(eye_, offH_, offV_);
        Send(settings_.eye, Format("%d %d 0", DoubleToInt(h * settings_.units), DoubleToInt(v * settings_.units)));
        ++eye_;
    }
    if (event_ < trial_.EventCount() && elapsed >= trial_.eventTimes[static_cast<size_t>(event_)]) {
        uint8_t code = trial_.eventCodes[static_cast<size_t>(event_)];
        if (code == 6)
            Send(settings_.figureOn, settings_.figureOnValue);
        else if (code == 7)
            Send(settings_.figureOff, settings_.figureOffValue);
        ++event_;
    }
    if (settings_.key >= 0 && key_ < trial_.KeyCount() && elapsed >= trial_.keyTimes[static_cast<size_t>(key_)]) {
        Send(settings_.key, FormatInt(trial_.keyCodes[static_cast<size_t>(key_)]));
        ++key_;
    }
    return true;
}

} // namespace orvix
