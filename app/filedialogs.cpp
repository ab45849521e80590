#include "app/filedialogs.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

#include "app/orvixapp.h"
#include "platform/files/paths.h"
#include "platform/text/qtext.h"
#include "platform/ui/ui.h"

namespace orvix {

namespace {

// A name typed into the name box is either the program's form of a path ("c:\data\x.oxv",
// the program's text, which the mapping changes) or one of this machine: the path it names
// on this machine.
std::string Mapped(const QString& typed)
{
    std::string text;
    if (FromQ(typed, text)) {
        std::string mapped = MapPath(text);
        if (mapped != text)
            return mapped;
    }
    return PathFromQ(typed);
}

// Qt's own dialog, as a desktop's would not let the name be mapped; its name box is the
// line edit Qt names "fileNameEdit".
class CMappedFileDialog : public QFileDialog {
public:
    CMappedFileDialog(QWidget* parent, const char* caption, AcceptMode mode,
                      const QString& filter = "Orvix Files (*.oxv);;All Files (*)")
        : QFileDialog(parent, caption, QString(), filter)
    {
        setOption(DontUseNativeDialog);
        setAcceptMode(mode);
        setFileMode(mode == AcceptOpen ? ExistingFile : AnyFile);
        // Qt turns Open off for a name it cannot find, which a name in the program's form
        // is until it is mapped.
        if (QLineEdit* name = NameEdit())
            connect(name, &QLineEdit::textChanged, this, [this](const QString& text) {
                auto* box = findChild<QDialogButtonBox*>();
                QPushButton* button = box ? box->button(acceptMode() == AcceptOpen ? QDialogButtonBox::Open
                                                                                   : QDialogButtonBox::Save)
                                          : nullptr;
                if (button && Mapped(text) != PathFromQ(text))
                    button->setEnabled(true);
            });
    }

    void accept() override
    {
        if (QLineEdit* name = NameEdit()) {
            const std::string typed = PathFromQ(name->text());
            const std::string mapped = Mapped(name->text());
            if (mapped != typed) {
                if (QFileInfo(PathToQ(mapped)).isDir()) {
                    setDirectory(PathToQ(mapped));
                    name->clear();
                    return;
                }
                name->setText(PathToQ(mapped));
            }
        }
        // Said here rather than by Qt, so that the message goes where all of the program's go.
        const QStringList files = selectedFiles();
        if (acceptMode() == AcceptOpen && !files.isEmpty() && !QFileInfo::exists(files.front())) {
            // Shown in the program's text; a name it cannot hold goes as this machine's bytes.
            const QString file = QFileInfo(files.front()).fileName();
            std::string shown;
            if (!FromQ(file, shown))
                shown = PathFromQ(file);
            MessageBox(shown
                           + "\nFile not found.\nPlease verify the correct file name was given.",
                       MB_ICONWARNING);
            return;
        }
        QFileDialog::accept();
    }

    // The name box's text as it is (selectFile would make it relative to some folder).
    void OfferName(const QString& name)
    {
        if (QLineEdit* edit = NameEdit())
            edit->setText(name);
    }

private:
    QLineEdit* NameEdit() const { return findChild<QLineEdit*>("fileNameEdit"); }
};

std::string Run(QFileDialog& dialog)
{
    if (UI().RunModal(dialog) != IDOK || dialog.selectedFiles().isEmpty())
        return std::string();
    return PathFromQ(dialog.selectedFiles().front());
}

} // namespace

DialogStart FileDialogStart(const std::string& documentPath)
{
    const std::string folder = OpenDialogStart(documentPath);
    DialogStart start{folder.empty() ? std::string() : MapPath(folder), documentPath.substr(folder.size())};
    if (start.folder.size() > 1 && start.folder.back() == '/')
        start.folder.pop_back();
    return start;
}

std::string AskOpenPath(QWidget* parent, const std::string& documentPath)
{
    CMappedFileDialog dialog(parent, "Open", QFileDialog::AcceptOpen);
    const DialogStart start = FileDialogStart(documentPath);
    if (!start.folder.empty() && QFileInfo(PathToQ(start.folder)).isDir())
        dialog.setDirectory(PathToQ(start.folder));
    return Run(dialog);
}

std::string AskSaveAsPath(QWidget* parent, const std::string& documentPath)
{
    CMappedFileDialog dialog(parent, "Save As", QFileDialog::AcceptSave);
    const DialogStart start = FileDialogStart(documentPath);
    if (!start.folder.empty() && QFileInfo(PathToQ(start.folder)).isDir()) {
        dialog.setDirectory(PathToQ(start.folder));
        dialog.selectFile(ToQ(start.name));
    } else if (!start.folder.empty()) {
        // A folder that is not there yet: the dialog cannot show it, but the name box keeps
        // it, so that Return saves there rather than in whatever folder the dialog shows.
        dialog.OfferName(PathToQ(start.folder) + "/" + ToQ(start.name));
    } else {
        dialog.selectFile(ToQ(start.name));
    }
    return Run(dialog);
}

bool AskExistingFile(QWidget* parent, std::string& path, const std::string& filter)
{
    CMappedFileDialog dialog(parent, "Open", QFileDialog::AcceptOpen, ToQ(filter));
    const DialogStart start = FileDialogStart(path);
    const QFileInfo folder(start.folder.empty() ? QString(".") : PathToQ(start.folder));
    if (folder.isDir()) {
        dialog.setDirectory(folder.absoluteFilePath());
        dialog.selectFile(ToQ(start.name));
    } else {
        // The path as the program keeps it; the name box maps it when it is taken.
        dialog.OfferName(ToQ(path));
    }
    std::string chosen = Run(dialog);
    if (chosen.empty())
        return false;
    // The caller keeps the path as the program's text.
    std::string text;
    TextRefusal why;
    if (!ProgramPath(chosen, text, &why)) {
        MessageBox(RefusalMessage(why, "the path \"" + ShownText(chosen) + "\"", false));
        return false;
    }
    path = text;
    return true;
}

} // namespace orvix
