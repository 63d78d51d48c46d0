#include "morva_module.h"

#include <functional>
#include <vector>

#include "module_texts.h"
#include "settings.h"
#include "text_mode.h"

namespace morvasvc {

namespace {

const char kModuleSettingsFile[] = "ntServiceSettings.jsd";
// Another process holding the log gets this long to let go of it; a tick
// must never wait for long.
const uint32_t kLogBusyBoundMs = 200;
const uint32_t kLogRetryMs = 20;
// The window and the running service each hold the settings file for a
// moment; a busy file is not a missing one.
const uint32_t kSettingsBusyBoundMs = 5000;
const uint32_t kSettingsRetryMs = 100;
// An engine that hangs with a full connection queue answers nothing at all.
const uint32_t kConnectBoundMs = 3000;
// How long a stop waits for the engine to let go of its port.
const uint32_t kStopWaitBoundMs = 30000;
const uint32_t kStopProbeMs = 250;
// The same warning reaches the event log at most this often.
const uint64_t kRelaunchReportMs = 600000;

// Repeats operation while another process holds the file, for about boundMs.
// The count of attempts bounds it too, should the clock stand still.
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

}  // namespace

MorvaModule::MorvaModule(ModuleSystem& system, ServiceControl& control)
    : system_(system), control_(control) {}

void AppendActivityEntry(ModuleSystem& system, const std::string& path,
                         const std::string& message) {
  std::tm localTime;
  const bool haveTime = system.ToLocalTime(system.Now(), &localTime);
  const std::string entry = ToTextMode(FormatLogEntry(
      FormatLogTimestamp(haveTime ? &localTime : nullptr), message));
  if (path.empty()) return;
  RetryWhileBusy(
      system, [&] { return system.AppendToFile(path, entry); },
      kLogBusyBoundMs, kLogRetryMs);
}

void MorvaModule::LogActivity(const std::string& message) {
  AppendActivityEntry(system_, activityLogPath, message);
}

void MorvaModule::FindInstallDir() {
  std::string found;
  if (!system_.SearchFile("morva7.jar", &found)) {
    LogActivity(
        "NT Service Module: ERROR: NT Service module installed in wrong "
        "directory.  Please uninstall and reinstall NT service module into "
        "main install folder");
    // Without the jar, the program's own folder is the best guess: settings
    // then land beside the program, never in the system's folder.
    found = system_.ProgramPath();
  }
  const size_t separator = found.find_last_of('\\');
  installDir = separator == std::string::npos ? std::string()
                                              : found.substr(0, separator);
  system_.SetCurrentDir(installDir);
}

std::string MorvaModule::GetWorkingDir() {
  std::string dir;
  if (system_.GetCurrentDir(&dir)) return dir;
  statusText = "Failed to determine current directory";
  LogActivity(statusText);
  return std::string();
}

void MorvaModule::LaunchEngine() {
  javaExe = NormalizeJavaExe(javaExe);
  const std::string arguments =
      BuildEngineArguments(system_.FindEntries("*.jar"));
  LogActivity("NT Service Module: Engine path = " + javaExe);
  LogActivity("NT Service Module: Engine arguments = " + arguments);
  // Cut off, the class path would lose a jar and the main class in silence.
  if (!EngineCommandLineFits(javaExe, arguments)) {
    LogError(
        "NT Service Module: ERROR: Engine could not be launched: the engine "
        "path and arguments are longer than the " +
        std::to_string(kCommandLineLimit) +
        " characters a command line can hold");
    return;
  }
  std::string error;
  // Only the service launches the engine, and nobody sees its desktop.
  if (!system_.ShellOpen(javaExe, arguments, installDir, ShellPrompts::kNever,
                         &error)) {
    LogError("NT Service Module: ERROR: Engine could not be launched: " +
             error);
  }
}

// Both keys come from one reading, so from one version of the file.
void MorvaModule::ReadEngineSettings() {
  const std::string path = GetWorkingDir() + "\\engineSettings.jsd";
  std::string bytes;
  const OpenResult read = RetryWhileBusy(
      system_, [&] { return system_.ReadWholeFile(path, &bytes); },
      kSettingsBusyBoundMs, kSettingsRetryMs);
  const std::string text = FromTextMode(bytes);
  const auto setting = [&](const char* key, const char* defaultValue) {
    if (read == OpenResult::kDone) {
      return FindSetting(text, key, defaultValue, [this](unsigned char b) {
        return system_.IsLeadByte(b);
      });
    }
    // A held file is not a missing one: it gets one entry of its own.
    if (read != OpenResult::kBusy) {
      LogActivity("Failed to read settings from: " + path);
    }
    return std::string(defaultValue);
  };
  activityLogPath = setting("DATA_FOLDER", "data") + "\\logs\\activityLog.jsd";
  enginePort =
      static_cast<uint32_t>(ParseDecimal(setting("ENGINE_PORT", "1967")));
  if (read == OpenResult::kBusy) {
    LogError("NT Service Module: ERROR: " + path +
             " is held by another program; default settings are used for "
             "this run");
  } else if (read == OpenResult::kFailed) {
    ReportServiceEvent(EventType::kError,
                       "Failed to read settings from: " + path);
  }
}

MorvaModule::SettingsRead MorvaModule::ReadModuleSettingsFile(
    ModuleSettings* settings) {
  std::string bytes;
  const OpenResult read = RetryWhileBusy(
      system_,
      [&] { return system_.ReadWholeFile(kModuleSettingsFile, &bytes); },
      kSettingsBusyBoundMs, kSettingsRetryMs);
  switch (read) {
    case OpenResult::kBusy:
      return SettingsRead::kHeld;
    case OpenResult::kMissing:
      return SettingsRead::kMissing;
    case OpenResult::kFailed:
      return SettingsRead::kUnreadable;
    case OpenResult::kDone:
      break;
  }
  return DecodeModuleSettings(FromTextMode(bytes),
                              [this](const std::u16string& w) {
                                return system_.WideToAnsi(w);
                              },
                              settings)
             ? SettingsRead::kWhole
             : SettingsRead::kDamaged;
}

void MorvaModule::TakeModuleSettings(const ModuleSettings& settings) {
  period = settings.period;
  javaExe = settings.javaExe.empty() ? kDefaultJavaExe : settings.javaExe;
  reserved1 = settings.reserved[0];
  reserved2 = settings.reserved[1];
  reserved3 = settings.reserved[2];
  reserved4 = settings.reserved[3];
  reserved5 = settings.reserved[4];
  shownPeriod_ = period;
  shownJavaExe_ = javaExe;
}

std::string MorvaModule::SettingsProblem(SettingsRead read) {
  const std::string file = kModuleSettingsFile;
  switch (read) {
    case SettingsRead::kHeld:
      return file + " is held by another program";
    case SettingsRead::kDamaged:
      return file + " is damaged";
    case SettingsRead::kUnreadable:
      return file + " could not be read";
    default:
      return std::string();
  }
}

void MorvaModule::LoadModuleSettings() {
  ModuleSettings settings;
  moduleSettingsRead_ = ReadModuleSettingsFile(&settings);
  TakeModuleSettings(settings);
  // Only a missing file is written at once; any other holds the operator's
  // settings and stays as it is until the next save.
  switch (moduleSettingsRead_) {
    case SettingsRead::kWhole:
      return;
    case SettingsRead::kMissing:
      if (!SaveModuleSettings()) {
        ReportServiceEvent(EventType::kError, statusText);
      }
      return;
    case SettingsRead::kDamaged:
      LogError(
          "NT Service Module: ERROR: " + SettingsProblem(moduleSettingsRead_) +
          "; defaults stand in for what cannot be read until the "
          "settings are saved again");
      return;
    default:
      LogError(
          "NT Service Module: ERROR: " + SettingsProblem(moduleSettingsRead_) +
          "; default settings are used for this run");
      return;
  }
}

ModuleSettings MorvaModule::CurrentModuleSettings() const {
  ModuleSettings settings;
  settings.period = period;
  settings.javaExe = javaExe;
  settings.reserved[0] = reserved1;
  settings.reserved[1] = reserved2;
  settings.reserved[2] = reserved3;
  settings.reserved[3] = reserved4;
  settings.reserved[4] = reserved5;
  return settings;
}

bool MorvaModule::SaveModuleSettings() {
  return WriteModuleSettings(CurrentModuleSettings());
}

bool MorvaModule::WriteModuleSettings(const ModuleSettings& settings) {
  const std::string bytes = ToTextMode(EncodeModuleSettings(settings));
  const OpenResult written = RetryWhileBusy(
      system_,
      [&] { return system_.WriteWholeFile(kModuleSettingsFile, bytes); },
      kSettingsBusyBoundMs, kSettingsRetryMs);
  if (written != OpenResult::kDone) {
    statusText = "ERROR: NT Service module maybe installed in wrong folder";
    return false;
  }
  return true;
}

ConnectResult MorvaModule::ConnectToEngine(
    std::unique_ptr<EngineConnection>* connection) {
  // Cut to 16 bits, a bad port would reach whatever program owns another.
  if (!IsValidEnginePort(enginePort)) return ConnectResult::kFailed;
  const ConnectResult result = system_.ConnectToEngine(
      static_cast<uint16_t>(enginePort), kConnectBoundMs, connection);
  if (result == ConnectResult::kSocketProblem) {
    statusText = "NT Service Module: Socket Problem";
    LogActivity(statusText);
  }
  return result;
}

bool MorvaModule::IsEngineRunning() {
  std::unique_ptr<EngineConnection> connection;
  const ConnectResult result = ConnectToEngine(&connection);
  if (result == ConnectResult::kFailed) {
    statusText = "NT Service Module: Engine is not running";
    LogActivity(statusText);
  }
  if (result != ConnectResult::kConnected) return false;
  connection->SendAll(kConfirmRunningCommand);
  return true;
}

bool MorvaModule::RequestEngineShutdown() {
  std::unique_ptr<EngineConnection> connection;
  const ConnectResult result = ConnectToEngine(&connection);
  if (result == ConnectResult::kFailed) {
    LogActivity(
        "NT Service Module: Engine is not running or not responding on "
        "selected port: " +
        std::to_string(static_cast<int32_t>(enginePort)));
  }
  if (result != ConnectResult::kConnected) return false;
  LogActivity("NT Service Module: Sending Shutdown request to engine");
  connection->SendAll(kShutdownCommand);
  return true;
}

void MorvaModule::DeriveServiceName() {
  serviceName = ServiceNameForFolder(system_.LowerCase(installDir));
  control_.SetServiceName(serviceName);
  control_.SetDisplayName(serviceName);
}

void MorvaModule::RunStartUpSequence() {
  FindInstallDir();
  ReadEngineSettings();
  LoadModuleSettings();
  DeriveServiceName();
  if (!control_.IsInstalled()) {
    statusText = "Service is not installed.  Click on [Install Service]";
  }
  // The window would otherwise show defaults as if they were the file's.
  if (!SettingsProblem(moduleSettingsRead_).empty()) {
    statusText = "ERROR: " + SettingsProblem(moduleSettingsRead_) +
                 (moduleSettingsRead_ == SettingsRead::kDamaged
                      ? "; the window shows defaults for what cannot be read"
                      : "; the window shows default settings");
  }
  HandleCommandLine();
}

// Fails neither the install nor the remove: the service works without it.
void MorvaModule::UpdateEventSource(bool add) {
  std::string error;
  if (add ? !control_.AddEventSource(&error)
          : !control_.RemoveEventSource(&error)) {
    LogActivity("NT Service Module: WARNING: The event log source could not "
                "be " +
                std::string(add ? "registered: " : "removed: ") + error);
  }
}

bool MorvaModule::EndQuietlyOnStartUpFailure(const std::string& reason) {
  if (!system_.RunByServiceManager() &&
      DetectCommandLineAction(system_.CommandLine()) ==
          CommandLineAction::kNone) {
    return false;
  }
  FindInstallDir();
  ReadEngineSettings();
  LogActivity("NT Service Module: ERROR: " + reason);
  system_.EndProcess(1);
  return true;
}

void MorvaModule::HandleCommandLine() {
  std::string commandLine = system_.CommandLine();
  const size_t begin = commandLine.find_first_not_of(" \t\n\v\f\r");
  const size_t end = commandLine.find_last_not_of(" \t\n\v\f\r");
  commandLine = begin == std::string::npos
                    ? std::string()
                    : commandLine.substr(begin, end - begin + 1);
  LogActivity("NT Service Module: commandline = " + commandLine);

  std::string error, warning;
  switch (DetectCommandLineAction(commandLine)) {
    case CommandLineAction::kNone:
      return;
    case CommandLineAction::kInstall:
      if (control_.IsInstalled()) {
        LogActivity(
            "NT Service Module commandline mode: Service is already Installed");
        system_.EndProcess(1);
        return;
      }
      if (serviceName.empty()) {
        LogActivity("NT Service Module commandline mode: Service name is empty");
        system_.EndProcess(1);
        return;
      }
      control_.SetServiceName(serviceName);
      control_.SetDisplayName(serviceName);
      if (!control_.Install(&error, &warning)) {
        LogActivity(
            "NT Service Module commandline mode: Service could not be "
            "installed: " +
            error);
        system_.EndProcess(1);
        return;
      }
      LogActivity(
          "NT Service Module: Service installed via commandline.  Service "
          "name = " +
          serviceName);
      if (!warning.empty()) {
        LogActivity("NT Service Module: WARNING: " + warning);
      }
      UpdateEventSource(true);
      system_.EndProcess(0);
      return;
    case CommandLineAction::kRemove:
      if (!control_.IsInstalled()) {
        LogActivity(
            "NT Service Module commandline mode: Service is not installed");
        system_.EndProcess(1);
        return;
      }
      if (!control_.Uninstall(&error)) {
        LogActivity(
            "NT Service Module commandline mode: Service could not be "
            "removed: " +
            error);
        system_.EndProcess(1);
        return;
      }
      LogActivity("NT Service Module: Service removed via commandline");
      UpdateEventSource(false);
      system_.EndProcess(0);
      return;
  }
}

}  // namespace morvasvc

