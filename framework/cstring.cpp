// CString: byte strings with the buffer protocol of the dialog code.
#include "framework/cstring.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

char* CString::GetBuffer(size_t min_length) {
  if (m_data.size() < min_length) m_data.resize(min_length, '\0');
  return m_data.data();
}

void CString::ReleaseBuffer(std::ptrdiff_t new_length) {
  if (new_length < 0) {
    m_data.resize(std::strlen(m_data.c_str()));
  } else {
    m_data.resize(static_cast<size_t>(new_length));
  }
}

CString& CString::operator=(const char* text) {
  m_data = text ? text : "";
  return *this;
}

size_t CString::Replace(std::string_view old_text, std::string_view new_text) {
  if (old_text.empty()) return 0;
  size_t count = 0;
  for (size_t at = m_data.find(old_text); at != std::string::npos; at = m_data.find(old_text, at + old_text.size())) {
    ++count;
  }
  if (count == 0) return 0;
  std::string result;
  result.reserve(m_data.size() + count * new_text.size() - count * old_text.size());
  size_t from = 0;
  for (size_t at = m_data.find(old_text); at != std::string::npos; at = m_data.find(old_text, from)) {
    result.append(m_data, from, at - from);
    result.append(new_text);
    from = at + old_text.size();
  }
  result.append(m_data, from, std::string::npos);
  m_data.swap(result);
  return count;
}

std::ptrdiff_t CString::Find(std::string_view text, size_t start) const {
  size_t at = m_data.find(text, start);
  return at == std::string::npos ? -1 : static_cast<std::ptrdiff_t>(at);
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
    m_data.clear();
    return;
  }
  std::string result(static_cast<size_t>(length), '\0');
  std::vsnprintf(result.data(), result.size() + 1, format, again);
  va_end(again);
  m_data.swap(result);
}
