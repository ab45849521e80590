// The "Resp" page (one line per trial with its outcome and responses), the "SysLog" page
// (the program's log) and the "View" list dialog (numbered text lines).
#pragma once
#include <QDialog>
#include <QWidget>
#include <string>
#include <vector>

class QLineEdit;
class QListWidget;

namespace orvix {

class COrvixDoc;

class CViewResponse : public QWidget {
    Q_OBJECT
public:
    enum { IDD = 139, IDC_RESULTS = 1034, IDC_TOTAL = 1076, IDC_BINOCULAR = 1077, IDC_MONOCULAR = 1078 };
    explicit CViewResponse(COrvixDoc* doc, QWidget* parent = nullptr);

    // A response of the trial in progress: numbered after the document's trials.
    void AddTrialResult(int r1, int r2, int r3, int r4, int status);
    void Clear();
    void UpdateFromDoc();

    QListWidget* List() const { return list_; }
    int TotalCount() const { return total_; }

private:
    void ShowCounts();

    COrvixDoc* doc_;
    QListWidget* list_;
    QLineEdit* totalEdit_;
    QLineEdit* binocularEdit_;
    QLineEdit* monocularEdit_;
    int binocular_ = 0, total_ = 0, monocular_ = 0;
};

class CSysLogPage : public QWidget {
    Q_OBJECT
public:
    enum { IDD = 136, IDC_LOG = 1034 };
    explicit CSysLogPage(QWidget* parent = nullptr);

    // Adds the text's lines and selects the last one.
    void AddLog(const std::string& text);
    // Lines that were there before the page (the renderer console's), not selected.
    void AddInitialLines(const std::vector<std::string>& lines);
    QListWidget* List() const { return list_; }

private:
    QListWidget* list_;
};

class CViewListDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 144, IDC_LIST = 1074 };
    CViewListDlg(const std::vector<std::string>* lines, QWidget* parent = nullptr);
    QListWidget* List() const { return list_; }

private:
    QListWidget* list_;
};

} // namespace orvix
