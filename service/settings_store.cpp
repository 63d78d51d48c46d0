#include "settings_store.h"

#include "busy_retry.h"
#include "text_mode.h"

namespace morvasvc {

namespace {
const char kModuleSettingsFile[] = "ntServiceSettings.jsd";
// The window and the running service each hold the settings file for a
// moment; a busy file is not a missing one.
const uint32_t kSettingsBusyBoundMs = 5000;
const uint32_t kSettingsRetryMs = 100;
}  // namespace

// Both keys come from one reading, so from one version of the file.
SettingsStore::EngineSettings SettingsStore::ReadEngineSettings(
    const std::string& folder) {
  EngineSettings settings;
  settings.file = folder + "\\engineSettings.jsd";
  std::string bytes;
  settings.read = RetryWhileBusy(
      clock_, [&] { return files_.ReadWholeFile(settings.file, &bytes); },
      kSettingsBusyBoundMs, kSettingsRetryMs);
  std::string dataFolder = kDefaultDataFolder;
  if (settings.read == OpenResult::kDone) {
    const std::string text = FromTextMode(bytes);
    const auto isLeadByte = [this](unsigned char b) {
      return codePage_.IsLeadByte(b);
    };
    dataFolder = FindSetting(text, "DATA_FOLDER", dataFolder, isLeadByte);
    settings.port = static_cast<uint32_t>(ParseDecimal(FindSetting(
        text, "ENGINE_PORT", std::to_string(kDefaultEnginePort), isLeadByte)));
  } else if (settings.read != OpenResult::kBusy) {
    // A held file is not a missing one: it gets one entry of its own.
    log_.Log("Failed to read settings from: " + settings.file);
  }
  settings.activityLogPath = dataFolder + "\\logs\\activityLog.jsd";
  return settings;
}

void SettingsStore::ReportEngineSettings(const EngineSettings& settings) {
  switch (settings.read) {
    case OpenResult::kDone:
      return;
    case OpenResult::kBusy:
      log_.LogError("NT Service Module: ERROR: " + settings.file +
                    " is held by another program; default settings are used "
                    "for this run",
                    EventKind::kSettingsTrouble);
      return;
    default:
      // Its entry was made by the read, and is kept until the log's path
      // is known.
      if (settings.read == OpenResult::kFailed) {
        log_.ReportEvent(EventType::kError,
                         "Failed to read settings from: " + settings.file,
                         EventKind::kSettingsTrouble);
      }
      return;
  }
}

SettingsStore::Read SettingsStore::ReadModuleFile(ModuleSettings* settings) {
  std::string bytes;
  const OpenResult read = RetryWhileBusy(
      clock_,
      [&] { return files_.ReadWholeFile(kModuleSettingsFile, &bytes); },
      kSettingsBusyBoundMs, kSettingsRetryMs);
  switch (read) {
    case OpenResult::kBusy:
      return Read::kHeld;
    case OpenResult::kMissing:
      return Read::kMissing;
    case OpenResult::kFailed:
      return Read::kUnreadable;
    case OpenResult::kDone:
      break;
  }
  return DecodeModuleSettings(FromTextMode(bytes),
                              [this](const std::u16string& w) {
                                return codePage_.WideToAnsi(w);
                              },
                              settings)
             ? Read::kWhole
             : Read::kDamaged;
}

// An empty javaExe is the bundled runtime, in memory only.
ModuleSettings SettingsStore::Take(const ModuleSettings& settings) {
  loaded_ = settings;
  if (loaded_.javaExe.empty()) loaded_.javaExe = kDefaultJavaExe;
  return loaded_;
}

std::string SettingsStore::Problem(Read read) {
  const std::string file = kModuleSettingsFile;
  switch (read) {
    case Read::kHeld:
      return file + " is held by another program";
    case Read::kDamaged:
      return file + " is damaged";
    case Read::kUnreadable:
      return file + " could not be read";
    default:
      return std::string();
  }
}

ModuleSettings SettingsStore::Load(std::string* statusText) {
  ModuleSettings settings;
  lastRead_ = ReadModuleFile(&settings);
  const ModuleSettings shown = Take(settings);
  // Only a missing file is written at once; any other holds the operator's
  // settings and stays as it is until the next save.
  switch (lastRead_) {
    case Read::kWhole:
      break;
    case Read::kMissing:
      if (!Write(shown, statusText)) {
        log_.LogError("NT Service Module: " + *statusText,
                      EventKind::kSettingsTrouble);
      }
      break;
    case Read::kDamaged:
      log_.LogError("NT Service Module: ERROR: " + Problem(lastRead_) +
                    "; defaults stand in for what cannot be read until the "
                    "settings are saved again",
                    EventKind::kSettingsTrouble);
      break;
    default:
      log_.LogError("NT Service Module: ERROR: " + Problem(lastRead_) +
                    "; default settings are used for this run",
                    EventKind::kSettingsTrouble);
      break;
  }
  return shown;
}

bool SettingsStore::Reread(ModuleSettings* settings) {
  ModuleSettings read;
  const Read result = ReadModuleFile(&read);
  if (result == Read::kWhole) {
    *settings = Take(read);
    return true;
  }
  const std::string problem = result == Read::kMissing
                                  ? std::string(kModuleSettingsFile) +
                                        " is missing"
                                  : Problem(result);
  log_.LogError("NT Service Module: ERROR: " + problem +
                "; the running service keeps its settings",
                EventKind::kSettingsTrouble);
  return false;
}

std::string SettingsStore::ShownProblem() const {
  if (Problem(lastRead_).empty()) return std::string();
  return "ERROR: " + Problem(lastRead_) +
         (lastRead_ == Read::kDamaged
              ? "; the window shows defaults for what cannot be read"
              : "; the window shows default settings");
}

ModuleSettings SettingsStore::WithHidden(int32_t period,
                                         const std::string& javaExe) const {
  ModuleSettings settings = loaded_;
  settings.period = period;
  settings.javaExe = javaExe;
  return settings;
}

bool SettingsStore::Write(const ModuleSettings& settings,
                          std::string* statusText) {
  const std::string bytes = ToTextMode(EncodeModuleSettings(settings));
  const OpenResult written = RetryWhileBusy(
      clock_,
      [&] { return files_.WriteWholeFile(kModuleSettingsFile, bytes); },
      kSettingsBusyBoundMs, kSettingsRetryMs);
  if (written != OpenResult::kDone) {
    *statusText = "ERROR: NT Service module maybe installed in wrong folder";
    return false;
  }
  return true;
}

SettingsStore::SaveOutcome SettingsStore::SaveEdited(
    int32_t period, const std::string& javaExe, ModuleSettings* shown,
    std::string* statusText) {
  ModuleSettings settings;
  const Read read = ReadModuleFile(&settings);
  if (!Problem(read).empty()) {
    *statusText = "ERROR: Settings were not saved: " + Problem(read) +
                  (read == Read::kDamaged
                       ? "; saving would lose what cannot be read. Rename or "
                         "delete the file, then save again"
                       : ". Please try again");
    return SaveOutcome::kRefused;
  }
  if (read == Read::kMissing) settings = WithHidden(period, javaExe);
  if (period != loaded_.period) settings.period = period;
  if (javaExe != loaded_.javaExe) settings.javaExe = javaExe;
  if (!Write(settings, statusText)) return SaveOutcome::kFailed;
  *shown = Take(settings);
  return SaveOutcome::kSaved;
}

}  // namespace morvasvc