namespace morvasvc {

void MorvaModule::ReportServiceEvent(EventType type,
                                     const std::string& message) {
  if (!reportsEvents_) return;
  system_.ReportToEventLog(serviceName, type,
                           message + "\r\n\r\nInstall folder: " + installDir);
}

void MorvaModule::LogError(const std::string& message) {
  LogActivity(message);
  ReportServiceEvent(EventType::kError, message);
}

void MorvaModule::OnServiceStart(const std::string&) {
  // Only the service reports to the event log: there is nobody else to see.
  reportsEvents_ = true;
  inServiceStart_ = true;
  serviceStopped_ = false;
  FindInstallDir();
  ReadEngineSettings();
  LogActivity("NT Service Module: Starting NT Service");
  LogActivity("NT Service Module: Service Working Directory = " +
              GetWorkingDir());
  LoadModuleSettings();
  LogActivity("NT Service Module: Engine Port = " +
              std::to_string(static_cast<int32_t>(enginePort)));
  if (!IsValidEnginePort(enginePort)) {
    LogError("NT Service Module: ERROR: Engine port " +
             std::to_string(static_cast<int32_t>(enginePort)) +
             " is not between 1 and 65535; the engine cannot be reached "
             "on it");
  }
  // Back-dated, so an engine that does not answer is launched at once.
  lastLaunchTime = static_cast<int64_t>(system_.TickMs()) - 120000;
  SuperviseEngine();
  inServiceStart_ = false;
  SetSupervisionTimer(SupervisionIntervalMs(period));
  LogActivity(
      "NT Service Module: NT Service Started. Service Working Directory = " +
      GetWorkingDir());
  statusText = "ERROR: Service should not be set to Interact with Desktop";
}

void MorvaModule::SuperviseEngine() {
  if (serviceStopped_ || IsEngineRunning()) return;
  // At most one launch a minute, however often the engine is found away; on
  // the steady clock, as a calendar set back would hold relaunches off for
  // hours and one set forward would let two come within a minute.
  if (static_cast<int64_t>(system_.TickMs()) < lastLaunchTime + 60000) return;
  LogActivity("NT Service Module: launching scheduler engine");
  LaunchEngine();
  lastLaunchTime = static_cast<int64_t>(system_.TickMs());
  // Launched again by a tick: the engine died. An engine that keeps dying
  // is reported once in ten minutes, with the count since the last report.
  if (inServiceStart_) return;
  ++relaunchesUnreported_;
  const uint64_t now = system_.TickMs();
  if (lastRelaunchReportMs_ &&
      now - *lastRelaunchReportMs_ < kRelaunchReportMs) {
    return;
  }
  ReportServiceEvent(
      EventType::kWarning,
      "NT Service Module: Engine is not running\r\nNT Service Module: "
      "launching scheduler engine\r\n\r\nLaunches after the engine was "
      "found not running, since the last report: " +
          std::to_string(relaunchesUnreported_));
  lastRelaunchReportMs_ = now;
  relaunchesUnreported_ = 0;
}

void MorvaModule::OnServiceStop() {
  // Also when the shutdown cannot be delivered: the process ends with the
  // service, and no tick may launch an engine after it.
  serviceStopped_ = true;
  KillSupervisionTimer();
  if (!RequestEngineShutdown()) return;
  WaitForEngineToLetGo();
  // Written once it is true.
  LogActivity("NT Service Module: NT Service has been Stopped");
}

// A start right after the stop would otherwise adopt an engine on its way
// out. Quiet probes; bounded by time and, should the clock stand, by count.
void MorvaModule::WaitForEngineToLetGo() {
  const uint64_t start = system_.TickMs();
  const uint32_t probes = kStopWaitBoundMs / kStopProbeMs + 1;
  for (uint32_t probe = 0; probe < probes; ++probe) {
    std::unique_ptr<EngineConnection> connection;
    if (system_.ConnectToEngine(static_cast<uint16_t>(enginePort),
                                kConnectBoundMs, &connection) !=
        ConnectResult::kConnected) {
      return;
    }
    connection.reset();
    if (system_.TickMs() - start >= kStopWaitBoundMs) break;
    system_.Sleep(kStopProbeMs);
  }
  const std::string warning =
      "NT Service Module: WARNING: Engine still answers on selected port " +
      std::to_string(static_cast<int32_t>(enginePort)) + " after " +
      std::to_string(kStopWaitBoundMs / 1000) +
      " seconds; the service stops without waiting longer";
  LogActivity(warning);
  ReportServiceEvent(EventType::kWarning, warning);
}

}  // namespace morvasvc

