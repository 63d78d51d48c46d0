#include "task_run.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

#include "ansi_conversion.h"
#include "messages.h"

namespace runwell {
namespace {

// Files in memory and a scripted task.
class FakePlatform : public TaskRunPlatform {
 public:
  std::string commandLine = "C:\\Morva\\Runwell.exe /t Nightly";
  std::map<std::string, std::string> files;
  std::set<std::string> unwritable;
  std::map<std::string, int> heldFor;  // attempts that find the file held
  bool startSucceeds = true;
  bool resumeSucceeds = true;
  WaitOutcome waitOutcome = WaitOutcome::kSignalled;
  bool exitCodeReadable = true;
  uint32_t exitCode = 0;

  // What the runner did.
  std::vector<std::string> calls;
  std::vector<std::string> reads;
  std::string startedCommandLine;
  std::string startedWorkingDir;
  std::string logAtStart;  // the task log as the task started
  uint64_t waitedMs = 12345;
  uint32_t sleptMs = 0;

  std::string CommandLine() override { return commandLine; }
  FileResult ReadFile(const std::string& path, std::string* bytes) override {
    reads.push_back(path);
    if (Held(path)) return FileResult::kHeld;
    auto it = files.find(path);
    if (it == files.end()) return FileResult::kFailed;
    *bytes = it->second;
    return FileResult::kDone;
  }
  FileResult AppendToFile(const std::string& path,
                          const std::string& bytes) override {
    if (Held(path)) return FileResult::kHeld;
    if (unwritable.count(path)) return FileResult::kFailed;
    files[path] += bytes;
    return FileResult::kDone;
  }
  void Sleep(uint32_t ms) override { sleptMs += ms; }
  bool Held(const std::string& path) {
    auto it = heldFor.find(path);
    return it != heldFor.end() && it->second-- > 0;
  }
  bool StartTask(const std::string& command, const std::string& dir,
                 uint32_t* error) override {
    calls.push_back("start");
    const auto log = files.find("TaskLogs\\Nightly");
    if (log != files.end()) logAtStart = log->second;
    startedCommandLine = command;
    startedWorkingDir = dir;
    if (!startSucceeds) *error = 2;
    return startSucceeds;
  }
  bool ResumeTask(uint32_t* error) override {
    calls.push_back("resume");
    if (!resumeSucceeds) *error = 5;
    return resumeSucceeds;
  }
  std::string ErrorText(uint32_t error) override {
    switch (error) {
      case 2: return "The system cannot find the file specified.";
      case 5: return "Access is denied.";
      case 87: return "The parameter is incorrect.";
      default: return "error " + std::to_string(error);
    }
  }
  std::vector<TaskWindow> windows;
  std::vector<TaskWindow> TaskWindows() override {
    calls.push_back("windows");
    return windows;
  }
  std::vector<std::string> consoleLines;
  std::vector<std::string> TaskConsoleLines() override {
    calls.push_back("console");
    return consoleLines;
  }
  // As the code page would: false for what it cannot hold; U+0100 stands
  // for a character it holds elsewhere than its number says.
  bool WideToAnsi(const std::u16string& text, std::string* ansi) override {
    ansi->clear();
    for (char16_t c : text) {
      if (c == 0x100) c = 0xC4;
      if (c > 0xFF) return false;
      *ansi += static_cast<char>(c);
    }
    return true;
  }
  WaitOutcome WaitForTask(uint64_t timeoutMs) override {
    calls.push_back("wait");
    waitedMs = timeoutMs;
    return waitOutcome;
  }
  void TerminateTask() override { calls.push_back("terminate"); }
  bool GetTaskExitCode(uint32_t* code) override {
    calls.push_back("exitcode");
    *code = exitCode;
    return exitCodeReadable;
  }
  void CloseTaskHandles() override { calls.push_back("close"); }

