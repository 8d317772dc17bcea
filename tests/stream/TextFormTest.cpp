// The object-stream layer: text <-> binary, tags, the header, errors.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "SkinStream.h"

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> list) {
  std::vector<uint8_t> out;
  for (int b : list) out.push_back(static_cast<uint8_t>(b));
  return out;
}

// The encoded value of `literal` as the only property of an object.
std::vector<uint8_t> ValueBytes(const std::string& literal) {
  const auto stream = ObjectTextToBinary("object A: T\n  P = " + literal + "\nend\n");
  // "TPF0", class "T" (2), name "A" (2), path "P" (2), then the value, then 0 0.
  const size_t start = 4 + 2 + 2 + 2;
  return std::vector<uint8_t>(stream.begin() + start, stream.end() - 2);
}

std::string ReadText(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(TextForm, EachLiteralTakesItsTag) {
  struct Case {
    std::string literal;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Case> cases = {
      {"0", Bytes({2, 0})},
      {"-128", Bytes({2, 0x80})},
      {"127", Bytes({2, 127})},
      {"128", Bytes({3, 0x80, 0})},
      {"-32769", Bytes({4, 0xFF, 0x7F, 0xFF, 0xFF})},
      {"2147483647", Bytes({4, 0xFF, 0xFF, 0xFF, 0x7F})},
      {"2147483648", Bytes({19, 0, 0, 0, 0x80, 0, 0, 0, 0})},
      {"$FF", Bytes({3, 0xFF, 0})},
      {"$00FFFFFF", Bytes({4, 0xFF, 0xFF, 0xFF, 0})},
      {"1.5", Bytes({5, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x3F})},
      {"1.5s", Bytes({15, 0, 0, 0xC0, 0x3F})},
      {"1.5c", Bytes({16, 0x98, 0x3A, 0, 0, 0, 0, 0, 0})},
      {"2d", Bytes({17, 0, 0, 0, 0, 0, 0, 0, 0x40})},
      {"'ab'", Bytes({6, 2, 'a', 'b'})},
      {"'a''b'", Bytes({6, 3, 'a', '\'', 'b'})},
      {"'a'#66'c'", Bytes({6, 3, 'a', 'B', 'c'})},
      {"'a' + 'b'", Bytes({6, 2, 'a', 'b'})},
      {"#233", Bytes({6, 1, 233})},
      {"#$41", Bytes({6, 1, 'A'})},
      {"#937", Bytes({18, 1, 0, 0, 0, 0xA9, 0x03})},
      {"'\xC3\xA9'", Bytes({6, 1, 0xE9})},  // UTF-8 text in quotes becomes its character code
      {"Ident", Bytes({7, 5, 'I', 'd', 'e', 'n', 't'})},
      {"true", Bytes({9})},
      {"FALSE", Bytes({8})},
      {"nil", Bytes({13})},
      {"Null", Bytes({0})},
      {"[]", Bytes({11, 0})},
      {"[a, bc]", Bytes({11, 1, 'a', 2, 'b', 'c', 0})},
      {"(1 'x')", Bytes({1, 2, 1, 6, 1, 'x', 0})},
      {"{0A ff\n 10}", Bytes({10, 3, 0, 0, 0, 0x0A, 0xFF, 0x10})},
      {"<item X = 1 end item [4] end>", Bytes({14, 1, 1, 'X', 2, 1, 0, 2, 4, 1, 0, 0})},
  };
  for (const Case& c : cases) EXPECT_EQ(ValueBytes(c.literal), c.bytes) << c.literal;
}

TEST(TextForm, LongAndWideStrings) {
  const std::string s256(256, 'x');
  const auto longValue = ValueBytes("'" + s256 + "'");
  EXPECT_EQ(longValue[0], vaLString);
  EXPECT_EQ(longValue.size(), 1u + 4 + 256);
  const auto shortValue = ValueBytes("'" + std::string(255, 'x') + "'");
  EXPECT_EQ(shortValue[0], vaString);
  // A code above 255 anywhere makes the whole string wide.
  const auto wide = ValueBytes("'abc' + #8364");
  EXPECT_EQ(wide[0], vaWString);
  EXPECT_EQ(wide[1], 4);
}

TEST(TextForm, HeaderKeywordsFlagsAndChildPosition) {
  const auto stream = ObjectTextToBinary("INHERITED A: T [3]\nend");
  EXPECT_EQ(stream, Bytes({'T', 'P', 'F', '0', 0xF3, 2, 3, 1, 'T', 1, 'A', 0, 0}));
  const auto unnamed = ObjectTextToBinary("Object T\nEND");
  EXPECT_EQ(unnamed, Bytes({'T', 'P', 'F', '0', 1, 'T', 0, 0, 0}));
  EXPECT_EQ(ObjectBinaryToText(stream), "inherited A: T [3]\r\nend\r\n");
}

// The process's numeric locale switched for one scope; a locale that the
// system does not have fails the test (scripts/setup-deps generates it).
class ScopedNumericLocale {
public:
  explicit ScopedNumericLocale(const char* name) {
    const char* previous = setlocale(LC_NUMERIC, nullptr);
    FSaved = previous ? previous : "C";
    FSwitched = setlocale(LC_NUMERIC, name) != nullptr;
  }
  ~ScopedNumericLocale() { setlocale(LC_NUMERIC, FSaved.c_str()); }
  bool Switched() const { return FSwitched; }

private:
  std::string FSaved;
  bool FSwitched = false;
};

TEST(TextForm, NumbersReadAndWriteTheSameUnderAFrenchNumericLocale) {
  // The decimal separator is "." even where the process's locale says ",".
  const std::string text =
      "object A: T\r\n  E = 0.001000000000000000\r\n  F = 1E-30\r\n  S = 1.5s\r\n  D = 2.5d\r\n"
      "  C = 1.5000c\r\n  G = 8000.000000000000000000\r\nend\r\n";
  const std::vector<uint8_t> inC = ObjectTextToBinary(text);
  const std::string writtenInC = ObjectBinaryToText(inC);
  EXPECT_EQ(writtenInC, "object A: T\r\n  E = 0.001000000000000000\r\n  F = 1.00000000000000000e-30\r\n"
                        "  S = 1.5s\r\n  D = 2.5d\r\n  C = 1.5000c\r\n  G = 8000.000000000000000000\r\nend\r\n");
  ScopedNumericLocale french("fr_FR.UTF-8");
  ASSERT_TRUE(french.Switched()) << "the locale fr_FR.UTF-8 is missing: run scripts/setup-deps";
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  ASSERT_STREQ(probe, "1,5") << "the process's numeric locale is French for this test";
  EXPECT_EQ(ValueBytes("1.5"), Bytes({5, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x3F}));
  EXPECT_EQ(ObjectTextToBinary(text), inC);
  EXPECT_EQ(ObjectBinaryToText(inC), writtenInC);
  EXPECT_EQ(ObjectTextToBinary(ObjectBinaryToText(inC)), inC);
}

TEST(BinaryForm, ANumberTheTextCannotSayFailsNamingItsProperty) {
  // NaN and infinities have no text form; 0 would silently change the skin.
  struct Case {
    const char* Literal;
    std::vector<uint8_t> Payload;  // replaces the value's payload
    const char* Message;
  };
  const uint8_t extendedNaN[10] = {0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x7F};
  const uint8_t extendedInf[10] = {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF};  // -infinity
  const float singleInf = INFINITY;
  const double dateNaN = NAN;
  auto bytesOf = [](const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    return std::vector<uint8_t>(b, b + n);
  };
  const Case cases[] = {
      {"1.5", bytesOf(extendedNaN, 10), "Erreur lors de la lecture de G.P: Valeur de propriété incorrecte"},
      {"1.5", bytesOf(extendedInf, 10), "Erreur lors de la lecture de G.P: Valeur de propriété incorrecte"},
      {"1.5s", bytesOf(&singleInf, 4), "Erreur lors de la lecture de G.P: Valeur de propriété incorrecte"},
      {"2.5d", bytesOf(&dateNaN, 8), "Erreur lors de la lecture de G.P: Valeur de propriété incorrecte"},
  };
  for (const Case& c : cases) {
    auto stream = ObjectTextToBinary(std::string("object A: T\n  Q = 1\n  object G: T\n    P = ") + c.Literal +
                                     "\n  end\nend\n");
    // The value's payload ends before the three list ends.
    std::copy(c.Payload.begin(), c.Payload.end(), stream.end() - 3 - static_cast<long>(c.Payload.size()));
    try {
      ObjectBinaryToText(stream);
      ADD_FAILURE() << c.Literal;
    } catch (const EReadError& e) {
      EXPECT_EQ(e.Message(), c.Message) << c.Literal;
    }
  }
}

TEST(TextForm, SyntaxErrorsNameTheLine) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"thing A: T\nend", "OBJECT attendu à la ligne 1"},
      {"object A: T\n  P 1\nend", "'=' attendu à la ligne 2"},
      {"object A: T\n  P = 'abc\nend", "Chaîne incorrecte à la ligne 2"},
      {"object A: T\n  P = {0A1}\nend", "Valeur binaire incorrecte à la ligne 2"},
      {"object A: T\n\n  P = {0G}\nend", "Valeur binaire incorrecte à la ligne 3"},
      // A block over several lines: the line where the scan stopped.
      {"object A: T\n  P = {\n    0001\n    02G3\n  }\nend", "Valeur binaire incorrecte à la ligne 4"},
      {"object A: T\n  P = {\r\n    0001\r\n    020\r\n  }\r\nend", "Valeur binaire incorrecte à la ligne 5"},
      {"object A: T\n  P = {\n    0001\n", "Valeur binaire incorrecte à la ligne 4"},
      {"object A: T\n  P = 'a' + 1\nend", "Chaîne attendue à la ligne 2"},
      {"object A: T\n  P = 99999999999999999999\nend", "Nombre incorrect à la ligne 2"},
      {"object A: T\n  P = )\nend", "Valeur de propriété incorrecte à la ligne 2"},
      {"object A: T\n  P = 1\n", "END attendu à la ligne 3"},
      {"object A: T\n  P = [a b]\nend", "',' attendu à la ligne 2"},
      {"object A: T\n  P = <thing end>\nend", "item attendu à la ligne 2"},
      {"object A: T [x]\nend", "Nombre attendu à la ligne 1"},
      {"object : T\nend", "Identificateur attendu à la ligne 1"},
  };
  for (const Case& c : cases) {
    try {
      ObjectTextToBinary(c.text);
      ADD_FAILURE() << c.text;
    } catch (const EParserError& e) {
      EXPECT_EQ(e.Message(), c.message) << c.text;
    }
  }
}

