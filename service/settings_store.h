#ifndef MORVASVC_SETTINGS_STORE_H_
#define MORVASVC_SETTINGS_STORE_H_

#include <cstdint>
#include <string>

#include "activity_log.h"
#include "module_system.h"
#include "settings.h"

namespace morvasvc {

// The two settings files: the engine's engineSettings.jsd, read only, and
// the module's own ntServiceSettings.jsd in the current folder. A file that
// another program holds is waited for; what was never read is never saved.
class SettingsStore {
 public:
  SettingsStore(Clock& clock, ModuleFiles& files, CodePage& codePage,
                ActivityLog& log)
      : clock_(clock), files_(files), codePage_(codePage), log_(log) {}

  // What engineSettings.jsd says, defaults where it cannot be read.
  struct EngineSettings {
    std::string file;
    OpenResult read = OpenResult::kMissing;
    uint32_t port = kDefaultEnginePort;
    std::string activityLogPath;
  };
  // Reads engineSettings.jsd in folder. A file that cannot be read gets its
  // entry at once; a log whose path is not yet known keeps it.
  EngineSettings ReadEngineSettings(const std::string& folder);
  // Once the log has the path the settings name: what the read could not
  // do, as entries and events.
  void ReportEngineSettings(const EngineSettings& settings);

  // Reads the module's file and returns the values to show; the hidden ones
  // are kept here. Only a missing file is written (with the defaults); a
  // write that fails says why in statusText.
  ModuleSettings Load(std::string* statusText);
  // Why the values shown are not the file's, for the window's status line;
  // empty when they are.
  std::string ShownProblem() const;
  // The shown values with the hidden ones the file had.
  ModuleSettings WithHidden(int32_t period, const std::string& javaExe) const;
  // false when the file could not be written (statusText says so).
  bool Write(const ModuleSettings& settings, std::string* statusText);

  enum class SaveOutcome { kSaved, kRefused, kFailed };
  // The window's save: the file is read again, and only what the operator
  // changed from what was shown replaces its values. Refused while the file
  // is held or damaged. *shown gets the values to show once saved.
  SaveOutcome SaveEdited(int32_t period, const std::string& javaExe,
                         ModuleSettings* shown, std::string* statusText);

  // The running service's re-read: *settings gets the file's values when
  // it is read whole; otherwise they stay as they are (a held, missing,
  // damaged or unreadable file), one error entry says why, and false.
  bool Reread(ModuleSettings* settings);

  const std::string* Hidden() const { return loaded_.reserved; }

 private:
  enum class Read { kWhole, kMissing, kHeld, kDamaged, kUnreadable };
  // What cannot be read whole keeps its default in settings.
  Read ReadModuleFile(ModuleSettings* settings);
  ModuleSettings Take(const ModuleSettings& settings);
  static std::string Problem(Read read);

  Clock& clock_;
  ModuleFiles& files_;
  CodePage& codePage_;
  ActivityLog& log_;
  // How the last load went, and the values the window was given then: a
  // save keeps from the file what the operator did not change.
  Read lastRead_ = Read::kWhole;
  ModuleSettings loaded_;
};

}  // namespace morvasvc

#endif
