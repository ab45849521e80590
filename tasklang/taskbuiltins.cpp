#include "tasklang/taskbuiltins.h"

#include <cmath>
#include <memory>

#include "platform/devices/virtualkeys.h"
#include "platform/runtime/clock.h"
#include "platform/text/numbers.h"
#include "tasklang/taskhost.h"
#include "tasklang/tasksymbol.h"

namespace orvix {
namespace {

constexpr double kPi = 3.1415926535;

// Renderer object ids travel in one byte; anything else is not sent (negative ids
// stand for graph parameters the scene does not have).
void SendToObject(ITaskHost& host, int objectId, const std::string& text)
{
    if (objectId < 0 || objectId > 255)
        return;
    host.SendObjectCommand(objectId, text, false);
}

int Arg(int* const* args, int i) { return *args[i]; }

// ---- No arguments ----
int GetTime(ITaskHost&, int* const*) { return static_cast<int>(TickMs()); }
int OnFP(ITaskHost& h, int* const*) { return h.OnFP(); }
int GetKeyPos(ITaskHost& h, int* const*) { return h.GetKeyPos(); }
int TurnOnTarget(ITaskHost& h, int* const*) { h.TurnOnTarget(); return 0; }
int TurnOffTarget(ITaskHost& h, int* const*) { h.TurnOffTarget(); return 0; }
int FlipTarget(ITaskHost& h, int* const*) { h.FlipTarget(); return 0; }
int TurnOnFig(ITaskHost& h, int* const*) { h.TurnOnFig(); return 0; }
int TurnOffFig(ITaskHost& h, int* const*) { h.TurnOffFig(); return 0; }
int DoEarlyAct(ITaskHost& h, int* const*) { h.DoEarlyAct(); return 0; }
int DoHitAct(ITaskHost& h, int* const*) { h.DoHitAct(); return 0; }
int DoMissAct(ITaskHost& h, int* const*) { h.DoMissAct(); return 0; }
int Recording(ITaskHost& h, int* const*) { return h.Recording(); }
// Minutes of arc, truncated.
int GetFPH_Min(ITaskHost& h, int* const*) { return DoubleToInt(h.GetFPH() * 60.0f); }
int GetFPV_Min(ITaskHost& h, int* const*) { return DoubleToInt(h.GetFPV() * 60.0f); }

// ---- One argument ----
// An index outside the table reads 0.
int GetGraphParam(ITaskHost& h, int* const* a)
{
    int i = Arg(a, 0);
    return i >= 0 && i < h.GetGraphParamCount() ? h.GetGraphParamInt(i) : 0;
}
int GetGraphParam10(ITaskHost& h, int* const* a)
{
    int i = Arg(a, 0);
    return i >= 0 && i < h.GetGraphParamCount() ? DoubleToInt(h.GetGraphParamReal(i) * 10.0) : 0;
}
int GetBehavParam(ITaskHost& h, int* const* a)
{
    int i = Arg(a, 0);
    return i >= 0 && i < h.GetBehavParamCount() ? h.GetBehavParamInt(i) : 0;
}
int GetBehavParam10(ITaskHost& h, int* const* a)
{
    int i = Arg(a, 0);
    return i >= 0 && i < h.GetBehavParamCount() ? DoubleToInt(h.GetBehavParamReal(i) * 10.0) : 0;
}
int SaveKeyState(ITaskHost& h, int* const* a) { h.SaveKeyState(Arg(a, 0)); return 0; }
// Angles in thousandths of a degree, ratios in thousandths.
int Sin1000(ITaskHost&, int* const* a) { return DoubleToInt(std::sin(Arg(a, 0) * kPi / 180000) * 1000); }
int Cos1000(ITaskHost&, int* const* a) { return DoubleToInt(std::cos(Arg(a, 0) * kPi / 180000) * 1000); }
int Tan1000(ITaskHost&, int* const* a) { return DoubleToInt(std::tan(Arg(a, 0) * kPi / 180000) * 1000); }
int Asin1000(ITaskHost&, int* const* a) { return DoubleToInt(std::asin(Arg(a, 0) * 0.001) / kPi * 180000); }
int Acos1000(ITaskHost&, int* const* a) { return DoubleToInt(std::acos(Arg(a, 0) * 0.001) / kPi * 180000); }
int Atan1000(ITaskHost&, int* const* a) { return DoubleToInt(std::atan(Arg(a, 0) * 0.001) / kPi * 180000); }
int Abs(ITaskHost&, int* const* a)
{
    int x = Arg(a, 0);
    return x < 0 ? WrapNeg(x) : x;
}
int DisplayVariable(ITaskHost& h, int* const* a)
{
    h.LogLine(Format("Task variable evaluating: %d", Arg(a, 0)));
    return 0;
}
int KeyDown(ITaskHost& h, int* const* a) { return h.KeyDown(Arg(a, 0)); }
int FPUpdate(ITaskHost& h, int* const* a) { h.FPUpdate(Arg(a, 0)); return 0; }

// ---- Two arguments ----
// A whole number from lo to hi. The product is formed in 32 bits, as task programs have
// always had it.
int Rand(ITaskHost& h, int* const* a)
{
    int lo = Arg(a, 0);
    int hi = Arg(a, 1);
    int product = WrapMul(h.NextRandom(), WrapSub(hi, lo));
    return DoubleToInt(std::floor(lo + product * 3.051850947599719e-5 + 0.5));
}
int ReadAIChMv(ITaskHost& h, int* const* a) { return h.ReadAICh_mv(Arg(a, 0), Arg(a, 1)); }
int SendUserMsg(ITaskHost& h, int* const* a)
{
    SendToObject(h, Arg(a, 0), FormatInt(Arg(a, 1)));
    return 0;
}
int SetGraphParam10(ITaskHost& h, int* const* a)
{
    SendToObject(h, Arg(a, 0), FormatG(static_cast<float>(Arg(a, 1)) * 0.1f));
    return 0;
}
int SetGraphParamBoth(ITaskHost& h, int* const* a)
{
    int id = Arg(a, 0);
    int value = Arg(a, 1);
    SendToObject(h, id, FormatInt(value));
    if (id >= 0 && id < h.GetGraphParamCount())
        h.SetGraphParamValue(id, value);
    return 0;
}

// ---- Four and five arguments ----
int FPCircle(ITaskHost& h, int* const* a)
{
    h.FPCircle(Arg(a, 0), Arg(a, 1), Arg(a, 2), Arg(a, 3));
    return 0;
}
std::array<int, 5> Five(int* const* a) { return {Arg(a, 0), Arg(a, 1), Arg(a, 2), Arg(a, 3), Arg(a, 4)}; }
int SaveResponse0(ITaskHost& h, int* const* a) { h.SaveResponse(Five(a), false); return 0; }
int SaveResponse(ITaskHost& h, int* const* a) { h.SaveResponse(Five(a), true); return 0; }
int FPRectangle(ITaskHost& h, int* const* a)
{
    h.FPRectangle(Arg(a, 0), Arg(a, 1), Arg(a, 2), Arg(a, 3), Arg(a, 4));
    return 0;
}

// Steps a call counts for in the work of a pass (one node is one step, a few nanoseconds):
// reading kept values and arithmetic are one step; a device, a renderer command that is not
// waited for, the document or the windows cost microseconds; waiting for the renderer's
// acknowledgement, a log line or a line of the response page cost a good deal more.
constexpr int kPlain = 1;
constexpr int kDevice = 100;
constexpr int kSlow = 10000;

struct BuiltinEntry {
    const char* name;
    int kind;
    TaskBuiltinFn fn;
    int weight;
};

const BuiltinEntry kBuiltins[] = {
    {"GetTime", SYM_BUILTIN0, GetTime, kPlain},
    {"OnFP", SYM_BUILTIN0, OnFP, kPlain},
    {"GetKeyPos", SYM_BUILTIN0, GetKeyPos, kDevice},
    {"TurnOnTarget", SYM_BUILTIN0, TurnOnTarget, kDevice},
    {"TurnOffTarget", SYM_BUILTIN0, TurnOffTarget, kDevice},
    {"FlipTarget", SYM_BUILTIN0, FlipTarget, kDevice},
    {"TurnOnFig", SYM_BUILTIN0, TurnOnFig, kSlow},
    {"TurnOffFig", SYM_BUILTIN0, TurnOffFig, kSlow},
    {"DoEarlyAct", SYM_BUILTIN0, DoEarlyAct, kDevice},
    {"DoHitAct", SYM_BUILTIN0, DoHitAct, kDevice},
    {"DoMissAct", SYM_BUILTIN0, DoMissAct, kDevice},
    {"Recording", SYM_BUILTIN0, Recording, kPlain},
    {"GetFPH_Min", SYM_BUILTIN0, GetFPH_Min, kPlain},
    {"GetFPV_Min", SYM_BUILTIN0, GetFPV_Min, kPlain},

    {"GetGraphParam", SYM_BUILTIN1, GetGraphParam, kPlain},
    {"GetGraphParam10", SYM_BUILTIN1, GetGraphParam10, kPlain},
    {"GetBehavParam", SYM_BUILTIN1, GetBehavParam, kPlain},
    {"GetBehavParam10", SYM_BUILTIN1, GetBehavParam10, kPlain},
    {"SaveKeyState", SYM_BUILTIN1, SaveKeyState, kDevice},
    {"sin_1000", SYM_BUILTIN1, Sin1000, kPlain},
    {"cos_1000", SYM_BUILTIN1, Cos1000, kPlain},
    {"tan_1000", SYM_BUILTIN1, Tan1000, kPlain},
    {"asin_1000", SYM_BUILTIN1, Asin1000, kPlain},
    {"acos_1000", SYM_BUILTIN1, Acos1000, kPlain},
    {"atan_1000", SYM_BUILTIN1, Atan1000, kPlain},
    {"abs", SYM_BUILTIN1, Abs, kPlain},
    {"DisplayVariable", SYM_BUILTIN1, DisplayVariable, kSlow},
    {"KeyDown", SYM_BUILTIN1, KeyDown, kDevice},
    {"FPUpdate", SYM_BUILTIN1, FPUpdate, kDevice},

    {"Rand", SYM_BUILTIN2, Rand, kPlain},
    {"ReadAICh_mv", SYM_BUILTIN2, ReadAIChMv, kDevice},
    {"SendUserMsg", SYM_BUILTIN2, SendUserMsg, kDevice},
    // The renderer only: the document's parameter table is not changed.
    {"SetGraphParam", SYM_BUILTIN2, SendUserMsg, kDevice},
    {"SetGraphParam10", SYM_BUILTIN2, SetGraphParam10, kDevice},
    {"SetGraphParamBoth", SYM_BUILTIN2, SetGraphParamBoth, kDevice},

    {"FPCircle", SYM_BUILTIN4, FPCircle, kDevice},

    {"SaveResponse0", SYM_BUILTIN5, SaveResponse0, kDevice},
    {"SaveResponse", SYM_BUILTIN5, SaveResponse, kSlow},
    {"FPRectangle", SYM_BUILTIN5, FPRectangle, kDevice},
};

struct ConstantEntry {
    const char* name;
    int value;
};

const ConstantEntry kConstants[] = {
    {"TRUE", 1}, {"FALSE", 0},
    {"ITI", 0}, {"ITI2", 1}, {"TARGET_ON", 2}, {"TARGET_FLIP", 4}, {"TARGET_OFF", 5}, {"FOREP", 3},
    {"FOREP1", 8}, {"FOREP2", 9}, {"FOREP3", 10}, {"FOREP4", 11}, {"FOREP5", 12},
    {"FOREP6", 13}, {"FOREP7", 14}, {"FOREP8", 15}, {"FOREP9", 16}, {"FOREP10", 17},
    {"ISI", 18}, {"ISI2", 19}, {"USER_STATE", 100},
    {"KEY_CENTER", 67}, {"KEY_BACK", 66}, {"KEY_FORTH", 70}, {"KEY_LEFT", 76}, {"KEY_RIGHT", 82},
    {"TRIAL_NONE", 0}, {"TRIAL_EARLY", 1}, {"TRIAL_HIT", 2}, {"TRIAL_MISS", 3},
    {"TRIAL_CONTINUE", 4}, {"TRIAL_END", 5}, {"TRIAL_FAIL", 6}, {"TRIAL_REPEAT", 7},
    {"VK_CONTROL", VK_CONTROL}, {"VK_LCONTROL", VK_LCONTROL}, {"VK_RCONTROL", VK_RCONTROL},
    {"VK_SHIFT", VK_SHIFT}, {"VK_LSHIFT", VK_LSHIFT}, {"VK_RSHIFT", VK_RSHIFT},
    {"VK_LEFT", VK_LEFT}, {"VK_RIGHT", VK_RIGHT}, {"VK_UP", VK_UP}, {"VK_DOWN", VK_DOWN},
};

void AppendVariable(CTaskSymbolTable& table, const char* name, int* storage, int kind)
{
    auto symbol = std::make_unique<CTaskSymbol>();
    symbol->name = name;
    symbol->kind = kind;
    symbol->target = storage ? storage : &symbol->value;
    table.AppendSymbol(std::move(symbol));
}

} // namespace

void RegisterTaskBuiltins(CTaskSymbolTable& table, ITaskHost& host)
{
    table.Clear();
    for (const BuiltinEntry& entry : kBuiltins) {
        auto symbol = std::make_unique<CTaskSymbol>();
        symbol->name = entry.name;
        symbol->kind = entry.kind;
        symbol->builtin = entry.fn;
        symbol->weight = entry.weight;
        table.AppendSymbol(std::move(symbol));
    }
    TaskBoundVariables bound = host.BoundVariables();
    AppendVariable(table, "nCurrentTime", bound.nCurrentTime, SYM_VARIABLE);
    AppendVariable(table, "nKeyPos", bound.nKeyPos, SYM_VARIABLE);
    AppendVariable(table, "nTaskState", bound.nTaskState, SYM_VARIABLE);
    for (const ConstantEntry& entry : kConstants) {
        auto symbol = std::make_unique<CTaskSymbol>();
        symbol->name = entry.name;
        symbol->kind = SYM_CONSTANT;
        symbol->value = entry.value;
        symbol->target = &symbol->value;
        table.AppendSymbol(std::move(symbol));
    }
}

} // namespace orvix
