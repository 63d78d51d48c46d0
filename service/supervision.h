#ifndef MORVASVC_SUPERVISION_H_
#define MORVASVC_SUPERVISION_H_

#include <cstdint>

#include "activity_log.h"
#include "engine_link.h"
#include "module_system.h"

namespace morvasvc {

// The running service's watch over the engine: a check at the start and on
// every tick, at most one launch a minute, and none after the stop.
class Supervision {
 public:
  Supervision(ModuleSystem& system, ActivityLog& log, EngineLink& engine)
      : system_(system), log_(log), engine_(engine) {}

  // The first check, which launches an engine that does not answer at once.
  void Start(EngineFields fields);
  // A check of the supervision timer.
  void Tick(EngineFields fields);
  // No tick launches from now on; the engine gets its shutdown command and
  // the stop waits for it to let go of its port.
  void Stop(EngineFields fields);

  // The last launch, in the steady clock's milliseconds.
  int64_t LastLaunchMs() const { return lastLaunchMs_; }

 private:
  void Check(EngineFields fields, bool atStart);

  ModuleSystem& system_;
  ActivityLog& log_;
  EngineLink& engine_;
  int64_t lastLaunchMs_ = 0;
  // Set by the stop: the process lives on for a moment, and a tick then
  // would launch an engine that no service supervises.
  bool stopped_ = false;
};

}  // namespace morvasvc

#endif
