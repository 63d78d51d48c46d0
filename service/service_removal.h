#ifndef MORVASVC_SERVICE_REMOVAL_H_
#define MORVASVC_SERVICE_REMOVAL_H_

#include <cstdint>
#include <string>

#include "system_values.h"

// What a remove decides: whether a registered service is this program's,
// and how a running one is stopped before it is deleted.

namespace morvasvc {

// The program of a service's registered command line: a quoted path without
// the quotes, or the whole unquoted text (the module registers no
// arguments; cut at a blank, "C:\Program Files\..." would be "C:\Program").
// A path with environment strings is compared as text only: this 32-bit
// program would expand %ProgramFiles% to the x86 folder, not the one the
// manager would start.
struct RegisteredProgram {
  std::string path;
  bool quoted = false;
  bool environmentStrings = false;
};
RegisteredProgram ParseRegisteredCommand(const std::string& command);

// Whether a service registered for a program is this program's to remove:
// the same file, by any path; or a program that is gone, when the path
// leaves no doubt what was meant (quoted, fully qualified, no environment
// strings). Where the files cannot tell, only the same path text.
bool IsOursToRemove(FileIdentity identity, bool unambiguousPath,
                    bool samePathText);

// A service as the remove's stop sees it through the Service Control
// Manager.
class StoppableService {
 public:
  virtual ~StoppableService() = default;
  // The current state (the manager's numbers); false with the reason.
  virtual bool QueryState(uint32_t* state, std::string* error) = 0;
  // kNotActive: it stopped meanwhile; kNotYet: it cannot take the control
  // in its current state (still starting).
  enum class StopReply { kSent, kNotActive, kNotYet, kFailed };
  virtual StopReply SendStop(std::string* error) = 0;
  virtual uint64_t TickMs() = 0;
  // The remove's window keeps answering meanwhile.
  virtual void Wait(uint32_t ms) = 0;
};

// Above the service's own bounds of 60 s for its start and for its stop,
// so that a service that gives up then is still seen to: a start gets its
// bound, then the stop gets its own from the moment it was sent.
const uint32_t kRemoveStartBoundMs = 75000;
const uint32_t kRemoveStopBoundMs = 75000;

// Stops a running or starting service and waits until it has stopped;
// false with the reason. Bounded by time and, should the clock stand, by
// count.
bool StopAndWait(StoppableService& service, std::string* error);

}  // namespace morvasvc

#endif
