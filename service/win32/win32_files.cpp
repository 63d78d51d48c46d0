// The module's files: each opened without sharing for one operation, so
// that a second opener fails cleanly and is told apart from a missing file.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>

#include "handle.h"
#include "program_files.h"
#include "system_error.h"
#include "win32_module_system.h"

namespace morvasvc {

namespace {

bool WriteAll(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  return bytes.empty() ||
         (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                    &written, NULL) &&
          written == bytes.size());
}

// Another opener holding the file is worth a retry; a missing file is a
// result of its own; anything else is a failure.
OpenResult OpenFailure() {
  switch (GetLastError()) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return OpenResult::kBusy;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return OpenResult::kMissing;
    default:
      return OpenResult::kFailed;
  }
}

}  // namespace

// Every file is opened without sharing, so a second opener fails cleanly.
OpenResult Win32ModuleSystem::ReadWholeFile(const std::string& path,
                                            std::string* bytes) {
  std::string error;
  return ReadFileStart(path, static_cast<size_t>(-1), bytes, &error);
}

OpenResult Win32ModuleSystem::ReadFileStart(const std::string& path,
                                            size_t maxBytes,
                                            std::string* bytes,
                                            std::string* error) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, 0, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
  if (!file.Valid()) {
    const DWORD code = GetLastError();
    *error = SystemErrorText(code);
    SetLastError(code);
    return OpenFailure();
  }
  bytes->clear();
  char buffer[4096];
  while (bytes->size() < maxBytes) {
    DWORD count = 0;
    const DWORD wanted = static_cast<DWORD>(
        std::min<size_t>(sizeof buffer, maxBytes - bytes->size()));
    if (!ReadFile(file.Get(), buffer, wanted, &count, NULL)) {
      const DWORD code = GetLastError();
      *error = SystemErrorText(code);
      SetLastError(code);
      return OpenFailure();
    }
    if (count == 0) break;
    bytes->append(buffer, count);
  }
  return OpenResult::kDone;
}

// The bytes go to a file beside the old one, which is replaced only when
// every byte is written: a full disk or a lost share leaves the old file.
OpenResult Win32ModuleSystem::WriteWholeFile(const std::string& path,
                                             const std::string& bytes) {
  {
    // Held by another opener: busy, before anything is written.
    FileHandle old(CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    if (!old.Valid() && GetLastError() != ERROR_FILE_NOT_FOUND) {
      return OpenFailure();
    }
  }
  // A name of this process's own: the window and the service may save at
  // the same moment, and neither may rename the other's half-written file.
  const std::string temporary =
      path + "." + std::to_string(GetCurrentProcessId()) + ".tmp";
  bool written = false;
  {
    FileHandle file(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, NULL,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
    if (!file.Valid()) return OpenFailure();
    written = WriteAll(file.Get(), bytes) && FlushFileBuffers(file.Get());
  }
  if (written &&
      MoveFileExA(temporary.c_str(), path.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return OpenResult::kDone;
  }
  const OpenResult failure = written ? OpenFailure() : OpenResult::kFailed;
  DeleteFileA(temporary.c_str());
  return failure;
}

// Readers may follow the log as it grows; another writer is kept out, so
// the entries of two processes never interleave.
OpenResult Win32ModuleSystem::AppendToFile(const std::string& path,
                                           const std::string& bytes) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
  if (!file.Valid()) return OpenFailure();
  LARGE_INTEGER zero = {};
  if (!SetFilePointerEx(file.Get(), zero, NULL, FILE_END)) {
    return OpenResult::kFailed;
  }
  return WriteAll(file.Get(), bytes) ? OpenResult::kDone : OpenResult::kFailed;
}

bool Win32ModuleSystem::SearchFile(const std::string& name,
                                   std::string* fullPath) {
  char buffer[MAX_PATH];
  const DWORD length =
      SearchPathA(NULL, name.c_str(), ".exe", MAX_PATH, buffer, NULL);
  if (length == 0 || length >= MAX_PATH) return false;
  fullPath->assign(buffer, length);
  return true;
}

std::string Win32ModuleSystem::FileVersion(const std::string& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return std::string();
  std::vector<char> info(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoA(path.c_str(), 0, size, info.data()) ||
      !VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed),
                      &length) ||
      !fixed || length < sizeof *fixed) {
    return std::string();
  }
  return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
         std::to_string(LOWORD(fixed->dwFileVersionLS));
}

bool Win32ModuleSystem::IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

FileIdentity Win32ModuleSystem::CompareFiles(const std::string& first,
                                             const std::string& second) {
  return morvasvc::CompareFiles(first, second);
}

std::string Win32ModuleSystem::TemporaryFolder() {
  char buffer[MAX_PATH + 1];
  DWORD length = GetTempPathA(sizeof buffer, buffer);
  if (length == 0 || length > MAX_PATH) return std::string();
  while (length > 3 && buffer[length - 1] == '\\') --length;
  return std::string(buffer, length);
}

bool Win32ModuleSystem::GetCurrentDir(std::string* dir) {
  char buffer[MAX_PATH];
  const DWORD length = GetCurrentDirectoryA(MAX_PATH, buffer);
  if (length == 0 || length >= MAX_PATH) return false;
  dir->assign(buffer, length);
  return true;
}

bool Win32ModuleSystem::SetCurrentDir(const std::string& dir) {
  return SetCurrentDirectoryA(dir.c_str()) != FALSE;
}

std::vector<std::string> Win32ModuleSystem::FindEntries(
    const std::string& pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  FindHandle search(FindFirstFileA(pattern.c_str(), &found));
  if (!search.Valid()) return names;
  do {
    names.push_back(found.cFileName);
  } while (FindNextFileA(search.Get(), &found));
  return names;
}

}  // namespace morvasvc
