#include "held_entries.h"

namespace morvasvc {

void HeldEntries::Add(Entry entry) {
  if (entries_.size() >= kMaxEntries ||
      bytes_ + entry.bytes.size() > kMaxBytes) {
    if (lost_++ == 0) firstLostStamp_ = entry.stamp;
    lastLostStamp_ = entry.stamp;
    return;
  }
  bytes_ += entry.bytes.size();
  entries_.push_back(std::move(entry));
}

std::string HeldEntries::FrontRun(size_t* count) const {
  std::string bytes;
  size_t n = 0;
  while (n < entries_.size() && entries_[n].path == entries_.front().path) {
    bytes += entries_[n++].bytes;
  }
  *count = n;
  return bytes;
}

void HeldEntries::PopFront(size_t count) {
  for (; count > 0 && !entries_.empty(); --count) {
    bytes_ -= entries_.front().bytes.size();
    entries_.pop_front();
  }
}

void HeldEntries::AssignPath(const std::string& path) {
  for (Entry& entry : entries_) {
    if (entry.path.empty()) entry.path = path;
  }
}

}  // namespace morvasvc
