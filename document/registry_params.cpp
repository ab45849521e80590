// Behaviour parameters and test types in the registry, under
// HKEY_CURRENT_USER "Software\Morvane\Orvix".
#include "document/orvixdoc.h"

#include "platform/settings/registry.h"
#include "platform/ui/ui.h"

namespace orvix {

namespace {

const char* const kRoot = "Software\\Morvane\\Orvix";
const char* const kParameters = "Software\\Morvane\\Orvix\\Parameters";
const char* const kTestType = "Software\\Morvane\\Orvix\\TestType";
const char* const kKindKeys[KIND_COUNT] = {"ExpParam", "GraphParam", "BehavParam"};
const char* const kSeparator = " | ";

// Closes a key when it goes out of scope.
struct KeyCloser {
    HKEY key = nullptr;
    ~KeyCloser()
    {
        if (key)
            RegCloseKey(key);
    }
};

// The names joined by " | ", then trailing blanks and bars removed. An empty name (read from
// an older settings file) is left out: its key would be "TestType" itself.
std::string JoinTestTypes(const std::vector<std::string>& names)
{
    std::string text;
    for (const auto& n : names)
        if (!n.empty())
            text += n + kSeparator;
    while (!text.empty() && (text.back() == ' ' || text.back() == '|'))
        text.pop_back();
    return text;
}

std::vector<std::string> SplitTestTypes(std::string text)
{
    std::vector<std::string> names;
    text += kSeparator;
    size_t start = 0;
    for (size_t at; (at = text.find(kSeparator, start)) != std::string::npos; start = at + 3)
        names.push_back(text.substr(start, at - start));
    return names;
}

// Writes every entry of a list as name = text.
bool WriteList(HKEY key, std::vector<CParam>& list)
{
    for (CParam& p : list)
        if (RegSetValueEx(key, p.GetName().c_str(), p.GetText()) != ERROR_SUCCESS)
            return false;
    return true;
}

void ReadList(HKEY key, std::vector<CParam>& list)
{
    uint32_t count = 0;
    if (RegQueryInfoKey(key, nullptr, &count) != ERROR_SUCCESS) {
        MessageBox("Registry error!");
        count = 0;
    }
    list.assign(count, CParam());
    for (uint32_t j = 0; j < count; ++j) {
        std::string name, data;
        if (RegEnumValue(key, j, &name, &data) != ERROR_SUCCESS)
            continue;
        list[j].GetName() = name;
        list[j] = data;
    }
}

} // namespace

void COrvixDoc::ReadRegistry()
{
    KeyCloser params;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, kParameters, &params.key) != ERROR_SUCCESS) {
        params.key = nullptr;
        MessageBox("Couldn't open registry key \"Parameters\".");
        return;
    }
    uint32_t count = 0;
    if (RegQueryInfoKey(params.key, nullptr, &count) != ERROR_SUCCESS) {
        MessageBox("Registry error!");
        count = 0;
    }
    behav_.Resize(static_cast<int>(count));
    behav_.ClearIndex();
    for (uint32_t i = 0; i < count; ++i) {
        std::string name, data;
        if (RegEnumValue(params.key, i, &name, &data) != ERROR_SUCCESS)
            continue;
        CParam* p = behav_.At(static_cast<int>(i));
        p->GetName() = name;
        *p = data;
        behav_.Map(name, static_cast<int>(i));
    }
    RegCloseKey(params.key);
    params.key = nullptr;

    KeyCloser types;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, kTestType, &types.key) != ERROR_SUCCESS) {
        types.key = nullptr;
        MessageBox("Can't open registry key \"TestType\".");
        return;
    }
    std::string list;
    if (RegQueryValueEx(types.key, nullptr, &list) != ERROR_SUCCESS || list.empty())
        return;
    testTypeNames_ = SplitTestTypes(list);
    for (int k = 0; k < KIND_COUNT; ++k) {
        init_[k].resize(testTypeNames_.size());
        for (auto& l : init_[k])
            l.clear();
    }
    if (curTestType_ >= GetTestTypeCount())
        curTestType_ = GetTestTypeCount() - 1;
    for (size_t t = 0; t < testTypeNames_.size(); ++t) {
        KeyCloser typeKey;
        if (RegOpenKeyEx(types.key, testTypeNames_[t].c_str(), &typeKey.key) != ERROR_SUCCESS) {
            typeKey.key = nullptr;
            continue;
        }
        for (int k = 0; k < KIND_COUNT; ++k) {
            KeyCloser kindKey;
            if (RegOpenKeyEx(typeKey.key, kKindKeys[k], &kindKey.key) != ERROR_SUCCESS) {
                kindKey.key = nullptr;
                continue;
            }
            ReadList(kindKey.key, init_[k][t]);
        }
    }
}

