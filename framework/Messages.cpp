#include "Messages.h"

#include <map>
#include <mutex>
#include <string>

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
