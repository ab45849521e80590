#include "platform/files/archive.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/atomic_file.h"

namespace orvix {

namespace {

constexpr uint16_t kNullTag = 0;
constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint16_t kClassTag = 0x8000;
constexpr uint16_t kBigObjectTag = 0x7FFF;
constexpr uint32_t kBigClassTag = 0x80000000u;
constexpr uint16_t kMaxSmallIndex = 0x7FFE;
// The window through which a file is read or written: small enough to stay in the cache,
// large enough that the system calls cost nothing. The fuzz build of the reader makes it
// small, so that small inputs cross its edges.
#ifndef ORVIX_ARCHIVE_WINDOW
#define ORVIX_ARCHIVE_WINDOW (1 << 20)
#endif
constexpr size_t kWindow = ORVIX_ARCHIVE_WINDOW;

std::map<std::string, const CRuntimeClass*>& Classes()
{
    static std::map<std::string, const CRuntimeClass*> classes;
    return classes;
}

} // namespace

const CRuntimeClass* CRuntimeClass::Find(const std::string& name)
{
    auto it = Classes().find(name);
    return it == Classes().end() ? nullptr : it->second;
}

void CRuntimeClass::Register(const CRuntimeClass* cls) { Classes()[cls->className] = cls; }

CArchive::CArchive() : storing_(true) {}

CArchive::CArchive(std::vector<uint8_t> bytes) : storing_(false), buffer_(std::move(bytes))
{
    end_ = buffer_.size();
    total_ = end_;
    loadedClass_.push_back(nullptr); // index 0 is the null object
}

CArchive::CArchive(bool storing, int fd, uint64_t size) : storing_(storing), total_(size), fd_(fd)
{
    if (storing) {
        buffer_.reserve(2 * kWindow);
    } else {
        buffer_.resize(static_cast<size_t>(std::min<uint64_t>(size, kWindow)));
        loadedClass_.push_back(nullptr);
    }
}

CArchive CArchive::LoadingFrom(int fd, uint64_t size) { return CArchive(false, fd, size); }

CArchive CArchive::StoringTo(int fd) { return CArchive(true, fd, 0); }

void CArchive::Reserve(size_t size)
{
    if (fd_ < 0)
        buffer_.reserve(buffer_.size() + size);
}

bool CArchive::Flush()
{
    if (fd_ < 0)
        return true;
    // The first failure is kept: later flushes write nothing and report it again.
    if (writeError_ == 0 && !WriteAll(fd_, buffer_.data(), buffer_.size()))
        writeError_ = errno;
    buffer_.clear();
    errno = writeError_;
    return writeError_ == 0;
}

void CArchive::Fail(CArchiveException::Cause cause)
{
    switch (cause) {
    case CArchiveException::endOfFile:
        throw CArchiveException(cause, "An attempt was made to read past the end of the file.");
    case CArchiveException::badIndex:
        throw CArchiveException(cause, "The file holds an invalid object reference.");
    case CArchiveException::badClass:
        throw CArchiveException(cause, "The file holds an object of an unexpected type.");
    case CArchiveException::badSchema:
        throw CArchiveException(cause, "The file holds an object of an unexpected version.");
    case CArchiveException::tooNew:
        throw CArchiveException(cause, "The file was written by a newer version.");
    default:
        throw CArchiveException(cause, "The file has an invalid format.");
    }
}

size_t CArchive::ReadFile(uint8_t* data, size_t size, size_t least)
{
    size_t got = 0;
    while (got < size) {
        ssize_t n = read(fd_, data + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) // a disk error, not a fault of the file's contents
            throw CArchiveException(CArchiveException::readError, strerror(errno));
        if (n == 0) { // the file shrank: it holds what was read
            total_ = read_ + got;
            break;
        }
        got += static_cast<size_t>(n);
    }
    read_ += got;
    if (got < least)
        Fail(CArchiveException::endOfFile);
    return got;
}

void CArchive::Refill(size_t size)
{
    if (fd_ < 0 || size > Remaining())
        Fail(CArchiveException::endOfFile);
    const size_t kept = end_ - pos_;
    memmove(buffer_.data(), buffer_.data() + pos_, kept);
    base_ += pos_;
    pos_ = 0;
    end_ = kept;
    if (size > buffer_.size())
        buffer_.resize(size);
    const size_t more = static_cast<size_t>(std::min<uint64_t>(buffer_.size() - end_, total_ - base_ - end_));
    end_ += ReadFile(buffer_.data() + end_, more, size - kept);
}

void CArchive::CheckCount(uint64_t count, size_t minBytes)
{
    if (minBytes == 0)
        minBytes = 1;
    if (count > Remaining() / minBytes)
        Fail(CArchiveException::endOfFile);
}

void CArchive::WriteByte(uint8_t v) { buffer_.push_back(v); }

void CArchive::WriteWord(uint16_t v)
{
    WriteByte(static_cast<uint8_t>(v));
    WriteByte(static_cast<uint8_t>(v >> 8));
}

void CArchive::WriteDWord(uint32_t v)
{
    WriteWord(static_cast<uint16_t>(v));
    WriteWord(static_cast<uint16_t>(v >> 16));
}

void CArchive::WriteDouble(double v)
{
    uint64_t bits;
    memcpy(&bits, &v, sizeof bits);
    WriteDWord(static_cast<uint32_t>(bits));
    WriteDWord(static_cast<uint32_t>(bits >> 32));
}

void CArchive::WriteBytes(const void* data, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(data);
    buffer_.insert(buffer_.end(), p, p + size);
}

void CArchive::WriteString(const std::string& text)
{
    size_t n = text.size();
    if (n < 255) {
        WriteByte(static_cast<uint8_t>(n));
    } else if (n < 0xFFFE) {
        WriteByte(0xFF);
        WriteWord(static_cast<uint16_t>(n));
    } else {
        WriteByte(0xFF);
        WriteWord(0xFFFF);
        WriteDWord(static_cast<uint32_t>(n));
    }
    WriteBytes(text.data(), n);
}

void CArchive::WriteCount(size_t count)
{
    if (count < 0xFFFF) {
        WriteWord(static_cast<uint16_t>(count));
    } else {
        WriteWord(0xFFFF);
        WriteDWord(static_cast<uint32_t>(count));
    }
}

void CArchive::WriteStringList(const std::vector<std::string>& list)
{
    WriteCount(list.size());
    for (const auto& s : list)
        WriteString(s);
}

void CArchive::WriteWords(const uint16_t* values, size_t count)
{
    if constexpr (std::endian::native == std::endian::little) {
        WriteBytes(values, count * sizeof *values);
    } else {
        for (size_t i = 0; i < count; ++i)
            WriteWord(values[i]);
    }
}

void CArchive::WriteDWords(const uint32_t* values, size_t count)
{
    if constexpr (std::endian::native == std::endian::little) {
        WriteBytes(values, count * sizeof *values);
    } else {
        for (size_t i = 0; i < count; ++i)
            WriteDWord(values[i]);
    }
}

void CArchive::WriteObject(const CObject* object)
{
    if (!object) {
        WriteWord(kNullTag);
        return;
    }
    if (auto it = storedIndex_.find(object); it != storedIndex_.end()) {
        if (it->second <= kMaxSmallIndex) {
            WriteWord(static_cast<uint16_t>(it->second));
        } else {
            WriteWord(kBigObjectTag);
            WriteDWord(it->second);
        }
        return;
    }
    const CRuntimeClass* cls = object->GetRuntimeClass();
    if (auto it = storedIndex_.find(cls); it != storedIndex_.end()) {
        if (it->second < kBigObjectTag) {
            WriteWord(static_cast<uint16_t>(kClassTag | it->second));
        } else {
            WriteWord(kBigObjectTag);
            WriteDWord(kBigClassTag | it->second);
        }
    } else {
        WriteWord(kNewClassTag);
        WriteWord(cls->schema);
        size_t len = strlen(cls->className);
        WriteWord(static_cast<uint16_t>(len));
        WriteBytes(cls->className, len);
        storedIndex_[cls] = mapCount_++;
    }
    storedIndex_[object] = mapCount_++;
    const_cast<CObject*>(object)->Serialize(*this);
    if (fd_ >= 0 && buffer_.size() >= kWindow)
        Flush();
}

uint8_t CArchive::ReadByte()
{
    Need(1);
    return buffer_[pos_++];
}

uint16_t CArchive::ReadWord()
{
    Need(2);
    uint16_t v = static_cast<uint16_t>(buffer_[pos_] | (buffer_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
}

uint32_t CArchive::ReadDWord()
{
    uint32_t lo = ReadWord();
    uint32_t hi = ReadWord();
    return lo | (hi << 16);
}

double CArchive::ReadDouble()
{
    uint64_t lo = ReadDWord();
    uint64_t hi = ReadDWord();
    uint64_t bits = lo | (hi << 32);
    double v;
    memcpy(&v, &bits, sizeof v);
    return v;
}

void CArchive::ReadBytes(void* data, size_t size)
{
    if (size == 0) // an empty array has no storage to copy into
        return;
    if (size > end_ - pos_ && fd_ >= 0 && size >= kWindow / 2) {
        // A long run goes from the file straight to its place.
        if (size > Remaining())
            Fail(CArchiveException::endOfFile);
        const size_t have = end_ - pos_;
        memcpy(data, buffer_.data() + pos_, have);
        base_ += end_;
        pos_ = end_ = 0;
        ReadFile(static_cast<uint8_t*>(data) + have, size - have, size - have);
        base_ += size - have;
        return;
    }
    Need(size);
    memcpy(data, buffer_.data() + pos_, size);
    pos_ += size;
}

std::string CArchive::ReadString()
{
    size_t n = ReadByte();
    if (n == 0xFF) {
        n = ReadWord();
        if (n == 0xFFFE) // a wide-character text: never written by this program
            Fail(CArchiveException::generic);
        if (n == 0xFFFF)
            n = ReadDWord();
    }
    Need(n);
    std::string text(reinterpret_cast<const char*>(buffer_.data() + pos_), n);
    pos_ += n;
    return text;
}

size_t CArchive::ReadCount()
{
    size_t n = ReadWord();
    if (n == 0xFFFF)
        n = ReadDWord();
    return n;
}

std::vector<std::string> CArchive::ReadStringList()
{
    size_t n = ReadCount();
    CheckCount(n, 1);
    std::vector<std::string> list;
    list.reserve(n);
    for (size_t i = 0; i < n; ++i)
        list.push_back(ReadString());
    return list;
}

void CArchive::ReadWords(uint16_t* values, size_t count)
{
    if constexpr (std::endian::native == std::endian::little) {
        CheckCount(count, sizeof *values);
        ReadBytes(values, count * sizeof *values);
    } else {
        for (size_t i = 0; i < count; ++i)
            values[i] = ReadWord();
    }
}

void CArchive::ReadDWords(uint32_t* values, size_t count)
{
    if constexpr (std::endian::native == std::endian::little) {
        CheckCount(count, sizeof *values);
        ReadBytes(values, count * sizeof *values);
    } else {
        for (size_t i = 0; i < count; ++i)
            values[i] = ReadDWord();
    }
}

CObject* CArchive::ReadObject(const CRuntimeClass* expected)
{
    uint16_t tag = ReadWord();
    uint32_t index;
    bool isClass;
    if (tag == kNullTag)
        return nullptr;
    if (tag == kNewClassTag) {
        uint16_t schema = ReadWord();
        uint16_t len = ReadWord();
        Need(len);
        std::string name(reinterpret_cast<const char*>(buffer_.data() + pos_), len);
        pos_ += len;
        const CRuntimeClass* cls = CRuntimeClass::Find(name);
        if (!cls)
            Fail(CArchiveException::badClass);
        if (cls->schema != schema)
            Fail(CArchiveException::badSchema);
        loadedClass_.push_back(cls);
        index = static_cast<uint32_t>(loadedClass_.size() - 1);
        isClass = true;
    } else if (tag == kBigObjectTag) {
        uint32_t big = ReadDWord();
        isClass = (big & kBigClassTag) != 0;
        index = big & ~kBigClassTag;
    } else {
        isClass = (tag & kClassTag) != 0;
        index = tag & ~kClassTag;
    }
    if (!isClass)
        Fail(CArchiveException::badIndex); // a back-reference
    if (index == 0 || index >= loadedClass_.size() || !loadedClass_[index])
        Fail(CArchiveException::badIndex);
    const CRuntimeClass* cls = loadedClass_[index];
    if (expected && cls != expected)
        Fail(CArchiveException::badClass);
    std::unique_ptr<CObject> object(cls->create());
    loadedClass_.push_back(nullptr); // the object's own index
    object->Serialize(*this);
    return object.release();
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    // One read of the size the file has, then whatever it grew by meanwhile.
    struct stat st;
    size_t size = fstat(fileno(f), &st) == 0 && st.st_size > 0 ? static_cast<size_t>(st.st_size) : 0;
    bytes.resize(size);
    bytes.resize(fread(bytes.data(), 1, size, f));
    if (bytes.size() == size) {
        uint8_t chunk[16384];
        while (size_t n = fread(chunk, 1, sizeof chunk, f))
            bytes.insert(bytes.end(), chunk, chunk + n);
    }
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

} // namespace orvix