TEST(TextForm, DeepNestingIsRefusedNotOverflowed) {
  std::string text = "object A: T\n P = ";
  text += std::string(100000, '(');
  EXPECT_THROW(ObjectTextToBinary(text), EParserError);
  std::vector<uint8_t> stream = Bytes({'T', 'P', 'F', '0', 1, 'T', 0, 1, 'P'});
  stream.insert(stream.end(), 100000, vaList);
  EXPECT_THROW(ObjectBinaryToText(stream), EReadError);
}

TEST(BinaryForm, BadStreamsRaiseTheirErrors) {
  const auto good = ObjectTextToBinary("object A: T\n  P = 'text'\n  Q = {0102}\nend");
  EXPECT_NO_THROW(ObjectBinaryToText(good));
  // Every truncation ends early: "Erreur de lecture du flux" (or a bad signature).
  for (size_t n = 0; n < good.size(); ++n) {
    try {
      ObjectBinaryToText(std::span<const uint8_t>(good.data(), n));
      ADD_FAILURE() << n;
    } catch (const EReadError& e) {
      EXPECT_TRUE(e.Message() == "Erreur de lecture du flux" || (n < 4 && e.Message() == "Format de flux incorrect"))
          << n << ": " << e.Message();
    }
  }
  auto badTag = good;
  badTag[4 + 2 + 2 + 2] = 21;
  try {
    ObjectBinaryToText(badTag);
    ADD_FAILURE();
  } catch (const EInvalidValueTag& e) {
    EXPECT_EQ(e.Message(), "21");
  }
  auto badSignature = good;
  badSignature[3] = '1';
  EXPECT_THROW(ObjectBinaryToText(badSignature), EReadError);
}

