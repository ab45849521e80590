// CDataSourceDlg: "Set file name or SQL query", a larger editor of the input box's text
// (a file pattern or an "ODBC://" query over several lines; the main frame turns the box's
// pilcrows into line breaks and back).
#pragma once
#include <QDialog>
#include <string>

class QPlainTextEdit;

namespace orvix {

class CDataSourceDlg : public QDialog {
public:
    enum { IDD = 160, IDC_TEXT = 1085 };

    explicit CDataSourceDlg(QWidget* parent = nullptr);

    void SetText(const std::string& text);
    std::string Text() const;
    // Ends the dialog only when the text can be the program's.
    void accept() override;

    // Runs the dialog over the text: true (the text as edited) on OK; on Cancel the text
    // stays as it was.
    static bool Edit(std::string& text, QWidget* parent);

private:
    QPlainTextEdit* edit_;
};

} // namespace orvix
