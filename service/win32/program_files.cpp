#include "program_files.h"

#include <winsock2.h>
#include <windows.h>

#include <cwchar>

#include "handle.h"

namespace morvasvc {

bool ProgramPath(std::string* path, std::string* error) {
  char program[MAX_PATH];
  const DWORD length = GetModuleFileNameA(NULL, program, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    *error = SystemErrorText(length ? ERROR_FILENAME_EXCED_RANGE : GetLastError());
    return false;
  }
  wchar_t wide[MAX_PATH];
  const DWORD wideLength = GetModuleFileNameW(NULL, wide, MAX_PATH);
  wchar_t fromAnsi[MAX_PATH];
  const int fromAnsiLength = MultiByteToWideChar(
      CP_ACP, 0, program, static_cast<int>(length), fromAnsi, MAX_PATH);
  if (wideLength == 0 || wideLength >= MAX_PATH ||
      fromAnsiLength != static_cast<int>(wideLength) ||
      wmemcmp(wide, fromAnsi, wideLength) != 0) {
    *error = "The program's folder name has characters that the system's "
             "code page cannot hold: " +
             std::string(program, length);
    return false;
  }
  path->assign(program, length);
  return true;
}

std::string CommandProgram(const std::string& command) {
  if (!command.empty() && command[0] == '"') {
    return command.substr(1, command.find('"', 1) - 1);
  }
  return command.substr(0, command.find(' '));
}

namespace {

enum class FileIdentity { kSame, kOther, kGone, kUnknown };

// Whether two paths name one file, by the volume and the file's index: the
// same program reached through a link or another spelling is still itself.
FileIdentity CompareFiles(const std::string& registered,
                          const std::string& program) {
  BY_HANDLE_FILE_INFORMATION info[2];
  const std::string* paths[2] = {&registered, &program};
  for (int i = 0; i < 2; ++i) {
    FileHandle file(CreateFileA(
        paths[i]->c_str(), FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL));
    if (!file.Valid()) {
      const DWORD error = GetLastError();
      return i == 0 && (error == ERROR_FILE_NOT_FOUND ||
                        error == ERROR_PATH_NOT_FOUND)
                 ? FileIdentity::kGone
                 : FileIdentity::kUnknown;
    }
    if (!GetFileInformationByHandle(file.Get(), &info[i])) {
      return FileIdentity::kUnknown;
    }
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
                 info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
                 info[0].nFileIndexLow == info[1].nFileIndexLow
             ? FileIdentity::kSame
             : FileIdentity::kOther;
}

}  // namespace

// Where the files cannot be compared, only the same path text will do.
bool IsOursToRemove(const std::string& registered, const std::string& program) {
  switch (CompareFiles(registered, program)) {
    case FileIdentity::kSame:
    case FileIdentity::kGone:
      return true;
    case FileIdentity::kOther:
      return false;
    case FileIdentity::kUnknown:
      break;
  }
  return lstrcmpiA(registered.c_str(), program.c_str()) == 0;
}

}  // namespace morvasvc
