// The join: both drivers, the text pipeline in its fixed order, the
// separator, and the options' conversion from and to combo indexes.
#include "join/join.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "framework/os.h"
#include "framework/threads.h"
#include "framework/write_behind.h"
#include "jcode/jcode.h"

namespace {

constexpr unsigned kOutputFlags =
    CFile::modeCreate | CFile::modeWrite | CFile::typeBinary | CFile::shareExclusive;
constexpr unsigned kSourceFlags = CFile::modeRead | CFile::typeBinary | CFile::shareExclusive;

template <class Option>
Option FromIndex(int32_t index, int32_t choices) {
  return index >= 0 && index < choices ? static_cast<Option>(index) : Option::kUnselected;
}

// A file that does not fit in memory; ends the join, naming the file.
struct TooLargeFailure {
  CString path;
};

// Reads a whole file into text, as bytes. The size is checked before
// anything is allocated. A file that holds more than its reported length (a
// pipe or a device reports 0, a file may grow) is read on to its end, in a
// buffer that doubles. reserve_factor sizes the buffer for the stages to come
// (a growing output code, longer line ends) so that they work in it without
// moving the text.
void ReadText(CFile& file, CString& text, size_t reserve_factor) {
  constexpr size_t kFirstGrowth = 64 * 1024;
  // On Windows a pipe has no length to tell: asking fails. Such a file is
  // read as one that reports 0; a fault of the file itself shows in the read.
  uint64_t length = 0;
  try {
    length = file.GetLength();
  } catch (const CFileException&) {
  }
  if (length >= SIZE_MAX / 8) throw TooLargeFailure{file.GetFilePath()};
  size_t capacity = static_cast<size_t>(length) + 1;  // one byte more tells whether the end was reached
  try {
    text.Reserve(capacity * reserve_factor + 16);
    size_t got = 0;
    for (;;) {
      char* buffer = text.GetBuffer(capacity);
      got += file.Read(buffer + got, capacity - got);
      if (got < capacity) break;  // Read returns fewer bytes only at the end
      capacity = std::max(capacity * 2, kFirstGrowth);
      if (capacity >= SIZE_MAX / 4) throw TooLargeFailure{file.GetFilePath()};
    }
    text.ReleaseBuffer(static_cast<std::ptrdiff_t>(got));
  } catch (const std::bad_alloc&) {
    throw TooLargeFailure{file.GetFilePath()};
  } catch (const CMemoryException&) {
    throw TooLargeFailure{file.GetFilePath()};
  }
}

// Brings the line ends of text to LF and ends it at its first NUL.
void NormalizeText(CString& text) {
  char* buffer = text.GetBuffer(text.GetLength());
  text.ReleaseBuffer(static_cast<std::ptrdiff_t>(normalize_newlines(buffer, text.GetLength())));
}

// One source's text on its way through the pipeline.
struct SourceText {
  CString text;
  const CString& path;
  bool last;
  bool in_cp932 = false;            // decoded from Unicode or forced to Shift_JIS: no Japanese code detection
  ConvertReport replaced{0, 0, 0};  // characters replaced on the way in
  KanjiLoss lost{0, 0};             // and on the way out
};

// The Unicode code an input code forces; UNICODE_NONE for kAuto and the Japanese codes.
UnicodeClass ForcedClass(InputCode input_code) {
  switch (input_code) {
    case InputCode::kUtf8:
      return UNICODE_UTF8;
    case InputCode::kUtf16Le:
      return UNICODE_UTF16LE;
    case InputCode::kUtf16Be:
      return UNICODE_UTF16BE;
    default:
      return UNICODE_NONE;
  }
}

// Decodes a Unicode text to code page 932 in place of its bytes: under kAuto
// a text classify_text classes as Unicode (classed and decoded in one pass),
// else a text in the code the input code forces (the decoder drops its mark,
// if any). Any other text is left as it is. Returns the class decoded from
// and what was replaced.
DecodedText DecodeUnicode(CString& text, InputCode input_code, Unmappable unmappable) {
  const UnicodeClass forced = ForcedClass(input_code);
  if (input_code != InputCode::kAuto && forced == UNICODE_NONE) return {{UNICODE_NONE, 0}, {}};
  const size_t n = text.GetLength();
  const size_t capacity = unicode_to_cp932_capacity(n);
  if (capacity == 0) throw std::bad_alloc();
  CString decoded;
  char* buffer = decoded.GetBuffer(capacity - 1);
  const DecodedText result =
      forced == UNICODE_NONE
          ? classify_and_decode(text.GetString(), n, buffer, unmappable)
          : DecodedText{{forced, 0}, unicode_to_cp932(forced, text.GetString(), n, buffer, unmappable)};
  if (result.text_class.code == UNICODE_NONE) return result;
  decoded.ReleaseBuffer(static_cast<std::ptrdiff_t>(result.report.length));
  text = std::move(decoded);
  return result;
}

// Where the output edge puts its bytes: the output file, written behind, or
// memory. Room(n) gives room for n bytes made in place, of which Commit(made)
// keeps the first `made`.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual char* Room(size_t n) = 0;
  virtual void Commit(size_t made) = 0;
  virtual void Write(const char* bytes, size_t n) = 0;
  virtual void Flush() = 0;
};

