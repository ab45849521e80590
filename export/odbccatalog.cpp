#include "export/odbccatalog.h"

#include <algorithm>
#include <vector>

#include "platform/text/numbers.h"

namespace orvix {

namespace {

int16_t ShortOf(const std::string& text) { return static_cast<int16_t>(ParseInt(text)); }

} // namespace

CTables::CTables(COdbcConnection& db) : statement_(db) {}

void CTables::Open()
{
    statement_.Tables(m_strQualifierParam, m_strOwnerParam, m_strNameParam, m_strTypeParam);
    MoveNext();
}

void CTables::MoveNext()
{
    eof_ = !statement_.Fetch();
    if (!eof_)
        Read();
}

void CTables::Read()
{
    m_strQualifier = statement_.GetText(1);
    m_strOwner = statement_.GetText(2);
    m_strName = statement_.GetText(3);
    m_strType = statement_.GetText(4);
    m_strRemarks = statement_.GetText(5);
}

void CTables::Close()
{
    statement_.CloseCursor();
    eof_ = true;
}

CColumns::CColumns(COdbcConnection& db) : statement_(db) {}

void CColumns::Open()
{
    statement_.Columns(m_strQualifierParam, m_strOwnerParam, m_strTableNameParam);
    MoveNext();
}

void CColumns::MoveNext()
{
    eof_ = !statement_.Fetch();
    if (!eof_)
        Read();
}

void CColumns::Read()
{
    m_strQualifier = statement_.GetText(1);
    m_strOwner = statement_.GetText(2);
    m_strTableName = statement_.GetText(3);
    m_strColumnName = statement_.GetText(4);
    m_nDataType = ShortOf(statement_.GetText(5));
    m_strTypeName = statement_.GetText(6);
    m_lPrecision = ParseInt(statement_.GetText(7));
    m_lLength = ParseInt(statement_.GetText(8));
    m_nScale = ShortOf(statement_.GetText(9));
    m_nRadix = ShortOf(statement_.GetText(10));
    m_nNullable = ShortOf(statement_.GetText(11));
}

void CColumns::Close()
{
    statement_.CloseCursor();
    eof_ = true;
}

CExistRecordset::CExistRecordset(COdbcConnection& db) : db_(db) {}

void CExistRecordset::Open(const std::string& sql, const std::vector<std::string>& textParams, const int* intParam)
{
    COdbcStatement s(db_);
    s.Prepare(sql);
    std::vector<std::u16string> texts;
    for (const std::string& text : textParams)
        texts.push_back(ToUtf16(text));
    std::vector<OdbcLen> lengths(texts.size());
    int number = 1;
    for (size_t k = 0; k < texts.size(); ++k, ++number)
        s.BindText(number, OdbcSql::Varchar, texts[k].size(), texts[k], lengths[k]);
    int value = intParam ? *intParam : 0;
    if (intParam)
        s.BindParameter(number, OdbcC::SLong, OdbcSql::Integer, 10, 0, &value);
    s.Execute();
    int64_t count = 0;
    OdbcLen indicator = 0;
    s.BindColumn(1, OdbcC::SBigInt, &count, sizeof count, &indicator);
    m_nCountCellId = s.Fetch() && indicator != kOdbcNullData ? count : 0;
}

} // namespace orvix
