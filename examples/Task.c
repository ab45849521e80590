// A demonstration task for the simulated subject: the target (fixation point) comes on, the
// eye holds it for 300 ms, the figure shows for 500 ms, and the trial ends. A trial whose
// fixation does not come within 3 s fails and its condition comes again.
int tStart;

int TaskEntry()
{
    int r;
    r = TRIAL_CONTINUE;
    if (nTaskState == ITI) {
        if (nCurrentTime - tStart >= 1000) {
            TurnOnTarget();
            tStart = nCurrentTime;
            nTaskState = FOREP;
        }
    } else if (nTaskState == FOREP) {
        if (OnFP() && nCurrentTime - tStart >= 300) {
            TurnOnFig();
            tStart = nCurrentTime;
            nTaskState = FOREP1;
        } else if (nCurrentTime - tStart > 3000) {
            TurnOffTarget();
            tStart = nCurrentTime;
            nTaskState = ITI;
            r = TRIAL_FAIL;
        }
    } else if (nTaskState == FOREP1) {
        if (nCurrentTime - tStart >= 500) {
            TurnOffFig();
            TurnOffTarget();
            DoHitAct();
            SaveResponse(1, nCurrentTime - tStart, 0, 0, 0);
            tStart = nCurrentTime;
            nTaskState = ITI;
            r = TRIAL_END;
        }
    }
    return r;
}
