#ifndef MORVASVC_TESTING_FAKE_MODULE_SYSTEM_H_
#define MORVASVC_TESTING_FAKE_MODULE_SYSTEM_H_

// In-memory system and service control for the service module's unit tests.

#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "module_system.h"

namespace morvasvc {

class FakeModuleSystem : public ModuleSystem {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> folders = {"C:\\Morva\\data\\logs"};
  std::map<std::string, int> busyFor;  // path: attempts that find it held
  // path: appends after which another program takes the file for good
  std::map<std::string, int> heldAfterAppends;
  std::set<std::string> readOnly;
  std::set<std::string> unreadable;  // there, but every read fails
  int64_t now = 1173362709;  // 2007-03-08 14:05:09 UTC
  uint64_t tickMs = 3600000;  // the steady clock; every Sleep advances it
  bool clockStands = false;   // unless it stands
  std::string searchResult = "C:\\Morva\\morva7.jar";
  std::string currentDir = "C:\\Morva";
  bool currentDirReadable = true;
  std::vector<std::string> jars;
  bool shellAccepts = true;
  std::string commandLine = "\"C:\\Morva\\Morvasvc.exe\"";
  bool engineListening = false;
  int engineAnswersFor = -1;  // connections it still accepts; -1: no end
  bool socketProblem = false;

  // What the module did.
  std::vector<uint32_t> sleeps;
  struct ShellCall {
    std::string file, parameters, directory;
    ShellPrompts prompts;
  };
  std::vector<ShellCall> shellCalls;
  std::vector<uint16_t> connectPorts;
  std::vector<uint32_t> connectBounds;
  std::vector<std::string> sent;
  std::vector<uint32_t> exitCodes;

  // A path as the module gives it, made absolute against the current folder.
  std::string Resolve(const std::string& path) const {
    if (path.size() > 1 && (path[1] == ':' || path[0] == '\\')) return path;
    return currentDir + "\\" + path;
  }
  std::string& File(const std::string& path) { return files[Resolve(path)]; }
  std::string& LogFile() { return File("data\\logs\\activityLog.jsd"); }

  // Counts one attempt against a held file.
  bool Held(const std::string& full) {
    if (busyFor[full] <= 0) return false;
    --busyFor[full];
    return true;
  }
  OpenResult ReadWholeFile(const std::string& path,
                           std::string* bytes) override {
    const std::string full = Resolve(path);
    if (Held(full)) return OpenResult::kBusy;
    if (unreadable.count(full)) return OpenResult::kFailed;
    auto it = files.find(full);
    if (it == files.end()) return OpenResult::kMissing;
    *bytes = it->second;
    return OpenResult::kDone;
  }
  // The paths whose start was read, in order.
  std::vector<std::string> startReads;
  OpenResult ReadFileStart(const std::string& path, size_t maxBytes,
                           std::string* bytes, std::string* error) override {
    startReads.push_back(path);
    const OpenResult result = ReadWholeFile(path, bytes);
    if (result == OpenResult::kFailed) *error = "Access is denied.";
    if (bytes->size() > maxBytes) bytes->resize(maxBytes);
    return result;
  }
  // Paths that name one file: each is its own, and these pairs too.
  std::set<std::pair<std::string, std::string>> sameFiles;
  FileIdentity CompareFiles(const std::string& first,
                            const std::string& second) override {
    if (first == second || sameFiles.count({first, second}) ||
        sameFiles.count({second, first})) {
      return FileIdentity::kSame;
    }
    return files.count(first) && files.count(second) ? FileIdentity::kOther
                                                     : FileIdentity::kUnknown;
  }
  bool IsFolder(const std::string& path) override {
    return folders.count(path) > 0;
  }
  std::string TemporaryFolder() override { return "C:\\windows\\TEMP"; }
  std::map<std::string, std::string> environment;
  std::string EnvironmentVariable(const std::string& name) override {
    const auto it = environment.find(name);
    return it == environment.end() ? std::string() : it->second;
  }
  OpenResult WriteWholeFile(const std::string& path,
                            const std::string& bytes) override {
    const std::string full = Resolve(path);
    if (Held(full)) return OpenResult::kBusy;
    if (readOnly.count(full)) return OpenResult::kFailed;
    files[full] = bytes;
    return OpenResult::kDone;
  }
  OpenResult AppendToFile(const std::string& path,
                          const std::string& bytes) override {
    const std::string full = Resolve(path);
    if (Held(full)) return OpenResult::kBusy;
    if (!folders.count(full.substr(0, full.find_last_of('\\')))) {
      return OpenResult::kFailed;
    }
    files[full] += bytes;
    if (heldAfterAppends[full] > 0 && --heldAfterAppends[full] == 0) {
      busyFor[full] = 1 << 30;
    }
    return OpenResult::kDone;
  }
  void Sleep(uint32_t ms) override {
    sleeps.push_back(ms);
    if (!clockStands) tickMs += ms;
  }

