#include "supervision.h"

namespace morvasvc {

namespace {
// The launch guard's minute.
const int64_t kLaunchGuardMs = 60000;
}  // namespace

uint32_t SupervisionIntervalMs(int32_t period) {
  const int64_t kShortest = 10;           // USER_TIMER_MINIMUM
  const int64_t kLongest = 0x7FFFFFFF;    // USER_TIMER_MAXIMUM
  const int64_t ms = int64_t{period} * 60000;
  if (ms < kShortest) return static_cast<uint32_t>(kShortest);
  if (ms > kLongest) return static_cast<uint32_t>(kLongest);
  return static_cast<uint32_t>(ms);
}

void Supervision::Start() {
  started_ = true;
  stopped_ = false;
  // Back-dated, so an engine that does not answer is launched at once.
  lastLaunchMs_ = static_cast<int64_t>(clock_.TickMs()) - 2 * kLaunchGuardMs;
  Check(true);
}

void Supervision::Tick() { Check(false); }

void Supervision::Check(bool atStart) {
  if (stopped_) return;
  if (engine_.IsEngineRunning()) {
    if (atStart) engine_.NoteAdoptedEngine();
    return;
  }
  // A runtime still starting the engine gets its time: a second one would
  // race it for the port.
  if (engine_.LaunchedEngineStarting()) return;
  // At most one launch a minute, however often the engine is found away; on
  // the steady clock, as a calendar set back would hold relaunches off for
  // hours and one set forward would let two come within a minute.
  if (static_cast<int64_t>(clock_.TickMs()) < lastLaunchMs_ + kLaunchGuardMs) {
    return;
  }
  log_.Log("NT Service Module: launching scheduler engine");
  engine_.LaunchEngine();
  lastLaunchMs_ = static_cast<int64_t>(clock_.TickMs());
  // Launched again by a tick: the engine died.
  if (!atStart) log_.ReportRelaunch();
}

void Supervision::Stop() {
  // Also when the shutdown cannot be delivered: the process ends with the
  // service, and no tick may launch an engine after it.
  stopped_ = true;
  log_.ReportPendingCounts();
  // The runtime it launched would outlive the service, unsupervised.
  if (!engine_.RequestEngineShutdown()) {
    engine_.EndUnansweredEngine();
    return;
  }
  engine_.WaitForEngineToLetGo();
  // Written once it is true.
  log_.Log("NT Service Module: NT Service has been Stopped");
}

}  // namespace morvasvc
