#include "engine_launch.h"

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

std::string CrashReportName(uint32_t processId) {
  return "hs_err_pid" + std::to_string(processId) + ".log";
}

std::string CrashReportHeader(const std::string& report) {
  std::string header;
  for (size_t at = 0; at < report.size() && header.size() <= kBoxTextBound;) {
    size_t end = report.find('\n', at);
    if (end == std::string::npos) end = report.size();
    const std::string line = report.substr(at, end - at);
    at = end + 1;
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos && header.empty()) continue;
    // The header ends at its first blank line, or whatever is not a comment.
    if (first == std::string::npos || line[first] != '#') break;
    if (line.find_first_not_of("# \t\r") == std::string::npos) continue;
    const size_t last = line.find_last_not_of(" \t\r");
    header += (header.empty() ? "" : " ") +
              line.substr(first, last - first + 1);
  }
  return morva_common::OneLine(header, kBoxTextBound);
}

void EngineLaunch::Remember(const LaunchedProcess& process) {
  Launched launched;
  launched.process = process;
  launched.atMs = clock_.TickMs();
  launched.what = "launched at " + StampNow(clock_) + " (process " +
                  std::to_string(process.id) + ")";
  launched_ = launched;
}

void EngineLaunch::Answered() {
  if (launched_) launched_->answered = true;
}

bool EngineLaunch::UnansweredRuns(bool ended) {
  if (!launched_ || launched_->answered) return false;
  std::string error;
  switch (processes_.CheckProcess(launched_->process, &error)) {
    case ProcessState::kRunning:
      return true;
    case ProcessState::kUnknown:
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
  for (const morva_common::ShownWindow& box :
       processes_.CloseDialogBoxes(launched_->process)) {
    const std::string shown =
        morva_common::DescribeShownWindows({box}, kBoxTextBound);
    if (!boxesSaid_.emplace(shown, now).second) continue;
    log_.LogError("NT Service Module: ERROR: The engine " + launched_->what +
                  " showed a box, closed as pressing OK does: " + shown,
                  EventKind::kRuntimeBox);
  }
}

std::string EngineLaunch::CrashReport(uint32_t processId) {
  for (const std::string& folder : {installDir_, files_.TemporaryFolder()}) {
    if (folder.empty()) continue;
    const std::string path = folder + "\\" + CrashReportName(processId);
    std::string report, error;
    switch (files_.ReadFileStart(path, kCrashReportReadBytes, &report,
                                 &error)) {
      case OpenResult::kMissing:
        continue;
      case OpenResult::kDone: {
        const std::string header = CrashReportHeader(report);
        return ". Java's crash report " + path +
               (header.empty() ? " has no header" : ": " + header);
      }
      case OpenResult::kBusy:
        return ". Java's crash report " + path +
               " could not be read: another program holds it";
      case OpenResult::kFailed:
        return ". Java's crash report " + path + " could not be read: " +
               error;
    }
  }
  return std::string();
}

void EngineLaunch::SayEnded() {
  log_.LogError("NT Service Module: ERROR: The engine " + launched_->what +
                    " has ended: it was found ended at " + StampNow(clock_) +
                    ", after running at most " +
                    DurationText(clock_.TickMs() - launched_->atMs) +
                    CrashReport(launched_->process.id),
                EventKind::kEngineEnded);
}

bool EngineLaunch::HoldsLaunch() {
  if (!launched_) return false;
  // The engine does not answer: a runtime that answered once and runs on
  // is hung, not starting, and is never ended; one that is gone is said.
  if (launched_->answered) {
    std::string error;
    if (processes_.CheckProcess(launched_->process, &error) ==
        ProcessState::kGone) {
      SayEnded();
      launched_.reset();
    }
    return false;
  }
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

void EngineLaunch::EndUnanswered() {
  // One that ends as the stop comes is the stop's.
  if (!UnansweredRuns(false)) return;
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
  // Cut off, the class path would lose a jar and the main class in silence.
  if (!EngineCommandLineFits(java.launched, arguments)) {
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
