// The text form of the object stream: the parser (text -> binary) and the
// writer (binary -> text).
#include <cfloat>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>

#include "SkinStream.h"

namespace {

// The text form always uses "." as the decimal separator, whatever the
// user's locale, so numbers go through the C locale explicitly. The
// Windows runtime has no locale-taking strtold: there the programs never
// leave the C locale they start in, so the plain one reads ".".
#ifdef _WIN32
long double StrToLongDoubleC(const char* text, char** end) { return std::strtold(text, end); }
double StrToDoubleC(const char* text) { return std::strtod(text, nullptr); }
float StrToFloatC(const char* text) { return std::strtof(text, nullptr); }
#else
locale_t CLocale() {
  static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}
long double StrToLongDoubleC(const char* text, char** end) { return strtold_l(text, end, CLocale()); }
double StrToDoubleC(const char* text) { return strtod_l(text, nullptr, CLocale()); }
float StrToFloatC(const char* text) { return strtof_l(text, nullptr, CLocale()); }
#endif

// One UTF-8 sequence at `pos`: its length, with the code point in `cp`, or
// 0 when the bytes there are not a valid sequence (overlong forms, UTF-16
// surrogates and code points past U+10FFFF are not UTF-8).
size_t DecodeUtf8(std::string_view text, size_t pos, char32_t& cp) noexcept {
  const auto b = static_cast<unsigned char>(text[pos]);
  size_t len = 0;
  if (b < 0x80) { cp = b; return 1; }
  if (b >= 0xC2 && b <= 0xDF) { len = 2; cp = b & 0x1F; }
  else if (b >= 0xE0 && b <= 0xEF) { len = 3; cp = b & 0x0F; }
  else if (b >= 0xF0 && b <= 0xF4) { len = 4; cp = b & 0x07; }
  else return 0;
  if (pos + len > text.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    const auto n = static_cast<unsigned char>(text[pos + k]);
    if ((n & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (n & 0x3F);
  }
  const char32_t minimum = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

// ============================== parser ==============================

enum class Tok { Eof, Symbol, Integer, Float, String, Char };

class TParser {
public:
  TParser(std::string_view text, bool utf8) : FText(text), FUtf8(utf8) { Next(); }

  Tok Token() const { return FToken; }
  char TokenChar() const { return FChar; }
  const std::string& TokenString() const { return FString; }
  int64_t TokenInt() const { return FInt; }
  char FloatType() const { return FFloatType; }
  const std::u32string& TokenCodes() const { return FCodes; }

  bool IsChar(char c) const { return FToken == Tok::Char && FChar == c; }
  bool SymbolIs(const char* s) const { return FToken == Tok::Symbol && SameText(FString, s); }

  [[noreturn]] void Error(const std::string& message) const {
    throw ESkinTextSyntaxError(Format("%s à la ligne %d", message.c_str(), FTokenLine), FTokenLine);
  }
  void CheckSymbol() const {
    if (FToken != Tok::Symbol) Error("Identificateur attendu");
  }
  void CheckChar(char c) const {
    if (!IsChar(c)) Error(Format("'%c' attendu", c));
  }
  void CheckKeyword(const char* s) const {
    if (!SymbolIs(s)) Error(Format("%s attendu", s));
  }

  // Reads the hexadecimal digits of a binary block up to its '}', which the
  // caller has just seen as the current token. A block may span many lines:
  // an error names the line where the scan stopped (the bad digit, the '}'
  // after an odd digit, the end of the text).
  std::vector<uint8_t> HexToBinary() {
    std::vector<uint8_t> out;
    int pending = -1;
    auto fail = [this] {
      FTokenLine = FLine;
      Error("Valeur binaire incorrecte");
    };
    for (;;) {
      if (FPos >= FText.size()) fail();
      CountLineEnd(FPos);
      const char c = FText[FPos++];
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
      if (c == '}') break;
      const int v = HexDigit(c);
      if (v < 0) fail();
      if (pending < 0) pending = v;
      else {
        out.push_back(static_cast<uint8_t>(pending * 16 + v));
        pending = -1;
      }
    }
    if (pending >= 0) fail();
    FTokenLine = FLine;
    return out;
  }

  // Scans the next token.
  void Next() {
    SkipBlanks();
    FTokenLine = FLine;
    FString.clear();
    FCodes.clear();
    FFloatType = 0;
    if (FPos >= FText.size()) {
      FToken = Tok::Eof;
      return;
    }
    const char c = FText[FPos];
    if (IsAlpha(c)) {
      const size_t start = FPos;
      while (FPos < FText.size() && (IsAlpha(FText[FPos]) || IsDigit(FText[FPos]))) ++FPos;
      FString.assign(FText.substr(start, FPos - start));
      FToken = Tok::Symbol;
    } else if (c == '\'' || c == '#') {
      ScanString();
    } else if (c == '$') {
      ScanHex();
    } else if (IsDigit(c) || (c == '-' && FPos + 1 < FText.size() && IsDigit(FText[FPos + 1]))) {
      ScanNumber();
    } else {
      FToken = Tok::Char;
      FChar = c;
      ++FPos;
    }
  }

private:
  static bool IsAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  }

  void SkipBlanks() {
    while (FPos < FText.size()) {
      const char c = FText[FPos];
      if (c != ' ' && c != '\t' && c != '\r' && c != '\n') break;
      CountLineEnd(FPos);
      ++FPos;
    }
  }

  // Counts the line end at `pos`: LF, a lone CR, or the LF of CR LF (so a
  // CR LF pair counts once), whatever editor saved the file.
  void CountLineEnd(size_t pos) {
    const char c = FText[pos];
    if (c == '\n' || (c == '\r' && (pos + 1 >= FText.size() || FText[pos + 1] != '\n'))) ++FLine;
  }

  void ScanHex() {
    ++FPos;
    uint64_t v = 0;
    int digits = 0;
    while (FPos < FText.size() && HexDigit(FText[FPos]) >= 0) {
      if (++digits > 16) Error("Nombre incorrect");
      v = v * 16 + uint64_t(HexDigit(FText[FPos++]));
    }
    if (digits == 0) Error("Nombre attendu");
    FInt = static_cast<int64_t>(v);
    FToken = Tok::Integer;
  }

  void ScanNumber() {
    const size_t start = FPos;
    if (FText[FPos] == '-') ++FPos;
    while (FPos < FText.size() && IsDigit(FText[FPos])) ++FPos;
    bool isFloat = false;
    if (FPos + 1 < FText.size() && FText[FPos] == '.' && IsDigit(FText[FPos + 1])) {
      isFloat = true;
      ++FPos;
      while (FPos < FText.size() && IsDigit(FText[FPos])) ++FPos;
    }
    if (FPos < FText.size() && (FText[FPos] == 'e' || FText[FPos] == 'E')) {
      size_t p = FPos + 1;
      if (p < FText.size() && (FText[p] == '+' || FText[p] == '-')) ++p;
      if (p < FText.size() && IsDigit(FText[p])) {
        isFloat = true;
        FPos = p;
        while (FPos < FText.size() && IsDigit(FText[FPos])) ++FPos;
      }
    }
    FString.assign(FText.substr(start, FPos - start));
    if (FPos < FText.size() && std::strchr("cCdDsS", FText[FPos]) &&
        !(FPos + 1 < FText.size() && (IsAlpha(FText[FPos + 1]) || IsDigit(FText[FPos + 1])))) {
      FFloatType = static_cast<char>(FText[FPos++] | 0x20);
      isFloat = true;
    }
    if (isFloat) {
      FToken = Tok::Float;
      return;
    }
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(FString.c_str(), &end, 10);
    if (errno == ERANGE || end != FString.c_str() + FString.size()) Error("Nombre incorrect");
    FInt = v;
    FToken = Tok::Integer;
  }

  // One string token: quoted pieces and #codes written next to each other.
  void ScanString() {
    FToken = Tok::String;
    for (;;) {
      if (FPos < FText.size() && FText[FPos] == '\'') {
        ++FPos;
        for (;;) {
          if (FPos >= FText.size() || FText[FPos] == '\n' || FText[FPos] == '\r') Error("Chaîne incorrecte");
          const unsigned char c = static_cast<unsigned char>(FText[FPos]);
          if (c == '\'') {
            if (FPos + 1 < FText.size() && FText[FPos + 1] == '\'') {
              FCodes.push_back(U'\'');
              FPos += 2;
              continue;
            }
            ++FPos;
            break;
          }
          FCodes.push_back(DecodeChar());
        }
      } else if (FPos < FText.size() && FText[FPos] == '#') {
        ++FPos;
        uint64_t code = 0;
        int digits = 0;
        if (FPos < FText.size() && FText[FPos] == '$') {
          ++FPos;
          while (FPos < FText.size() && HexDigit(FText[FPos]) >= 0 && digits < 9) {
            code = code * 16 + uint64_t(HexDigit(FText[FPos++]));
            ++digits;
          }
        } else {
          while (FPos < FText.size() && IsDigit(FText[FPos]) && digits < 9) {
            code = code * 10 + uint64_t(FText[FPos++] - '0');
            ++digits;
          }
        }
        if (digits == 0 || code > 0x10FFFF) Error("Chaîne incorrecte");
        FCodes.push_back(static_cast<char32_t>(code));
      } else {
        break;
      }
    }
  }

  // A character inside quotes. In a UTF-8 file, a sequence becomes its code
  // point (the file was checked whole, so every sequence is valid). In any
  // other file each byte is one Windows-1252 character, which is the byte
  // itself in an 8-bit string, so no byte is ever lost or merged.
  char32_t DecodeChar() {
    const unsigned char b = static_cast<unsigned char>(FText[FPos]);
    char32_t cp = b;
    const size_t len = FUtf8 ? DecodeUtf8(FText, FPos, cp) : 0;
    FPos += len ? len : 1;
    return len ? cp : b;
  }

  std::string_view FText;
  bool FUtf8 = true;
  size_t FPos = 0;
  int FLine = 1;
  int FTokenLine = 1;
  Tok FToken = Tok::Eof;
  char FChar = 0;
  std::string FString;
  std::u32string FCodes;
  int64_t FInt = 0;
  char FFloatType = 0;
};

// A number that its tag cannot hold (beyond the range of the extended,
// single or double format) is refused rather than stored as infinity.
long double ParseExtended(const TParser& p, const std::string& text, long double limit = LDBL_MAX) {
  char* end = nullptr;
  const long double v = StrToLongDoubleC(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !(std::fabs(v) <= limit)) p.Error("Nombre incorrect");
  return v;
}

// Currency is stored exactly as value x 10000; the decimal text is scaled
// digit by digit so that no binary rounding creeps in.
int64_t ParseCurrency(const TParser& p, const std::string& text) {
  if (text.find_first_of("eE") != std::string::npos) {
    const long double v = ParseExtended(p, text) * 10000.0L;
    if (!(std::fabs(v) < 9.2e18L)) p.Error("Nombre incorrect");
    return static_cast<int64_t>(std::llroundl(v));
  }
  size_t i = 0;
  const bool negative = text[0] == '-';
  if (negative) ++i;
  __int128 scaled = 0;
  for (; i < text.size() && text[i] != '.'; ++i) {
    scaled = scaled * 10 + (text[i] - '0');
    if (scaled > (__int128(INT64_MAX) / 10000 + 1)) p.Error("Nombre incorrect");
  }
  scaled *= 10000;
  int decimals = 0;
  int roundDigit = 0;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size(); ++i, ++decimals) {
      if (decimals < 4) {
        __int128 unit = 1000;
        for (int k = 0; k < decimals; ++k) unit /= 10;
        scaled += unit * (text[i] - '0');
      } else if (decimals == 4) {
        roundDigit = text[i] - '0';
      }
    }
  }
  if (roundDigit >= 5) ++scaled;
  if (negative) scaled = -scaled;
  if (scaled > INT64_MAX || scaled < INT64_MIN) p.Error("Nombre incorrect");
  return static_cast<int64_t>(scaled);
}

class TTextToBinary {
public:
  TTextToBinary(TParser& parser, TObjectStreamWriter& writer) : P(parser), W(writer) {}

