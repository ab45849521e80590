#include "model/inputstringdlg.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QVBoxLayout>

namespace orvix {

CInputStringDlg::CInputStringDlg(QWidget* parent) : QDialog(parent), edit_(new QLineEdit(this))
{
    setWindowTitle("Input a string");
    edit_->setObjectName("edit1097");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(edit_);
    layout->addWidget(buttons);
}

void CInputStringDlg::accept()
{
    text_ = edit_->text().toLatin1().toStdString();
    QDialog::accept();
}

} // namespace orvix
