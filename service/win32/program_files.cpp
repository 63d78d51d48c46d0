#include "program_files.h"

#include <winsock2.h>
#include <windows.h>

#include <cstring>
#include <cwchar>

#include "handle.h"
#include "system_error.h"
#include "path_text.h"
#include "service_removal.h"

namespace morvasvc {

bool ProgramPath(std::string* path, std::string* error) {
  char program[MAX_PATH];
  const DWORD length = GetModuleFileNameA(NULL, program, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    const DWORD code = length ? ERROR_FILENAME_EXCED_RANGE : GetLastError();
    *error = StepFailed("GetModuleFileName", std::string(), code);
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

std::string RegisteredProgramPath(const std::string& command) {
  return ParseRegisteredCommand(command).path;
}

namespace {

// The volume and the 128-bit file id of newer systems; the class and its
// layout as the system defines them, newer than the Windows 7 we build for.
struct FileIdInfo {
  ULONGLONG volumeSerialNumber;
  BYTE fileId[16];
};
const FILE_INFO_BY_HANDLE_CLASS kFileIdInfo =
    static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);

// A file's identity on this machine. The 64-bit index of older systems is
// not unique on ReFS; it serves only where the 128-bit id is not offered.
// An id of all zeros is one the file system does not offer.
bool ReadFileIdentity(HANDLE file, FileIdInfo* id) {
  static const BYTE kNotOffered[sizeof id->fileId] = {};
  if (GetFileInformationByHandleEx(file, kFileIdInfo, id, sizeof *id) &&
      memcmp(id->fileId, kNotOffered, sizeof kNotOffered) != 0) {
    return true;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return false;
  *id = FileIdInfo();
  id->volumeSerialNumber = info.dwVolumeSerialNumber;
  memcpy(id->fileId, &info.nFileIndexLow, sizeof info.nFileIndexLow);
  memcpy(id->fileId + 4, &info.nFileIndexHigh, sizeof info.nFileIndexHigh);
  return true;
}

}  // namespace

// Whether two paths name one file: the same program reached through a link
// or another spelling is still itself.
FileIdentity CompareFiles(const std::string& registered,
                          const std::string& program) {
  FileIdInfo ids[2];
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
    if (!ReadFileIdentity(file.Get(), &ids[i])) return FileIdentity::kUnknown;
  }
  // A volume that offers the 128-bit id for one file offers it for both.
  return ids[0].volumeSerialNumber == ids[1].volumeSerialNumber &&
                 memcmp(ids[0].fileId, ids[1].fileId, sizeof ids[0].fileId) ==
                     0
             ? FileIdentity::kSame
             : FileIdentity::kOther;
}

namespace {
FileIdentity CompareRegistered(const RegisteredProgram& registered,
                               const std::string& program) {
  return registered.environmentStrings
             ? FileIdentity::kUnknown
             : CompareFiles(registered.path, program);
}
}  // namespace

bool IsOursToRemove(const std::string& command, const std::string& program) {
  const RegisteredProgram registered = ParseRegisteredCommand(command);
  const bool unambiguous = registered.quoted &&
                           !registered.environmentStrings &&
                           IsFullyQualifiedPath(registered.path);
  return morvasvc::IsOursToRemove(
      CompareRegistered(registered, program), unambiguous,
      lstrcmpiA(registered.path.c_str(), program.c_str()) == 0);
}

bool IsThisProgram(const std::string& command, const std::string& program) {
  return CompareRegistered(ParseRegisteredCommand(command), program) ==
         FileIdentity::kSame;
}

}  // namespace morvasvc
