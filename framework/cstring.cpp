// CString: byte strings with the buffer protocol of the dialog code. Large
// texts (whole files) get memory of their own, in huge pages where the system
// offers them, and are never zero-filled: they are written before they are read.
#include "framework/cstring.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

#if defined(__linux__)
constexpr size_t kHugePage = size_t{2} << 20;
// Texts from this size on are mapped directly, aligned to huge pages.
constexpr size_t kMappedFrom = size_t{4} << 20;

size_t MappedSize(size_t bytes) { return (bytes + kHugePage - 1) & ~(kHugePage - 1); }
#endif

char* AllocateText(size_t bytes) {
#if defined(__linux__)
  if (bytes >= kMappedFrom) {
    // Over-map by one huge page so that the text can start on a boundary.
    size_t mapped = MappedSize(bytes) + kHugePage;
    void* base = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) throw std::bad_alloc();
    auto start = reinterpret_cast<uintptr_t>(base);
    uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > start) munmap(base, aligned - start);
    size_t tail = start + mapped - (aligned + MappedSize(bytes));
    if (tail > 0) munmap(reinterpret_cast<void*>(aligned + MappedSize(bytes)), tail);
    madvise(reinterpret_cast<void*>(aligned), MappedSize(bytes), MADV_HUGEPAGE);
    return reinterpret_cast<char*>(aligned);
  }
#endif
  void* memory = std::malloc(bytes);
  if (memory == nullptr) throw std::bad_alloc();
  return static_cast<char*>(memory);
}

void FreeText(char* text, size_t bytes) {
#if defined(__linux__)
  if (bytes >= kMappedFrom) {
    munmap(text, MappedSize(bytes));
    return;
  }
#endif
  std::free(text);
}

}  // namespace

char CString::kEmpty[1] = {'\0'};

CString::CString(const char* text) {
  if (text != nullptr) Assign(text, std::strlen(text));
}

CString::~CString() {
  if (m_data != kEmpty) FreeText(m_data, m_capacity + 1);
}

CString& CString::operator=(const CString& other) {
  if (this != &other) Assign(other.m_data, other.m_length);
  return *this;
}

CString& CString::operator=(CString&& other) noexcept {
  CString moved(std::move(other));
  Swap(moved);
  return *this;
}

CString& CString::operator=(const char* text) {
  if (text == nullptr) {
    Empty();
  } else if (text >= m_data && text <= m_data + m_length) {
    *this = CString(text);  // a part of this string
  } else {
    Assign(text, std::strlen(text));
  }
  return *this;
}

CString& CString::operator+=(const char* text) {
  if (text == nullptr) return *this;
  if (text >= m_data && text <= m_data + m_length) return *this += CString(text);
  return Append(text, std::strlen(text));
}

void CString::Swap(CString& other) noexcept {
  std::swap(m_pending, other.m_pending);
  std::swap(m_data, other.m_data);
  std::swap(m_length, other.m_length);
  std::swap(m_capacity, other.m_capacity);
}

void CString::Reserve(size_t length) {
  if (length <= m_capacity) return;
  if (length >= static_cast<size_t>(-1) / 2) throw std::bad_alloc();
  // Growth is geometric so that appending stays linear.
  size_t capacity = length < m_capacity + m_capacity / 2 ? m_capacity + m_capacity / 2 : length;
  char* data = AllocateText(capacity + 1);
  // Bytes written through GetBuffer and not yet released move along too.
  std::memcpy(data, m_data, (m_pending > m_length ? m_pending : m_length) + 1);
  if (m_data != kEmpty) FreeText(m_data, m_capacity + 1);
  m_data = data;
  m_capacity = capacity;
}

void CString::Assign(const char* bytes, size_t length) {
  if (length > m_capacity) {
    CString fresh;
    fresh.Reserve(length);
    Swap(fresh);
  }
  if (length != 0) std::memmove(m_data, bytes, length);
  SetLength(length);
}

CString& CString::Append(const char* bytes, size_t length) {
  if (length == 0) return *this;
  Reserve(m_length + length);
  std::memcpy(m_data + m_length, bytes, length);
  SetLength(m_length + length);
  return *this;
}

char* CString::GetBuffer(size_t min_length) {
  Reserve(min_length);
  if (min_length > m_pending) m_pending = min_length;
  return m_data;
}

void CString::ReleaseBuffer(std::ptrdiff_t new_length) {
  m_pending = 0;
  if (m_data == kEmpty) return;
  size_t length = new_length < 0 ? strnlen(m_data, m_capacity) : static_cast<size_t>(new_length);
  SetLength(length <= m_capacity ? length : m_capacity);
}

size_t CString::Replace(std::string_view old_text, std::string_view new_text) {
  if (old_text.empty() || m_length < old_text.size()) return 0;
  const std::string_view text = View();
  size_t count = 0;
  for (size_t at = text.find(old_text); at != std::string_view::npos; at = text.find(old_text, at + old_text.size())) {
    ++count;
  }
  if (count == 0) return 0;
  const size_t length = m_length - count * old_text.size() + count * new_text.size();
  CString result;
  result.Reserve(length);
  size_t from = 0;
  for (size_t at = text.find(old_text); at != std::string_view::npos; at = text.find(old_text, from)) {
    result.Append(m_data + from, at - from);
    result.Append(new_text.data(), new_text.size());
    from = at + old_text.size();
  }
  result.Append(m_data + from, m_length - from);
  Swap(result);
  return count;
}

std::ptrdiff_t CString::Find(std::string_view text, size_t start) const {
  size_t at = View().find(text, start);
  return at == std::string_view::npos ? -1 : static_cast<std::ptrdiff_t>(at);
}

void CString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (length < 0) {
    va_end(again);
    Empty();
    return;
  }
  CString result;
  std::vsnprintf(result.GetBuffer(static_cast<size_t>(length)), static_cast<size_t>(length) + 1, format, again);
  va_end(again);
  result.SetLength(static_cast<size_t>(length));
  Swap(result);
}
