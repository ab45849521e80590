#include "document/doc_trialrecords.h"

#include "document/orvixdoc.h"
#include "platform/ui/ui.h"

namespace orvix {

int CDocTrialRecords::GetTrialCount() const { return doc_.GetTrialCount(); }

bool CDocTrialRecords::GetTrialResponse(int i, int values[5]) const
{
    const CTrial* t = doc_.GetTrial(i);
    if (!t)
        return false;
    for (int k = 0; k < 4; ++k)
        values[k] = t->responses[static_cast<size_t>(k)];
    values[4] = t->response5;
    return true;
}

void CDocTrialRecords::GetChannelResponses(const CTrial& trial, double out[8]) const
{
    for (int c = 0; c < 8; ++c)
        out[c] = trial.GetChannelResponse(c);
}

void CDocTrialRecords::ComputeChannelResponses(int i, int window, double out[8])
{
    CTrial* t = doc_.GetTrial(i);
    if (!t) {
        for (int c = 0; c < 8; ++c)
            out[c] = -1.0;
        return;
    }
    // Asked for by the user (a new analysis time, a channel key): the answer is a box.
    if (std::string problem = t->ComputeResponse(window); !problem.empty())
        MessageBox(problem);
    GetChannelResponses(*t, out);
}

bool CDocTrialRecords::GetPlaybackTrial(int i, CPlaybackTrial& out) const
{
    const CTrial* t = doc_.GetTrial(i);
    if (!t)
        return false;
    out.length = t->length;
    out.commandIndex = t->commandIndex;
    out.dtoAH = t->DtoAH;
    out.dtoAV = t->DtoAV;
    out.dtoAH2 = t->DtoAH2;
    out.dtoAV2 = t->DtoAV2;
    out.h0 = t->H0;
    out.v0 = t->V0;
    out.eyeH = t->hSamples;
    out.eyeV = t->vSamples;
    out.eventTimes = t->eventTimes;
    out.eventCodes = t->eventCodes;
    out.keyTimes = t->keyTimes;
    out.keyCodes = t->keyCodes;
    return true;
}

int CDocTrialRecords::GetCommandCount() const { return doc_.GetCommandRowCount(); }

const std::vector<CParam>& CDocTrialRecords::GetCommand(int i) const { return doc_.GetCommand(i); }

} // namespace orvix
