#include "service_removal.h"

#include <optional>

#include "service_run.h"

namespace morvasvc {

RegisteredProgram ParseRegisteredCommand(const std::string& command) {
  RegisteredProgram program;
  const size_t begin = command.find_first_not_of(' ');
  if (begin == std::string::npos) return program;
  const size_t end = command[begin] == '"' ? command.find('"', begin + 1)
                                           : std::string::npos;
  if (end != std::string::npos) {
    program.path = command.substr(begin + 1, end - begin - 1);
    program.quoted = true;
  } else {
    const size_t last = command.find_last_not_of(' ');
    program.path = command.substr(begin, last - begin + 1);
  }
  program.environmentStrings = program.path.find('%') != std::string::npos;
  return program;
}

bool IsOursToRemove(FileIdentity identity, bool unambiguousPath,
                    bool samePathText) {
  switch (identity) {
    case FileIdentity::kSame:
      return true;
    case FileIdentity::kOther:
      return false;
    case FileIdentity::kGone:
      return unambiguousPath || samePathText;
    case FileIdentity::kUnknown:
      break;
  }
  return samePathText;
}

static_assert(kRemoveStopBoundMs > kHandlerBoundMs &&
                  kRemoveStartBoundMs > kHandlerBoundMs,
              "a service that gives up its stop is still seen to stop");

bool StopAndWait(StoppableService& service, std::string* error) {
  const uint32_t kStepMs = 200;
  const uint64_t start = service.TickMs();
  // From the moment the stop was sent, or found under way.
  std::optional<uint64_t> stopSince;
  bool stopSent = false;
  const uint32_t rounds =
      (kRemoveStartBoundMs + kRemoveStopBoundMs) / kStepMs + 1;
  for (uint32_t round = 0; round <= rounds; ++round) {
    uint32_t state = 0;
    // A status that cannot be read is no proof that the service stopped.
    if (!service.QueryState(&state, error)) return false;
    if (state == kServiceStopped) return true;
    if (state == kServiceStopPending && !stopSince) {
      stopSince = service.TickMs();
    }
    // A starting service takes the stop once it runs.
    if (!stopSent && state != kServiceStopPending &&
        state != kServiceStartPending) {
      switch (service.SendStop(error)) {
        case StoppableService::StopReply::kSent:
          stopSent = true;
          stopSince = service.TickMs();
          break;
        case StoppableService::StopReply::kNotActive:
          return true;
        case StoppableService::StopReply::kNotYet:
          break;
        case StoppableService::StopReply::kFailed:
          return false;
      }
    }
    const uint64_t now = service.TickMs();
    if (stopSince ? now - *stopSince > kRemoveStopBoundMs
                  : now - start > kRemoveStartBoundMs) {
      break;
    }
    service.Wait(kStepMs);
  }
  *error = stopSince ? "Stopping the service failed: it did not stop within " +
                           std::to_string(kRemoveStopBoundMs / 1000) +
                           " seconds"
                     : "Stopping the service failed: it did not finish its "
                       "start within " +
                           std::to_string(kRemoveStartBoundMs / 1000) +
                           " seconds";
  return false;
}

}  // namespace morvasvc
