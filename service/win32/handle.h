#ifndef MORVASVC_WIN32_HANDLE_H_
#define MORVASVC_WIN32_HANDLE_H_

#include <winsock2.h>
#include <windows.h>

namespace morvasvc {

// Each kind of handle says "none" in its own way and is closed its own way.
struct FileHandleTraits {
  using Type = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct KernelHandleTraits {
  using Type = HANDLE;
  static HANDLE Invalid() { return NULL; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct ServiceHandleTraits {
  using Type = SC_HANDLE;
  static SC_HANDLE Invalid() { return NULL; }
  static void Close(SC_HANDLE h) { CloseServiceHandle(h); }
};
struct SocketTraits {
  using Type = SOCKET;
  static SOCKET Invalid() { return INVALID_SOCKET; }
  static void Close(SOCKET s) { closesocket(s); }
};
struct FindHandleTraits {
  using Type = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { FindClose(h); }
};
struct RegistryKeyTraits {
  using Type = HKEY;
  static HKEY Invalid() { return NULL; }
  static void Close(HKEY key) { RegCloseKey(key); }
};
struct EventSourceTraits {
  using Type = HANDLE;
  static HANDLE Invalid() { return NULL; }
  static void Close(HANDLE h) { DeregisterEventSource(h); }
};
// What the system allocates with LocalAlloc for its caller to free.
struct LocalMemoryTraits {
  using Type = HLOCAL;
  static HLOCAL Invalid() { return NULL; }
  static void Close(HLOCAL memory) { LocalFree(memory); }
};

// Owns one handle and closes it once.
template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;
  UniqueHandle() = default;
  explicit UniqueHandle(Type handle) : handle_(handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  Type Get() const { return handle_; }
  // For a call that fills in a new handle; the old one is closed first.
  Type* Receive() {
    Reset();
    return &handle_;
  }
  bool Valid() const { return handle_ != Traits::Invalid(); }
  Type Release() {
    Type handle = handle_;
    handle_ = Traits::Invalid();
    return handle;
  }
  void Reset(Type handle = Traits::Invalid()) {
    if (Valid()) Traits::Close(handle_);
    handle_ = handle;
  }

 private:
  Type handle_ = Traits::Invalid();
};

using FileHandle = UniqueHandle<FileHandleTraits>;
using KernelHandle = UniqueHandle<KernelHandleTraits>;
using ServiceHandle = UniqueHandle<ServiceHandleTraits>;
using SocketHandle = UniqueHandle<SocketTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using RegistryKey = UniqueHandle<RegistryKeyTraits>;
using EventSourceHandle = UniqueHandle<EventSourceTraits>;
using LocalMemory = UniqueHandle<LocalMemoryTraits>;

}  // namespace morvasvc

#endif
