// The replay of recorded trials on the renderer, one pass at a time: at the start of a
// trial the scene is reset and the trial's stimulus command sent; each pass then sends at
// most one eye position, one figure event and one key position that are due.
#pragma once
#include <cstdint>
#include <string>

#include "document/trialrecords.h"

namespace orvix {

class CDeviceIO;
class COrvixDoc;

struct CPlaybackSettings {
    // Graph-parameter indexes (renderer object ids), -1 when the named parameter is missing.
    int eye = -1, targetOff = -1, figureOn = -1, figureOff = -1, key = -1;
    std::string targetOffValue, figureOnValue, figureOffValue;
    float bin = 16.6667f;  // ms between eye samples
    float units = 60.0f;   // renderer units per degree
};

class CPlaybackRun {
public:
    CPlaybackRun(COrvixDoc& doc, CDeviceIO& io, const CPlaybackSettings& settings)
        : doc_(doc), io_(io), settings_(settings)
    {
    }

    // Starts trial pos at time now (ms): copies the trial, resets the scene and sends its
    // stimulus command. False when the document has no such trial.
    bool BeginTrial(int pos, uint32_t now);
    // One pass at time now; false once the trial is over.
    bool Pass(uint32_t now);

    const CPlaybackTrial& Trial() const { return trial_; }

private:
    void Send(int objectId, const std::string& text);

    COrvixDoc& doc_;
    CDeviceIO& io_;
    CPlaybackSettings settings_;
    CPlaybackTrial trial_;
    uint32_t t0_ = 0;
    int eye_ = 0, event_ = 0, key_ = 0;
    // Raw eye offsets: those of trial 0 once it has been replayed in this run.
    int offH_ = 0, offV_ = 0;
};

} // namespace orvix
