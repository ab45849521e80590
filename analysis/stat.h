// CStat: the control panel's Statistics page. The user picks a dependent variable and
// factors among the columns of the trial-parameter table, optionally a case condition, and
// runs a function of the statistics library on them; the result table is listed. The
// function runs on a worker thread (CStatJob): the page shows that it is busy and offers
// Cancel, and refuses beforehand a design too large to finish in reasonable time.
#pragma once
#include <QWidget>
#include <string>
#include <vector>

#include "platform/runtime/library.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class CTableModel;

namespace orvix {

class COrvixDoc;
class CStatJob;

class CStat : public QWidget {
    Q_OBJECT
public:
    enum {
        IDD = 156,
        IDC_DEPEND = 1148, IDC_SET_DEPEND = 1149, IDC_FACTORS = 1150, IDC_ADD_FACTOR = 1151,
        IDC_REMOVE = 1152, IDC_LEVEL = 1153, IDC_ESTIMATE = 1154, IDC_VARIABLES = 1155,
        IDC_OUTPUT = 1156, IDC_FUNCTION = 1157, IDC_CASE_COLUMN = 1181, IDC_OPERATOR = 1182,
        IDC_CASE_VALUE = 1184, IDC_CASES = 1185, IDC_CANCEL = 1186, IDC_BUSY = 1187,
    };
    // Functions are bound from the statistics library's module (null: none is loaded, and
    // every lookup fails).
    CStat(COrvixDoc* doc, HMODULE library, QWidget* parent = nullptr);

    void UpdateVariableLists(int arg = -1);
    void SetLibrary(HMODULE library) { library_ = library; }
    void OnSetDepend();
    void OnAddFactor();
    void OnRemoveFactor();
    void OnEstimate();
    // Drops the running estimate's result; the page is free at once.
    void OnCancel();
    void OnCases();
    // An estimate is running.
    bool IsBusy() const { return job_ != nullptr; }

    int GetDepend() const { return depend_; }
    const std::vector<int>& GetFactors() const { return factors_; }
    int GetLevel() const { return level_; }
    // The output list's lines.
    std::vector<std::string> OutputLines() const;

private:
    // False (with the message shown) when the condition is incomplete.
    bool SelectCases(CTableModel& table);
    void AddOutput(const std::string& line);
    // Takes the level from its edit; the previous level stays when it is not a number.
    void ReadLevel();
    void OnAnalysisDone();
    void EndJob();
    void ShowBusy(bool busy);

    COrvixDoc* doc_;
    HMODULE library_;
    int depend_ = -1;
    std::vector<int> factors_;
    int level_ = 2;
    QListWidget* variables_;
    QListWidget* factorsList_;
    QListWidget* output_;
    QLineEdit* dependEdit_;
    QLineEdit* levelEdit_;
    QLineEdit* caseValue_;
    QComboBox* function_;
    QComboBox* caseColumn_;
    QComboBox* operator_;
    QCheckBox* cases_;
    QPushButton* estimate_;
    QPushButton* cancel_;
    QProgressBar* busy_;
    CStatJob* job_ = nullptr;
    // The case condition as it was when the running estimate began.
    std::string casesLine_;
};

} // namespace orvix
