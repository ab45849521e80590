#include "export/exportrundlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "platform/runtime/clock.h"
#include "platform/runtime/eventpump.h"
#include "platform/text/numbers.h"
#include "platform/text/qtext.h"
#include "platform/ui/objectname.h"
#include "platform/ui/ui.h"

namespace orvix {

namespace {

// A frame of the display, about 60 Hz, in counts of the clock's counter.
int64_t FramePeriod() { return static_cast<int64_t>(Clock().CounterFrequency() / 60); }

} // namespace

CExportRunDlg::CExportRunDlg(QWidget* parent, bool* sharedRunning)
    : QDialog(parent), running_(sharedRunning ? *sharedRunning : ownRunning_)
{
}

CExportRunDlg::~CExportRunDlg() = default;

bool CExportRunDlg::IsRunning() const
{
    // A request to quit ends the export at once, wherever it came in (a question's own
    // loop too).
    return running_ && !(quitWatch_ && quitWatch_->QuitRequested());
}

QHBoxLayout* CExportRunDlg::StartButtons(const char* cancelText)
{
    start_ = Named(new QPushButton("&Start", this), IDOK);
    cancel_ = Named(new QPushButton(cancelText, this), IDCANCEL);
    start_->setDefault(true);
    connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(start_);
    buttons->addWidget(cancel_);
    return buttons;
}

bool CExportRunDlg::StopIfRunning()
{
    if (!running_)
        return false;
    running_ = false; // the export ends after the trial or file in hand
    return true;
}

void CExportRunDlg::SetRunning(bool running)
{
    running_ = running;
    if (running) {
        quitWatch_ = std::make_unique<CQuitWatch>();
        nextRefresh_ = Clock().Counter() + FramePeriod();
    }
    start_->setText(running ? "&Stop" : "&Start");
    cancel_->setEnabled(!running);
    settings_->setEnabled(!running);
    if (running)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QApplication::restoreOverrideCursor();
}

void CExportRunDlg::Pump() { QApplication::processEvents(); }

bool CExportRunDlg::RefreshDue()
{
    const int64_t now = Clock().Counter();
    if (now < nextRefresh_)
        return false;
    nextRefresh_ = now + FramePeriod();
    return true;
}

void CExportRunDlg::Finish(bool ok, int files, bool beep, int written)
{
    const bool quit = quitWatch_ && quitWatch_->QuitRequested();
    quitWatch_.reset();
    const bool stopped = !running_;
    SetRunning(false);
    if (quit) {
        // The program is closing: nothing to show; the request goes on to its loop.
        QDialog::reject();
        CQuitWatch::RepeatQuit();
        return;
    }
    std::string failure = "The export did not complete.";
    if (written >= 0)
        failure = Format("Written: %d file(s). Some files were not written.", written);
    status_->setText(ToQ(ok ? (stopped ? "Stopped." : Format("Done: %d file(s).", files)) : failure));
    // The beep says that everything went out; a failure has been reported instead.
    if (ok && beep)
        UI().Beep();
    if (closeAfterRun_)
        QDialog::reject();
}

void CExportRunDlg::reject()
{
    if (!StopIfRunning())
        QDialog::reject();
}

void CExportRunDlg::closeEvent(QCloseEvent* event)
{
    if (StopIfRunning()) {
        closeAfterRun_ = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

} // namespace orvix
