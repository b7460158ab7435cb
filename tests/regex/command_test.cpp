// Commands: parsing (kinds, delimiters, escapes, flags, every error), the parameter
// checks of the entry points, and the reuse and release of the caller's handle.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/regex/helpers.h"

namespace {

using namespace regex_test;

// A parsed command as text: its message, its pattern ("(null)" when refused), its
// replacement (of a substitution) and its flags.
using Parsed = std::tuple<std::string, std::string, std::string, uint32_t>;

Parsed parse(const std::string& command) {
  Bytes cmd(command, true);
  char message[RX_MESSAGE_SIZE];
  std::memset(message, 'x', sizeof message);
  regex_internal::HandlePtr h(rx_precompile(cmd.cbegin(), static_cast<int>(command.size()), message));
  if (!h) return {message, "(null)", "", 0};
  auto text = [](const unsigned char* start, const unsigned char* end) {
    return start ? std::string(reinterpret_cast<const char*>(start), end - start) : std::string();
  };
  EXPECT_EQ(text(h->command_start, h->command_end), command);
  return {message, h->pattern_copy ? reinterpret_cast<const char*>(h->pattern_copy) : "",
          text(h->replacement_start, h->replacement_end), h->flags & ~OPT_VERBATIM};
}

TEST(Precompile, KindsDelimitersAndParts) {
  // Name, command, pattern, replacement, flags.
  const std::tuple<const char*, std::string, std::string, std::string, uint32_t> cases[] = {
      {"substitution", "s/a/b/", "a", "b", OPT_SUBST},
      {"any_delimiter", "s#a#b#", "a", "b", OPT_SUBST},
      {"escaped_slash_in_pattern", "s/a\\/b/c/", "a\\/b", "c", OPT_SUBST},
      {"escaped_backslash_before_delimiter", "s/a\\\\/b/", "a\\\\", "b", OPT_SUBST},
      {"escaped_other_delimiter", "s#a\\#b#c#", "a\\#b", "c", OPT_SUBST},
      {"slash_escaped_under_other_delimiter", "s#a\\/#c#", "a\\/", "c", OPT_SUBST},
      {"trail_0x5c_is_no_backslash", "s/\x95\\/x/k", "\x95\\", "x", OPT_SUBST | OPT_KANJI},
      {"trail_0x5c_of_so", "s/\x83\\/x/k", "\x83\\", "x", OPT_SUBST | OPT_KANJI},
      {"trail_byte_equal_to_delimiter", "s\x40\x81\x40\x40x\x40", "\x81\x40", "x", OPT_SUBST},
      {"empty_replacement", "s/a//g", "a", "", OPT_SUBST | OPT_GLOBAL},
      {"match_slash", "/abc/i", "abc", "", OPT_FOLD},
      {"match_m", "m/abc/i", "abc", "", OPT_FOLD},
      {"match_m_other_delimiter", "m!a/b!", "a/b", "", 0},
      {"match_second_part_ignored", "m/a/zz/g", "a", "", OPT_GLOBAL},
      {"every_flag_letter", "s/a/b/iogmkcds", "a", "b",
       OPT_SUBST | OPT_FOLD | OPT_ONCE | OPT_GLOBAL | OPT_MULTILINE | OPT_KANJI | OPT_COMPLEMENT |
           OPT_DELETE | OPT_SQUEEZE},
      {"other_flag_bytes_ignored", "s/abc/x/q g", "abc", "x", OPT_SUBST | OPT_GLOBAL},
      {"trans", "tr/a-z/A-Z/", "", "", OPT_TRANS},
      {"trans_flags", "tr/a//cd", "", "", OPT_TRANS | OPT_COMPLEMENT | OPT_DELETE},
  };
  for (const auto& [name, command, pattern, replacement, flags] : cases)
    EXPECT_EQ(parse(command), Parsed("", pattern, replacement, flags)) << name;
}

// Commands grouped by the message that refuses them; a lead byte last, or before the last
// delimiter, takes the byte after it.
TEST(Precompile, EveryFailure) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"do not start 'm' or 's' or 'tr'", {"", "x/a/b/", "t/a/b/", " s/a/b/"}},
      {"unmatch separater",
       {"s", "tr", "s/", "/", "s/abc", "s/abc/x", "tr/a-z/A-Z", "/abc", "s/a/b\\/", "s/a/b\x82",
        "s/a/\x82/"}},
      {"unmatched () in regexp", {"s/(/x/"}},
      {"Can't do {n,m} with n > m", {"/a{3,2}/"}},
      {"", {"tr//x/"}},  // an empty search list is refused without a message
  };
  for (const auto& [message, commands] : cases)
    for (const std::string& command : commands) EXPECT_EQ(parse(command), Parsed(message, "(null)", "", 0));
}

