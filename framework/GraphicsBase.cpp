#include "GraphicsBase.h"

#include <cerrno>
#include <cstdio>
#include <memory>

const TClassInfo& TGraphic::StaticClass() {
  static const TClassInfo info = TClassBuilder<TGraphic>("TGraphic", &TPersistent::StaticClass()).Build();
  return info;
}

void TGraphic::SetTransparent(bool value) {
  if (value == FTransparent) return;
  FTransparent = value;
  Changed();
}

void TGraphic::Changed() {
  if (OnChange) OnChange(this);
}

void TGraphic::LoadFromFile(const std::string& path) { LoadFromBytes(ReadFileBytes(path)); }

void TGraphic::SaveToFile(const std::string& path) const { WriteFileBytes(path, SaveToBytes()); }

namespace {
struct FileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
}  // namespace

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  auto openError = [&] {
    return EFOpenError(Format("Impossible d'ouvrir le fichier \"%s\". %s", path.c_str(), SysErrorMessage(errno).c_str()));
  };
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) throw openError();
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  // A directory opens on Linux but cannot be read: report it like a failed open.
  if (std::ferror(file.get())) throw openError();
  return bytes;
}

void WriteFileBytes(const std::string& path, std::span<const uint8_t> bytes) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
    throw EFCreateError(Format("Impossible de créer le fichier \"%s\". %s", path.c_str(), SysErrorMessage(errno).c_str()));
}
