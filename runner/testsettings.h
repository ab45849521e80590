// The settings of the Test page as the document's test-settings table keeps them.
#pragma once
#include <string>

namespace orvix {

class COrvixDoc;

struct CTestSettings {
    int isRandom = 0;
    int isBalanced = 0;
    int commandGroupSize = 0;
    int commandGroupNumParam = 0;
    int useCustomItems = 0;
    int accumTimes = 0;
    std::string param2Change;
    float begin = 0.0f;
    float end = 0.0f;
    float step = 0.0f;
    std::string customItems;
    std::string ivFile;
    std::string taskFile;
    // Repeats already recorded in the document; read only, it decides "&Discard".
    int accumedTimes = 0;

    // Reads each setting by name; a missing one is added with its default.
    void Load(COrvixDoc& doc);
    // Rewrites the table with exactly its 17 entries in their order; the titles and
    // "AccumedTimes" keep their values.
    void Save(COrvixDoc& doc) const;
};

// The entries of the test-settings table, in order.
inline const char* const kTestSettingNames[17] = {
    "IsRandom", "IsBalanced", "CommandGroupSize", "CommandGroupNumParam", "UseCustomItems", "AccumTimes",
    "Param2Change", "Begin", "End", "Step", "CustomItems", "IVFile", "TaskFile", "XTitle", "YTitle", "ZTitle",
    "AccumedTimes",
};

} // namespace orvix