class FileSink final : public ByteSink {
 public:
  explicit FileSink(CWriteBehind& out) : out_(out) {}
  char* Room(size_t n) override { return out_.Room(n); }
  void Commit(size_t made) override { out_.Commit(made); }
  void Write(const char* bytes, size_t n) override { out_.Write(bytes, n); }
  void Flush() override { out_.Flush(); }

 private:
  CWriteBehind& out_;
};

// Bytes kept in memory, in chunks that are never moved or cleared first, and
// kept for the next bytes after Clear.
class MemorySink final : public ByteSink {
 public:
  char* Room(size_t n) override {
    while (used_ < chunks_.size() && chunks_[used_].capacity - chunks_[used_].size < n) {
      if (chunks_[used_].size == 0) chunks_.erase(chunks_.begin() + static_cast<ptrdiff_t>(used_));  // too small
      else ++used_;
    }
    if (used_ == chunks_.size()) {
      const size_t capacity = std::max(n, kChunk);
      chunks_.push_back({std::unique_ptr<char[]>(new char[capacity]), 0, capacity});
    }
    return chunks_[used_].bytes.get() + chunks_[used_].size;
  }
  void Commit(size_t made) override { chunks_[used_].size += made; }
  void Write(const char* bytes, size_t n) override {
    if (n == 0) return;
    std::memcpy(Room(n), bytes, n);
    Commit(n);
  }
  void Flush() override {}

  // Hands every byte kept to put(bytes, n), in order.
  template <class Put>
  void ForEachChunk(Put put) const {
    for (const Chunk& chunk : chunks_) {
      if (chunk.size != 0) put(chunk.bytes.get(), chunk.size);
    }
  }

  void Clear() {
    for (Chunk& chunk : chunks_) chunk.size = 0;
    used_ = 0;
  }

 private:
  static constexpr size_t kChunk = 4 << 20;
  struct Chunk {
    std::unique_ptr<char[]> bytes;
    size_t size;
    size_t capacity;
  };
  std::vector<Chunk> chunks_;
  size_t used_ = 0;  // the chunk being filled
};

// The output edge of the pipeline: the output line end, then the output code
// UTF-8 or UTF-16LE with its byte-order mark before the first text only, then
// the write. A source's text goes through in windows that stay in the cache,
// so that it is never held whole in its output form. A window ends after a
// byte below 0x40 other than CR: no code page 932 character and no CR LF is
// cut there, so each window converts as its part of the whole would.
class OutputWriter {
 public:
  OutputWriter(ByteSink& out, const JoinOptions& options)
      : out_(out),
        line_end_(options.line_end == LineEnd::kCrLf ? "\r\n"
                  : options.line_end == LineEnd::kCr ? "\r"
                                                     : nullptr),
        encodes_(options.output_code == OutputCode::kUtf8 || options.output_code == OutputCode::kUtf8Bom ||
                 options.output_code == OutputCode::kUtf16LeBom),
        code_(options.output_code == OutputCode::kUtf16LeBom ? OUTPUT_UTF16LE : OUTPUT_UTF8),
        mark_pending_(options.output_code == OutputCode::kUtf8Bom ||
                      options.output_code == OutputCode::kUtf16LeBom) {}

  // A writer into out that converts as `like` does, for a later part of its
  // current source: no byte-order mark.
  OutputWriter(ByteSink& out, const OutputWriter& like)
      : out_(out), line_end_(like.line_end_), encodes_(like.encodes_), code_(like.code_), mark_pending_(false) {}

  // Whether the writer changes what it is given (rather than writing it as it is).
  bool Converts() const { return line_end_ != nullptr || encodes_; }

  // Where text[from, end) may be cut into two parts that convert as the
  // whole: the last window's end (see WindowEnd) after from and up to
  // `before`; end when there is none.
  static size_t CutBefore(const char* text, size_t from, size_t before, size_t end) {
    const size_t cut = WindowEnd(text + from, before - from);
    return cut != 0 ? from + cut : end;
  }

