#include "app/analysiscommands.h"

#include <utility>

#include "analysis/aligntrialsdlg.h"
#include "document/orvixdoc.h"
#include "export/exportparamdlg.h"
#include "platform/ui/ui.h"

namespace orvix {

CAnalysisCommands::CAnalysisCommands(COrvixDoc& doc, OpenDocument openDocument, QWidget* parent)
    : doc_(doc), openDocument_(std::move(openDocument)), parent_(parent)
{
}

bool CAnalysisCommands::OnCommand(int id)
{
    switch (id) {
    case ID_EXPORT_DATA:
    case ID_GRAPH_EXPORT_DATA: OnExportData(); return true;
    case ID_EXPORT_PARAM: OnExportParam(); return true;
    case ID_ALIGN_TRIALS: OnAlignTrials(); return true;
    default: return false;
    }
}

bool CAnalysisCommands::OnUpdateCommand(int id, bool& enabled, bool& checked) const
{
    if (id != ID_EXPORT_DATA && id != ID_GRAPH_EXPORT_DATA && id != ID_EXPORT_PARAM)
        return false;
    // An export opens other files into the document, as File Open does.
    enabled = doc_.OnUpdateFileOpen();
    checked = false;
    return true;
}

void CAnalysisCommands::OnExportData()
{
    CExportDataDlg dialog(&doc_, *this, exportChoices_, parent_);
    UI().RunModal(dialog);
}

void CAnalysisCommands::OnExportParam()
{
    CExportParamDlg dialog(&doc_, *this, parent_);
    UI().RunModal(dialog);
}

void CAnalysisCommands::OnAlignTrials()
{
    CAlignTrialsDlg dialog(parent_, &doc_);
    UI().RunModal(dialog);
}

COrvixDoc* CAnalysisCommands::OpenDataFile(const std::string& path)
{
    return openDocument_(path) ? &doc_ : nullptr;
}

bool CAnalysisCommands::MayReplaceDocument()
{
    if (!doc_.OnUpdateFileOpen()) {
        MessageBox("A test is running: stop it before exporting data files, which are opened in its place.");
        return false;
    }
    // Unsaved trials are offered for saving once; the files of the export then replace
    // each other without a question.
    return doc_.SaveModified();
}

} // namespace orvix
