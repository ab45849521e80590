#include "document/datapathdlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "model/fieldtext.h"
#include "platform/text/qtext.h"

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
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        // The folder's name is the program's text ("c:\data"): a letter the code page cannot
        // hold keeps the dialog open for mending.
        if (std::string folder; TakeField(*edit_, folder, "the data file directory"))
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void CDataPathDlg::SetDirectory(const std::string& directory)
{
    edit_->setText(ToQ(directory));
}

std::string CDataPathDlg::Directory() const { return FromShown(edit_->text()); }

} // namespace orvix
