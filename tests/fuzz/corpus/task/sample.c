// Fixation task with a left/right key answer.
int tStart;
int nFixTime;
static int nTrials = 0;

int Fixating() { return OnFP(); }

int Score()
{
    if (nKeyPos == KEY_CENTER) return TRIAL_CONTINUE;
    TurnOffTarget();
    if (nKeyPos == KEY_LEFT) { DoHitAct(); SaveResponse(1, nCurrentTime - tStart, 0, 0, 0); return TRIAL_HIT; }
    DoMissAct();
    SaveResponse(0, nCurrentTime - tStart, 0, 0, 0);
    return TRIAL_MISS;
}

int TaskEntry()
{
    int r;
    r = TRIAL_CONTINUE;
    if (nTaskState == ITI) {
        nFixTime = GetBehavParam("FixTime");
        tStart = nCurrentTime;
        nTaskState = FOREP;
    } else if (nTaskState == FOREP) {
        if (!Fixating()) {
            if (nCurrentTime - tStart > 2000) { nTaskState = ITI; r = TRIAL_FAIL; }
        } else if (nCurrentTime - tStart >= nFixTime) {
            TurnOnTarget();
            tStart = nCurrentTime;
            nTaskState = TARGET_ON;
        }
    } else if (nTaskState == TARGET_ON) {
        if (!Fixating()) { DoEarlyAct(); TurnOffTarget(); nTaskState = ITI; r = TRIAL_EARLY; }
        else {
            r = Score();
            if (r != TRIAL_CONTINUE) { nTaskState = ITI; nTrials++; }
        }
    }
    return r;
}
