// CExportRunDlg: what the export dialogs share while an export runs. Start turns into Stop,
// Cancel and the settings are off, Esc and closing the window stop the export (closing then
// closes the dialog once the file in hand is done), a request to quit the program ends it
// and goes on once it has ended, and the end says how it went.
#pragma once
#include <QDialog>
#include <cstdint>
#include <memory>

#include "export/exportprogress.h"

class QHBoxLayout;
class QLabel;
class QPushButton;

namespace orvix {

class CQuitWatch;

class CExportRunDlg : public QDialog, public IExportProgress {
public:
    ~CExportRunDlg() override;
    bool IsRunning() const override;
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
    // After the run: the status line, the beep of a complete export when `beep`, a close
    // asked for meanwhile. After a request to quit the dialog closes and the request is
    // made again for the program's loop. `written` (when not negative): the output files
    // written, which a failed run's status tells.
    void Finish(bool ok, int files, bool beep, int written = -1);
    // Handles the waiting events: Stop, Esc, closing and the other windows come in here.
    void Pump();
    // Whether the progress and the waiting events are due: at most at the display's rate
    // (about 60 Hz), the first time a frame after Start. A repaint and a pass of the event
    // loop cost more than a trial's rows, and an export shorter than a frame need not
    // show that it runs.
    bool RefreshDue();

    // Made by the dialog.
    QPushButton* start_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QWidget* settings_ = nullptr;
    QLabel* status_ = nullptr;

private:
    bool ownRunning_ = false;
    bool& running_;
    bool closeAfterRun_ = false;
    // While an export runs: notes a request to quit, which ends the export.
    std::unique_ptr<CQuitWatch> quitWatch_;
    int64_t nextRefresh_ = 0;
};

} // namespace orvix
