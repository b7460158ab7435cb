// CString and CStringArray: byte strings as the dialog code uses them. A text
// is bytes; the first NUL ends it wherever a C string is taken in.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

class CString {
 public:
  CString() = default;
  CString(const char* text);  // NOLINT: implicit, as callers expect
  CString(const char* bytes, size_t length) { Assign(bytes, length); }
  explicit CString(std::string_view bytes) { Assign(bytes.data(), bytes.size()); }
  CString(const CString& other) { Assign(other.m_data, other.m_length); }
  CString(CString&& other) noexcept { Swap(other); }
  CString& operator=(const CString& other);
  CString& operator=(CString&& other) noexcept;
  CString& operator=(const char* text);
  ~CString();

  size_t GetLength() const { return m_length; }
  bool IsEmpty() const { return m_length == 0; }
  void Empty() { SetLength(0); }
  const char* GetString() const { return m_data; }
  operator const char*() const { return m_data; }  // NOLINT
  std::string_view View() const { return {m_data, m_length}; }
  char GetAt(size_t index) const { return m_data[index]; }

  // A writable buffer of at least min_length bytes plus a NUL; the text keeps
  // its bytes, and bytes beyond them are undefined until written.
  // ReleaseBuffer(-1) then takes the text up to the first NUL.
  char* GetBuffer(size_t min_length);
  void ReleaseBuffer(std::ptrdiff_t new_length = -1);
  // Makes room for a text of length bytes without changing this one.
  void Reserve(size_t length);

  CString& operator+=(const CString& text) { return Append(text.m_data, text.m_length); }
  CString& operator+=(const char* text);
  CString& operator+=(char byte) { return Append(&byte, 1); }
  friend CString operator+(const CString& a, const CString& b) {
    CString sum;
    sum.Reserve(a.m_length + b.m_length);
    sum += a;
    sum += b;
    return sum;
  }

  // Replaces every occurrence of old_text, left to right, byte by byte; the
  // inserted text is not searched again. Returns the number of replacements.
  size_t Replace(std::string_view old_text, std::string_view new_text);
  // Byte position of the first occurrence at or after start, or -1.
  std::ptrdiff_t Find(std::string_view text, size_t start = 0) const;
  // printf-style formatting of the whole string.
  void Format(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;

  friend bool operator==(const CString& a, const CString& b) { return a.View() == b.View(); }
  friend bool operator==(const CString& a, const char* b) { return a.View() == std::string_view(b ? b : ""); }

 private:
  static char kEmpty[1];
  void Assign(const char* bytes, size_t length);
  CString& Append(const char* bytes, size_t length);
  void SetLength(size_t length) {
    m_length = length;
    m_data[length] = '\0';
  }
  void Swap(CString& other) noexcept;

  char* m_data = kEmpty;  // always NUL-terminated; kEmpty until the first allocation
  size_t m_length = 0;
  size_t m_capacity = 0;  // bytes usable for text, the NUL not counted
  size_t m_pending = 0;   // bytes handed out by GetBuffer and not yet released
};

class CStringArray {
 public:
  size_t GetSize() const { return m_items.size(); }
  bool IsEmpty() const { return m_items.empty(); }
  size_t Add(const CString& item) { m_items.push_back(item); return m_items.size() - 1; }
  const CString& GetAt(size_t index) const { return m_items[index]; }
  CString& operator[](size_t index) { return m_items[index]; }
  const CString& operator[](size_t index) const { return m_items[index]; }
  void RemoveAll() { m_items.clear(); }
  std::vector<CString>::iterator begin() { return m_items.begin(); }
  std::vector<CString>::iterator end() { return m_items.end(); }
  std::vector<CString>::const_iterator begin() const { return m_items.begin(); }
  std::vector<CString>::const_iterator end() const { return m_items.end(); }

 private:
  std::vector<CString> m_items;
};
