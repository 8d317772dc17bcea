#include "JavaText.h"

#include <cstdint>

namespace serialkvl {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  const size_t n = text.size();
  auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
  while (i < n) {
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    // Each form checks its second byte's range, which rules out overlong
    // forms and code points past U+10FFFF in one place.
    int length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead == 0xC0) {
      length = 2, low = high = 0x80;  // modified UTF-8's NUL
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead == 0xE0) {
      length = 3, low = 0xA0;
    } else if (lead >= 0xE1 && lead <= 0xEF) {
      length = 3;  // ED A0..BF: a surrogate, as modified UTF-8 writes them
    } else if (lead == 0xF0) {
      length = 4, low = 0x90;
    } else if (lead >= 0xF1 && lead <= 0xF3) {
      length = 4;
    } else if (lead == 0xF4) {
      length = 4, high = 0x8F;
    }
    bool valid = length > 0 && i + static_cast<size_t>(length) <= n && byte(i + 1) >= low && byte(i + 1) <= high;
    for (int k = 2; valid && k < length; ++k) valid = Continuation(byte(i + static_cast<size_t>(k)));
    if (!valid) {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    uint32_t code = lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) code = (code << 6) | (byte(i + static_cast<size_t>(k)) & 0x3F);
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
    i += static_cast<size_t>(length);
  }
  return out;
}

}  // namespace serialkvl
