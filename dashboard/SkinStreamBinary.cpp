// The object-stream layer: tags, records, the resource header and the dump.
#include <cfloat>
#include <cmath>
#include <cstring>

#include "SkinStream.h"

static_assert(LDBL_MANT_DIG == 64, "extended values need the x87 80-bit long double");

namespace {
const char* const kStreamReadError = "Erreur de lecture du flux";
const char* const kBadFormat = "Format de flux incorrect";
}  // namespace

void TObjectStreamReader::Need(size_t count) const {
  if (count > FData.size() - FPos) throw EStreamEnd();
}

void TObjectStreamReader::ReadSignature() {
  if (FData.size() - FPos < 4 || std::memcmp(FData.data() + FPos, "TPF0", 4) != 0) throw EReadError(kBadFormat);
  FPos += 4;
}

uint8_t TObjectStreamReader::ReadByte() {
  Need(1);
  return FData[FPos++];
}

void TObjectStreamReader::ReadBytes(void* out, size_t count) {
  Need(count);
  if (count) std::memcpy(out, FData.data() + FPos, count);
  FPos += count;
}

std::span<const uint8_t> TObjectStreamReader::ReadSpan(size_t count) {
  Need(count);
  auto s = FData.subspan(FPos, count);
  FPos += count;
  return s;
}

uint32_t TObjectStreamReader::ReadUInt32() {
  uint8_t b[4];
  ReadBytes(b, 4);
  return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
}

TValueType TObjectStreamReader::ReadValue() {
  const uint8_t tag = ReadByte();
  if (tag > kMaxValueType) throw EInvalidValueTag(tag);
  return static_cast<TValueType>(tag);
}

TValueType TObjectStreamReader::NextValue() {
  const TValueType tag = ReadValue();
  --FPos;
  return tag;
}

bool TObjectStreamReader::EndOfList() {
  Need(1);
  return FData[FPos] == 0;
}

void TObjectStreamReader::ReadListEnd() {
  if (ReadByte() != 0) throw EReadError(kStreamReadError);
}

