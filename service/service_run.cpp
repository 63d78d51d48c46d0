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
      Crash("start did not finish within " + Seconds(kHandlerBoundMs));
      return;
    }
    Report(kServiceRunning);
    if (!WatchTicksUntilStopRequest()) return;
    Report(kServiceStopPending);
    host_.PostStop();
    if (!WaitPending(WindowStage::kStopHandled)) {
      host_.Log("NT Service Module: ERROR: The service's stop did not finish "
                "within " + Seconds(kHandlerBoundMs) +
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

  // A supervision tick that never returns would leave the engine
  // unsupervised for ever; only a tick that began and did not end counts.
  bool WatchTicksUntilStopRequest() {
    while (!host_.WaitForStopRequest(kTickCheckMs)) {
      uint64_t startMs = 0;
      if (host_.TickRunningSince(&startMs) &&
          host_.TickMs() - startMs >= kTickBoundMs) {
        Crash("supervision tick did not finish within " +
              Seconds(kTickBoundMs));
        return false;
      }
    }
    return true;
  }

  void Report(uint32_t state) {
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
    // Systems before Vista refuse the preshutdown control: shutdown remains.
    if (!host_.ReportStatus(status) && acceptPreshutdown_ &&
        state == kServiceRunning) {
      acceptPreshutdown_ = 0;
      status.controlsAccepted = accepted;
      host_.ReportStatus(status);
    }
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

  // Ends the process without reporting the service stopped: to the manager
  // a crash, after which its recovery restarts the service at once.
  void Crash(const std::string& what) {
    host_.Log("NT Service Module: ERROR: The service's " + what +
              "; the service ends so that Windows restarts it");
    host_.Terminate(1);
  }

  ServiceHost& host_;
  uint32_t checkPoint_ = 0;
  uint32_t lastState_ = 0;
  uint32_t acceptPreshutdown_ = kAcceptPreshutdown;
};

}  // namespace

void RunService(ServiceHost& host) { ServiceRun(host).Run(); }

}  // namespace morvasvc
