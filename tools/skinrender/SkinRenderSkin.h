// skinrender's skin mode: a skin rendered exactly as the dashboard shows it,
// without a display.
#pragma once

#include <string>
#include <utility>
#include <vector>

// Reads Skin/<skin>/skin.bin (in the current directory) into a skin window
// on the headless window system, completes it as the dashboard does (its
// creation handler loads the pictures, builds the sensor list and opens the
// data channel, here an in-process block of its own), runs one frame pass
// with `values` (sensor identifier, value; other sensors 0) and writes the
// window's client area to `out` as PNG, colour-key pixels kept as they are.
// Raises Exception with the first error the dashboard would have reported.
void RenderSkin(const std::string& skin, const std::string& out,
                const std::vector<std::pair<std::string, float>>& values);
