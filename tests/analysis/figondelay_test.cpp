#include "analysis/figondelay.h"

#include <cmath>
#include <gtest/gtest.h>

#include "tests/analysis/synthetic_trials.h"

using namespace orvix;

namespace {

TEST(FigOnDelay, RecoversAnInjectedDelay)
{
    // A real display's rate: with whole-ms clock readings the onsets fall all over the
    // frame, so that a wrong delay always moves some trials by a frame.
    const double rate = 72.207067;
    for (double delay : {4.3, 1.7, 8.2, 12.9}) {
        auto trials = Synthetic(rate, delay, 120, 11);
        FigOnDelayEstimate e = EstimateFigOnDelay(Pointers(trials), kChannel, rate);
        ASSERT_EQ(e.status, FigOnDelayEstimate::ESTIMATED);
        EXPECT_NEAR(e.delay, delay, 1e-9) << delay;
        EXPECT_EQ(e.usedTrials, 120);
    }
}

TEST(FigOnDelay, DelaysAndPairWindow)
{
    auto trials = Synthetic(72.207067, 5.0, 50, 3);
    FigOnDelayEstimate e = EstimateFigOnDelay(Pointers(trials), kChannel, 72.207067);
    EXPECT_EQ(e.delaysTried, 138); // P = 13.849 ms: 0.1 ... 13.8
    EXPECT_EQ(e.window, 40);       // trial 0 meets trials 1 ... 39
    EXPECT_GE(e.delay, 0.1);
    EXPECT_LE(e.delay, 13.8);
    // Beyond 1000 trials each still meets its neighbour.
    auto many = Synthetic(72.207067, 3.0, 1500, 5);
    FigOnDelayEstimate m = EstimateFigOnDelay(Pointers(many), kChannel, 72.207067);
    EXPECT_EQ(m.window, 2);
    EXPECT_NEAR(m.delay, 3.0, 1e-9);
}

// The cases that have no estimate end at once with a reason, never with NaN or a hang.
TEST(FigOnDelay, CasesWithoutAnEstimate)
{
    std::vector<std::unique_ptr<CTrial>> none;
    EXPECT_EQ(EstimateFigOnDelay(Pointers(none), kChannel, 72.0).delay, -1.0);
    EXPECT_EQ(EstimateFigOnDelay(Pointers(none), kChannel, 72.0).status, FigOnDelayEstimate::NO_TRIALS);

    auto trials = Synthetic(100.0, 2.0, 3, 1);
    for (double rate : {0.0, -5.0, 0.5, std::nan(""), double(INFINITY)})
        EXPECT_EQ(EstimateFigOnDelay(Pointers(trials), kChannel, rate).status, FigOnDelayEstimate::BAD_FRAME_RATE)
            << rate;

    for (auto& t : trials)
        t->channelResponses[kChannel] = -1.0f; // not computed
    EXPECT_EQ(EstimateFigOnDelay(Pointers(trials), kChannel, 100.0).status, FigOnDelayEstimate::NO_USED_TRIALS);
    trials[1]->channelResponses[kChannel] = 0.0f; // 0.0 counts
    FigOnDelayEstimate one = EstimateFigOnDelay(Pointers(trials), kChannel, 100.0);
    EXPECT_EQ(one.status, FigOnDelayEstimate::NO_PAIRS);
    EXPECT_EQ(one.usedTrials, 1);

    // Two trials without a spike: every histogram is empty, every pair counts 0.
    std::vector<std::unique_ptr<CTrial>> silent;
    silent.push_back(Trial(1000, 300));
    silent.push_back(Trial(4000, 310));
    FigOnDelayEstimate s = EstimateFigOnDelay(Pointers(silent), kChannel, 100.0);
    EXPECT_EQ(s.status, FigOnDelayEstimate::ESTIMATED);
    EXPECT_EQ(s.delay, 0.0);
    EXPECT_EQ(s.emptyTrials, 2);
}

TEST(FigOnDelay, OffsetsLatenciesAndCorrelation)
{
    const double p = 1000.0 / 72.207067;
    EXPECT_EQ(FrameOffset(0, p), 0.0);
    EXPECT_NEAR(FrameOffset(static_cast<uint32_t>(std::lround(100 * 10.0)), 10.0), 0.0, 1e-12);
    EXPECT_NEAR(FrameOffset(1002, 10.0), 8.0, 1e-9);  // 0.2 frame after a line
    EXPECT_NEAR(FrameOffset(2505, 10.0), 5.0, 1e-9);
    EXPECT_NEAR(FrameOffset(1, 4.0), 3.0, 1e-12);     // 0.25 frame after: 0.75 P

    auto t = Trial(1000, 100);
    t->AddSpike(1u << kChannel, 990);        // before the onset: skipped
    t->AddSpike(1u << kChannel, 1000);       // at the onset: 0.0 (a hair above)
    t->AddSpike(1u << 2, 1500);              // another channel
    t->AddSpike(1u << kChannel, 3199);       // 219.9 ms after: taken
    t->AddSpike(1u << 2, 3201);              // 220.1 ms after: ends the scan
    t->AddSpike(1u << kChannel, 3300);
    std::vector<double> l = SpikeLatencies(*t, kChannel);
    ASSERT_EQ(l.size(), 2u);
    EXPECT_NEAR(l[0], 0.0, 1e-5);
    EXPECT_GT(l[0], 0.0); // 1000 x 0.1f
    EXPECT_NEAR(l[1], 219.9, 1e-4);
    auto noOnset = Trial(1000, -1);
    noOnset->AddSpike(1u << kChannel, 0);
    EXPECT_EQ(SpikeLatencies(*noOnset, kChannel), std::vector<double>{0.0});

    const double a[] = {1, -1, 0}, b[] = {2, -2, 0}, zero[] = {0, 0, 0};
    EXPECT_DOUBLE_EQ(NormalizedDotProduct(a, b, 2, 8, 3), 1.0);
    EXPECT_EQ(NormalizedDotProduct(a, zero, 2, 0, 3), 0.0);
}

} // namespace
