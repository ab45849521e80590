#include "export/datasourcedlg.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/fieldtext.h"
#include "platform/text/qtext.h"
#include "platform/ui/objectname.h"
#include "platform/ui/ui.h"

namespace orvix {

CDataSourceDlg::CDataSourceDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Set file name or SQL query");
    edit_ = Named(new QPlainTextEdit(this), IDC_TEXT);
    edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    edit_->setMinimumSize(520, 160);
    auto* buttons = new QDialogButtonBox(this);
    Named(buttons->addButton("Ok", QDialogButtonBox::AcceptRole), IDOK);
    Named(buttons->addButton("Cancel", QDialogButtonBox::RejectRole), IDCANCEL);
    // Enter makes a new line in the text; only the buttons end the dialog.
    for (QAbstractButton* b : buttons->buttons())
        if (auto* push = qobject_cast<QPushButton*>(b))
            push->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(edit_);
    layout->addWidget(buttons);
}

void CDataSourceDlg::SetText(const std::string& text) { edit_->setPlainText(ToQ(text)); }

std::string CDataSourceDlg::Text() const { return FromShown(edit_->toPlainText()); }

void CDataSourceDlg::accept()
{
    std::string text;
    if (TakeField(*edit_, text, "the file name or query"))
        QDialog::accept();
}

bool CDataSourceDlg::Edit(std::string& text, QWidget* parent)
{
    CDataSourceDlg dialog(parent);
    dialog.SetText(text);
    if (UI().RunModal(dialog) != IDOK)
        return false;
    text = dialog.Text();
    return true;
}

} // namespace orvix
