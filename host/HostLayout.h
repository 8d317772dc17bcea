// The slot layout of a skin, read for a host: the skin file is read into a
// skin window exactly as the dashboard reads it (on the headless window
// system, without showing anything or opening the channel), and the
// dashboard's own SkinSensorLayout lists its sensors in slot order.
//
// Thread rules: callable from any thread; reads are serialised inside (the
// class registry and the `Application` pointer are process-wide).
// Errors: whatever reading the skin raises (Exception with the reader's
// French texts, or the standard library's exceptions).
#pragma once

#include <string>
#include <vector>

// The file: text form when its name ends in ".cfg", binary otherwise.
std::vector<std::string> ReadSkinLayout(const std::string& path);

// workDir/Skin/<skin>/skin.bin, or skin.cfg beside it when there is no
// skin.bin: the path that ReadSkinLayout should read.
std::string SkinLayoutPath(const std::string& workDir, const std::string& skin);
