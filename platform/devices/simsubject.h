// The simulated subject of the run command: a trained observer of the two-choice demo task.
// It watches what the renderer is told to show (the fixation point, the figure and the
// stimulus parameter that decides the answer), looks at the fixation point once it comes on,
// holds it (also where a calibration moves it), and answers on the digital-I/O board's key
// after a reaction time: correct more often and sooner the stronger the stimulus, now and
// then too early, now and then looking away. The simulated eye tracker reads its gaze.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>

namespace orvix {

class CSimulatedSubject {
public:
    // The graph parameters the subject watches, and how it reads them.
    struct Settings {
        std::string target = "TARGET";    // the fixation point: "0" off, anything else on
        std::string figure = "FIGURE";    // the stimulus: "0" off, anything else on
        std::string stimulus = "OR";      // < 0: left is right, > 0: right is; |value| is the strength
        std::string fixH = "TPOSH";       // the fixation point's place in units
        std::string fixV = "TPOSV";
        double unitsPerDeg = 60.0;
        double threshold = 6.0;           // strength at which about 82% of the answers are right
        double earlyRate = 0.04;          // answers before the figure, per trial
        double breakRate = 0.02;          // looks away while holding fixation, per trial
    };
    // Key letters of the board.
    static constexpr char kLeft = 'L', kRight = 'R', kCentre = 'C';
    // Raw eye-tracker values of the straight-ahead gaze, and raw units per degree. They are
    // not those of the tracker's default calibration (2560, 1280; 50 and -25 per degree), as
    // no real subject's are: uncalibrated, the eye is seen about 1.4 degrees off the point it
    // looks at (still inside the default fixation window), and a calibration puts it there.
    static constexpr int kRawH0 = 2600, kRawV0 = 1250;
    static constexpr double kRawPerDegH = 55.0, kRawPerDegV = -28.0;

    // press: sets the board's key (the real board by default). With `run`, a thread of the
    // subject's own answers on time; without, whoever drives it calls Tick.
    CSimulatedSubject(Settings settings, uint32_t seed, std::function<void(char)> press = {}, bool run = true);
    // The run command's subject: default settings, seeded from the clock, answering on the
    // simulated board.
    CSimulatedSubject();
    ~CSimulatedSubject();
    CSimulatedSubject(const CSimulatedSubject&) = delete;
    CSimulatedSubject& operator=(const CSimulatedSubject&) = delete;

    // The renderer was told: graph parameter `name` now has `value`, at time now (ms).
    void See(const std::string& name, const std::string& value, uint32_t now);
    // Presses and releases the key whose time has come.
    void Tick(uint32_t now);
    // Where the subject looks at time now, as raw eye-tracker values.
    void Gaze(uint32_t now, int& rawH, int& rawV);

    int Answers() const;

private:
    void Loop();
    void Press(char key, uint32_t now);
    void ScheduleAnswer(uint32_t now);
    double Uniform() { return std::uniform_real_distribution<double>(0.0, 1.0)(rng_); }

    Settings settings_;
    std::function<void(char)> press_;
    mutable std::mutex mutex_;
    std::mt19937 rng_;

    // What is shown.
    bool targetOn_ = false, figureOn_ = false;
    double stimulus_ = 0.0;
    double fixH_ = 0.0, fixV_ = 0.0; // degrees
    // What the subject does.
    uint32_t lookAt_ = 0;            // the gaze reaches the fixation point
    bool looking_ = false;
    uint32_t breakFrom_ = 0, breakTo_ = 0;
    bool pending_ = false;           // a key press is due at pressAt_
    uint32_t pressAt_ = 0;
    char pressKey_ = kCentre;
    bool holding_ = false;           // a key is down until releaseAt_
    uint32_t releaseAt_ = 0;
    int answers_ = 0;

    bool stop_ = false;
    std::condition_variable wake_;
    std::thread thread_;
};

// The subject the simulated eye tracker follows; null when none exists.
CSimulatedSubject* ActiveSimulatedSubject();

} // namespace orvix
