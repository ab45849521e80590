#include "export/exportoptionsdlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/ui/objectname.h"
#include "platform/ui/ui.h"

namespace orvix {

CExportOptionsDlg::CExportOptionsDlg(const OdbcOptions& options, QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Export ODBC Options");
    autoCreate_ = Named(new QCheckBox("Auto create missing tables", this), IDC_AUTO_CREATE);
    grant_ = Named(new QCheckBox("Grant SELECT on newly created table to PUBLIC", this), IDC_GRANT);
    autoAdd_ = Named(new QCheckBox("Auto add missing columns", this), IDC_AUTO_ADD);
    autoCreate_->setChecked(options.autoCreate);
    grant_->setChecked(options.grant);
    autoAdd_->setChecked(options.autoAdd);

    auto* duplicates = new QGroupBox("Duplicate records handling", this);
    skip_ = Named(new QRadioButton("Skip", duplicates), IDC_SKIP);
    deleteFirst_ = Named(new QRadioButton("DELETE first, then INSERT", duplicates), IDC_DELETE_FIRST);
    (options.duplicates == DUPLICATE_SKIP ? skip_ : deleteFirst_)->setChecked(true);
    auto* note = new QLabel("(use it only for Oracle database)", duplicates);
    auto* group = new QVBoxLayout(duplicates);
    group->addWidget(skip_);
    group->addWidget(deleteFirst_);
    group->addWidget(note);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Named(buttons->button(QDialogButtonBox::Ok), IDOK);
    Named(buttons->button(QDialogButtonBox::Cancel), IDCANCEL);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(autoCreate_);
    layout->addWidget(grant_);
    layout->addWidget(autoAdd_);
    layout->addWidget(duplicates);
    layout->addWidget(buttons);
}

OdbcOptions CExportOptionsDlg::Options() const
{
    OdbcOptions o;
    o.autoCreate = autoCreate_->isChecked();
    o.grant = grant_->isChecked();
    o.autoAdd = autoAdd_->isChecked();
    o.duplicates = deleteFirst_->isChecked() ? DUPLICATE_DELETE_FIRST : DUPLICATE_SKIP;
    return o;
}

void EditOdbcOptions(OdbcOptions& options, QWidget* parent)
{
    CExportOptionsDlg dialog(options, parent);
    if (UI().RunModal(dialog) == IDOK)
        options = dialog.Options();
}

} // namespace orvix
