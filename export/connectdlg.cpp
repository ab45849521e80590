#include "export/connectdlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <stdexcept>

#include "export/odbctable.h"
#include "model/fieldtext.h"
#include "platform/odbc/odbc.h"
#include "platform/text/qtext.h"
#include "platform/ui/objectname.h"
#include "platform/ui/ui.h"

namespace orvix {

namespace {

// The last choice, for the next dialog of the program's run.
std::string g_lastSource;
std::string g_lastUser;

} // namespace

CConnectDlg::CConnectDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Select Data Source");
    source_ = Named(new QComboBox(this), IDC_SOURCE);
    source_->setEditable(true);
    source_->setMinimumWidth(360);
    for (const OdbcDataSource& s : ListDataSources())
        source_->addItem(ToQ(s.name), ToQ(s.description));
    if (!g_lastSource.empty())
        source_->setEditText(ToQ(g_lastSource));
    source_->setToolTip("A data source of odbc.ini, or a connect string such as\n"
                        "Driver=SQLite3;Database=/home/lab/neuron.db");
    user_ = Named(new QLineEdit(ToQ(g_lastUser), this), IDC_USER);
    password_ = Named(new QLineEdit(this), IDC_PASSWORD);
    password_->setEchoMode(QLineEdit::Password);

    auto* form = new QFormLayout;
    form->addRow("&Data source:", source_);
    form->addRow("&User:", user_);
    form->addRow("&Password:", password_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Named(buttons->button(QDialogButtonBox::Ok), IDOK);
    Named(buttons->button(QDialogButtonBox::Cancel), IDCANCEL);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void CConnectDlg::accept()
{
    std::string text;
    if (TakeField(*source_->lineEdit(), text, "the data source") && TakeField(*user_, text, "the user's name")
        && TakeField(*password_, text, "the password"))
        QDialog::accept();
}

std::string CConnectDlg::ConnectString() const
{
    const std::string source = FromShown(source_->currentText());
    const std::string user = FromShown(user_->text());
    const std::string password = FromShown(password_->text());
    std::string connect = source.find('=') != std::string::npos ? source : "DSN=" + ConnectValue(source);
    if (!user.empty())
        connect += (connect.empty() || connect.back() == ';' ? "UID=" : ";UID=") + ConnectValue(user);
    if (!password.empty())
        connect += ";PWD=" + ConnectValue(password);
    return connect;
}

void CConnectDlg::Remember() const
{
    g_lastSource = FromShown(source_->currentText());
    g_lastUser = FromShown(user_->text());
}

OpenDatabaseResult OpenDatabase(COdbcConnection& db, QWidget* parent)
{
    CConnectDlg dialog(parent);
    if (UI().RunModal(dialog) != IDOK)
        return DB_CANCELLED;
    dialog.Remember();
    try {
        db.Open(dialog.ConnectString());
        return DB_OPENED;
    } catch (const COdbcError& e) {
        MessageBox("Can't open database.\n" + DiagnosticText(e));
    } catch (const std::invalid_argument& e) {
        MessageBox(std::string("Can't open database.\n") + e.what());
    }
    return DB_FAILED;
}

} // namespace orvix
