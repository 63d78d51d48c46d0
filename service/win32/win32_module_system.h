#ifndef MORVASVC_WIN32_MODULE_SYSTEM_H_
#define MORVASVC_WIN32_MODULE_SYSTEM_H_

#include <winsock2.h>
#include <windows.h>

#include "module_system.h"

namespace morvasvc {

class Win32ModuleSystem : public ModuleSystem {
 public:
  // The service's own thread, which the dispatcher runs, is handed in; a
  // system without one publishes nowhere and was not started as a service.
  Win32ModuleSystem();
  explicit Win32ModuleSystem(ServiceThread& serviceThread)
      : serviceThread_(serviceThread) {}

  // The window that owns what the shell shows for a person (the help page's
  // errors); none until the window exists.
  void SetShellOwner(HWND owner) { shellOwner_ = owner; }

  OpenResult ReadWholeFile(const std::string& path,
                           std::string* bytes) override;
  OpenResult ReadFileStart(const std::string& path, size_t maxBytes,
                           std::string* bytes, std::string* error) override;
  std::string TemporaryFolder() override;
  bool IsFolder(const std::string& path) override;
  FileIdentity CompareFiles(const std::string& first,
                            const std::string& second) override;
  std::string EnvironmentVariable(const std::string& name) override;
  OpenResult WriteWholeFile(const std::string& path,
                            const std::string& bytes) override;
  OpenResult AppendToFile(const std::string& path,
                          const std::string& bytes) override;
  void Sleep(uint32_t milliseconds) override;
  int64_t Now() override;
  uint64_t TickMs() override;
  bool ToLocalTime(int64_t time, std::tm* local) override;
  bool SearchFile(const std::string& name, std::string* fullPath) override;
  std::string FileVersion(const std::string& path) override;
  bool GetCurrentDir(std::string* dir) override;
  bool SetCurrentDir(const std::string& dir) override;
  std::vector<std::string> FindEntries(const std::string& pattern) override;
  bool ShellOpen(const std::string& file, const std::string& parameters,
                 const std::string& directory, ShellPrompts prompts,
                 std::string* error, LaunchedProcess* launched) override;
  ProcessState CheckProcess(const LaunchedProcess& process,
                            std::string* error) override;
  bool EndLaunchedProcess(const LaunchedProcess& process,
                          std::string* error) override;
  std::vector<AnsweredBox> AnswerDialogBoxes(
      const LaunchedProcess& process) override;
  void RecordLaunched(const std::string& service,
                      const LaunchedProcess& process) override;
  LaunchedProcess RecalledLaunched(const std::string& service) override;
  bool NobodySeesWindows() override;
  bool StartedByServiceManager() override;
  bool RunsUnderWow64() override;
  std::string SystemFolder() override;
  std::string WindowsFolder() override;
  bool ListenerOf(uint16_t port, PortOwner* owner,
                  std::string* error) override;
  ConnectResult ConnectToEngine(
      uint16_t port, uint32_t timeoutMs,
      std::unique_ptr<EngineConnection>* connection) override;
  OpenResult ReadSecurity(const std::string& path, ObjectSecurity* security,
                          std::string* error) override;
  bool IsAdministrator(const std::string& sid) override;
  bool IsListedAdministrator(const std::string& sid) override;
  std::string LocalAccountDomain() override;
  std::string AccountName(const std::string& sid) override;
  std::string LowerCase(const std::string& text) override;
  bool IsLeadByte(unsigned char byte) override;
  std::string WideToAnsi(const std::u16string& text) override;
  void ReportToEventLog(const std::string& source, EventType type,
                        EventKind kind, const std::string& text) override;
  void PublishLog(const LogDestination& destination) override;
  std::string CommandLine() override;
  std::string ProgramPath() override;
  void EndProcess(uint32_t exitCode) override;

 private:
  ServiceThread& serviceThread_;
  HWND shellOwner_ = NULL;
};

}  // namespace morvasvc

#endif
