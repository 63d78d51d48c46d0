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

void Supervision::Start(const EngineTarget& target) {
  started_ = true;
  stopped_ = false;
  silentSinceMs_.reset();
  // Back-dated, so an engine that does not answer is launched at once.
  lastLaunchMs_ = static_cast<int64_t>(clock_.TickMs()) - 2 * kLaunchGuardMs;
  Check(target, true);
}

void Supervision::Tick(const EngineTarget& target) { Check(target, false); }

void Supervision::Check(const EngineTarget& target, bool atStart) {
  if (stopped_) return;
  if (peer_.IsRunning(target.port, &target.statusText)) {
    // Once answered, the runtime is the engine: the module never ends it.
    starter_.Answered();
    if (atStart) peer_.NoteAdopted(target.port, target.java);
    SayBack();
    return;
  }
  // The start's own launch is no outage; a tick that finds it silent is.
  if (!atStart && !silentSinceMs_) {
    silentSinceMs_ = clock_.TickMs();
    launchesWhileSilent_ = 0;
  }
  // A runtime still starting the engine gets its time: a second one would
  // race it for the port.
  if (starter_.HoldsLaunch(target.port)) return;
  // At most one launch a minute, however often the engine is found away; on
  // the steady clock, as a calendar set back would hold relaunches off for
  // hours and one set forward would let two come within a minute.
  if (static_cast<int64_t>(clock_.TickMs()) < lastLaunchMs_ + kLaunchGuardMs) {
    return;
  }
  log_.Log("NT Service Module: launching scheduler engine");
  target.javaExe = target.java.configured;
  starter_.Launch(target.java, target.installDir);
  lastLaunchMs_ = static_cast<int64_t>(clock_.TickMs());
  if (silentSinceMs_) ++launchesWhileSilent_;
  if (!atStart) {
    relaunches_.Report(
        "NT Service Module: Engine is not running\r\nNT Service Module: "
        "launching scheduler engine");
  }
}

void Supervision::SayBack() {
  if (!silentSinceMs_) return;
  const std::string message =
      "NT Service Module: The engine answers again after " +
      DurationText(clock_.TickMs() - *silentSinceMs_) +
      " without an answer; launches meanwhile: " +
      std::to_string(launchesWhileSilent_);
  log_.Log(message);
  log_.ReportEvent(EventType::kInformation, message, EventKind::kEngineBack);
  silentSinceMs_.reset();
}

void Supervision::Stop(const EngineTarget& target) {
  // Also when the shutdown cannot be delivered: the process ends with the
  // service, and no tick may launch an engine after it.
  stopped_ = true;
  relaunches_.ReportPending();
  starter_.ReportPendingCounts();
  // The runtime it launched would outlive the service, unsupervised.
  if (!peer_.RequestShutdown(target.port, &target.statusText)) {
    starter_.EndUnanswered(target.port, [&] {
      return peer_.RequestShutdown(target.port, &target.statusText);
    });
    return;
  }
  peer_.WaitToLetGo(target.port);
  // Written once it is true.
  log_.Log("NT Service Module: NT Service has been Stopped");
}

}  // namespace morvasvc
