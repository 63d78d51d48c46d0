#include "java_runtime.h"

#include "path_text.h"
#include "settings.h"

namespace morvasvc {

std::string NormalizeJavaExe(const std::string& javaExe) {
  if (javaExe.empty()) return kDefaultJavaExe;
  std::string collapsed;
  for (size_t i = 0; i < javaExe.size(); ++i) {
    collapsed += javaExe[i];
    if (javaExe[i] == '\\' && i + 1 < javaExe.size() && javaExe[i + 1] == '\\') {
      ++i;
    }
  }
  // A network share's path begins with a pair that must stay a pair.
  if (javaExe.compare(0, 2, "\\\\") == 0 &&
      collapsed.compare(0, 2, "\\\\") != 0) {
    collapsed.insert(0, 1, '\\');
  }
  return collapsed;
}

namespace {
uint32_t Little(const std::string& bytes, size_t at, size_t size) {
  uint32_t value = 0;
  for (size_t i = size; i-- > 0;) {
    value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  }
  return value;
}
}  // namespace

int ProgramBits(const std::string& header) {
  if (header.size() < 0x40 || header.compare(0, 2, "MZ") != 0) return 0;
  const uint32_t pe = Little(header, 0x3C, 4);
  if (pe > header.size() || header.size() - pe < 6 ||
      header.compare(pe, 4, std::string("PE\0\0", 4)) != 0) {
    return 0;
  }
  switch (Little(header, pe + 4, 2)) {
    case 0x014C:  // x86
      return 32;
    case 0x8664:  // x64
    case 0xAA64:  // ARM64
      return 64;
    default:
      return 0;
  }
}

std::string NativeSystemPath(const std::string& path,
                             const std::string& systemFolder,
                             const std::string& windowsFolder) {
  const std::string folder = systemFolder + "\\";
  if (systemFolder.empty() || !StartsWithPathText(path, folder)) return path;
  return windowsFolder + "\\Sysnative\\" + path.substr(folder.size());
}

JavaRuntime ResolveJava(const std::string& javaExe,
                        const std::string& installDir, ModuleFiles& files,
                        ThisProcess& process) {
  JavaRuntime java;
  java.configured = NormalizeJavaExe(javaExe);
  java.bare = java.configured.find_first_of("\\/:") == std::string::npos;
  java.launched = java.configured;
  if (java.bare) {
    if (!files.SearchFile(java.configured, &java.resolved)) {
      java.resolved.clear();
    }
  } else {
    java.resolved = IsFullyQualifiedPath(java.configured)
                        ? java.configured
                        : installDir + "\\" + java.configured;
    if (process.RunsUnderWow64()) {
      const std::string native = NativeSystemPath(
          java.resolved, process.SystemFolder(), process.WindowsFolder());
      java.sysnative = native != java.resolved;
      if (java.sysnative) java.launched = java.resolved = native;
    }
  }
  // The runtime reads these itself: the service's environment (its
  // Environment value in the registry) is where an administrator sets them.
  for (const char* name : {"JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS"}) {
    const std::string value = process.EnvironmentVariable(name);
    if (value.empty()) continue;
    java.options += (java.options.empty() ? "" : ", ") + std::string(name) +
                    " = " + value;
  }
  if (java.resolved.empty()) return java;
  std::string header, error;
  java.missing = files.ReadFileStart(java.resolved, kProgramHeaderBytes,
                                     &header, &error) == OpenResult::kMissing;
  if (!java.missing) {
    java.bits = ProgramBits(header);
    java.version = files.FileVersion(java.resolved);
  }
  return java;
}

void JavaReport::Say(const JavaRuntime& java) {
  std::string said = "NT Service Module: Java runtime = ";
  if (java.resolved.empty()) {
    said += java.configured + ", not found along the system's search path";
  } else if (java.missing) {
    said += java.resolved + ", which does not exist";
  } else {
    said += java.resolved +
            (java.bits ? ", a " + std::to_string(java.bits) + "-bit program"
                       : "") +
            (java.version.empty() ? "" : ", file version " + java.version);
  }
  if (java.sysnative) {
    said += "; launched through Sysnative: this 32-bit program would "
            "otherwise reach the 32-bit system folder";
  }
  if (!java.options.empty()) {
    said += "; the engine gets the options of the service's environment: " +
            java.options;
  }
  if (said == said_) return;
  said_ = said;
  log_.Log(said);
  if (java.bare) {
    log_.Log("NT Service Module: WARNING: Java path " + java.configured +
             " has no folder: a service sees changes to the system's search "
             "path only after Windows restarts; give the runtime's full "
             "path");
  }
}

}  // namespace morvasvc
