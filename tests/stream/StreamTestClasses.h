// Small classes registered for the reader tests: a root window with
// published methods, and a widget with one property of every kind.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Classes.h"
#include "Colors.h"


using TCloseEvent = std::function<void(TObject*, int&)>;

enum TSensor { ia0, ia1, ia2, ia3 };
enum TStyle { fsBold, fsItalic, fsUnderline };
using TStyles = TSet<TStyle>;

// Every setter call is appended here as "Object.Property=value".
std::vector<std::string>& SetterLog();

class TTestData : public TPersistent {
  VELQ_CLASS(TTestData)
public:
  std::vector<uint8_t> Data() const { return FData; }
  void SetData(std::span<const uint8_t> bytes);
  int Depth() const { return FDepth; }
  void SetDepth(int v);

private:
  std::vector<uint8_t> FData;
  int FDepth = 0;
};

class TTestForm : public TComponent {
  VELQ_CLASS(TTestForm)
public:
  using TComponent::TComponent;
  void FormCreate(TObject* sender);
  void FormClose(TObject* sender, int& action);
  int Width() const { return FWidth; }
  void SetWidth(int v);
  TNotifyEvent OnCreate() const { return FOnCreate; }
  void SetOnCreate(TNotifyEvent e) { FOnCreate = std::move(e); }
  void Loaded() override;

  int FCreated = 0;
  int FLoadedCalls = 0;
  TNotifyEvent FOnCreate;

private:
  int FWidth = 0;
};

class TTestGauge : public TComponent {
  VELQ_CLASS(TTestGauge)
public:
  using TComponent::TComponent;
  int Left() const { return FLeft; }
  void SetLeft(int v);
  int64_t Big() const { return FBig; }
  void SetBig(int64_t v) { FBig = v; }
  long double MaxValue() const { return FMaxValue; }
  void SetMaxValue(long double v);
  double Ratio() const { return FRatio; }
  void SetRatio(double v) { FRatio = v; }
  std::string Caption() const { return FCaption; }
  void SetCaption(const std::string& v) { FCaption = v; }
  TSensor Sensor() const { return FSensor; }
  void SetSensor(TSensor v) { FSensor = v; }
  TStyles Style() const { return FStyle; }
  void SetStyle(TStyles v) { FStyle = v; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool v) { FVisible = v; }
  TColor Color() const { return FColor; }
  void SetColor(TColor v) { FColor = v; }
  TTestData* Glyph() { return &FGlyph; }
  void SetOnClick(TNotifyEvent e) { FOnClick = std::move(e); }
  void SetOnClose(TCloseEvent e) { FOnClose = std::move(e); }
  int Version() const { return 13; }

  bool HasParent() const override { return true; }
  void SetParentComponent(TComponent* parent) override { FParent = parent; }
  void Loaded() override;

  TComponent* FParent = nullptr;
  TNotifyEvent FOnClick;
  TCloseEvent FOnClose;
  int FLoadedCalls = 0;

private:
  int FLeft = 0;
  int64_t FBig = 0;
  long double FMaxValue = 100;
  double FRatio = 0;
  std::string FCaption;
  TSensor FSensor = ia0;
  TStyles FStyle;
  bool FVisible = true;
  TColor FColor = clBlack;
  TTestData FGlyph;
};

// Registers TTestGauge (once) in the class registry.
void RegisterTestClasses();