  int64_t Now() override { return now; }
  uint64_t TickMs() override { return tickMs; }
  // Local time is UTC here, so time stamps are predictable.
  bool ToLocalTime(int64_t time, std::tm* local) override {
    const std::time_t t = static_cast<std::time_t>(time);
    const std::tm* utc = std::gmtime(&t);
    if (!utc) return false;
    *local = *utc;
    return true;
  }

  // The install folder's jar is found there; other names as listed.
  std::map<std::string, std::string> found;
  bool SearchFile(const std::string& name, std::string* fullPath) override {
    const auto it = found.find(name);
    if (name != "morva7.jar") {
      if (it == found.end()) return false;
      *fullPath = it->second;
      return true;
    }
    if (searchResult.empty()) return false;
    *fullPath = searchResult;
    return true;
  }
  std::map<std::string, std::string> versions;
  std::string FileVersion(const std::string& path) override {
    const auto it = versions.find(path);
    return it == versions.end() ? std::string() : it->second;
  }
  bool wow64 = false;
  bool RunsUnderWow64() override { return wow64; }
  std::string SystemFolder() override { return "C:\\windows\\system32"; }
  std::string WindowsFolder() override { return "C:\\windows"; }
  bool GetCurrentDir(std::string* dir) override {
    if (!currentDirReadable) return false;
    *dir = currentDir;
    return true;
  }
  bool SetCurrentDir(const std::string& dir) override {
    currentDir = dir;
    return true;
  }
  std::vector<std::string> FindEntries(const std::string&) override {
    return jars;
  }
  bool nobodySeesWindows = false;
  bool NobodySeesWindows() override { return nobodySeesWindows; }
  bool startedByServiceManager = false;
  bool StartedByServiceManager() override { return startedByServiceManager; }
  // Each launch starts a process that runs until it is ended or told to
  // be gone; ids come round again, with another creation time.
  uint32_t nextProcessId = 4242;
  std::map<uint32_t, LaunchedProcess> processes;  // running, by id
  std::vector<uint32_t> endedProcesses;
  std::string processTrouble;  // when set, no process can be checked
  bool ShellOpen(const std::string& file, const std::string& parameters,
                 const std::string& directory, ShellPrompts prompts,
                 std::string* error, LaunchedProcess* launched) override {
    shellCalls.push_back({file, parameters, directory, prompts});
    if (!shellAccepts) {
      *error = "The system cannot find the file specified.";
      return false;
    }
    if (launched) {
      *launched = {nextProcessId, tickMs};
      processes[nextProcessId] = *launched;
    }
    return true;
  }
  ProcessState CheckProcess(const LaunchedProcess& process,
                            std::string* error) override {
    if (!processTrouble.empty()) {
      *error = processTrouble;
      return ProcessState::kUnknown;
    }
    auto it = processes.find(process.id);
    return it != processes.end() && it->second.createdAt == process.createdAt
               ? ProcessState::kRunning
               : ProcessState::kGone;
  }
  // The boxes each process shows until they are answered; a box in
  // stuckBoxes stays after its button is pressed.
  std::map<uint32_t, std::vector<morva_common::ShownWindow>> boxes;
  std::set<std::string> stuckBoxes;
  std::vector<AnsweredBox> AnswerDialogBoxes(
      const LaunchedProcess& process) override {
    std::string error;
    if (CheckProcess(process, &error) != ProcessState::kRunning) return {};
    std::vector<AnsweredBox> answered;
    std::vector<morva_common::ShownWindow> left;
    for (const morva_common::ShownWindow& box : boxes[process.id]) {
      AnsweredBox result{box, morva_common::AcknowledgingButton(box.buttons)};
      result.closed = result.pressed && !stuckBoxes.count(box.caption);
      if (!result.closed) left.push_back(box);
      answered.push_back(result);
    }
    boxes[process.id] = left;
    return answered;
  }
  std::map<std::string, LaunchedProcess> recorded;  // by service
  void RecordLaunched(const std::string& service,
                      const LaunchedProcess& process) override {
    recorded[service] = process;
  }
  LaunchedProcess RecalledLaunched(const std::string& service) override {
    return recorded[service];
  }
  bool EndLaunchedProcess(const LaunchedProcess& process,
                          std::string* error) override {
    if (CheckProcess(process, error) != ProcessState::kRunning) {
      *error = "Access is denied.";
      return false;
    }
    processes.erase(process.id);
    endedProcesses.push_back(process.id);
    return true;
  }

