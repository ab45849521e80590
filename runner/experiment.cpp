#include "runner/experiment.h"

#include "document/orvixdoc.h"
#include "platform/devices/simsubject.h"
#include "platform/devices/spikesim.h"
#include "platform/runtime/clock.h"

namespace orvix {

CExperiment::CExperiment()
{
    console.SetDeviceIO(&deviceIO);
    deviceIO.SetConsole(&console);
    deviceIO.engineHooks.stopRun = [this] { runner.SetRunFlag(0); };
    deviceIO.engineHooks.restartLoopTiming = [this] { runner.SetLastLoopTime(Clock().Counter()); };
}

CExperiment::~CExperiment()
{
    Attach(nullptr);
    // The I/O layer's own destructor closes the link: nobody is left to tell.
    deviceIO.engineHooks = {};
    runner.onRunFlagChanged = nullptr;
}

void CExperiment::Attach(COrvixDoc* doc)
{
    if (doc_ && doc_ != doc)
        doc_->SetExperiment(nullptr);
    doc_ = doc;
    if (doc)
        doc->SetExperiment(this);
    deviceIO.SetHost(doc);
    runner.SetDocument(doc);
}

void CExperiment::LoadParameters() { runner.LoadParameters(doc_); }

void CExperiment::FeedSimulators(CSimulatedSubject* subject)
{
    if (subject && doc_)
        doc_->GetBehavParam("FPCalFrames", CParam("FPCalFrames", kDemoCalFrames));
    deviceIO.onCommandSent = [this, subject](int id, const std::string& text) {
        if (!doc_ || id < 0 || id >= doc_->GetGraphParamCount())
            return;
        const std::string& name = doc_->GetGraphParam(id).GetName();
        SpikeSimSee(name, text);
        if (subject)
            subject->See(name, text, TickMs());
    };
}

void CExperiment::Detach(COrvixDoc& doc)
{
    if (doc_ == &doc)
        Attach(nullptr);
}

} // namespace orvix
