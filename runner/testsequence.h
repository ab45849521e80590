// CTestSequence: which stimulus command the next trial of a random test shows. Three
// orders: balanced blocks, command groups, and one plain random pool; each ends after
// (number of commands) x AccumTimes successful trials.
#pragma once
#include <cstdint>
#include <vector>

#include "model/param.h"
#include "platform/runtime/random.h"

namespace orvix {

struct TestSequenceSettings {
    int accumTimes = 0;
    int groupSize = 0;
    int groupNumParam = 0;
    int isBalanced = 0;
};

class COrvixDoc;

class CTestSequence {
public:
    // From the document's command rows and test settings ("AccumTimes",
    // "CommandGroupSize", "CommandGroupNumParam", "IsBalanced", each added as the integer 0
    // when missing); the generator is seeded from the clock.
    explicit CTestSequence(COrvixDoc* doc);
    // From given rows and settings; the generator is seeded with `seed`.
    CTestSequence(const std::vector<std::vector<CParam>>& commands, const TestSequenceSettings& settings,
                  uint32_t seed);
    virtual ~CTestSequence() = default;

    // The command of the next trial, -1 when the test is complete. atTrialStart: the
    // runner is between trials (it matters to groups of size 1 only).
    int Next(bool atTrialStart);
    // The trial of the command last returned ended with TRIAL_END.
    void MarkDone();
    int GetRepeat() const;
    int GetMaxRepeats() const;

    int GetGroupCount() const { return groupCount_; }

private:
    void Build(const std::vector<std::vector<CParam>>& commands, const TestSequenceSettings& settings);
    // floor(rand() x m / 32768)
    int RandomBelow(int m);
    bool Grouped() const { return groupSize_ >= 1 && groupNumParam_ >= 1; }

    CRandom15 random_;
    std::vector<int32_t> pending_;
    std::vector<std::vector<int32_t>> groups_;
    std::vector<int32_t> order_;
    std::vector<int32_t> repeatCount_;
    std::vector<int32_t> groupPos_;
    int32_t commandCount_ = 0;
    int32_t accumTimes_ = 0;
    int32_t groupSize_ = 0;
    int32_t groupNumParam_ = 0;
    int32_t isBalanced_ = 0;
    int32_t doneCount_ = 0;
    int32_t current_ = -1;
    int32_t position_ = -1;
    int32_t groupCount_ = 0;
    int32_t currentGroup_ = 0;
    int32_t doneInGroup_ = 0;
};

} // namespace orvix
