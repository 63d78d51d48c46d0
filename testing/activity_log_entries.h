#ifndef MORVA_TESTING_ACTIVITY_LOG_ENTRIES_H_
#define MORVA_TESTING_ACTIVITY_LOG_ENTRIES_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace morva_testing {

// The messages of an activity log, each entry's frame checked: CR LF, a
// 24-character time stamp (exactly stamp when given), TAB, message, CR LF.
inline std::vector<std::string> ActivityLogMessages(
    const std::string& log, const std::string& stamp = std::string()) {
  std::vector<std::string> messages;
  size_t at = 0;
  while (at < log.size()) {
    const size_t tab = log.find('\t', at);
    const size_t end = log.find("\r\n", tab);
    if (tab == std::string::npos || end == std::string::npos ||
        tab - at != 26 || log.compare(at, 2, "\r\n") != 0) {
      ADD_FAILURE() << "torn entry at " << at << ": " << log.substr(at, 40);
      break;
    }
    if (!stamp.empty()) {
      EXPECT_EQ(stamp, log.substr(at + 2, 24));
    }
    messages.push_back(log.substr(tab + 1, end - tab - 1));
    at = end + 2;
  }
  return messages;
}

}  // namespace morva_testing

#endif
