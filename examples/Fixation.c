// A fixation task with a variable delay and a reward: the worked example of docs/tasklang.md.
// The fixation point (TARGET) comes on. Once the eye is on it, a delay of minDelay to
// maxDelay ms, drawn anew for each trial, must pass with the eye held; then the figure comes
// on and must be watched for the analysis window ("AnalysisTime" ms from its onset), after
// which the reward pulse comes (DoHitAct) and the trial ends. Looking away before that ends
// the trial too, without a reward: it is kept, and its condition comes again. No fixation
// within 3 s abandons the trial: it is not kept, and its condition comes again.
// Each trial saves its outcome (2 rewarded, 1 looked away during the delay, 3 looked away
// while the figure was on), its delay and the time the eye took to reach the point.
static int minDelay = 500;  // ms
static int maxDelay = 1500; // ms
int tOn;     // when the fixation point came on
int tStart;  // when the present state began
int delay;   // this trial's delay, ms
int reached; // ms from the point's onset to the eye on it
int result;  // the outcome Finish saves

// Ends the trial: the point off, the values saved, the next trial waits in ITI.
int Finish()
{
    TurnOffTarget();
    SaveResponse(result, delay, reached, 0, 0);
    tStart = nCurrentTime;
    nTaskState = ITI;
    if (result == TRIAL_HIT) return TRIAL_END;
    return TRIAL_REPEAT;
}

int TaskEntry()
{
    if (nTaskState == ITI) {
        // 500 ms between trials, then the fixation point and its window on the eye view.
        if (nCurrentTime - tStart >= 500) {
            TurnOnTarget();
            FPCircle(GetGraphParam("TPOSH"), GetGraphParam("TPOSV"), GetBehavParam("FPWinRad"), 10);
            tOn = nCurrentTime;
            nTaskState = FOREP;
        }
    } else if (nTaskState == FOREP) {
        // Waiting for the eye.
        if (OnFP()) {
            reached = nCurrentTime - tOn;
            delay = Rand(minDelay, maxDelay);
            tStart = nCurrentTime;
            nTaskState = FOREP1;
        } else if (nCurrentTime - tOn > 3000) {
            TurnOffTarget();
            tStart = nCurrentTime;
            nTaskState = ITI;
            return TRIAL_FAIL;
        }
    } else if (nTaskState == FOREP1) {
        // The delay, with the eye held.
        if (!OnFP()) {
            result = TRIAL_EARLY;
            return Finish();
        }
        if (nCurrentTime - tStart >= delay) {
            TurnOnFig(); // records the figure's onset (FIG_ON)
            tStart = nCurrentTime;
            nTaskState = FOREP2;
        }
    } else if (nTaskState == FOREP2) {
        // The figure, watched for the whole analysis window.
        if (!OnFP()) {
            TurnOffFig();
            result = TRIAL_MISS;
            return Finish();
        }
        if (nCurrentTime - tStart >= GetBehavParam("AnalysisTime")) {
            TurnOffFig();
            DoHitAct(); // the reward
            result = TRIAL_HIT;
            return Finish();
        }
    }
    return TRIAL_CONTINUE;
}
