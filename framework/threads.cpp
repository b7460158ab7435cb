#include "framework/threads.h"

#include <utility>

void CBackgroundTask::Run(const std::function<void()>& task) {
  try {
    task();
  } catch (...) {
    failure_ = std::current_exception();
  }
}

#if FRAMEWORK_THREADS

CBackgroundTask::CBackgroundTask(std::function<void()> task)
    : thread_([this, work = std::move(task)] { Run(work); }) {}

CBackgroundTask::~CBackgroundTask() {
  if (thread_.joinable()) thread_.join();
}

void CBackgroundTask::Wait() {
  if (thread_.joinable()) thread_.join();
  if (failure_ != nullptr) std::rethrow_exception(std::exchange(failure_, nullptr));
}

#else

CBackgroundTask::CBackgroundTask(std::function<void()> task) { Run(task); }

CBackgroundTask::~CBackgroundTask() = default;

void CBackgroundTask::Wait() {
  if (failure_ != nullptr) std::rethrow_exception(std::exchange(failure_, nullptr));
}

#endif
