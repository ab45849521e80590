#include "document/paramtable.h"

namespace orvix {

CParamTable::~CParamTable() { Clear(); }

void CParamTable::Resize(int n)
{
    if (n < 0)
        n = 0;
    while (Count() > n) {
        delete items_.back();
        items_.pop_back();
    }
    while (Count() < n)
        items_.push_back(new CParam);
}

void CParamTable::SetSize(int n)
{
    if (n < 0)
        n = 0;
    while (Count() > n) {
        delete items_.back();
        items_.pop_back();
    }
    items_.resize(static_cast<size_t>(n), nullptr);
}

void CParamTable::Set(int i, CParam* param)
{
    if (!InRange(i)) {
        delete param;
        return;
    }
    if (items_[static_cast<size_t>(i)] != param)
        delete items_[static_cast<size_t>(i)];
    items_[static_cast<size_t>(i)] = param;
}

void CParamTable::Append(CParam* param) { items_.push_back(param); }

int CParamTable::Add(CParam* param)
{
    items_.push_back(param);
    index_[param->GetName()] = Count() - 1;
    return Count() - 1;
}

void CParamTable::RemoveAt(int i)
{
    if (!InRange(i))
        return;
    delete items_[static_cast<size_t>(i)];
    items_.erase(items_.begin() + i);
}

void CParamTable::Clear()
{
    for (CParam* p : items_)
        delete p;
    items_.clear();
    index_.clear();
}

std::vector<CParam*> CParamTable::TakeAll()
{
    std::vector<CParam*> out;
    out.swap(items_);
    index_.clear();
    return out;
}

int CParamTable::Find(const std::string& name) const
{
    auto it = index_.find(name);
    if (it == index_.end() || !InRange(it->second))
        return -1;
    return it->second;
}

void CParamTable::RebuildIndex()
{
    index_.clear();
    for (int i = 0; i < Count(); ++i)
        if (items_[static_cast<size_t>(i)])
            index_[items_[static_cast<size_t>(i)]->GetName()] = i;
}

} // namespace orvix
