// CExportParamDlg: the "Export Parameter" dialog. The user names data files, the kind of
// parameters (graph or behaviour) and the output: a comma-separated file of the named
// parameters, or the database table GRAPHPARAM or BEHAVPARAM, which takes every
// parameter of the kind. Start runs CParamExport; Stop ends it before the next file.
#pragma once
#include <string>

#include "export/exportrundlg.h"
#include "export/odbctable.h"
#include "platform/odbc/odbc.h"

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orvix {

class COrvixDoc;
class IDocumentOpener;

class CExportParamDlg : public CExportRunDlg {
public:
    enum {
        IDD = 154,
        IDC_INPUT = 1119, IDC_OUTPUT = 1120, IDC_NAMES = 1121, IDC_GRAPH = 1123, IDC_BEHAV = 1124, IDC_ODBC = 1125,
        IDC_OPTIONS = 1338, IDC_CSV = 1340, IDC_STATUS = 1341,
    };

    CExportParamDlg(COrvixDoc* doc, IDocumentOpener& opener, QWidget* parent = nullptr);

    void OnGraphParam() { kind_ = 0; }
    void OnBehavParam() { kind_ = 1; }
    void OnFormatCsv();
    void OnFormatOdbc();
    void OnOptions();
    // "&Start" / "&Stop".
    void OnOK();
    const OdbcOptions& Options() const { return options_; }

    // IExportProgress
    void OnFile(const std::string& path, int trialCount) override;
    void OnFileDone() override;

private:
    // One running flag for every such dialog.
    static bool running_;

    COrvixDoc* doc_;
    IDocumentOpener& opener_;
    COdbcConnection db_;
    int kind_ = 0;
    int format_ = 0;
    OdbcOptions options_;
    int files_ = 0;

    QLineEdit* input_;
    QLineEdit* output_;
    QLineEdit* names_;
    QButtonGroup* kinds_;
    QButtonGroup* formats_;
};

} // namespace orvix
