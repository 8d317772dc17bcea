// Counts opens of watched files through inotify: the kernel reports every
// open of a watched file, whoever makes it, so a test can show that code it
// calls opened nothing.
#pragma once

#include <sys/inotify.h>
#include <unistd.h>

#include <string>

namespace serialtest {

class OpenWatch {
 public:
  OpenWatch() : FFd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
  ~OpenWatch() { close(FFd); }
  OpenWatch(const OpenWatch&) = delete;
  OpenWatch& operator=(const OpenWatch&) = delete;

  bool Watch(const std::string& path) { return FFd >= 0 && inotify_add_watch(FFd, path.c_str(), IN_OPEN) >= 0; }
  // Opens reported since the last call.
  int Opens() {
    alignas(inotify_event) char buffer[4096];
    int opens = 0;
    ssize_t n;
    while ((n = read(FFd, buffer, sizeof buffer)) > 0) {
      for (char* p = buffer; p < buffer + n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(p);
        if (event->mask & IN_OPEN) ++opens;
        p += sizeof(inotify_event) + event->len;
      }
    }
    return opens;
  }

 private:
  int FFd;
};

}  // namespace serialtest
