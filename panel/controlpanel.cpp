#include "panel/controlpanel.h"

#include <QCloseEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include "analysis/stat.h"
#include "document/orvixdoc.h"
#include "io/sockets.h"
#include "panel/electrode.h"
#include "panel/logpages.h"
#include "panel/parampages.h"
#include "panel/playback.h"
#include "panel/testpage.h"

namespace orvix {

CControlPanel::CControlPanel(COrvixDoc* doc, const char* caption, QWidget* parent, int startPage)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      doc_(doc)
{
    setObjectName("ControlPanel");
    setWindowTitle(QString::fromLatin1(caption ? caption : ""));
    setModal(false);
    // A panel left open does not keep the program running once the main window closes.
    setAttribute(Qt::WA_QuitOnClose, false);
    tabs_ = new QTabWidget(this);
    testPage_ = new CTest(doc);
    graphPage_ = new CGraphParam(doc);
    behavPage_ = new CBehavParam(doc);
    responsePage_ = new CViewResponse(doc);
    logPage_ = new CSysLogPage;
    // The renderer's console lines that came before the panel existed.
    logPage_->AddInitialLines(g_consoleSocket.lines);
    electrodePage_ = new CElectrode(doc);
    statPage_ = new CStat(doc);
    playBackPage_ = new CPlayBack(doc);
    // The tab widget owns the pages from here on.
    tabs_->addTab(testPage_, "Test");
    tabs_->addTab(graphPage_, "GraphParam");
    tabs_->addTab(behavPage_, "BehavParam");
    tabs_->addTab(responsePage_, "Resp");
    tabs_->addTab(logPage_, "SysLog");
    tabs_->addTab(electrodePage_, "Electrode");
    tabs_->addTab(statPage_, "Statistics");
    tabs_->addTab(playBackPage_, "Play back");
    tabs_->setCurrentIndex(startPage >= 0 && startPage < tabs_->count() ? startPage : 0);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
}

CControlPanel::~CControlPanel() = default;

void CControlPanel::UpdatePages()
{
    testPage_->LoadSettings();
    graphPage_->UpdateList(-1);
    behavPage_->UpdateList(-1);
    responsePage_->UpdateFromDoc();
    electrodePage_->UpdateFromDoc(-1);
    doc_->UpdateStatVariables(-1);
    playBackPage_->UpdateRange();
}

void CControlPanel::SetNotes(const std::string& notes)
{
    notes_ = notes;
    testPage_->SetNotes(notes);
}

void CControlPanel::closeEvent(QCloseEvent* event)
{
    // Closing hides; the panel lives on with the document. Accepting lets "close all
    // windows" go on past the panel.
    doc_->ShowControlPanel(false);
    event->accept();
}

void CControlPanel::reject() { doc_->ShowControlPanel(false); }

} // namespace orvix
