// The EUC-JP and JIS writers agree with `nkf -x` on code page 932's own characters, in every
// form: every IBM extension (FA 40 to FC 4B), which nkf maps as Windows does, and the
// user-defined area (F0 40 to F9 FC), which nkf drops and the writers turn into 〓.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "tests/jcode/convert.h"

namespace jcode_test {
namespace {

// What `nkf -x -S <to>` writes for `in`; false when nkf cannot be run.
bool nkf(const char* to, const Bytes& in, Bytes* out) {
  const std::string path = testing::TempDir() + "jcode_nkf_" + std::to_string(::getpid()) + ".txt";
  std::ofstream(path, std::ios::binary) << in;
  FILE* pipe = ::popen(("nkf -x -S " + std::string(to) + " '" + path + "' 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return false;
  out->clear();
  char buf[4096];
  for (size_t got; (got = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out->append(buf, got);
  const int status = ::pclose(pipe);
  std::remove(path.c_str());
  return status == 0 && !out->empty();
}

// Every code with first byte s1 from `first` to `last` (trail bytes 40 to FC but 7F), each
// on a line of its own.
Bytes lines_of_codes(int first, int last, int last_second) {
  Bytes text;
  for (int s1 = first; s1 <= last; ++s1) {
    for (int s2 = 0x40; s2 <= (s1 == last ? last_second : 0xFC); s2 += s2 == 0x7E ? 2 : 1) {
      text += Bytes{char(s1), char(s2)} + "\n";
    }
  }
  return text;
}

struct Output {
  Op op;
  const char* nkf_option;
};
constexpr Output kOutputs[] = {{Op::kSjisToEuc, "-e"}, {Op::kSjisToJis, "-j"}};

TEST(NkfOracle, IbmExtensions) {
  const Bytes text = lines_of_codes(0xFA, 0xFC, 0x4B);
  for (const Output& o : kOutputs) {
    Bytes expect;
    if (!nkf(o.nkf_option, text, &expect)) GTEST_SKIP() << "nkf cannot be run";
    EXPECT_EQ(hex(expect), hex(run_sized(o.op, text))) << op_name(o.op);
  }
}

TEST(NkfOracle, UserDefinedArea) {
  const Bytes text = lines_of_codes(0xF0, 0xF9, 0xFC);
  const size_t codes = text.size() / 3;
  ASSERT_EQ(codes, 10u * 188);
  for (const Output& o : kOutputs) {
    Bytes dropped;
    if (!nkf(o.nkf_option, text, &dropped)) GTEST_SKIP() << "nkf cannot be run";
    EXPECT_EQ(dropped, Bytes(codes, '\n'));
    const Bytes geta = run_sized(o.op, "\x81\xac");
    Bytes expect;
    for (size_t i = 0; i < codes; ++i) expect += geta + "\n";
    EXPECT_EQ(hex(expect), hex(run_sized(o.op, text))) << op_name(o.op);
  }
}

}  // namespace
}  // namespace jcode_test
