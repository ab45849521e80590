// The document side of the document/view pattern: views register with their document and
// are told of changes through hints; the document remembers its path and whether it holds
// unsaved changes.
#pragma once
#include <algorithm>
#include <string>
#include <vector>

namespace orvix {

class CDocument;

class IDocView {
public:
    virtual ~IDocView() = default;
    // hint 0: new document or full rebuild; other hints as the document defines them.
    virtual void OnUpdate(IDocView* sender, int hint, void* object) = 0;
};

class CDocument {
public:
    virtual ~CDocument() = default;

    void AddView(IDocView* view) { views_.push_back(view); }
    void RemoveView(IDocView* view) { views_.erase(std::remove(views_.begin(), views_.end(), view), views_.end()); }
    const std::vector<IDocView*>& Views() const { return views_; }
    void UpdateAllViews(IDocView* sender, int hint = 0, void* object = nullptr);

    void SetModifiedFlag(bool modified = true) { modified_ = modified; }
    bool IsModified() const { return modified_; }
    // Asks whether unsaved changes may be dropped (Yes saves first, Cancel refuses).
    virtual bool SaveModified();
    virtual bool DoFileSave() { return false; }

    // Empties the document's data; the framework's clear step before a new or opened
    // document. The base holds no data.
    virtual void DeleteContents() {}
    // A new, empty document: contents cleared, no path, nothing to save. False refuses.
    virtual bool OnNewDocument();

    const std::string& GetPathName() const { return pathName_; }
    void SetPathName(const std::string& path) { pathName_ = path; }
    const std::string& GetTitle() const { return title_; }
    void SetTitle(const std::string& title) { title_ = title; }

private:
    std::vector<IDocView*> views_;
    bool modified_ = false;
    std::string pathName_;
    std::string title_;
};

} // namespace orvix
