#include "Picture.h"

#include "SysUtils.h"

namespace {
// The part after the last '.' of the file name (not of a directory name).
std::string Extension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot + 1);
}
}  // namespace

std::unique_ptr<TGraphic> NewGraphic(std::string_view className) {
  if (SameText(className, "TBitmap")) return std::make_unique<TBitmap>();
  if (SameText(className, "TIcon")) return std::make_unique<TIcon>();
  if (SameText(className, "TMetafile")) return std::make_unique<TMetafile>();
  if (SameText(className, "TPNGObject")) return std::make_unique<TPngImage>();
  return nullptr;
}

const TClassInfo& TPicture::StaticClass() {
  static const TClassInfo info = TClassBuilder<TPicture>("TPicture", &TPersistent::StaticClass())
                                     .Binary("Data", &TPicture::Data, &TPicture::SetData)
                                     .Build();
  return info;
}

TPicture::~TPicture() = default;

void TPicture::Changed() {
  if (OnChange) OnChange(this);
}

void TPicture::Install(std::unique_ptr<TGraphic> graphic) {
  FGraphic = std::move(graphic);
  if (FGraphic) FGraphic->OnChange = [this](TObject*) { Changed(); };
  Changed();
}

void TPicture::SetGraphic(const TGraphic* graphic) {
  if (graphic == FGraphic.get() && graphic) return;
  if (!graphic) return Install(nullptr);
  std::unique_ptr<TGraphic> copy = NewGraphic(graphic->ClassName());
  if (!copy) throw EInvalidGraphic(Format("Classe %s non trouvée", graphic->ClassName().c_str()));
  copy->Assign(*graphic);
  Install(std::move(copy));
}

TBitmap& TPicture::Bitmap() {
  if (auto* bitmap = dynamic_cast<TBitmap*>(FGraphic.get())) return *bitmap;
  Install(std::make_unique<TBitmap>());
  return static_cast<TBitmap&>(*FGraphic);
}

void TPicture::LoadFromFile(const std::string& path) {
  const std::string ext = Extension(path);
  std::unique_ptr<TGraphic> graphic;
  if (SameText(ext, "bmp")) graphic = std::make_unique<TBitmap>();
  else if (SameText(ext, "ico")) graphic = std::make_unique<TIcon>();
  else if (SameText(ext, "emf") || SameText(ext, "wmf")) graphic = std::make_unique<TMetafile>();
  else if (SameText(ext, "png")) graphic = std::make_unique<TPngImage>();
  else throw EInvalidGraphic(Format("Extension de fichier image inconnue (.%s)", ext.c_str()));
  graphic->LoadFromFile(path);
  Install(std::move(graphic));
}

void TPicture::SaveToFile(const std::string& path) const {
  if (FGraphic) FGraphic->SaveToFile(path);
}

void TPicture::Assign(const TPersistent& source) {
  if (&source == this) return;
  if (const auto* picture = dynamic_cast<const TPicture*>(&source)) return SetGraphic(picture->Graphic());
  if (const auto* graphic = dynamic_cast<const TGraphic*>(&source)) return SetGraphic(graphic);
  TPersistent::Assign(source);
}

std::vector<uint8_t> TPicture::Data() const {
  if (!FGraphic) return {};
  const std::string& name = FGraphic->ClassName();
  std::vector<uint8_t> out;
  out.push_back(uint8_t(name.size()));
  out.insert(out.end(), name.begin(), name.end());
  const std::vector<uint8_t> data = FGraphic->WriteData();
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

void TPicture::SetData(std::span<const uint8_t> data) {
  if (data.empty()) return Install(nullptr);
  const size_t length = data[0];
  if (length > data.size() - 1) return Install(nullptr);
  const std::string name(reinterpret_cast<const char*>(data.data() + 1), length);
  std::unique_ptr<TGraphic> graphic = NewGraphic(name);
  if (graphic) graphic->ReadData(data.subspan(1 + length));
  Install(std::move(graphic));
}
