#include "supervision.h"

namespace morvasvc {

namespace {
// The launch guard's minute.
const int64_t kLaunchGuardMs = 60000;
}  // namespace

void Supervision::Start(EngineFields fields) {
  stopped_ = false;
  // Back-dated, so an engine that does not answer is launched at once.
  lastLaunchMs_ = static_cast<int64_t>(system_.TickMs()) - 2 * kLaunchGuardMs;
  Check(fields, true);
}

void Supervision::Tick(EngineFields fields) { Check(fields, false); }

void Supervision::Check(EngineFields fields, bool atStart) {
  if (stopped_ || engine_.IsRunning(fields)) return;
  // At most one launch a minute, however often the engine is found away; on
  // the steady clock, as a calendar set back would hold relaunches off for
  // hours and one set forward would let two come within a minute.
  if (static_cast<int64_t>(system_.TickMs()) < lastLaunchMs_ + kLaunchGuardMs) {
    return;
  }
  log_.Log("NT Service Module: launching scheduler engine");
  engine_.Launch(fields);
  lastLaunchMs_ = static_cast<int64_t>(system_.TickMs());
  // Launched again by a tick: the engine died.
  if (!atStart) log_.ReportRelaunch();
}

void Supervision::Stop(EngineFields fields) {
  // Also when the shutdown cannot be delivered: the process ends with the
  // service, and no tick may launch an engine after it.
  stopped_ = true;
  log_.ReportPendingCounts();
  if (!engine_.RequestShutdown(fields)) return;
  engine_.WaitToLetGo(fields.port);
  // Written once it is true.
  log_.Log("NT Service Module: NT Service has been Stopped");
}

}  // namespace morvasvc
