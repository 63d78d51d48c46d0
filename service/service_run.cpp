#include "service_run.h"

namespace morvasvc {

ControlAction ClassifyControl(uint32_t control) {
  switch (control) {
    case kControlStop:
    case kControlShutdown:
    case kControlPreshutdown:
      return ControlAction::kStop;
    case kControlParamChange:
      return ControlAction::kRereadSettings;
    case kControlInterrogate:
      return ControlAction::kAnswer;
    default:
      return ControlAction::kNotImplemented;
  }
}

namespace {

class ServiceRun {
 public:
  explicit ServiceRun(ServiceHost& host) : host_(host) {}

  void Run() {
    Report(kServiceStartPending);
    if (!Start()) {
      Crash(EventKind::kServiceFault,
            "start did not finish within " + Seconds(kHandlerBoundMs));
      return;
    }
    // The module believes it runs only once the manager does.
    if (!Report(kServiceRunning)) {
      Crash(EventKind::kServiceFault,
            "running state was refused by the Service Control Manager");
      return;
    }
    if (!WatchUntilStopRequest()) return;
    Report(kServiceStopPending);
    host_.PostStop();
    if (!WaitPending(WindowStage::kStopHandled)) {
      TellEnding(EventKind::kServiceFault,
                 "NT Service Module: ERROR: The service's stop did not "
                 "finish within " + Seconds(kHandlerBoundMs) +
                 "; the service reports itself stopped and ends");
      Report(kServiceStopped);
      host_.Terminate(0);
      return;
    }
    Report(kServiceStopped);
  }

 private:
  static std::string Seconds(uint32_t ms) {
    return std::to_string(ms / 1000) + " seconds";
  }

  // The window may still be on its way: the manager hears from us meanwhile.
  bool Start() {
    if (!WaitPending(WindowStage::kCreated)) return false;
    host_.PostStart();
    return WaitPending(WindowStage::kStartHandled);
  }

  // A window's thread that never finishes a message would leave the engine
  // unsupervised for ever: a tick, a held log's retry or a re-read alike.
  bool WatchUntilStopRequest() {
    while (!host_.WaitForStopRequest(kTickCheckMs)) {
      uint64_t startMs = 0;
      bool tick = false;
      if (host_.BusySince(&startMs, &tick) &&
          host_.TickMs() - startMs >= kTickBoundMs) {
        Crash(EventKind::kWindowThreadStuck,
              (tick ? "supervision tick did not finish"
                    : "window did not finish handling a message") +
              std::string(" within ") + Seconds(kTickBoundMs));
        return false;
      }
    }
    return true;
  }

  static const char* StateName(uint32_t state) {
    switch (state) {
      case kServiceStartPending:
        return "start pending";
      case kServiceRunning:
        return "running";
      case kServiceStopPending:
        return "stop pending";
      default:
        return "stopped";
    }
  }

  // true once the manager took the state.
  bool Report(uint32_t state) {
    ServiceStatus status;
    status.state = state;
    const bool pending =
        state == kServiceStartPending || state == kServiceStopPending;
    // The checkpoint rises within one pending state and starts anew with the
    // next.
    checkPoint_ = pending && state == lastState_ ? checkPoint_ + 1 : 1;
    lastState_ = state;
    status.checkPoint = pending ? checkPoint_ : 0;
    status.waitHintMs = pending ? kPendingWaitHintMs : 0;
    // Only a running service takes a parameter change: never during the
    // start or the stop.
    const uint32_t accepted = kAcceptStop | kAcceptShutdown | kAcceptParamChange;
    if (state == kServiceRunning) {
      status.controlsAccepted = accepted | acceptPreshutdown_;
    }
    uint32_t error = 0;
    for (uint32_t attempt = 0; attempt < kStatusReportAttempts; ++attempt) {
      if (attempt > 0) host_.Pause(kStatusRetryMs);
      if (host_.ReportStatus(status, &error)) return true;
      // Systems before Vista refuse the preshutdown control: shutdown
      // remains.
      if ((status.controlsAccepted & kAcceptPreshutdown) &&
          error == kErrorInvalidParameter) {
        acceptPreshutdown_ = 0;
        status.controlsAccepted = accepted;
        if (host_.ReportStatus(status, &error)) return true;
      }
    }
    // Once for each state: a pending state is reported every few seconds.
    if (state != refusedState_) {
      refusedState_ = state;
      Tell(EventKind::kOther,
           "NT Service Module: ERROR: The Service Control Manager refused "
           "the service's state " + std::string(StateName(state)) + ": " +
           host_.ErrorText(error));
    }
    return false;
  }

  // Waits for the window's thread, telling the manager it is still at work;
  // bounded by time and, should the clock stand still, by count.
  bool WaitPending(WindowStage stage) {
    const uint32_t state = stage == WindowStage::kStopHandled
                               ? kServiceStopPending
                               : kServiceStartPending;
    const uint64_t start = host_.TickMs();
    const uint32_t rounds = kHandlerBoundMs / kPendingReportMs;
    for (uint32_t round = 0; round < rounds; ++round) {
      if (host_.WaitForWindow(stage, kPendingReportMs)) return true;
      if (host_.TickMs() - start >= kHandlerBoundMs) break;
      Report(state);
    }
    return false;
  }

  // The event first: it is local, where the log may hang.
  void Tell(EventKind kind, const std::string& message,
            const std::string& eventSuffix = "") {
    host_.ReportEvent(kind, message + eventSuffix);
    host_.LogBounded(message, kEndingLogBoundMs);
  }

  // What the window's thread kept back for a held log ends with the process.
  void TellEnding(EventKind kind, const std::string& message) {
    const size_t kept = host_.KeptBackEntries();
    Tell(kind, message, kept == 0 ? std::string()
                            : "\r\n\r\n" + std::to_string(kept) +
                                  " activity log entries were kept back "
                                  "and are lost");
  }

  // Ends the process without reporting the service stopped: to the manager
  // a crash, after which its recovery restarts the service.
  void Crash(EventKind kind, const std::string& what) {
    TellEnding(kind, "NT Service Module: ERROR: The service's " + what +
               "; the service ends so that Windows restarts it");
    host_.Terminate(1);
  }

  ServiceHost& host_;
  uint32_t checkPoint_ = 0;
  uint32_t lastState_ = 0;
  uint32_t refusedState_ = 0;
  uint32_t acceptPreshutdown_ = kAcceptPreshutdown;
};

}  // namespace

void RunService(ServiceHost& host) { ServiceRun(host).Run(); }

}  // namespace morvasvc
