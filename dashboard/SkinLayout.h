// The slot layout of a skin, read at the object-stream layer: the sensors
// the skin's objects are bound to (their AnalogSensor and DigitalSensor
// values), in the order of the data channel's slots.
//
// This is what a host needs to size and fill the shared block, without the
// widgets, pictures or windows that reading the skin into live objects
// brings: libvelqhost uses it, and the dashboard's own layout
// (SkinSensorLayout of a loaded skin window) agrees with it by construction:
// both enter each object's bindings through SkinClassSensorBinding and the
// same TSensorList, whose order is the slot order.
//
// Only what the layout needs is checked: the stream's structure, and the
// sensor values of the classes that bind sensors. Unknown classes and every
// other property are passed over (the dashboard reports those itself).
//
// Thread rules: reentrant; touches no process-wide state.
// Errors: ESkinLayoutError with an English sentence that names the file
// (and, for a text skin, the line) and what is wrong with it; its Kind says
// whether the file could not be opened or its contents are at fault.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "SysUtils.h"

class ESkinLayoutError : public Exception {
public:
  enum TKind { lkFileMissing, lkBadSkin };
  ESkinLayoutError(TKind kind, const std::string& message) : Exception(message), FKind(kind) {}
  TKind Kind() const noexcept { return FKind; }

private:
  TKind FKind;
};

// The layout of an object stream (starting with its "TPF0" signature, no
// resource header). Raises the stream layer's exceptions (EReadError,
// EStreamEnd) for a malformed stream and ESkinLayoutError for a sensor
// value that names no sensor; ReadSkinSensorLayout turns all of them into
// ESkinLayoutError.
std::vector<std::string> StreamSensorLayout(std::span<const uint8_t> stream);

// The layout of a skin file: the text form when the name ends in ".cfg",
// else the binary form (resource header, then the object stream).
std::vector<std::string> ReadSkinSensorLayout(const std::string& path);
