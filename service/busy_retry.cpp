#include "busy_retry.h"

namespace morvasvc {

OpenResult RetryWhileBusy(ModuleSystem& system,
                          const std::function<OpenResult()>& operation,
                          uint32_t boundMs, uint32_t stepMs) {
  const uint64_t start = system.TickMs();
  const uint32_t attempts = boundMs / stepMs + 1;
  OpenResult result = operation();
  for (uint32_t attempt = 1; result == OpenResult::kBusy &&
                             attempt < attempts &&
                             system.TickMs() - start < boundMs;
       ++attempt) {
    system.Sleep(stepMs);
    result = operation();
  }
  return result;
}

}  // namespace morvasvc
