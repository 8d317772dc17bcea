#include "SysUtils.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

std::string Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out;
  if (needed > 0) {
    out.resize(static_cast<size_t>(needed) + 1);
    std::vsnprintf(out.data(), out.size(), fmt, args);
    out.resize(static_cast<size_t>(needed));
  }
  va_end(args);
  return out;
}

static char AsciiUpper(char c) noexcept { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool SameText(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

std::string UpperCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

bool IsValidIdent(std::string_view s) noexcept {
  if (s.empty()) return false;
  auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!alpha(s[0])) return false;
  for (char c : s.substr(1))
    if (!alpha(c) && !(c >= '0' && c <= '9')) return false;
  return true;
}

// Windows-1252 0x80..0x9F; 0 marks the five unassigned codes.
static const char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

static void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char b : bytes) {
    char32_t cp = b;
    if (b >= 0x80 && b < 0xA0) cp = kCp1252High[b - 0x80] ? kCp1252High[b - 0x80] : b;
    AppendUtf8(out, cp);
  }
  return out;
}

std::string Utf8ToCp1252(std::string_view utf8, char unmapped) {
  std::string out;
  size_t i = 0;
  while (i < utf8.size()) {
    const unsigned char b = static_cast<unsigned char>(utf8[i]);
    char32_t cp = 0;
    size_t len = 1;
    if (b < 0x80) cp = b;
    else if ((b & 0xE0) == 0xC0) { cp = b & 0x1F; len = 2; }
    else if ((b & 0xF0) == 0xE0) { cp = b & 0x0F; len = 3; }
    else if ((b & 0xF8) == 0xF0) { cp = b & 0x07; len = 4; }
    else { out += unmapped; ++i; continue; }
    if (i + len > utf8.size()) { out += unmapped; break; }
    for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += len;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) { out += static_cast<char>(cp); continue; }
    char mapped = unmapped;
    for (int k = 0; k < 32; ++k)
      if (kCp1252High[k] && kCp1252High[k] == cp) mapped = static_cast<char>(0x80 + k);
    out += mapped;
  }
  return out;
}

std::string Utf16ToUtf8(const std::u16string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

// ---- numbers shown to the user -----------------------------------------------------------

const std::string& UserDecimalSeparator() {
  static const std::string separator = LocaleDecimalSeparator("").value_or(".");
  return separator;
}

namespace {
// Digits after the point of the scientific form that make it the exact
// decimal expansion of any double (the longest, of the smallest subnormal,
// has 767 significant digits after the first).
constexpr int kExactDigits = 767;

// A finite, non-negative double as its exact decimal expansion: significant
// digits d0 d1 d2 ... (value = d0.d1d2... x 10^exponent), on the stack.
struct TExactDecimal {
  std::array<char, kExactDigits + 32> Text{};  // "d.ddd...e+XX"
  int Length = 0;                               // of the digits and the point, up to the 'e'
  int Exponent = 0;
  // Significant digit k (0 beyond the expansion).
  int Digit(int k) const noexcept {
    if (k < 0) return 0;
    const int at = k == 0 ? 0 : k + 1;  // skips the point
    return at < Length ? Text[static_cast<size_t>(at)] - '0' : 0;
  }
};

void ExactDecimal(double magnitude, TExactDecimal& d) {
  const auto result = std::to_chars(d.Text.data(), d.Text.data() + d.Text.size(), magnitude,
                                    std::chars_format::scientific, kExactDigits);
  const char* e = std::find(d.Text.data(), result.ptr, 'e');
  d.Length = static_cast<int>(e - d.Text.data());
  std::from_chars(e + 1 + (e[1] == '+' ? 1 : 0), result.ptr, d.Exponent);
}

void AppendZeros(std::string& text, int count) {
  if (count > 0) text.append(static_cast<size_t>(count), '0');
}
}  // namespace

TDecimalRounding RoundDecimal(double magnitude, int32_t decimals, int32_t maxSignificant) {
  TDecimalRounding rounded;
  if (!(magnitude > 0) || !std::isfinite(magnitude)) return rounded;
  TExactDecimal exact;
  ExactDecimal(magnitude, exact);
  // Keep the digits down to 10^-decimals (at most maxSignificant of them)
  // and round up when the first dropped digit is 5 or more: on the exact
  // expansion that is "half away from zero".
  int keep = exact.Exponent + std::max<int32_t>(decimals, 0) + 1;
  if (maxSignificant > 0) keep = std::min<int>(keep, maxSignificant);
  rounded.Scale = exact.Exponent - keep + 1;
  for (int k = 0; k < keep; ++k) rounded.Digits.push_back(static_cast<char>('0' + exact.Digit(k)));
  if (keep >= 0 && exact.Digit(keep) >= 5) {
    // Carry through trailing nines; all nines become 1 followed by zeros.
    size_t i = rounded.Digits.size();
    while (i > 0 && rounded.Digits[i - 1] == '9') rounded.Digits[--i] = '0';
    if (i > 0) ++rounded.Digits[i - 1];
    else rounded.Digits.insert(rounded.Digits.begin(), '1');
  }
  if (rounded.Digits.empty()) rounded.Scale = 0;
  return rounded;
}

std::string FixedText(const TDecimalRounding& rounded, bool negative, int32_t decimals, std::string_view separator) {
  decimals = std::max<int32_t>(decimals, 0);
  const std::string_view digits = rounded.Digits;
  const int length = static_cast<int>(digits.size());
  const int integerDigits = digits.empty() ? 0 : length + rounded.Scale;  // before the separator, when positive
  std::string text;
  text.reserve(static_cast<size_t>(std::max(integerDigits, 1) + decimals) + separator.size() + 1);
  if (negative && !digits.empty()) text.push_back('-');
  if (integerDigits <= 0) {
    text.push_back('0');
  } else {
    text.append(digits.substr(0, static_cast<size_t>(std::min(integerDigits, length))));
    AppendZeros(text, integerDigits - length);
  }
  if (decimals > 0) {
    text.append(separator);
    int written = 0;
    if (integerDigits < 0) {
      AppendZeros(text, -integerDigits);
      written = -integerDigits;
    }
    if (integerDigits < length) {
      const std::string_view fraction = digits.substr(static_cast<size_t>(std::max(integerDigits, 0)));
      text.append(fraction);
      written += static_cast<int>(fraction.size());
    }
    AppendZeros(text, decimals - written);
  }
  return text;
}

std::string FormatFixed(double value, int32_t decimals, std::string_view separator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  return FixedText(RoundDecimal(std::fabs(value), decimals), value < 0, decimals, separator);
}

const char* ProductVersion() noexcept { return VELQ_VERSION; }
