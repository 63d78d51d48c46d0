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

// The message table's one message per severity shows the text as it is.
void WriteEvent(const std::string& source, EventType type,
               const std::string& text) {
  const EventSourceHandle log(RegisterEventSourceA(NULL, source.c_str()));
  if (!log.Valid()) return;
  const char* strings[] = {text.c_str()};
  const bool error = type == EventType::kError;
  ReportEventA(log.Get(), error ? EVENTLOG_ERROR_TYPE : EVENTLOG_WARNING_TYPE, 0,
               error ? MSG_MODULE_ERROR : MSG_MODULE_WARNING, NULL, 1, 0,
               strings, NULL);
}

}  // namespace morvasvc
