// An owning table of named parameters with a name index, as the document keeps three of
// (test settings, graph parameters, behaviour parameters).
#pragma once
#include <string>
#include <unordered_map>
#include <vector>

#include "model/param.h"

namespace orvix {

class CParamTable {
public:
    CParamTable() = default;
    ~CParamTable();
    CParamTable(const CParamTable&) = delete;
    CParamTable& operator=(const CParamTable&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    bool InRange(int i) const { return i >= 0 && i < Count(); }
    // The parameter at i, or null outside the table or in a slot not filled yet.
    CParam* At(int i) const { return InRange(i) ? items_[static_cast<size_t>(i)] : nullptr; }

    // New slots get new default parameters; surplus parameters are deleted.
    void Resize(int n);
    // Sets the size without creating objects; the caller fills every new slot with Set().
    void SetSize(int n);
    // Puts an owned parameter into slot i, deleting the one there.
    void Set(int i, CParam* param);
    void Append(CParam* param);
    // Appends an owned parameter and enters it in the index under its name; its position.
    int Add(CParam* param);
    // Deletes parameter i; later ones move down. The index is not touched.
    void RemoveAt(int i);
    // Deletes every parameter and empties the index.
    void Clear();
    // Hands every parameter over to the caller and empties the table and the index.
    std::vector<CParam*> TakeAll();

    // The name index.
    int Find(const std::string& name) const;
    void Map(const std::string& name, int position) { index_[name] = position; }
    void ClearIndex() { index_.clear(); }
    // Every parameter entered under its name (a later one wins for a repeated name).
    void RebuildIndex();
    size_t IndexSize() const { return index_.size(); }

private:
    std::vector<CParam*> items_;
    std::unordered_map<std::string, int> index_;
};

} // namespace orvix
