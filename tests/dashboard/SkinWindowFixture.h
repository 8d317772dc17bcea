// A skin window on the headless backend, in a directory of its own that
// holds Skin/, with a data channel of its own (so test runs never share
// one): read a skin body from text, complete the window, handle frames.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "DataChannel.h"
#include "SkinImpl.h"
#include "SkinRegistration.h"
#include "SkinStream.h"
#include "backend/headless/HeadlessWindowSystem.h"

class SkinWindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    static int count = 0;
    const std::string unique = std::to_string(getpid()) + "-" + std::to_string(++count);
    Dir = std::filesystem::temp_directory_path() / ("skinwindow-" + unique);
    std::filesystem::create_directories(Dir / "Skin");
    Previous = std::filesystem::current_path();
    std::filesystem::current_path(Dir);
    setenv(kChannelSuffixVariable, ("-skinwindow-" + unique).c_str(), 1);
    System.SetEchoMessageBoxes(false);
    App = std::make_unique<TApplication>(System);
    App->SetTitle("SkinVELQ");
    RegisterSkinClasses();
    Form = new TSkinForm(App.get());
  }

  void TearDown() override {
    App.reset();
    ReleaseDataBlock();
    ReleaseSensorList();
    std::filesystem::current_path(Previous);
    std::filesystem::remove_all(Dir);
    unsetenv(kChannelSuffixVariable);
  }

  // Reads a skin whose root enables the creation and close handlers, with
  // `body` as its children, and completes the window (its creation handler).
  void Load(const std::string& body) {
    const std::string text = "object Dash: TSkinForm\n OldCreateOrder = False\n OnCreate = FormCreate\n"
                             " OnClose = FormClose\n" + body + "end\n";
    ReadRootComponent(ObjectTextToBinary(text), *Form);
    Form->AfterConstruction();
  }

  // `times` data-ready messages, handled.
  void Frame(int times = 1) {
    for (int i = 0; i < times; ++i) App->PostMessage(Form, {Form->DataReadyMessage, 0, 0, 0});
    App->ProcessMessages();
  }

  // The texts of the error boxes shown so far.
  std::vector<std::string> Boxes() const {
    std::vector<std::string> out;
    for (const auto& b : System.MessageBoxes()) out.push_back(b.Text);
    return out;
  }

  template <class T>
  T* Find(const char* name) const {
    return dynamic_cast<T*>(Form->FindComponent(name));
  }

  std::filesystem::path Dir, Previous;
  THeadlessWindowSystem System;
  std::unique_ptr<TApplication> App;
  TSkinForm* Form = nullptr;
};
