#include "export/trialrecords.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "analysis/tablemodel.h"
#include "export/dbfwriter.h"
#include "export/exportfile.h"
#include "export/exportprogress.h"
#include "model/trial.h"
#include "platform/text/numbers.h"
#include "platform/ui/ui.h"

namespace orvix {

namespace {

constexpr size_t kCsvBlock = 1000000;
constexpr size_t kCsvFlushAt = 990000;

// A text cell between double quotes; a quote inside is doubled, so readers keep the cell.
// Room: twice the text and two.
char* WriteQuoted(char* out, const char* text)
{
    *out++ = '"';
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p == '"')
            *out++ = '"';
        *out++ = *p;
    }
    *out++ = '"';
    return out;
}

void AppendQuoted(std::string& out, const char* text)
{
    std::string quoted(2 * strlen(text ? text : "") + 2, '\0');
    quoted.resize(static_cast<size_t>(WriteQuoted(quoted.data(), text) - quoted.data()));
    out += quoted;
}

// One row of an event type, put together in place: the trial's prefix, then ",value" per
// value, then CR LF. The prefix is at most 40 characters (a cell id of 6 characters,
// repetition and trial number) and a row has at most three values.
class RowText {
public:
    explicit RowText(const std::string& prefix)
    {
        size_t n = std::min(prefix.size(), kMaxPrefix);
        memcpy(text_, prefix.data(), n);
        end_ = text_ + n;
    }
    void Int(long long v)
    {
        *end_++ = ',';
        end_ = FormatIntTo(end_, v);
    }
    void Fixed(double v, int decimals)
    {
        *end_++ = ',';
        end_ = FormatFixedTo(end_, v, decimals);
    }
    void AppendTo(std::string& out)
    {
        *end_++ = '\r';
        *end_++ = '\n';
        out.append(text_, static_cast<size_t>(end_ - text_));
    }

private:
    static constexpr size_t kMaxPrefix = 64;
    char text_[kMaxPrefix + 3 * (1 + FixedTextRoom(2)) + 2];
    char* end_;
};

double CellDouble(const CTableModel& table, int row, int col)
{
    double v = table.GetDouble(row, col);
    return std::isnan(v) ? -1.0 : v;
}

} // namespace

std::string CsvHeader(int eventType, const ExportColumns& columns)
{
    std::string h = "CellID$,Rep,TrialNum";
    switch (eventType) {
    case EXPORT_BASIC:
        h += ",Set,Item";
        for (size_t k = 0; k < columns.names.size(); ++k) {
            h += ',' + columns.names[k];
            if (columns.types[k] == TABLE_TEXT)
                h += '$';
        }
        h += ",ActiveCh,MainCh,FigOnTime";
        break;
    case EXPORT_SPIKE: h += ",SpikeEvent,SpikeTime"; break;
    case EXPORT_EYE: h += ",FPX,FPY,FPTime"; break;
    case EXPORT_KEY: h += ",KeyAction,KeyTime"; break;
    default: break;
    }
    return h + "\r\n";
}

