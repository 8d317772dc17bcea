// What the skin targets share. Their start: a working folder holding the
// pictures of the demo and showcase skins (Skin/demo, Skin/showcase), so
// inputs derived from those skins reach the real picture decoders; a data
// channel of the process's own, so nothing running beside it is touched;
// every skin class registered. Each input then starts from an empty skin
// window of a headless application that keeps its message boxes.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "DataChannel.h"
#include "SkinImpl.h"
#include "SkinRegistration.h"
#include "backend/headless/HeadlessWindowSystem.h"

inline void InitialiseSkinFuzzing() {
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
  RegisterSkinClasses();
}

struct TFuzzSkinWindow {
  THeadlessWindowSystem WindowSystem;
  TApplication Application{WindowSystem};
  TSkinForm* Form = nullptr;  // owned by Application
  TFuzzSkinWindow() {
    WindowSystem.SetEchoMessageBoxes(false);
    Application.SetTitle("SkinVELQ");
    Form = new TSkinForm(&Application);
  }
};
