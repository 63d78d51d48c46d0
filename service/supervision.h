#ifndef MORVASVC_SUPERVISION_H_
#define MORVASVC_SUPERVISION_H_

#include <cstdint>

#include "activity_log.h"
#include "module_system.h"

namespace morvasvc {

// The supervision timer's interval for a period in minutes, computed in 64
// bits and kept within the window timer's range; 0 or less is the shortest.
uint32_t SupervisionIntervalMs(int32_t period);

// The engine as the supervision acts on it: the module's own operations,
// on the port and the Java runtime it holds.
class EngineOperations {
 public:
  virtual ~EngineOperations() = default;
  virtual bool IsEngineRunning() = 0;
  virtual void LaunchEngine() = 0;
  virtual bool RequestEngineShutdown() = 0;
  // Bounded: until the engine no longer answers on its port.
  virtual void WaitForEngineToLetGo() = 0;
  // Whether the runtime launched last is still on its way to the port.
  virtual bool LaunchedEngineStarting() = 0;
  // Ends the runtime launched last when it never answered.
  virtual void EndUnansweredEngine() = 0;
  // The start found an engine it did not launch answering.
  virtual void NoteAdoptedEngine() = 0;
};

// The running service's watch over the engine: a check at the start and on
// every tick, at most one launch a minute, and none after the stop.
class Supervision {
 public:
  Supervision(Clock& clock, ActivityLog& log, EngineOperations& engine)
      : clock_(clock), log_(log), engine_(engine) {}

  // The first check, which launches an engine that does not answer at once.
  void Start();
  // A check of the supervision timer.
  void Tick();
  // No tick launches from now on; the engine gets its shutdown command and
  // the stop waits for it to let go of its port.
  void Stop();

  // Between the start and the stop.
  bool Running() const { return started_ && !stopped_; }
  // The last launch, in the steady clock's milliseconds.
  int64_t LastLaunchMs() const { return lastLaunchMs_; }

 private:
  void Check(bool atStart);

  Clock& clock_;
  ActivityLog& log_;
  EngineOperations& engine_;
  int64_t lastLaunchMs_ = 0;
  // Set by the stop: the process lives on for a moment, and a tick then
  // would launch an engine that no service supervises.
  bool stopped_ = false;
  bool started_ = false;
};

}  // namespace morvasvc

#endif
