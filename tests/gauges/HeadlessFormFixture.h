// A borderless form on the headless window system for widget tests: make it,
// put widgets on it, show it and read the pixels that reached its window.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "Forms.h"
#include "GaugeControls.h"
#include "Png.h"
#include "backend/headless/HeadlessWindowSystem.h"

class HeadlessFormTest : public ::testing::Test {
protected:
  // A hidden, borderless form of this client size and colour.
  void MakeForm(int width, int height, TColor color) {
    System.SetEchoMessageBoxes(false);
    App = std::make_unique<TApplication>(System);
    Form = new TForm(App.get());
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(0, 0, width, height);
    Form->SetColor(color);
  }
  void TearDown() override { App.reset(); }
  // Shows the form and handles what is pending.
  void Show() {
    Form->Show();
    App->ProcessMessages();
    Window = System.Windows().back();
  }
  // A pixel of the window after the pending messages have been handled.
  TColor Pixel(int x, int y) {
    App->ProcessMessages();
    return Window->ScreenPixel(x, y);
  }

  // Shows the form with `widget` on it and compares the widget's last frame
  // with tests/gauges/reference/<name>; with VELQ_UPDATE_REFERENCE set it
  // writes the file instead (and the test is reported skipped).
  void CheckReference(TGaugeGraphicImageControl& widget, const std::string& name) {
    widget.SetParent(Form);
    Form->Show();
    App->ProcessMessages();
    const TBitmap& frame = widget.ImageBitmap();
    const std::filesystem::path file = std::filesystem::path(VELQ_TEST_SOURCE_DIR) / "reference" / name;
    if (const char* update = std::getenv("VELQ_UPDATE_REFERENCE"); update && *update) {
      TPngImage png;
      png.Assign(frame);
      png.SaveToFile(file.string());
      GTEST_SKIP() << "wrote " << file;
    }
    TPngImage expected;
    expected.LoadFromFile(file.string());
    ASSERT_EQ(expected.Width(), frame.Width());
    ASSERT_EQ(expected.Height(), frame.Height());
    int differences = 0;
    for (int y = 0; y < frame.Height(); ++y)
      for (int x = 0; x < frame.Width(); ++x)
        if (PixelToColor(expected.StraightPixel(x, y)) != frame.Pixels(x, y) && ++differences <= 5)
          ADD_FAILURE() << name << " differs at (" << x << ", " << y << ")";
    EXPECT_EQ(differences, 0) << name;
  }

  THeadlessWindowSystem System;
  std::unique_ptr<TApplication> App;
  TForm* Form = nullptr;
  THeadlessWindow* Window = nullptr;
};
