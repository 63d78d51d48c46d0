// Runwell's benchmark build: the marks in microseconds since its entry, one
// line a run: before the task's start, once it runs, after its exit, before
// its own exit, then before and after the data file's read and before the
// job.
#include <windows.h>

#include <cstdio>

#include "timing_marks.h"

namespace runwell {

namespace {
LARGE_INTEGER marks[8];
}  // namespace

void MarkTime(TimingMark mark) {
  QueryPerformanceCounter(&marks[static_cast<int>(mark)]);
  if (mark != TimingMark::kBeforeExit) return;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  const auto us = [&](TimingMark m) {
    return 1e6 * (marks[static_cast<int>(m)].QuadPart -
                  marks[static_cast<int>(TimingMark::kEntry)].QuadPart) /
           frequency.QuadPart;
  };
  if (FILE* file = std::fopen("runwell_timing.txt", "a")) {
    std::fprintf(file, "%.1f %.1f %.1f %.1f %.1f %.1f %.1f\n",
                 us(TimingMark::kBeforeTaskStart),
                 us(TimingMark::kAfterTaskStart),
                 us(TimingMark::kAfterTaskExit), us(TimingMark::kBeforeExit),
                 us(TimingMark::kBeforeDataFile),
                 us(TimingMark::kAfterDataFile), us(TimingMark::kBeforeJob));
    std::fclose(file);
  }
}

}  // namespace runwell
