#ifndef MORVASVC_TESTING_MODULE_TEST_FIXTURE_H_
#define MORVASVC_TESTING_MODULE_TEST_FIXTURE_H_

// The fixtures of the service module's unit tests: a part on the fake
// system with an activity log in the data folder, or the whole module.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "activity_log.h"
#include "activity_log_entries.h"
#include "fake_module_system.h"
#include "morva_module.h"

namespace morvasvc {

using Strings = std::vector<std::string>;

// The messages of the activity log, time stamps checked and stripped.
inline Strings LoggedMessages(FakeModuleSystem& system) {
  return morva_testing::ActivityLogMessages(system.LogFile(),
                                            "Mar 08, 2007 02:05:09 PM");
}

// A part's test: the fake system and the log every part writes to.
class PartTest : public testing::Test {
 protected:
  PartTest() { log.SetPath("data\\logs\\activityLog.jsd"); }
  Strings LoggedMessages() { return morvasvc::LoggedMessages(system); }

  FakeModuleSystem system;
  ActivityLog log{system, system, system, system};
};

// The module's sequences: start-up, the service's start and stop, the
// window's buttons.
class ModuleTest : public testing::Test {
 protected:
  ModuleTest() : module(system, control) {
    module.activityLog().SetPath("data\\logs\\activityLog.jsd");
  }
  Strings LoggedMessages() { return morvasvc::LoggedMessages(system); }

  FakeModuleSystem system;
  FakeServiceControl control;
  MorvaModule module;
};

}  // namespace morvasvc

#endif
