// Where a host finds a skin's layout: workDir/Skin/<skin>/skin.bin, or
// skin.cfg beside it when there is no skin.bin (a skin not converted yet).
//
// Thread rules: reentrant.
// Errors: EHostNotFound names the first thing missing (the work folder, its
// Skin/<skin> folder, or both skin files) in English.
#pragma once

#include <string>

#include "SysUtils.h"

class EHostNotFound : public Exception { using Exception::Exception; };

// The path that ReadSkinSensorLayout (SkinLayout.h) should read; workDir
// empty: the current directory.
std::string SkinLayoutPath(const std::string& workDir, const std::string& skin);

// Raises EHostNotFound unless workDir (empty: the current directory) is a
// folder that holds Skin/<skin>/: what the dashboard needs to start.
void CheckSkinFolder(const std::string& workDir, const std::string& skin);
