#include "export/exportrundlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "platform/latin1.h"
#include "platform/numbers.h"
#include "platform/objectname.h"
#include "platform/ui.h"

namespace orvix {

CExportRunDlg::CExportRunDlg(QWidget* parent, bool* sharedRunning)
    : QDialog(parent), running_(sharedRunning ? *sharedRunning : ownRunning_)
{
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
    start_->setText(running ? "&Stop" : "&Start");
    cancel_->setEnabled(!running);
    settings_->setEnabled(!running);
    if (running)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QApplication::restoreOverrideCursor();
}

void CExportRunDlg::Finish(bool ok, int files)
{
    const bool stopped = !running_;
    SetRunning(false);
    status_->setText(ToQ(ok ? (stopped ? "Stopped." : Format("Done: %d file(s).", files))
                            : std::string("The export did not complete.")));
    // The beep says that everything went out; a failure has been reported instead.
    if (ok)
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