void AppendCsvRows(std::string& out, const CTrialData& data, int trial, int eventType, const std::vector<int>& map)
{
    const CTrial& t = data.Trial(trial);
    const float f = data.TimeBase(trial);
    std::string prefix;
    AppendQuoted(prefix, data.Name().cellId.c_str());
    prefix += ',';
    AppendInt(prefix, data.Name().repetition);
    prefix += ',';
    AppendInt(prefix, trial);

    switch (eventType) {
    case EXPORT_BASIC: {
        // The row is written in place into room reserved for its longest form.
        const CTableModel& table = data.Table();
        const bool hasRow = trial < table.GetRowCount();
        size_t room = prefix.size() + 5 * 12 + 1 + FixedTextRoom(1) + 2;
        for (int col : map) {
            int type = col >= 0 && hasRow ? table.GetColumnType(col) : -1;
            room += type == TABLE_TEXT ? 3 + 2 * strlen(table.GetText(trial, col)) : 32;
        }
        const size_t start = out.size();
        out.resize(start + room);
        char* p = &out[start];
        p = std::copy(prefix.begin(), prefix.end(), p);
        *p++ = ',';
        p = FormatIntTo(p, t.repetition);
        *p++ = ',';
        p = FormatIntTo(p, t.commandIndex);
        for (int col : map) {
            *p++ = ',';
            int type = col >= 0 && hasRow ? table.GetColumnType(col) : -1;
            if (type == TABLE_TEXT)
                p = WriteQuoted(p, table.GetText(trial, col));
            else if (type == TABLE_INT)
                p = FormatIntTo(p, table.GetInt(trial, col));
            else if (type == TABLE_DOUBLE)
                p = FormatGTo(p, CellDouble(table, trial, col));
        }
        *p++ = ',';
        p = FormatIntTo(p, t.activeChannels);
        *p++ = ',';
        p = FormatIntTo(p, data.MainChannel());
        *p++ = ',';
        p = FormatFixedTo(p, data.FigOnTime(trial, f), 1);
        *p++ = '\r';
        *p++ = '\n';
        out.resize(static_cast<size_t>(p - out.data()));
        break;
    }
    case EXPORT_SPIKE:
        for (size_t k = 0, n = CTrialData::SpikeCount(t); k < n; ++k) {
            RowText row(prefix);
            row.Int(t.spikeMasks[k]);
            row.Fixed(CTrialData::SpikeTime(t, k, f), 1);
            row.AppendTo(out);
        }
        {
            RowText row(prefix);
            row.Int(-1);
            row.Fixed(CTrialData::EndTime(t, f), 1);
            row.AppendTo(out);
        }
        break;
    case EXPORT_EYE:
        for (size_t j = 0, n = CTrialData::EyeSampleCount(t); j < n; ++j) {
            RowText row(prefix);
            row.Fixed(CTrialData::EyeX(t, j), 2);
            row.Fixed(CTrialData::EyeY(t, j), 2);
            row.Fixed(data.EyeTime(j, f), 1);
            row.AppendTo(out);
        }
        break;
    case EXPORT_KEY:
        for (size_t k = 0, n = CTrialData::KeyEventCount(t); k < n; ++k) {
            RowText row(prefix);
            row.Int(static_cast<int16_t>(t.keyCodes[k]));
            row.Fixed(t.keyTimes[k] - static_cast<double>(f), 1);
            row.AppendTo(out);
        }
        break;
    default: break;
    }
}

void WriteCsvRows(CExportFile& file, const CTrialData& data, int eventType, const std::vector<int>& map,
                  IExportProgress& progress)
{
    std::string buffer;
    buffer.reserve(kCsvBlock);
    const int n = data.TrialCount();
    for (int i = 0; i < n && progress.IsRunning(); ++i) {
        if (buffer.size() > kCsvFlushAt) {
            file.WriteText(buffer);
            buffer.clear();
        }
        AppendCsvRows(buffer, data, i, eventType, map);
        progress.OnTrial(i + 1);
    }
    file.WriteText(buffer);
}

bool DefineDbfFields(CDbfWriter& writer, int eventType, const ExportColumns& columns)
{
    bool ok = writer.AddField("CellID", 'C', 6, 0) && writer.AddField("Rep", 'N', 2, 0)
        && writer.AddField("TrialNum", 'N', 6, 0);
    switch (eventType) {
    case EXPORT_BASIC:
        ok = ok && writer.AddField("Set", 'N', 6, 0) && writer.AddField("Item", 'N', 6, 0);
        for (size_t k = 0; ok && k < columns.names.size(); ++k) {
            const char* name = columns.names[k].c_str();
            switch (columns.types[k]) {
            case TABLE_TEXT: ok = writer.AddField(name, 'C', 12, 0); break;
            case TABLE_INT: ok = writer.AddField(name, 'N', 6, 0); break;
            case TABLE_DOUBLE: ok = writer.AddField(name, 'N', 9, 2); break;
            default: break;
            }
        }
        ok = ok && writer.AddField("ActiveCh", 'N', 4, 0) && writer.AddField("MainCh", 'N', 2, 0)
            && writer.AddField("FigOnTime", 'N', 9, 1);
        break;
    case EXPORT_SPIKE: ok = ok && writer.AddField("SpikeEvent", 'N', 6, 0) && writer.AddField("SpikeTime", 'N', 9, 1); break;
    case EXPORT_EYE:
        ok = ok && writer.AddField("FPX", 'N', 9, 2) && writer.AddField("FPY", 'N', 9, 2)
            && writer.AddField("FPTime", 'N', 9, 1);
        break;
    case EXPORT_KEY: ok = ok && writer.AddField("KeyAction", 'N', 6, 0) && writer.AddField("KeyTime", 'N', 9, 1); break;
    default: break;
    }
    if (!ok) {
        MessageBox(Format("The trial-parameter table has too many columns (%zu) for a dBASE table.",
                          columns.names.size()));
        return false;
    }
    writer.WriteHeader();
    return true;
}

