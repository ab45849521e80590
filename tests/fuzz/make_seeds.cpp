// Writes the seed files of the data-file fuzz targets: small valid files of every version
// (0 to 7, with trial records of the matching versions), files written by the program's
// own writer, and one of a version too new. Usage: make_datafile_seeds <folder>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "document/datafile_format.h"

using namespace orvix;

namespace {

// Writes a file field by field, with the object tags worked out here.
struct SeedWriter {
    CArchive ar;
    uint16_t version;
    uint32_t nextIndex = 1;
    std::map<std::string, uint32_t> classIndex;

    explicit SeedWriter(uint16_t v) : version(v) { ar.WriteWord(v); }

    void Tag(const std::string& cls, uint16_t schema)
    {
        auto it = classIndex.find(cls);
        if (it == classIndex.end()) {
            ar.WriteWord(0xFFFF);
            ar.WriteWord(schema);
            ar.WriteWord(static_cast<uint16_t>(cls.size()));
            ar.WriteBytes(cls.data(), cls.size());
            classIndex[cls] = nextIndex++;
        } else {
            ar.WriteWord(static_cast<uint16_t>(0x8000 | it->second));
        }
        ++nextIndex; // the object's own index
    }
    void Param(const std::string& name, const std::string& value, bool tagged = true)
    {
        if (tagged)
            Tag("CParam", 1);
        ar.WriteString(name);
        ar.WriteString(value);
    }
    void Head(const std::string& notes)
    {
        ar.WriteDWord(0);
        if (version == 0 || version >= 2)
            ar.WriteString(notes);
        ar.WriteInt(2);
        if (version >= 1) {
            ar.WriteByte(3);
            for (int i = 0; i < 8; ++i)
                ar.WriteWord(static_cast<uint16_t>(i + 1));
            for (int i = 0; i < 8; ++i)
                ar.WriteByte(static_cast<uint8_t>(i));
            for (int i = 0; i < 8; ++i)
                ar.WriteWord(static_cast<uint16_t>(-100 * i));
        }
        ar.WriteStringList({"Orient"});
    }
    void Trial(uint16_t v, int i)
    {
        Tag("CTrial", 1);
        ar.WriteWord(v);
        ar.WriteWord(0);
        ar.WriteDWord(2000);
        for (uint32_t w : {0x3F800000u, static_cast<uint32_t>(-2560), 0x3F800000u, static_cast<uint32_t>(-1280)})
            ar.WriteDWord(w);
        ar.WriteInt(i % 3);
        ar.WriteInt(i / 3);
        for (int32_t r : {1, 250, 0, 0})
            ar.WriteInt(r);
        if (v >= 1) {
            ar.WriteByte(0x0F);
            ar.WriteString(i == 0 ? "first" : "");
        }
        if (v >= 3)
            ar.WriteInt(1);
        if (v >= 5) {
            ar.WriteDWord(0);
            ar.WriteDWord(0);
        }
        if (v >= 6)
            ar.WriteDWord(123456u + static_cast<uint32_t>(i));
        ar.WriteCount(3); // spike masks
        for (uint16_t m : {1, 3, 8})
            ar.WriteWord(m);
        ar.WriteCount(3); // spike times
        for (uint32_t t : {3100u, 4000u, 9000u})
            ar.WriteDWord(t);
        for (int axis = 0; axis < 2; ++axis) { // H, then V samples
            ar.WriteCount(4);
            for (int s = 0; s < 4; ++s)
                ar.WriteWord(static_cast<uint16_t>(2500 + 10 * s + axis));
        }
        ar.WriteCount(1); // key times
        ar.WriteDWord(1500);
        ar.WriteCount(1); // key codes
        if (v < 4)
            ar.WriteByte(32);
        else
            ar.WriteWord(32);
        ar.WriteCount(3); // events
        for (uint32_t t : {0u, 300u, 1100u})
            ar.WriteDWord(t);
        ar.WriteCount(3);
        for (uint8_t c : {2, 6, 7})
            ar.WriteByte(c);
    }
    void Body(uint16_t trialVersion, const std::string& notes)
    {
        Head(notes);
        ar.WriteCount(3);
        Param("IVFile", "scene.iv");
        Param("AnalysisTime", "800");
        Param("ivfile", "dup");
        ar.WriteCount(1);
        Param("OR", "45");
        ar.WriteCount(1);
        Param("G1", "0.5");
        ar.WriteStringList({"OR 0, SF 1.5", "OR 90, SF 2", "OR 180, SF 2.5"});
        ar.WriteCount(4);
        for (int i = 0; i < 3; ++i)
            Trial(trialVersion, i);
        ar.WriteWord(0); // a null object in the list
        for (int i = 0; i < 5; ++i)
            ar.WriteCount(i == 4 ? 1 : 0);
        ar.WriteDWord(0xDEADBEEF); // one reserved value
        if (version < 3)
            return;
        uint8_t font[60];
        memset(font, 0x41, sizeof font);
        ar.WriteBytes(font, sizeof font);
        ar.WriteBytes(font, sizeof font);
        for (int32_t v : {10000, 8000, 1200, 300, 500, 1000, 100, 50, 0, 10, 100, 0xFF8000, 150})
            ar.WriteInt(v);
        ar.WriteString("Orientation");
        ar.WriteString("Spikes/S");
        ar.WriteString("");
        for (int32_t v : {10, -200, 200, 1, 5})
            ar.WriteInt(v);
        for (int32_t v : {0, 1, -1})
            ar.WriteInt(v);
        ar.WriteDWord(1);
        Param("OR", "90", false);
        ar.WriteDWord(0);
        if (version >= 4) {
            ar.WriteInt(1);
            ar.WriteInt(2);
        }
        if (version >= 5)
            ar.WriteStringList({"Half", "OR / 2"});
        if (version >= 7) {
            ar.WriteDWord(0);
            ar.WriteDWord(1);
            Param("G1", "0.25", false);
            ar.WriteDWord(1);
            Param("AnalysisTime", "500", false);
        }
    }
};

bool Save(const std::string& dir, const std::string& name, const std::vector<uint8_t>& bytes)
{
    std::string path = dir + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

// A file from the program's own writer, with trials as the runner fills them: `trials`
// trials of `samples` eye samples on each axis, and notes of `notesLength` characters.
std::vector<uint8_t> WrittenByProgram(size_t notesLength, size_t trialCount, size_t samples)
{
    DataFileContents c;
    c.notes = std::string(notesLength, 'n');
    c.testTypes = {"Orient"};
    c.commandLines = {"OR 0", "OR 90"};
    c.selectionList1 = {CParam("OR", "0")};
    c.expressionColumns = {"Twice", "OR * 2"};
    c.savedLists[1] = {CParam("G1", "1")};
    CParam iv("IVFile", "a.iv"), speed("Speed", "3"), g1("G1", "1");
    std::vector<CTrial> trials(trialCount);
    for (size_t i = 0; i < trials.size(); ++i) {
        CTrial& t = trials[i];
        t.commandIndex = static_cast<int32_t>(i);
        t.comment = "ok";
        t.SetLength(1000);
        t.AddSpike(1, 3500);
        t.AddSpike(2, 6000);
        const int16_t h[] = {1, -2, 3}, v[] = {4, 5, -6};
        for (size_t k = 0; k < samples; ++k) {
            t.hSamples.push_back(h[k % 3]);
            t.vSamples.push_back(v[k % 3]);
        }
        t.keyTimes = {10};
        t.keyCodes = {0x1B};
        t.eventTimes = {0, 300, 900};
        t.eventCodes = {1, 6, 7};
    }
    DataFileObjects objects{{&iv}, {&speed}, {&g1}, {}};
    for (const CTrial& t : trials)
        objects.trials.push_back(&t);
    CArchive ar;
    StoreDataFileContents(ar, c, objects);
    return ar.Buffer();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = true;
    // File version, and the trial-record version written inside it.
    const std::pair<uint16_t, uint16_t> versions[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 6}};
    for (auto [file, trial] : versions) {
        SeedWriter w(file);
        w.Body(trial, "notes");
        ok &= Save(dir, "v" + std::to_string(file) + ".oxv", w.ar.Buffer());
    }
    ok &= Save(dir, "program.oxv", WrittenByProgram(300, 2, 3)); // a text with the two-byte length
    // The reader's window in the fuzz build is small: these cross its edges. Many trials put
    // items across them; eye samples of twice the window are read straight into place; notes
    // of three windows outgrow the window.
    constexpr size_t kWindow = ORVIX_ARCHIVE_WINDOW;
    ok &= Save(dir, "window-edges.oxv", WrittenByProgram(10, 12, 3));
    ok &= Save(dir, "window-long-array.oxv", WrittenByProgram(10, 1, kWindow));
    ok &= Save(dir, "window-long-text.oxv", WrittenByProgram(3 * kWindow, 1, 3));
    SeedWriter tooNew(8);
    ok &= Save(dir, "v8-too-new.oxv", tooNew.ar.Buffer());
    if (!ok)
        fprintf(stderr, "cannot write the seeds into %s\n", dir.c_str());
    return ok ? 0 : 1;
}
