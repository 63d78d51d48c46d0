#include "event_source.h"

#include <winsock2.h>
#include <windows.h>

#include "event_messages.h"
#include "handle.h"
#include "system_error.h"
#include "program_files.h"

namespace morvasvc {

namespace {
std::string EventSourceKey(const std::string& source) {
  return "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" +
         source;
}
}  // namespace

bool AddEventSource(const std::string& source, std::string* error) {
  std::string program;
  if (!ProgramPath(&program, error)) return false;
  const std::string keyName = EventSourceKey(source);
  RegistryKey key;
  LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, NULL,
                                0, KEY_SET_VALUE, NULL, key.Receive(), NULL);
  if (result != ERROR_SUCCESS) {
    *error = StepFailed("RegCreateKeyEx", keyName, static_cast<DWORD>(result));
    return false;
  }
  const DWORD types =
      EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
  result = RegSetValueExA(key.Get(), "EventMessageFile", 0, REG_EXPAND_SZ,
                          reinterpret_cast<const BYTE*>(program.c_str()),
                          static_cast<DWORD>(program.size() + 1));
  if (result == ERROR_SUCCESS) {
    result = RegSetValueExA(key.Get(), "TypesSupported", 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&types),
                            sizeof types);
  }
  if (result != ERROR_SUCCESS) {
    *error = StepFailed("RegSetValueEx", keyName, static_cast<DWORD>(result));
    return false;
  }
  return true;
}

bool RemoveEventSource(const std::string& source, std::string* error) {
  const std::string keyName = EventSourceKey(source);
  const LONG result = RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyName.c_str());
  if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
    *error = StepFailed("RegDeleteKey", keyName, static_cast<DWORD>(result));
    return false;
  }
  return true;
}

namespace {
// The message table's ID, severity bits included, for an event's number.
DWORD MessageId(EventType type, uint16_t number) {
  switch (type) {
    case EventType::kError:
      return 0xC0000000 | number;
    case EventType::kWarning:
      return 0x80000000 | number;
    case EventType::kInformation:
      break;
  }
  return 0x40000000 | number;
}
static_assert(MSG_MODULE_ERROR == 0xC0000001 &&
                  MSG_MODULE_WARNING == 0x80000002 &&
                  MSG_MODULE_INFORMATION == 0x40000003 &&
                  MSG_ENGINE_RELAUNCHED == 0x8000000A &&
                  MSG_LAUNCH_FAILED == 0xC000000B &&
                  MSG_LAUNCH_STUCK == 0xC000000C &&
                  MSG_RUNTIME_BOX == 0xC000000D &&
                  MSG_ENGINE_ENDED == 0xC000000E &&
                  MSG_ENGINE_BACK == 0x4000000F &&
                  MSG_SETTINGS_TROUBLE == 0xC0000010 &&
                  MSG_OPEN_TO_OTHERS == 0x80000011 &&
                  MSG_ENTRIES_LOST == 0x80000012 &&
                  MSG_WINDOW_THREAD_STUCK == 0xC0000013 &&
                  MSG_SERVICE_FAULT == 0xC0000014,
              "the message table holds each kind's ID with its severity");
}  // namespace

// Every message of the table shows the text as it is.
void WriteEvent(const std::string& source, EventType type, EventKind kind,
                const std::string& text) {
  const EventSourceHandle log(RegisterEventSourceA(NULL, source.c_str()));
  if (!log.Valid()) return;
  const char* strings[] = {text.c_str()};
  const WORD eventType = type == EventType::kError     ? EVENTLOG_ERROR_TYPE
                         : type == EventType::kWarning ? EVENTLOG_WARNING_TYPE
                                                       : EVENTLOG_INFORMATION_TYPE;
  ReportEventA(log.Get(), eventType, 0, MessageId(type, EventId(kind, type)),
               NULL, 1, 0, strings, NULL);
}

}  // namespace morvasvc