namespace morvasvc {

void MorvaModule::OnInstallService() {
  if (control_.IsInstalled()) {
    ShowMessage("Service is already Installed");
    return;
  }
  if (serviceName.empty()) {
    ShowMessage("Please enter a Service Name");
    return;
  }
  // The name the module state holds, not what the field may show unsaved.
  control_.SetServiceName(serviceName);
  control_.SetDisplayName(serviceName);
  std::string error, warning;
  const bool installed = control_.Install(&error, &warning);
  if (installed) {
    statusText =
        "Service Installed. Use Service Control Manager to Start Service.  "
        "This window can be closed now.  You only need this window to "
        "register the software, change settings or remove the service";
  } else {
    statusText = "ERROR: Service could not be installed: " + error;
  }
  ShowMessage(statusText);
  LogActivity("NT Service Module: " + statusText);
  if (!warning.empty()) {
    LogActivity("NT Service Module: WARNING: " + warning);
  }
  if (installed) UpdateEventSource(true);
  FillFields();
}

void MorvaModule::OnRemoveService() {
  if (!control_.IsInstalled()) {
    ShowMessage("Service is not Installed");
    return;
  }
  std::string error;
  if (control_.Uninstall(&error)) {
    UpdateEventSource(false);
    statusText = "Service has been removed.  Please logout of windows";
  } else {
    statusText = "ERROR: Service could not be removed: " + error;
    ShowMessage(statusText);
  }
  LogActivity("NT Service Module: " + statusText);
  FillFields();
}

void MorvaModule::OnSaveSettings() {
  // A refused field has had its message; saving the rest would surprise.
  if (!TakeFields()) return;
  if (period < 1 || period > 100000) return;
  // Read again first: a save never writes a value it never read, and keeps
  // from the file what the operator did not change in the window.
  ModuleSettings settings;
  const SettingsRead read = ReadModuleSettingsFile(&settings);
  if (!SettingsProblem(read).empty()) {
    statusText = "ERROR: Settings were not saved: " + SettingsProblem(read) +
                 (read == SettingsRead::kDamaged
                      ? "; saving would lose what cannot be read. Rename or "
                        "delete the file, then save again"
                      : ". Please try again");
    FillFields();
    ShowMessage(statusText);
    return;
  }
  if (read == SettingsRead::kMissing) settings = CurrentModuleSettings();
  if (period != shownPeriod_) settings.period = period;
  if (javaExe != shownJavaExe_) settings.javaExe = javaExe;
  const bool saved = WriteModuleSettings(settings);
  if (saved) TakeModuleSettings(settings);
  FillFields();
  if (!saved) {
    ShowMessage(statusText);
    return;
  }
  ShowMessage(
      "For settings to take effect, Stop and ReStart NT service using Service "
      "Control Manager");
  LogActivity("NT Service settings have been changed");
}

void MorvaModule::OnOpenHelp() {
  std::string error;
  system_.ShellOpen(GetWorkingDir() + "\\help\\english\\gui\\NTService.htm", "",
                    "", ShellPrompts::kOwnedByWindow, &error);
}

}  // namespace morvasvc
