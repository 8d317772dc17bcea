// The skin window and the skin classes: TSkinForm (creation, close and exit
// handlers, the frame pass on every data-ready message) and TSkinBackground.
// The sensor-bound classes join this unit as their widgets arrive.
//
// Thread rules: user-interface thread only; the data channel's watcher
// thread reaches the window only through Application->PostMessage.
// Errors: the creation handler stops at its first failure (a picture that
// cannot be loaded, the data channel) and the error is reported by the
// application; a frame pass stops at the component that fails.
#pragma once

#include <string>

#include "ExtCtrls.h"
#include "Forms.h"

// The window that a skin file describes.
class TSkinForm : public TForm {
  VELQ_CLASS(TSkinForm)
public:
  explicit TSkinForm(TComponent* owner);
  ~TSkinForm() override;

  // The identifier of the data-ready message, registered by FormCreate.
  uint32_t DataReadyMessage = 0;

  void FormCreate(TObject* sender);
  void FormClose(TObject* sender, TCloseAction& action);
  void SkinExitButtonClick(TObject* sender);

  // Runs the frame pass for data-ready messages (after the inherited handling).
  void DefaultHandler(TMessage& message) override;
};

// The skin's background picture: a TImage that loads "Skin/" + BackgroundFile.
class TSkinBackground : public TImage {
  VELQ_CLASS(TSkinBackground)
public:
  explicit TSkinBackground(TComponent* owner);
  const std::string& BackgroundFile() const noexcept { return FBackgroundFile; }
  void SetBackgroundFile(const std::string& value) { FBackgroundFile = value; }
  // The creation step: loads the picture file named by BackgroundFile.
  void LoadSkinPicture();

private:
  std::string FBackgroundFile;
};

// Picture files named by skins live under this directory.
std::string SkinFilePath(const std::string& value);