  void ConvertObject(int depth) {
    if (depth > kMaxNesting) P.Error("Imbrication trop profonde");
    uint8_t flags = 0;
    if (P.SymbolIs("INHERITED")) flags = ffInherited;
    else if (P.SymbolIs("INLINE")) flags = ffInline;
    else P.CheckKeyword("OBJECT");
    P.Next();
    P.CheckSymbol();
    std::string className = P.TokenString();
    std::string objectName;
    P.Next();
    if (P.IsChar(':')) {
      P.Next();
      P.CheckSymbol();
      objectName = className;
      className = P.TokenString();
      P.Next();
    }
    int64_t position = 0;
    if (P.IsChar('[')) {
      P.Next();
      if (P.Token() != Tok::Integer) P.Error("Nombre attendu");
      position = P.TokenInt();
      P.Next();
      P.CheckChar(']');
      P.Next();
      flags |= ffChildPos;
    }
    // A class name of 240 bytes or more starts with a length byte that a
    // reader would take for a prefix; an empty prefix (0xF0) keeps it apart.
    if (flags == 0 && className.size() >= 0xF0) W.WriteByte(0xF0);
    else W.WritePrefix(flags, position);
    W.WriteStr(className);
    W.WriteStr(objectName);
    while (!P.SymbolIs("END") && !P.SymbolIs("OBJECT") && !P.SymbolIs("INHERITED") && !P.SymbolIs("INLINE")) {
      if (P.Token() == Tok::Eof) P.CheckKeyword("END");
      ConvertProperty(depth);
    }
    W.WriteListEnd();
    while (!P.SymbolIs("END")) {
      if (P.Token() == Tok::Eof) P.CheckKeyword("END");
      ConvertObject(depth + 1);
    }
    W.WriteListEnd();
    P.Next();
  }

private:
  void ConvertProperty(int depth) {
    P.CheckSymbol();
    std::string path = P.TokenString();
    P.Next();
    while (P.IsChar('.')) {
      P.Next();
      P.CheckSymbol();
      path += "." + P.TokenString();
      P.Next();
    }
    if (path.size() > 255) P.Error("Identificateur attendu");
    W.WriteStr(path);
    P.CheckChar('=');
    P.Next();
    ConvertValue(depth + 1);
  }

