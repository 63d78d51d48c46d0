#ifndef MORVASVC_SYSTEM_VALUES_H_
#define MORVASVC_SYSTEM_VALUES_H_

// The values the system's roles speak of: results, events, processes,
// access lists.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "shown_windows.h"

namespace morvasvc {

// kBusy: another opener holds the file; kMissing: no such file or folder.
enum class OpenResult { kDone, kBusy, kMissing, kFailed };

enum class EventType { kError, kWarning, kInformation };

// Each kind of trouble goes to the event log under an ID of its own, so
// that monitoring can watch for one kind; the numbers never change. Any
// other event goes under its type's ID: 1 error, 2 warning, 3 information.
enum class EventKind : uint16_t {
  kOther = 0,
  kEngineRelaunched = 10,
  kLaunchFailed = 11,
  kLaunchStuck = 12,
  kRuntimeBox = 13,
  kEngineEnded = 14,
  kEngineBack = 15,
  kSettingsTrouble = 16,
  kOpenToOthers = 17,
  kEntriesLost = 18,
  kWindowThreadStuck = 19,
  kServiceFault = 20,
};
// The ID an event of this kind and type is reported under.
uint16_t EventId(EventKind kind, EventType type);

// One accepted connection to the engine control port.
class EngineConnection {
 public:
  virtual ~EngineConnection() = default;
  // Writes every byte unless the connection fails; then closes.
  virtual void SendAll(const std::string& bytes) = 0;
};

enum class ConnectResult { kConnected, kSocketProblem, kFailed };

// One entry of an object's access list, as the decision needs it.
struct AccessEntry {
  bool deny = false;
  bool inheritOnly = false;  // for the object's children, not for itself
  std::string sid;           // S-1-... text
  uint32_t mask = 0;         // the system's access rights
};

// Who owns a file or folder and who may do what with it.
struct ObjectSecurity {
  bool isFolder = false;
  bool nullDacl = false;  // no access list at all: everyone may do anything
  std::string ownerSid;
  std::vector<AccessEntry> entries;
};

// A process the module launched, by number only: its id and creation time,
// so that an id the system has given to another process since is never
// taken for it. The module keeps no handle between operations.
struct LaunchedProcess {
  uint32_t id = 0;  // 0: the shell gave no process
  uint64_t createdAt = 0;
};
enum class ProcessState { kRunning, kGone, kUnknown };

// A box a launched process showed, and what became of it.
struct AnsweredBox {
  morva_common::ShownWindow shown;
  int pressed = 0;      // the button pressed; 0: left open
  bool closed = false;  // gone once pressed
};

// Who sees what the shell shows (an "open with" prompt, an error): the
// window's user, or nobody at all, as on a service's desktop where a prompt
// would wait for ever.
enum class ShellPrompts { kOwnedByWindow, kNever };

// Whether an engine port read from the settings names a TCP port: cut to
// 16 bits, another would reach whatever program owns another port.
inline bool IsValidEnginePort(uint32_t port) {
  return port >= 1 && port <= 65535;
}

// The process listening on a port of this machine.
struct PortOwner {
  uint32_t processId = 0;
  std::string program;  // its full path; empty when it cannot be read
};

// Where the service's own thread writes an entry while the window's thread
// is held up.
struct LogDestination {
  std::string path;         // the activity log; empty while unknown
  std::string eventSource;  // empty until the service reports events
  std::string installDir;
  // Entries kept back for a held log, or counted lost: what an ending
  // process loses.
  size_t keptBack = 0;
};

// What the file system says of two paths: one file, two files, the first
// gone, or it cannot tell.
enum class FileIdentity { kSame, kOther, kGone, kUnknown };

}  // namespace morvasvc

#endif
