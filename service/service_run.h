#ifndef MORVASVC_SERVICE_RUN_H_
#define MORVASVC_SERVICE_RUN_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "module_system.h"

namespace morvasvc {

// The Service Control Manager's numbers, as the platform defines them.
enum ServiceState : uint32_t {
  kServiceStopped = 1,
  kServiceStartPending = 2,
  kServiceStopPending = 3,
  kServiceRunning = 4,
};
const uint32_t kAcceptStop = 0x1;
const uint32_t kAcceptShutdown = 0x4;
const uint32_t kAcceptParamChange = 0x8;
const uint32_t kAcceptPreshutdown = 0x100;
const uint32_t kControlStop = 1;
const uint32_t kControlInterrogate = 4;
const uint32_t kControlShutdown = 5;
const uint32_t kControlParamChange = 6;
const uint32_t kControlPreshutdown = 0xF;

struct ServiceStatus {
  uint32_t state = kServiceStopped;
  uint32_t controlsAccepted = 0;
  uint32_t win32ExitCode = 0;
  uint32_t checkPoint = 0;
  uint32_t waitHintMs = 0;
};

// How long the window's thread may take to be created, to handle the start
// and to handle the stop: well above the longest legitimate handler (the
// settings files' busy retries, the connections' bounds and the stop's 30 s
// wait for the engine to let go of its port).
const uint32_t kHandlerBoundMs = 60000;
// A pending state is reported again this often, with a rising checkpoint.
const uint32_t kPendingReportMs = 10000;
const uint32_t kPendingWaitHintMs = 30000;
// A supervision tick that has run this long is stuck: well above the
// longest legitimate one (the settings files' 5 s busy retry, 3 s for each
// connection and a launch). The running service looks this often.
const uint32_t kTickBoundMs = 300000;
const uint32_t kTickCheckMs = 10000;

// What the install asks of the manager besides the service itself: Windows
// shutting down gives the stop this long (its default is 10 s since Windows
// 10 1703), above the stop's own wait for the engine and two connections;
// a module that ends without reporting itself stopped is restarted after a
// minute, twice, the count reset after a day.
const uint32_t kPreshutdownTimeoutMs = 45000;
static_assert(kPreshutdownTimeoutMs > 30000 + 2 * 3000,
              "room for the stop's wait for the engine");
const uint32_t kRestartDelayMs = 60000;
const uint32_t kRestartsBeforeGivingUp = 2;
const uint32_t kFailureCountResetSeconds = 86400;

// What the control handler does with a control: Windows shutting down is a
// stop like any other, so the engine gets its shutdown command; a
// parameter change has the running service re-read its own settings.
enum class ControlAction { kStop, kRereadSettings, kAnswer, kNotImplemented };
ControlAction ClassifyControl(uint32_t control);

enum class WindowStage { kCreated, kStartHandled, kStopHandled };

// A refused status report is tried again this often, this many times in
// all: a state the manager never heard leaves it believing another.
const uint32_t kStatusReportAttempts = 3;
const uint32_t kStatusRetryMs = 1000;
// How a system that does not know a control it was offered refuses it.
const uint32_t kErrorInvalidParameter = 87;
// An ending writes its activity log entry within this bound: the log may
// live on the very path that held up the window's thread.
const uint32_t kEndingLogBoundMs = 5000;

// What the service's own thread needs: the manager, the window's thread, a
// steady clock, the activity log and the process.
class ServiceHost {
 public:
  virtual ~ServiceHost() = default;
  // false with the system's error number when the manager refuses the
  // status.
  virtual bool ReportStatus(const ServiceStatus& status, uint32_t* error) = 0;
  virtual std::string ErrorText(uint32_t error) = 0;
  // Waits at most ms for the window's thread to reach stage.
  virtual bool WaitForWindow(WindowStage stage, uint32_t ms) = 0;
  virtual void PostStart() = 0;
  virtual void PostStop() = 0;
  // Waits at most ms for the control handler to ask for the stop; true once
  // it has.
  virtual bool WaitForStopRequest(uint32_t ms) = 0;
  // When the window's thread began the message it is handling, on the
  // steady clock, and whether that is a supervision tick; false while it
  // waits for one.
  virtual bool BusySince(uint64_t* startMs, bool* tick) = 0;
  virtual uint64_t TickMs() = 0;
  virtual void Pause(uint32_t ms) = 0;
  // An error event under the name the manager started the service with, with
  // the ID of its kind: the event log is local and cannot hang.
  virtual void ReportEvent(EventKind kind, const std::string& message) = 0;
  // One activity log entry, given at most boundMs.
  virtual void LogBounded(const std::string& message, uint32_t boundMs) = 0;
  // The entries the window's thread keeps back for a held log.
  virtual size_t KeptBackEntries() = 0;
  // Ends the process at once: with the window's thread stuck, the
  // libraries' detach code of an ordinary exit could wait for it for ever.
  virtual void Terminate(uint32_t exitCode) = 0;
};

// The service's life as the manager sees it, on the service's thread, the
// only thread that reports its status. A start that runs past its bound or
// whose running state the manager refuses, and a window's thread that
// stays on one message past the tick's bound, end the process without
// reporting the service stopped: a crash to the manager, whose recovery
// restarts it. A stop that runs past its bound reports the service stopped,
// without an error: the operator or Windows asked for it, and nothing may
// restart it. Each ending reports its event first, then its log entry
// within a bound, then ends whatever the log did.
void RunService(ServiceHost& host);

}  // namespace morvasvc

#endif
