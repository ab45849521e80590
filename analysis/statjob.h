// CStatJob: one call of a statistics-library function of the table form, run on a worker
// thread so that the interface goes on while the library computes. The library is
// single-threaded and keeps one result table, so calls from every job of the process run
// one after the other, and the result is read (into lines of text) on the worker before the
// next call may begin; the interface reads only those lines. A cancelled job drops its
// result; a call already inside the library cannot be stopped and finishes in the
// background (the page refuses designs too large to finish in reasonable time).
#pragma once
#include <QObject>
#include <memory>
#include <string>
#include <vector>

class CTableModel;

namespace orvix {

class CStatJob : public QObject {
    Q_OBJECT
public:
    using TableFunction = CTableModel* (*)(CTableModel*, int);

    // Takes the selection and the table whose columns it shares (destroyed, on the worker,
    // once the call is over).
    CStatJob(TableFunction function, std::unique_ptr<CTableModel> copy, std::unique_ptr<CTableModel> selection,
             int level, QObject* parent = nullptr);
    // A job destroyed before it finished is cancelled; its worker finishes on its own.
    ~CStatJob() override;
    CStatJob(const CStatJob&) = delete;
    CStatJob& operator=(const CStatJob&) = delete;

    void Start();
    // No result will come: finished is not emitted. A call not yet begun never begins.
    void Cancel();
    bool IsRunning() const { return running_; }
    // The result table's header line, then one line per row (empty when the function
    // returned no table). Valid once finished was emitted.
    const std::vector<std::string>& Lines() const { return lines_; }

signals:
    // On the interface thread, once the call is over and the lines are ready.
    void finished();

private:
    struct Shared;
    // The worker thread: the call, the result read into lines, the job told.
    static void Work(const std::shared_ptr<Shared>& shared);
    void OnWorkerDone();

    std::shared_ptr<Shared> shared_;
    std::vector<std::string> lines_;
    bool running_ = false;
};

// Waits until no library call of any job is under way or waiting, at most timeoutMs.
// True when none is; the library may then be unloaded.
bool WaitForStatJobs(int timeoutMs);

} // namespace orvix
