// CControlPanel: the experimenter's modeless console, owned by the document. Its pages, in
// order: Test, GraphParam, BehavParam, Resp, SysLog, Electrode, Statistics, Play back.
// Closing the window only hides it.
#pragma once
#include <QDialog>
#include <string>

class QTabWidget;

namespace orvix {

class CStat;

class COrvixDoc;
class CGraphParam;
class CBehavParam;
class CViewResponse;
class CSysLogPage;
class CElectrode;
class CPlayBack;
class CTest;

class CControlPanel : public QDialog {
    Q_OBJECT
public:
    enum Page { PAGE_TEST, PAGE_GRAPH, PAGE_BEHAV, PAGE_RESP, PAGE_LOG, PAGE_ELECTRODE, PAGE_STAT, PAGE_PLAYBACK };

    CControlPanel(COrvixDoc* doc, const char* caption, QWidget* parent, int startPage = 0);
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

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    COrvixDoc* doc_;
    QTabWidget* tabs_;
    CTest* testPage_;
    // The Statistics page comes with its own work; until then its place holds an empty page.
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
