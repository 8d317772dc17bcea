// The working folder of the skin targets: the pictures of the demo and
// showcase skins copied into a scratch folder (Skin/demo, Skin/showcase)
// that becomes the working directory, so inputs derived from those skins
// reach the real picture decoders. Also gives the process a data channel
// of its own, so nothing running beside it is touched.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "DataChannel.h"

inline void PrepareFuzzSkinFolder() {
  namespace fs = std::filesystem;
  setenv(kChannelSuffixVariable, ("-fuzz-" + std::to_string(getpid())).c_str(), 1);
  const fs::path work = fs::temp_directory_path() / ("velq-fuzz-skin-" + std::to_string(getpid()));
  for (const char* skin : {"demo", "showcase"}) {
    const fs::path source = fs::path(VELQ_SKINS_DIR) / skin;
    const fs::path target = work / "Skin" / skin;
    fs::create_directories(target);
    for (const auto& entry : fs::directory_iterator(source)) {
      const std::string extension = entry.path().extension().string();
      if (extension == ".png" || extension == ".bmp")
        fs::copy_file(entry.path(), target / entry.path().filename(), fs::copy_options::overwrite_existing);
    }
  }
  fs::current_path(work);
}