  // Writes a piece of the current source's text; what the next piece may
  // still change waits for it.
  void Put(const char* text, size_t n) {
    if (line_end_ == nullptr && !encodes_) {
      WriteOut(text, n);
      return;
    }
    while (n != 0) {
      if (held_.empty() && n >= window_) {
        // A whole window in the piece: written from there, not copied first.
        const size_t cut = WindowEnd(text, window_);
        if (cut == 0) {
          window_ *= 2;
          continue;
        }
        Write(text, cut);
        text += cut;
        n -= cut;
        continue;
      }
      const size_t take = std::min(n, window_ - held_.size());
      held_.append(text, take);
      text += take;
      n -= take;
      if (held_.size() < window_) return;
      const size_t cut = WindowEnd(held_.data(), held_.size());
      if (cut == 0) {
        window_ *= 2;  // no place to cut: a larger window
        continue;
      }
      Write(held_.data(), cut);
      held_.erase(0, cut);
    }
  }

  // Ends the current source: writes what waits, and returns once it is
  // written, so that a failed write stops the join before anything is told
  // of the source or of a later one. Returns the characters the output code
  // replaced in the source, with the line of the first one in the text as
  // written.
  KanjiLoss EndSource() {
    EndPart();
    out_.Flush();
    const KanjiLoss lost = lost_;
    lost_ = {0, 0};
    lines_ = 0;
    return lost;
  }

  uint64_t bytes() const { return bytes_; }

  // Ends a part of a source: writes what waits, as at the source's end.
  void EndPart() {
    Write(held_.data(), held_.size());
    held_.clear();
  }

  // Takes on the next part of the current source, as `part` wrote it into
  // `bytes`, with what it replaced; this writer's part must end where that
  // one began, at a window's end.
  void TakeOn(const OutputWriter& part, const MemorySink& bytes) {
    EndPart();
    const uint64_t before = bytes_;
    bytes.ForEachChunk([&](const char* chunk, size_t n) { out_.Write(chunk, n); });
    bytes_ = before + part.bytes_;
    if (lost_.count != 0) {
      lost_.count += part.lost_.count;
    } else if (part.lost_.count != 0) {
      lost_ = {part.lost_.count, lines_ + part.lost_.first_line};
    } else {
      lines_ += part.lines_;
    }
  }

  // Room for n bytes of the current source's text to be made in place, where
  // the writer takes them as they are; nullptr where it changes them first.
  // Commit(made) hands over the first `made`.
  char* Room(size_t n) { return line_end_ == nullptr && !encodes_ ? out_.Room(n) : nullptr; }
  void Commit(size_t made) {
    out_.Commit(made);
    bytes_ += made;
  }

 private:
  static constexpr size_t kWindow = 64 * 1024;

  // The length of the text's leading part up to its last byte below 0x40
  // other than CR; 0 when there is none.
  static size_t WindowEnd(const char* text, size_t n) {
    for (size_t i = n; i != 0; --i) {
      const auto b = static_cast<unsigned char>(text[i - 1]);
      if (b < 0x40 && b != '\r') return i;
    }
    return 0;
  }

  void Write(const char* text, size_t n) {
    if (line_end_ != nullptr) {
      ended_.clear();
      for (const char* end = text + n; text != end;) {
        const char* lf = static_cast<const char*>(std::memchr(text, '\n', static_cast<size_t>(end - text)));
        if (lf == nullptr) lf = end;
        ended_.append(text, static_cast<size_t>(lf - text));
        if (lf != end) ended_ += line_end_;
        text = lf == end ? end : lf + 1;
      }
      text = ended_.data();
      n = ended_.size();
    }
    if (!encodes_) {
      WriteOut(text, n);
      return;
    }
    const size_t capacity = cp932_to_unicode_capacity(n);
    if (capacity == 0) throw std::bad_alloc();
    // Encoded where it waits to be written.
    const ConvertReport report = cp932_to_unicode(code_, mark_pending_, text, n, out_.Room(capacity));
    out_.Commit(report.length);
    bytes_ += report.length;
    mark_pending_ = false;
    if (report.replaced != 0) {
      if (lost_.count == 0) lost_.first_line = lines_ + report.first_line;
      lost_.count += report.replaced;
    }
    if (lost_.count == 0) lines_ += count_line_ends(text, n);
  }

  void WriteOut(const char* text, size_t n) {
    out_.Write(text, n);
    bytes_ += n;
  }

