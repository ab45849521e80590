#include "panel/controlpanel.h"

#include <QCloseEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include "analysis/stat.h"
#include "document/orvixdoc.h"
#include "panel/electrode.h"
#include "panel/logpages.h"
#include "panel/parampages.h"
#include "panel/playback.h"
#include "panel/testpage.h"
#include "platform/text/qtext.h"
#include "runner/experiment.h"

namespace orvix {

CControlPanel::CControlPanel(COrvixDoc* doc, CExperiment& experiment, HMODULE statLibrary, const char* caption,
                             QWidget* parent, int startPage)
    // Above its parent window as a tool window, or a window of its own without one.
    : QDialog(parent, (parent ? Qt::Tool : Qt::Window) | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint),
      doc_(doc)
{
    setObjectName("ControlPanel");
    setWindowTitle(ToQ(caption ? caption : ""));
    setModal(false);
    // A panel left open does not keep the program running once the main window closes.
    setAttribute(Qt::WA_QuitOnClose, false);
    tabs_ = new QTabWidget(this);
    testPage_ = new CTest(doc, experiment.runner);
    graphPage_ = new CGraphParam(doc);
    behavPage_ = new CBehavParam(doc, experiment.runner);
    responsePage_ = new CViewResponse(doc);
    logPage_ = new CSysLogPage;
    // The renderer's console lines that came before the panel existed.
    logPage_->AddInitialLines(experiment.console.lines);
    electrodePage_ = new CElectrode(doc);
    statPage_ = new CStat(doc, statLibrary);
    playBackPage_ = new CPlayBack(doc, experiment.deviceIO);
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
    doc_->AddObserver(this);
}

CControlPanel::~CControlPanel() { doc_->RemoveObserver(this); }

void CControlPanel::UpdatePages()
{
    testPage_->LoadSettings();
    graphPage_->UpdateList(-1);
    behavPage_->UpdateList(-1);
    responsePage_->UpdateFromDoc();
    electrodePage_->UpdateFromDoc(-1);
    statPage_->UpdateVariableLists(-1);
    playBackPage_->UpdateRange();
}

void CControlPanel::OnLogLine(const std::string& line) { logPage_->AddLog(line); }

void CControlPanel::OnParamChanged(ParamKind kind, int index)
{
    if (kind == KIND_GRAPH)
        graphPage_->UpdateList(index);
    else if (kind == KIND_BEHAV)
        behavPage_->UpdateList(index);
}

void CControlPanel::OnTableColumnsChanged(int arg) { statPage_->UpdateVariableLists(arg); }

void CControlPanel::OnTrialResult(const std::array<int, 5>& v) { responsePage_->AddTrialResult(v[0], v[1], v[2], v[3], v[4]); }

void CControlPanel::OnResponsesCleared() { responsePage_->Clear(); }

void CControlPanel::OnChannelChanged(int channel) { electrodePage_->UpdateFromDoc(channel); }

void CControlPanel::SetNotes(const std::string& notes)
{
    notes_ = notes;
    testPage_->SetNotes(notes);
}

void CControlPanel::closeEvent(QCloseEvent* event)
{
    // Closing hides; the panel lives on with the document. Accepting lets "close all
    // windows" go on past the panel.
    hide();
    event->accept();
}

// Escape would close a dialog: the console stays open until it is closed on purpose.
void CControlPanel::reject() {}

} // namespace orvix
