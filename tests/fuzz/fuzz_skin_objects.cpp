// Fuzzes a hostile skin.bin turned into live objects: the reader with every
// skin class registered, then the creation steps the skin's components run
// in the window's creation handler (sensor registration, pictures and
// glyphs loaded from the skin folder, FuzzSkin.h). No data channel,
// no window and no paint: fuzz_skin_reader runs that whole path, at tens of
// inputs a second; this one runs thousands. An Exception (the reader's or
// a creation step's error) is an accepted outcome; crashes, hangs, leaks
// and sanitizer reports are not.
#include <cstddef>
#include <cstdint>
#include <span>

#include "FuzzSkin.h"
#include "SkinImpl.h"
#include "SkinRegistration.h"
#include "SkinSensors.h"
#include "SkinStream.h"
#include "backend/headless/HeadlessWindowSystem.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitialiseSkinFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::span<const uint8_t> input(data, size);
  TFuzzSkinWindow window;
  try {
    ReadRootComponent(input.subspan(SkipResourceHeader(input)), *window.Form);
    window.Form->CreateComponents();
  } catch (const Exception&) {
  }
  ReleaseSensorList();
  return 0;
}
