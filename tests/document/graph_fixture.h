// A document with stimulus commands and trials made to order, for the response graph's
// tables and figures.
#pragma once
#include <initializer_list>
#include <string>
#include <vector>

#include "doc_fixture.h"
#include "document/responsegraph.h"

class GraphTest : public DocTest {
protected:
    void SetUp() override
    {
        DocTest::SetUp();
        doc = std::make_unique<orvix::COrvixDoc>();
        graph = std::make_unique<orvix::CResponseGraph>(*doc);
    }
    void TearDown() override
    {
        graph.reset();
        doc.reset();
        DocTest::TearDown();
    }

    void SetCommands(std::vector<std::string> lines)
    {
        doc->commandLines = std::move(lines);
        doc->ParseCommandFile(orvix::kNoAngleOffset);
    }

    // A 1000 ms trial of command `cmd` with figure onset at 100 ms and channel-0 spikes at
    // the given ms, its rates computed over "AnalysisTime" 800 ms (100..900 ms).
    orvix::CTrial* MakeTrial(int cmd, std::initializer_list<int> spikeMs, uint8_t active = 0xFF)
    {
        auto* t = new orvix::CTrial;
        t->commandIndex = cmd;
        t->length = 1000;
        t->activeChannels = active;
        t->eventTimes = {0, 100};
        t->eventCodes = {1, orvix::EVENT_FIG_ON};
        for (int ms : spikeMs)
            t->AddSpike(0x0001, static_cast<uint32_t>(ms * 10));
        t->ComputeResponse(800);
        return t;
    }
    // n (at most 40) spikes spread over the counting interval: n x 1.25 spikes/s.
    orvix::CTrial* TrialWithSpikes(int cmd, int n, uint8_t active = 0xFF)
    {
        orvix::CTrial* t = MakeTrial(cmd, {}, active);
        for (int k = 0; k < n; ++k)
            t->AddSpike(0x0001, static_cast<uint32_t>((101 + 20 * k) * 10));
        t->ComputeResponse(800);
        return t;
    }
    void Add(orvix::CTrial* t) { doc->AddTrial(t); }
    void Update(orvix::UpdateHint hint = orvix::HINT_REBUILD, const orvix::CTrial* t = nullptr)
    {
        graph->OnUpdate(orvix::DocUpdate{hint, t});
    }
    // The x, row and figure axes name command parameters counted from the row's end.
    void Axes(int x, int y, int figure)
    {
        doc->plot.XAxisVariable = x;
        doc->plot.YAxisVariable = y;
        doc->plot.FigureAxisVariable = figure;
        graph->RebuildAxes(false);
    }
    void SelectChannel(int c)
    {
        // The channel commands toggle: selecting the selected one gives -1.
        while (doc->GetSelectedChannel() != c)
            doc->OnSelectChannel(c == -1 ? doc->GetSelectedChannel() : c);
    }
    // OR 0 (4 and 12 spikes in 800 ms: 5 and 15 spikes/s) and OR 90 (8: 10 spikes/s) on
    // channel 0, OR on x, the tables made.
    void TuningDocument()
    {
        SetCommands({"OR 0", "OR 90"});
        Add(TrialWithSpikes(0, 4));
        Add(TrialWithSpikes(0, 12));
        Add(TrialWithSpikes(1, 8));
        Axes(0, -1, -1);
        SelectChannel(0);
        Update();
    }

    std::unique_ptr<orvix::COrvixDoc> doc;
    std::unique_ptr<orvix::CResponseGraph> graph;
};
