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

bool AppendToLog(const std::string& path, const std::string& bytes) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
  if (!file.Valid()) return false;

  OVERLAPPED lockRange = {};
  lockRange.Offset = kLockOffsetLow;
  lockRange.OffsetHigh = kLockOffsetHigh;
  const bool locked = LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0,
                                 &lockRange) != FALSE;

  // Appending without the lock still beats losing the message.
  LARGE_INTEGER zero = {};
  bool written = SetFilePointerEx(file.Get(), zero, NULL, FILE_END) != FALSE;
  if (written && !bytes.empty()) {
    DWORD count = 0;
    written = WriteFile(file.Get(), bytes.data(),
                        static_cast<DWORD>(bytes.size()), &count, NULL) &&
              count == bytes.size();
  }

  if (locked) UnlockFileEx(file.Get(), 0, 1, 0, &lockRange);
  return written;
}

}  // namespace runwell
