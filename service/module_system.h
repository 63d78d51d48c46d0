#ifndef MORVASVC_MODULE_SYSTEM_H_
#define MORVASVC_MODULE_SYSTEM_H_

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "system_values.h"

namespace morvasvc {

// The system's roles, each as small as its users need; the Win32 layer
// implements them once and the tests with fakes.

// Time and waiting.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual void Sleep(uint32_t milliseconds) = 0;
  // Calendar time in seconds since 1970, and its local time.
  virtual int64_t Now() = 0;
  // Milliseconds on a clock that never steps, whatever the calendar does.
  virtual uint64_t TickMs() = 0;
  virtual bool ToLocalTime(int64_t time, std::tm* local) = 0;
};

// The module's files, each opened for one operation; kBusy when another
// opener holds the file.
class ModuleFiles {
 public:
  virtual ~ModuleFiles() = default;
  virtual OpenResult ReadWholeFile(const std::string& path,
                                   std::string* bytes) = 0;
  // Replaces the file only once every byte is written: a failed write leaves
  // the old file as it was.
  virtual OpenResult WriteWholeFile(const std::string& path,
                                    const std::string& bytes) = 0;
  // At most maxBytes from the file's start: a program's header, a report
  // that may be large; *error has the system's reason when it fails.
  virtual OpenResult ReadFileStart(const std::string& path, size_t maxBytes,
                                   std::string* bytes, std::string* error) = 0;
  // Whether the path names a folder.
  virtual bool IsFolder(const std::string& path) = 0;
  // Whether two paths name one file, through links and other spellings.
  virtual FileIdentity CompareFiles(const std::string& first,
                                    const std::string& second) = 0;
  // The system's folder for temporary files, without a trailing backslash.
  virtual std::string TemporaryFolder() = 0;
  // Creates the file (never a folder) and appends.
  virtual OpenResult AppendToFile(const std::string& path,
                                  const std::string& bytes) = 0;
  // The system's search for a file along its standard search order.
  virtual bool SearchFile(const std::string& name, std::string* fullPath) = 0;
  // A program file's version resource ("a.b.c.d"); empty when it has none.
  virtual std::string FileVersion(const std::string& path) = 0;
  virtual bool GetCurrentDir(std::string* dir) = 0;
  virtual bool SetCurrentDir(const std::string& dir) = 0;
  // Names (no folder) of the current directory's entries matching pattern.
  virtual std::vector<std::string> FindEntries(const std::string& pattern) = 0;
};

// The engine's network.
class EngineNetwork {
 public:
  virtual ~EngineNetwork() = default;
  // Who listens on the port; false when nobody does, or with *error when
  // the system cannot tell.
  virtual bool ListenerOf(uint16_t port, PortOwner* owner,
                          std::string* error) = 0;
  // TCP to the local machine's loopback host name; a connection not made
  // within timeoutMs counts as kFailed.
  virtual ConnectResult ConnectToEngine(
      uint16_t port, uint32_t timeoutMs,
      std::unique_ptr<EngineConnection>* connection) = 0;
};

// Who may change a file, and who the accounts are.
class FileSecurity {
 public:
  virtual ~FileSecurity() = default;
  // The owner and access list of a file or folder; kMissing when there is
  // none, kFailed with the system's reason.
  virtual OpenResult ReadSecurity(const std::string& path,
                                  ObjectSecurity* security,
                                  std::string* error) = 0;
  // Whether the account is a member of this machine's Administrators, who
  // can run anything as LocalSystem anyway, directly or through groups; for
  // a domain's account this may ask its domain controller.
  virtual bool IsAdministrator(const std::string& sid) = 0;
  // Whether the account or group is itself listed in this machine's
  // Administrators: answered by this machine alone.
  virtual bool IsListedAdministrator(const std::string& sid) = 0;
  // DOMAIN\name of an account, or its SID where it cannot be looked up; for
  // a domain's account this may ask its domain controller.
  virtual std::string AccountName(const std::string& sid) = 0;
  // The SID of this machine's own accounts' domain (S-1-5-21-...); empty
  // when it cannot be read.
  virtual std::string LocalAccountDomain() = 0;
};

// Text in the system's ANSI code page.
class CodePage {
 public:
  virtual ~CodePage() = default;
  virtual std::string LowerCase(const std::string& text) = 0;
  virtual bool IsLeadByte(unsigned char byte) = 0;
  virtual std::string WideToAnsi(const std::u16string& text) = 0;
};

// The Application event log.
class EventLog {
 public:
  virtual ~EventLog() = default;
  // One entry under source, with the ID of its kind; a failure changes
  // nothing.
  virtual void ReportToEventLog(const std::string& source, EventType type,
                                EventKind kind, const std::string& text) = 0;
};

