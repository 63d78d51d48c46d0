// Runwell.exe with real processes under Windows or Wine. This program is also
// the task: started with "--task", it does what the test asks and exits.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "handle.h"
#include "log_append.h"
#include "wine_test_support.h"

namespace runwell {
namespace {

using morva_testing::Exists;
using morva_testing::ReadAll;
using morva_testing::WaitForExit;
using morva_testing::WriteAll;

std::string SelfPath() {
  char path[MAX_PATH];
  GetModuleFileNameA(NULL, path, MAX_PATH);
  return path;
}

std::string RunwellPath() {
  return morva_testing::ProgramFolder() + "\\Runwell.exe";
}

std::string TaskCommand(const std::string& arguments) {
  return "\"" + SelfPath() + "\" --task " + arguments;
}

HANDLE Start(const std::string& commandLine, const std::string& dir,
             DWORD flags = 0) {
  return morva_testing::StartProcess(commandLine, dir, flags);
}

bool ProcessEnds(DWORD pid, DWORD withinMs) {
  KernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
  if (!process.Valid()) return true;
  return WaitForSingleObject(process.Get(), withinMs) == WAIT_OBJECT_0;
}

// A folder as the engine lays it out for runners: the shared output log's
// folder and the task logs' folder.
class TaskFolder {
 public:
  explicit TaskFolder(bool withTaskLogs = true)
      : dir_(morva_testing::NewTempFolder("runwell_test")) {
    CreateDirectoryA(Path("inputs").c_str(), NULL);
    if (withTaskLogs) CreateDirectoryA(Path("TaskLogs").c_str(), NULL);
  }

  std::string Path(const std::string& name) const { return dir_ + "\\" + name; }
  const std::string& Dir() const { return dir_; }

  void WriteTask(const std::string& title, const std::string& bytes) const {
    WriteAll(Path("runwell_" + title + ".txt"), bytes);
  }
  std::string OutputLog() const { return ReadAll(Path("inputs\\outputLog.JSD")); }
  std::string TaskLog(const std::string& title) const {
    return ReadAll(Path("TaskLogs\\" + title));
  }

  // The engine, a service, has no console to give: detached, the task gets
  // a console of its own, as it does there.
  HANDLE StartRunwell(const std::string& title, DWORD flags = 0) const {
    return Start("\"" + RunwellPath() + "\" /t " + title, dir_, flags);
  }
  DWORD Runwell(const std::string& title, DWORD flags = 0) const {
    KernelHandle process(StartRunwell(title, flags));
    return process.Valid() ? WaitForExit(process.Get()) : 0xDEADBEEF;
  }

