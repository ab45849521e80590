// CParam: a named value that is text, a 32-bit integer or a double, converting freely
// between these forms. It is the element of every parameter table and the unit of the
// registry, data-file and renderer parameter traffic, which all carry values as text.
#pragma once
#include <cstdint>
#include <string>

#include "platform/files/archive.h"

namespace orvix {

enum ParamType : int32_t { PARAM_TEXT = 0, PARAM_INT = 1, PARAM_REAL = 3 };

class CParam : public CObject {
    ORVIX_DECLARE_SERIAL(CParam)
public:
    CParam() = default;
    CParam(const char* name, const char* value);
    CParam(const char* name, int value);
    CParam(const char* name, float value);
    CParam(const char* name, double value);
    CParam(const CParam& other);
    ~CParam() override = default;

    CParam& operator=(const CParam& other);
    CParam& operator=(int value);
    CParam& operator=(float value);
    CParam& operator=(double value);
    CParam& operator=(const char* value);
    CParam& operator=(const std::string& value) { return *this = value.c_str(); }

    void SetValue(const char* value) { *this = value; }
    void SetValue(int value) { *this = value; }
    void SetValue(float value) { *this = value; }
    // Integer text becomes an integer, decimal text a double, anything else text.
    void SetFromText(const char* text);

    std::string& GetName() { return name_; }
    const std::string& GetName() const { return name_; }
    int GetType() const { return type_; }

    // Formats a number into the text member ("%d" / "%g") and returns that member.
    std::string& FormatValue();
    const std::string& GetText();
    double GetDouble() const;
    // Rounded half away from zero.
    int GetInt() const;
    operator double() const { return GetDouble(); }
    operator int() const { return GetInt(); }

    bool operator==(const CParam& other) const;
    bool operator!=(const CParam& other) const;
    bool operator>=(const CParam& other) const;
    bool operator<(const CParam& other) const;
    bool operator<=(const CParam& other) const;
    bool operator==(int n) const;
    bool operator!=(int n) const { return !(*this == n); }
    bool operator==(const char* s) const;
    bool operator!=(const char* s) const { return !(*this == s); }

    CParam& operator+=(int n);
    CParam& operator+=(float x) { return *this += static_cast<double>(x); }
    CParam& operator+=(double x);
    CParam& operator-=(float x) { return *this -= static_cast<double>(x); }
    CParam& operator-=(double x);
    CParam& operator*=(double x);
    CParam& operator/=(double x);
    CParam& operator++();
    CParam& operator--();
    // The old value, by value.
    CParam operator++(int);
    CParam operator--(int);

    void Serialize(CArchive& ar) override;

private:
    // Sets the text member as the formatted value of a number type; empty for an unknown type.
    void FormatInto(std::string& out) const;
    double Numeric() const;

    std::string text_;
    std::string name_;
    int32_t type_ = PARAM_INT;
    union {
        int32_t i;
        double d;
    } value_ = {0};
};

// 0 text, 1 integer ("-", "007"), 3 decimal ("-3.", "."): digits, one leading minus, at
// most one point, nothing else.
int ClassifyNumber(const char* text);

// A C identifier of ASCII letters, digits and '_', not starting with a digit: what a
// parameter's name may be.
bool IsValidIdentifier(const char* text);

// The text of the calling thread's last system error; each call overwrites it.
const std::string& GetSystemErrorText();

} // namespace orvix
