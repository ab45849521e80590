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

// Shows the dialog modally with the folder filled in; true with the folder the user
// entered, false when cancelled or when there is no window system to ask on.
bool AskForDataFolder(std::string& folder);

} // namespace orvix
