#ifndef MORVASVC_ENGINE_LINK_H_
#define MORVASVC_ENGINE_LINK_H_

#include <cstdint>
#include <string>

#include "activity_log.h"
#include "module_system.h"

namespace morvasvc {

// What the engine's launch and probes read and write of the module state:
// the port, the folder and Java runtime to launch with (the launch writes
// back the path it normalised), and the status line.
struct EngineFields {
  uint32_t port;
  const std::string& installDir;
  std::string& javaExe;
  std::string& statusText;
};

// The engine as a program and as a TCP peer on its control port.
class EngineLink {
 public:
  EngineLink(ModuleSystem& system, ActivityLog& log)
      : system_(system), log_(log) {}

  // Starts the Java runtime on every jar of the current folder; a refusal
  // is logged, never shown.
  void Launch(EngineFields fields);
  // One probe: the engine answers on its port and is told it was seen.
  bool IsRunning(EngineFields fields);
  bool RequestShutdown(EngineFields fields);
  // A start right after a stop would otherwise adopt an engine on its way
  // out: waits, bounded, until the port no longer answers.
  void WaitToLetGo(uint32_t port);

 private:
  // A socket problem is reported here.
  ConnectResult Connect(EngineFields fields,
                        std::unique_ptr<EngineConnection>* connection);

  ModuleSystem& system_;
  ActivityLog& log_;
};

}  // namespace morvasvc

#endif