// This process: how it was started, where it runs, what it may show.
class ThisProcess {
 public:
  virtual ~ThisProcess() = default;
  virtual std::string CommandLine() = 0;
  // The full path of the running program.
  virtual std::string ProgramPath() = 0;
  // Ends the process at once; a fake records the code and returns.
  virtual void EndProcess(uint32_t exitCode) = 0;
  // Whether nobody can see this process's windows, as in the session where
  // services run.
  virtual bool NobodySeesWindows() = 0;
  // Whether this 32-bit program runs on 64-bit Windows, which shows it the
  // 32-bit system folder under the system folder's name; and the system
  // and Windows folders, as the system names them.
  virtual bool RunsUnderWow64() = 0;
  virtual std::string SystemFolder() = 0;
  virtual std::string WindowsFolder() = 0;
  // A variable of this process's environment; empty when it has none.
  virtual std::string EnvironmentVariable(const std::string& name) = 0;
};

// The programs this process starts through the shell, each found again by
// its id and creation time; every call but the start is bounded by a second.
class LaunchedProcesses {
 public:
  virtual ~LaunchedProcesses() = default;
  // The shell's "open"; false with the system's reason when it refuses.
  // launched, when given, names the process it started, if any.
  virtual bool ShellOpen(const std::string& file, const std::string& parameters,
                         const std::string& directory, ShellPrompts prompts,
                         std::string* error, LaunchedProcess* launched) = 0;
  // kGone once it has ended or its id names another process; kUnknown with
  // the system's reason.
  virtual ProcessState CheckProcess(const LaunchedProcess& process,
                                    std::string* error) = 0;
  // Ends it, its creation time checked first; false with the reason.
  virtual bool EndLaunchedProcess(const LaunchedProcess& process,
                                  std::string* error) = 0;
  // The dialog boxes it shows on this desktop, its creation time checked
  // first and the process held meanwhile; a box that only acknowledges is
  // answered with AcknowledgingButton, so that a runtime that waits on its
  // error box ends; a question is left for an operator.
  virtual std::vector<AnsweredBox> AnswerDialogBoxes(
      const LaunchedProcess& process) = 0;
  // The runtime a service launched, kept where the next process of the same
  // service finds it (under the service's own key, gone with the service);
  // an id of 0 when none was kept.
  virtual void RecordLaunched(const std::string& service,
                              const LaunchedProcess& process) = 0;
  virtual LaunchedProcess RecalledLaunched(const std::string& service) = 0;
};

// Told whenever the activity log's destination changes.
class LogPublisher {
 public:
  virtual ~LogPublisher() = default;
  virtual void PublishLog(const LogDestination& destination) = 0;
};

// The service's own thread: told where the log goes, and the one that
// learns whether the Service Control Manager started this process as its
// service, which it names at the start.
class ServiceThread : public LogPublisher {
 public:
  virtual bool StartedByServiceManager() = 0;
};

// Every role: only the module, which composes the parts, takes it whole.
class ModuleSystem : public Clock,
                     public ModuleFiles,
                     public EngineNetwork,
                     public FileSecurity,
                     public CodePage,
                     public EventLog,
                     public ThisProcess,
                     public LaunchedProcesses,
                     public ServiceThread {};

// The members of the service control that the module uses.
class ServiceControl {
 public:
  virtual ~ServiceControl() = default;
  virtual void SetServiceName(const std::string& name) = 0;
  virtual void SetDisplayName(const std::string& name) = 0;
  virtual bool IsInstalled() = 0;
  // false with the system's reason when the registration fails; warning
  // says what the system refused of a registration that worked.
  virtual bool Install(std::string* error, std::string* warning) = 0;
  virtual bool Uninstall(std::string* error) = 0;
  // The service's name as a source of the Application event log, whose
  // texts are in this program; false with the reason.
  virtual bool AddEventSource(std::string* error) = 0;
  virtual bool RemoveEventSource(std::string* error) = 0;
  // The service registered for this very program file, whatever name it
  // was installed under; false when there is none.
  virtual bool FindServiceOfThisProgram(std::string* name) = 0;
  // The command line registered for the service of this name; empty when
  // there is none or it cannot be read.
  virtual std::string RegisteredProgram() = 0;
  // The service's state as the manager reports it (the manager's numbers:
  // 1 stopped to 4 running); 0 when it cannot be queried.
  virtual uint32_t QueryState() = 0;
  // Has the running service re-read its settings; false with the reason.
  virtual bool AskToRereadSettings(std::string* error) = 0;
};

}  // namespace morvasvc

#endif
