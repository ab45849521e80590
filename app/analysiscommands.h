// The menu commands that open the analysis and export dialogs: "Export Data...",
// "Export Param..." and "Align trials ...". The document, which sits below those dialogs, leaves them to this
// target; it opens the data files that an export visits as the program's one document,
// through the application's open-document operation, so that the title, the views and the
// pages follow each file as after File > Open.
#pragma once
#include <functional>
#include <string>

#include "document/commandtarget.h"
#include "export/exportdatadlg.h"
#include "export/trialexport.h"

class QWidget;

namespace orvix {

class COrvixDoc;

class CAnalysisCommands : public ICommandTarget, public IDocumentOpener {
public:
    // `openDocument` is the application's open-document operation, without the question
    // about unsaved changes (MayReplaceDocument asks it once): false when the file could
    // not be opened (the reason shown).
    using OpenDocument = std::function<bool(const std::string& path)>;
    CAnalysisCommands(COrvixDoc& doc, OpenDocument openDocument, QWidget* parent = nullptr);

    bool OnCommand(int id) override;
    bool OnUpdateCommand(int id, bool& enabled, bool& checked) const override;

    void OnExportData();
    void OnExportParam();
    void OnAlignTrials();

    // IDocumentOpener: the export replaces the document's contents file after file.
    COrvixDoc* OpenDataFile(const std::string& path) override;
    bool MayReplaceDocument() override;

private:
    COrvixDoc& doc_;
    OpenDocument openDocument_;
    QWidget* parent_;
    // The export dialog's choices last for the program's run.
    ExportDataChoices exportChoices_;
};

} // namespace orvix
