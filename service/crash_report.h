#ifndef MORVASVC_CRASH_REPORT_H_
#define MORVASVC_CRASH_REPORT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "module_system.h"

namespace morvasvc {

// A Java runtime that crashes writes this report into its current folder,
// or into the system's temporary folder where it cannot write there.
std::string CrashReportName(uint32_t processId);
// A crash report is read this far at most, and quoted this far.
const size_t kCrashReportReadBytes = 65536;
const size_t kCrashReportQuoteBound = 1000;
// Its header, the lines that begin with "#" (those with nothing more left
// out), on one line and cut to kCrashReportQuoteBound characters; empty
// when there is none.
std::string CrashReportHeader(const std::string& report);

// ". Java's crash report <path>: <header>" for the report of that process
// in the first of the folders that holds one, or why it could not be read;
// empty when none holds one. The report itself is never changed.
std::string QuoteCrashReport(ModuleFiles& files,
                             const std::vector<std::string>& folders,
                             uint32_t processId);

}  // namespace morvasvc

#endif
