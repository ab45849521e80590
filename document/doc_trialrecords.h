// The document's own trials and stimulus commands, as the control panel and the channel
// rates read them.
#pragma once
#include "document/trialrecords.h"

namespace orvix {

class COrvixDoc;

class CDocTrialRecords : public ITrialRecords {
public:
    explicit CDocTrialRecords(COrvixDoc& doc) : doc_(doc) {}
    int GetTrialCount() const override;
    bool GetTrialResponse(int i, int values[5]) const override;
    void GetChannelResponses(const CTrial& trial, double out[8]) const override;
    void ComputeChannelResponses(int i, int window, double out[8]) override;
    bool GetPlaybackTrial(int i, CPlaybackTrial& out) const override;
    int GetCommandCount() const override;
    const std::vector<CParam>& GetCommand(int i) const override;

private:
    COrvixDoc& doc_;
};

} // namespace orvix
