// The fields of a data file (".oxv"), read into a staging record before any of them
// reaches the document, so that a file that cannot be read changes nothing.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "document/plotsettings.h"
#include "model/param.h"
#include "model/trial.h"

namespace orvix {

constexpr uint16_t kDataFileVersion = 7;

struct DataFileContents {
    uint16_t version = kDataFileVersion;
    uint32_t testTypeEntry = 0;
    std::string notes;
    int32_t selectedChannel = 1;
    uint8_t mainChannel = 3;
    std::array<int16_t, 8> cellIds{1, 1, 1, 1, 1, 1, 1, 1};
    std::array<uint8_t, 8> gridChoices{0, 1, 2, 3, 4, 5, 6, 7};
    std::array<int16_t, 8> depths{};
    std::vector<std::string> testTypes;
    std::vector<std::unique_ptr<CParam>> expParams, behavParams, graphParams;
    std::vector<std::string> commandLines;
    std::vector<std::unique_ptr<CTrial>> trials;
    std::array<std::vector<uint32_t>, 5> reserved;
    // Fields from the fonts on: present only when they were read.
    bool hasFormat = false;
    CPlotSettings plot;
    std::vector<CParam> selectionList1, selectionList2;
    bool hasPlotType = false;
    bool hasExpressionColumns = false;
    std::vector<std::string> expressionColumns;
    bool hasSavedLists = false;
    std::array<std::vector<CParam>, 3> savedLists;
};

// Thrown when the file's version is newer than this program reads.
struct DataFileTooNew {};

// The objects a save writes, held by the document.
struct DataFileObjects {
    std::vector<const CParam*> expParams, behavParams, graphParams;
    std::vector<const CTrial*> trials;
};

// Writes every field; the parameter tables and trials come from `objects`.
void StoreDataFileContents(CArchive& ar, const DataFileContents& c, const DataFileObjects& objects);

// Reads fields 1 to 14 (always), the reserved arrays, and, when `withFormat` and the
// version allows it, the format fields. Merging reads stop after the trials.
// Throws CArchiveException on a truncated or corrupt file, DataFileTooNew on a newer one.
void LoadDataFileContents(CArchive& ar, DataFileContents& c, bool withFormat, bool forMerge);

} // namespace orvix
