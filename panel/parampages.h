// The "GraphParam" and "BehavParam" pages: a parameter table as a list of name/value lines
// with in-place editing of the selected value, and the current test type's initial
// parameters of that kind.
#pragma once
#include <QWidget>
#include <functional>
#include <string>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace orvix {

class COrvixDoc;
class CParam;
class CParamLineDelegate;
class CTaskRunner;

class CParamPage : public QWidget {
    Q_OBJECT
public:
    enum { IDC_INIT_LIST = 1099, IDC_PARAM_LIST = 1016, IDC_VALUE = 1018, IDC_ADD_INIT = 1098, IDC_DEL_INIT = 1102 };

    // index < 0 rebuilds both lists; index >= 0 rewrites that parameter's line.
    void UpdateList(int index);
    // Applies the value text to the selected parameter; false when the text was refused (a
    // letter the code page cannot hold): the edit keeps it, with the focus, for mending.
    virtual bool ApplyValue() = 0;
    void OnSelChangeParamList();
    void OnAddInitParam();
    void OnDelInitParam();

    QListWidget* ParamList() const { return paramList_; }
    QListWidget* InitList() const { return initList_; }
    QLineEdit* ValueEdit() const { return valueEdit_; }

protected:
    CParamPage(COrvixDoc* doc, int kind, int separatorWidth, int columnWidth, QWidget* parent);
    bool eventFilter(QObject* watched, QEvent* event) override;

    int ParamCount() const;
    CParam& Param(int i) const;
    // The selected parameter's index, -1 without a selection.
    int SelectedRow() const;
    // Replaces line row with the name and the new value and selects it.
    void ReplaceLine(int row, const std::string& name, const std::string& value);
    // The edited value for the selected line: the parameter, the line's row, name and old
    // value; param is null (focus back on the list) when there is nothing to change, or
    // (refused) when the typed text cannot be the program's.
    struct Edit {
        CParam* param = nullptr;
        bool refused = false;
        int row = -1;
        std::string name, oldValue;
    };
    Edit TakeEditedValue();
    // A button of the page's own in the left column, at position.
    void AddButton(const char* text, int id, int position, std::function<void()> onClick);
    // Where "&Add to init param" puts the focus when there is nothing to add.
    virtual void FocusAfterRefusedAdd() = 0;

    COrvixDoc* doc_;
    const int kind_;
    const int separatorWidth_;
    const int columnWidth_; // the narrowest the list's columns are
    CParamLineDelegate* lines_;
    QListWidget* initList_;
    QListWidget* paramList_;
    QLineEdit* valueEdit_;
    QPushButton* addInit_;
    QPushButton* delInit_;
    std::string valueText_;
};

class CGraphParam : public CParamPage {
    Q_OBJECT
public:
    enum { IDD = 137, IDC_XY_TO_HV = 1101 };
    explicit CGraphParam(COrvixDoc* doc, QWidget* parent = nullptr);
    bool ApplyValue() override;
    void OnXYToHV();

protected:
    void FocusAfterRefusedAdd() override;
};

class CBehavParam : public CParamPage {
    Q_OBJECT
public:
    enum { IDD = 138, IDC_ADD_BEHAV = 1146, IDC_DEL_BEHAV = 1147 };
    // An edited "TaskType" makes the task runner read its parameters again.
    CBehavParam(COrvixDoc* doc, CTaskRunner& runner, QWidget* parent = nullptr);
    bool ApplyValue() override;
    void OnAddBehavParam();
    void OnDelBehavParam();

protected:
    void FocusAfterRefusedAdd() override;

private:
    CTaskRunner& runner_;
};

} // namespace orvix
