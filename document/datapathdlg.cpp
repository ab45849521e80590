#include "document/datapathdlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace orvix {

CDataPathDlg::CDataPathDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("DataPath"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Data file directory doesn't exist. Please choose another one."), this));
    edit_ = new QLineEdit(this);
    edit_->setMinimumWidth(300);
    layout->addWidget(edit_);
    // Cancel (or closing the window) leaves the naming without a data file.
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void CDataPathDlg::SetDirectory(const std::string& directory)
{
    edit_->setText(QString::fromLatin1(directory.data(), static_cast<qsizetype>(directory.size())));
}

std::string CDataPathDlg::Directory() const { return edit_->text().toLatin1().toStdString(); }

} // namespace orvix
