#include "runner/trialengine.h"

#include "io/deviceio.h"
#include "runner/taskrunner.h"

namespace orvix {

int CTaskRunnerEngine::GetRunFlag() { return runner_.GetRunFlag(); }
int CTaskRunnerEngine::GetTaskState() { return runner_.nTaskState; }
bool CTaskRunnerEngine::IsSwitchJoystick() { return runner_.IsSwitchJoystick(); }
void CTaskRunnerEngine::SetPendingTrial(CTrial* trial) { runner_.SetPendingTrial(trial); }
int CTaskRunnerEngine::Step() { return runner_.Step(); }
void CTaskRunnerEngine::EndTrial() { runner_.EndTrial(); }
void CTaskRunnerEngine::SampleEye() { runner_.SampleEye(); }
void CTaskRunnerEngine::TurnOnFig() { runner_.TurnOnFig(); }
void CTaskRunnerEngine::TurnOffFig() { runner_.TurnOffFig(); }
void CTaskRunnerEngine::TurnOffTarget() { runner_.TurnOffTarget(); }
void CTaskRunnerEngine::RequestReload() { runner_.RequestReload(); }
void CTaskRunnerEngine::StopSpikeCounter() { runner_.GetDeviceIO().StopSpikeCounter(); }

} // namespace orvix
