// The document side of the document/view pattern: observers register with their document
// and are told of changes; the document remembers its path and whether it holds unsaved
// changes.
#pragma once
#include <functional>
#include <algorithm>
#include <string>
#include <vector>

#include "document/observer.h"

namespace orvix {

class CDocument {
public:
    virtual ~CDocument() = default;

    void AddObserver(IDocObserver* observer) { observers_.push_back(observer); }
    void RemoveObserver(IDocObserver* observer)
    {
        observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
    }
    const std::vector<IDocObserver*>& Observers() const { return observers_; }
    // Tells every observer but the sender of the update.
    void UpdateAllViews(IDocObserver* sender, UpdateHint hint = HINT_REBUILD, const CTrial* trial = nullptr);

    void SetModifiedFlag(bool modified = true) { modified_ = modified; }
    bool IsModified() const { return modified_; }
    // Asks whether unsaved changes may be dropped (Yes saves first, Cancel refuses). Yes
    // saves as File > Save does: a document without a file asks for one (DoSaveAs), and
    // the question is refused when that is cancelled.
    virtual bool SaveModified();
    // The same question, Yes saving with `save` (e.g. one that may ask for a file name).
    bool SaveModified(const std::function<bool()>& save);
    virtual bool DoFileSave() { return false; }
    virtual bool DoSaveAs() { return false; }

    // Empties the document's data; the framework's clear step before a new or opened
    // document. The base holds no data.
    virtual void DeleteContents() {}
    // A new, empty document: contents cleared, no path, nothing to save. False refuses.
    virtual bool OnNewDocument();

    const std::string& GetPathName() const { return pathName_; }
    // The title, used in the save question and the window title, is the file's own name.
    void SetPathName(const std::string& path)
    {
        pathName_ = path;
        size_t slash = path.find_last_of("\\/");
        title_ = slash == std::string::npos ? path : path.substr(slash + 1);
    }
    const std::string& GetTitle() const { return title_; }
    void SetTitle(const std::string& title) { title_ = title; }

protected:
    // Calls f on every observer; one may unregister while being told. The copy that allows
    // it stays on the stack for the usual few observers: this runs on every experiment pass.
    template <class F>
    void Notify(F&& f) const
    {
        constexpr size_t kOnStack = 16;
        IDocObserver* onStack[kOnStack];
        std::vector<IDocObserver*> onHeap;
        IDocObserver* const* observers = onStack;
        const size_t n = observers_.size();
        if (n <= kOnStack) {
            std::copy(observers_.begin(), observers_.end(), onStack);
        } else {
            onHeap = observers_;
            observers = onHeap.data();
        }
        for (size_t i = 0; i < n; ++i)
            if (std::find(observers_.begin(), observers_.end(), observers[i]) != observers_.end())
                f(*observers[i]);
    }

private:
    std::vector<IDocObserver*> observers_;
    bool modified_ = false;
    std::string pathName_;
    std::string title_;
};

} // namespace orvix
