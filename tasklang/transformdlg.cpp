#include "tasklang/transformdlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "model/fieldtext.h"
#include "platform/text/qtext.h"

namespace orvix {

CTransformDlg::CTransformDlg(QWidget* parent)
    : QDialog(parent), nameEdit_(new QLineEdit(this)), expressionEdit_(new QLineEdit(this))
{
    setWindowTitle("Transform");
    nameEdit_->setObjectName("edit1116");
    expressionEdit_->setObjectName("edit1117");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QGridLayout(this);
    layout->addWidget(nameEdit_, 0, 0);
    layout->addWidget(new QLabel("=", this), 0, 1);
    layout->addWidget(expressionEdit_, 0, 2);
    layout->setColumnStretch(2, 5);
    layout->addWidget(buttons, 1, 0, 1, 3);
}

void CTransformDlg::accept()
{
    // A letter the code page cannot hold keeps the dialog open for mending.
    if (TakeField(*nameEdit_, name, "the column's name") && TakeField(*expressionEdit_, expression, "the expression"))
        QDialog::accept();
}

} // namespace orvix