std::string TObjectStreamReader::ReadStr() {
  const uint8_t len = ReadByte();
  auto s = ReadSpan(len);
  return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

void TObjectStreamReader::ReadPrefix(uint8_t& flags, int64_t& childPos) {
  flags = 0;
  childPos = 0;
  Need(1);
  if ((FData[FPos] & 0xF0) == 0xF0) {
    flags = ReadByte() & 0x0F;
    if (flags & ffChildPos) {
      const TValueType tag = ReadValue();
      if (tag != vaInt8 && tag != vaInt16 && tag != vaInt32 && tag != vaInt64) throw EReadError(kStreamReadError);
      childPos = ReadIntegerPayload(tag);
    }
  }
}

int64_t TObjectStreamReader::ReadIntegerPayload(TValueType tag) {
  switch (tag) {
    case vaInt8: return static_cast<int8_t>(ReadByte());
    case vaInt16: {
      uint8_t b[2];
      ReadBytes(b, 2);
      return static_cast<int16_t>(uint16_t(b[0] | (b[1] << 8)));
    }
    case vaInt32: return static_cast<int32_t>(ReadUInt32());
    case vaInt64: return ReadInt64Payload();
    default: throw EReadError(kStreamReadError);
  }
}

long double TObjectStreamReader::ReadExtendedPayload() {
  long double v = 0;
  static_assert(sizeof(long double) >= 10);
  ReadBytes(&v, 10);
  return v;
}

float TObjectStreamReader::ReadSinglePayload() {
  float v;
  ReadBytes(&v, 4);
  return v;
}

int64_t TObjectStreamReader::ReadInt64Payload() {
  uint8_t b[8];
  ReadBytes(b, 8);
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | b[i];
  return static_cast<int64_t>(v);
}

double TObjectStreamReader::ReadDoublePayload() {
  double v;
  ReadBytes(&v, 8);
  return v;
}

std::string TObjectStreamReader::ReadBytesString(TValueType tag) {
  size_t len = 0;
  if (tag == vaString) len = ReadByte();
  else if (tag == vaLString || tag == vaUTF8String) len = ReadUInt32();
  else throw EReadError(kStreamReadError);
  auto s = ReadSpan(len);
  return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

std::u16string TObjectStreamReader::ReadWideString() {
  const uint32_t chars = ReadUInt32();
  if (chars > (FData.size() - FPos) / 2) throw EStreamEnd();
  auto s = ReadSpan(size_t(chars) * 2);
  std::u16string out(chars, u'\0');
  for (size_t i = 0; i < chars; ++i) out[i] = static_cast<char16_t>(s[2 * i] | (s[2 * i + 1] << 8));
  return out;
}

void TObjectStreamReader::SkipValue(int depth) {
  if (depth > kMaxNesting) throw EReadError(kStreamReadError);
  const TValueType tag = ReadValue();
  switch (tag) {
    case vaNull: case vaFalse: case vaTrue: case vaNil: return;
    case vaList:
      while (!EndOfList()) SkipValue(depth + 1);
      ReadListEnd();
      return;
    case vaInt8: ReadSpan(1); return;
    case vaInt16: ReadSpan(2); return;
    case vaInt32: case vaSingle: ReadSpan(4); return;
    case vaExtended: ReadSpan(10); return;
    case vaCurrency: case vaDate: case vaInt64: ReadSpan(8); return;
    case vaString: case vaIdent: ReadSpan(ReadByte()); return;
    case vaBinary: case vaLString: case vaUTF8String: ReadSpan(ReadUInt32()); return;
    case vaWString: ReadWideString(); return;
    case vaSet:
      while (!ReadStr().empty()) {
      }
      return;
    case vaCollection:
      while (!EndOfList()) {
        const TValueType t = NextValue();
        if (t == vaInt8 || t == vaInt16 || t == vaInt32 || t == vaInt64) SkipValue(depth + 1);
        if (ReadValue() != vaList) throw EReadError(kStreamReadError);
        while (!EndOfList()) {
          ReadStr();
          SkipValue(depth + 1);
        }
        ReadListEnd();
      }
      ReadListEnd();
      return;
  }
}

// ---- writer ------------------------------------------------------------------------

void TObjectStreamWriter::WriteSignature() { WriteBytes("TPF0", 4); }

void TObjectStreamWriter::WriteBytes(const void* data, size_t count) {
  const auto* p = static_cast<const uint8_t*>(data);
  FBytes.insert(FBytes.end(), p, p + count);
}

void TObjectStreamWriter::WriteUInt32(uint32_t v) {
  const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  WriteBytes(b, 4);
}

void TObjectStreamWriter::WriteStr(std::string_view s) {
  if (s.size() > 255) throw EReadError(kStreamReadError);
  WriteByte(static_cast<uint8_t>(s.size()));
  WriteBytes(s.data(), s.size());
}

void TObjectStreamWriter::WritePrefix(uint8_t flags, int64_t childPos) {
  if (flags == 0) return;
  WriteByte(0xF0 | flags);
  if (flags & ffChildPos) WriteInteger(childPos);
}

void TObjectStreamWriter::WriteInteger(int64_t v) {
  if (v >= INT8_MIN && v <= INT8_MAX) {
    WriteValue(vaInt8);
    WriteByte(static_cast<uint8_t>(v));
  } else if (v >= INT16_MIN && v <= INT16_MAX) {
    WriteValue(vaInt16);
    const uint16_t u = static_cast<uint16_t>(v);
    WriteByte(uint8_t(u));
    WriteByte(uint8_t(u >> 8));
  } else if (v >= INT32_MIN && v <= INT32_MAX) {
    WriteValue(vaInt32);
    WriteUInt32(static_cast<uint32_t>(v));
  } else {
    WriteValue(vaInt64);
    const uint64_t u = static_cast<uint64_t>(v);
    WriteUInt32(static_cast<uint32_t>(u));
    WriteUInt32(static_cast<uint32_t>(u >> 32));
  }
}

void TObjectStreamWriter::WriteExtended(long double v) {
  WriteValue(vaExtended);
  uint8_t b[16] = {};
  std::memcpy(b, &v, sizeof v < 16 ? sizeof v : 16);
  WriteBytes(b, 10);
}

void TObjectStreamWriter::WriteSingle(float v) {
  WriteValue(vaSingle);
  WriteBytes(&v, 4);
}

void TObjectStreamWriter::WriteCurrency(int64_t scaled) {
  WriteValue(vaCurrency);
  const uint64_t u = static_cast<uint64_t>(scaled);
  WriteUInt32(static_cast<uint32_t>(u));
  WriteUInt32(static_cast<uint32_t>(u >> 32));
}

void TObjectStreamWriter::WriteDate(double v) {
  WriteValue(vaDate);
  WriteBytes(&v, 8);
}

void TObjectStreamWriter::WriteString(std::string_view bytes) {
  if (bytes.size() <= 255) {
    WriteValue(vaString);
    WriteByte(static_cast<uint8_t>(bytes.size()));
  } else {
    WriteValue(vaLString);
    WriteUInt32(static_cast<uint32_t>(bytes.size()));
  }
  WriteBytes(bytes.data(), bytes.size());
}

void TObjectStreamWriter::WriteWideString(const std::u16string& s) {
  WriteValue(vaWString);
  WriteUInt32(static_cast<uint32_t>(s.size()));
  for (char16_t c : s) {
    WriteByte(uint8_t(c));
    WriteByte(uint8_t(c >> 8));
  }
}

void TObjectStreamWriter::WriteIdent(std::string_view ident) {
  if (SameText(ident, "False")) WriteValue(vaFalse);
  else if (SameText(ident, "True")) WriteValue(vaTrue);
  else if (SameText(ident, "nil")) WriteValue(vaNil);
  else if (SameText(ident, "Null")) WriteValue(vaNull);
  else {
    WriteValue(vaIdent);
    WriteStr(ident);
  }
}

void TObjectStreamWriter::WriteBinary(std::span<const uint8_t> data) {
  WriteValue(vaBinary);
  WriteUInt32(static_cast<uint32_t>(data.size()));
  WriteBytes(data.data(), data.size());
}

// ---- resource header -------------------------------------------------------------

std::vector<uint8_t> ResourceHeader(std::string_view rootClass, uint32_t streamSize) {
  TObjectStreamWriter w;
  w.WriteByte(0xFF);
  w.WriteByte(10);
  w.WriteByte(0);
  const std::string name = UpperCase(rootClass);
  w.WriteBytes(name.data(), name.size());
  w.WriteByte(0);
  w.WriteByte(0x30);
  w.WriteByte(0x10);
  w.WriteUInt32(streamSize);
  return std::move(w.Bytes());
}

size_t SkipResourceHeader(std::span<const uint8_t> file) {
  // The bytes present are checked first: a file shorter than the three
  // signature bytes is not a skin, unless what it has is the start of one.
  // An empty file (what a failed conversion leaves) has nothing of one.
  static constexpr uint8_t kSignature[3] = {0xFF, 10, 0};
  if (file.empty()) throw EReadError(kBadFormat);
  for (size_t i = 0; i < 3 && i < file.size(); ++i)
    if (file[i] != kSignature[i]) throw EReadError(kBadFormat);
  if (file.size() < 3) throw EStreamEnd();
  size_t pos = 3;
  while (pos < file.size() && file[pos] != 0) ++pos;
  pos += 1 + 2 + 4;  // the zero byte, flags, size: skipped unread
  if (pos > file.size()) throw EStreamEnd();
  return pos;
}

// ---- dump ---------------------------------------------------------------------------

namespace {
const char* TagName(TValueType t) {
  static const char* const names[] = {"null", "list", "int8", "int16", "int32", "extended", "string",
                                      "ident", "false", "true", "binary", "set", "lstring", "nil",
                                      "collection", "single", "currency", "date", "wstring", "int64", "utf8string"};
  return names[t];
}

class Dumper {
public:
  explicit Dumper(TObjectStreamReader& r) : R(r) {}
  std::string Out;

  void Object(int depth) {
    if (depth > kMaxNesting) throw EReadError(kStreamReadError);
    uint8_t flags;
    int64_t pos;
    const size_t at = R.Position();
    R.ReadPrefix(flags, pos);
    const std::string cls = R.ReadStr();
    const std::string name = R.ReadStr();
    Line(depth, at, "object class=" + cls + " name=" + name +
                        (flags ? " flags=" + std::to_string(flags) + (flags & ffChildPos ? " pos=" + std::to_string(pos) : "") : ""));
    while (!R.EndOfList()) {
      const size_t propAt = R.Position();
      const std::string prop = R.ReadStr();
      Value(depth + 1, propAt, prop + " = ");
    }
    R.ReadListEnd();
    while (!R.EndOfList()) Object(depth + 1);
    R.ReadListEnd();
    Line(depth, R.Position() - 1, "end");
  }

  void Value(int depth, size_t at, const std::string& lead) {
    if (depth > kMaxNesting) throw EReadError(kStreamReadError);
    const TValueType t = R.ReadValue();
    std::string text = lead + "[" + std::to_string(int(t)) + " " + TagName(t) + "]";
    switch (t) {
      case vaInt8: case vaInt16: case vaInt32: case vaInt64:
        text += " " + std::to_string(R.ReadIntegerPayload(t));
        break;
      case vaExtended: text += " " + Format("%.21Lg", R.ReadExtendedPayload()); break;
      case vaSingle: text += " " + Format("%.9g", double(R.ReadSinglePayload())); break;
      case vaDate: text += " " + Format("%.17g", R.ReadDoublePayload()); break;
      case vaCurrency: text += " " + std::to_string(R.ReadInt64Payload()) + "/10000"; break;
      case vaString: case vaLString: case vaUTF8String: {
        const std::string s = R.ReadBytesString(t);
        text += " (" + std::to_string(s.size()) + " bytes) '" + Printable(s) + "'";
        break;
      }
      case vaWString: text += " (" + std::to_string(R.ReadWideString().size()) + " chars)"; break;
      case vaIdent: text += " " + R.ReadStr(); break;
      case vaBinary: {
        const uint32_t n = R.ReadUInt32();
        auto data = R.ReadSpan(n);
        text += " " + std::to_string(n) + " bytes";
        for (size_t i = 0; i < data.size() && i < 16; ++i) text += Format(" %02X", data[i]);
        if (data.size() > 16) text += " ...";
        break;
      }
      case vaSet: {
        text += " [";
        bool first = true;
        for (std::string s = R.ReadStr(); !s.empty(); s = R.ReadStr()) {
          text += (first ? "" : ", ") + s;
          first = false;
        }
        text += "]";
        break;
      }
      case vaList:
        Line(depth, at, text);
        while (!R.EndOfList()) Value(depth + 1, R.Position(), "");
        R.ReadListEnd();
        return;
      case vaCollection:
        Line(depth, at, text);
        while (!R.EndOfList()) {
          const TValueType n = R.NextValue();
          if (n == vaInt8 || n == vaInt16 || n == vaInt32 || n == vaInt64) Value(depth + 1, R.Position(), "order ");
          if (R.ReadValue() != vaList) throw EReadError(kStreamReadError);
          Line(depth + 1, R.Position() - 1, "item");
          while (!R.EndOfList()) {
            const size_t propAt = R.Position();
            const std::string prop = R.ReadStr();
            Value(depth + 2, propAt, prop + " = ");
          }
          R.ReadListEnd();
        }
        R.ReadListEnd();
        return;
      default:
        break;
    }
    Line(depth, at, text);
  }

private:
  static std::string Printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s.substr(0, 60)) out += (c >= 32 && c < 127) ? char(c) : '.';
    if (s.size() > 60) out += "...";
    return out;
  }
  void Line(int depth, size_t at, const std::string& text) {
    Out += Format("%06zx ", at) + std::string(size_t(depth) * 2, ' ') + text + "\n";
  }
  TObjectStreamReader& R;
};
}  // namespace

std::string DumpObjectStream(std::span<const uint8_t> file) {
  std::string out;
  size_t start = 0;
  if (!file.empty() && file[0] == 0xFF) {
    start = SkipResourceHeader(file);
    out += Format("resource header: %zu bytes, name %s\n", start,
                  std::string(reinterpret_cast<const char*>(file.data()) + 3).c_str());
  }
  TObjectStreamReader r(file.subspan(start));
  r.ReadSignature();
  out += "TPF0\n";
  Dumper d(r);
  d.Object(0);
  return out + d.Out;
}

std::optional<std::string> TObjectStreamReader::ReadIdentText(TValueType tag) {
  switch (tag) {
    case vaIdent: return ReadStr();
    case vaFalse: return "False";
    case vaTrue: return "True";
    case vaNil: return "nil";
    case vaNull: return "Null";
    default: return std::nullopt;
  }
}