 private:
  std::string dir_;
};

TEST(Runwell, NightlyExampleByteForByte) {
  TaskFolder folder;
  const std::string jobs = folder.Path("jobs");
  CreateDirectoryA(jobs.c_str(), NULL);
  WriteAll(jobs + "\\backup.bat", "@exit /b 0\r\n");
  folder.WriteTask("Nightly", "cmd /c backup.bat\r\n" + jobs + "\r\n0\r\n");
  EXPECT_EQ(0u, folder.Runwell("Nightly"));
  const std::string expected =
      "\r\nRunwell.exe Running: Task Title = Nightly\r\n"
      "\r\nCommandLine = cmd /c backup.bat\r\nWorking Dir = " + jobs +
      "\r\nExit Code = 0";
  EXPECT_EQ(expected, folder.TaskLog("Nightly"));
  EXPECT_EQ(expected, folder.OutputLog());

  // A second run appends, starting on a line of its own.
  EXPECT_EQ(0u, folder.Runwell("Nightly"));
  EXPECT_EQ(expected + expected, folder.TaskLog("Nightly"));
}

TEST(Runwell, PassesTheTaskExitCodeThrough) {
  TaskFolder folder;
  folder.WriteTask("Minus", TaskCommand("exit 4294967295") + "\n" +
                                folder.Dir() + "\n5\n");
  EXPECT_EQ(4294967295u, folder.Runwell("Minus"));
  const std::string log = folder.TaskLog("Minus");
  const std::string tail = "\r\nExit Code = -1";
  ASSERT_GE(log.size(), tail.size());
  EXPECT_EQ(tail, log.substr(log.size() - tail.size()));

  folder.WriteTask("Ten", TaskCommand("exit 10") + "\n" + folder.Dir() + "\n");
  EXPECT_EQ(10u, folder.Runwell("Ten"));

  // A crash is named, and its code passed on as it is.
  folder.WriteTask("Crash", TaskCommand("exit 3221225477") + "\n" +
                                folder.Dir() + "\n");
  EXPECT_EQ(0xC0000005u, folder.Runwell("Crash"));
  const std::string crash = folder.TaskLog("Crash");
  const std::string named =
      "\r\nThe task ended with system status 0xC0000005: access "
      "violation\r\nExit Code = -1073741819";
  ASSERT_GE(crash.size(), named.size());
  EXPECT_EQ(named, crash.substr(crash.size() - named.size()));
}

// A value no ANSI code page holds reaches the task as it is.
const wchar_t kEnvironmentMark[] = L"passed on \x4E2D\x6587 \x03A9";

TEST(Runwell, HandsTheEnvironmentAndWorkingDirToTheTask) {
  TaskFolder folder;
  SetEnvironmentVariableW(L"RUNWELL_TEST_MARK", kEnvironmentMark);
  const std::string workDir = folder.Path("work");
  CreateDirectoryA(workDir.c_str(), NULL);
  folder.WriteTask("Env", TaskCommand("check-env-and-dir RUNWELL_TEST_MARK") +
                              "\n" + workDir + "\n");
  EXPECT_EQ(0u, folder.Runwell("Env"));
  EXPECT_TRUE(Exists(workDir + "\\task-was-here"));

  // "null" as the working folder starts the task in the runner's own.
  folder.WriteTask("Here", TaskCommand("check-env-and-dir RUNWELL_TEST_MARK") +
                               "\nnull\n");
  EXPECT_EQ(0u, folder.Runwell("Here"));
  EXPECT_TRUE(Exists(folder.Path("task-was-here")));
  EXPECT_NE(std::string::npos,
            folder.TaskLog("Here").find("\r\nWorking Dir = \r\nExit Code = 0"));
  SetEnvironmentVariableW(L"RUNWELL_TEST_MARK", NULL);
}

// 15891379 minutes wrap to 288 ms in 32 bits; a negative limit wrapped to
// 49 days. Both let a task that takes a second and a half end by itself.
TEST(Runwell, LongAndNegativeLimitsDoNotWrap) {
  TaskFolder folder;
  for (const char* limit : {"15891379", "-1"}) {
    folder.WriteTask("Long", TaskCommand("sleep-then-exit 1500 7") + "\n" +
                                 folder.Dir() + "\n" + limit + "\n");
    EXPECT_EQ(7u, folder.Runwell("Long")) << limit;
  }
  EXPECT_EQ(std::string::npos, folder.TaskLog("Long").find("Timed out"));
}

TEST(Runwell, EmptyTitleWritesOnlyTheSharedLog) {
  TaskFolder folder;
  folder.WriteTask("", TaskCommand("exit 0") + "\n" + folder.Dir() + "\n");
  EXPECT_EQ(0u, folder.Runwell(""));
  EXPECT_NE(std::string::npos,
            folder.OutputLog().find("Task Title = \r\n"));
  EXPECT_NE(std::string::npos, folder.OutputLog().find("\r\nExit Code = 0"));
  WIN32_FIND_DATAA found;
  HANDLE search =
      FindFirstFileA(folder.Path("TaskLogs\\*.*").c_str(), &found);
  int entries = 0;
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (found.cFileName[0] != '.') ++entries;
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  EXPECT_EQ(0, entries);
}

TEST(Runwell, MissingTaskLogsFolderLeavesTheSharedLogWhole) {
  TaskFolder folder(/*withTaskLogs=*/false);
  folder.WriteTask("NoLogs", TaskCommand("exit 3") + "\n" + folder.Dir() + "\n");
  EXPECT_EQ(3u, folder.Runwell("NoLogs"));
  EXPECT_FALSE(Exists(folder.Path("TaskLogs")));
  const std::string log = folder.OutputLog();
  EXPECT_EQ(0u, log.find("\r\nRunwell.exe Running: Task Title = NoLogs\r\n"
                         "\r\nCommandLine = "));
  EXPECT_NE(std::string::npos, log.find("\r\nExit Code = 3"));
}

// A shared output log that cannot be written (held by a program that shares
// nothing) leaves the run and the task log unchanged. (A read-only attribute
// is no test under Wine as root, which may write anyway.)
TEST(Runwell, UnwritableSharedLogLeavesTheTaskLogWhole) {
  TaskFolder folder;
  const std::string shared = folder.Path("inputs\\outputLog.JSD");
  WriteAll(shared, "old");
  {
    FileHandle held(CreateFileA(shared.c_str(), GENERIC_READ, 0, NULL,
                                  OPEN_EXISTING, 0, NULL));
    folder.WriteTask("RO", TaskCommand("exit 6") + "\n" + folder.Dir() + "\n");
    EXPECT_EQ(6u, folder.Runwell("RO"));
  }
  EXPECT_EQ("old", folder.OutputLog());
  const std::string log = folder.TaskLog("RO");
  EXPECT_EQ(0u, log.find("\r\nRunwell.exe Running: Task Title = RO\r\n"));
  EXPECT_NE(std::string::npos, log.find("\r\nExit Code = 6"));
}

// A data file and a task log held for a moment by another program (an
// editor, a log shipper) are waited for: nothing is lost.
TEST(Runwell, FilesHeldForAMomentAreWaitedFor) {
  TaskFolder folder;
  folder.WriteTask("Held", TaskCommand("exit 5") + "\n" + folder.Dir() + "\n");
  std::vector<HANDLE> held;
  for (const char* name : {"runwell_Held.txt", "TaskLogs\\Held"}) {
    held.push_back(CreateFileA(folder.Path(name).c_str(),
                               GENERIC_READ | GENERIC_WRITE, 0, NULL,
                               OPEN_ALWAYS, 0, NULL));
    ASSERT_NE(INVALID_HANDLE_VALUE, held.back());
  }
  KernelHandle runner(folder.StartRunwell("Held"));
  Sleep(400);
  for (HANDLE file : held) CloseHandle(file);
  EXPECT_EQ(5u, WaitForExit(runner.Get()));
  const std::string log = folder.TaskLog("Held");
  EXPECT_EQ(0u, log.find("\r\nRunwell.exe Running: Task Title = Held\r\n"));
  EXPECT_NE(std::string::npos, log.find("\r\nExit Code = 5"));
  EXPECT_EQ(log, folder.OutputLog());
}

// "runwell_..\\..\\..\\victim.txt" is "..\\victim.txt" to the system: such a
// title is refused before any file outside the folders is read or written.
TEST(Runwell, TitleThatLeavesItsFolderIsRefused) {
  TaskFolder folder;
  const std::string inner = folder.Path("inner");
  CreateDirectoryA(inner.c_str(), NULL);
  CreateDirectoryA((inner + "\\inputs").c_str(), NULL);
  CreateDirectoryA((inner + "\\TaskLogs").c_str(), NULL);
  WriteAll(folder.Path("victim.txt"), TaskCommand("exit 0") + "\n");
  KernelHandle runner(
      Start("\"" + RunwellPath() + "\" /t ..\\..\\..\\victim", inner));
  ASSERT_TRUE(runner.Valid());
  EXPECT_EQ(10u, WaitForExit(runner.Get()));
  EXPECT_FALSE(Exists(folder.Path("victim")));
  // A device and a stream of another file are refused the same way.
  WriteAll(inner + "\\runwell_NUL.txt", TaskCommand("exit 0") + "\n");
  for (const char* title : {"NUL", "a:b"}) {
    KernelHandle other(Start("\"" + RunwellPath() + "\" /t " + title, inner));
    EXPECT_EQ(10u, WaitForExit(other.Get())) << title;
  }
  EXPECT_FALSE(Exists(inner + "\\TaskLogs\\a"));
  const char kForbidden[] =
      "\r\nError:: A task title may not hold \\, /, : or control "
      "characters\r\n";
  EXPECT_EQ("\r\nRunwell.exe Running: Task Title = ..\\..\\..\\victim\r\n" +
                std::string(kForbidden) +
                "\r\nRunwell.exe Running: Task Title = NUL\r\n"
                "\r\nError:: A task title may not name a device (NUL, CON, "
                "AUX, PRN, COM1 to COM9, LPT1 to LPT9), with or without an "
                "extension\r\n"
                "\r\nRunwell.exe Running: Task Title = a:b\r\n" +
                kForbidden,
            ReadAll(inner + "\\inputs\\outputLog.JSD"));
}

// The system's reason for a failed start, as the runner words it.
std::string Reason(DWORD error) {
  char text[512] = "";
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error,
      0, text, sizeof text, NULL);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                        text[length - 1] == ' ')) {
    text[--length] = '\0';
  }
  return "\r\nReason:: " + std::string(text) + " (system error " +
         std::to_string(error) + ")";
}

