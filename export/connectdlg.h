// CConnectDlg: the choice of a database to export to, in place of the driver manager's
// own prompt: one of the data sources unixODBC knows (or a connect string of its own), a
// user and a password. OpenDatabase runs it and connects.
#pragma once
#include <QDialog>
#include <string>

class QComboBox;
class QLineEdit;

namespace orvix {

class COdbcConnection;

class CConnectDlg : public QDialog {
public:
    enum { IDC_SOURCE = 2001, IDC_USER = 2002, IDC_PASSWORD = 2003 };

    explicit CConnectDlg(QWidget* parent = nullptr);
    // Ends the dialog only when every field's text can be the program's.
    void accept() override;

    // "DSN=<source>;UID=<user>;PWD=<password>", values braced where needed; a source
    // that holds "=" is taken as a connect string of its own and the user and password
    // are added to it.
    std::string ConnectString() const;
    // What to remember for the next choice (the program's run): the source and the user,
    // never the password.
    void Remember() const;

private:
    QComboBox* source_;
    QLineEdit* user_;
    QLineEdit* password_;
};

// Asks for a data source and connects to it: DB_OPENED, DB_CANCELLED (the user cancelled
// the choice), or DB_FAILED after "Can't open database." with the driver's reason.
enum OpenDatabaseResult { DB_OPENED, DB_CANCELLED, DB_FAILED };
OpenDatabaseResult OpenDatabase(COdbcConnection& db, QWidget* parent);

} // namespace orvix
