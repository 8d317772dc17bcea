// The inline picture form skins store (a short string with the graphic's
// class name, then that graphic's data), built from a fuzz input, for the
// targets that feed TPicture.Data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

inline std::vector<uint8_t> FuzzPictureData(std::string_view className, const uint8_t* data, size_t size) {
  std::vector<uint8_t> pictureData;
  pictureData.reserve(1 + className.size() + size);
  pictureData.push_back(static_cast<uint8_t>(className.size()));
  pictureData.insert(pictureData.end(), className.begin(), className.end());
  pictureData.insert(pictureData.end(), data, data + size);
  return pictureData;
}
