#ifndef MORVASVC_WIN32_SERVICE_DISPATCHER_H_
#define MORVASVC_WIN32_SERVICE_DISPATCHER_H_

#include <winsock2.h>
#include <windows.h>

#include <string>

#include "module_system.h"

namespace morvasvc {

// The service's side of the Service Control Manager. The dispatcher call
// blocks its thread for the whole life of the service, so it gets a thread
// of its own; every event reaches the dialog through a hidden control window
// on the dialog's thread.

// The window class of the hidden service control that dialog templates name.
extern const char kServiceControlClass[];
// Registers it and starts the dispatcher's thread; a dialog that names the
// class cannot be created before this.
bool RegisterServiceControlClass(HINSTANCE instance);
// The dispatcher's side as the module's system sees it, handed to
// Win32ModuleSystem: where an entry goes that the service's own thread
// writes when the window's thread is held up (the activity log, and the
// event log under the name the manager started the service with, with the
// install folder), and whether the manager started the program as its
// service (waiting a few seconds at most for the dispatcher to find out).
ServiceThread& DispatcherServiceThread();

// Whether the manager has called the service's main function by now; never
// waits.
bool StartedByManagerSoFar();

// The window's thread marks the begin and end of each message it handles,
// and which is a supervision tick: the service's thread ends a service whose
// window's thread never finishes one.
void MarkWindowMessage(bool begins);
void MarkSupervisionTick();

// Dispatch ids of the control's events; the start event's argument is the
// name the manager started the service under.
enum ServiceControlEvent {
  kStartEvent = 1,
  kStopEvent = 2,
  kRereadSettingsEvent = 3
};

}  // namespace morvasvc

#endif
