#include "model/param.h"

#include <cerrno>
#include <cstring>

#include "platform/text/numbers.h"

namespace orvix {

ORVIX_IMPLEMENT_SERIAL(CParam, 1)

CParam::CParam(const char* name, const char* value) : text_(value ? value : ""), name_(name ? name : ""), type_(PARAM_TEXT) {}

CParam::CParam(const char* name, int value) : name_(name ? name : ""), type_(PARAM_INT) { value_.i = value; }

CParam::CParam(const char* name, float value) : name_(name ? name : ""), type_(PARAM_REAL) { value_.d = value; }

CParam::CParam(const char* name, double value) : name_(name ? name : ""), type_(PARAM_REAL) { value_.d = value; }

CParam::CParam(const CParam& other) : CObject() { *this = other; }

// Copies name, type and the value of that type; a number's text cache is not copied.
CParam& CParam::operator=(const CParam& other)
{
    if (this == &other)
        return *this;
    name_ = other.name_;
    type_ = other.type_;
    if (type_ == PARAM_TEXT)
        text_ = other.text_;
    else if (type_ == PARAM_INT)
        value_.i = other.value_.i;
    else if (type_ == PARAM_REAL)
        value_.d = other.value_.d;
    return *this;
}

CParam& CParam::operator=(int value)
{
    type_ = PARAM_INT;
    value_.i = value;
    return *this;
}

CParam& CParam::operator=(float value) { return *this = static_cast<double>(value); }

CParam& CParam::operator=(double value)
{
    type_ = PARAM_REAL;
    value_.d = value;
    return *this;
}

CParam& CParam::operator=(const char* value)
{
    type_ = PARAM_TEXT;
    text_ = value ? value : "";
    return *this;
}

void CParam::SetFromText(const char* text)
{
    switch (ClassifyNumber(text)) {
    case 1:
        *this = ParseInt(text);
        break;
    case 3:
        *this = ParseDouble(text);
        break;
    default:
        *this = text;
        break;
    }
}

void CParam::FormatInto(std::string& out) const
{
    if (type_ == PARAM_INT)
        out = FormatInt(value_.i);
    else if (type_ == PARAM_REAL)
        out = FormatG(value_.d);
    else if (type_ != PARAM_TEXT)
        out.clear();
}

std::string& CParam::FormatValue()
{
    FormatInto(text_);
    return text_;
}

const std::string& CParam::GetText() { return FormatValue(); }

double CParam::Numeric() const
{
    switch (type_) {
    case PARAM_TEXT:
        return ParseDouble(text_);
    case PARAM_INT:
        return value_.i;
    case PARAM_REAL:
        return value_.d;
    default:
        return 0.0;
    }
}

double CParam::GetDouble() const { return Numeric(); }

int CParam::GetInt() const
{
    if (type_ == PARAM_INT)
        return value_.i;
    if (type_ != PARAM_TEXT && type_ != PARAM_REAL)
        return 0;
    double x = Numeric();
    return DoubleToInt(x > 0 ? x + 0.5 : x - 0.5);
}

bool CParam::operator==(const CParam& other) const
{
    if (!name_.empty() && !other.name_.empty() && name_ != other.name_)
        return false;
    if (type_ == PARAM_TEXT && other.type_ == PARAM_TEXT)
        return strcmp(text_.c_str(), other.text_.c_str()) == 0;
    return Numeric() == other.Numeric();
}

bool CParam::operator!=(const CParam& other) const
{
    if (type_ == PARAM_TEXT && other.type_ == PARAM_TEXT)
        return strcmp(text_.c_str(), other.text_.c_str()) != 0;
    return Numeric() != other.Numeric();
}

bool CParam::operator>=(const CParam& other) const
{
    if (type_ == PARAM_TEXT && other.type_ == PARAM_TEXT)
        return strcmp(text_.c_str(), other.text_.c_str()) >= 0;
    return Numeric() >= other.Numeric();
}

bool CParam::operator<(const CParam& other) const
{
    if (type_ == PARAM_TEXT && other.type_ == PARAM_TEXT)
        return strcmp(text_.c_str(), other.text_.c_str()) < 0;
    return Numeric() < other.Numeric();
}

bool CParam::operator<=(const CParam& other) const
{
    if (type_ == PARAM_TEXT && other.type_ == PARAM_TEXT)
        return strcmp(text_.c_str(), other.text_.c_str()) <= 0;
    return Numeric() <= other.Numeric();
}

bool CParam::operator==(int n) const
{
    if (type_ == PARAM_INT)
        return value_.i == n;
    if (type_ != PARAM_TEXT && type_ != PARAM_REAL)
        return false;
    return Numeric() == n;
}

bool CParam::operator==(const char* s) const
{
    std::string formatted = text_;
    FormatInto(formatted);
    return strcmp(formatted.c_str(), s ? s : "") == 0;
}

CParam& CParam::operator+=(int n)
{
    if (type_ == PARAM_INT)
        value_.i = WrapAdd(value_.i, n);
    else
        *this = Numeric() + n;
    return *this;
}

CParam& CParam::operator+=(double x) { return *this = Numeric() + x; }
CParam& CParam::operator-=(double x) { return *this = Numeric() - x; }
CParam& CParam::operator*=(double x) { return *this = Numeric() * x; }
CParam& CParam::operator/=(double x) { return *this = Numeric() / x; }

CParam& CParam::operator++()
{
    if (type_ == PARAM_INT)
        value_.i = WrapAdd(value_.i, 1);
    else
        *this = Numeric() + 1.0;
    return *this;
}

CParam& CParam::operator--()
{
    if (type_ == PARAM_INT)
        value_.i = WrapSub(value_.i, 1);
    else
        *this = Numeric() - 1.0;
    return *this;
}

CParam CParam::operator++(int)
{
    CParam old(*this);
    ++*this;
    return old;
}

CParam CParam::operator--(int)
{
    CParam old(*this);
    --*this;
    return old;
}

void CParam::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        FormatValue();
        ar.WriteString(name_);
        ar.WriteString(text_);
    } else {
        name_ = ar.ReadString();
        text_ = ar.ReadString();
        type_ = PARAM_TEXT;
    }
}

int ClassifyNumber(const char* text)
{
    if (!text || !*text)
        return 0;
    bool point = false;
    for (const char* p = text; *p; ++p) {
        if (*p == '-') {
            if (p != text)
                return 0;
        } else if (*p == '.') {
            if (point)
                return 0;
            point = true;
        } else if (*p < '0' || *p > '9') {
            return 0;
        }
    }
    return point ? 3 : 1;
}

const std::string& GetSystemErrorText()
{
    static std::string text;
    text = strerror(errno);
    return text;
}

bool IsValidIdentifier(const char* text)
{
    if (!text || !*text)
        return false;
    auto letter = [](unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    auto digit = [](unsigned char c) { return c >= '0' && c <= '9'; };
    if (!letter(static_cast<unsigned char>(text[0])))
        return false;
    for (const char* p = text + 1; *p; ++p)
        if (!letter(static_cast<unsigned char>(*p)) && !digit(static_cast<unsigned char>(*p)))
            return false;
    return true;
}

} // namespace orvix