  void ConvertValue(int depth) {
    if (depth > kMaxNesting) P.Error("Imbrication trop profonde");
    if (P.Token() == Tok::String) {
      std::u32string codes = P.TokenCodes();
      P.Next();
      while (P.IsChar('+')) {
        P.Next();
        if (P.Token() != Tok::String) P.Error("Chaîne attendue");
        codes += P.TokenCodes();
        P.Next();
      }
      WriteStringValue(codes);
      return;
    }
    switch (P.Token()) {
      case Tok::Symbol: {
        // Identifiers may be dotted (a reference to a component of another form).
        std::string ident = P.TokenString();
        P.Next();
        while (P.IsChar('.')) {
          P.Next();
          P.CheckSymbol();
          ident += "." + P.TokenString();
          P.Next();
        }
        if (ident.size() > 255) P.Error("Identificateur attendu");
        W.WriteIdent(ident);
        return;
      }
      case Tok::Integer:
        W.WriteInteger(P.TokenInt());
        break;
      case Tok::Float:
        switch (P.FloatType()) {
          case 's': W.WriteSingle(static_cast<float>(ParseExtended(P, P.TokenString(), FLT_MAX))); break;
          case 'c': W.WriteCurrency(ParseCurrency(P, P.TokenString())); break;
          case 'd': W.WriteDate(static_cast<double>(ParseExtended(P, P.TokenString(), DBL_MAX))); break;
          default: W.WriteExtended(ParseExtended(P, P.TokenString())); break;
        }
        break;
      case Tok::Char:
        switch (P.TokenChar()) {
          case '[': ConvertSet(); break;
          case '(':
            P.Next();
            W.WriteValue(vaList);
            while (!P.IsChar(')')) {
              if (P.Token() == Tok::Eof) P.CheckChar(')');
              ConvertValue(depth + 1);
            }
            W.WriteListEnd();
            break;
          case '{': W.WriteBinary(P.HexToBinary()); break;
          case '<': ConvertCollection(depth); break;
          default: P.Error("Valeur de propriété incorrecte");
        }
        break;
      default:
        P.Error("Valeur de propriété incorrecte");
    }
    P.Next();
  }

