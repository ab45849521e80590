// The fixation task the runner's tests and its benchmark run: fixate for "FixTime", then
// the target and figure come on and the key answers (left is a hit); no key within
// timeoutMs is a miss.
#pragma once
#include <string>

inline std::string FixationTask(int timeoutMs, const std::string& saveResponse = "SaveResponse")
{
    return R"TASK(int tStart;
int hit;

int Finish()
{
    TurnOffFig();
    TurnOffTarget();
    if (hit) DoHitAct(); else DoMissAct();
    )TASK" + saveResponse + R"TASK((hit, nCurrentTime - tStart, 0, 0, TRIAL_END);
    nTaskState = ITI;
    if (hit) return TRIAL_HIT;
    return TRIAL_MISS;
}

int TaskEntry()
{
    if (nTaskState == ITI) {
        tStart = nCurrentTime;
        nTaskState = FOREP;
    } else if (nTaskState == FOREP) {
        if (OnFP() && nCurrentTime - tStart >= GetBehavParam("FixTime")) {
            TurnOnTarget();
            TurnOnFig();
            tStart = nCurrentTime;
            nTaskState = TARGET_ON;
        }
    } else if (nTaskState == TARGET_ON) {
        if (nKeyPos != KEY_CENTER) {
            SaveKeyState(nKeyPos);
            hit = (nKeyPos == KEY_LEFT);
            return Finish();
        }
        if (nCurrentTime - tStart > )TASK" + std::to_string(timeoutMs) + R"TASK() { hit = 0; return Finish(); }
    }
    return TRIAL_CONTINUE;
}
)TASK";
}
