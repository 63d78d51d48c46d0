#ifndef MORVASVC_WIN32_SYSTEM_ERROR_H_
#define MORVASVC_WIN32_SYSTEM_ERROR_H_

#include <winsock2.h>
#include <windows.h>

#include <string>

namespace morvasvc {

// The system's text for an error code, without its line end.
std::string SystemErrorText(DWORD error);
// The step that failed, on what, and why: "step(object) failed: text", or
// "step failed: text" where no object is named. Take error right at the
// failing call, before any cleanup can change it.
std::string StepFailed(const std::string& step, const std::string& object,
                       DWORD error);

}  // namespace morvasvc

#endif
