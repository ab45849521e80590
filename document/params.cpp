// The document's three parameter tables and the test types with their initial parameters.
#include "document/orvixdoc.h"

#include <cctype>
#include <utility>


namespace orvix {

namespace {

// The shared empty parameter a look-up returns when nothing matches: emptied each time.
CParam& EmptyParam(CParam& shared)
{
    shared.GetName().clear();
    shared = "";
    return shared;
}

bool ValidKind(int kind) { return kind >= 0 && kind < KIND_COUNT; }

// A test type's set-up is a snapshot of a document with its own count of repeats: the new
// document counts from 0.
void ZeroAccumedTimes(CParamTable& settings)
{
    if (CParam* accumed = settings.At(settings.Find("AccumedTimes")))
        *accumed = 0;
}

} // namespace

CParamTable& COrvixDoc::Table(int kind)
{
    switch (kind) {
    case KIND_EXP: return exp_;
    case KIND_GRAPH: return graph_;
    default: return behav_;
    }
}

CParam& COrvixDoc::GetGraphParam(int i)
{
    static CParam shared;
    CParam* p = graph_.At(i);
    return p ? *p : EmptyParam(shared);
}

CParam& COrvixDoc::GetGraphParam(const char* name)
{
    static CParam shared;
    CParam* p = graph_.At(FindGraphParam(name));
    return p ? *p : EmptyParam(shared);
}

CParam& COrvixDoc::GetBehavParam(int i)
{
    static CParam shared;
    CParam* p = behav_.At(i);
    return p ? *p : EmptyParam(shared);
}

int COrvixDoc::GetOrAdd(CParamTable& table, const char* name, CParam& def)
{
    std::string key = name ? name : "";
    int pos = table.Find(key);
    if (pos >= 0)
        return pos;
    def.GetName() = key;
    return table.Add(new CParam(def));
}

CParam& COrvixDoc::GetBehavParam(const char* name, CParam& def)
{
    return *behav_.At(FindBehavParam(name, true, def));
}

int COrvixDoc::FindBehavParam(const char* name, bool add, CParam& def)
{
    int pos = behav_.Find(name ? name : "");
    if (pos >= 0 || !add)
        return pos;
    pos = GetOrAdd(behav_, name, def);
    UpdateBehavParamItem(pos);
    return pos;
}

void COrvixDoc::RemoveBehavParam(int i)
{
    if (!behav_.InRange(i))
        return;
    behav_.RemoveAt(i);
    behav_.RebuildIndex();
    LoadRunnerParameters();
    UpdateAllViews(nullptr, HINT_PARAMS_RELOADED);
    RefreshBehavPage();
}

CParam* COrvixDoc::NameExpSlot(int i, const char* name)
{
    if (!exp_.InRange(i))
        return nullptr;
    if (!exp_.At(i))
        exp_.Set(i, new CParam);
    CParam* p = exp_.At(i);
    p->GetName() = name ? name : "";
    exp_.Map(p->GetName(), i);
    return p;
}

void COrvixDoc::SetExpParamInt(int i, const char* name, int v)
{
    if (CParam* p = NameExpSlot(i, name))
        *p = v;
}

void COrvixDoc::SetExpParamReal(int i, const char* name, float v)
{
    if (CParam* p = NameExpSlot(i, name))
        *p = v;
}

void COrvixDoc::SetExpParamText(int i, const char* name, const char* v)
{
    if (CParam* p = NameExpSlot(i, name))
        *p = v;
}

CParam& COrvixDoc::GetExpParam(const char* name, CParam& def)
{
    return *exp_.At(FindExpParam(name, true, def));
}

int COrvixDoc::FindExpParam(const char* name, bool add, CParam& def)
{
    int pos = exp_.Find(name ? name : "");
    if (pos >= 0 || !add)
        return pos;
    return GetOrAdd(exp_, name, def);
}

std::string COrvixDoc::GetTestTypeName() const
{
    if (curTestType_ < 0 || curTestType_ >= GetTestTypeCount())
        return std::string();
    return testTypeNames_[static_cast<size_t>(curTestType_)];
}

void COrvixDoc::AssignText(CParam& target, CParam& source) { target = source.GetText().c_str(); }


void COrvixDoc::SnapshotTestSettings()
{
    if (curTestType_ < 0)
        return;
    auto& list = init_[KIND_EXP][static_cast<size_t>(curTestType_)];
    list.clear();
    for (int i = 0; i < exp_.Count(); ++i)
        list.push_back(exp_.At(i) ? *exp_.At(i) : CParam());
}

void COrvixDoc::LoadInitParams(int kind)
{
    if (curTestType_ < 0)
        return;
    size_t type = static_cast<size_t>(curTestType_);
    if (kind <= 0) {
        auto& list = init_[KIND_EXP][type];
        exp_.Resize(static_cast<int>(list.size()));
        exp_.ClearIndex();
        saved_[KIND_EXP].clear();
        for (size_t i = 0; i < list.size(); ++i) {
            *exp_.At(static_cast<int>(i)) = list[i];
            exp_.Map(list[i].GetName(), static_cast<int>(i));
        }
        if (kind == 0)
            return;
    }
    for (int k = kind < 0 ? 1 : kind; k <= (kind < 0 ? 2 : kind); ++k) {
        if (!ValidKind(k))
            continue;
        CParamTable& table = Table(k);
        saved_[k].clear();
        for (CParam& e : init_[k][type]) {
            int pos = table.Find(e.GetName());
            if (pos < 0)
                continue;
            CParam& p = *table.At(pos);
            saved_[k].push_back(p);
            AssignText(p, e);
            if (k == KIND_GRAPH)
                SendGraphParam(pos);
        }
    }
}

void COrvixDoc::RestoreParams(int kind)
{
    for (int k = kind < 0 ? 1 : kind; k <= (kind < 0 ? 2 : kind); ++k) {
        if (!ValidKind(k))
            continue;
        CParamTable& table = Table(k);
        for (CParam& s : saved_[k]) {
            int pos = table.Find(s.GetName());
            if (pos < 0)
                continue;
            CParam& p = *table.At(pos);
            AssignText(p, s);
            if (k == KIND_GRAPH)
                SendGraphParam(pos);
        }
    }
}

bool COrvixDoc::AddInitParam(int kind, const CParam& saved, const CParam& initial)
{
    if (curTestType_ < 0 || !ValidKind(kind))
        return false;
    auto& list = init_[kind][static_cast<size_t>(curTestType_)];
    CParam init(initial);
    for (CParam& e : list) {
        if (e.GetName() == initial.GetName()) {
            AssignText(e, init);
            return false;
        }
    }
    list.push_back(initial);
    saved_[kind].push_back(saved);
    return true;
}

void COrvixDoc::RemoveInitParam(int kind, int i)
{
    if (curTestType_ < 0 || !ValidKind(kind))
        return;
    auto& list = init_[kind][static_cast<size_t>(curTestType_)];
    if (i >= 0 && i < static_cast<int>(list.size()))
        list.erase(list.begin() + i);
}

int COrvixDoc::GetInitParamCount(int kind) const
{
    if (curTestType_ < 0 || !ValidKind(kind))
        return 0;
    return static_cast<int>(init_[kind][static_cast<size_t>(curTestType_)].size());
}

CParam& COrvixDoc::GetInitParam(int kind, int i)
{
    static CParam none; // empty name, integer 0
    if (curTestType_ < 0 || !ValidKind(kind))
        return none;
    auto& list = init_[kind][static_cast<size_t>(curTestType_)];
    if (i < 0 || i >= static_cast<int>(list.size()))
        return none;
    return list[static_cast<size_t>(i)];
}

bool COrvixDoc::AddTestType(const char* name)
{
    // Test types are registry keys by name, where letter case does not tell keys apart.
    if (FindTestType(name ? name : "") >= 0)
        return false;
    SnapshotTestSettings();
    testTypeNames_.push_back(name ? name : "");
    for (int k = 0; k < KIND_COUNT; ++k) {
        if (curTestType_ >= 0)
            init_[k].push_back(init_[k][static_cast<size_t>(curTestType_)]);
        else
            init_[k].emplace_back();
    }
    if (SetTestType(GetTestTypeCount() - 1))
        return true;
    testTypeNames_.pop_back();
    for (int k = 0; k < KIND_COUNT; ++k)
        init_[k].pop_back();
    return false;
}

void COrvixDoc::RemoveTestType(int i)
{
    if (i < 0 || i >= GetTestTypeCount())
        return;
    testTypeNames_.erase(testTypeNames_.begin() + i);
    for (int k = 0; k < KIND_COUNT; ++k)
        if (i < static_cast<int>(init_[k].size()))
            init_[k].erase(init_[k].begin() + i);
    if (i < curTestType_)
        --curTestType_;
    // Removing the current type when it was the last leaves the index past the list.
    if (curTestType_ >= GetTestTypeCount())
        curTestType_ = GetTestTypeCount() - 1;
}

bool COrvixDoc::SetTestType(int i)
{
    if (i < 0 || i >= GetTestTypeCount() || !SaveModified())
        return false;
    OnNewDocument();
    SetDataFileName(i);
    if (i == curTestType_)
        return true;
    SnapshotTestSettings();
    RestoreParams(-1);
    curTestType_ = i;
    std::string scene;
    if (IsRendererRunning() && InitialScene(scene) && scene != loadedScene)
        CarrySceneOver(scene);
    LoadInitParams(-1);
    ZeroAccumedTimes(exp_);
    ParametersChanged();
    SetDataFileName(i);
    return true;
}

void COrvixDoc::ReloadScene()
{
    if (curTestType_ < 0 || !SaveModified())
        return;
    OnNewDocument();
    SnapshotTestSettings();
    RestoreParams(-1);
    std::string scene;
    if (IsRendererRunning() && InitialScene(scene))
        CarrySceneOver(scene);
    LoadInitParams(-1);
    ParametersChanged();
}

bool COrvixDoc::InitialScene(std::string& scene)
{
    if (curTestType_ < 0)
        return false;
    for (CParam& p : init_[KIND_EXP][static_cast<size_t>(curTestType_)]) {
        if (p.GetName() == "IVFile") {
            scene = p.GetText();
            return true;
        }
    }
    return false;
}

void COrvixDoc::CarrySceneOver(const std::string& scene)
{
    // Filled afresh for every change: values of an older scene must not reach a later one.
    std::vector<std::pair<std::string, std::string>> carried;
    for (int k = 0; k < graph_.Count(); ++k)
        if (CParam* p = graph_.At(k))
            carried.emplace_back(p->GetName(), p->GetText());
    int runFlag = GetRunFlag();
    LoadScene(scene.c_str(), true);
    SetRunFlag(runFlag);
    for (auto& [name, value] : carried) {
        int pos = graph_.Find(name);
        if (pos < 0)
            continue;
        *graph_.At(pos) = value.c_str();
        SendGraphParam(pos);
    }
}

int COrvixDoc::FindTestType(const std::string& name) const
{
    auto lower = [](std::string s) {
        for (char& c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    std::string wanted = lower(name);
    for (size_t i = 0; i < testTypeNames_.size(); ++i)
        if (lower(testTypeNames_[i]) == wanted)
            return static_cast<int>(i);
    return -1;
}

} // namespace orvix
