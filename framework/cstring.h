// CString and CStringArray: byte strings as the dialog code uses them. A text
// is bytes; the first NUL ends it wherever a C string is taken in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class CString {
 public:
  CString() = default;
  CString(const char* text) : m_data(text ? text : "") {}  // NOLINT: implicit, as callers expect
  CString(const char* bytes, size_t length) : m_data(bytes, length) {}
  explicit CString(std::string_view bytes) : m_data(bytes) {}

  size_t GetLength() const { return m_data.size(); }
  bool IsEmpty() const { return m_data.empty(); }
  void Empty() { m_data.clear(); }
  const char* GetString() const { return m_data.c_str(); }
  operator const char*() const { return m_data.c_str(); }  // NOLINT
  std::string_view View() const { return m_data; }
  char GetAt(size_t index) const { return m_data[index]; }

  // A writable buffer of at least min_length bytes plus a NUL; the text keeps
  // its bytes. ReleaseBuffer(-1) then takes the text up to the first NUL.
  char* GetBuffer(size_t min_length);
  void ReleaseBuffer(std::ptrdiff_t new_length = -1);

  CString& operator=(const char* text);
  CString& operator+=(const CString& text) { m_data += text.m_data; return *this; }
  CString& operator+=(const char* text) { m_data += text ? text : ""; return *this; }
  CString& operator+=(char byte) { m_data += byte; return *this; }
  friend CString operator+(const CString& a, const CString& b) { return CString(a.m_data + b.m_data); }

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

  friend bool operator==(const CString& a, const CString& b) { return a.m_data == b.m_data; }
  friend bool operator==(const CString& a, const char* b) { return a.m_data == (b ? b : ""); }

 private:
  std::string m_data;
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
