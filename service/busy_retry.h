#ifndef MORVASVC_BUSY_RETRY_H_
#define MORVASVC_BUSY_RETRY_H_

#include <cstdint>
#include <functional>

#include "module_system.h"

namespace morvasvc {

// Repeats operation while another process holds the file, for about boundMs
// in steps of stepMs. The count of attempts bounds it too, should the clock
// stand still.
OpenResult RetryWhileBusy(Clock& clock,
                          const std::function<OpenResult()>& operation,
                          uint32_t boundMs, uint32_t stepMs);

}  // namespace morvasvc

#endif
