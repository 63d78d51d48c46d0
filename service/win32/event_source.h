#ifndef MORVASVC_WIN32_EVENT_SOURCE_H_
#define MORVASVC_WIN32_EVENT_SOURCE_H_

#include <string>

#include "module_system.h"

namespace morvasvc {

// The service's name as a source of the Application event log, whose texts
// Event Viewer finds in this program's message table; false with the reason.
bool AddEventSource(const std::string& source, std::string* error);
bool RemoveEventSource(const std::string& source, std::string* error);

// One entry under source, with the ID of its kind; a failure changes
// nothing.
void WriteEvent(const std::string& source, EventType type, EventKind kind,
                const std::string& text);

}  // namespace morvasvc

#endif
