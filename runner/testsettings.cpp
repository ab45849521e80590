#include "runner/testsettings.h"

#include "document/orvixdoc.h"

namespace orvix {

void CTestSettings::Load(COrvixDoc& doc)
{
    auto integer = [&doc](const char* name, int def) { return doc.GetExpParam(name, CParam(nullptr, def)).GetInt(); };
    auto real = [&doc](const char* name) {
        return static_cast<float>(doc.GetExpParam(name, CParam(nullptr, 0.0)).GetDouble());
    };
    auto text = [&doc](const char* name, const char* def) {
        return doc.GetExpParam(name, CParam(nullptr, def)).GetText();
    };
    isRandom = integer("IsRandom", 1);
    isBalanced = integer("IsBalanced", 1);
    commandGroupSize = integer("CommandGroupSize", 0);
    commandGroupNumParam = integer("CommandGroupNumParam", 0);
    useCustomItems = integer("UseCustomItems", 0);
    accumTimes = integer("AccumTimes", 1000);
    param2Change = text("Param2Change", "NULL");
    begin = real("Begin");
    end = real("End");
    step = real("Step");
    customItems = text("CustomItems", "mytest.oxq");
    ivFile = text("IVFile", "mytest.iv");
    taskFile = text("TaskFile", "Task.c");
    accumedTimes = integer("AccumedTimes", 0);
}

void CTestSettings::Save(COrvixDoc& doc) const
{
    std::string titles[3];
    for (int t = 0; t < 3; ++t)
        titles[t] = doc.GetExpParam(kTestSettingNames[13 + t], CParam(nullptr, 0)).GetText();
    int accumed = doc.GetExpParam("AccumedTimes", CParam(nullptr, 0)).GetInt();

    doc.SetExpParamCount(17);
    const char* const* n = kTestSettingNames;
    doc.SetExpParamInt(0, n[0], isRandom);
    doc.SetExpParamInt(1, n[1], isBalanced);
    doc.SetExpParamInt(2, n[2], commandGroupSize);
    doc.SetExpParamInt(3, n[3], commandGroupNumParam);
    doc.SetExpParamInt(4, n[4], useCustomItems);
    doc.SetExpParamInt(5, n[5], accumTimes);
    doc.SetExpParamText(6, n[6], param2Change.c_str());
    doc.SetExpParamReal(7, n[7], begin);
    doc.SetExpParamReal(8, n[8], end);
    doc.SetExpParamReal(9, n[9], step);
    doc.SetExpParamText(10, n[10], customItems.c_str());
    doc.SetExpParamText(11, n[11], ivFile.c_str());
    doc.SetExpParamText(12, n[12], taskFile.c_str());
    for (int t = 0; t < 3; ++t)
        doc.SetExpParamText(13 + t, n[13 + t], titles[t].c_str());
    doc.SetExpParamInt(16, n[16], accumed);
    // Names that were dropped or moved must not stay in the index.
    doc.Table(KIND_EXP).RebuildIndex();
}

} // namespace orvix
