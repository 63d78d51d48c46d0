#ifndef MORVASVC_HELD_ENTRIES_H_
#define MORVASVC_HELD_ENTRIES_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace morvasvc {

// Activity log entries made while another program held the log: kept in
// the order they were made, each with its own time stamp, up to a bound;
// past it the newest are counted, never kept.
class HeldEntries {
 public:
  struct Entry {
    std::string path;     // the log it belongs to; empty: not yet known
    std::string bytes;    // as stored, time stamp and line ends included
    std::string stamp;    // its time stamp, for the count of lost ones
    std::string message;
  };
  // Up to this many entries or bytes are kept.
  static constexpr size_t kMaxEntries = 1000;
  static constexpr size_t kMaxBytes = 1 << 20;

  bool Empty() const { return entries_.empty(); }
  // Entries kept, or a count of lost ones not yet written.
  bool Pending() const { return !entries_.empty() || lost_ > 0; }
  size_t Size() const { return entries_.size(); }
  const Entry& Front() const { return entries_.front(); }
  const Entry& Back() const { return entries_.back(); }
  void Add(Entry entry);
  // The oldest entries that go to one log, as one write; count gets how
  // many.
  std::string FrontRun(size_t* count) const;
  void PopFront(size_t count);
  // Entries made before the log's path was known belong to path.
  void AssignPath(const std::string& path);

  // Entries that did not fit, and the time stamps of the first and last.
  uint32_t Lost() const { return lost_; }
  const std::string& FirstLostStamp() const { return firstLostStamp_; }
  const std::string& LastLostStamp() const { return lastLostStamp_; }
  void ClearLost() { lost_ = 0; }

 private:
  std::deque<Entry> entries_;
  size_t bytes_ = 0;
  uint32_t lost_ = 0;
  std::string firstLostStamp_, lastLostStamp_;
};

}  // namespace morvasvc

#endif
