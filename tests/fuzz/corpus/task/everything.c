// Every built-in once, every operator once.
int a;
int b = 3;
static int c = 7;
int g() { return a += 2; }
int TaskEntry()
{
    int k;
    k = GetTime() - GetTime() + OnFP() + GetKeyPos() + Recording() + GetFPH_Min() + GetFPV_Min();
    TurnOnTarget(); TurnOffTarget(); FlipTarget(); TurnOnFig(); TurnOffFig();
    if (k == 0) DoEarlyAct(); else if (k != 1) DoHitAct(); else DoMissAct();
    k = GetGraphParam("TARGET") + GetGraphParam10(0) + GetBehavParam("FixTime") + GetBehavParam10(1);
    SaveKeyState(k); DisplayVariable(k); KeyDown(VK_SHIFT); FPUpdate(1);
    k = sin_1000(30000) + cos_1000(k) + tan_1000(k) + asin_1000(500) + acos_1000(500) + atan_1000(k) + abs(-k);
    k = Rand(1, 10) + ReadAICh_mv(0, 1);
    SendUserMsg(1, k); SetGraphParam(1, k); SetGraphParam10(1, k); SetGraphParamBoth(1, k);
    FPCircle(1, 2, 3, 4); FPRectangle(1, 2, 3, 4, 5);
    SaveResponse0(1, 2, 3, 4, 5); SaveResponse(1, 2, 3, 4, 5);
    k = (a < b) + (a > b) + (a <= b) + (a >= b) + (a && b) + (a || b) + !a + -a;
    k = a * b / (c ? c : 1) % 5;
    a++; ++a; a--; --a; a -= 1; a *= 2; a /= 2;
    k = g() + c;
    return k > 100 ? TRIAL_CONTINUE : TRIAL_END;
}