TEST(EntryPoints, ParameterChecks) {
  const std::string text = "abc";
  Bytes subject(text, true);
  const char* s = subject.cbegin();
  const char* e = subject.cend();
  char message[RX_MESSAGE_SIZE];
  RegexHandle* slot = nullptr;

  EXPECT_EQ(rx_subst("s/a/b/", s, e, &slot, nullptr), -1);
  EXPECT_EQ(rx_trans("tr/a/b/", s, e, &slot, nullptr), -1);
  EXPECT_EQ(slot, nullptr);

  // Name, command, target start and end, slot, message.
  const std::tuple<const char*, const char*, const char*, const char*, RegexHandle**, const char*> cases[] = {
      {"no_slot", "s/a/b/", s, e, nullptr, "invalid handle parameter"},
      {"no_start", "s/a/b/", nullptr, e, &slot, "invalid target parameter"},
      {"no_end", "s/a/b/", s, nullptr, &slot, "invalid target parameter"},
      {"empty_target", "s/a/b/", s, s, &slot, "invalid target parameter"},
      {"reversed_target", "s/a/b/", e, s, &slot, "invalid target parameter"},
      {"empty_target_before_a_bad_command", "x", s, s, &slot, "invalid target parameter"},
      {"no_command_no_handle", nullptr, s, e, &slot, "invalid reg parameter"},
      {"empty_command_no_handle", "", s, e, &slot, "invalid reg parameter"},
  };
  for (const auto& [name, command, start, end, target_slot, expected] : cases) {
    SCOPED_TRACE(name);
    for (auto entry : {rx_subst, rx_trans}) {
      std::memset(message, 'x', sizeof message);
      EXPECT_EQ(entry(command, start, end, target_slot, message), -1);
      EXPECT_STREQ(message, expected);
    }
    EXPECT_EQ(slot, nullptr);
  }
}

TEST(EntryPoints, MatchCommandsGiveGroupOne) {
  EXPECT_EQ(subst("/(b+)/", "abbc"), (Outcome{1, "", "bb"}));
  EXPECT_EQ(subst("m#a(x?)#", "abc"), (Outcome{1, "", kNone}));  // group 1 matched nothing
  EXPECT_EQ(subst("m/b/", "abc"), (Outcome{1, "", kNone}));      // no group
  EXPECT_EQ(subst("m/(q)/", "abc"), (Outcome{0, "", kNone}));
  EXPECT_EQ(subst("/(a)/i", "xA"), (Outcome{1, "", "A"}));  // the caller's bytes, not the folded copy
}

TEST(EntryPoints, CommandsThatAreNotRun) {
  EXPECT_EQ(subst("s//x/", "abc"), (Outcome{-1, "", kNone}));
  EXPECT_EQ(subst("m//", "abc"), (Outcome{-1, "", kNone}));
  EXPECT_EQ(trans("s/a/b/", "abc"), (Outcome{-1, "no translate parameter", kNone}));
  EXPECT_EQ(subst("tr/a/b/", "abc"), (Outcome{-1, "", kNone}));  // a transliteration has no pattern
}

