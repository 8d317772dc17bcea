// Exceptions, small string helpers and the numbers shown to the user, shared
// by the framework, the widgets and the dashboard.
//
// Every error of the dashboard side is an exception derived from `Exception`,
// carrying the system's message text (French where the original wording is
// French). Handlers that report errors show `Message()` unchanged.
//
// Numbers shown to the user (scale labels, label read-outs) are rounded on
// the exact decimal expansion of the stored binary value, halves away from
// zero, and written with the user's decimal separator, which is read through
// a locale object of its own: the process's numeric locale is never
// switched, so the skin reader and writer stay locale-independent.
//
// Thread rules: none (value types and free functions); UserDecimalSeparator
// is read once, thread-safely.
// Errors: Format and the conversions raise only std::bad_alloc.
#pragma once

#include <cstdint>
#include <optional>
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
// (GNU printf conversions everywhere: the Windows build uses MinGW's own
// conforming printf, so %zu and %Lg mean what they mean on Linux.)
#ifdef __MINGW32__
#define VELQ_PRINTF_FORMAT gnu_printf
#else
#define VELQ_PRINTF_FORMAT printf
#endif
std::string Format(const char* fmt, ...) __attribute__((format(VELQ_PRINTF_FORMAT, 1, 2)));

// ASCII case-insensitive comparison, as used for class, property and
// enumeration names (all of which are ASCII identifiers).
bool SameText(std::string_view a, std::string_view b) noexcept;
std::string UpperCase(std::string_view s);

// A valid identifier: a letter or underscore, then letters, digits, underscores.
bool IsValidIdent(std::string_view s) noexcept;

// The system's text for an error code (an errno value on POSIX, a Win32
// error code on Windows), without a trailing period.
std::string SysErrorMessage(int errorCode);

// The product's version ("major.minor.patch"), which every program's
// --version prints.
const char* ProductVersion() noexcept;

// Windows-1252 bytes (the encoding of short and long strings in skin files)
// to UTF-8 and back. Characters with no Windows-1252 code, and malformed
// UTF-8, become `unmapped` ('?' unless the caller needs to tell them apart).
std::string Cp1252ToUtf8(std::string_view bytes);
std::string Utf8ToCp1252(std::string_view utf8, char unmapped = '?');
// UTF-16LE code units to UTF-8 (lone surrogates become U+FFFD).
std::string Utf16ToUtf8(const std::u16string& s);

// ---- numbers shown to the user -----------------------------------------------------------

// The decimal separator of the locale `localeName` as newlocale() names it
// ("" names the user's environment: LC_ALL, then LC_NUMERIC, then LANG), or
// nothing when the system does not have that locale. Does not touch the
// process's locale.
std::optional<std::string> LocaleDecimalSeparator(const char* localeName);

// The user's decimal separator, read from the environment at the first
// call and kept for the life of the process; "." when the environment names
// no installed locale.
const std::string& UserDecimalSeparator();

// A non-negative finite magnitude rounded on its exact decimal expansion,
// halves away from zero (2.5 gives 3; 0.015, stored slightly below, gives
// 0.01 with two decimals): the digits down to 10^-decimals are kept, and at
// most maxSignificant of them when maxSignificant > 0. The result is
// Digits x 10^Scale; Digits has no leading zero and is empty when the
// result is zero. A result of up to 15 digits allocates nothing.
struct TDecimalRounding {
  std::string Digits;
  int32_t Scale = 0;
};
TDecimalRounding RoundDecimal(double magnitude, int32_t decimals, int32_t maxSignificant = 0);

// A rounding in fixed notation: the integer digits ("0" when there are
// none), then, when decimals > 0, `separator` and exactly `decimals`
// digits (zeros filled in); "-" first when `negative` and the rounding is
// not zero. No thousands grouping.
std::string FixedText(const TDecimalRounding& rounded, bool negative, int32_t decimals, std::string_view separator);

// "%.<decimals>f" with `separator` and RoundDecimal's rounding: a value that
// rounds to zero carries no "-"; not-a-number is "NAN", infinities "INF"
// and "-INF". Decimals below 0 count as 0.
std::string FormatFixed(double value, int32_t decimals, std::string_view separator);
