// IExportProgress: what an export tells whoever shows it, and how it learns that the user
// stopped it. The export dialog implements it; tests and benchmarks give their own.
#pragma once
#include <string>

namespace orvix {

class IExportProgress {
public:
    virtual ~IExportProgress() = default;
    // False once the user stopped the export: the loops end before the next trial.
    virtual bool IsRunning() const { return true; }
    // A data file's export begins: its path, its trials (the progress bar's range).
    virtual void OnFile(const std::string& path, int trialCount) {}
    // `done` trials of the file are written; waiting events are handled here, which may
    // stop the export.
    virtual void OnTrial(int done) {}
    // Between files: waiting events are handled.
    virtual void OnFileDone() {}
};

} // namespace orvix
