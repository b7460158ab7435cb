#include "framework/write_behind.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "framework/threads.h"

#if FRAMEWORK_THREADS
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#endif

namespace {

// Empties the file when asked and it holds bytes (a pipe or a device tells 0).
void EmptyFirst(CFile& file, bool empty_first) {
  if (empty_first && file.GetLength() != 0) file.SetLength(0);
}

constexpr size_t kBlockSize = 1 << 20;

}  // namespace

void CWriteBehind::Write(const void* bytes, size_t count) {
  const char* from = static_cast<const char*>(bytes);
  while (count != 0) {
    const size_t take = std::min(count, kBlockSize);
    std::memcpy(Room(take), from, take);
    Commit(take);
    from += take;
    count -= take;
  }
}

#if FRAMEWORK_THREADS

namespace {

// At most kMaxBlocks blocks wait: the bound of the memory held, large enough
// that emptying a large file does not hold the caller up.
constexpr size_t kMaxBlocks = 48;

struct Block {
  std::unique_ptr<char[]> bytes;
  size_t capacity = 0;
  size_t size = 0;
};

}  // namespace

// The caller fills one block while the thread writes those that wait. The
// members other than the thread's own loop are called with the mutex held.
struct CWriteBehind::Shared {
  CFile& file;
  std::mutex mutex;
  std::condition_variable to_thread;  // a block waits, or the end
  std::condition_variable to_caller;  // a block is written
  std::deque<Block> waiting;          // full blocks, in order
  std::vector<Block> spare;           // written blocks, to fill again
  size_t blocks = 0;                  // blocks allocated
  bool writing = false;               // a block is being written
  bool emptied = false;               // the file is ready for the first block
  uint64_t written = 0;               // bytes written from the first block on
  bool ending = false;
  std::exception_ptr failure;  // of the first step that failed; later blocks are dropped
  Block filling;               // the caller's
  std::thread thread;

  Shared(CFile& target, bool empty_first) : file(target) {
    thread = std::thread([this, empty_first] { Run(empty_first); });
  }

  ~Shared() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      Send();
      ending = true;
      to_thread.notify_one();
    }
    thread.join();
  }

  void Run(bool empty_first) {
    Step([&] { EmptyFirst(file, empty_first); });
    std::unique_lock<std::mutex> lock(mutex);
    emptied = true;
    to_caller.notify_one();
    for (;;) {
      to_thread.wait(lock, [&] { return !waiting.empty() || ending; });
      if (waiting.empty()) return;
      Block block = std::move(waiting.front());
      waiting.pop_front();
      writing = true;
      const bool failed = failure != nullptr;
      lock.unlock();
      if (!failed) Step([&] { file.Write(block.bytes.get(), block.size); });
      // A file emptied and written anew may otherwise go to the disk whole
      // at its close (ext4 does so), on the caller's time rather than here.
      if (!failed && empty_first) file.StartWriteOut(written, block.size);
      lock.lock();
      written += block.size;
      writing = false;
      block.size = 0;
      spare.push_back(std::move(block));
      to_caller.notify_one();
    }
  }

  // Runs work on the thread; its failure is kept for the caller (work takes the mutex).
  template <class Work>
  void Step(Work work) {
    try {
      work();
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex);
      if (failure == nullptr) failure = std::current_exception();
    }
  }

  void RaiseFailure() const {
    if (failure != nullptr) std::rethrow_exception(failure);
  }

  // Hands the block being filled to the thread.
  void Send() {
    if (filling.size == 0) return;
    waiting.push_back(std::move(filling));
    filling = Block();
    to_thread.notify_one();
  }

  // A block with room for count bytes to fill: a spare one, a new one while
  // the bound allows, else the first one the thread is done with.
  void TakeBlock(std::unique_lock<std::mutex>& lock, size_t count) {
    if (filling.bytes != nullptr) {  // empty, and too small
      filling = Block();
      --blocks;
    }
    if (spare.empty() && blocks == kMaxBlocks) to_caller.wait(lock, [&] { return !spare.empty(); });
    if (!spare.empty()) {
      filling = std::move(spare.back());
      spare.pop_back();
      if (filling.capacity >= count) return;
      --blocks;
    }
    filling.capacity = std::max(count, kBlockSize);
    filling.bytes.reset(new char[filling.capacity]);
    ++blocks;
  }
};

CWriteBehind::CWriteBehind(CFile& file, bool empty_first) : shared_(new Shared(file, empty_first)) {}

CWriteBehind::~CWriteBehind() = default;

char* CWriteBehind::Room(size_t count) {
  Shared& s = *shared_;
  std::unique_lock<std::mutex> lock(s.mutex);
  s.RaiseFailure();
  if (s.filling.capacity - s.filling.size < count) {
    s.Send();
    s.TakeBlock(lock, count);
  }
  // The block is the caller's alone until Send: filled without the mutex.
  return s.filling.bytes.get() + s.filling.size;
}

void CWriteBehind::Commit(size_t count) {
  Shared& s = *shared_;
  std::lock_guard<std::mutex> lock(s.mutex);
  s.filling.size += count;
  if (s.filling.size == s.filling.capacity) s.Send();
}

void CWriteBehind::Flush() {
  Shared& s = *shared_;
  std::unique_lock<std::mutex> lock(s.mutex);
  if (s.emptied && s.waiting.empty() && !s.writing && s.failure == nullptr) {
    // Nothing else waits: the caller writes its block itself, sparing the
    // hand-over (a join of many small files flushes after each).
    s.writing = true;
    lock.unlock();
    s.Step([&] { s.file.Write(s.filling.bytes.get(), s.filling.size); });
    lock.lock();
    s.written += s.filling.size;
    s.writing = false;
    s.filling.size = 0;
  } else {
    s.Send();
    s.to_caller.wait(lock, [&] { return s.waiting.empty() && !s.writing; });
  }
  s.RaiseFailure();
}

#else

struct CWriteBehind::Shared {
  CFile& file;
  std::vector<char> room;
};

CWriteBehind::CWriteBehind(CFile& file, bool empty_first) : shared_(new Shared{file, {}}) {
  EmptyFirst(file, empty_first);
}

CWriteBehind::~CWriteBehind() = default;

char* CWriteBehind::Room(size_t count) {
  if (shared_->room.size() < count) shared_->room.resize(count);
  return shared_->room.data();
}

void CWriteBehind::Commit(size_t count) { shared_->file.Write(shared_->room.data(), count); }

void CWriteBehind::Flush() {}

#endif