void SetDbfRows(CDbfWriter& w, const CTrialData& data, int trial, int eventType, const ExportColumns& reference,
                const std::vector<int>& map)
{
    const CTrial& t = data.Trial(trial);
    const float f = data.TimeBase(trial);
    const char* cellId = data.Name().cellId.c_str();
    const int rep = data.Name().repetition;
    switch (eventType) {
    case EXPORT_BASIC: {
        w.SetField(cellId);
        w.SetField(rep);
        w.SetField(trial);
        w.SetField(t.repetition);
        w.SetField(t.commandIndex);
        const CTableModel& table = data.Table();
        const bool hasRow = trial < table.GetRowCount();
        for (size_t k = 0; k < map.size() && k < reference.types.size(); ++k) {
            int fieldType = reference.types[k];
            if (fieldType != TABLE_TEXT && fieldType != TABLE_INT && fieldType != TABLE_DOUBLE)
                continue; // no field
            int col = map[k];
            switch (col >= 0 && hasRow ? table.GetColumnType(col) : -1) {
            case TABLE_TEXT: w.SetField(table.GetText(trial, col)); break;
            case TABLE_INT: w.SetField(table.GetInt(trial, col)); break;
            case TABLE_DOUBLE: w.SetField(CellDouble(table, trial, col)); break;
            default: w.SetField(""); break;
            }
        }
        w.SetField(static_cast<int>(t.activeChannels));
        w.SetField(static_cast<int>(data.MainChannel()));
        w.SetField(data.FigOnTime(trial, f));
        break;
    }
    case EXPORT_SPIKE:
        for (size_t k = 0, n = CTrialData::SpikeCount(t); k < n; ++k) {
            w.SetField(cellId);
            w.SetField(rep);
            w.SetField(trial);
            w.SetField(static_cast<int>(t.spikeMasks[k]));
            w.SetField(CTrialData::SpikeTime(t, k, f));
        }
        w.SetField(cellId);
        w.SetField(rep);
        w.SetField(trial);
        w.SetField(-1);
        w.SetField(CTrialData::EndTime(t, f));
        break;
    case EXPORT_EYE:
        for (size_t j = 0, n = CTrialData::EyeSampleCount(t); j < n; ++j) {
            w.SetField(cellId);
            w.SetField(rep);
            w.SetField(trial);
            w.SetField(CTrialData::EyeX(t, j));
            w.SetField(CTrialData::EyeY(t, j));
            w.SetField(data.EyeTime(j, f));
        }
        break;
    case EXPORT_KEY:
        for (size_t k = 0, n = CTrialData::KeyEventCount(t); k < n; ++k) {
            w.SetField(cellId);
            w.SetField(rep);
            w.SetField(trial);
            w.SetField(static_cast<int>(static_cast<int16_t>(t.keyCodes[k])));
            w.SetField(t.keyTimes[k] - static_cast<double>(f));
        }
        break;
    default: break;
    }
}

bool WriteDbfRows(CDbfWriter& writer, const CTrialData& data, int eventType, const ExportColumns& reference,
                  const std::vector<int>& map, IExportProgress& progress)
{
    const int n = data.TrialCount();
    for (int i = 0; i < n && progress.IsRunning(); ++i) {
        try {
            SetDbfRows(writer, data, i, eventType, reference, map);
        } catch (const CDbfWriter::Cancelled& c) {
            MessageBox(Format("Data error at trial \"%d\", field \"%d\". Exporting stopped!", i + 1, c.field + 1));
            writer.FlushRecord();
            return false;
        }
        progress.OnTrial(i + 1);
    }
    writer.FlushRecord();
    return true;
}

} // namespace orvix