  ByteSink& out_;
  const char* const line_end_;  // what an LF becomes; nullptr: it stays
  const bool encodes_;
  const UnicodeOutput code_;
  bool mark_pending_;
  size_t window_ = kWindow;
  std::string held_;           // the current source's text not yet written
  std::string ended_;          // a window with its line ends
  size_t lines_ = 0;           // line ends written of the current source before its first loss
  KanjiLoss lost_{0, 0};
  uint64_t bytes_ = 0;
};

// The text stages of one join, run on each source in a fixed order. The
// order is the table kStages; a stage at either edge (decoding a source,
// encoding the output) is one more entry there.
class TextPipeline {
 public:
  TextPipeline(const JoinOptions& options, const CString& separator, const ReplaceTable* table,
               JoinReporter& report)
      : options_(options), separator_(separator), table_(table), report_(report) {}

  // Whether the stages after the decoding work a line at a time: no table,
  // the output code Shift_JIS or Unicode. Only then is a source's text taken
  // from a mapping of its file, as the stages never change it in place.
  bool LineWise() const {
    return table_ == nullptr && options_.output_code != OutputCode::kJis &&
           options_.output_code != OutputCode::kEucJp;
  }

  // Runs the stages on a source's n bytes (its own text, or its file mapped)
  // and hands the result to the writer. Under LineWise a Unicode source is
  // decoded a window at a time, and a text whose code the stages keep goes
  // to the writer a window at a time; any other is copied into the source's
  // text when it is not that already, and the stages run on it.
  void Run(SourceText& source, const char* bytes, size_t n, OutputWriter& writer) {
    if (LineWise()) {
      const TextClass text_class = options_.input_code == InputCode::kAuto
                                       ? Classify(bytes, n)
                                       : TextClass{ForcedClass(options_.input_code), 0};
      if (text_class.code != UNICODE_NONE) {
        // UTF-8 without a mark has been found valid, and is not checked again
        // where what it lacks becomes the geta mark.
        const bool checked = options_.input_code == InputCode::kAuto && text_class.code == UNICODE_UTF8 &&
                             text_class.mark_length == 0 && options_.unmappable == UNMAPPABLE_GETA;
        DecodeInWindows(source, text_class, checked, bytes, n, writer);
        return;
      }
      if (KeepsItsCode(bytes, n)) {
        PassInWindows(source, bytes, n, writer);
        return;
      }
    }
    if (bytes != source.text.GetString()) source.text = CString(bytes, n);
    for (Stage stage : kStages) (this->*stage)(source);
    writer.Put(source.text.GetString(), source.text.GetLength());
  }

 private:
  using Stage = void (TextPipeline::*)(SourceText&);

  // classify_text; a long text is checked in two halves at once. Where the
  // first half alone is UTF-8 without a NUL, the whole is UTF-8 when the
  // second half is valid too (the halves are cut before a byte that starts
  // a character, or that no UTF-8 has there). Any other outcome is classed
  // again, whole.
  static TextClass Classify(const char* bytes, size_t n) {
    if (!CBackgroundTask::kBeside || n < kHalvesFrom) return classify_text(bytes, n);
    size_t half = n / 2;
    for (int i = 0; i < 3 && (static_cast<unsigned char>(bytes[half]) & 0xC0) == 0x80; ++i) ++half;
    bool second_valid = false, second_nul = true;
    CBackgroundTask check_second([&] { second_valid = is_valid_utf8(bytes + half, n - half, &second_nul); });
    const TextClass first = classify_text(bytes, half);
    check_second.Wait();
    if (first.code == UNICODE_UTF8 && first.mark_length == 0 && first.nul_free && second_valid)
      return {UNICODE_UTF8, 0, !second_nul};
    return classify_text(bytes, n);
  }

  // Whether ToShiftJis leaves a text that is not Unicode as it is: Shift_JIS
  // or undecided, as detected or forced. Line ends do not change what the
  // detection finds, nor does a NUL that ends the text before its first
  // decisive byte (the text is then undecided either way).
  bool KeepsItsCode(const char* bytes, size_t n) const {
    if (options_.input_code == InputCode::kShiftJis) return true;
    if (options_.input_code != InputCode::kAuto) return false;
    const int code = detect_kanji_code(bytes, n);
    return code != KANJI_EUC && code != KANJI_JIS;
  }

