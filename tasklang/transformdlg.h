// CTransformDlg: "Transform": the name of the column to fill "=" an expression.
#pragma once
#include <QDialog>
#include <string>

class QLineEdit;

namespace orvix {

class CTransformDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 153, IDC_NAME = 1116, IDC_EXPRESSION = 1117 };
    explicit CTransformDlg(QWidget* parent = nullptr);

    std::string name;
    std::string expression;
    QLineEdit* NameEdit() const { return nameEdit_; }
    QLineEdit* ExpressionEdit() const { return expressionEdit_; }

    void accept() override;

private:
    QLineEdit* nameEdit_;
    QLineEdit* expressionEdit_;
};

} // namespace orvix
