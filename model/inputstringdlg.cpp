#include "model/inputstringdlg.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QVBoxLayout>

#include "model/fieldtext.h"
#include "platform/text/qtext.h"

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
    // A letter the code page cannot hold keeps the dialog open for mending.
    if (TakeField(*edit_, text_, "the string"))
        QDialog::accept();
}

} // namespace orvix
