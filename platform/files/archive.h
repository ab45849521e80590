// The binary archive of the data files: little-endian numbers, length-prefixed texts,
// collection counts and object records with class tags, schemas and back-references, in
// the conventions of the original program's framework so that its files read unchanged.
//
// An archive stores into, or loads from, a byte buffer held in memory, or streams a file
// through a window of a megabyte that is reused, so that a large file costs no more memory
// than what is made of it and is copied once. The loader checks every length and count
// against the bytes that remain and throws CArchiveException on anything it cannot trust.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace orvix {

class CArchive;
class CObject;

class CArchiveException : public std::runtime_error {
public:
    // readError: the system refused a read; the text is its reason.
    enum Cause { generic, endOfFile, badIndex, badClass, badSchema, tooNew, readError };
    CArchiveException(Cause cause, const std::string& text) : std::runtime_error(text), cause(cause) {}
    Cause cause;
};

// The record of a class that the archive can create by name.
struct CRuntimeClass {
    const char* className;
    uint16_t schema;
    CObject* (*create)();
    // Registered classes, found by their exact name.
    static const CRuntimeClass* Find(const std::string& name);
    static void Register(const CRuntimeClass* cls);
};

class CObject {
public:
    virtual ~CObject() = default;
    virtual const CRuntimeClass* GetRuntimeClass() const = 0;
    virtual void Serialize(CArchive& ar) = 0;
};

// Declares the class record of a serializable class; ORVIX_IMPLEMENT_SERIAL defines and
// registers it.
#define ORVIX_DECLARE_SERIAL(Class)                                                     \
public:                                                                                  \
    static const ::orvix::CRuntimeClass classRecord;                                     \
    const ::orvix::CRuntimeClass* GetRuntimeClass() const override { return &classRecord; } \
    static ::orvix::CObject* CreateObject();

#define ORVIX_IMPLEMENT_SERIAL(Class, Schema)                                              \
    ::orvix::CObject* Class::CreateObject() { return new Class; }                          \
    const ::orvix::CRuntimeClass Class::classRecord = {#Class, Schema, &Class::CreateObject}; \
    static const bool Class##_registered = (::orvix::CRuntimeClass::Register(&Class::classRecord), true);

class CArchive {
public:
    // Storing archive: bytes accumulate in Buffer().
    CArchive();
    // Loading archive over the given bytes (copied).
    explicit CArchive(std::vector<uint8_t> bytes);
    // Loading archive that reads the first `size` bytes of an open file (the caller keeps
    // the descriptor) as the loader asks for them; a file that ends early fails like a
    // truncated file, a read error with its own cause.
    static CArchive LoadingFrom(int fd, uint64_t size);
    // Storing archive that writes to an open file as it fills; Flush() writes the rest.
    static CArchive StoringTo(int fd);

    bool IsStoring() const { return storing_; }
    bool IsLoading() const { return !storing_; }

    // Storing: the bytes not yet written (all of them without a file).
    const std::vector<uint8_t>& Buffer() const { return buffer_; }
    size_t Remaining() const { return static_cast<size_t>(total_ - base_ - pos_); }
    size_t Position() const { return static_cast<size_t>(base_ + pos_); }
    // Storing to a file: writes what is buffered. False when this or an earlier write
    // failed; errno then tells why.
    bool Flush();

    void WriteByte(uint8_t v);
    void WriteWord(uint16_t v);
    void WriteDWord(uint32_t v);
    void WriteInt(int32_t v) { WriteDWord(static_cast<uint32_t>(v)); }
    void WriteDouble(double v);
    void WriteBytes(const void* data, size_t size);
    void WriteString(const std::string& text);
    void WriteCount(size_t count);
    void WriteStringList(const std::vector<std::string>& list);
    // Runs of little-endian values, written and read in one step each.
    void WriteWords(const uint16_t* values, size_t count);
    void WriteDWords(const uint32_t* values, size_t count);
    // Room for `size` more bytes, so that a large store into memory grows the buffer once.
    void Reserve(size_t size);
    // An object record; null writes the tag 0.
    void WriteObject(const CObject* object);

    uint8_t ReadByte();
    uint16_t ReadWord();
    uint32_t ReadDWord();
    int32_t ReadInt() { return static_cast<int32_t>(ReadDWord()); }
    int16_t ReadShort() { return static_cast<int16_t>(ReadWord()); }
    double ReadDouble();
    void ReadBytes(void* data, size_t size);
    std::string ReadString();
    size_t ReadCount();
    std::vector<std::string> ReadStringList();
    void ReadWords(uint16_t* values, size_t count);
    void ReadDWords(uint32_t* values, size_t count);
    // Reads an object record and returns the new object (owned by the caller), or null for
    // the tag 0. The object must be of the class `expected`. A back-reference to an object
    // read before would give one object two owners: it is refused as corrupt input.
    CObject* ReadObject(const CRuntimeClass* expected);

    // Throws unless `count` items of at least `minBytes` bytes each can still be there.
    void CheckCount(uint64_t count, size_t minBytes);

    [[noreturn]] static void Fail(CArchiveException::Cause cause);

private:
    CArchive(bool storing, int fd, uint64_t size);
    void Need(size_t size)
    {
        if (size > end_ - pos_)
            Refill(size);
    }
    // Loading from a file: moves the unread bytes to the front and reads until `size` are there.
    void Refill(size_t size);
    // Reads up to `size` bytes of the file, at least `least`; returns how many.
    size_t ReadFile(uint8_t* data, size_t size, size_t least);

    bool storing_;
    std::vector<uint8_t> buffer_;
    size_t pos_ = 0;
    size_t end_ = 0;    // loading: bytes of buffer_ that hold data
    uint64_t base_ = 0; // loading: the file position of buffer_[0]
    uint64_t total_ = 0;
    uint64_t read_ = 0; // loading: bytes taken from the file
    int fd_ = -1;
    int writeError_ = 0;
    // Storing: index of each class and object written; loading: what each index stands for.
    uint32_t mapCount_ = 1;
    std::unordered_map<const void*, uint32_t> storedIndex_;
    std::vector<const CRuntimeClass*> loadedClass_; // by index; null for objects
};

// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes);

// Typed helpers over object records.
template <class T>
T* ReadObjectAs(CArchive& ar)
{
    return static_cast<T*>(ar.ReadObject(&T::classRecord));
}

} // namespace orvix
