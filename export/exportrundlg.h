// CExportRunDlg: what the export dialogs share while an export runs. Start turns into Stop,
// Cancel and the settings are off, Esc and closing the window stop the export (closing then
// closes the dialog once the file in hand is done), and the end says how it went.
#pragma once
#include <QDialog>

#include "export/exportprogress.h"

class QHBoxLayout;
class QLabel;
class QPushButton;

namespace orvix {

class CExportRunDlg : public QDialog, public IExportProgress {
public:
    bool IsRunning() const override { return running_; }
    // Esc during an export stops it; the dialog stays to show where it stopped.
    void reject() override;

protected:
    // The running flag is the dialog's own, or `sharedRunning`, one that the dialogs of a
    // kind share.
    explicit CExportRunDlg(QWidget* parent, bool* sharedRunning = nullptr);
    void closeEvent(QCloseEvent* event) override;
    // Makes Start (the default button) and Cancel in a row at the right; Cancel closes the
    // dialog, Start is the dialog's to connect.
    QHBoxLayout* StartButtons(const char* cancelText);
    // The Start button during an export: stops it; true when it did.
    bool StopIfRunning();
    void SetRunning(bool running);
    // After the run: the status line, the beep of a complete export, a close asked for meanwhile.
    void Finish(bool ok, int files);

    // Made by the dialog.
    QPushButton* start_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QWidget* settings_ = nullptr;
    QLabel* status_ = nullptr;

private:
    bool ownRunning_ = false;
    bool& running_;
    bool closeAfterRun_ = false;
};

} // namespace orvix
