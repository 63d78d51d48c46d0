#ifndef MORVASVC_SERVICE_RUN_H_
#define MORVASVC_SERVICE_RUN_H_

#include <cstdint>
#include <string>

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
const uint32_t kAcceptPreshutdown = 0x100;
const uint32_t kControlStop = 1;
const uint32_t kControlInterrogate = 4;
const uint32_t kControlShutdown = 5;
const uint32_t kControlPreshutdown = 0xF;
const uint32_t kServiceSpecificError = 1066;

struct ServiceStatus {
  uint32_t state = kServiceStopped;
  uint32_t controlsAccepted = 0;
  uint32_t win32ExitCode = 0;
  uint32_t serviceSpecificExitCode = 0;
  uint32_t checkPoint = 0;
  uint32_t waitHintMs = 0;
};

// The service-specific exit codes of a handler that ran past its bound.
const uint32_t kStartRanOver = 1;
const uint32_t kStopRanOver = 2;

// How long the window's thread may take to be created, to handle the start
// and to handle the stop: well above the longest legitimate handler (the
// settings files' busy retries, the connections' bounds and the stop's 30 s
// wait for the engine to let go of its port).
const uint32_t kHandlerBoundMs = 60000;
// A pending state is reported again this often, with a rising checkpoint.
const uint32_t kPendingReportMs = 10000;
const uint32_t kPendingWaitHintMs = 30000;

// What the install asks of the manager besides the service itself: Windows
// shutting down gives the stop this long (its default is 10 s since Windows
// 10 1703), above the stop's own wait for the engine; a failed module is
// restarted after a minute, twice, the count reset after a day, and a stop
// with an error code counts as a failure.
const uint32_t kPreshutdownTimeoutMs = 45000;
const uint32_t kRestartDelayMs = 60000;
const uint32_t kRestartsBeforeGivingUp = 2;
const uint32_t kFailureCountResetSeconds = 86400;

// What the control handler does with a control: Windows shutting down is a
// stop like any other, so the engine gets its shutdown command.
enum class ControlAction { kStop, kAnswer, kNotImplemented };
ControlAction ClassifyControl(uint32_t control);

enum class WindowStage { kCreated, kStartHandled, kStopHandled };

// What the service's own thread needs: the manager, the window's thread, a
// steady clock, the activity log and the process.
class ServiceHost {
 public:
  virtual ~ServiceHost() = default;
  // false when the manager refuses the status.
  virtual bool ReportStatus(const ServiceStatus& status) = 0;
  // Waits at most ms for the window's thread to reach stage.
  virtual bool WaitForWindow(WindowStage stage, uint32_t ms) = 0;
  virtual void PostStart() = 0;
  virtual void PostStop() = 0;
  // Blocks until the control handler has asked for the stop.
  virtual void WaitForStopRequest() = 0;
  virtual uint64_t TickMs() = 0;
  virtual void Log(const std::string& message) = 0;
  virtual void EndProcess(uint32_t exitCode) = 0;
};

// The service's life as the manager sees it, on the service's thread, the
// only thread that reports its status. A handler that runs past its bound
// ends the process with the service reported stopped and an error code, so
// that the manager's recovery restarts it.
void RunService(ServiceHost& host);

}  // namespace morvasvc

#endif
