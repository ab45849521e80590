#include "runner/trialengine.h"

#include "runner/taskrunner.h"

namespace orvix {

int CTaskRunnerEngine::GetRunFlag() { return g_taskRunner.GetRunFlag(); }
int CTaskRunnerEngine::GetTaskState() { return g_taskRunner.nTaskState; }
bool CTaskRunnerEngine::IsSwitchJoystick() { return g_taskRunner.IsSwitchJoystick(); }
void CTaskRunnerEngine::SetPendingTrial(CTrial* trial) { g_taskRunner.SetPendingTrial(trial); }
int CTaskRunnerEngine::Step() { return g_taskRunner.Step(); }
void CTaskRunnerEngine::EndTrial() { g_taskRunner.EndTrial(); }
void CTaskRunnerEngine::SampleEye() { g_taskRunner.SampleEye(); }
void CTaskRunnerEngine::TurnOnFig() { g_taskRunner.TurnOnFig(); }
void CTaskRunnerEngine::TurnOffFig() { g_taskRunner.TurnOffFig(); }
void CTaskRunnerEngine::TurnOffTarget() { g_taskRunner.TurnOffTarget(); }
void CTaskRunnerEngine::RequestReload() { g_taskRunner.RequestReload(); }

} // namespace orvix