TEST(Runwell, StartFailures) {
  TaskFolder folder;
  folder.WriteTask("NoDir", TaskCommand("exit 0") + "\n" +
                                folder.Path("does-not-exist") + "\n");
  EXPECT_EQ(1u, folder.Runwell("NoDir"));
  EXPECT_EQ(
      "\r\nRunwell.exe Running: Task Title = NoDir\r\n"
      "\r\nCommandLine = " + TaskCommand("exit 0") +
          "\r\nWorking Dir = " + folder.Path("does-not-exist") +
          Reason(ERROR_DIRECTORY) + "\r\nError:: Failed to start process\r\n",
      folder.TaskLog("NoDir"));

  folder.WriteTask("NoProgram", "no-such-program.exe\n" + folder.Dir() + "\n");
  EXPECT_EQ(1u, folder.Runwell("NoProgram"));
  EXPECT_EQ("\r\nRunwell.exe Running: Task Title = NoProgram\r\n"
            "\r\nCommandLine = no-such-program.exe\r\nWorking Dir = " +
                folder.Dir() + Reason(ERROR_FILE_NOT_FOUND) +
                "\r\nError:: Failed to start process\r\n",
            folder.TaskLog("NoProgram"));

  folder.WriteTask("Null", "null\nnull\n0\n");
  EXPECT_EQ(1u, folder.Runwell("Null"));
  EXPECT_EQ(
      "\r\nRunwell.exe Running: Task Title = Null\r\n"
      "CommandLine is NULL. Please Edit your Windows Command Task parameters"
      "\r\nCommandLine = \r\nWorking Dir = " +
          Reason(ERROR_INVALID_PARAMETER) +
          "\r\nError:: Failed to start process\r\n",
      folder.TaskLog("Null"));

  // Saved as "Unicode" by Notepad: read as the code page's text.
  const std::string unicode = "\xFF\xFE" + [] {
    std::string wide;
    for (char c : TaskCommand("exit 3") + "\r\n") wide += std::string(1, c) + '\0';
    return wide;
  }();
  folder.WriteTask("Unicode", unicode);
  EXPECT_EQ(3u, folder.Runwell("Unicode"));
  // Without its mark: refused, and no NUL reaches either log.
  folder.WriteTask("NoMark", unicode.substr(2));
  EXPECT_EQ(1u, folder.Runwell("NoMark"));
  EXPECT_NE(std::string::npos,
            folder.TaskLog("NoMark").find("holds NUL bytes: it is no text "
                                          "file"));
  EXPECT_EQ(std::string::npos, folder.OutputLog().find('\0'));

  folder.WriteTask("Empty", "");
  EXPECT_EQ(1u, folder.Runwell("Empty"));

  EXPECT_EQ(10u, folder.Runwell("Missing"));
  EXPECT_EQ(
      "\r\nRunwell.exe Running: Task Title = Missing\r\n"
      "\r\nCould not open Runwell.exe data file: runwell_Missing.txt",
      folder.TaskLog("Missing"));

  // A folder where the data file should be cannot be read as one.
  CreateDirectoryA(folder.Path("runwell_Folder.txt").c_str(), NULL);
  EXPECT_EQ(10u, folder.Runwell("Folder"));
}

