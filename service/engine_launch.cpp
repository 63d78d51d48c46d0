#include "engine_launch.h"

#include "crash_report.h"

namespace morvasvc {

std::string BuildEngineArguments(const std::vector<std::string>& jars) {
  std::string classPath = ".;help;";
  for (const std::string& jar : jars) classPath += jar + ";";
  // A blank in a jar name would split the class path into two arguments.
  if (classPath.find(' ') != std::string::npos) {
    classPath = "\"" + classPath + "\"";
  }
  return "-Xrs -cp " + classPath + " com.morva.engine.Engine";
}

bool EngineCommandLineFits(const std::string& javaExe,
                           const std::string& arguments) {
  // The quoted program, a blank, the arguments and the terminator.
  return javaExe.size() + 2 + 1 + arguments.size() + 1 <= kCommandLineLimit;
}

void EngineLaunch::Remember(const LaunchedProcess& process) {
  Launched launched;
  launched.process = process;
  launched.atMs = clock_.TickMs();
  launched.what = "launched at " + StampNow(clock_) + " (process " +
                  std::to_string(process.id) + ")";
  launched_ = launched;
  if (!serviceName_.empty()) processes_.RecordLaunched(serviceName_, process);
}

void EngineLaunch::TakeUp(const std::string& serviceName) {
  serviceName_ = serviceName;
  const LaunchedProcess earlier = processes_.RecalledLaunched(serviceName);
  std::string error;
  if (earlier.id == 0 ||
      processes_.CheckProcess(earlier, &error) != ProcessState::kRunning) {
    return;
  }
  Remember(earlier);
  launched_->what = "launched before this service process started (process " +
                    std::to_string(earlier.id) + ")";
  log_.Log("NT Service Module: The engine " + launched_->what +
           " still runs; it is taken up, and no other is launched beside it");
}

void EngineLaunch::Answered() {
  if (launched_) launched_->answered = true;
}

bool EngineLaunch::UnansweredRuns(bool ended) {
  if (!launched_) return false;
  std::string error;
  switch (processes_.CheckProcess(launched_->process, &error)) {
    case ProcessState::kRunning:
      return !launched_->answered;
    case ProcessState::kUnknown:
      // One that answered stays the engine: nothing to hold or end.
      if (launched_->answered) return false;
      log_.Log("NT Service Module: WARNING: Could not tell whether the engine " +
               launched_->what + " still runs: " + error);
      break;
    case ProcessState::kGone:
      if (ended) SayEnded();
      break;
  }
  launched_.reset();
  return false;
}

void EngineLaunch::SayWhatItShows() {
  const uint64_t now = clock_.TickMs();
  for (auto it = boxesSaid_.begin(); it != boxesSaid_.end();) {
    it = now - it->second >= kRepeatedReportMs ? boxesSaid_.erase(it) : ++it;
  }
  for (const AnsweredBox& box :
       processes_.AnswerDialogBoxes(launched_->process)) {
    const std::string shown =
        morva_common::DescribeShownWindows({box.shown}, kBoxTextBound);
    // A lone button acknowledges, whatever its id; beside OK, Cancel.
    const char* button = box.shown.buttons.size() == 1 ? "OK" : "Cancel";
    const std::string what =
        !box.pressed ? "left open for an operator to answer"
        : box.closed ? std::string("closed as pressing ") + button + " does"
                     : std::string("still open after ") + button +
                           " was pressed";
    // Said once in ten minutes, as it stands, whatever became of it.
    if (!boxesSaid_.emplace(what + shown, now).second) continue;
    log_.LogError("NT Service Module: ERROR: The engine " + launched_->what +
                      " showed a box, " + what + ": " + shown,
                  EventKind::kRuntimeBox);
  }
}

void EngineLaunch::SayEnded() {
  log_.LogError("NT Service Module: ERROR: The engine " + launched_->what +
                    " has ended: it was found ended at " + StampNow(clock_) +
                    ", after running at most " +
                    DurationText(clock_.TickMs() - launched_->atMs) +
                    QuoteCrashReport(files_,
                                     {installDir_, files_.TemporaryFolder()},
                                     launched_->process.id),
                EventKind::kEngineEnded);
}

EngineLaunch::Listening EngineLaunch::ListensOn(uint32_t port) {
  PortOwner owner;
  std::string error;
  const bool listens =
      IsValidEnginePort(port) &&
      network_.ListenerOf(static_cast<uint16_t>(port), &owner, &error);
  if (listens && owner.processId == launched_->process.id) {
    launched_->answered = true;
    log_.Log("NT Service Module: WARNING: The engine " + launched_->what +
             " listens on engine port " + std::to_string(port) +
             " without answering; it is the engine, and it is not ended");
    return Listening::kYes;
  }
  if (listens ? owner.processId != 0 : error.empty()) return Listening::kNo;
  if (!launched_->listenerTroubleSaid) {
    launched_->listenerTroubleSaid = true;
    log_.Log("NT Service Module: WARNING: Could not tell who listens on "
             "engine port " + std::to_string(port) + " (" +
             (error.empty() ? std::string("the system names no program")
                            : error) +
             "): the engine " + launched_->what +
             " is ended only once a second try finds nothing answering");
  }
  return Listening::kUnknown;
}

bool EngineLaunch::HoldsLaunch(uint32_t port) {
  // The engine does not answer: a runtime that answered once and runs on
  // is hung, not starting, and is never ended; one that is gone is said.
  if (!UnansweredRuns()) return false;
  SayWhatItShows();
  if (clock_.TickMs() - launched_->atMs < kLaunchHoldMs) {
    if (!launched_->holdSaid) {
      log_.Log("NT Service Module: The engine " + launched_->what +
               " has not opened its port yet; no other is launched beside "
               "it");
      launched_->holdSaid = true;
    }
    return true;
  }
  // One that opened its port is the engine, busy or hung: never ended.
  // Where the system cannot say who listens, a second silent probe a
  // minute later is needed before anything is ended.
  switch (ListensOn(port)) {
    case Listening::kYes:
      return false;
    case Listening::kUnknown:
      if (!launched_->silentPastHoldMs) {
        launched_->silentPastHoldMs = clock_.TickMs();
        return true;
      }
      if (clock_.TickMs() - *launched_->silentPastHoldMs < kSecondProbeMs) {
        return true;
      }
      break;
    case Listening::kNo:
      break;
  }
  std::string error;
  const std::string why = "NT Service Module: ERROR: The engine " +
                          launched_->what +
                          " has not opened its port in " +
                          std::to_string(kLaunchHoldMs / 60000) + " minutes";
  const std::string message =
      processes_.EndLaunchedProcess(launched_->process, &error)
          ? why + "; it was ended, and the engine is launched again"
          : why + " and could not be ended: " + error;
  log_.Log(message);
  stuckLaunches_.Report(message);
  launched_.reset();
  return false;
}

void EngineLaunch::EndUnanswered(uint32_t port,
                                 const std::function<bool()>& answersNow) {
  // One that ends as the stop comes is the stop's.
  if (!UnansweredRuns(false)) return;
  switch (ListensOn(port)) {
    case Listening::kYes:
      return;
    case Listening::kUnknown:
      // The stop cannot wait a minute: one more try instead.
      if (answersNow()) return;
      break;
    case Listening::kNo:
      break;
  }
  std::string error;
  log_.Log("NT Service Module: The engine " + launched_->what +
           (processes_.EndLaunchedProcess(launched_->process, &error)
                ? " never opened its port; the stop ended it"
                : " never opened its port, and the stop could not end it: " +
                      error));
  launched_.reset();
}

void EngineLaunch::ReportPendingCounts() {
  launchFailures_.ReportPending();
  stuckLaunches_.ReportPending();
}

void EngineLaunch::Launch(const JavaRuntime& java,
                          const std::string& installDir) {
  javaReport_.Say(java);
  const std::string arguments =
      BuildEngineArguments(files_.FindEntries("*.jar"));
  log_.Log("NT Service Module: Engine path = " + java.configured);
  log_.Log("NT Service Module: Engine arguments = " + arguments);
  installDir_ = installDir;
  std::string error;
  // Only a program: the shell would start whatever opens anything else.
  if (!java.notAProgram.empty()) {
    error = java.resolved + " is " + java.notAProgram;
  } else if (!EngineCommandLineFits(java.launched, arguments)) {
    // Cut off, the class path would lose a jar and the main class in
    // silence.
    error = "the engine path and arguments are longer than the " +
            std::to_string(kCommandLineLimit) +
            " characters a command line can hold";
  } else {
    // Only the service launches the engine, and nobody sees its desktop.
    LaunchedProcess process;
    if (processes_.ShellOpen(java.launched, arguments, installDir,
                             ShellPrompts::kNever, &error, &process)) {
      launched_.reset();
      if (process.id != 0) Remember(process);
      return;
    }
  }
  const std::string message =
      "NT Service Module: ERROR: Engine could not be launched: " + error;
  log_.Log(message);
  launchFailures_.Report(message);
}

}  // namespace morvasvc
