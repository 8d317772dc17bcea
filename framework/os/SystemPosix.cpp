// POSIX side of SystemOs.h and of SysUtils' system texts.
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include "Messages.h"
#include "SysUtils.h"
#include "SystemOs.h"

std::FILE* OpenFileUtf8(const std::string& path, const char* mode) noexcept { return std::fopen(path.c_str(), mode); }

int LastFileError() noexcept { return errno; }

void LocalTime(std::time_t seconds, std::tm& local) noexcept { localtime_r(&seconds, &local); }

std::string SysErrorMessage(int errorCode) {
  char buf[256];
  buf[0] = 0;
  // GNU strerror_r may return a static string instead of filling buf.
  const char* text = strerror_r(errorCode, buf, sizeof buf);
  return text ? std::string(text) : std::string();
}

std::optional<std::string> LocaleDecimalSeparator(const char* localeName) {
  // A locale object of our own: newlocale resolves "" from LC_ALL,
  // LC_NUMERIC and LANG, and nothing here touches the process's locale.
  const locale_t locale = newlocale(LC_NUMERIC_MASK, localeName, static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return std::nullopt;
  const char* radix = nl_langinfo_l(RADIXCHAR, locale);
  std::string separator = radix && *radix ? radix : ".";
  freelocale(locale);
  return separator;
}

// No system registry of message names here: the process keeps its own, as
// the notification's receiver and sender never share message numbers.
uint32_t RegisterWindowMessage(std::string_view name) {
  static std::mutex lock;
  static std::map<std::string, uint32_t, std::less<>> ids;
  std::lock_guard guard(lock);
  auto it = ids.find(name);
  if (it != ids.end()) return it->second;
  const uint32_t id = kFirstRegisteredMessage + static_cast<uint32_t>(ids.size());
  ids.emplace(std::string(name), id);
  return id;
}
