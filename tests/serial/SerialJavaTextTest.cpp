// UTF-8 (and the JVM's modified UTF-8) to the UTF-16 of Java strings.
#include <gtest/gtest.h>

#include <string>

#include "JavaText.h"

using serialkvl::Utf8ToUtf16;

namespace {

struct TextCase {
  const char* FName;
  std::string FUtf8;
  std::u16string FExpected;
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.FName; }

class JavaTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(JavaTextTest, Converts) { EXPECT_EQ(Utf8ToUtf16(GetParam().FUtf8), GetParam().FExpected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, JavaTextTest,
    ::testing::Values(
        TextCase{"Ascii", "Acc\x65s", u"Acces"},
        TextCase{"Accents", "Acc\xC3\xA8s refus\xC3\xA9.", u"Acc\u00E8s refus\u00E9."},
        TextCase{"ThreeBytes", "\xE2\x82\xAC", u"\u20AC"},
        TextCase{"FourBytes", "\xF0\x9F\x98\x80", u"\U0001F600"},
        TextCase{"ModifiedNul", std::string("a\xC0\x80" "b", 4), std::u16string(u"a\0b", 3)},
        TextCase{"ModifiedSurrogates", "\xED\xA0\xBD\xED\xB8\x80", u"\U0001F600"},
        // A message in a single-byte code page: each stray byte is replaced,
        // the rest of the text survives.
        TextCase{"Latin1", "Acc\xE8s refus\xE9.", u"Acc\uFFFDs refus\uFFFD."},
        TextCase{"Overlong", "\xC1\xBF\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
        TextCase{"PastTheLastCodePoint", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        TextCase{"CutShort", "ok\xE2\x82", u"ok\uFFFD\uFFFD"}));

}  // namespace
