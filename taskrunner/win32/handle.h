#ifndef RUNWELL_WIN32_HANDLE_H_
#define RUNWELL_WIN32_HANDLE_H_

#include <windows.h>

namespace runwell {

// Files say "none" with INVALID_HANDLE_VALUE, processes and jobs with NULL.
struct FileHandleTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
};
struct KernelHandleTraits {
  static HANDLE Invalid() { return NULL; }
};

// Owns one handle and closes it once.
template <typename Traits>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE Get() const { return handle_; }
  bool Valid() const { return handle_ != Traits::Invalid(); }
  void Reset(HANDLE handle = Traits::Invalid()) {
    if (Valid()) CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = Traits::Invalid();
};

using FileHandle = UniqueHandle<FileHandleTraits>;
using KernelHandle = UniqueHandle<KernelHandleTraits>;

}  // namespace runwell

#endif
