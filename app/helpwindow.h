// Help > "&Help Topics": the program's own documentation, README.md and docs/*.md, shown as
// Markdown in a window of the program's own. This platform has no help system of the kind
// the framework's help handlers called; the files are found beside the program, where an
// installation puts them (../share/doc/orvix) or in the source tree it was built from.
#pragma once
#include <QTextBrowser>
#include <QWidget>
#include <string>
#include <vector>

class QListWidget;

namespace orvix {

// Where the documentation is looked for, in this order.
std::vector<std::string> DocumentationPlaces();
// The first place that holds README.md as a regular file of the program's own (the user's,
// root's or the owner of the running program's); "" when none does.
std::string FindDocumentation(const std::vector<std::string>& places);

// Shows the documentation's files only: a link to anything else loads nothing.
class CDocBrowser : public QTextBrowser {
public:
    CDocBrowser(const std::string& folder, QWidget* parent);
    QVariant loadResource(int type, const QUrl& name) override;

private:
    std::string folder_;
};

class CHelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit CHelpWindow(const std::string& folder, QWidget* parent = nullptr);

    // README.md first, then docs/*.md by name; paths relative to the folder.
    const std::vector<std::string>& Files() const { return files_; }
    QTextBrowser* Browser() const { return browser_; }
    void ShowFile(size_t index);

private:
    std::string folder_;
    std::vector<std::string> files_;
    QListWidget* contents_;
    CDocBrowser* browser_;
};

} // namespace orvix
