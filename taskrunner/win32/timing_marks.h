#ifndef RUNWELL_WIN32_TIMING_MARKS_H_
#define RUNWELL_WIN32_TIMING_MARKS_H_

namespace runwell {

// Where Runwell's own time goes. The shipped program records nothing
// (timing_marks_none.cpp); its benchmark build records each mark on the
// high-resolution counter and, at the last, appends them to
// "runwell_timing.txt" in the current folder (timing_marks_recorded.cpp).
enum class TimingMark {
  kEntry,
  kBeforeDataFile,  // the first log messages written
  kAfterDataFile,
  kBeforeJob,       // the command line's messages written
  kBeforeTaskStart,
  kAfterTaskStart,  // created and resumed: the task runs
  kAfterTaskExit,   // its end seen by the wait
  kBeforeExit,
};
void MarkTime(TimingMark mark);

}  // namespace runwell

#endif
