// A borderless form on the headless window system for widget tests: make it,
// put widgets on it, show it and read the pixels that reached its window.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "Forms.h"
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

  THeadlessWindowSystem System;
  std::unique_ptr<TApplication> App;
  TForm* Form = nullptr;
  THeadlessWindow* Window = nullptr;
};