  // NormalizeLineEnds and AppendSeparator for a text whose code the stages
  // keep, straight into the writer a window at a time. A long text that the
  // writer converts goes through a segment at a time, each in two halves at
  // once: the second on a second thread, by a writer of its own into memory,
  // taken on after the first. No more than half a segment is ever held.
  void PassInWindows(SourceText& source, const char* bytes, size_t n, OutputWriter& writer) {
    const bool halves = CBackgroundTask::kBeside && writer.Converts();
    MemorySink second_bytes;
    for (size_t at = 0; at < n;) {
      const size_t end = n - at > kSegment ? OutputWriter::CutBefore(bytes, at, at + kSegment, n) : n;
      const size_t half =
          halves && end - at >= kHalvesFrom ? OutputWriter::CutBefore(bytes, at, at + (end - at) / 2, end) : end;
      second_bytes.Clear();
      OutputWriter second(second_bytes, writer);
      std::optional<CBackgroundTask> pass_second;
      if (half != end) {
        pass_second.emplace([&] {
          std::vector<char> scratch;
          PassRange(bytes, half, end, second, scratch);
          second.EndPart();
        });
      }
      const bool ended = PassRange(bytes, at, half, writer, normalized_);
      if (pass_second) pass_second->Wait();
      if (ended) break;
      if (pass_second) writer.TakeOn(second, second_bytes);
      at = end;
    }
    if (!source.last) writer.Put(separator_.GetString(), separator_.GetLength());
  }

  // Passes bytes[from, to) to the writer a window at a time, each window
  // still in the cache when the writer converts it: as it stands where it
  // holds no CR or NUL, else with its line ends brought to LF (in scratch), up
  // to the first NUL. A window never ends in a CR, whose LF may start the
  // next. Returns whether a NUL ended the text.
  static bool PassRange(const char* bytes, size_t from, size_t to, OutputWriter& writer,
                        std::vector<char>& scratch) {
    for (size_t at = from; at < to;) {
      size_t cut = std::min(to, at + kWindow);
      if (cut < to && bytes[cut - 1] == '\r') --cut;
      const size_t length = cut - at;
      if (!has_cr_or_nul(bytes + at, length)) {
        writer.Put(bytes + at, length);
      } else {
        scratch.assign(bytes + at, bytes + cut);
        scratch.push_back('\0');
        const bool text_ends = std::memchr(scratch.data(), '\0', length) != nullptr;
        writer.Put(scratch.data(), normalize_newlines(scratch.data(), length));
        if (text_ends) return true;
      }
      at = cut;
    }
    return false;
  }

  // Decode, NormalizeLineEnds and AppendSeparator for a Unicode source,
  // straight into the writer a window at a time (into the room it has, where
  // it takes the text as it is). A long text goes a segment at a time, each
  // decoded in two halves at once, the second on a second thread into
  // memory, written after the first: no more than half a segment is ever
  // held. The line of the first replaced character is counted only once
  // there is one.
  void DecodeInWindows(SourceText& source, TextClass text_class, bool checked, const char* text, size_t n,
                       OutputWriter& writer) {
    const UnicodeClass code = text_class.code;
    if (!text_class.nul_free) n = unicode_text_length(code, text, n);
    MemorySink second_text;
    for (size_t at = 0; at < n;) {
      const size_t end = n - at > kSegment ? unicode_cut(code, text, n, at + kSegment) : n;
      const size_t half = CBackgroundTask::kBeside && end - at >= kHalvesFrom
                              ? unicode_cut(code, text, end, at + (end - at) / 2)
                              : end;
      second_text.Clear();
      RangeReport second;
      std::optional<CBackgroundTask> decode_second;
      if (half != end) {
        decode_second.emplace([&] {
          second = DecodeRange(
              code, checked, text, half, end, [&](size_t capacity) { return second_text.Room(capacity); },
              [&](const char*, size_t length) { second_text.Commit(length); });
        });
      }
      const RangeReport first = DecodeRange(
          code, checked, text, at, half,
          [&](size_t capacity) {
            char* room = writer.Room(capacity);
            if (room != nullptr) return room;
            decoded_.resize(capacity);
            return decoded_.data();
          },
          [&](const char* out, size_t length) {
            if (out == decoded_.data()) {
              writer.Put(out, length);
            } else {
              writer.Commit(length);
            }
          });
      if (decode_second) decode_second->Wait();
      second_text.ForEachChunk([&](const char* chunk, size_t length) { writer.Put(chunk, length); });
      for (const RangeReport& part : {first, second}) {
        if (part.replaced == 0) continue;
        ConvertReport& replaced = source.replaced;
        if (replaced.replaced == 0)
          replaced.first_line = LineEndsBefore(code, checked, text, part.window) + part.line;
        replaced.replaced += part.replaced;
      }
      at = end;
    }
    if (!source.last) writer.Put(separator_.GetString(), separator_.GetLength());
  }