  class FakeConnection : public EngineConnection {
   public:
    explicit FakeConnection(std::vector<std::string>* sent) : sent_(sent) {}
    void SendAll(const std::string& bytes) override { sent_->push_back(bytes); }

   private:
    std::vector<std::string>* sent_;
  };
  // Who listens on which port; listenerTrouble: the system cannot tell.
  std::map<uint16_t, PortOwner> listeners;
  std::string listenerTrouble;
  bool ListenerOf(uint16_t port, PortOwner* owner,
                  std::string* error) override {
    *error = listenerTrouble;
    auto it = listeners.find(port);
    if (!listenerTrouble.empty() || it == listeners.end()) return false;
    *owner = it->second;
    return true;
  }
  ConnectResult ConnectToEngine(
      uint16_t port, uint32_t timeoutMs,
      std::unique_ptr<EngineConnection>* connection) override {
    connectPorts.push_back(port);
    connectBounds.push_back(timeoutMs);
    if (socketProblem) return ConnectResult::kSocketProblem;
    if (!engineListening || engineAnswersFor == 0) return ConnectResult::kFailed;
    if (engineAnswersFor > 0) --engineAnswersFor;
    connection->reset(new FakeConnection(&sent));
    return ConnectResult::kConnected;
  }

  // Files and folders with an owner and access list; others are missing.
  std::map<std::string, ObjectSecurity> security;
  std::set<std::string> securityUnreadable;
  std::set<std::string> administrators;
  OpenResult ReadSecurity(const std::string& path, ObjectSecurity* result,
                          std::string* error) override {
    if (securityUnreadable.count(path)) {
      *error = "Access is denied.";
      return OpenResult::kFailed;
    }
    auto it = security.find(path);
    if (it == security.end()) return OpenResult::kMissing;
    *result = it->second;
    return OpenResult::kDone;
  }
  // A lookup beyond this machine takes this long, as with a domain
  // controller that does not answer.
  uint64_t remoteLookupMs = 0;
  std::set<std::string> listedAdministrators;
  void LookUp(const std::string& sid) {
    if (sid.compare(0, 9, "S-1-5-21-") == 0 &&
        sid.compare(0, 15, "S-1-5-21-1-2-3-") != 0) {
      tickMs += remoteLookupMs;
    }
  }
  bool IsAdministrator(const std::string& sid) override {
    LookUp(sid);
    return administrators.count(sid) > 0;
  }
  bool IsListedAdministrator(const std::string& sid) override {
    return listedAdministrators.count(sid) > 0;
  }
  std::string AccountName(const std::string& sid) override {
    LookUp(sid);
    return sid == "S-1-5-32-545" ? "BUILTIN\\Users" : sid;
  }
  std::string LocalAccountDomain() override { return "S-1-5-21-1-2-3"; }

