// CControlPanel: the experimenter's modeless console. Its pages, in order: Test,
// GraphParam, BehavParam, Resp, SysLog, Electrode, Statistics, Play back. It listens to the
// document and shows what changes on the page concerned. Closing the window only hides it;
// whoever created it destroys it.
#pragma once
#include <QDialog>
#include <string>

#include "document/observer.h"
#include "platform/runtime/library.h"

class QTabWidget;

namespace orvix {

class CStat;

class CExperiment;
class COrvixDoc;
class CGraphParam;
class CBehavParam;
class CViewResponse;
class CSysLogPage;
class CElectrode;
class CPlayBack;
class CTest;

class CControlPanel : public QDialog, public IDocObserver {
    Q_OBJECT
public:
    enum Page { PAGE_TEST, PAGE_GRAPH, PAGE_BEHAV, PAGE_RESP, PAGE_LOG, PAGE_ELECTRODE, PAGE_STAT, PAGE_PLAYBACK };

    // The pages run tests on the experiment's task runner, replay through its I/O layer and
    // bind statistics functions from the library's module.
    CControlPanel(COrvixDoc* doc, CExperiment& experiment, HMODULE statLibrary, const char* caption,
                  QWidget* parent, int startPage = 0);
    ~CControlPanel() override;

    // Refreshes every page from the document (after a file was opened or parameters reloaded).
    void UpdatePages();
    // The notes text for the Test page.
    void SetNotes(const std::string& notes);
    const std::string& GetNotes() const { return notes_; }

    QTabWidget* Tabs() const { return tabs_; }
    CTest* TestPage() const { return testPage_; }
    CGraphParam* GraphPage() const { return graphPage_; }
    CBehavParam* BehavPage() const { return behavPage_; }
    CViewResponse* ResponsePage() const { return responsePage_; }
    CSysLogPage* LogPage() const { return logPage_; }
    CElectrode* ElectrodePage() const { return electrodePage_; }
    CStat* StatPage() const { return statPage_; }
    CPlayBack* PlayBackPage() const { return playBackPage_; }

    // ---- What the document tells ----
    void OnLogLine(const std::string& line) override;
    void OnParamChanged(ParamKind kind, int index) override;
    void OnParametersChanged() override { UpdatePages(); }
    void OnTableColumnsChanged(int arg) override;
    void OnTrialResult(const std::array<int, 5>& values) override;
    void OnResponsesCleared() override;
    void OnNotesChanged(const std::string& notes) override { SetNotes(notes); }
    void OnChannelChanged(int channel) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    COrvixDoc* doc_;
    QTabWidget* tabs_;
    CTest* testPage_;
    CGraphParam* graphPage_;
    CBehavParam* behavPage_;
    CViewResponse* responsePage_;
    CSysLogPage* logPage_;
    CElectrode* electrodePage_;
    CStat* statPage_;
    CPlayBack* playBackPage_;
    std::string notes_;
};

} // namespace orvix
