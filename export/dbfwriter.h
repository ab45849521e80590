// CDbfWriter: a dBASE III table (".dbf") written onto an export file. The caller defines
// the fields, writes the header, sets the values of each record field by field and closes
// the table, which puts the record count into the header.
//
// Layout: a 32-byte header (version 3, the fixed date 97-04-25, record count, header and
// record lengths, byte 29 = 3), one 32-byte descriptor per field, the byte 0x0D, then the
// records, each a ' ' followed by every field's text at its width. No 0x1A at the end.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvix {

class CExportFile;

class CDbfWriter {
public:
    // The user cancelled the "Value too long!" question: the export of the file ends.
    // field: the zero-based index of the field.
    struct Cancelled {
        int field;
    };

    // Null file: nothing is ever written.
    explicit CDbfWriter(CExportFile* file);

    // A field of type 'C' (text) or 'N' (number); the name's first 10 characters count.
    // False, with nothing added, when the header or the record would outgrow the format's
    // 16-bit lengths.
    bool AddField(const char* name, char type, uint8_t length, uint8_t decimals);
    // The header and the field descriptors at the start of the file; once, after the
    // last AddField and before the first value.
    void WriteHeader();

    // The value of the next field of the record. A number wider than its 'N' field asks
    // the user: OK keeps the rightmost characters, Cancel takes the whole record back and
    // throws Cancelled.
    void SetField(int value);
    void SetField(double value);
    void SetField(const char* value);

    // Writes the complete records held; a record being set stays until it is complete.
    void FlushRecord();
    // Writes what is held and the header again with the final record count. A record
    // left half set is dropped, so the count always matches the records in the file.
    void Close();

    // The complete records set so far.
    uint32_t RecordCount() const { return records_; }
    int FieldCount() const { return static_cast<int>(fields_.size()); }
    uint16_t HeaderLength() const;
    uint16_t RecordLength() const;

    // Records are written in blocks of about this size.
    static constexpr size_t kFlushThreshold = 990000;

private:
    using Bytes32 = std::array<uint8_t, 32>;
    struct Field {
        Bytes32 descriptor{};
        char type;
        int length;
        int decimals;
        size_t offset; // in the record
    };

    // Starts a record when none is being set; false when there are no fields.
    bool BeginValue();
    // The current field's place in the record being set.
    char* Slot();
    // Puts a number's text at the field's width, asking when it is too wide.
    void PutNumber(const char* text, size_t size);
    // Puts a text cut to the field's width, padded on the left (numbers) or right.
    void PutText(const char* text, size_t size, bool padLeft);
    // A text that fits, right-justified.
    void PutRight(const char* text, size_t size);
    void PutBlank();
    void Advance();

    CExportFile* file_;
    Bytes32 header_{};
    std::vector<Field> fields_;
    std::string buffer_;
    // Where the record being set begins in the buffer.
    size_t recordStart_ = 0;
    int current_ = 0;
    uint32_t records_ = 0;
};

} // namespace orvix
