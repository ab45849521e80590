// A two-choice orientation task, the demonstration of the run command. The fixation point
// (TARGET) comes on; once the eye has held it for fixTime ms the figure appears, tilted by
// the graph parameter OR: tilted left (OR < 0) asks for the left key, tilted right for the
// right key. An answer on the right side within respTime ms is a HIT, on the wrong side a
// MISS, a key before the figure is EARLY, no key in time a MISS. The outcome pulse comes at
// the answer, but the figure stays on and the trial goes on until the analysis window
// ("AnalysisTime" ms from figure onset) is over, so that every answered trial has its spike
// rates. While the fixation point is on, the eye view shows the window OnFP checks: FPWinRad
// around the point; the view clears it when the trial is back in ITI. While the eye holds the
// fixation point, the eye view takes its samples for a calibration (FPUpdate); a calibration
// step moves the point between trials. Each trial saves the outcome (1 EARLY, 2 HIT, 3 MISS),
// the reaction time from figure onset and OR. A trial whose fixation does not come within
// 3 s, or breaks before the figure, comes again.
static int fixTime = 300;   // ms of fixation before the figure
static int respTime = 1500; // ms to answer
int tStart;
int tFig;
int result; // the outcome Finish saves
int rTime;  // the reaction time Finish saves
int sampling; // the eye view takes eye samples

// Eye samples on and off, told to the eye view only when that changes.
int SampleOn()
{
    if (!sampling) FPUpdate(TRUE);
    sampling = TRUE;
    return 0;
}

int SampleOff()
{
    if (sampling) FPUpdate(FALSE);
    sampling = FALSE;
    return 0;
}

// While the eye is on the fixation point.
int SampleOnFP()
{
    if (OnFP()) return SampleOn();
    return SampleOff();
}

// The outcome pulse.
int Act()
{
    if (result == TRIAL_HIT) DoHitAct();
    else if (result == TRIAL_MISS) DoMissAct();
    else DoEarlyAct();
    return 0;
}

int Finish()
{
    SampleOff();
    TurnOffFig();
    TurnOffTarget();
    if (result == TRIAL_EARLY) SaveResponse(result, 0, GetGraphParam("OR"), 0, 0);
    else SaveResponse(result, rTime, GetGraphParam("OR"), 0, 0);
    tStart = nCurrentTime;
    nTaskState = ITI;
    return TRIAL_END;
}

int Early()
{
    result = TRIAL_EARLY;
    Act();
    return Finish();
}

// The answer is in (or its time is over): the pulse now, the end of the trial once the
// analysis window is over.
int Answered()
{
    Act();
    rTime = nCurrentTime - tFig;
    nTaskState = FOREP3;
    return TRIAL_CONTINUE;
}

int Abandon()
{
    SampleOff();
    TurnOffTarget();
    tStart = nCurrentTime;
    nTaskState = ITI;
    return TRIAL_FAIL;
}

int TaskEntry()
{
    if (nTaskState == ITI) {
        if (nCurrentTime - tStart >= 500) {
            TurnOnTarget();
            FPCircle(GetGraphParam("TPOSH"), GetGraphParam("TPOSV"), GetBehavParam("FPWinRad"), 10); // bright green
            tStart = nCurrentTime;
            nTaskState = FOREP;
        }
    } else if (nTaskState == FOREP) {
        // Waiting for the eye: a key now is too early.
        if (nKeyPos != KEY_CENTER) return Early();
        if (OnFP()) {
            SampleOn();
            tStart = nCurrentTime;
            nTaskState = FOREP1;
        } else if (nCurrentTime - tStart > 3000) {
            return Abandon();
        }
    } else if (nTaskState == FOREP1) {
        // Holding fixation.
        if (nKeyPos != KEY_CENTER) return Early();
        if (!OnFP()) return Abandon();
        if (nCurrentTime - tStart >= fixTime) {
            TurnOnFig();
            tFig = nCurrentTime;
            nTaskState = FOREP2; // the answer; TurnOnFig has recorded the figure's onset
        }
    } else if (nTaskState == FOREP2) {
        SampleOnFP();
        if (nKeyPos == KEY_LEFT || nKeyPos == KEY_RIGHT) {
            SaveKeyState(nKeyPos);
            result = TRIAL_MISS;
            if ((nKeyPos == KEY_LEFT) == (GetGraphParam("OR") < 0)) result = TRIAL_HIT;
            return Answered();
        }
        if (nCurrentTime - tFig > respTime) { result = TRIAL_MISS; return Answered(); }
    } else if (nTaskState == FOREP3) {
        // Answered: the figure stays on to the end of the analysis window.
        SampleOnFP();
        if (nCurrentTime - tFig >= GetBehavParam("AnalysisTime")) return Finish();
    }
    return TRIAL_CONTINUE;
}
