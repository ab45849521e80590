// A document with a control panel, hand-made trials, a fake clock, and a record of what
// would have gone to the renderer and of the views' update hints.
#pragma once
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <memory>
#include <string>
#include <vector>

#include "app/controlpanel_owner.h"
#include "document/orvixdoc.h"
#include "io/deviceio.h"
#include "panel/controlpanel.h"
#include "platform/runtime/clock.h"
#include "tests/document/doc_fixture.h"

namespace orvix_test {

// Trials and stimulus commands made by hand.
class CFakeRecords : public orvix::ITrialRecords {
public:
    struct Trial {
        int responses[5] = {0, -1, 0, 0, 0};
        double channels[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
        orvix::CPlaybackTrial play;
    };
    std::vector<Trial> trials;
    std::vector<std::vector<orvix::CParam>> commands;
    std::vector<int> computeWindows;

    int GetTrialCount() const override { return static_cast<int>(trials.size()); }
    bool GetTrialResponse(int i, int values[5]) const override
    {
        if (i < 0 || i >= GetTrialCount())
            return false;
        std::copy(trials[i].responses, trials[i].responses + 5, values);
        return true;
    }
    void GetChannelResponses(const orvix::CTrial&, double out[8]) const override { std::fill(out, out + 8, -1.0); }
    void ComputeChannelResponses(int i, int window, double out[8]) override
    {
        computeWindows.push_back(window);
        std::copy(trials[i].channels, trials[i].channels + 8, out);
    }
    bool GetPlaybackTrial(int i, orvix::CPlaybackTrial& out) const override
    {
        if (i < 0 || i >= GetTrialCount())
            return false;
        out = trials[i].play;
        return true;
    }
    int GetCommandCount() const override { return static_cast<int>(commands.size()); }
    const std::vector<orvix::CParam>& GetCommand(int i) const override { return commands[i]; }
};

class CHintRecorder : public orvix::IDocObserver {
public:
    std::vector<int> hints;
    void OnUpdate(orvix::IDocObserver*, const orvix::DocUpdate& u) override { hints.push_back(u.hint); }
};

class CChannelBarRecorder : public orvix::IDocObserver {
public:
    std::vector<std::vector<int>> levels;
    std::vector<int> buttons;
    void OnChannelLevels(const std::array<int, 8>& l) override { levels.emplace_back(l.begin(), l.end()); }
    void OnChannelChanged(int n) override { buttons.push_back(n); }
};

struct Sent {
    int objectId;
    std::string text;
    bool wait;
    uint32_t atMs = 0;
    bool operator==(const Sent& o) const { return objectId == o.objectId && text == o.text && wait == o.wait; }
};

inline std::ostream& operator<<(std::ostream& out, const Sent& s)
{
    return out << "{" << s.objectId << ", \"" << s.text << "\", " << s.wait << " @" << s.atMs << "}";
}

} // namespace orvix_test

class PanelTest : public DocTest {
protected:
    void SetUp() override
    {
        DocTest::SetUp();
        orvix::SetClock(&clock);
        doc = std::make_unique<orvix::COrvixDoc>();
        doc->SetTrialRecords(&records);
        doc->AddObserver(&bar);
        doc->AddObserver(&views);
        experiment.Attach(doc.get());
        panels = std::make_unique<orvix::CControlPanelOwner>(*doc, experiment);
        deviceIO.SetRendererRunningForTest(true);
        deviceIO.sendHookForTest = [this](int id, const std::string& text, bool wait) {
            sent.push_back({id, text, wait, orvix::TickMs()});
        };
    }
    void TearDown() override
    {
        deviceIO.sendHookForTest = nullptr;
        deviceIO.SetRendererRunningForTest(false);
        panels.reset();
        doc.reset();
        orvix::SetClock(nullptr);
        DocTest::TearDown();
    }

    orvix::CControlPanel* Panel()
    {
        panels->Create();
        return panels->Get();
    }
    // Appends a graph parameter and returns its index (the renderer object id).
    int AddGraph(const char* name, const char* value)
    {
        return doc->Table(orvix::KIND_GRAPH).Add(new orvix::CParam(name, value));
    }
    int AddBehav(const char* name, const char* value)
    {
        return doc->Table(orvix::KIND_BEHAV).Add(new orvix::CParam(name, value));
    }
public:
    template <class W>
    static W* Control(QWidget* page, int id)
    {
        return page->findChild<W*>(QStringLiteral("ctl%1").arg(id));
    }
    static std::vector<std::string> Lines(QListWidget* list)
    {
        std::vector<std::string> out;
        for (int i = 0; i < list->count(); ++i)
            out.push_back(list->item(i)->text().toLatin1().toStdString());
        return out;
    }

protected:
    orvix::CFakeClock clock;
    orvix_test::CFakeRecords records;
    orvix_test::CHintRecorder views;
    orvix_test::CChannelBarRecorder bar;
    std::vector<orvix_test::Sent> sent;
    std::unique_ptr<orvix::COrvixDoc> doc;
    std::unique_ptr<orvix::CControlPanelOwner> panels;
};