  void ConvertSet() {
    P.Next();
    W.WriteValue(vaSet);
    if (!P.IsChar(']')) {
      for (;;) {
        if (P.Token() == Tok::Integer) W.WriteStr(P.TokenString().empty() ? std::to_string(P.TokenInt()) : P.TokenString());
        else {
          P.CheckSymbol();
          W.WriteStr(P.TokenString());
        }
        P.Next();
        if (P.IsChar(']')) break;
        P.CheckChar(',');
        P.Next();
      }
    }
    W.WriteStr("");
  }

  void ConvertCollection(int depth) {
    P.Next();
    W.WriteValue(vaCollection);
    while (!P.IsChar('>')) {
      P.CheckKeyword("item");
      P.Next();
      if (P.IsChar('[')) {
        P.Next();
        if (P.Token() != Tok::Integer) P.Error("Nombre attendu");
        W.WriteInteger(P.TokenInt());
        P.Next();
        P.CheckChar(']');
        P.Next();
      }
      W.WriteValue(vaList);
      while (!P.SymbolIs("end")) {
        if (P.Token() == Tok::Eof) P.CheckKeyword("end");
        ConvertProperty(depth + 1);
      }
      W.WriteListEnd();
      P.Next();
    }
    W.WriteListEnd();
  }

  // Tag 6 (or 12 above 255 bytes) when every code fits a byte; otherwise
  // tag 18 in UTF-16.
  void WriteStringValue(const std::u32string& codes) {
    bool wide = false;
    for (char32_t c : codes)
      if (c > 255) wide = true;
    if (!wide) {
      std::string bytes;
      bytes.reserve(codes.size());
      for (char32_t c : codes) bytes += static_cast<char>(c);
      W.WriteString(bytes);
      return;
    }
    std::u16string units;
    for (char32_t c : codes) {
      if (c > 0xFFFF) {
        c -= 0x10000;
        units += static_cast<char16_t>(0xD800 + (c >> 10));
        units += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
      } else {
        units += static_cast<char16_t>(c);
      }
    }
    W.WriteWideString(units);
  }

