#include "service_removal.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>

#include "path_text.h"
#include "service_run.h"

namespace morvasvc {
namespace {

// "Gone" is inferred only from a path that leaves no doubt: an unquoted one
// or one with an environment string the query left as it was is "not
// found" without being gone.
TEST(ServiceRemoval, WhoseServiceItIs) {
  struct Case {
    const char* command;
    std::string path;
    bool quoted, qualified;
    bool environmentStrings = false;
  } cases[] = {
      {"\"C:\\M\\M.exe\"", "C:\\M\\M.exe", true, true},
      {"\"a:\\M.exe\"", "a:\\M.exe", true, true},
      {"\"A:\\M.exe\"", "A:\\M.exe", true, true},
      {"\"Z:\\M.exe\"", "Z:\\M.exe", true, true},
      {"\"z:\\M.exe\"", "z:\\M.exe", true, true},
      {" \"\\\\srv\\share\\M.exe\" -x", "\\\\srv\\share\\M.exe", true, true},
      {"C:\\Program Files\\M.exe", "C:\\Program Files\\M.exe", false, true},
      {"\"%SystemRoot%\\M.exe\"", "%SystemRoot%\\M.exe", true, false, true},
      {"D:\\%x\\M.exe", "D:\\%x\\M.exe", false, true, true},
      {"\"\\\\?\\C:\\M.exe\"", "\\\\?\\C:\\M.exe", true, false},
      {"\"\\\\.\\C:\\M.exe\"", "\\\\.\\C:\\M.exe", true, false},
      {"\"ab\\M.exe\"", "ab\\M.exe", true, false},
      {"\"\\\\a\\b\"", "\\\\a\\b", true, true},
      // Between the letters' cases, no drive.
      {"\"[:\\M.exe\"", "[:\\M.exe", true, false},
  };
  for (const Case& c : cases) {
    const RegisteredProgram program = ParseRegisteredCommand(c.command);
    EXPECT_EQ(c.path, program.path) << c.command;
    EXPECT_EQ(c.quoted, program.quoted) << c.command;
    EXPECT_EQ(c.qualified, IsFullyQualifiedPath(program.path)) << c.command;
    EXPECT_EQ(c.environmentStrings, program.environmentStrings) << c.command;
  }
  EXPECT_TRUE(IsOursToRemove(FileIdentity::kGone, true, false));
  EXPECT_FALSE(IsOursToRemove(FileIdentity::kGone, false, false));
  EXPECT_FALSE(IsOursToRemove(FileIdentity::kOther, true, true));
  EXPECT_TRUE(IsOursToRemove(FileIdentity::kUnknown, false, true));
}

// The manager as the remove's stop sees it: states in turn, the last stays.
class FakeService : public StoppableService {
 public:
  std::deque<uint32_t> states;
  std::deque<StopReply> replies;
  int stops = 0;
  uint64_t tickMs = 0;
  // Timed instead: starting, then running until the stop, then stopping.
  std::optional<uint64_t> startsForMs, stopsForMs, stopSentMs;
  bool QueryState(uint32_t* state, std::string*) override {
    if (startsForMs) {
      *state = tickMs < *startsForMs ? kServiceStartPending
               : !stopSentMs         ? kServiceRunning
               : tickMs - *stopSentMs < *stopsForMs ? kServiceStopPending
                                                    : kServiceStopped;
      return true;
    }
    // 0: the status cannot be read.
    *state = states.front();
    if (states.size() > 1) states.pop_front();
    return *state != 0;
  }
  StopReply SendStop(std::string*) override {
    ++stops;
    stopSentMs = tickMs;
    if (replies.empty()) return StopReply::kSent;
    const StopReply reply = replies.front();
    replies.pop_front();
    return reply;
  }
  uint64_t TickMs() override { return tickMs; }
  void Wait(uint32_t ms) override { tickMs += ms; }
};

TEST(ServiceRemoval, StopAndWait) {
  using Reply = StoppableService::StopReply;
  const uint32_t run = kServiceRunning, start = kServiceStartPending,
                 stopping = kServiceStopPending, stopped = kServiceStopped;
  struct Case {
    std::deque<uint32_t> states;
    std::deque<Reply> replies;
    bool stops;
    int stopsSent;
  } cases[] = {
      {{run, stopping, stopped}, {}, true, 1},
      {{run, run, stopped}, {}, true, 1},  // sent once, however slow
      {{run}, {Reply::kNotActive}, true, 1},  // stopped meanwhile
      {{start, start, run, stopped}, {}, true, 1},  // waited through its start
      {{run, start, run, stopped}, {Reply::kNotYet}, true, 2},
      {{run}, {Reply::kFailed}, false, 1},
      {{run, stopping}, {}, false, 1},
      {{run, 0, stopped}, {}, false, 1},  // unreadable is not stopped
  };
  for (const Case& c : cases) {
    FakeService service;
    service.states = c.states;
    service.replies = c.replies;
    std::string error;
    EXPECT_EQ(c.stops, StopAndWait(service, &error)) << c.states.size();
    EXPECT_EQ(c.stopsSent, service.stops) << c.states.size();
    // One that keeps stopping is given its 75 s, and not a moment less.
    if (c.states.back() == stopping) {
      EXPECT_GT(service.tickMs, 75000u);
      EXPECT_EQ("Stopping the service failed: it did not stop within 75 "
                "seconds",
                error);
    }
  }
  // The start and the stop each get their own bound: 55 s of start, then
  // 40 s of stop is seen through; a start that never ends is not.
  struct Timed {
    uint64_t startsForMs, stopsForMs;
    bool stops;
  } timed[] = {{55000, 40000, true}, {74800, 74800, true}, {1u << 30, 0, false}};
  for (const Timed& t : timed) {
    FakeService service;
    service.startsForMs = t.startsForMs;
    service.stopsForMs = t.stopsForMs;
    std::string error;
    EXPECT_EQ(t.stops, StopAndWait(service, &error)) << t.startsForMs;
    if (!t.stops) {
      EXPECT_EQ("Stopping the service failed: it did not finish its start "
                "within 75 seconds",
                error);
      EXPECT_LT(service.tickMs, 75400u);
    }
  }
}

}  // namespace
}  // namespace morvasvc
