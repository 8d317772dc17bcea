// Skin files: the object stream, its text form, and reading it into live objects.
//
// Two layers. The object-stream layer (TObjectStreamReader, TObjectStreamWriter,
// ObjectTextToBinary, ObjectBinaryToText, the resource header, DumpObjectStream)
// knows value tags, records and the text grammar, and nothing about classes;
// text <-> binary conversion uses only it. The reader layer
// (ReadRootComponent, ReadSkinFile) walks a stream and creates live objects
// through the class registry and the property tables (framework/TypInfo.h).
//
// Thread rules: all functions are reentrant; reading into components must run
// on the thread that owns them (the user-interface thread).
// Errors: every failure raises an Exception subclass carrying the system's
// message: EReadError ("Format de flux incorrect", "Erreur de lecture du flux",
// the property wrapper "Erreur lors de la lecture de %s%s%s: %s"),
// EClassNotFound ("Classe %s non trouvée"), EComponentError (names),
// EParserError ("%s à la ligne %d"), EFOpenError / EFCreateError (files).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Classes.h"
#include "GraphicsBase.h"  // ReadFileBytes, WriteFileBytes

// The value tags of the object stream.
enum TValueType : uint8_t {
  vaNull = 0, vaList = 1, vaInt8 = 2, vaInt16 = 3, vaInt32 = 4, vaExtended = 5, vaString = 6, vaIdent = 7,
  vaFalse = 8, vaTrue = 9, vaBinary = 10, vaSet = 11, vaLString = 12, vaNil = 13, vaCollection = 14,
  vaSingle = 15, vaCurrency = 16, vaDate = 17, vaWString = 18, vaInt64 = 19, vaUTF8String = 20,
};
constexpr uint8_t kMaxValueType = vaUTF8String;

// Object record prefix flags.
enum TFilerFlag : uint8_t { ffInherited = 1, ffChildPos = 2, ffInline = 4 };

// Raised for a value tag above 20; the message is the tag number.
class EInvalidValueTag : public EReadError {
public:
  explicit EInvalidValueTag(int tag) : EReadError(std::to_string(tag)), FTag(tag) {}
  int Tag() const noexcept { return FTag; }

private:
  int FTag;
};

// Raised when the stream ends before what is being read is complete; the
// message is "Erreur de lecture du flux". The reader reports it bare, never
// inside the property wrapper: the stream is at fault, not a property.
class EStreamEnd : public EReadError {
public:
  EStreamEnd() : EReadError("Erreur de lecture du flux") {}
};

// Nesting of objects, lists and collections beyond this depth is refused as
// a malformed stream (hostile input must not exhaust the stack).
constexpr int kMaxNesting = 256;

// A bounds-checked cursor over an object stream. Reading past the end raises
// EStreamEnd ("Erreur de lecture du flux").
class TObjectStreamReader {
public:
  explicit TObjectStreamReader(std::span<const uint8_t> data) : FData(data) {}

  size_t Position() const noexcept { return FPos; }
  size_t Size() const noexcept { return FData.size(); }
  bool AtEnd() const noexcept { return FPos >= FData.size(); }

  void ReadSignature();                  // "TPF0" or "Format de flux incorrect"
  uint8_t ReadByte();
  void ReadBytes(void* out, size_t count);
  std::span<const uint8_t> ReadSpan(size_t count);
  uint32_t ReadUInt32();
  TValueType ReadValue();                // a tag; above 20 raises EInvalidValueTag
  TValueType NextValue();                // the same without consuming it
  bool EndOfList();                      // true when the next byte is 0 (not consumed)
  void ReadListEnd();                    // consumes the 0 that ends a list
  std::string ReadStr();                 // short string: length byte + bytes
  // The name an identifier value gives, for a tag already read: the
  // identifier itself, or "False", "True", "nil", "Null" for the tags that
  // stand for those; nothing for a tag of another kind.
  std::optional<std::string> ReadIdentText(TValueType tag);
  void ReadPrefix(uint8_t& flags, int64_t& childPos);
  // Payload readers for a tag already read.
  int64_t ReadIntegerPayload(TValueType tag);  // tags 2, 3, 4, 19
  long double ReadExtendedPayload();
  float ReadSinglePayload();
  int64_t ReadInt64Payload();
  double ReadDoublePayload();
  std::string ReadBytesString(TValueType tag);  // tags 6, 12, 20: raw bytes
  std::u16string ReadWideString();              // tag 18
  // Skips one whole value (tag and payload).
  void SkipValue(int depth = 0);

private:
  void Need(size_t count) const;
  std::span<const uint8_t> FData;
  size_t FPos = 0;
};

