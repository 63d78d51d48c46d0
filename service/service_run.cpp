#include "service_run.h"

namespace morvasvc {

ControlAction ClassifyControl(uint32_t control) {
  switch (control) {
    case kControlStop:
    case kControlShutdown:
    case kControlPreshutdown:
      return ControlAction::kStop;
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
    // The window may still be on its way: the manager hears from us meanwhile.
    if (!WaitPending(WindowStage::kCreated)) {
      GiveUp("start", kStartRanOver);
      return;
    }
    host_.PostStart();
    if (!WaitPending(WindowStage::kStartHandled)) {
      GiveUp("start", kStartRanOver);
      return;
    }
    Report(kServiceRunning);
    host_.WaitForStopRequest();
    Report(kServiceStopPending);
    host_.PostStop();
    if (!WaitPending(WindowStage::kStopHandled)) {
      GiveUp("stop", kStopRanOver);
      return;
    }
    Report(kServiceStopped);
  }

 private:
  void Report(uint32_t state, uint32_t specificExitCode = 0) {
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
    if (specificExitCode) {
      status.win32ExitCode = kServiceSpecificError;
      status.serviceSpecificExitCode = specificExitCode;
    }
    if (state == kServiceRunning) {
      status.controlsAccepted =
          kAcceptStop | kAcceptShutdown | acceptPreshutdown_;
    }
    // Systems before Vista refuse the preshutdown control: shutdown remains.
    if (!host_.ReportStatus(status) && acceptPreshutdown_ &&
        state == kServiceRunning) {
      acceptPreshutdown_ = 0;
      status.controlsAccepted = kAcceptStop | kAcceptShutdown;
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

  void GiveUp(const std::string& what, uint32_t specificExitCode) {
    host_.Log("NT Service Module: ERROR: The service's " + what +
              " did not finish within " +
              std::to_string(kHandlerBoundMs / 1000) +
              " seconds; the service reports itself stopped and ends");
    Report(kServiceStopped, specificExitCode);
    host_.EndProcess(1);
  }

  ServiceHost& host_;
  uint32_t checkPoint_ = 0;
  uint32_t lastState_ = 0;
  uint32_t acceptPreshutdown_ = kAcceptPreshutdown;
};

}  // namespace

void RunService(ServiceHost& host) { ServiceRun(host).Run(); }

}  // namespace morvasvc
