// The response graph's small dialogs: "Reverse Correlation" and "Set selection" (both
// modeless: they stay open beside the graph) and the modal "Switch RIDGE 0 & 14". Controls
// are named "edit1330", "list1079", ... after the ids the dialogs have always had.
#pragma once
#include <QDialog>
#include <vector>

#include "model/param.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QSpinBox;

namespace orvix {

class CGraphView;

class CRevCorrDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 165, IDC_DURATION = 1329, IDC_LATENCY = 1330, IDC_MAXIMUM = 1331, IDC_MINIMUM = 1332, IDC_SUBTRACT = 1333 };
    CRevCorrDlg(int latency, int duration, float minimum, float maximum, bool subtract, CGraphView* view);

    int latency;
    int duration;
    float maximum;
    float minimum;
    bool subtract;

    QSpinBox* LatencySpin() const { return latencySpin_; }
    QSpinBox* DurationSpin() const { return durationSpin_; }
    QLineEdit* MaximumEdit() const { return maximumEdit_; }
    QLineEdit* MinimumEdit() const { return minimumEdit_; }
    QCheckBox* SubtractCheck() const { return subtractCheck_; }

    // OK applies and keeps the dialog open; Cancel (or closing it) puts the latency back to
    // 70 ms and ends the dialog.
    void accept() override;
    void reject() override;

private:
    // The controls into the members; false (with the message shown) for a malformed number.
    bool Exchange();
    // A spin moved: apply at once.
    void OnSpin();
    void OnSubtract();

    CGraphView* view_;
    QSpinBox* latencySpin_;
    QSpinBox* durationSpin_;
    QLineEdit* maximumEdit_;
    QLineEdit* minimumEdit_;
    QCheckBox* subtractCheck_;
};

// Edits the two command filters: the first list's entries all must hold, or all of the
// second's. Neither button closes the dialog; it reports with `finished` and the view
// closes it.
class CSetSelectionDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 148, IDC_LIST1 = 1079, IDC_LIST2 = 1080 };
    CSetSelectionDlg(const std::vector<CParam>* candidates, std::vector<CParam>* list1, std::vector<CParam>* list2,
                     QWidget* parent);

    QListWidget* FirstList() const { return first_; }
    QListWidget* SecondList() const { return second_; }

    void accept() override;
    void reject() override;

signals:
    // true after OK (the lists were changed), false after Cancel.
    void selectionFinished(bool ok);

private:
    const std::vector<CParam>* candidates_;
    std::vector<CParam>* list1_;
    std::vector<CParam>* list2_;
    QListWidget* first_;
    QListWidget* second_;
};

class CSwitchRidgeDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 164, IDC_SOURCE = 1327 };
    CSwitchRidgeDlg(int sources, QWidget* parent = nullptr);

    // After OK: the chosen line (0 = source 1), -1 when none was chosen.
    int choice = -1;
    QComboBox* SourceCombo() const { return combo_; }

    void accept() override;

private:
    QComboBox* combo_;
};

} // namespace orvix
