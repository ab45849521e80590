#include "document/datafile_format.h"

#include <algorithm>
#include <cstring>

namespace orvix {

namespace {

template <class T>
void WriteObjects(CArchive& ar, const std::vector<const T*>& list)
{
    ar.WriteCount(list.size());
    for (const T* p : list)
        ar.WriteObject(p);
}

void ReadParamObjects(CArchive& ar, std::vector<std::unique_ptr<CParam>>& list)
{
    size_t n = ar.ReadCount();
    ar.CheckCount(n, 2);
    list.clear();
    for (size_t i = 0; i < n; ++i)
        if (CParam* p = ReadObjectAs<CParam>(ar))
            list.emplace_back(p);
}

void WriteParamList(CArchive& ar, const std::vector<CParam>& list)
{
    ar.WriteDWord(static_cast<uint32_t>(list.size()));
    for (const CParam& p : list) {
        CParam copy(p);
        copy.Serialize(ar);
    }
}

void ReadParamList(CArchive& ar, std::vector<CParam>& list)
{
    uint32_t n = ar.ReadDWord();
    ar.CheckCount(n, 2);
    list.assign(n, CParam());
    for (CParam& p : list)
        p.Serialize(ar);
}

void WriteWords(CArchive& ar, const std::vector<uint32_t>& words)
{
    ar.WriteCount(words.size());
    for (uint32_t w : words)
        ar.WriteDWord(w);
}

void ReadWords(CArchive& ar, std::vector<uint32_t>& words)
{
    size_t n = ar.ReadCount();
    ar.CheckCount(n, 4);
    words.resize(n);
    for (uint32_t& w : words)
        w = ar.ReadDWord();
}

void WriteFont(CArchive& ar, const FontRecord& f)
{
    for (int32_t v : {f.height, f.width, f.escapement, f.orientation, f.weight})
        ar.WriteInt(v);
    for (uint8_t b : {f.italic, f.underline, f.strikeOut, f.charSet, f.outPrecision, f.clipPrecision, f.quality,
                      f.pitchAndFamily})
        ar.WriteByte(b);
    char face[32] = {};
    memcpy(face, f.faceName.data(), std::min<size_t>(f.faceName.size(), 31));
    ar.WriteBytes(face, sizeof face);
}

// The fonts of a file are read and not taken: the document keeps its own.
void SkipFont(CArchive& ar)
{
    uint8_t record[60];
    ar.ReadBytes(record, sizeof record);
}

// About the bytes a save writes (the trials exactly, or a little more), so that the
// archive's buffer is allocated once: a buffer grown step by step holds up to three times
// the file while it grows. Parameter values are counted at a typical length.
size_t StoredSizeBound(const DataFileContents& c, const DataFileObjects& objects)
{
    size_t size = 4096 + c.notes.size();
    auto texts = [&](const std::vector<std::string>& list) {
        for (const auto& s : list)
            size += 7 + s.size();
    };
    texts(c.testTypes);
    texts(c.commandLines);
    texts(c.expressionColumns);
    for (const auto* list : {&objects.expParams, &objects.behavParams, &objects.graphParams})
        for (const CParam* p : *list)
            size += 64 + p->GetName().size();
    for (const auto* list : {&c.selectionList1, &c.selectionList2, &c.savedLists[0], &c.savedLists[1],
                             &c.savedLists[2]})
        for (const CParam& p : *list)
            size += 64 + p.GetName().size();
    for (const auto& r : c.reserved)
        size += 6 + 4 * r.size();
    // A trial: its tag, the fixed fields and eight counts at their longest, the arrays.
    for (const CTrial* t : objects.trials)
        size += 120 + t->comment.size() + 2 * t->spikeMasks.size() + 4 * t->spikeTimes.size()
            + 2 * t->hSamples.size() + 2 * t->vSamples.size() + 4 * t->keyTimes.size() + 2 * t->keyCodes.size()
            + 4 * t->eventTimes.size() + t->eventCodes.size();
    return size;
}

} // namespace

void StoreDataFileContents(CArchive& ar, const DataFileContents& c, const DataFileObjects& objects)
{
    ar.Reserve(StoredSizeBound(c, objects));
    ar.WriteWord(kDataFileVersion);
    ar.WriteDWord(c.testTypeEntry);
    ar.WriteString(c.notes);
    ar.WriteInt(c.selectedChannel);
    ar.WriteByte(c.mainChannel);
    for (int16_t v : c.cellIds)
        ar.WriteWord(static_cast<uint16_t>(v));
    for (uint8_t v : c.gridChoices)
        ar.WriteByte(v);
    for (int16_t v : c.depths)
        ar.WriteWord(static_cast<uint16_t>(v));
    ar.WriteStringList(c.testTypes);
    WriteObjects(ar, objects.expParams);
    WriteObjects(ar, objects.behavParams);
    WriteObjects(ar, objects.graphParams);
    ar.WriteStringList(c.commandLines);
    WriteObjects(ar, objects.trials);
    for (const auto& r : c.reserved)
        WriteWords(ar, r);
    const CPlotSettings& p = c.plot;
    WriteFont(ar, p.mainFont);
    WriteFont(ar, p.verticalFont);
    for (int32_t v : {p.FigWidth, p.FigHeight, p.FigLeftMargin, p.FigRightMargin, p.FigTopMargin, p.FigBottomMargin,
                      p.SymbolSize, p.MaxYRange, p.MinYRange, p.StepYRange, p.GridLength,
                      static_cast<int32_t>(p.BarColor), p.ErrorBarLength})
        ar.WriteInt(v);
    ar.WriteString(p.xTitle);
    ar.WriteString(p.yTitle);
    ar.WriteString(p.zTitle);
    for (int32_t v : {p.HistBin, p.HistMin, p.HistMax, p.HistMaxCount, p.HistLabelSpacing})
        ar.WriteInt(v);
    for (int32_t v : {p.XAxisVariable, p.YAxisVariable, p.FigureAxisVariable})
        ar.WriteInt(v);
    WriteParamList(ar, c.selectionList1);
    WriteParamList(ar, c.selectionList2);
    ar.WriteInt(p.PlotType);
    ar.WriteInt(p.PenWidth);
    ar.WriteStringList(c.expressionColumns);
    for (const auto& saved : c.savedLists)
        WriteParamList(ar, saved);
}

void LoadDataFileContents(CArchive& ar, DataFileContents& c, bool withFormat, bool forMerge)
{
    c.version = ar.ReadWord();
    if (c.version > kDataFileVersion)
        throw DataFileTooNew();
    const uint16_t v = c.version;
    c.testTypeEntry = ar.ReadDWord();
    if (v == 0 || v >= 2)
        c.notes = ar.ReadString();
    c.selectedChannel = ar.ReadInt();
    if (v >= 1) {
        c.mainChannel = ar.ReadByte();
        for (int16_t& x : c.cellIds)
            x = ar.ReadShort();
        for (uint8_t& x : c.gridChoices)
            x = ar.ReadByte();
        for (int16_t& x : c.depths)
            x = ar.ReadShort();
    }
    c.testTypes = ar.ReadStringList();
    ReadParamObjects(ar, c.expParams);
    ReadParamObjects(ar, c.behavParams);
    ReadParamObjects(ar, c.graphParams);
    c.commandLines = ar.ReadStringList();
    size_t n = ar.ReadCount();
    ar.CheckCount(n, 2);
    c.trials.clear();
    for (size_t i = 0; i < n; ++i)
        if (CTrial* t = ReadObjectAs<CTrial>(ar))
            c.trials.emplace_back(t);
    if (forMerge)
        return;
    for (auto& r : c.reserved)
        ReadWords(ar, r);
    if (!withFormat || v < 3)
        return;
    CPlotSettings& p = c.plot;
    SkipFont(ar);
    SkipFont(ar);
    int32_t figure[13];
    for (int32_t& x : figure)
        x = ar.ReadInt();
    // Symbol size, grid length and error-bar length are read and not taken.
    p.FigWidth = figure[0];
    p.FigHeight = figure[1];
    p.FigLeftMargin = figure[2];
    p.FigRightMargin = figure[3];
    p.FigTopMargin = figure[4];
    p.FigBottomMargin = figure[5];
    p.MaxYRange = figure[7];
    p.MinYRange = figure[8];
    p.StepYRange = figure[9];
    p.BarColor = static_cast<uint32_t>(figure[11]);
    p.xTitle = ar.ReadString();
    p.yTitle = ar.ReadString();
    p.zTitle = ar.ReadString();
    p.HistBin = ar.ReadInt();
    p.HistMin = ar.ReadInt();
    p.HistMax = ar.ReadInt();
    p.HistMaxCount = ar.ReadInt();
    p.HistLabelSpacing = ar.ReadInt();
    p.XAxisVariable = ar.ReadInt();
    p.YAxisVariable = ar.ReadInt();
    p.FigureAxisVariable = ar.ReadInt();
    ReadParamList(ar, c.selectionList1);
    ReadParamList(ar, c.selectionList2);
    c.hasFormat = true;
    if (v >= 4) {
        p.PlotType = ar.ReadInt();
        ar.ReadInt(); // the pen width is not taken
        c.hasPlotType = true;
    }
    if (v >= 5) {
        c.expressionColumns = ar.ReadStringList();
        c.hasExpressionColumns = true;
    }
    if (v >= 7) {
        for (auto& saved : c.savedLists)
            ReadParamList(ar, saved);
        c.hasSavedLists = true;
    }
}

} // namespace orvix