  std::string LowerCase(const std::string& text) override {
    std::string lower = text;
    for (char& c : lower) {
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lower;
  }
  bool IsLeadByte(unsigned char) override { return false; }
  std::string WideToAnsi(const std::u16string& text) override {
    std::string ansi;
    for (char16_t c : text) ansi += c < 0x100 ? static_cast<char>(c) : '?';
    return ansi;
  }

  struct Event {
    std::string source;
    EventType type;
    std::string text;
    uint16_t id;
  };
  std::vector<Event> events;
  void ReportToEventLog(const std::string& source, EventType type,
                        EventKind kind, const std::string& text) override {
    events.push_back({source, type, text, EventId(kind, type)});
  }

  std::vector<LogDestination> published;
  void PublishLog(const LogDestination& destination) override {
    published.push_back(destination);
  }

  std::string CommandLine() override { return commandLine; }
  std::string ProgramPath() override { return "C:\\Morva\\Morvasvc.exe"; }
  void EndProcess(uint32_t exitCode) override { exitCodes.push_back(exitCode); }
};

class FakeServiceControl : public ServiceControl {
 public:
  bool installed = false;
  bool refuses = false;
  bool refusesEventSource = false;
  std::set<std::string> eventSources;
  std::string name_;  // the service name it was last given
  std::string installWarning;
  std::string ownService;  // registered for this program under this name
  std::string installedAs;  // the name the last install registered
  std::vector<std::string> calls;

  void SetServiceName(const std::string& name) override {
    calls.push_back("ServiceName=" + name);
    name_ = name;
  }
  void SetDisplayName(const std::string& name) override {
    calls.push_back("DisplayName=" + name);
  }
  // Names that other programs' services hold.
  std::set<std::string> otherPrograms;
  bool IsInstalled() override {
    calls.push_back("IsInstalled");
    return installed || otherPrograms.count(name_) > 0;
  }
  bool Install(std::string* error, std::string* warning) override {
    calls.push_back("Install");
    if (refuses) {
      *error = "Access is denied.";
      return false;
    }
    *warning = installWarning;
    installed = true;
    installedAs = name_;
    return true;
  }
  bool Uninstall(std::string* error) override {
    calls.push_back("Uninstall");
    if (refuses) {
      *error = "Access is denied.";
      return false;
    }
    installed = false;
    otherPrograms.erase(name_);
    removedAs = name_;
    return true;
  }
  std::string removedAs;
  bool AddEventSource(std::string* error) override {
    calls.push_back("AddEventSource");
    if (refusesEventSource) {
      *error = "Access is denied.";
      return false;
    }
    eventSources.insert(name_);
    return true;
  }
  bool RemoveEventSource(std::string* error) override {
    calls.push_back("RemoveEventSource");
    if (refusesEventSource) {
      *error = "Access is denied.";
      return false;
    }
    eventSources.erase(name_);
    return true;
  }
  bool FindServiceOfThisProgram(std::string* name) override {
    *name = ownService;
    return !ownService.empty();
  }
  std::string registeredProgram = "\"C:\\Other\\Morvasvc.exe\"";
  std::string RegisteredProgram() override {
    return installed || otherPrograms.count(name_) ? registeredProgram
                                                   : std::string();
  }
  uint32_t state = 1;  // stopped
  bool refusesReread = false;
  uint32_t QueryState() override { return installed ? state : 0; }
  bool AskToRereadSettings(std::string* error) override {
    calls.push_back("Reread");
    if (refusesReread) *error = "The service cannot accept control messages "
                                "at this time.";
    return !refusesReread;
  }
};

}  // namespace morvasvc

#endif