TEST(Runwell, ProgramsATaskLeavesBehindOutliveANormalEnd) {
  TaskFolder folder;
  const std::string pidFile = folder.Path("pids");
  folder.WriteTask("Leaves", TaskCommand("spawn-then-exit " + pidFile) + "\n" +
                                 folder.Dir() + "\n1\n");
  EXPECT_EQ(0u, folder.Runwell("Leaves"));
  DWORD taskPid = 0, grandchildPid = 0;
  std::istringstream(ReadAll(pidFile)) >> taskPid >> grandchildPid;
  ASSERT_NE(0u, grandchildPid);
  KernelHandle grandchild(
      OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, grandchildPid));
  ASSERT_TRUE(grandchild.Valid());
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT),
            WaitForSingleObject(grandchild.Get(), 500));
  TerminateProcess(grandchild.Get(), 0);
}

// The engine cancels a task, or an operator a stuck one, by ending its
// runner: the task and what it started end with it.
TEST(Runwell, EndingTheRunnerEndsTheTaskTree) {
  TaskFolder folder;
  const std::string pidFile = folder.Path("pids");
  folder.WriteTask("Cancelled", TaskCommand("spawn-then-sleep " + pidFile) +
                                    "\n" + folder.Dir() + "\n1\n");
  KernelHandle runner(folder.StartRunwell("Cancelled"));
  DWORD taskPid = 0, grandchildPid = 0;
  for (int i = 0; i < 100 && grandchildPid == 0; ++i) {
    Sleep(100);
    std::istringstream(ReadAll(pidFile)) >> taskPid >> grandchildPid;
  }
  ASSERT_NE(0u, grandchildPid);
  TerminateProcess(runner.Get(), 9);
  EXPECT_TRUE(ProcessEnds(taskPid, 5000));
  EXPECT_TRUE(ProcessEnds(grandchildPid, 5000));
  for (DWORD pid : {taskPid, grandchildPid}) {
    KernelHandle left(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
    if (left.Valid()) TerminateProcess(left.Get(), 0);
  }
}

TEST(RunwellSlow, TimeLimitEndsTheWholeTaskTree) {
  TaskFolder folder;
  const std::string pidFile = folder.Path("pids");
  folder.WriteTask("Late", TaskCommand("spawn-then-box " + pidFile) + "\n" +
                               folder.Dir() + "\n1\n");
  const DWORD started = GetTickCount();
  EXPECT_EQ(258u, folder.Runwell("Late", DETACHED_PROCESS));
  EXPECT_GE(GetTickCount() - started, 59000u);
  const std::string log = folder.TaskLog("Late");
  // The box it waited on and its console are quoted before the time-out.
  const std::string tail =
      "\r\nThe task was showing: [Backup tool] Insert the backup disk, then "
      "press OK\r\nThe task's console showed: Insert the backup disk, then "
      "press OK . . .\r\nProcess Timed out and Forcibly terminated.\r\n"
      "\r\nExit Code = 258";
  ASSERT_GE(log.size(), tail.size());
  EXPECT_EQ(tail, log.substr(log.size() - tail.size()));

  DWORD taskPid = 0, grandchildPid = 0;
  std::istringstream(ReadAll(pidFile)) >> taskPid >> grandchildPid;
  ASSERT_NE(0u, grandchildPid);
  EXPECT_TRUE(ProcessEnds(taskPid, 10000));
  EXPECT_TRUE(ProcessEnds(grandchildPid, 10000));
}

// Messages of runners that run at once interleave but stay whole.
TEST(Runwell, SixteenRunnersShareOneOutputLog) {
  TaskFolder folder;
  const int kRunners = 16;
  const int kRounds = 3;
  std::vector<std::string> expected;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<HANDLE> runners;
    std::vector<std::string> titles;
    for (int i = 0; i < kRunners; ++i) {
      char title[16];
      std::snprintf(title, sizeof title, "Job%02d_%d", i, round);
      const int code = 100 + i * kRounds + round;
      const std::string command = TaskCommand("exit " + std::to_string(code));
      folder.WriteTask(title, command + "\n" + folder.Dir() + "\n");
      expected.push_back("\r\nRunwell.exe Running: Task Title = " +
                         std::string(title) + "\r\n");
      expected.push_back("\r\nCommandLine = " + command +
                         "\r\nWorking Dir = " + folder.Dir());
      expected.push_back("\r\nExit Code = " + std::to_string(code));
      runners.push_back(folder.StartRunwell(title));
      titles.push_back(title);
    }
    for (int i = 0; i < kRunners; ++i) {
      // Its own log says why, should a runner end otherwise.
      EXPECT_EQ(static_cast<DWORD>(100 + i * kRounds + round),
                WaitForExit(runners[i]))
          << folder.TaskLog(titles[i]);
      CloseHandle(runners[i]);
    }
  }
  const std::string log = folder.OutputLog();
  size_t total = 0;
  for (const std::string& message : expected) {
    total += message.size();
    const size_t at = log.find(message);
    EXPECT_NE(std::string::npos, at) << "lost or torn: " << message;
    if (at != std::string::npos) {
      EXPECT_EQ(std::string::npos, log.find(message, at + 1)) << message;
    }
  }
  EXPECT_EQ(total, log.size());
}

