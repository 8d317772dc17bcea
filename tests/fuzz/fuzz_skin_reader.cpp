// Fuzzes the path the dashboard runs on a hostile skin.bin: the reader with
// every skin class registered, the skin window's creation handler (pictures,
// glyphs, sensor list, data channel), one frame pass with awkward sensor
// values, and a paint of the whole window. The dashboard reports every
// error it meets in a message box, so a message box or an Exception is an
// accepted outcome; crashes, hangs, leaks and sanitizer reports are not.
//
// It runs tens of inputs a second; fuzz_skin_objects covers the reading and
// the components' creation steps alone, thousands a second. The working
// folder holds the real skins' pictures (FuzzSkin.h).
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>

#include "DataChannel.h"
#include "FuzzSkin.h"
#include "GaugeClock.h"
#include "SkinImpl.h"
#include "SkinRegistration.h"
#include "SkinStream.h"
#include "backend/headless/HeadlessWindowSystem.h"

namespace {

// Sensor values that stress the widgets' arithmetic; each slot takes one,
// chosen by an input byte.
const float kAwkwardValues[] = {0.0f,
                                1.0f,
                                -1.0f,
                                0.5f,
                                100.0f,
                                -273.15f,
                                65535.0f,
                                2147483648.0f,
                                -2147483648.0f,
                                1e30f,
                                -1e30f,
                                std::numeric_limits<float>::denorm_min(),
                                std::numeric_limits<float>::max(),
                                std::numeric_limits<float>::infinity(),
                                -std::numeric_limits<float>::infinity(),
                                std::numeric_limits<float>::quiet_NaN()};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitialiseSkinFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::span<const uint8_t> input(data, size);
  TFuzzSkinWindow window;
  THeadlessWindowSystem& windowSystem = window.WindowSystem;
  TApplication& application = window.Application;
  TSkinForm* form = window.Form;
  try {
    ReadRootComponent(input.subspan(SkipResourceHeader(input)), *form);
  } catch (const Exception&) {
    return 0;
  }

  // Clocks show one fixed instant; their timers would only wait.
  TFixedClockSource fixedTime(45000.25);
  for (TComponent* c : form->ComponentList())
    if (auto* clock = dynamic_cast<TGaugeClock*>(c)) {
      clock->Timer().SetEnabled(false);
      clock->SetClockSource(&fixedTime);
    }

  try {
    const std::vector<std::string> layout = SkinSensorLayout(*form);
    TDataChannelHost host(static_cast<int32_t>(layout.size()));
    for (size_t i = 0; i < layout.size(); ++i)
      host.WriteSlot(static_cast<int32_t>(i + 1),
                     kAwkwardValues[input[(i * 7) % input.size()] % std::size(kAwkwardValues)]);
    form->AfterConstruction();
    if (windowSystem.MessageBoxes().empty()) {
      application.PostMessage(form, TMessage{form->DataReadyMessage, 0, 0, 0});
      application.ProcessMessages();
      form->PaintAll();
    }
  } catch (const Exception&) {
  }
  for (TComponent* c : form->ComponentList())
    if (auto* clock = dynamic_cast<TGaugeClock*>(c)) clock->SetClockSource(nullptr);
  ReleaseDataBlock();
  ReleaseSensorList();
  return 0;
}