void ReadRegistryParams(std::vector<CParam>& list)
{
    KeyCloser params;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, kParameters, &params.key) != ERROR_SUCCESS) {
        params.key = nullptr;
        MessageBox("Can't open registry key \"Parameters\".");
        return;
    }
    ReadList(params.key, list);
}

bool DeleteRegistryTree(HKEY parent, const char* name)
{
    HKEY key = nullptr;
    long rc = RegOpenKeyEx(parent, name, &key);
    if (rc == ERROR_FILE_NOT_FOUND)
        return true;
    if (rc != ERROR_SUCCESS)
        return false;
    std::vector<std::string> children;
    std::string child;
    for (uint32_t i = 0; RegEnumKey(key, i, &child) == ERROR_SUCCESS; ++i)
        children.push_back(child);
    for (const auto& c : children) {
        if (!DeleteRegistryTree(key, c.c_str())) {
            RegCloseKey(key);
            return false;
        }
    }
    RegCloseKey(key);
    return RegDeleteKey(parent, name) == ERROR_SUCCESS;
}

void COrvixDoc::OnSaveParameters()
{
    SnapshotTestSettings();
    // The root key is made on its own, so that a registry that cannot be written says so
    // at the first key.
    KeyCloser root;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, kRoot, &root.key) != ERROR_SUCCESS) {
        root.key = nullptr;
        MessageBox("Can't open registry key \"HKEY_CURRENT_USER\\Software\\Morvane\\Orvix\".");
        return;
    }
    // The rest of the save is one write of the registry file: a failure anywhere leaves the
    // previous settings as they were.
    CRegistryTransaction transaction;
    if (!DeleteRegistryTree(root.key, "Parameters")) {
        MessageBox("Can't delete registry key \"Parameters\".");
        return;
    }
    bool ok = true;
    {
        KeyCloser params;
        if (RegCreateKeyEx(root.key, "Parameters", &params.key) != ERROR_SUCCESS) {
            params.key = nullptr;
            MessageBox("Can't save the parameters to the registry.");
            return;
        }
        // The registry keeps the base values, not the current test type's overrides.
        RestoreParams(KIND_BEHAV);
        for (int i = 0; i < behav_.Count(); ++i) {
            CParam* p = behav_.At(i);
            if (p && RegSetValueEx(params.key, p->GetName().c_str(), p->GetText()) != ERROR_SUCCESS)
                ok = false;
        }
        LoadInitParams(KIND_BEHAV);
    }
    if (!DeleteRegistryTree(root.key, "TestType")) {
        MessageBox("Can't delete registry key \"TestType\".");
        return;
    }
    KeyCloser types;
    if (RegCreateKeyEx(root.key, "TestType", &types.key) != ERROR_SUCCESS) {
        types.key = nullptr;
        MessageBox("Can't save the parameters to the registry.");
        return;
    }
    if (RegSetValueEx(types.key, nullptr, JoinTestTypes(testTypeNames_)) != ERROR_SUCCESS)
        ok = false;
    for (size_t t = 0; t < testTypeNames_.size(); ++t) {
        KeyCloser typeKey;
        if (testTypeNames_[t].empty())
            continue;
        if (RegCreateKeyEx(types.key, testTypeNames_[t].c_str(), &typeKey.key) != ERROR_SUCCESS) {
            typeKey.key = nullptr;
            continue;
        }
        for (int k = 0; k < KIND_COUNT; ++k) {
            KeyCloser kindKey;
            if (RegCreateKeyEx(typeKey.key, kKindKeys[k], &kindKey.key) != ERROR_SUCCESS) {
                kindKey.key = nullptr;
                continue;
            }
            if (t < init_[k].size() && !WriteList(kindKey.key, init_[k][t]))
                ok = false;
        }
    }
    // Once, with the registry's reason when the file was not written (a file of another
    // version, another user's, a write that failed).
    if (!ok)
        MessageBox("Can't save the parameters to the registry.");
    else if (!transaction.Commit())
        MessageBox("Can't save the parameters to the registry. " + transaction.Failure());
}

void COrvixDoc::OnResetParameters()
{
    // Served while a scene's definitions come: the graph table is rebuilt when the block
    // ends, and the test type's set-up would run on an empty one meanwhile.
    if (definitionsPending_) {
        AddLogLine("Parameters not reset: the renderer is still sending the graph parameters of the scene.");
        return;
    }
    if (!SaveModified())
        return;
    graph_.Clear();
    loadedScene.clear();
    curTestType_ = -1;
    ReadRegistry();
    SetTestType(0);
}

} // namespace orvix
