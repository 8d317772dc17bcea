// skinrender's skin mode: a skin rendered exactly as the dashboard shows it,
// without a display.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What one render does besides reading the skin.
struct TRenderOptions {
  // Sensor identifier and value; other sensors read 0.
  std::vector<std::pair<std::string, float>> Values;
  // When set, the values of the live data channel come first: the block
  // named by MapFileName() as RenderSkin starts (VELQ_CHANNEL_SUFFIX
  // included) is opened read-only and slot p gives the sensor at position p
  // of the skin's layout, as if each had been in Values. Values given above
  // are applied after them and win. Slots the block lacks are named on
  // standard error and those sensors read 0. A block that cannot be opened
  // or mapped raises Exception naming it.
  bool FromBlock = false;
  // The PNG to write; empty writes none.
  std::string Out;
  // When set, each clock reads this local date-time (days since
  // 1899-12-30) instead of the machine's.
  std::optional<double> Time;
  // When set, one JSON object per skin component is written here after the
  // frame, in ownership order: "name", "class" and what the widget shows.
  std::ostream* State = nullptr;
};

// Reads Skin/<skin>/skin.bin (in the current directory) into a skin window
// on the headless window system, completes it as the dashboard does (its
// creation handler loads the pictures, builds the sensor list and opens the
// data channel, here an in-process block of its own), runs one frame pass
// with the given values and writes what the options ask for: the window's
// client area as PNG (colour-key pixels kept as they are) and the state of
// each component. Clocks are frozen at the instant of the render.
// Raises Exception with the first error the dashboard would have reported.
void RenderSkin(const std::string& skin, const TRenderOptions& options);

// Parses "YYYY-MM-DDTHH:MM:SS" into a date-time; nothing when malformed or
// out of range.
std::optional<double> ParseRenderTime(std::string_view text);

// A JSON string literal of `text` (UTF-8 kept, controls escaped).
std::string JsonString(std::string_view text);
