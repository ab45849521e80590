// The main frame's dialog bar: the trial comment with its keys, and the input-file box with
// its navigator and history.
#include <QComboBox>
#include <QEvent>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include "document/orvixdoc.h"
#include "export/odbcfilename.h"
#include "model/fieldtext.h"
#include "model/param.h"
#include "platform/text/numbers.h"
#include "platform/text/qtext.h"
#include "platform/ui/ui.h"
#include "views/framebars.h"
#include "views/mainframe.h"
#include "views/orvixview.h"

namespace orvix {

QWidget* CMainFrame::GetCommentEdit() const { return dialogBar_->comment; }

bool CMainFrame::StoreComment()
{
    CTrial* trial = doc_.GetTrial(commentTrial_);
    if (!trial)
        return true;
    std::string text = trial->comment;
    if (!TakeField(*dialogBar_->comment, text, "the comment"))
        return false;
    if (trial->comment == text)
        return true;
    // A comment is part of the data file: the document has changed.
    trial->comment = text;
    doc_.SetModifiedFlag();
    doc_.FillTrialRow(commentTrial_);
    return true;
}

void CMainFrame::ShowCommentTrial()
{
    if (CTrial* trial = doc_.GetTrial(commentTrial_))
        dialogBar_->comment->setText(ToQ(trial->comment));
    dialogBar_->trialNumber->setText(ToQ(Format("%d", commentTrial_ + 1)));
}

void CMainFrame::SelectTrialComment(int trial)
{
    if (dialogBar_->comment->hasFocus() || !StoreComment())
        return;
    commentTrial_ = trial;
    ShowCommentTrial();
}

bool CMainFrame::OnCommentKey(int qtKey)
{
    QLineEdit* edit = dialogBar_->comment;
    const int count = doc_.GetTrialCount();
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F8) {
        // The comment trial's channel goes in or out of its analysis.
        if (CTrial* trial = doc_.GetTrial(commentTrial_)) {
            trial->activeChannels ^= static_cast<uint8_t>(1u << (qtKey - Qt::Key_F1));
            int window = doc_.GetBehavParam("AnalysisTime", CParam(nullptr, 800)).GetInt();
            std::string problem = trial->ComputeResponse(window);
            doc_.SetModifiedFlag();
            doc_.FillTrialRow(commentTrial_);
            doc_.UpdateAllViews(nullptr, HINT_REBUILD);
            if (!problem.empty())
                MessageBox(problem);
        }
        dialogBar_->trialNumber->setText(ToQ(Format("%d", commentTrial_ + 1)));
        return true;
    }
    CommentKey key;
    switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter: key = CommentKey::Enter; break;
    case Qt::Key_PageUp: key = CommentKey::PageUp; break;
    case Qt::Key_PageDown: key = CommentKey::PageDown; break;
    case Qt::Key_Home: key = CommentKey::Home; break;
    case Qt::Key_End: key = CommentKey::End; break;
    case Qt::Key_Up: key = CommentKey::Up; break;
    case Qt::Key_Down: key = CommentKey::Down; break;
    default: return false;
    }
    // A comment refused stays in the edit, which keeps the focus, until it is mended.
    if (CommentKeyStoresFirst(key) && !StoreComment())
        return true;
    if (key == CommentKey::Enter) {
        // To the frame, which does nothing with keys: the arrows that follow scroll no view.
        setFocus();
    } else {
        commentTrial_ = CommentKeyTarget(key, commentTrial_, count);
        if (CTrial* trial = doc_.GetTrial(commentTrial_))
            edit->setText(ToQ(trial->comment));
        // The trial view shows the trial (the first one for none).
        trialView_->VScrollTo(std::max(commentTrial_, 0));
    }
    dialogBar_->trialNumber->setText(ToQ(Format("%d", commentTrial_ + 1)));
    return true;
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == dialogBar_->comment) {
        if (event->type() == QEvent::KeyPress)
            return OnCommentKey(static_cast<QKeyEvent*>(event)->key());
        if (event->type() == QEvent::FocusOut)
            StoreComment();
        return false;
    }
    if (watched == dialogBar_->inputFile->lineEdit() && event->type() == QEvent::MouseButtonDblClick) {
        OnEditDataSource();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- The input files ----

std::vector<std::string> CMainFrame::InputHistory() const
{
    std::vector<std::string> items;
    QComboBox* box = dialogBar_->inputFile;
    for (int i = 0; i < box->count(); ++i)
        items.push_back(FromShown(box->itemText(i)));
    return items;
}

void CMainFrame::SaveInputHistory() const
{
    // A password typed into an "ODBC://" text is not written to the registry.
    std::vector<std::string> items = InputHistory();
    for (std::string& item : items)
        item = OdbcInputForHistory(item);
    orvix::SaveInputHistory(items);
}

bool CMainFrame::OpenInputFile(int index)
{
    bool opened = hooks.openDocument && hooks.openDocument(inputFiles_.At(index).path);
    dialogBar_->position->setText(ToQ(inputFiles_.PositionText()));
    return opened;
}

bool CMainFrame::RebuildInputList()
{
    QComboBox* box = dialogBar_->inputFile;
    std::string typed;
    if (!TakeField(*box->lineEdit(), typed, "the input-file box"))
        return false;
    const std::string text = InputText(typed);
    inputFiles_.Rebuild({});
    std::vector<InputFileEntry> files;
    if (IsOdbcSource(text)) {
        OdbcSource source;
        if (!ParseOdbcSource(text, source)) {
            MessageBox(kOdbcFormatError);
            return false;
        }
        std::vector<std::string> names;
        std::string error = "data-file lists from ODBC sources are not available";
        if (!hooks.odbcFileNames || !hooks.odbcFileNames(source, names, error)) {
            doc_.AddLogLine("Can't read the data-file names of \"" + source.database + "\": " + error);
            return false;
        }
        // In the order the database gives them, each name a pattern of its own.
        for (const std::string& name : names) {
            std::vector<InputFileEntry> found = FindMatchingFiles(name);
            files.insert(files.end(), found.begin(), found.end());
        }
    } else {
        files = FindMatchingFiles(DataFilePattern(text));
        SortByWriteTime(files);
    }
    inputFiles_.Rebuild(std::move(files));
    if (inputFiles_.Count() == 0) {
        dialogBar_->position->setText("no file");
        return false;
    }
    if (FindHistoryPrefix(InputHistory(), text) < 0) {
        // The text keeps its place in the history; selecting it changes nothing.
        QSignalBlocker block(box);
        box->insertItem(0, ToQ(text));
        box->setCurrentIndex(0);
    }
    OpenInputFile(0);
    return true;
}

void CMainFrame::Navigate(CInputFileList::Button button, bool shift)
{
    bool rebuilt = false;
    if (inputFiles_.IsStale()) {
        RebuildInputList();
        rebuilt = true;
    }
    int index = inputFiles_.Navigate(button, shift, rebuilt);
    if (index >= 0)
        OpenInputFile(index);
}

void CMainFrame::OnEditDataSource()
{
    QComboBox* box = dialogBar_->inputFile;
    std::string text;
    if (!TakeField(*box->lineEdit(), text, "the input-file box"))
        return;
    text = ToMultiLine(text);
    bool accepted = false;
    if (hooks.editDataSource) {
        accepted = hooks.editDataSource(text);
    } else {
        QInputDialog dialog(this);
        dialog.setWindowTitle("Set file name or SQL query");
        dialog.setLabelText("File name or ODBC://[user[:password]@]database:SQL statement");
        dialog.setOption(QInputDialog::UsePlainTextEditForTextInput);
        dialog.setTextValue(ToQ(text));
        accepted = UI().RunModal(dialog) == IDOK;
        accepted = accepted && TakeTyped(dialog.textValue(), text, "the file name or query");
    }
    if (!accepted)
        return;
    box->setEditText(ToQ(FromMultiLine(text)));
    inputFiles_.MarkStale();
}

} // namespace orvix