TEST(ResourceHeader, WrittenInFullReadByItsFirstBytes) {
  const auto header = ResourceHeader("TSkinForm", 0x01020304);
  EXPECT_EQ(header, Bytes({0xFF, 10, 0, 'T', 'S', 'K', 'I', 'N', 'F', 'O', 'R', 'M', 0, 0x30, 0x10, 4, 3, 2, 1}));
  EXPECT_EQ(header.size(), 9u + 10u);
  EXPECT_EQ(SkipResourceHeader(header), header.size());
  // A different name and a wrong size field are not checked.
  auto other = Bytes({0xFF, 10, 0, 'X', 0, 0, 0, 9, 9, 9, 9});
  EXPECT_EQ(SkipResourceHeader(other), other.size());
  try {
    SkipResourceHeader(Bytes({0xFF, 11, 0, 'X', 0, 0, 0, 0, 0, 0, 0}));
    ADD_FAILURE();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Format de flux incorrect");
  }
  EXPECT_THROW(SkipResourceHeader(Bytes({0xFF, 10, 0, 'X'})), EReadError);
}

// Every corpus file is in the writer's own layout, so text -> binary -> text
// gives the file back byte for byte, and binary -> text -> binary the same
// binary.
TEST(Corpus, RoundTripsByteExactly) {
  const std::filesystem::path dir = std::filesystem::path(VELQ_TEST_SOURCE_DIR) / "corpus";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".cfg") continue;
    ++files;
    const std::string text = ReadText(entry.path());
    const auto binary = ObjectTextToBinary(text);
    const std::string again = ObjectBinaryToText(binary);
    EXPECT_EQ(again, text) << entry.path();
    EXPECT_EQ(ObjectTextToBinary(again), binary) << entry.path();
    EXPECT_NO_THROW(DumpObjectStream(binary));
  }
  EXPECT_GT(files, 0);
}