// The append itself, hammered: 16 processes, 300 long messages each.
TEST(AppendToLog, ConcurrentAppendsNeitherLoseNorTear) {
  TaskFolder folder;
  const std::string log = folder.Path("inputs\\outputLog.JSD");
  const int kWriters = 16;
  const int kMessages = 300;
  std::vector<HANDLE> writers;
  for (int i = 0; i < kWriters; ++i) {
    writers.push_back(Start(TaskCommand("append \"" + log + "\" " +
                                        std::to_string(i) + " " +
                                        std::to_string(kMessages)),
                            folder.Dir()));
  }
  for (HANDLE writer : writers) {
    EXPECT_EQ(0u, WaitForExit(writer));
    CloseHandle(writer);
  }
  std::map<std::string, int> seen;
  std::istringstream lines(ReadAll(log));
  std::string line;
  int wrong = 0;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    // Every line is "writer NN message NNNN " + padding + CR.
    if (line.size() != 320 || line.back() != '\r') {
      ++wrong;
      continue;
    }
    ++seen[line.substr(0, 24)];
  }
  EXPECT_EQ(0, wrong);
  EXPECT_EQ(static_cast<size_t>(kWriters * kMessages), seen.size());
  for (const auto& entry : seen) EXPECT_EQ(1, entry.second) << entry.first;
}

