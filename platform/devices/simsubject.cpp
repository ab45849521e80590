#include "platform/devices/simsubject.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>

#include "platform/kernel/sim_board.h"
#include "platform/runtime/clock.h"
#include "platform/text/numbers.h"

namespace orvix {

namespace {

std::atomic<CSimulatedSubject*> g_active{nullptr};

// Where the eyes rest while there is nothing to look at, and how far a glance away goes.
constexpr double kRestH = 8.0, kRestV = -5.0;
constexpr double kAwayDeg = 7.0;
constexpr uint32_t kHoldMs = 150;      // a key stays down this long
constexpr uint32_t kTickMs = 5;

bool IsOn(const std::string& value) { return ParseDouble(value.c_str()) != 0.0; }

} // namespace

CSimulatedSubject::CSimulatedSubject(Settings settings, uint32_t seed, std::function<void(char)> press, bool run)
    : settings_(std::move(settings)), press_(std::move(press)), rng_(seed)
{
    if (!press_)
        press_ = [](char key) { kernel::Board().StrobeKey(key); };
    g_active = this;
    if (run)
        thread_ = std::thread(&CSimulatedSubject::Loop, this);
}

CSimulatedSubject::CSimulatedSubject()
    : CSimulatedSubject(Settings(),
                        static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()))
{
}

CSimulatedSubject::~CSimulatedSubject()
{
    CSimulatedSubject* self = this;
    g_active.compare_exchange_strong(self, nullptr);
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

CSimulatedSubject* ActiveSimulatedSubject() { return g_active; }

int CSimulatedSubject::Answers() const
{
    std::lock_guard lock(mutex_);
    return answers_;
}

void CSimulatedSubject::See(const std::string& name, const std::string& value, uint32_t now)
{
    std::lock_guard lock(mutex_);
    if (name == settings_.target) {
        bool on = IsOn(value);
        if (on && !targetOn_) {
            // A saccade to the new point, now and then a glance away while holding it, and
            // now and then an answer that cannot wait for the figure.
            double latency = std::clamp(std::normal_distribution<double>(200.0, 40.0)(rng_), 120.0, 400.0);
            lookAt_ = now + static_cast<uint32_t>(latency);
            looking_ = true;
            breakFrom_ = breakTo_ = 0;
            if (Uniform() < settings_.breakRate) {
                breakFrom_ = lookAt_ + 100 + static_cast<uint32_t>(Uniform() * 200);
                breakTo_ = breakFrom_ + 400;
            }
            if (Uniform() < settings_.earlyRate && !holding_) {
                pending_ = true;
                pressAt_ = lookAt_ + 50 + static_cast<uint32_t>(Uniform() * 200);
                pressKey_ = Uniform() < 0.5 ? kLeft : kRight;
            }
        } else if (!on && targetOn_) {
            looking_ = false;
            pending_ = false;
        }
        targetOn_ = on;
    } else if (name == settings_.figure) {
        bool on = IsOn(value);
        if (on && !figureOn_ && !pending_ && !holding_)
            ScheduleAnswer(now);
        else if (!on)
            pending_ = false;
        figureOn_ = on;
    } else if (name == settings_.stimulus) {
        stimulus_ = ParseDouble(value.c_str());
    } else if (name == settings_.fixH) {
        fixH_ = ParseDouble(value.c_str()) / settings_.unitsPerDeg;
    } else if (name == settings_.fixV) {
        fixV_ = ParseDouble(value.c_str()) / settings_.unitsPerDeg;
    }
}

void CSimulatedSubject::ScheduleAnswer(uint32_t now)
{
    // A Weibull psychometric function from chance (0.5) up, and answers that come sooner
    // for stronger stimuli: a normal part plus an exponential tail.
    double s = std::fabs(stimulus_);
    double t = settings_.threshold > 0 ? settings_.threshold : 1.0;
    double pCorrect = 1.0 - 0.5 * std::exp(-std::pow(s / t, 1.5));
    char correct = stimulus_ < 0 ? kLeft : stimulus_ > 0 ? kRight : (Uniform() < 0.5 ? kLeft : kRight);
    char wrong = correct == kLeft ? kRight : kLeft;
    pressKey_ = Uniform() < pCorrect ? correct : wrong;
    double mean = 300.0 + 250.0 * std::exp(-s / t);
    double rt = std::normal_distribution<double>(mean - 60.0, 40.0)(rng_)
        + std::exponential_distribution<double>(1.0 / 60.0)(rng_);
    pressAt_ = now + static_cast<uint32_t>(std::max(rt, 150.0));
    pending_ = true;
}

void CSimulatedSubject::Press(char key, uint32_t now)
{
    press_(key);
    holding_ = true;
    releaseAt_ = now + kHoldMs;
    ++answers_;
}

void CSimulatedSubject::Tick(uint32_t now)
{
    std::lock_guard lock(mutex_);
    if (pending_ && static_cast<int32_t>(now - pressAt_) >= 0) {
        pending_ = false;
        Press(pressKey_, now);
    }
    if (holding_ && static_cast<int32_t>(now - releaseAt_) >= 0) {
        holding_ = false;
        press_(kCentre);
    }
}

void CSimulatedSubject::Gaze(uint32_t now, int& rawH, int& rawV)
{
    std::lock_guard lock(mutex_);
    double h = kRestH, v = kRestV;
    if (looking_ && static_cast<int32_t>(now - lookAt_) >= 0) {
        h = fixH_;
        v = fixV_;
        if (breakTo_ != breakFrom_ && static_cast<int32_t>(now - breakFrom_) >= 0
            && static_cast<int32_t>(now - breakTo_) < 0)
            h += kAwayDeg;
    }
    std::normal_distribution<double> jitter(0.0, 0.1);
    rawH = kRawH0 + static_cast<int>(std::lround((h + jitter(rng_)) * kRawPerDegH));
    rawV = kRawV0 + static_cast<int>(std::lround((v + jitter(rng_)) * kRawPerDegV));
}

void CSimulatedSubject::Loop()
{
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(kTickMs), [this] { return stop_; })) {
        lock.unlock();
        Tick(TickMs());
        lock.lock();
    }
}

} // namespace orvix