  // What decoding a range of a text replaced: the characters, and the window
  // of the first one with its line in that window.
  struct RangeReport {
    size_t replaced = 0;
    size_t window = 0;
    size_t line = 0;
  };

  // Decodes text[from, to) a window at a time, each window's line ends
  // brought to LF, into room(capacity), and hands it on to put(bytes, length).
  template <class Room, class Put>
  RangeReport DecodeRange(UnicodeClass code, bool checked, const char* text, size_t from, size_t to, Room room,
                          Put put) const {
    RangeReport report;
    for (size_t at = from; at < to;) {
      const size_t cut = unicode_cut(code, text, to, at + kWindow);
      char* const out = room(unicode_to_cp932_capacity(cut - at));
      const ConvertReport window = DecodeWindow(code, checked, text + at, cut - at, out);
      if (window.replaced != 0 && report.replaced == 0) report = {0, at, window.first_line};
      report.replaced += window.replaced;
      put(out, normalize_newlines(out, window.length));
      at = cut;
    }
    return report;
  }

  // A long text goes a segment at a time; from kHalvesFrom on a segment is
  // decoded or converted in two halves at once.
  static constexpr size_t kSegment = 8 << 20;
  static constexpr size_t kHalvesFrom = 1 << 20;

  // The part of a source's text taken at a time on the way to the writer.
  static constexpr size_t kWindow = 64 * 1024;

  // A window up to the text's end (no U+0000 in it), into out of
  // unicode_to_cp932_capacity(n) bytes; `checked`: UTF-8 found valid, without
  // a mark, decoded with the geta mark for what it lacks.
  ConvertReport DecodeWindow(UnicodeClass code, bool checked, const char* text, size_t n, char* out) const {
    return checked ? valid_utf8_to_cp932(text, n, out) : unicode_to_cp932(code, text, n, out, options_.unmappable);
  }

  // The line ends of the text's first `at` bytes once decoded, decoded again
  // in the same windows.
  size_t LineEndsBefore(UnicodeClass code, bool checked, const char* text, size_t at) const {
    std::vector<char> scratch;
    size_t lines = 0;
    for (size_t from = 0; from < at;) {
      const size_t cut = unicode_cut(code, text, at, from + kWindow);
      scratch.resize(unicode_to_cp932_capacity(cut - from));
      const size_t length = DecodeWindow(code, checked, text + from, cut - from, scratch.data()).length;
      lines += count_line_ends(scratch.data(), length);
      from = cut;
    }
    return lines;
  }

  // A Unicode source becomes code page 932; the rest of the pipeline sees only that.
  void Decode(SourceText& source) {
    const DecodedText decoded = DecodeUnicode(source.text, options_.input_code, options_.unmappable);
    source.replaced = decoded.report;
    source.in_cp932 = decoded.text_class.code != UNICODE_NONE || options_.input_code == InputCode::kShiftJis;
  }

  void NormalizeLineEnds(SourceText& source) { NormalizeText(source.text); }

  // JIS and EUC-JP become Shift_JIS, never longer: detected, or as forced. The
  // text holds no NUL (it ended at the first) and the converters make none of their own.
  void ToShiftJis(SourceText& source) {
    if (source.in_cp932) return;
    CString& text = source.text;
    char* buffer = text.GetBuffer(text.GetLength());
    const size_t n = text.GetLength();
    const size_t length = options_.input_code == InputCode::kEucJp ? euc_to_sjis(buffer, n)
                          : options_.input_code == InputCode::kJis ? jis_to_sjis(buffer, n)
                                                                   : to_sjis(buffer, n);
    text.ReleaseBuffer(static_cast<std::ptrdiff_t>(length));
  }

  void Replace(SourceText& source) {
    if (table_ == nullptr) return;
    CommandFailure failure;
    if (!ApplyReplaceTable(*table_, source.text, &failure)) {
      report_.Notice({JoinNotice::kCommandFailed, 0, failure.message, failure.command});
    }
  }

  void AppendSeparator(SourceText& source) {
    if (!source.last) source.text += separator_;
  }

