#include "busy_retry.h"

namespace morvasvc {

OpenResult RetryWhileBusy(Clock& clock,
                          const std::function<OpenResult()>& operation,
                          uint32_t boundMs, uint32_t stepMs) {
  const uint64_t start = clock.TickMs();
  const uint32_t attempts = boundMs / stepMs + 1;
  OpenResult result = operation();
  for (uint32_t attempt = 1; result == OpenResult::kBusy &&
                             attempt < attempts &&
                             clock.TickMs() - start < boundMs;
       ++attempt) {
    clock.Sleep(stepMs);
    result = operation();
  }
  return result;
}

}  // namespace morvasvc
