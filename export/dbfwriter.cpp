#include "export/dbfwriter.h"

#include <algorithm>
#include <cstring>

#include "export/exportfile.h"
#include "platform/text/numbers.h"
#include "platform/ui/ui.h"

namespace orvix {

namespace {

constexpr size_t kRecordCount = 4, kHeaderLength = 8, kRecordLength = 10;

void Put16(uint8_t* at, uint32_t v)
{
    at[0] = static_cast<uint8_t>(v);
    at[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* at, uint32_t v)
{
    Put16(at, v);
    Put16(at + 2, v >> 16);
}

uint32_t Get16(const uint8_t* at) { return at[0] | static_cast<uint32_t>(at[1]) << 8; }

} // namespace

CDbfWriter::CDbfWriter(CExportFile* file) : file_(file)
{
    header_[0] = 0x03;
    // The date of the last update stays fixed at 97-04-25; readers do not rely on it.
    header_[1] = 97;
    header_[2] = 4;
    header_[3] = 25;
    Put16(&header_[kHeaderLength], 33);
    Put16(&header_[kRecordLength], 1);
    header_[29] = 0x03;
    buffer_.reserve(1000000);
}


uint16_t CDbfWriter::HeaderLength() const { return static_cast<uint16_t>(Get16(&header_[kHeaderLength])); }
uint16_t CDbfWriter::RecordLength() const { return static_cast<uint16_t>(Get16(&header_[kRecordLength])); }

bool CDbfWriter::AddField(const char* name, char type, uint8_t length, uint8_t decimals)
{
    if (HeaderLength() + 32u > 0xFFFF || RecordLength() + length > 0xFFFFu)
        return false;
    Field f;
    f.type = type;
    f.length = length;
    f.decimals = decimals;
    f.offset = RecordLength();
    if (name)
        memcpy(f.descriptor.data(), name, strnlen(name, 10));
    f.descriptor[11] = static_cast<uint8_t>(type);
    Put32(&f.descriptor[12], RecordLength());
    f.descriptor[16] = length;
    f.descriptor[17] = decimals;
    Put16(&header_[kRecordLength], RecordLength() + length);
    Put16(&header_[kHeaderLength], HeaderLength() + 32u);
    fields_.push_back(f);
    return true;
}

void CDbfWriter::WriteHeader()
{
    if (!file_)
        return;
    std::string bytes(header_.begin(), header_.end());
    for (const Field& f : fields_)
        bytes.append(f.descriptor.begin(), f.descriptor.end());
    bytes += '\x0D';
    // On a new file the records follow the header; on one already written (a second
    // call) the header is put back in place.
    if (file_->Size() == 0)
        file_->Write(bytes);
    else
        file_->WriteAt(0, bytes.data(), bytes.size());
}

bool CDbfWriter::BeginValue()
{
    if (fields_.empty())
        return false;
    if (current_ == 0) {
        // Blocks end between records, so a record is never split by a flush.
        if (buffer_.size() > kFlushThreshold)
            FlushRecord();
        // The record's room at once; its fields are written into it in place.
        recordStart_ = buffer_.size();
        buffer_.resize(recordStart_ + RecordLength());
        buffer_[recordStart_] = ' ';
    }
    return true;
}

char* CDbfWriter::Slot() { return &buffer_[recordStart_ + fields_[static_cast<size_t>(current_)].offset]; }

void CDbfWriter::Advance()
{
    if (++current_ == static_cast<int>(fields_.size())) {
        current_ = 0;
        ++records_;
    }
}

void CDbfWriter::PutRight(const char* text, size_t size)
{
    const size_t width = static_cast<size_t>(fields_[static_cast<size_t>(current_)].length);
    char* slot = Slot();
    memset(slot, ' ', width - size);
    memcpy(slot + width - size, text, size);
}

void CDbfWriter::PutBlank()
{
    memset(Slot(), ' ', static_cast<size_t>(fields_[static_cast<size_t>(current_)].length));
}

void CDbfWriter::PutNumber(const char* text, size_t size)
{
    const Field& f = fields_[static_cast<size_t>(current_)];
    const size_t width = static_cast<size_t>(f.length);
    if (size > width) {
        std::string full(text, size), kept = full.substr(size - width);
        std::string question = "Value too long! \"" + full + "\" will be truncated to \"" + kept + "\".";
        if (UI().MessageBox(question, MB_OKCANCEL, "Orvix") == IDCANCEL) {
            // The whole record goes back, so no later record is shifted.
            buffer_.resize(recordStart_);
            int field = current_;
            current_ = 0;
            throw Cancelled{field};
        }
        text += size - width;
        size = width;
    }
    PutRight(text, size);
}

void CDbfWriter::PutText(const char* text, size_t size, bool padLeft)
{
    const Field& f = fields_[static_cast<size_t>(current_)];
    size = std::min(size, static_cast<size_t>(f.length));
    if (padLeft) {
        PutRight(text, size);
    } else {
        char* slot = Slot();
        memcpy(slot, text, size);
        memset(slot + size, ' ', static_cast<size_t>(f.length) - size);
    }
}

void CDbfWriter::SetField(int value)
{
    if (!BeginValue())
        return;
    const Field& f = fields_[static_cast<size_t>(current_)];
    char text[FixedTextRoom(255)];
    if (f.type == 'N') {
        char* end = f.decimals > 0 ? FormatFixedTo(text, value, f.decimals) : FormatIntTo(text, value);
        PutNumber(text, static_cast<size_t>(end - text));
    } else if (f.type == 'C') {
        PutText(text, static_cast<size_t>(FormatIntTo(text, value) - text), true);
    } else {
        PutBlank();
    }
    Advance();
}

void CDbfWriter::SetField(double value)
{
    if (!BeginValue())
        return;
    const Field& f = fields_[static_cast<size_t>(current_)];
    if (f.type == 'N') {
        char text[FixedTextRoom(255)];
        PutNumber(text, static_cast<size_t>(FormatFixedTo(text, value, f.decimals) - text));
    } else if (f.type == 'C') {
        // The export gives text fields text only; a number is written as "%g" would.
        std::string text;
        AppendG(text, value);
        PutText(text.data(), text.size(), true);
    } else {
        PutBlank();
    }
    Advance();
}

void CDbfWriter::SetField(const char* value)
{
    if (!BeginValue())
        return;
    const Field& f = fields_[static_cast<size_t>(current_)];
    if (!value)
        value = "";
    if (f.type == 'N') {
        char text[FixedTextRoom(255)];
        PutNumber(text, static_cast<size_t>(FormatFixedTo(text, ParseDouble(value), f.decimals) - text));
    } else if (f.type == 'C') {
        PutText(value, strnlen(value, static_cast<size_t>(f.length)), false);
    } else {
        PutBlank();
    }
    Advance();
}

void CDbfWriter::FlushRecord()
{
    size_t complete = current_ == 0 ? buffer_.size() : recordStart_;
    if (file_)
        file_->Write(buffer_.data(), complete);
    buffer_.erase(0, complete);
    recordStart_ = 0;
}

void CDbfWriter::Close()
{
    if (current_ != 0) {
        buffer_.resize(recordStart_);
        current_ = 0;
    }
    FlushRecord();
    Put32(&header_[kRecordCount], records_);
    if (file_)
        file_->WriteAt(0, header_.data(), header_.size());
}

} // namespace orvix