TEST(Writer, ExtendedValuesKeepTheirExactValue) {
  for (long double v : {0.0L, 1.0L / 3.0L, -2.5L, 8000.0L, 1e-30L, 6.02214076e23L, 1e300L, 123456789012345678.0L}) {
    TObjectStreamWriter w;
    w.WriteSignature();
    w.WriteStr("T");
    w.WriteStr("A");
    w.WriteStr("P");
    w.WriteExtended(v);
    w.WriteListEnd();
    w.WriteListEnd();
    const std::string text = ObjectBinaryToText(w.Bytes());
    const auto back = ObjectTextToBinary(text);
    long double read = 0;
    std::memcpy(&read, back.data() + 4 + 2 + 2 + 2 + 1, 10);
    EXPECT_EQ(read, v) << text;
  }
}

}  // namespace

namespace {
// A class name of 240 bytes or more would start with a length byte that
// looks like a record prefix; the parser writes an empty prefix before it.
TEST(TextForm, LongClassNamesStayApartFromPrefixes) {
  for (size_t length : {239u, 240u, 255u}) {
    const std::string name(length, 'C');
    const std::string text = "object " + name + "\r\nend\r\n";
    const auto binary = ObjectTextToBinary(text);
    EXPECT_EQ(binary[4] == 0xF0, length >= 240) << length;
    EXPECT_EQ(ObjectBinaryToText(binary), text) << length;
    EXPECT_EQ(RootClassName(binary), name);
  }
  EXPECT_THROW(ObjectTextToBinary("object " + std::string(256, 'C') + "\r\nend\r\n"), Exception);
}
}  // namespace