class HandleSlot : public ::testing::Test {
 protected:
  ~HandleSlot() override { rx_free(slot); }
  int Subst(const char* command) { return rx_subst(command, text.cbegin(), text.cend(), &slot, message); }
  int Trans(const char* command) { return rx_trans(command, text.cbegin(), text.cend(), &slot, message); }
  Bytes text{std::string("aXbXc"), true};
  RegexHandle* slot = nullptr;
  char message[RX_MESSAGE_SIZE];
};

TEST_F(HandleSlot, SameCommandReusesTheHandle) {
  ASSERT_EQ(Subst("s/X/-/g"), 2);
  RegexHandle* first = slot;
  EXPECT_EQ(result_of(slot), "a-b-c");
  ASSERT_EQ(Subst("s/X/-/g"), 2);
  EXPECT_EQ(slot, first);  // not parsed again
  EXPECT_EQ(result_of(slot), "a-b-c");
  // No command: the handle in the slot runs again.
  EXPECT_EQ(Subst(nullptr), 2);
  EXPECT_EQ(Subst(""), 2);
  EXPECT_EQ(slot, first);
  EXPECT_EQ(std::string(message), "");
}

TEST_F(HandleSlot, OtherCommandOrKindReplacesTheHandle) {
  ASSERT_EQ(Subst("s/X/-/g"), 2);
  ASSERT_EQ(Subst("s/X/+/g"), 2);  // the first handle is released (the leak checker sees it)
  EXPECT_EQ(result_of(slot), "a+b+c");
  // The same text as a transliteration is a different handle.
  ASSERT_EQ(Trans("tr/X/-/"), 2);
  EXPECT_EQ(result_of(slot), "a-b-c");
  ASSERT_EQ(Trans("tr/X/-/"), 2);
  EXPECT_NE(slot->flags & OPT_TRANS, 0u);
  // A substitution handle reached by rx_trans without a command is released.
  ASSERT_EQ(Subst("s/X/-/"), 1);
  EXPECT_EQ(Trans(nullptr), -1);
  EXPECT_STREQ(message, "no translate parameter");
  EXPECT_EQ(slot, nullptr);
  // A transliteration handle reached by rx_subst without a command is not run.
  ASSERT_EQ(Trans("tr/a-c/A-C/"), 3);
  EXPECT_EQ(Subst(nullptr), -1);
  EXPECT_STREQ(message, "");
  EXPECT_EQ(result_of(slot), kNone);  // the previous result was released
  EXPECT_NE(slot, nullptr);
}

TEST_F(HandleSlot, FailuresClearTheSlot) {
  const char* failing[] = {"x/a/", "s/a", "s/(/x/", "tr//a/"};
  for (const char* command : failing) {
    SCOPED_TRACE(command);
    ASSERT_EQ(Subst("s/X/-/g"), 2);
    EXPECT_EQ(command[0] == 't' ? Trans(command) : Subst(command), -1);
    EXPECT_EQ(slot, nullptr);
  }
  // A failure before the command is looked at leaves the handle and its result alone.
  ASSERT_EQ(Subst("s/X/-/g"), 2);
  RegexHandle* kept = slot;
  EXPECT_EQ(rx_subst("s/Y/-/", text.cbegin(), text.cbegin(), &slot, message), -1);
  EXPECT_STREQ(message, "invalid target parameter");
  EXPECT_EQ(slot, kept);
  EXPECT_EQ(result_of(slot), "a-b-c");
}

TEST_F(HandleSlot, ResultsFollowTheLastCall) {
  ASSERT_EQ(Subst("s/X/-/g"), 2);
  // Now nothing matches: the previous result is gone, none is made.
  Bytes other(std::string("abc"), true);
  EXPECT_EQ(rx_subst("s/X/-/g", other.cbegin(), other.cend(), &slot, message), 0);
  EXPECT_EQ(result_of(slot), kNone);
  EXPECT_STREQ(message, "");
}

}  // namespace
