// CInputStringDlg: the one-line text dialog "Input a string" (a new test type's name, a
// template name, a new parameter's name).
#pragma once
#include <QDialog>
#include <string>

class QLineEdit;

namespace orvix {

class CInputStringDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 150, IDC_EDIT = 1097 };
    explicit CInputStringDlg(QWidget* parent = nullptr);

    // The entered text; filled in when the dialog is accepted.
    std::string& GetString() { return text_; }
    bool IsEmpty() const { return text_.empty(); }
    QLineEdit* Edit() const { return edit_; }

    void accept() override;

private:
    QLineEdit* edit_;
    std::string text_;
};

} // namespace orvix
