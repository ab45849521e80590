#include "runner/taskrunner.h"

#include "platform/clock.h"

namespace orvix {

CTaskRunner g_taskRunner;

double CTaskRunner::GetPerformanceFrequency() const { return Clock().CounterFrequency(); }

void CTaskRunner::LoadParameters(COrvixDoc* doc) {}

int CTaskRunner::Step() { return 0; }

void CTaskRunner::SampleEye() {}

} // namespace orvix
