#include "crash_report.h"

#include "shown_windows.h"

namespace morvasvc {

std::string CrashReportName(uint32_t processId) {
  return "hs_err_pid" + std::to_string(processId) + ".log";
}

std::string CrashReportHeader(const std::string& report) {
  std::string header;
  for (size_t at = 0;
       at < report.size() && header.size() <= kCrashReportQuoteBound;) {
    size_t end = report.find('\n', at);
    if (end == std::string::npos) end = report.size();
    const std::string line = report.substr(at, end - at);
    at = end + 1;
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos && header.empty()) continue;
    // The header ends at its first blank line, or whatever is not a comment.
    if (first == std::string::npos || line[first] != '#') break;
    if (line.find_first_not_of("# \t\r") == std::string::npos) continue;
    const size_t last = line.find_last_not_of(" \t\r");
    header += (header.empty() ? "" : " ") +
              line.substr(first, last - first + 1);
  }
  return morva_common::OneLine(header, kCrashReportQuoteBound);
}

std::string QuoteCrashReport(ModuleFiles& files,
                             const std::vector<std::string>& folders,
                             uint32_t processId) {
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    const std::string path = folder + "\\" + CrashReportName(processId);
    std::string report, error;
    switch (
        files.ReadFileStart(path, kCrashReportReadBytes, &report, &error)) {
      case OpenResult::kMissing:
        continue;
      case OpenResult::kDone: {
        const std::string header = CrashReportHeader(report);
        return ". Java's crash report " + path +
               (header.empty() ? " has no header" : ": " + header);
      }
      case OpenResult::kBusy:
        return ". Java's crash report " + path +
               " could not be read: another program holds it";
      case OpenResult::kFailed:
        return ". Java's crash report " + path + " could not be read: " +
               error;
    }
  }
  return std::string();
}

}  // namespace morvasvc