  // EUC-JP and JIS, which hold no user-defined character: each becomes 〓 and is counted.
  // Shift_JIS and Unicode go out as they are here: the output edge encodes Unicode after the
  // output line end.
  void ConvertOutputCode(SourceText& source) {
    KanjiLoss loss{0, 0};
    switch (options_.output_code) {
      case OutputCode::kJis:
        ConvertGrowing(source.text, sjis_to_jis_capacity(source.text.GetLength()),
                       [&](char* t, size_t n) { return sjis_to_jis(t, n, &loss); });
        break;
      case OutputCode::kEucJp:
        ConvertGrowing(source.text, sjis_to_euc_capacity(source.text.GetLength()),
                       [&](char* t, size_t n) { return sjis_to_euc(t, n, &loss); });
        break;
      default:
        return;  // Shift_JIS, Unicode, or no selection
    }
    source.lost = loss;
  }

  // Runs a converter that may lengthen the text in a buffer of the given
  // capacity; the text then ends at its first NUL. Only a replacement can
  // have put a NUL in the text; the converters make none.
  template <class Convert>
  void ConvertGrowing(CString& text, size_t capacity, Convert convert) {
    if (capacity == 0) throw std::bad_alloc();  // the size does not fit in size_t
    const size_t length = text.GetLength();
    char* buffer = text.GetBuffer(capacity - 1);
    const size_t converted = convert(buffer, length);
    text.ReleaseBuffer(
        static_cast<std::ptrdiff_t>(table_ != nullptr ? strnlen(buffer, converted) : converted));
  }

  // The output line end and the Unicode output code follow, in OutputWriter.
  // clang-format off
  static constexpr Stage kStages[] = {
      &TextPipeline::Decode,
      &TextPipeline::NormalizeLineEnds, &TextPipeline::ToShiftJis,        &TextPipeline::Replace,
      &TextPipeline::AppendSeparator,   &TextPipeline::ConvertOutputCode,
  };
  // clang-format on

  const JoinOptions& options_;
  const CString& separator_;
  const ReplaceTable* table_;
  JoinReporter& report_;
  std::vector<char> decoded_;     // a window of a Unicode source in code page 932
  std::vector<char> normalized_;  // a window of any other source with its line ends to LF
};

// The source that names the same file as output, or nullptr. Creating the
// output empties it: were it also a source, that source would be lost before
// it is read. Compared by identity, not spelling. Standard output ("-") is no
// file of that name; should it be a source, that source's open fails as the
// source is held open.
const CString* SourceThatIsOutput(const std::vector<CString>& sources, const CString& output) {
  if (CFile::IsStandardOutputName(output)) return nullptr;
  FileIdentity target;
  if (!GetFileIdentity(output, &target)) return nullptr;
  for (const CString& source : sources) {
    FileIdentity identity;
    if (GetFileIdentity(source, &identity) && identity == target) return &source;
  }
  return nullptr;
}

// Runs a driver's body; a failed read or write, or a file too large for
// memory, ends the join with the files closed and what was written kept.
template <class Body>
JoinResult Guarded(JoinReporter& report, JoinResult& result, Body body) {
  try {
    body();
  } catch (const CFileException& failure) {
    report.FileFailed(failure);
    result.stopped = true;
  } catch (const TooLargeFailure& failure) {
    report.TooLarge(failure.path);
    result.stopped = true;
  }
  return result;
}

}  // namespace

JoinOptions OptionsFromIndexes(const OptionIndexes& indexes, const CString& table_path,
                               const CString& separator_path) {
  JoinOptions options;
  options.file_mode = FromIndex<FileMode>(indexes.file_mode, 2);
  options.line_end = FromIndex<LineEnd>(indexes.line_end, 3);
  options.output_code = FromIndex<OutputCode>(indexes.output_code, 6);
  options.replace_mode = FromIndex<ReplaceMode>(indexes.replace_mode, 3);
  options.separator = FromIndex<SeparatorMode>(indexes.separator, 2);
  options.table_path = table_path;
  options.separator_path = separator_path;
  return options;
}

OptionIndexes IndexesOfOptions(const JoinOptions& options) {
  return {static_cast<int32_t>(options.file_mode), static_cast<int32_t>(options.line_end),
          static_cast<int32_t>(options.output_code), static_cast<int32_t>(options.replace_mode),
          static_cast<int32_t>(options.separator)};
}

JoinResult JoinSources(const std::vector<CString>& sources, const CString& output, const JoinOptions& options,
                       JoinReporter& report) {
  if (const CString* source = SourceThatIsOutput(sources, output)) {
    report.CannotOpen(*source, win_error::kSharingViolation);
    return {};
  }
  return options.TextMode() ? JoinText(sources, output, options, report)
                            : JoinBinary(sources, output, report);
}

