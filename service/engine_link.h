#ifndef MORVASVC_ENGINE_LINK_H_
#define MORVASVC_ENGINE_LINK_H_

#include <cstdint>
#include <memory>
#include <string>

#include "activity_log.h"
#include "java_runtime.h"
#include "module_system.h"
#include "supervision.h"

namespace morvasvc {

// The engine's control protocol.
extern const char kConfirmRunningCommand[];
extern const char kShutdownCommand[];

// The engine as a TCP peer on its control port, and who listens there.
// What it reads comes in, what it writes goes out: the status line.
class EngineLink : public EnginePeer {
 public:
  EngineLink(Clock& clock, ModuleFiles& files, EngineNetwork& network,
             ActivityLog& log)
      : clock_(clock), files_(files), network_(network), log_(log) {}

  // One probe: the engine answers on its port and is told it was seen.
  // *statusText says when it is not running or sockets fail.
  bool IsRunning(uint32_t port, std::string* statusText) override;
  bool RequestShutdown(uint32_t port, std::string* statusText) override;
  // Whether anything accepts a connection on the port within a moment: a
  // connect and close, no command sent, nothing logged.
  bool Answers(uint32_t port);
  // A start right after a stop would otherwise adopt an engine on its way
  // out: waits, bounded, until the port no longer answers.
  void WaitToLetGo(uint32_t port) override;
  // An engine the start found answering: who it is, and a warning when it
  // is not the configured Java runtime.
  void NoteAdopted(uint32_t port, const JavaRuntime& java) override;

 private:
  // A socket problem is reported here.
  ConnectResult Connect(uint32_t port, std::string* statusText,
                        std::unique_ptr<EngineConnection>* connection);
  // "process <id> (<program>)" of the port's listener; empty when nobody
  // listens; "a program the system could not name (<why>)".
  std::string Listener(uint32_t port, PortOwner* owner = nullptr);

  Clock& clock_;
  ModuleFiles& files_;
  EngineNetwork& network_;
  ActivityLog& log_;
  // The listener last named for a port that does not answer: said once.
  uint32_t hungListenerSaid_ = 0;
};

}  // namespace morvasvc

#endif