namespace {

// A one-property skin text in the raw bytes an editor saved.
std::string SkinText(const std::string& prefix, const std::string& quoted) {
  return prefix + "object A: T\r\n  P = '" + quoted + "'\r\nend\r\n";
}

TEST(TextEncoding, EachFileIsReadInTheEncodingItIsSavedIn) {
  struct Case {
    const char* Name;
    std::string Text;
    std::vector<uint8_t> Value;
  };
  const Case cases[] = {
      // UTF-8 with a byte order mark: the mark is skipped, é is code 233.
      {"UTF-8 with BOM", SkinText("\xEF\xBB\xBF", "caf\xC3\xA9"), Bytes({6, 4, 'c', 'a', 'f', 0xE9})},
      {"UTF-8", SkinText("", "caf\xC3\xA9"), Bytes({6, 4, 'c', 'a', 'f', 0xE9})},
      // Beyond one byte: a wide string.
      {"UTF-8, wide", SkinText("", "\xE2\x82\xAC"), Bytes({18, 1, 0, 0, 0, 0xAC, 0x20})},
      // Windows-1252 bytes: each byte is itself in the 8-bit string.
      {"Windows-1252", SkinText("", "caf\xE9 \x80"), Bytes({6, 6, 'c', 'a', 'f', 0xE9, ' ', 0x80})},
      // GBK: C2 BD would be valid UTF-8 on its own, but the file as a whole
      // is not, so no byte is merged away.
      {"GBK", SkinText("", "\xD0\xC2\xBD\xA8"), Bytes({6, 4, 0xD0, 0xC2, 0xBD, 0xA8})},
      // One invalid byte anywhere decides for the whole file.
      {"GBK after UTF-8-looking text", SkinText("", "\xC3\xA9\xD0"), Bytes({6, 3, 0xC3, 0xA9, 0xD0})},
  };
  for (const Case& c : cases) {
    const auto stream = ObjectTextToBinary(c.Text);
    const size_t start = 4 + 2 + 2 + 2;
    EXPECT_EQ(std::vector<uint8_t>(stream.begin() + start, stream.end() - 2), c.Value) << c.Name;
    // Text -> binary -> text -> binary keeps every byte of the string.
    EXPECT_EQ(ObjectTextToBinary(ObjectBinaryToText(stream)), stream) << c.Name;
  }
}

TEST(TextEncoding, Utf16IsRefusedByName) {
  const std::pair<std::string, const char*> cases[] = {
      {std::string("\xFF\xFEo\0b\0", 6), "UTF-16LE"},
      {std::string("\xFE\xFF\0o\0b", 6), "UTF-16BE"},
  };
  for (const auto& [text, encoding] : cases) {
    try {
      ObjectTextToBinary(text);
      ADD_FAILURE() << encoding;
    } catch (const EParserError& e) {
      EXPECT_NE(e.Message().find(encoding), std::string::npos) << e.Message();
      EXPECT_EQ(e.Message().find("OBJECT attendu"), std::string::npos) << e.Message();
    }
  }
}

TEST(TextEncoding, StrictUtf8) {
  EXPECT_TRUE(IsValidUtf8("plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // a surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xE2\x82"));          // cut short
}

TEST(TextEncoding, EveryKindOfLineEndCountsOnce) {
  struct Case {
    const char* Name;
    std::string Text;
    const char* Message;
  };
  const Case cases[] = {
      {"lone CR", "object A: T\r  P 1\rend", "'=' attendu à la ligne 2"},
      {"CR LF", "object A: T\r\n  P 1\r\nend", "'=' attendu à la ligne 2"},
      {"LF", "object A: T\n  P 1\nend", "'=' attendu à la ligne 2"},
      {"mixed", "object A: T\r\r\n\n  P 1\rend", "'=' attendu à la ligne 4"},
      // The bad digit is on the block's second line.
      {"lone CR in binary data", "object A: T\r  P = {0A\r 1G}\rend", "Valeur binaire incorrecte à la ligne 3"},
  };
  for (const Case& c : cases) {
    try {
      ObjectTextToBinary(c.Text);
      ADD_FAILURE() << c.Name;
    } catch (const EParserError& e) {
      EXPECT_EQ(e.Message(), c.Message) << c.Name;
    }
  }
}

}  // namespace
