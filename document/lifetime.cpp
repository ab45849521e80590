// The document's lifetime beyond its parameters: a new document, clearing, the trial list.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "document/orvixdoc.h"

namespace orvix {

std::vector<float> BuildSmoothingKernel(int width)
{
    // A width below one sample leaves the curve as it is.
    if (width < 1)
        return {1.0f};
    const double k = width;
    std::vector<float> kernel(static_cast<size_t>(6 * width + 1));
    for (size_t i = 0; i < kernel.size(); ++i) {
        double d = static_cast<double>(i) - 3 * k;
        kernel[i] = static_cast<float>(std::exp(-d * d / (2 * k * k)) / (k * std::sqrt(6.283185307)));
    }
    return kernel;
}

bool COrvixDoc::OnNewDocument()
{
    if (!CDocument::OnNewDocument())
        return false;
    if (experiment_)
        experiment_->ResetActionCounts();
    GetExpParam("AccumedTimes", CParam(nullptr, 0)) = 0;
    ClearResponsePage();
    UpdateChannelRates(nullptr);
    for (int c = 0; c < kChannelCount; ++c)
        UpdateChannelDisplay(c);
    dataFilePath.clear();
    dataFileBase_.clear();
    fileLoaded = 0;
    UpdateAllViews(nullptr, HINT_REBUILD);
    return true;
}

void COrvixDoc::DeleteContents()
{
    // Merging files adds to the trials already there.
    if (!mergeMode) {
        trials_.clear();
        trialTable.SetRowCount(0);
    }
    for (auto& a : reservedArrays)
        a.clear();
    notes.clear();
    ShowNotesOnPanel();
    channelSums.fill(0.0f);
    CDocument::DeleteContents();
    Notify([](IDocObserver& o) { o.OnContentsDeleted(); });
}

CTrial* COrvixDoc::GetTrial(int i) const
{
    if (i < 0 || i >= GetTrialCount())
        return nullptr;
    return trials_[static_cast<size_t>(i)].get();
}

void COrvixDoc::AddTrial(CTrial* trial)
{
    if (!trial)
        return;
    trials_.emplace_back(trial);
    trialTable.SetRowCount(GetTrialCount());
    FillTrialRow(GetTrialCount() - 1);
}

void COrvixDoc::RemoveTrial(int i)
{
    CTrial* trial = GetTrial(i);
    if (!trial)
        return;
    for (int c = 0; c < kChannelCount; ++c) {
        double r = trial->GetChannelResponse(c);
        if (r >= 0)
            channelSums[static_cast<size_t>(c)] -= static_cast<float>(r);
    }
    trials_.erase(trials_.begin() + i);
    if (i < trialTable.GetRowCount())
        trialTable.EraseRows(i, 1);
}

void COrvixDoc::GetTrialExtent(int& width, int& height) const
{
    uint32_t longest = 0;
    for (const auto& t : trials_)
        longest = std::max(longest, t->GetLength());
    width = static_cast<int>(std::min<uint32_t>(longest, INT32_MAX));
    height = GetTrialCount();
}

void COrvixDoc::ShowNotesOnPanel()
{
    Notify([&](IDocObserver& o) { o.OnNotesChanged(notes); });
}

} // namespace orvix
