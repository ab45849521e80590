// CDataSourceDlg: "Set file name or SQL query", a larger editor of the input box's text
// (a file pattern or an "ODBC://" query over several lines). The input box keeps a query
// on one line with a pilcrow (0xB6) for each line break; the two helpers turn one form
// into the other.
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

    // The input box's double click: its text in the dialog, lines for pilcrows; on OK the
    // dialog's text back in the box's form (true), on Cancel the box's text unchanged.
    static bool EditBoxText(std::string& boxText, QWidget* parent);

    // The box's one-line text with each pilcrow as a line break, and back.
    static std::string FromBoxText(const std::string& box);
    static std::string ToBoxText(const std::string& lines);

private:
    QPlainTextEdit* edit_;
};

} // namespace orvix