  const std::string& OutputLog() { return files["inputs\\outputLog.JSD"]; }
  const std::string& TaskLog() { return files["TaskLogs\\Nightly"]; }
};

using Calls = std::vector<std::string>;

const char kHeader[] =
    "\r\nRunwell.exe Running: Task Title = Nightly\r\n"
    "\r\nCommandLine = cmd /c backup.bat\r\nWorking Dir = C:\\jobs";

TEST(RunTask, NightlyExample) {
  FakePlatform p;
  p.files["runwell_Nightly.txt"] = "cmd /c backup.bat\r\nC:\\jobs\r\n0\r\n";
  EXPECT_EQ(0u, RunTask(p));
  EXPECT_EQ(std::string(kHeader) + "\r\nExit Code = 0", p.TaskLog());
  EXPECT_EQ(p.TaskLog(), p.OutputLog());
  // Written before the task runs: a runner ended meanwhile loses nothing.
  EXPECT_EQ(kHeader, p.logAtStart);
  EXPECT_EQ("cmd /c backup.bat", p.startedCommandLine);
  EXPECT_EQ("C:\\jobs", p.startedWorkingDir);
  EXPECT_EQ(0u, p.waitedMs);
  EXPECT_EQ(Calls({"start", "resume", "wait", "exitcode", "close"}), p.calls);
}

TEST(RunTask, AppendsAfterEarlierRuns) {
  FakePlatform p;
  p.files["runwell_Nightly.txt"] = "cmd /c backup.bat\nC:\\jobs\n";
  p.files["TaskLogs\\Nightly"] = "before";
  p.exitCode = 7;
  EXPECT_EQ(7u, RunTask(p));
  EXPECT_EQ("before" + std::string(kHeader) + "\r\nExit Code = 7",
            p.TaskLog());
}

TEST(RunTask, EachEnd) {
  struct Case {
    const char* name;
    bool dataFile;
    bool startSucceeds;
    bool resumeSucceeds;
    WaitOutcome wait;
    bool exitCodeReadable;
    uint32_t taskExitCode;
    uint32_t result;
    std::string tail;  // what follows the header
    Calls calls;
  } cases[] = {
      {"start failed", true, false, true, WaitOutcome::kSignalled, true, 0, 1,
       "\r\nReason:: The system cannot find the file specified. (system error "
       "2)\r\nError:: Failed to start process\r\n",
       {"start"}},
      // Never resumed, the task would be waited for until its limit.
      {"resume failed", true, true, false, WaitOutcome::kSignalled, true, 0, 1,
       "\r\nReason:: Access is denied. (system error 5)"
       "\r\nError:: Failed to start process\r\n",
       {"start", "resume", "terminate", "close"}},
      // Let go of, so the task is left running as without the runner's job.
      {"wait failed", true, true, true, WaitOutcome::kFailed, true, 0, 2,
       "\r\nWARNING:: The task did not allow us to wait on it!\r\n",
       {"start", "resume", "wait", "close"}},
      {"timed out", true, true, true, WaitOutcome::kTimedOut, true, 5, 258,
       "\r\nProcess Timed out and Forcibly terminated.\r\n"
       "\r\nExit Code = 258",
       {"start", "resume", "wait", "windows", "console", "terminate",
        "close"}},
      // An unknown outcome is not reported as success.
      {"exit code unreadable", true, true, true, WaitOutcome::kSignalled,
       false, 9, 4, "\r\nWARNING:: could not get exit code\r\nExit Code = 4",
       {"start", "resume", "wait", "exitcode", "close"}},
      {"task's own code", true, true, true, WaitOutcome::kSignalled, true, 258,
       258, "\r\nExit Code = 258",
       {"start", "resume", "wait", "exitcode", "close"}},
      {"negative code", true, true, true, WaitOutcome::kSignalled, true,
       4294967295u, 4294967295u, "\r\nExit Code = -1",
       {"start", "resume", "wait", "exitcode", "close"}},
      {"high bit", true, true, true, WaitOutcome::kSignalled, true,
       0x80000000u, 0x80000000u, "\r\nExit Code = -2147483648",
       {"start", "resume", "wait", "exitcode", "close"}},
      // A crash in words, before its code, which is passed on unchanged.
      {"crashed", true, true, true, WaitOutcome::kSignalled, true,
       0xC0000005u, 0xC0000005u,
       "\r\nThe task ended with system status 0xC0000005: access "
       "violation\r\nExit Code = -1073741819",
       {"start", "resume", "wait", "exitcode", "close"}},
  };
  for (const Case& c : cases) {
    FakePlatform p;
    p.files["runwell_Nightly.txt"] = "cmd /c backup.bat\nC:\\jobs\n3\n";
    p.startSucceeds = c.startSucceeds;
    p.resumeSucceeds = c.resumeSucceeds;
    p.waitOutcome = c.wait;
    p.exitCodeReadable = c.exitCodeReadable;
    p.exitCode = c.taskExitCode;
    EXPECT_EQ(c.result, RunTask(p)) << c.name;
    EXPECT_EQ(kHeader + c.tail, p.TaskLog()) << c.name;
    EXPECT_EQ(p.TaskLog(), p.OutputLog()) << c.name;
    EXPECT_EQ(c.calls, p.calls) << c.name;
    if (c.startSucceeds && c.resumeSucceeds) {
      EXPECT_EQ(180000u, p.waitedMs) << c.name;
    }
  }
}

TEST(RunTask, DataFileMissing) {
  FakePlatform p;
  EXPECT_EQ(10u, RunTask(p));
  EXPECT_EQ(
      "\r\nRunwell.exe Running: Task Title = Nightly\r\n"
      "\r\nCould not open Runwell.exe data file: runwell_Nightly.txt",
      p.TaskLog());
  EXPECT_EQ(p.TaskLog(), p.OutputLog());
  EXPECT_TRUE(p.calls.empty());
}

// Without a title, or with one that would leave its folders or forge log
// lines, nothing is read or run and no task log is written.
TEST(RunTask, RefusedTitlesRunNothing) {
  struct Case {
    const char* commandLine;
    std::string outputLog;
  } cases[] = {
      {"C:\\Morva\\Runwell.exe",
       "\r\nError:: No task title: the command line holds no /t\r\n"},
      {"Runwell.exe /t ..\\..\\victim",
       "\r\nRunwell.exe Running: Task Title = ..\\..\\victim\r\n"
       "\r\nError:: A task title may not hold \\, /, : or control "
       "characters\r\n"},
      {"Runwell.exe /t x\r\nExit Code = 0",
       "\r\nRunwell.exe Running: Task Title = x\\x0D\\x0AExit Code = 0\r\n"
       "\r\nError:: A task title may not hold \\, /, : or control "
       "characters\r\n"},
      // A stream of another file.
      {"Runwell.exe /t a:b",
       "\r\nRunwell.exe Running: Task Title = a:b\r\n"
       "\r\nError:: A task title may not hold \\, /, : or control "
       "characters\r\n"},
      {"Runwell.exe /t aux.log",
       "\r\nRunwell.exe Running: Task Title = aux.log\r\n"
       "\r\nError:: A task title may not name a device (NUL, CON, AUX, PRN, "
       "COM1 to COM9, LPT1 to LPT9), with or without an extension\r\n"},
  };
  for (const Case& c : cases) {
    FakePlatform p;
    p.commandLine = c.commandLine;
    p.files["runwell_.txt"] = "cmd\n";
    p.files["runwell_..\\..\\victim.txt"] = "cmd\n";
    EXPECT_EQ(10u, RunTask(p)) << c.commandLine;
    EXPECT_EQ(c.outputLog, p.OutputLog()) << c.commandLine;
    // The two data files and the shared log: no task log.
    EXPECT_EQ(3u, p.files.size()) << c.commandLine;
    EXPECT_TRUE(p.reads.empty()) << c.commandLine;
    EXPECT_TRUE(p.calls.empty()) << c.commandLine;
  }
}

// A file held for a moment is waited for; files that stay held cost the
// run one budget of about a second in all, not one per message.
TEST(RunTask, HeldFilesShareOneBudget) {
  FakePlatform p;
  p.files["runwell_Nightly.txt"] = "cmd\nC:\\\n";
  p.heldFor["runwell_Nightly.txt"] = 3;
  EXPECT_EQ(0u, RunTask(p));
  EXPECT_EQ(4u, p.reads.size());
  EXPECT_EQ(3 * kHeldRetryMs, p.sleptMs);

  FakePlatform q;
  q.files["runwell_Nightly.txt"] = "cmd\nC:\\\n";
  for (const char* path : {"runwell_Nightly.txt", "TaskLogs\\Nightly",
                           "inputs\\outputLog.JSD"}) {
    q.heldFor[path] = 1 << 30;
  }
  EXPECT_EQ(10u, RunTask(q));
  EXPECT_EQ(kHeldBudgetMs, q.sleptMs);
}

TEST(RunTask, NullCommandLineNeverStarts) {
  FakePlatform p;
  p.files["runwell_Nightly.txt"] = "null\nnull\n1\n";
  EXPECT_EQ(1u, RunTask(p));
  EXPECT_EQ(
      "\r\nRunwell.exe Running: Task Title = Nightly\r\n"
      "CommandLine is NULL. Please Edit your Windows Command Task parameters"
      "\r\nCommandLine = \r\nWorking Dir = "
      "\r\nReason:: The parameter is incorrect. (system error 87)"
      "\r\nError:: Failed to start process\r\n",
      p.TaskLog());
  EXPECT_TRUE(p.calls.empty());
}

TEST(RunTask, EmptyDataFileMeansNoCommandLine) {
  FakePlatform p;
  p.files["runwell_Nightly.txt"] = "";
  EXPECT_EQ(1u, RunTask(p));
  EXPECT_EQ(
      "\r\nRunwell.exe Running: Task Title = Nightly\r\n"
      "\r\nCommandLine = \r\nWorking Dir = "
      "\r\nReason:: The parameter is incorrect. (system error 87)"
      "\r\nError:: Failed to start process\r\n",
      p.TaskLog());
  EXPECT_TRUE(p.calls.empty());
}

TEST(RunTask, NoWorkingDirIsPassedAsEmpty) {
  FakePlatform p;
  p.files["runwell_Nightly.txt"] = "task.exe\nnull\n";
  EXPECT_EQ(0u, RunTask(p));
  EXPECT_EQ("task.exe", p.startedCommandLine);
  EXPECT_EQ("", p.startedWorkingDir);
  EXPECT_EQ(0u, p.waitedMs);
}

TEST(RunTask, UnwritableLogsDoNotChangeTheRun) {
  FakePlatform p;
  p.files["runwell_Nightly.txt"] = "cmd\nC:\\\n";
  p.unwritable = {"TaskLogs\\Nightly"};
  p.exitCode = 4;
  EXPECT_EQ(4u, RunTask(p));
  EXPECT_EQ(0u, p.files.count("TaskLogs\\Nightly"));
  EXPECT_NE(std::string::npos, p.OutputLog().find("Exit Code = 4"));

  // An empty title names the folder itself as the task log.
  FakePlatform q;
  q.commandLine = "Runwell.exe /t";
  q.files["runwell_.txt"] = "cmd\n";
  EXPECT_EQ(0u, RunTask(q));
  EXPECT_EQ("TaskLogs\\", TaskLogPath(""));
  EXPECT_NE(std::string::npos,
            q.OutputLog().find("Running: Task Title = \r\n"));
}

// The box a timed-out task waited on is quoted before the time-out, on one
// line and bounded; it is read before the task's tree is ended.
TEST(RunTask, TimedOutTaskQuotesItsWindows) {
  FakePlatform p;
  p.files["runwell_Nightly.txt"] = "cmd /c backup.bat\nC:\\jobs\n3\n";
  p.waitOutcome = WaitOutcome::kTimedOut;
  p.windows = {{"Backup", "Insert disk 2\r\nthen press OK", {}}, {"", "", {}}};
  EXPECT_EQ(258u, RunTask(p));
  EXPECT_EQ(kHeader + std::string("\r\nThe task was showing: [Backup] Insert "
                                  "disk 2  then press OK; []"
                                  "\r\nProcess Timed out and Forcibly "
                                  "terminated.\r\n\r\nExit Code = 258"),
            p.TaskLog());
  EXPECT_EQ(Calls({"start", "resume", "wait", "windows", "console", "terminate",
        "close"}),
            p.calls);

  // The console it waited at, last lines last, after its windows.
  FakePlatform q;
  q.files["runwell_Nightly.txt"] = "cmd /c backup.bat\nC:\\jobs\n3\n";
  q.waitOutcome = WaitOutcome::kTimedOut;
  q.consoleLines = {"C:\\jobs>copy a b   ", "", "Overwrite b? (Yes/No/All): "};
  RunTask(q);
  EXPECT_EQ(kHeader + std::string("\r\nThe task's console showed: "
                                  "C:\\jobs>copy a b | Overwrite b? "
                                  "(Yes/No/All):\r\nProcess Timed out and "
                                  "Forcibly terminated.\r\n\r\nExit Code = "
                                  "258"),
            q.TaskLog());
  const std::string console =
      TaskConsoleMessage(std::vector<std::string>(100, std::string(79, 'y')));
  const size_t prefix = std::string("\nThe task's console showed: ").size();
  EXPECT_EQ(prefix + 1000, console.size());
  EXPECT_EQ("...", console.substr(prefix, 3));
  EXPECT_EQ(std::string(79, 'y'), console.substr(console.size() - 79));

  p.windows.assign(300, {"Box", std::string(20, 'x'), {}});
  const std::string message = TaskWindowsMessage(p.windows);
  EXPECT_EQ(std::string("\nThe task was showing: ").size() + 1000,
            message.size());
  EXPECT_EQ("...", message.substr(message.size() - 3));
}

// Saved as "Unicode", the data file is read as text of the code page; what
// the code page cannot hold refuses the task, and no NUL reaches a log.
TEST(RunTask, UnicodeDataFile) {
  struct Case {
    const char* name;
    std::string file;
    uint32_t result;
    std::string started;
  } cases[] = {
      {"little-endian", std::string("\xFF\xFEt\0a\0s\0k\0\r\0\n\0C\0:\0", 18),
       0, "task"},
      {"big-endian", std::string("\xFE\xFF\0t\0\xE9\0\n", 8), 0, "t\xE9"},
      // A high byte counts whole: U+0100 is no U+0200.
      {"high byte", std::string("\xFF\xFEt\0\0\x01", 6), 0, "t\xC4"},
      {"odd last byte", std::string("\xFF\xFEt\0x", 5), 0, "t"},
      {"beyond the code page", std::string("\xFF\xFEt\0\x41\x01", 6), 1, ""},
      {"a NUL character", std::string("\xFF\xFEt\0\0\0", 6), 1, ""},
      // The mark alone holds no command line; half a mark is no mark.
      {"the mark alone", std::string("\xFF\xFE", 2), 1, ""},
      {"half a mark", "\xFF" "Arun\r\n", 0, "\xFF" "Arun"},
      // Without its mark: no NUL reaches a log, nor anything of the file.
      {"no mark", std::string("t\0a\0s\0k\0\r\0\n\0", 12), 1, ""},
      // Past the three lines a task is read from, a NUL is no one's business.
      {"past the lines", std::string("cmd\nC:\\\n0\n\0", 11), 0, "cmd"},
  };
  for (const Case& c : cases) {
    FakePlatform p;
    p.files["runwell_Nightly.txt"] = c.file;
    EXPECT_EQ(c.result, RunTask(p)) << c.name;
    EXPECT_EQ(c.started, p.startedCommandLine) << c.name;
    EXPECT_EQ(std::string::npos, p.TaskLog().find('\0')) << c.name;
    EXPECT_EQ(p.TaskLog(), p.OutputLog()) << c.name;
    if (c.result == 1 && c.file.size() > 2 && c.file[0] != 't') {
      EXPECT_EQ("\r\nRunwell.exe Running: Task Title = Nightly\r\n"
                "\r\nError:: Runwell.exe data file runwell_Nightly.txt is "
                "Unicode text that the system's ANSI code page cannot hold\r\n"
                "\r\nError:: Failed to start process\r\n",
                p.TaskLog())
          << c.name;
    }
    if (c.file[0] == 't') {
      EXPECT_EQ("\r\nRunwell.exe Running: Task Title = Nightly\r\n"
                "\r\nError:: Runwell.exe data file runwell_Nightly.txt holds "
                "NUL bytes: it is no text file (Unicode saved without its "
                "byte-order mark, or a binary file)\r\n"
                "\r\nError:: Failed to start process\r\n",
                p.TaskLog());
    }
  }
}

// Known statuses only: a code some program uses on purpose says nothing.
TEST(Messages, SystemStatusesAndInserts) {
  const std::pair<uint32_t, const char*> statuses[] = {
      {0x80000003u, "0x80000003: a breakpoint was reached"},
      {0xC00000FDu, "0xC00000FD: stack overflow"},
      {0xC0000409u, "0xC0000409: stack buffer overrun"},
      {0xC000013Au, "0xC000013A: ended by Ctrl+C"},
      {0xC0000135u, "0xC0000135: a DLL it needs was not found"},
      {0xC0000374u, "0xC0000374: heap corruption"},
      {0xC0000420u, "0xC0000420: an assertion failed"},
      {0xC0000000u, nullptr},
      {0xFFFFFFFFu, nullptr},
      {1u, nullptr}};
  for (const auto& [status, meaning] : statuses) {
    EXPECT_EQ(meaning ? std::string("\nThe task ended with system status ") +
                            meaning
                      : std::string(),
              SystemStatusMessage(status))
        << status;
  }
  // A system text's inserts: the program, or nothing.
  EXPECT_EQ("\nReason:: Bad EXE format for C:\\t.exe. (system error 193)",
            StartFailureReasonMessage("Bad EXE format for %1.", 193,
                                      "C:\\t.exe"));
  EXPECT_EQ("\nReason:: 50% of  (system error 1)",
            StartFailureReasonMessage("50% of %2", 1, "x"));
}

// What the system takes for each kind of code page: UTF-8 refuses any
// flag but the invalid-sequence one, and the default-character arguments.
TEST(AnsiConversion, ByCodePage) {
  for (uint32_t codePage : {1252u, 932u}) {
    const morva_common::AnsiConversion how =
        morva_common::ConversionFor(codePage);
    EXPECT_EQ(0x400u, how.flags) << codePage;
    EXPECT_TRUE(how.defaultArguments) << codePage;
  }
  const morva_common::AnsiConversion utf8 = morva_common::ConversionFor(65001);
  EXPECT_EQ(0x80u, utf8.flags);
  EXPECT_FALSE(utf8.defaultArguments);
  EXPECT_EQ(0u, morva_common::ConversionFor(54936).flags);
}

TEST(Messages, ToTextMode) {
  EXPECT_EQ("", ToTextMode(""));
  EXPECT_EQ("\r\na\r\n\r\nb", ToTextMode("\na\n\nb"));
  EXPECT_EQ("a\rb", ToTextMode("a\rb"));
}

}  // namespace
}  // namespace runwell
