#include "log_append.h"

#include <windows.h>

#include "handle.h"

namespace runwell {

namespace {

// The lock guards a byte far past any real data, so readers of the log are
// never refused by it.
const DWORD kLockOffsetLow = 0xFFFFFFF0u;
const DWORD kLockOffsetHigh = 0x7FFFFFFFu;

}  // namespace

FileResult FileFailure(unsigned long error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION
             ? FileResult::kHeld
             : FileResult::kFailed;
}

FileResult AppendToLog(const std::string& path, const std::string& bytes) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
  if (!file.Valid()) return FileFailure(GetLastError());

  OVERLAPPED lockRange = {};
  lockRange.Offset = kLockOffsetLow;
  lockRange.OffsetHigh = kLockOffsetHigh;
  const bool locked = LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0,
                                 &lockRange) != FALSE;

  // Appending without the lock still beats losing the message. The error is
  // taken before the unlock and the close can overwrite it.
  FileResult result = FileResult::kDone;
  LARGE_INTEGER zero = {};
  DWORD count = 0;
  if (!SetFilePointerEx(file.Get(), zero, NULL, FILE_END)) {
    result = FileFailure(GetLastError());
  } else if (!bytes.empty() &&
             !WriteFile(file.Get(), bytes.data(),
                        static_cast<DWORD>(bytes.size()), &count, NULL)) {
    result = FileFailure(GetLastError());
  } else if (count != bytes.size()) {
    result = FileResult::kFailed;
  }

  if (locked) UnlockFileEx(file.Get(), 0, 1, 0, &lockRange);
  return result;
}

}  // namespace runwell
