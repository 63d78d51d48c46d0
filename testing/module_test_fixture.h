#ifndef MORVASVC_TESTING_MODULE_TEST_FIXTURE_H_
#define MORVASVC_TESTING_MODULE_TEST_FIXTURE_H_

// A module on the fake system and service control, its log in the data
// folder: the fixture of the parts' unit tests.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "activity_log_entries.h"
#include "fake_module_system.h"
#include "morva_module.h"

namespace morvasvc {

using Strings = std::vector<std::string>;

class ModuleTest : public testing::Test {
 protected:
  ModuleTest() : module(system, control) {
    module.activityLog().SetPath("data\\logs\\activityLog.jsd");
  }

  // The messages of the activity log, time stamps checked and stripped.
  Strings LoggedMessages() {
    return morva_testing::ActivityLogMessages(system.LogFile(),
                                              "Mar 08, 2007 02:05:09 PM");
  }

  FakeModuleSystem system;
  FakeServiceControl control;
  MorvaModule module;
};

}  // namespace morvasvc

#endif