  TParser& P;
  TObjectStreamWriter& W;
};

// ============================== writer ==============================
// Numbers are written with std::to_chars and read back through the C locale
// object, so the text is the same whatever the process's numeric locale
// (a French one would otherwise write "1,5"). Only finite values reach
// these: the text form has no way to say NaN or infinity.

// `v` with std::to_chars in `format` and `precision`, as printf would write
// it in the C locale.
std::string ToChars(long double v, std::chars_format format, int precision) {
  char buf[128];
  const auto result = std::to_chars(buf, buf + sizeof buf, v, format, precision);
  return std::string(buf, result.ptr);
}
std::string ToChars(double v, std::chars_format format, int precision) {
  char buf[64];
  const auto result = std::to_chars(buf, buf + sizeof buf, v, format, precision);
  return std::string(buf, result.ptr);
}

// Extended values are written with 18 significant digits and 18 decimals,
// the classic layout ("8000.000000000000000000"). When that text would not
// read back as the very same value (tiny or huge magnitudes), the writer
// falls back to exponent form with the fewest digits (18 to 21) that read
// back exactly; 21 always do.
std::string FormatExtended(long double v) {
  const std::string scientific = ToChars(v, std::chars_format::scientific, 17);  // d.ddddddddddddddddde±x
  const size_t e = scientific.find('e');
  const int exponent = std::atoi(scientific.c_str() + e + 1);
  std::string digits;
  for (size_t i = 0; i < e; ++i)
    if (scientific[i] >= '0' && scientific[i] <= '9') digits += scientific[i];
  const bool negative = scientific[0] == '-';
  auto readsBack = [v](const std::string& text) { return StrToLongDoubleC(text.c_str(), nullptr) == v; };
  if (exponent < 18 && exponent >= -1) {
    std::string intPart, frac;
    if (exponent >= 0) {
      intPart = digits.substr(0, size_t(exponent) + 1);
      frac = digits.substr(size_t(exponent) + 1);
    } else {
      intPart = "0";
      frac = std::string(size_t(-exponent - 1), '0') + digits;
    }
    frac.resize(18, '0');
    const std::string out = (negative ? "-" : "") + intPart + "." + frac;
    if (readsBack(out)) return out;
  } else if (exponent < -1) {
    const std::string out = ToChars(v, std::chars_format::fixed, 18);
    if (readsBack(out)) return out;
  }
  for (int precision = 17; precision < 20; ++precision) {
    const std::string out = ToChars(v, std::chars_format::scientific, precision);
    if (readsBack(out)) return out;
  }
  return ToChars(v, std::chars_format::scientific, 20);
}

// A single (digits 9) or double (digits 17) in the shortest "%g" form of
// digits - 2 to digits significant digits that reads back as the same value.
std::string FormatFloat(double v, int digits) {
  std::string out;
  for (int precision = digits - 2; precision <= digits; ++precision) {
    out = ToChars(v, std::chars_format::general, precision);
    if (digits <= 9 ? StrToFloatC(out.c_str()) == static_cast<float>(v)
                    : StrToDoubleC(out.c_str()) == v)
      break;
  }
  return out;
}

std::string FormatCurrency(int64_t scaled) {
  const bool negative = scaled < 0;
  const unsigned __int128 mag = negative ? (unsigned __int128)(-(__int128)scaled) : (unsigned __int128)scaled;
  const uint64_t whole = static_cast<uint64_t>(mag / 10000);
  const unsigned frac = static_cast<unsigned>(mag % 10000);
  return Format("%s%llu.%04uc", negative ? "-" : "", static_cast<unsigned long long>(whole), frac);
}

class TBinaryToText {
public:
  explicit TBinaryToText(TObjectStreamReader& r) : R(r) {}
  std::string Out;

