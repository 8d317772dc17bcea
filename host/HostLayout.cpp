#include "HostLayout.h"

#include <sys/stat.h>

namespace {

bool IsKind(const std::string& path, unsigned kind) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && (status.st_mode & S_IFMT) == kind;
}

}  // namespace

void CheckSkinFolder(const std::string& workDir, const std::string& skin) {
  const std::string base = workDir.empty() ? std::string(".") : workDir;
  // Said plainly: the dashboard would start and fail with a bare message,
  // or the system would name the program instead of the folder.
  if (!IsKind(base, S_IFDIR)) throw EHostNotFound("The work folder " + base + " does not exist");
  const std::string folder = base + "/Skin/" + skin;
  if (!IsKind(folder, S_IFDIR))
    throw EHostNotFound("The work folder " + base + " has no skin folder Skin/" + skin);
}

std::string SkinLayoutPath(const std::string& workDir, const std::string& skin) {
  CheckSkinFolder(workDir, skin);
  const std::string folder = (workDir.empty() ? std::string(".") : workDir) + "/Skin/" + skin + "/";
  // The binary form is what the dashboard reads; the text form serves a
  // skin that has not been converted yet.
  if (IsKind(folder + "skin.bin", S_IFREG)) return folder + "skin.bin";
  if (IsKind(folder + "skin.cfg", S_IFREG)) return folder + "skin.cfg";
  throw EHostNotFound("The skin folder " + folder + " has neither skin.bin nor skin.cfg");
}
