// Memory kept between calls. An allocator that gives freed memory back to the system only once
// more of it lies free than a threshold set by the largest blocks it has seen (glibc's, by
// default) keeps a call's large blocks for the next call, so that the next call does not fault
// them in afresh, page by page. It keeps them per thread, though (glibc has a heap per thread, up
// to eight per core), and a host with a pool of threads would keep a call's worth for each. So
// only the process's first thread, where a host's event loop runs, keeps them: on any other
// thread the pages of every large block of a call's arena go back to the system as the call
// ends, and the memory kept between calls stays bounded per process. Both questions below are
// answered by the kernel alone: nothing is kept between calls to decide.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace vorlik::system_memory {

// Blocks below this size are left to the allocator on every thread: they are few, and giving them
// back would cost small calls page faults.
inline constexpr std::size_t kGiveBackFrom = std::size_t{1} << 20;

// True on the thread that started the process (Linux: its thread id is the process id). Where
// that cannot be told, every thread counts as the first, which keeps the allocator's own rule.
inline bool on_first_thread() {
#if defined(__linux__)
  return ::syscall(SYS_gettid) == ::getpid();
#else
  return true;
#endif
}

// Gives the whole pages inside [p, p + size), memory the caller owns and is about to free, back
// to the system: they stay mapped and read as zeros, and cost a page fault each when next used.
inline void give_back_pages(const void* p, std::size_t size) {
#if defined(__linux__)
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t first = (start + page - 1) & ~(page - 1);
  const std::uintptr_t last = (start + size) & ~(page - 1);
  // Advice only: a failure leaves the pages where they are.
  if (first < last) {
    char* const at = const_cast<char*>(static_cast<const char*>(p)) + (first - start);
    ::madvise(at, last - first, MADV_DONTNEED);
  }
#else
  static_cast<void>(p);
  static_cast<void>(size);
#endif
}

}  // namespace vorlik::system_memory