  void ConvertObject(int depth) {
    if (depth > kMaxNesting) throw EReadError("Erreur de lecture du flux");
    uint8_t flags;
    int64_t position;
    R.ReadPrefix(flags, position);
    const std::string className = R.ReadStr();
    const std::string objectName = R.ReadStr();
    FObject = objectName.empty() ? className : objectName;
    Indent(depth);
    Out += (flags & ffInherited) ? "inherited " : (flags & ffInline) ? "inline " : "object ";
    if (!objectName.empty()) Out += objectName + ": ";
    Out += className;
    if (flags & ffChildPos) Out += " [" + std::to_string(position) + "]";
    Out += "\r\n";
    while (!R.EndOfList()) ConvertProperty(depth + 1);
    R.ReadListEnd();
    while (!R.EndOfList()) ConvertObject(depth + 1);
    R.ReadListEnd();
    Indent(depth);
    Out += "end\r\n";
  }

private:
  void Indent(int level) { Out.append(size_t(level) * 2, ' '); }
  void NewLine(int level) {
    Out += "\r\n";
    Indent(level);
  }

  void ConvertProperty(int level) {
    Indent(level);
    FProperty = R.ReadStr();
    Out += FProperty + " = ";
    ConvertValue(level);
    Out += "\r\n";
  }

