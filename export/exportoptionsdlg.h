// CExportOptionsDlg: the "Export ODBC Options" dialog, the four choices of the database
// exports (create missing tables, grant them to PUBLIC, add missing columns, and what to do
// with a data file that is already in its table).
#pragma once
#include <QDialog>

#include "export/odbctable.h"

class QCheckBox;
class QRadioButton;

namespace orvix {

class CExportOptionsDlg : public QDialog {
public:
    enum {
        IDD = 169,
        IDC_AUTO_CREATE = 1335, IDC_AUTO_ADD = 1336, IDC_GRANT = 1339, IDC_DELETE_FIRST = 1344, IDC_SKIP = 1345,
    };

    explicit CExportOptionsDlg(const OdbcOptions& options, QWidget* parent = nullptr);

    // The choices as the controls show them.
    OdbcOptions Options() const;

private:
    QCheckBox* autoCreate_;
    QCheckBox* grant_;
    QCheckBox* autoAdd_;
    QRadioButton* skip_;
    QRadioButton* deleteFirst_;
};

// Runs the dialog over `options` and keeps its choices when it ends with OK.
void EditOdbcOptions(OdbcOptions& options, QWidget* parent);

} // namespace orvix
