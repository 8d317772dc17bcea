#include "HostLayout.h"

#include <sys/stat.h>

#include <mutex>

#include "SkinImpl.h"
#include "SkinRegistration.h"
#include "SkinStream.h"
#include "backend/headless/HeadlessWindowSystem.h"

namespace {

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool FileExists(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace

std::string SkinLayoutPath(const std::string& workDir, const std::string& skin) {
  const std::string folder = (workDir.empty() ? std::string(".") : workDir) + "/Skin/" + skin + "/";
  // The binary form is what the dashboard reads; the text form serves a
  // skin that has not been converted yet.
  if (!FileExists(folder + "skin.bin") && FileExists(folder + "skin.cfg")) return folder + "skin.cfg";
  return folder + "skin.bin";
}

std::vector<std::string> ReadSkinLayout(const std::string& path) {
  static std::mutex readLock;
  std::lock_guard<std::mutex> lock(readLock);
  THeadlessWindowSystem windowSystem;
  windowSystem.SetEchoMessageBoxes(false);
  TApplication application(windowSystem);
  RegisterSkinClasses();
  // Owned by the application, which frees it at the end of this scope.
  auto* form = new TSkinForm(&application);
  if (EndsWith(path, ".cfg")) {
    const std::vector<uint8_t> file = ReadFileBytes(path);
    const std::vector<uint8_t> stream =
        ObjectTextToBinary(std::string_view(reinterpret_cast<const char*>(file.data()), file.size()));
    ReadRootComponent(stream, *form);
  } else {
    ReadSkinFile(path, *form);
  }
  return SkinSensorLayout(*form);
}
