// File > Open and Save As on Qt's own file dialog, taught the program's path form: a
// document's path may be in the "c:\data\..." form of the data folder, so the dialogs start
// in the folder that form maps to, and a name typed in it is mapped (MapPath) before the
// dialog looks for the file.
#pragma once
#include <string>

class QWidget;

namespace orvix {

// Where a file dialog starts for a document path: the folder on this machine ("" none)
// and the name in it.
struct DialogStart {
    std::string folder;
    std::string name;
};
DialogStart FileDialogStart(const std::string& documentPath);

// Both run through the UI service and give a path on this machine; "" when cancelled.
// Open takes an existing file only; Save As offers the document's folder and name.
std::string AskOpenPath(QWidget* parent, const std::string& documentPath);
std::string AskSaveAsPath(QWidget* parent, const std::string& documentPath);
// An existing file, starting in the folder of the one `path` names (a relative name: the
// working folder's, where the program looks for it) with that file selected; on OK `path`
// is the chosen one. filter in Qt's form.
bool AskExistingFile(QWidget* parent, std::string& path, const std::string& filter);

} // namespace orvix
