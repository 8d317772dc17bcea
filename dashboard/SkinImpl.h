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

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DataChannel.h"
#include "FrameStats.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "SkinSensors.h"

// What a component shows, as key/value pairs, for tools (skinrender
// --print-state writes one JSON object per component). The writer encodes.
class TSkinStateWriter {
public:
  virtual ~TSkinStateWriter() = default;
  virtual void Integer(std::string_view key, int64_t value) = 0;
  virtual void Number(std::string_view key, double value) = 0;
  virtual void Text(std::string_view key, std::string_view value) = 0;
};

// What the skin window asks of the components it knows: the creation step
// (load the picture files the component names, register its sensors, in the
// component's own order) and the frame step (take the values of its sensors
// from the data channel). Classes without one keep the empty default.
class TSkinComponent {
public:
  virtual ~TSkinComponent() = default;
  virtual void CreationStep(TSensorList& sensors) { RegisterSensors(sensors); }
  // Registration alone, for tools that lay out the shared block.
  virtual void RegisterSensors(TSensorList& sensors) { (void)sensors; }
  virtual void FrameStep() {}
  // What the widget shows now (position, value, text, ...); nothing by default.
  virtual void WriteState(TSkinStateWriter& out) const { (void)out; }
};

// A sensor's value in the current frame (slot p of the shared block, p its
// position in the sensor list) with the sensor's record in the list, for
// the frame steps. Nothing when there is no list, the sensor has no slot
// (unregistered, ia0) or the slot lies beyond the block. Allocates nothing.
struct TSensorReading {
  float Value;
  TSensor& Record;
};
std::optional<TSensorReading> ReadSensor(std::string_view identifier) noexcept;
std::optional<TSensorReading> ReadSensor(TAnalogSensors sensor) noexcept;
// The sensor binding of the indicator classes (number, matrix, LED,
// label): an analog and a digital sensor, both named by the skin. Both take
// a slot when set; the one shown is the analog sensor unless it is ia0, else
// the digital one (nothing for in0). Writes assign when different, with no
// other effect: bindings are made once, by the creation handler.
class TSkinSensorPair {
public:
  TAnalogSensors AnalogSensor() const noexcept { return FAnalogSensor; }
  void SetAnalogSensor(TAnalogSensors value) noexcept { FAnalogSensor = value; }
  TDigitalSensors DigitalSensor() const noexcept { return FDigitalSensor; }
  void SetDigitalSensor(TDigitalSensors value) noexcept { FDigitalSensor = value; }

  // The identifier of the sensor shown ("ia2", "in5"), or null when bound
  // to nothing. Lasting: looking it up allocates nothing.
  const std::string* ShownSensor() const noexcept;

protected:
  // Enters the pair as the class's binding says (SkinClassSensorBinding):
  // AnalogSensor unless ia0, then DigitalSensor unless in0.
  void RegisterSensorPair(TSensorList& sensors, std::string_view className,
                          TLabelType labelType = TLabelType::_text) const;
  // This frame's reading of the sensor shown (nothing when it has no slot).
  std::optional<TSensorReading> ReadShownSensor() const noexcept;

private:
  TAnalogSensors FAnalogSensor = ia0;
  TDigitalSensors FDigitalSensor = in0;
};

// What an integer widget receives from a sensor value: the value truncated
// toward zero as a 64-bit integer, of which the low 32 bits are taken.
// Values beyond the 64-bit range saturate and NaN gives 0, so no value is
// undefined behaviour.
int32_t SensorInteger(float value) noexcept;

// The window that a skin file describes.
class TSkinForm : public TForm {
  VELQ_CLASS(TSkinForm)
public:
  explicit TSkinForm(TComponent* owner);
  ~TSkinForm() override;

  // The identifier of the data-ready message, registered by FormCreate.
  uint32_t DataReadyMessage = 0;
  // The notification's listener; started with the registration. A
  // repeated creation keeps a listener that holds the name, so there is
  // never more than one, and never none while one could bind.
  std::unique_ptr<TDataReadyListener> DataReadyListener;

  void FormCreate(TObject* sender);
  // The part of the creation handler that the skin's components drive: a
  // fresh sensor list, each component's creation step in ownership order
  // (sensors, pictures, glyphs; the first failure raises), then the list
  // sorted. No channel, no data block.
  void CreateComponents();
  void FormClose(TObject* sender, TCloseAction& action);
  void SkinExitButtonClick(TObject* sender);

  // Runs the frame pass for data-ready messages (after the inherited handling).
  void DefaultHandler(TMessage& message) override;
  // Times the present when statistics are on.
  bool PaintAndPresent() override;

  // The frame statistics, when VELQ_STATS named a file at the creation
  // handler; written to it when the window is destroyed.
  const TFrameStats* FrameStats() const noexcept { return FStats.get(); }

private:
  std::unique_ptr<TFrameStats> FStats;
  std::string FStatsPath;
};

// The skin's background picture: a TImage that loads "Skin/" + BackgroundFile.
class TSkinBackground : public TImage, public TSkinComponent {
  VELQ_CLASS(TSkinBackground)
public:
  explicit TSkinBackground(TComponent* owner);
  const std::string& BackgroundFile() const noexcept { return FBackgroundFile; }
  void SetBackgroundFile(const std::string& value) { FBackgroundFile = value; }
  // The creation step: loads the picture file named by BackgroundFile.
  void CreationStep(TSensorList& sensors) override;

private:
  std::string FBackgroundFile;
};

// The sensors of a skin read into `form`, in slot order, found as the
// creation handler finds them (each component's registration, then the
// sort) but without loading pictures or opening the channel. Tools that lay
// out the shared block use it.
std::vector<std::string> SkinSensorLayout(const TSkinForm& form);

// Picture files named by skins live under this directory.
std::string SkinFilePath(const std::string& value);
