// TTimer (a window-message timer: ticks run on the message loop) and TImage
// (the picture control).
// Thread rules: user-interface thread only.
// Errors: TImage's picture loading raises the picture's errors.
#pragma once

#include <memory>

#include "Application.h"
#include "Controls.h"
#include "Graphics.h"

class TTimer : public TComponent {
  VELQ_CLASS(TTimer)
public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;
  bool Enabled() const noexcept { return FEnabled; }
  void SetEnabled(bool value);
  int Interval() const noexcept { return FInterval; }
  void SetInterval(int value);
  TNotifyEvent OnTimer;
  void SetOnTimer(TNotifyEvent e);

private:
  // (Re)starts the application timer when enabled, with an interval and a
  // handler; stops it otherwise. Counting restarts from now.
  void UpdateTimer();
  bool FEnabled = true;
  int FInterval = 1000;
  TApplication::TTimerId FTimerId = 0;
};

class TImage : public TGraphicControl {
  VELQ_CLASS(TImage)
public:
  explicit TImage(TComponent* owner);
  ~TImage() override;
  TPicture* Picture() const noexcept { return FPicture.get(); }
  void SetPicture(TPicture* value) { FPicture->Assign(*value); }
  bool Stretch() const noexcept { return FStretch; }
  void SetStretch(bool value);
  bool Center() const noexcept { return FCenter; }
  void SetCenter(bool value);
  bool Proportional() const noexcept { return FProportional; }
  void SetProportional(bool value);
  bool Transparent() const noexcept { return FTransparent; }
  void SetTransparent(bool value);
  bool CanAutoSize(int& newWidth, int& newHeight) override;
  // Where the picture goes inside the control (stretch, proportion, centre).
  TRect DestRect() const;

protected:
  void Paint() override;

private:
  void PictureChanged();
  std::unique_ptr<TPicture> FPicture;
  bool FStretch = false;
  bool FCenter = false;
  bool FProportional = false;
  bool FTransparent = false;
};
