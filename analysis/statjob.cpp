#include "analysis/statjob.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "analysis/tablemodel.h"

namespace orvix {

namespace {

// One library call at a time in the whole process: the library is not reentrant.
std::mutex g_libraryMutex;
// Workers started and not yet over, for WaitForStatJobs.
std::mutex g_workersMutex;
std::condition_variable g_workersIdle;
int g_workers = 0;

} // namespace

// What the worker and the job share; the worker keeps it alive past the job.
struct CStatJob::Shared {
    TableFunction function = nullptr;
    std::unique_ptr<CTableModel> copy;
    std::unique_ptr<CTableModel> selection;
    int level = 0;
    std::atomic<bool> cancelled{false};
    std::mutex mutex;                // guards receiver and lines
    CStatJob* receiver = nullptr;    // null once the job no longer wants the result
    std::vector<std::string> lines;
};

CStatJob::CStatJob(TableFunction function, std::unique_ptr<CTableModel> copy, std::unique_ptr<CTableModel> selection,
                   int level, QObject* parent)
    : QObject(parent), shared_(std::make_shared<Shared>())
{
    shared_->function = function;
    shared_->copy = std::move(copy);
    shared_->selection = std::move(selection);
    shared_->level = level;
}

CStatJob::~CStatJob() { Cancel(); }

void CStatJob::Start()
{
    if (running_ || !shared_->function || !shared_->selection)
        return;
    running_ = true;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->receiver = this;
    }
    {
        std::lock_guard<std::mutex> lock(g_workersMutex);
        ++g_workers;
    }
    try {
        std::thread([shared = shared_] { Work(shared); }).detach();
    } catch (const std::system_error&) {
        Work(shared_);  // no thread to be had: the call runs here, as it always did
    }
}

void CStatJob::Cancel()
{
    shared_->cancelled = true;
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->receiver = nullptr;
    running_ = false;
}

void CStatJob::OnWorkerDone()
{
    if (shared_->cancelled)
        return;  // cancelled after the worker had already told us
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        lines_ = std::move(shared_->lines);
    }
    running_ = false;
    emit finished();
}

namespace {

std::vector<std::string> ResultLines(const CTableModel* result)
{
    std::vector<std::string> lines;
    if (!result)
        return lines;
    lines.emplace_back(result->GetText(-1, -1));
    for (int r = 0; r < result->GetRowCount(); ++r)
        lines.emplace_back(result->GetText(r, -1));
    return lines;
}

} // namespace

void CStatJob::Work(const std::shared_ptr<Shared>& s)
{
    std::vector<std::string> lines;
    {
        std::lock_guard<std::mutex> library(g_libraryMutex);
        if (!s->cancelled) {
            try {
                // The result is the library's and is rewritten by its next call: read now.
                lines = ResultLines(s->function(s->selection.get(), s->level));
            } catch (...) {
                // The library turns its failures into a result; a function that does not
                // must not end the program from a worker thread.
                lines = {"Exception! Unknown error."};
            }
        }
    }
    // The selection shares the copy's columns: it goes first.
    s->selection.reset();
    s->copy.reset();
    {
        std::lock_guard<std::mutex> lock(s->mutex);
        s->lines = std::move(lines);
        // Under the lock: a job being destroyed waits for it, and events already posted
        // to a destroyed object are dropped with it.
        if (CStatJob* receiver = s->receiver; receiver && !s->cancelled)
            QMetaObject::invokeMethod(receiver, [receiver] { receiver->OnWorkerDone(); }, Qt::QueuedConnection);
    }
    std::lock_guard<std::mutex> lock(g_workersMutex);
    --g_workers;
    g_workersIdle.notify_all();
}

bool WaitForStatJobs(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(g_workersMutex);
    return g_workersIdle.wait_for(lock, std::chrono::milliseconds(timeoutMs), [] { return g_workers == 0; });
}

} // namespace orvix
