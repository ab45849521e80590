#include "document/orvixdoc.h"

#include "io/deviceio.h"
#include "platform/settings/registry.h"

namespace orvix {

COrvixDoc::COrvixDoc() : ownRecords_(*this)
{
    // What the settings file could not give or take goes to this document's log.
    SetRegistryReporter(this, [this](const std::string& line) { AddLogLine(line); });
    ReadRegistry();
    curTestType_ = -1;
    trialRecords_ = &ownRecords_;
}

COrvixDoc::~COrvixDoc()
{
    RemoveRegistryReporter(this);
    if (experiment_)
        experiment_->Detach(*this);
}

CDeviceIO* COrvixDoc::Devices() const { return experiment_ ? &experiment_->DeviceIO() : nullptr; }

bool COrvixDoc::IsRendererRunning() const { return experiment_ && experiment_->DeviceIO().IsRendererRunning(); }

int COrvixDoc::GetRunFlag() const { return experiment_ ? experiment_->GetRunFlag() : 0; }

void COrvixDoc::SetRunFlag(int flag)
{
    if (experiment_)
        experiment_->SetRunFlag(flag);
}

void COrvixDoc::LoadRunnerParameters()
{
    if (experiment_)
        experiment_->LoadParameters();
}

} // namespace orvix
