// The rows of the trial-data export in its two file formats, comma-separated text and
// dBASE III, for the four event types: basic (one row per trial), spike (one per spike and
// a closing row), eye (one per sample) and key (one per key event). Every row begins with
// the cell id, the repetition and the trial number.
#pragma once
#include <string>
#include <vector>

#include "export/trialdata.h"

namespace orvix {

class CDbfWriter;
class CExportFile;
class IExportProgress;

// The header line, CR LF included; "$" marks a text column.
std::string CsvHeader(int eventType, const ExportColumns& columns);
// Trial i's rows. map: for each reference column, the column of this document's table
// (MapColumns); its size is the number of exported columns.
void AppendCsvRows(std::string& out, const CTrialData& data, int trial, int eventType, const std::vector<int>& map);
// Every trial's rows, in blocks of about 1 MB; ends between trials when the user stops.
void WriteCsvRows(CExportFile& file, const CTrialData& data, int eventType, const std::vector<int>& map,
                  IExportProgress& progress);

// Defines the fields for the event type and writes the header. False (with a message)
// when the table would have more fields than the format holds.
bool DefineDbfFields(CDbfWriter& writer, int eventType, const ExportColumns& columns);
// Sets trial i's records; throws CDbfWriter::Cancelled when the user cancels a value.
void SetDbfRows(CDbfWriter& writer, const CTrialData& data, int trial, int eventType, const ExportColumns& reference,
                const std::vector<int>& map);
// Every trial's records; a cancelled value ends the file's records with a message and
// returns false.
bool WriteDbfRows(CDbfWriter& writer, const CTrialData& data, int eventType, const ExportColumns& reference,
                  const std::vector<int>& map, IExportProgress& progress);

} // namespace orvix