  // The text form cannot say NaN or infinity; writing 0 instead would
  // silently change the skin, so the conversion fails naming the property,
  // as reading the value into a component would.
  template <class T>
  T Finite(T value) const {
    if (!std::isfinite(value))
      throw EReadError(Format("Erreur lors de la lecture de %s%s%s: %s", FObject.c_str(), ".", FProperty.c_str(),
                              "Valeur de propriété incorrecte"));
    return value;
  }

  void ConvertValue(int level) {
    if (level > kMaxNesting) throw EReadError("Erreur de lecture du flux");
    const TValueType tag = R.ReadValue();
    switch (tag) {
      case vaList:
        Out += "(";
        while (!R.EndOfList()) {
          NewLine(level + 1);
          ConvertValue(level + 1);
        }
        R.ReadListEnd();
        Out += ")";
        break;
      case vaInt8: case vaInt16: case vaInt32: case vaInt64:
        Out += std::to_string(R.ReadIntegerPayload(tag));
        break;
      case vaExtended: Out += FormatExtended(Finite(R.ReadExtendedPayload())); break;
      case vaSingle: Out += FormatFloat(Finite(R.ReadSinglePayload()), 9) + "s"; break;
      case vaCurrency: Out += FormatCurrency(R.ReadInt64Payload()); break;
      case vaDate: Out += FormatFloat(Finite(R.ReadDoublePayload()), 17) + "d"; break;
      case vaString: case vaLString: {
        const std::string s = R.ReadBytesString(tag);
        std::u32string codes;
        for (unsigned char c : s) codes += char32_t(c);
        WriteString(codes, level);
        break;
      }
      case vaUTF8String: {
        const std::string s = R.ReadBytesString(tag);
        WriteString(Utf8Codes(s), level);
        break;
      }
      case vaWString: {
        const std::u16string s = R.ReadWideString();
        std::u32string codes(s.begin(), s.end());
        WriteString(codes, level);
        break;
      }
      case vaIdent: Out += R.ReadStr(); break;
      case vaFalse: Out += "False"; break;
      case vaTrue: Out += "True"; break;
      case vaNil: Out += "nil"; break;
      case vaNull: Out += "Null"; break;
      case vaBinary: {
        const uint32_t count = R.ReadUInt32();
        auto data = R.ReadSpan(count);
        Out += "{";
        for (size_t i = 0; i < data.size(); i += 32) {
          NewLine(level + 1);
          for (size_t k = i; k < data.size() && k < i + 32; ++k) Out += Format("%02X", data[k]);
        }
        Out += "}";
        break;
      }
      case vaSet: {
        Out += "[";
        bool first = true;
        for (std::string s = R.ReadStr(); !s.empty(); s = R.ReadStr()) {
          if (!first) Out += ", ";
          Out += s;
          first = false;
        }
        Out += "]";
        break;
      }
      case vaCollection:
        Out += "<";
        while (!R.EndOfList()) {
          NewLine(level + 1);
          Out += "item";
          const TValueType next = R.NextValue();
          if (next == vaInt8 || next == vaInt16 || next == vaInt32 || next == vaInt64) {
            Out += " [";
            ConvertValue(level + 1);
            Out += "]";
          }
          Out += "\r\n";
          if (R.ReadValue() != vaList) throw EReadError("Erreur de lecture du flux");
          while (!R.EndOfList()) ConvertProperty(level + 2);
          R.ReadListEnd();
          Indent(level + 1);
          Out += "end";
        }
        R.ReadListEnd();
        Out += ">";
        break;
    }
  }

