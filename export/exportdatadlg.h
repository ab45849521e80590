// CExportDataDlg: the "Export Data" dialog. The user names data files by a pattern, an
// output folder (or file) or a database, a format and an event type; Start runs the export
// loop on the user-interface thread, with the file, the trial and a bar showing how far it
// is. Stop, Esc and closing the window end it between trials (a database export finishes
// the file in hand, whose rows go in as one). The database connection is chosen at the
// first database Start and kept until the dialog closes.
#pragma once
#include <string>

#include "export/exportrundlg.h"
#include "export/odbctrialexport.h"
#include "export/trialexport.h"
#include "platform/odbc/odbc.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace orvix {

class COrvixDoc;

// The choices that every new dialog starts from, kept by the caller for the program's run.
struct ExportDataChoices {
    int format = EXPORT_CSV;
    int eventType = EXPORT_BASIC;
    std::string output = "c:\\temp";
    bool singleFile = false;
    bool expandVector = false;
};

class CExportDataDlg : public CExportRunDlg {
public:
    enum {
        IDD = 152,
        IDC_INPUT = 1111, IDC_OUTPUT = 1112, IDC_CSV = 1113, IDC_DBF = 1114, IDC_SINGLE_FILE = 1115,
        IDC_PROGRESS = 1172, IDC_BASIC = 1173, IDC_SPIKE = 1174, IDC_EYE = 1175, IDC_JOYSTICK = 1176,
        IDC_EXPAND_VECTOR = 1177, IDC_ODBC = 1125, IDC_OPTIONS = 1338, IDC_OUTPUT_LABEL = 1343,
        IDC_STATUS = 1344,
    };

    CExportDataDlg(COrvixDoc* doc, IDocumentOpener& opener, ExportDataChoices& choices, QWidget* parent = nullptr);

    // "&Start" / "&Stop".
    void OnOK();
    void OnSingleFile();
    void OnFormat(int format);
    // "Options...": the database export's options.
    void OnOptions();
    bool IsExporting() const { return IsRunning(); }
    const OdbcOptions& Options() const { return odbcOptions_; }

    // IExportProgress
    void OnFile(const std::string& path, int trialCount) override;
    void OnTrial(int done) override;
    void OnFileDone() override;

private:
    // Keeps the output, single-file and expand-vector settings for the next dialogs.
    // False when the output's text was refused (a letter the code page cannot hold).
    bool KeepSettings();
    // The bar and the status line at the trial reached.
    void ShowProgress();
    void SetBar(int maximum, int value);

    COrvixDoc* doc_;
    IDocumentOpener& opener_;
    ExportDataChoices& choices_;
    // The database export's connection and options live as long as the dialog.
    COdbcConnection db_;
    OdbcOptions odbcOptions_;
    COdbcTrialExport odbcExport_;
    int fileNumber_ = 0;
    int trialCount_ = 0;
    int trialsDone_ = 0;
    int shownDone_ = 0;
    std::string currentFile_;

    QLineEdit* input_;
    QLineEdit* output_;
    QLabel* outputLabel_;
    QCheckBox* single_;
    QCheckBox* expand_;
    QButtonGroup* formats_;
    QButtonGroup* events_;
    QProgressBar* progress_;
    QPushButton* options_;
};

} // namespace orvix
