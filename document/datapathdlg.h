// The small dialog that asks for another data folder when the configured one is missing.
#pragma once
#include <QDialog>
#include <string>

class QLineEdit;

namespace orvix {

class CDataPathDlg : public QDialog {
public:
    explicit CDataPathDlg(QWidget* parent = nullptr);

    void SetDirectory(const std::string& directory);
    std::string Directory() const;

private:
    QLineEdit* edit_;
};

} // namespace orvix
