#ifndef MORVASVC_SUPERVISION_H_
#define MORVASVC_SUPERVISION_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "activity_log.h"
#include "java_runtime.h"
#include "module_system.h"

namespace morvasvc {

// The supervision timer's interval for a period in minutes, computed in 64
// bits and kept within the window timer's range; 0 or less is the shortest.
uint32_t SupervisionIntervalMs(int32_t period);

// The engine's TCP peer, as the supervision uses it.
class EnginePeer {
 public:
  virtual ~EnginePeer() = default;
  // One probe; *statusText says why it failed.
  virtual bool IsRunning(uint32_t port, std::string* statusText) = 0;
  virtual bool RequestShutdown(uint32_t port, std::string* statusText) = 0;
  // Bounded: until the engine no longer answers on its port.
  virtual void WaitToLetGo(uint32_t port) = 0;
  // The start found an engine it did not launch answering.
  virtual void NoteAdopted(uint32_t port, const JavaRuntime& java) = 0;
};

// The runtime the module launches, as the supervision uses it.
class EngineStarter {
 public:
  virtual ~EngineStarter() = default;
  virtual void Launch(const JavaRuntime& java,
                      const std::string& installDir) = 0;
  // A probe answered: the runtime launched last is the engine.
  virtual void Answered() = 0;
  // Whether the runtime launched last is still on its way to the port.
  virtual bool HoldsLaunch(uint32_t port) = 0;
  // Ends the runtime launched last when it never answered and does not
  // listen on the port; answersNow is one more try where nobody can tell.
  virtual void EndUnanswered(uint32_t port,
                             const std::function<bool()>& answersNow) = 0;
  // Whether the runtime launched last has not answered yet.
  virtual bool WaitsForAnswer() const = 0;
  // At the stop: what its events have not reported yet.
  virtual void ReportPendingCounts() = 0;
};

// The module's values that a check works on, and what it writes back.
struct EngineTarget {
  uint32_t port;
  const JavaRuntime& java;
  const std::string& installDir;
  std::string& javaExe;     // rewritten as the launch normalised it
  std::string& statusText;  // what a failed probe says
};

// The running service's watch over the engine: a check at the start and on
// every tick, at most one launch a minute, and none after the stop.
class Supervision {
 public:
  Supervision(Clock& clock, ActivityLog& log, EnginePeer& peer,
              EngineStarter& starter)
      : clock_(clock), log_(log), peer_(peer), starter_(starter) {}

  // The first check, which launches an engine that does not answer at once.
  void Start(const EngineTarget& target);
  // A check of the supervision timer.
  void Tick(const EngineTarget& target);
  // No tick launches from now on; the engine gets its shutdown command and
  // the stop waits for it to let go of its port.
  void Stop(const EngineTarget& target);

  // Between the start and the stop.
  bool Running() const { return started_ && !stopped_; }
  // The last launch, in the steady clock's milliseconds.
  int64_t LastLaunchMs() const { return lastLaunchMs_; }

 private:
  void Check(const EngineTarget& target, bool atStart);
  // The engine answers after a tick found it silent: said once, with how
  // long and how many launches it took.
  void SayBack();

  Clock& clock_;
  ActivityLog& log_;
  EnginePeer& peer_;
  EngineStarter& starter_;
  // Launched again by a tick: the engine died.
  RepeatedEvent relaunches_{clock_, log_, EventType::kWarning,
                            EventKind::kEngineRelaunched,
                            "Launches after the engine was found not "
                            "running, since the last report: "};
  int64_t lastLaunchMs_ = 0;
  // Set by the stop: the process lives on for a moment, and a tick then
  // would launch an engine that no service supervises.
  bool stopped_ = false;
  bool started_ = false;
  // Since the first tick that found the engine silent, on the steady clock,
  // and the launches since.
  std::optional<uint64_t> silentSinceMs_;
  uint32_t launchesWhileSilent_ = 0;
};

}  // namespace morvasvc

#endif
