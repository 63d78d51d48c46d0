#ifndef MORVASVC_ENGINE_LAUNCH_H_
#define MORVASVC_ENGINE_LAUNCH_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "activity_log.h"
#include "java_runtime.h"
#include "module_system.h"
#include "supervision.h"

namespace morvasvc {

// The Java runtime's arguments with every jar on the class path.
std::string BuildEngineArguments(const std::vector<std::string>& jars);

// The longest command line the system starts a program with, terminator
// included; longer arguments would reach the engine cut off.
const size_t kCommandLineLimit = 32767;
// Whether "javaExe" and the arguments fit one command line.
bool EngineCommandLineFits(const std::string& javaExe,
                           const std::string& arguments);

// A box's caption and text are quoted up to this many characters.
const size_t kBoxTextBound = 1000;
// A launched runtime that has not opened the port after this long is stuck.
const uint64_t kLaunchHoldMs = 600000;
// Where nobody can tell who listens, a second silent probe this much later
// is needed before it is ended; one that has not answered is probed this
// often whatever the period.
const uint64_t kSecondProbeMs = 60000;



// The engine as a program: the launch, and the runtime launched last,
// remembered by number until it is gone, never by a handle.
class EngineLaunch : public EngineStarter {
 public:
  EngineLaunch(Clock& clock, ModuleFiles& files, LaunchedProcesses& processes,
               EngineNetwork& network, ActivityLog& log,
               JavaReport& javaReport)
      : clock_(clock),
        files_(files),
        processes_(processes),
        network_(network),
        log_(log),
        javaReport_(javaReport) {}

  // Starts the Java runtime on every jar of the current folder, in
  // installDir. A refusal is logged, never shown.
  void Launch(const JavaRuntime& java, const std::string& installDir) override;
  void Answered() override;
  // Whether the runtime launched last still runs without ever having
  // answered, and was launched less than kLaunchHoldMs ago: nothing is
  // launched beside it, or two engines would race for the port and run
  // jobs twice. One that runs longer is stuck, and is ended.
  bool HoldsLaunch(uint32_t port) override;
  // At a stop whose shutdown reached nobody: the runtime launched last,
  // still running and never answered, would outlive the service.
  void EndUnanswered(uint32_t port,
                     const std::function<bool()>& answersNow) override;
  bool WaitsForAnswer() const override {
    return launched_ && !launched_->answered;
  }
  void ReportPendingCounts() override;
  // At the start of the service of this name: a runtime that an earlier
  // process of it launched and that still runs is held as if launched now
  // (and adopted once it answers), never launched beside; each launch from
  // now on is kept for the next process.
  void TakeUp(const std::string& serviceName);

 private:
  void Remember(const LaunchedProcess& process);
  // Quotes and closes the boxes it shows: a runtime that cannot start the
  // engine says why in a box nobody sees on the service's desktop.
  void SayWhatItShows();
  // Whether it runs and never answered; forgets it once it is gone (said
  // when ended is true) or, never answered, cannot be told.
  bool UnansweredRuns(bool ended = true);
  // It ended on its own, and nobody answers: when, and why if Java said.
  void SayEnded();

  Clock& clock_;
  ModuleFiles& files_;
  LaunchedProcesses& processes_;
  EngineNetwork& network_;
  ActivityLog& log_;
  JavaReport& javaReport_;
  struct Launched {
    LaunchedProcess process;
    uint64_t atMs = 0;
    std::string what;  // "launched at <time> (process <id>)"
    bool answered = false;
    bool holdSaid = false;
    bool listenerTroubleSaid = false;
    // The first silent probe past the hold, where nobody can tell who
    // listens on the port.
    std::optional<uint64_t> silentPastHoldMs;
  };
  // Whether it listens on the port: then it is the engine, however silent.
  enum class Listening { kYes, kNo, kUnknown };
  Listening ListensOn(uint32_t port);
  std::optional<Launched> launched_;
  // Where it was launched, and where its crash report may be.
  std::string installDir_;
  // The service whose next process is told of each launch.
  std::string serviceName_;
  // When each box's text was last said: every launch shows it again.
  std::map<std::string, uint64_t> boxesSaid_;
  RepeatedEvent launchFailures_{clock_, log_, EventType::kError,
                                EventKind::kLaunchFailed,
                                "Failed launches since the last report: "};
  RepeatedEvent stuckLaunches_{clock_, log_, EventType::kError,
                               EventKind::kLaunchStuck,
                               "Stuck launches ended since the last report: "};
};

}  // namespace morvasvc

#endif