  static std::u32string Utf8Codes(const std::string& s) {
    std::u32string out;
    size_t i = 0;
    while (i < s.size()) {
      const unsigned char b = static_cast<unsigned char>(s[i]);
      size_t len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 1;
      if (i + len > s.size()) len = 1;
      char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
      for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
      if (cp > 0x10FFFF) cp = 0xFFFD;
      out += cp;
      i += len;
    }
    return out;
  }

  // Printable ASCII goes between quotes; quotes, control characters and
  // everything above 127 are written as #codes, so the text is plain ASCII
  // and reads back to the same codes. Long strings are cut into pieces of
  // 64 characters joined by " +" at the end of a line.
  void WriteString(const std::u32string& s, int level) {
    constexpr size_t kLineLength = 64;
    if (s.empty()) {
      Out += "''";
      return;
    }
    size_t i = 0, lineStart = 0;
    while (i < s.size()) {
      bool lineBreak = false;
      if (s[i] >= U' ' && s[i] < 127 && s[i] != U'\'') {
        Out += '\'';
        while (i < s.size() && s[i] >= U' ' && s[i] < 127 && s[i] != U'\'') {
          Out += static_cast<char>(s[i++]);
          if (i - lineStart >= kLineLength) {
            lineBreak = true;
            break;
          }
        }
        Out += '\'';
      } else {
        Out += "#" + std::to_string(static_cast<uint32_t>(s[i++]));
        if (i - lineStart >= kLineLength) lineBreak = true;
      }
      if (lineBreak && i < s.size()) {
        Out += " +";
        NewLine(level + 1);
        lineStart = i;
      }
    }
  }

  TObjectStreamReader& R;
  std::string FObject;    // the object whose properties are being written
  std::string FProperty;  // the property being written
};

}  // namespace

bool IsValidUtf8(std::string_view text) noexcept {
  char32_t cp = 0;
  for (size_t i = 0, len = 0; i < text.size(); i += len)
    if ((len = DecodeUtf8(text, i, cp)) == 0) return false;
  return true;
}

TTextEncoding DetectTextEncoding(std::string_view& text) {
  auto startsWith = [&](std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; };
  // UTF-16 cannot be read as 8-bit text at all: say so instead of failing
  // on the first keyword.
  if (startsWith("\xFF\xFE")) throw EParserError("Texte en UTF-16LE non pris en charge : enregistrez le fichier en UTF-8");
  if (startsWith("\xFE\xFF")) throw EParserError("Texte en UTF-16BE non pris en charge : enregistrez le fichier en UTF-8");
  if (startsWith("\xEF\xBB\xBF")) text.remove_prefix(3);
  return IsValidUtf8(text) ? TTextEncoding::Utf8 : TTextEncoding::Windows1252;
}

std::vector<uint8_t> ObjectTextToBinary(std::string_view text) {
  const bool utf8 = DetectTextEncoding(text) == TTextEncoding::Utf8;
  TParser parser(text, utf8);
  TObjectStreamWriter writer;
  writer.WriteSignature();
  TTextToBinary(parser, writer).ConvertObject(0);
  return std::move(writer.Bytes());
}

std::string ObjectBinaryToText(std::span<const uint8_t> stream) {
  TObjectStreamReader reader(stream);
  reader.ReadSignature();
  TBinaryToText converter(reader);
  converter.ConvertObject(0);
  return std::move(converter.Out);
}

std::string RootClassName(std::span<const uint8_t> stream) {
  TObjectStreamReader reader(stream);
  reader.ReadSignature();
  uint8_t flags;
  int64_t position;
  reader.ReadPrefix(flags, position);
  return reader.ReadStr();
}