// Appends object-stream encodings to a byte buffer.
class TObjectStreamWriter {
public:
  std::vector<uint8_t>& Bytes() noexcept { return FBytes; }
  void WriteSignature();
  void WriteByte(uint8_t b) { FBytes.push_back(b); }
  void WriteBytes(const void* data, size_t count);
  void WriteUInt32(uint32_t v);
  void WriteValue(TValueType tag) { WriteByte(tag); }
  void WriteListEnd() { WriteByte(0); }
  void WriteStr(std::string_view s);      // short string; longer than 255 raises
  void WritePrefix(uint8_t flags, int64_t childPos);
  void WriteInteger(int64_t v);           // the smallest of tags 2, 3, 4, 19
  void WriteExtended(long double v);
  void WriteSingle(float v);
  void WriteCurrency(int64_t scaled);     // value x 10000
  void WriteDate(double v);
  void WriteString(std::string_view bytes);      // tag 6, or 12 above 255 bytes
  void WriteWideString(const std::u16string& s);  // tag 18
  void WriteIdent(std::string_view ident);       // tag 7, or True/False/nil/Null
  void WriteBinary(std::span<const uint8_t> data);

private:
  std::vector<uint8_t> FBytes;
};

// ---- text form ----------------------------------------------------------------
// A syntax error of the text form ("%s à la ligne %d"); Line() is the line,
// for callers that report it in their own words.
class ESkinTextSyntaxError : public EParserError {
public:
  ESkinTextSyntaxError(const std::string& message, int line) : EParserError(message), FLine(line) {}
  int Line() const noexcept { return FLine; }

private:
  int FLine;
};

// Text form to object stream (no resource header). Syntax errors raise
// EParserError("%s à la ligne %d"); CR LF, LF and a lone CR each end a line.
// The encoding is decided once for the whole text (DetectTextEncoding).
std::vector<uint8_t> ObjectTextToBinary(std::string_view text);
// The object stream of a text skin file (skin.cfg): ObjectTextToBinary of
// its contents. Raises what reading the file or the text raises.
std::vector<uint8_t> ReadTextSkinFile(const std::string& path);

// How a text form is read: a leading UTF-8 byte order mark is skipped
// (removed from `text`); a text that is then valid UTF-8 as a whole is UTF-8,
// any other is Windows-1252, byte for byte, the code page of the binary
// form's 8-bit strings, so that no byte of a legacy-code-page file is lost.
// A UTF-16 byte order mark raises EParserError naming the encoding.
enum class TTextEncoding { Utf8, Windows1252 };
TTextEncoding DetectTextEncoding(std::string_view& text);
// Strict UTF-8: no overlong forms, surrogates or code points past U+10FFFF.
bool IsValidUtf8(std::string_view text) noexcept;
// Object stream (no resource header) to text form: two blanks per level,
// CR LF line ends, numbers with "." whatever the process's locale. A float
// that is NaN or infinite has no text form: EReadError with the property
// wrapper around "Valeur de propriété incorrecte".
std::string ObjectBinaryToText(std::span<const uint8_t> stream);
// The class name of the root record of an object stream.
std::string RootClassName(std::span<const uint8_t> stream);

// ---- resource header ------------------------------------------------------------
// Header for a stream whose root class is `rootClass`: FF, 0A 00, the name in
// upper case, 00, 30 10, the stream size.
std::vector<uint8_t> ResourceHeader(std::string_view rootClass, uint32_t streamSize);
// Checks the first three bytes and returns the offset of the object stream;
// raises "Format de flux incorrect" (also for an empty file, or a shorter one
// whose bytes are not the start of the signature) or "Erreur de lecture du
// flux" (the header ends early).
size_t SkipResourceHeader(std::span<const uint8_t> file);

// A readable listing of the tags and values of a binary skin file (with or
// without its resource header).
std::string DumpObjectStream(std::span<const uint8_t> file);

// ---- reading into live objects ------------------------------------------------------
struct TReadOptions {
  // Finds the class of a child record; by default the class registry.
  std::function<const TClassInfo*(std::string_view)> FindClass;
  // True when a root name is already taken among the application's forms;
  // by default no name is taken.
  std::function<bool(std::string_view)> IsFormNameInUse;
};

// Reads an object stream (starting at "TPF0") into the existing root: the
// root takes the stored name (made unique with "%s_%d"), its properties are
// applied in stream order, children are created with the root as owner and
// the enclosing object as parent, and at the end every created object (root
// first) gets Loaded(). Objects created before an error stay.
void ReadRootComponent(std::span<const uint8_t> stream, TComponent& root, const TReadOptions& options = {});

// Reads a binary skin file: the resource header, then the object stream.
void ReadSkinFile(const std::string& path, TComponent& root, const TReadOptions& options = {});

// True when the text form beside a binary skin (skin.cfg beside skin.bin)
// was changed after the binary was written: an author edited the text and
// did not convert it, so what the binary shows is stale. False when either
// file is missing or unreadable.
bool SkinTextIsNewer(const std::string& binaryPath);

// ---- files and conversion --------------------------------------------------------------
// The name with its extension (the part from the last '.' after the last '/')
// replaced by `ext` (which includes its dot), or `ext` appended when it has none.
std::string ChangeFileExt(const std::string& name, const std::string& ext);

// Direction 0: FileName.cfg -> FileName.bin; 1: FileName.bin -> FileName.cfg;
// anything else: false. False when a file cannot be opened or created or the
// stream cannot be read or written; a syntax error in the text is raised.
bool ConvertFormOrText(const std::string& fileName, int direction);
