// Work on a second thread, where the platform has threads (FRAMEWORK_THREADS
// 1); where it has none, the same calls run the work at once, in the caller's.
#pragma once

#include <exception>
#include <functional>

#if defined(_GLIBCXX_HAS_GTHREADS) || defined(_LIBCPP_HAS_THREADS) || defined(_MSC_VER)
#define FRAMEWORK_THREADS 1
#include <thread>
#else
#define FRAMEWORK_THREADS 0
#endif

// A task that runs while its starter goes on.
class CBackgroundTask {
 public:
  explicit CBackgroundTask(std::function<void()> task);
  // Waits for the task; what it threw and no Wait raised is dropped.
  ~CBackgroundTask();
  CBackgroundTask(const CBackgroundTask&) = delete;
  CBackgroundTask& operator=(const CBackgroundTask&) = delete;

  // Returns once the task has run; raises what it threw.
  void Wait();
  // Whether tasks run beside their starters here, rather than at once.
  static constexpr bool kBeside = FRAMEWORK_THREADS;

 private:
  void Run(const std::function<void()>& task);

  std::exception_ptr failure_;
#if FRAMEWORK_THREADS
  std::thread thread_;
#endif
};
