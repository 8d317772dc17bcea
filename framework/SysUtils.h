// Exceptions and small string helpers shared by the framework and the dashboard.
//
// Every error of the dashboard side is an exception derived from `Exception`,
// carrying the system's message text (French where the original wording is
// French). Handlers that report errors show `Message()` unchanged.
// Thread rules: none (value types and free functions).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

class Exception : public std::exception {
public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const std::string& Message() const noexcept { return FMessage; }
  void SetMessage(std::string message) { FMessage = std::move(message); }
  const char* what() const noexcept override { return FMessage.c_str(); }

private:
  std::string FMessage;
};

// The classic hierarchy, so that handlers can tell the kinds apart.
class EStreamError : public Exception { using Exception::Exception; };
class EFilerError : public EStreamError { using EStreamError::EStreamError; };
class EReadError : public EFilerError { using EFilerError::EFilerError; };
class EClassNotFound : public EFilerError { using EFilerError::EFilerError; };
class EFOpenError : public EStreamError { using EStreamError::EStreamError; };
class EFCreateError : public EStreamError { using EStreamError::EStreamError; };
class EParserError : public Exception { using Exception::Exception; };
class EComponentError : public Exception { using Exception::Exception; };
class EPropertyError : public Exception { using Exception::Exception; };
class EConvertError : public Exception { using Exception::Exception; };
class EInvalidGraphic : public Exception { using Exception::Exception; };
class EInvalidOperation : public Exception { using Exception::Exception; };

// printf-style formatting into a std::string (the messages use %s and %d).
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// ASCII case-insensitive comparison, as used for class, property and
// enumeration names (all of which are ASCII identifiers).
bool SameText(std::string_view a, std::string_view b) noexcept;
std::string UpperCase(std::string_view s);

// A valid identifier: a letter or underscore, then letters, digits, underscores.
bool IsValidIdent(std::string_view s) noexcept;

// The system's text for an errno value (strerror_r), without a trailing period.
std::string SysErrorMessage(int errorCode);

// Windows-1252 bytes (the encoding of short and long strings in skin files)
// to UTF-8 and back. Characters with no Windows-1252 code, and malformed
// UTF-8, become `unmapped` ('?' unless the caller needs to tell them apart).
std::string Cp1252ToUtf8(std::string_view bytes);
std::string Utf8ToCp1252(std::string_view utf8, char unmapped = '?');
// UTF-16LE code units to UTF-8 (lone surrogates become U+FFFD).
std::string Utf16ToUtf8(const std::u16string& s);
