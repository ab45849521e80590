// The simulated subject as the demonstration needs it: where it looks, and how its answers
// depend on the stimulus.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/devices/simsubject.h"

using namespace orvix;

namespace {

struct Answer {
    char key;
    uint32_t at;
};

// A subject without its own thread; its key presses are recorded.
struct Fixture {
    std::vector<Answer> presses;
    uint32_t now = 0;
    CSimulatedSubject subject{CSimulatedSubject::Settings(), 1234,
                              [this](char key) {
                                  if (key != CSimulatedSubject::kCentre)
                                      presses.push_back({key, now});
                              },
                              false};
    void Run(uint32_t ms)
    {
        for (uint32_t end = now + ms; now < end; now += 5)
            subject.Tick(now);
    }
};

} // namespace

TEST(SimulatedSubject, LooksAtTheFixationPointOnceItComesOn)
{
    Fixture f;
    int h = 0, v = 0;
    // At rest: 8 deg right, 5 deg down, from the straight-ahead (2600, 1250) at 55 and -28
    // raw units per degree.
    f.subject.Gaze(0, h, v);
    EXPECT_NEAR(h, 2600 + 440, 20);
    EXPECT_NEAR(v, 1250 + 140, 20);
    // A fixation point at 2 deg right (120 units at 60 per degree) is looked at within
    // 400 ms of coming on.
    f.subject.See("TPOSH", "120", 0);
    f.subject.See("TARGET", "1", 1000);
    f.subject.Gaze(1500, h, v);
    EXPECT_NEAR(h, 2600 + 110, 20);
    EXPECT_NEAR(v, 1250, 20);
    f.subject.See("TARGET", "0", 2000);
    f.subject.Gaze(2000, h, v);
    EXPECT_NEAR(h, 3040, 20);
}

TEST(SimulatedSubject, StrongerStimuliGiveMoreRightAndFasterAnswers)
{
    Fixture f;
    struct Tally {
        int right = 0, answered = 0, early = 0, trials = 0;
        std::vector<uint32_t> rts;
    };
    auto session = [&](int strength) {
        Tally t;
        for (int i = 0; i < 1000; ++i) {
            int sign = i % 2 ? 1 : -1;
            f.presses.clear();
            f.subject.See("OR", std::to_string(sign * strength), f.now);
            f.subject.See("TARGET", "1", f.now);
            f.Run(700); // the eye arrives, fixation held
            bool early = !f.presses.empty();
            uint32_t onset = f.now;
            f.subject.See("FIGURE", "1", onset);
            f.Run(2500);
            f.subject.See("FIGURE", "0", f.now);
            f.subject.See("TARGET", "0", f.now);
            f.Run(200);
            ++t.trials;
            if (early) {
                ++t.early;
                continue;
            }
            if (f.presses.size() != 1u)
                continue;
            ++t.answered;
            t.right += f.presses[0].key == (sign < 0 ? 'L' : 'R');
            t.rts.push_back(f.presses[0].at - onset);
        }
        return t;
    };
    Tally weak = session(2), strong = session(20);
    EXPECT_GT(weak.answered, 900);
    // Weibull from chance: about 59% right at strength 2, all but certain at 20.
    EXPECT_NEAR(weak.right / double(weak.answered), 0.59, 0.06);
    EXPECT_GT(strong.right / double(strong.answered), 0.97);
    // Early answers about 4% of the trials.
    EXPECT_NEAR((weak.early + strong.early) / 2000.0, 0.04, 0.02);
    auto mean = [](const std::vector<uint32_t>& rts) {
        double sum = 0;
        for (uint32_t rt : rts)
            sum += rt;
        return sum / rts.size();
    };
    EXPECT_GT(mean(weak.rts), mean(strong.rts) + 100);
    int within = 0;
    for (uint32_t rt : strong.rts)
        within += rt >= 150 && rt <= 600;
    EXPECT_GT(within, 0.9 * strong.rts.size());
}
