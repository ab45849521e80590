#include "runner/testsequence.h"

#include <algorithm>

#include "document/orvixdoc.h"

namespace orvix {

CTestSequence::CTestSequence(const std::vector<std::vector<CParam>>& commands, const TestSequenceSettings& settings,
                             uint32_t seed)
    : random_(seed)
{
    Build(commands, settings);
}

CTestSequence::CTestSequence(COrvixDoc* doc)
{
    std::vector<std::vector<CParam>> rows;
    TestSequenceSettings settings;
    if (doc) {
        for (int i = 0; i < doc->GetCommandCount(); ++i)
            rows.push_back(doc->GetCommand(i));
        settings.accumTimes = doc->GetExpParam("AccumTimes", CParam(nullptr, 0)).GetInt();
        settings.groupSize = doc->GetExpParam("CommandGroupSize", CParam(nullptr, 0)).GetInt();
        settings.groupNumParam = doc->GetExpParam("CommandGroupNumParam", CParam(nullptr, 0)).GetInt();
        settings.isBalanced = doc->GetExpParam("IsBalanced", CParam(nullptr, 0)).GetInt();
    }
    Build(rows, settings);
}

int CTestSequence::RandomBelow(int m)
{
    return static_cast<int>(random_.Next() * static_cast<double>(m) / 32768.0);
}

void CTestSequence::Build(const std::vector<std::vector<CParam>>& commands, const TestSequenceSettings& settings)
{
    commandCount_ = static_cast<int32_t>(commands.size());
    accumTimes_ = settings.accumTimes;
    groupSize_ = settings.groupSize;
    groupNumParam_ = settings.groupNumParam;
    isBalanced_ = settings.isBalanced;
    order_.resize(static_cast<size_t>(commandCount_));
    for (int32_t i = 0; i < commandCount_; ++i)
        order_[static_cast<size_t>(i)] = i;
    repeatCount_.assign(static_cast<size_t>(commandCount_), 0);
    if (!Grouped())
        return;

    // Commands whose first groupNumParam values are equal form a group, numbered in the
    // order of their first command. Only positions present in both rows are compared.
    std::vector<int32_t> label(static_cast<size_t>(commandCount_), -1);
    for (int32_t i = 0; i < commandCount_; ++i) {
        if (label[static_cast<size_t>(i)] != -1)
            continue;
        int32_t g = groupCount_++;
        label[static_cast<size_t>(i)] = g;
        const auto& rowI = commands[static_cast<size_t>(i)];
        for (int32_t j = i + 1; j < commandCount_; ++j) {
            if (label[static_cast<size_t>(j)] != -1)
                continue;
            const auto& rowJ = commands[static_cast<size_t>(j)];
            size_t compared = std::min({static_cast<size_t>(groupNumParam_), rowI.size(), rowJ.size()});
            bool differs = false;
            for (size_t k = 0; k < compared && !differs; ++k)
                differs = rowI[k] != rowJ[k];
            if (!differs)
                label[static_cast<size_t>(j)] = g;
        }
    }
    groups_.resize(static_cast<size_t>(groupCount_));
    for (int32_t g = 0; g < groupCount_; ++g) {
        std::vector<int32_t> run;
        for (int32_t i = 0; i < commandCount_; ++i)
            if (label[static_cast<size_t>(i)] == g)
                run.push_back(i);
        auto& list = groups_[static_cast<size_t>(g)];
        for (int32_t r = 0; r < accumTimes_; ++r)
            list.insert(list.end(), run.begin(), run.end());
    }
    groupPos_.assign(static_cast<size_t>(groupCount_), 0);
    currentGroup_ = RandomBelow(groupCount_);
}

int CTestSequence::Next(bool atTrialStart)
{
    if (static_cast<int64_t>(doneCount_) >= static_cast<int64_t>(commandCount_) * accumTimes_)
        return -1;
    if (isBalanced_) {
        if (pending_.empty())
            pending_ = order_;
        position_ = RandomBelow(static_cast<int>(pending_.size()));
        current_ = pending_[static_cast<size_t>(position_)];
        return current_;
    }
    if (Grouped()) {
        if (groupSize_ == 1) {
            if (atTrialStart)
                currentGroup_ = RandomBelow(groupCount_);
            // An exhausted group passes to the next one that has commands left.
            for (int tries = 0; groupPos_[static_cast<size_t>(currentGroup_)]
                                >= static_cast<int32_t>(groups_[static_cast<size_t>(currentGroup_)].size());
                 ++tries) {
                if (tries >= groupCount_)
                    return -1;
                currentGroup_ = (currentGroup_ + 1) % groupCount_;
            }
            current_ = groups_[static_cast<size_t>(currentGroup_)][static_cast<size_t>(groupPos_[static_cast<size_t>(currentGroup_)])];
            return current_;
        }
        if (doneInGroup_ >= groupSize_) {
            doneInGroup_ = 0;
            int r = RandomBelow(groupCount_ - 1);
            currentGroup_ = r == currentGroup_ ? currentGroup_ + 1 : r;
            if (currentGroup_ >= groupCount_)
                currentGroup_ = 0;
        }
        for (int tries = 0; groups_[static_cast<size_t>(currentGroup_)].empty(); ++tries) {
            if (tries >= groupCount_)
                return -1;
            currentGroup_ = (currentGroup_ + 1) % groupCount_;
        }
        auto& list = groups_[static_cast<size_t>(currentGroup_)];
        position_ = RandomBelow(static_cast<int>(list.size()));
        current_ = list[static_cast<size_t>(position_)];
        return current_;
    }
    if (pending_.empty()) {
        for (int32_t r = 0; r < accumTimes_; ++r)
            pending_.insert(pending_.end(), order_.begin(), order_.end());
    }
    position_ = RandomBelow(static_cast<int>(pending_.size()));
    current_ = pending_[static_cast<size_t>(position_)];
    return current_;
}

void CTestSequence::MarkDone()
{
    if (current_ < 0 || current_ >= commandCount_)
        return;
    if (isBalanced_ || !Grouped()) {
        if (position_ >= 0 && position_ < static_cast<int32_t>(pending_.size()))
            pending_.erase(pending_.begin() + position_);
    } else if (groupSize_ >= 2) {
        auto& list = groups_[static_cast<size_t>(currentGroup_)];
        if (position_ >= 0 && position_ < static_cast<int32_t>(list.size()))
            list.erase(list.begin() + position_);
        ++doneInGroup_;
    } else {
        ++groupPos_[static_cast<size_t>(currentGroup_)];
    }
    ++doneCount_;
    ++repeatCount_[static_cast<size_t>(current_)];
}

int CTestSequence::GetRepeat() const
{
    if (current_ < 0 || current_ >= commandCount_)
        return 0;
    return repeatCount_[static_cast<size_t>(current_)];
}

int CTestSequence::GetMaxRepeats() const
{
    if (repeatCount_.empty())
        return -1;
    return *std::max_element(repeatCount_.begin(), repeatCount_.end());
}

} // namespace orvix