JoinResult JoinBinary(const std::vector<CString>& sources, const CString& output, JoinReporter& report) {
  JoinResult result;
  return Guarded(report, result, [&] {
    const auto total = static_cast<int32_t>(sources.size());
    CFile out;
    if (!out.Open(output, kOutputFlags)) return;
    uint64_t bytes = 0;
    for (const CString& path : sources) {
      CFile source;
      if (!source.Open(path, kSourceFlags)) break;
      bytes += out.CopyFrom(source);
      source.Close();
      report.Progress(++result.joined, total, bytes);
    }
    out.Close();
  });
}

namespace {

CString ReadSeparator(const char* path, JoinReporter& report, Unmappable unmappable) {
  CString separator;
  CFile file;
  CFileException error;
  if (!file.Open(path, kSourceFlags, &error)) {
    report.Notice({JoinNotice::kNoSeparator, error.m_lOsError, {}, {}});
    return separator;
  }
  ReadText(file, separator, 1);
  file.Close();
  const ConvertReport replaced = DecodeUnicode(separator, InputCode::kAuto, unmappable).report;
  NormalizeText(separator);
  if (replaced.replaced != 0) report.Replaced(path, replaced.replaced, replaced.first_line);
  return separator;
}

}  // namespace

CString LoadSeparator(const char* path, JoinReporter& report, Unmappable unmappable) {
  try {
    return ReadSeparator(path, report, unmappable);
  } catch (const TooLargeFailure&) {
    throw std::bad_alloc();
  }
}

JoinResult JoinText(const std::vector<CString>& sources, const CString& output, const JoinOptions& options,
                    JoinReporter& report) {
  JoinResult result;
  return Guarded(report, result, [&] {
    const auto total = static_cast<int32_t>(sources.size());
    CFile out;
    CFileException error;
    // Emptied by the writing thread, while the first source is read.
    if (!out.Open(output, kOutputFlags | CFile::modeNoTruncate, &error)) {
      report.CannotOpen(output, error.m_lOsError);
      return;
    }
    CWriteBehind behind(out, !CFile::IsStandardOutputName(output));
    const CString separator =
        options.Separating() ? ReadSeparator(options.separator_path, report, options.unmappable) : CString();
    ReplaceTable table;
    bool have_table = false;
    if (options.Replacing()) {
      uint32_t table_error = 0;
      ConvertReport replaced{0, 0, 0};
      try {
        have_table = LoadReplaceTable(options.table_path, options.replace_mode, &table, &table_error,
                                      options.unmappable, &replaced);
      } catch (const std::bad_alloc&) {
        throw TooLargeFailure{options.table_path};
      } catch (const CMemoryException&) {
        throw TooLargeFailure{options.table_path};
      }
      if (!have_table) report.Notice({JoinNotice::kNoTable, table_error, {}, {}});
      if (replaced.replaced != 0) report.Replaced(options.table_path, replaced.replaced, replaced.first_line);
    }

    TextPipeline pipeline(options, separator, have_table ? &table : nullptr, report);
    // Room for what the output code makes of a text, in the buffer it is read into.
    const size_t reserve_factor = options.output_code == OutputCode::kJis     ? 4
                                  : options.output_code == OutputCode::kEucJp ? 2
                                                                              : 1;
    FileSink sink(behind);
    OutputWriter writer(sink, options);
    for (const CString& path : sources) {
      CFile source;
      if (!source.Open(path, kSourceFlags, &error)) {
        report.CannotOpen(path, error.m_lOsError);
        return;
      }
      SourceText current{CString(), path, result.joined == total - 1};
      CFileMapping mapping;
      if (!pipeline.LineWise() || !mapping.Map(source)) ReadText(source, current.text, reserve_factor);
      // A stage that cannot get the memory it needs ends the join naming the source.
      try {
        if (mapping.GetData() != nullptr) {
          pipeline.Run(current, mapping.GetData(), mapping.GetLength(), writer);
        } else {
          pipeline.Run(current, current.text.GetString(), current.text.GetLength(), writer);
        }
        const KanjiLoss lost = writer.EndSource();
        if (lost.count != 0) current.lost = lost;
      } catch (const std::bad_alloc&) {
        throw TooLargeFailure{path};
      } catch (const CMemoryException&) {
        throw TooLargeFailure{path};
      }
      source.Close();
      // What a source lost is told once it is written, input first; the output's
      // line is counted in the text as written, its separator included.
      if (current.replaced.replaced != 0)
        report.Replaced(path, current.replaced.replaced, current.replaced.first_line);
      if (current.lost.count != 0) report.Replaced(path, current.lost.count, current.lost.first_line);
      report.Progress(++result.joined, total, writer.bytes());
    }
    behind.Flush();
    out.Close();
  });
}
