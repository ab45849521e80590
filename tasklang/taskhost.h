// ITaskHost: everything a task program reaches outside the language itself. The task
// runner implements it; the compiler asks it for parameter indexes and its log, and the
// built-in functions that touch the trial, the document or the devices call it.
// Index and object-id arguments are range-checked before they get here.
#pragma once
#include <array>
#include <string>

namespace orvix {

// The runner fields that task programs read and write by name.
struct TaskBoundVariables {
    int* nCurrentTime = nullptr; // system time of the current pass, ms
    int* nKeyPos = nullptr;      // last digital-input byte
    int* nTaskState = nullptr;   // the task state; its changes become trial events
};

class ITaskHost {
public:
    virtual ~ITaskHost() = default;

    // ---- Compilation ----
    // Index of a parameter in its table, -1 when missing; nothing is added.
    virtual int FindBehavParam(const std::string& name) = 0;
    virtual int FindGraphParam(const std::string& name) = 0;
    // One line into the document's log; never blocks.
    virtual void LogLine(const std::string& text) = 0;
    // Storage of the bound variables; it must live as long as the compiled program.
    virtual TaskBoundVariables BoundVariables() = 0;

    // ---- Parameters (indexes are in 0 .. count-1 when these are called) ----
    virtual int GetGraphParamCount() = 0;
    virtual int GetGraphParamInt(int index) = 0;
    virtual double GetGraphParamReal(int index) = 0;
    virtual int GetBehavParamCount() = 0;
    virtual int GetBehavParamInt(int index) = 0;
    virtual double GetBehavParamReal(int index) = 0;
    // Sets the document's graph parameter to an integer and refreshes its page entry.
    virtual void SetGraphParamValue(int index, int value) = 0;

    // ---- Renderer (object id in 0..255 when called) ----
    virtual void SendObjectCommand(int objectId, const std::string& text, bool wait) = 0;
    virtual void TurnOnTarget() = 0;
    virtual void TurnOffTarget() = 0;
    virtual void FlipTarget() = 0;
    // Figure on/off with acknowledgement, and the FIG_ON / FIG_OFF trial event.
    virtual void TurnOnFig() = 0;
    virtual void TurnOffFig() = 0;

    // ---- Subject, eye and devices ----
    // 1 when the eye is inside the fixation window around the target position.
    virtual int OnFP() = 0;
    // Reads the digital input now ('C' without a device).
    virtual int GetKeyPos() = 0;
    // Eye position in degrees.
    virtual float GetFPH() = 0;
    virtual float GetFPV() = 0;
    virtual void DoEarlyAct() = 0;
    virtual void DoHitAct() = 0;
    virtual void DoMissAct() = 0;
    virtual int ReadAICh_mv(int channel, int gainCode) = 0;
    // 1 while that key of the experimenter's keyboard is down.
    virtual int KeyDown(int virtualKey) = 0;
    // The next value 0..32767 of the runner's random generator.
    virtual int NextRandom() = 0;

    // ---- Trial and document ----
    // The document's test-running flag.
    virtual int Recording() = 0;
    virtual void SaveKeyState(int keyCode) = 0;
    // Stores five response values into the current trial; showOnPage also puts them on
    // the Response page.
    virtual void SaveResponse(const std::array<int, 5>& values, bool showOnPage) = 0;
    // Eye-position view: sampling display on (non-zero) or off.
    virtual void FPUpdate(int flag) = 0;
    virtual void FPCircle(int a, int b, int c, int d) = 0;
    virtual void FPRectangle(int a, int b, int c, int d, int e) = 0;
};

} // namespace orvix