TEST(AppendToLog, NeverCreatesAFolder) {
  TaskFolder folder;
  EXPECT_EQ(FileResult::kFailed,
            AppendToLog(folder.Path("nowhere\\log.txt"), "x"));
  EXPECT_FALSE(Exists(folder.Path("nowhere")));
  EXPECT_EQ(FileResult::kDone, AppendToLog(folder.Path("log.txt"), "ab"));
  EXPECT_EQ(FileResult::kDone, AppendToLog(folder.Path("log.txt"), "cd"));
  EXPECT_EQ("abcd", ReadAll(folder.Path("log.txt")));
}

// The task side of the tests.
int RunAsTask(int argc, char** argv) {
  const std::string mode = argc > 2 ? argv[2] : "";
  if (mode == "exit" && argc > 3) {
    ExitProcess(static_cast<UINT>(std::strtoul(argv[3], NULL, 10)));
  }
  if (mode == "sleep") {
    Sleep(600000);
    return 0;
  }
  if (mode == "sleep-then-exit" && argc > 4) {
    Sleep(static_cast<DWORD>(std::atoi(argv[3])));
    ExitProcess(static_cast<UINT>(std::atoi(argv[4])));
  }
  if (mode == "check-env-and-dir" && argc > 3) {
    const std::wstring name(argv[3], argv[3] + std::strlen(argv[3]));
    wchar_t value[64] = L"";
    GetEnvironmentVariableW(name.c_str(), value, 64);
    WriteAll("task-was-here", "");
    return std::wstring(value) == kEnvironmentMark ? 0 : 1;
  }
  if ((mode == "spawn-then-exit" || mode == "spawn-then-sleep" ||
       mode == "spawn-then-box") &&
      argc > 3) {
    KernelHandle grandchild(Start(TaskCommand("sleep"), ""));
    WriteAll(argv[3], std::to_string(GetCurrentProcessId()) + " " +
                          std::to_string(GetProcessId(grandchild.Get())));
    if (mode == "spawn-then-sleep") Sleep(600000);
    // A box that nobody answers, as a tool waits on an operator, and its
    // prompt on the console.
    if (mode == "spawn-then-box") {
      const char prompt[] = "Insert the backup disk, then press OK . . .";
      DWORD written = 0;
      WriteConsoleA(GetStdHandle(STD_OUTPUT_HANDLE), prompt,
                    sizeof prompt - 1, &written, NULL);
      MessageBoxA(NULL, "Insert the backup disk,\nthen press OK",
                  "Backup tool", MB_OK);
    }
    return 0;
  }
  if (mode == "append" && argc > 5) {
    const int writer = std::atoi(argv[4]);
    const int count = std::atoi(argv[5]);
    for (int i = 0; i < count; ++i) {
      char head[32];
      std::snprintf(head, sizeof head, "writer %02d message %04d ", writer, i);
      std::string message = head;
      message.append(320 - 1 - message.size(), 'a' + writer);
      if (AppendToLog(argv[3], message + "\r\n") != FileResult::kDone) {
        return 1;
      }
    }
    return 0;
  }
  return 99;
}

}  // namespace
}  // namespace runwell

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--task") {
    return runwell::RunAsTask(argc, argv);
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
