#include "SkinImpl.h"

#include <cstdio>
#include <cstdlib>

#include "Messages.h"

std::string SkinFilePath(const std::string& value) { return "Skin/" + value; }

// ---- TSkinForm ------------------------------------------------------------------------------

const TClassInfo& TSkinForm::StaticClass() {
  static const TClassInfo info = TClassBuilder<TSkinForm>("TSkinForm", &TForm::StaticClass())
                                     .Method("FormCreate", &TSkinForm::FormCreate)
                                     .Method("FormClose", &TSkinForm::FormClose)
                                     .Method("SkinExitButtonClick", &TSkinForm::SkinExitButtonClick)
                                     .Creatable()
                                     .Build();
  return info;
}

TSkinForm::TSkinForm(TComponent* owner) : TForm(owner) {}

TSkinForm::~TSkinForm() {
  // The watcher thread ends before the window it posts to.
  DataReadyListener.reset();
  if (FStats) {
    // However the dashboard ends (its exit button, its window closed, the
    // host's termination signal), the window is destroyed on the way out.
    try {
      FStats->WriteJsonFile(FStatsPath);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "SkinVELQ: %s\n", e.what());
    }
  }
}

void TSkinForm::FormCreate(TObject*) {
  // 1. The data-ready message: its identifier, and the listener whose
  // watcher thread turns each notification into a posted message. A skin
  // may run this handler again (OnShow = FormCreate): a listener that holds
  // the name already is kept, since a new one could not bind while it does
  // and replacing it would leave none. An idle one (the name was taken by
  // another dashboard) is replaced, which tries the name again.
  DataReadyMessage = RegisterWindowMessage(DataReadyMessageName());
  if (!DataReadyListener || !DataReadyListener->Listening()) {
    DataReadyListener.reset();
    const uint32_t message = DataReadyMessage;
    // The host's send time rides in the message, for the statistics.
    DataReadyListener = std::make_unique<TDataReadyListener>([this, message](uint64_t sendNs) {
      if (Application) Application->PostMessage(this, TMessage{message, static_cast<uintptr_t>(sendNs), 0, 0});
    });
  }
  if (!FStats) {
    const char* statsPath = std::getenv(kStatsVariable);
    if (statsPath && *statsPath) {
      FStats = std::make_unique<TFrameStats>();
      FStatsPath = statsPath;
    }
  }
  // 2.
  SetDoubleBuffered(true);
  // 3. to 5.
  CreateComponents();
  // 6.
  OpenDataBlock();
}

void TSkinForm::CreateComponents() {
  TSensorList& sensors = CreateSensorList();
  // Components in ownership order; the first failure ends the handler.
  for (TComponent* c : ComponentList())
    if (auto* component = dynamic_cast<TSkinComponent*>(c)) component->CreationStep(sensors);
  sensors.Sort();
}

void TSkinForm::FormClose(TObject*, TCloseAction& action) {
  ReleaseSensorList();
  ReleaseDataBlock();
  action = caHide;
  Application->Terminate();
}

void TSkinForm::SkinExitButtonClick(TObject*) {
  ReleaseDataBlock();
  Application->Terminate();
}

void TSkinForm::DefaultHandler(TMessage& message) {
  TForm::DefaultHandler(message);
  if (message.Msg != DataReadyMessage || DataReadyMessage == 0) return;
  // Without a mapping (never opened, or released) the block is not touched.
  if (!DataBlockMapped() || !SensorList()) return;
  // The host may have shrunk the block since the last pass: the slots it
  // lost are absent in this one.
  RefreshDataBlock();
  const uint64_t start = FStats ? MonotonicNanoseconds() : 0;
  for (TComponent* c : ComponentList())
    if (auto* component = dynamic_cast<TSkinComponent*>(c)) component->FrameStep();
  if (FStats) {
    FStats->NotificationReceived(static_cast<uint64_t>(message.WParam));
    FStats->PassTimed(MonotonicNanoseconds() - start);
  }
}

bool TSkinForm::PaintAndPresent() {
  if (!FStats) return TForm::PaintAndPresent();
  const uint64_t start = MonotonicNanoseconds();
  const bool presented = TForm::PaintAndPresent();
  if (presented) FStats->Presented(start, MonotonicNanoseconds());
  return presented;
}

std::optional<TSensorReading> ReadSensor(std::string_view identifier) noexcept {
  TSensorList* sensors = SensorList();
  if (!sensors) return std::nullopt;
  // An unregistered sensor's position is 0, which has no slot either.
  const int32_t position = sensors->FindSensorPosition(identifier);
  const std::optional<float> value = ReadDataSlot(position);
  if (!value) return std::nullopt;
  return TSensorReading{*value, sensors->SensorAtPosition(position)};
}

std::optional<TSensorReading> ReadSensor(TAnalogSensors sensor) noexcept {
  // The identifier is a lasting string: looking it up allocates nothing.
  if (sensor == ia0) return std::nullopt;
  return ReadSensor(SensorIdentifier(sensor));
}

const std::string* TSkinSensorPair::ShownSensor() const noexcept {
  if (FAnalogSensor != ia0) return &SensorIdentifier(FAnalogSensor);
  if (FDigitalSensor != in0) return &SensorIdentifier(FDigitalSensor);
  return nullptr;
}

void TSkinSensorPair::RegisterSensorPair(TSensorList& sensors, std::string_view className,
                                         TLabelType labelType) const {
  // One table decides for the dashboard and for the stream-level layout
  // reader the host library uses, so the two cannot disagree.
  RegisterBoundSensors(sensors, SkinClassSensorBinding(className), FAnalogSensor, FDigitalSensor, labelType);
}

std::optional<TSensorReading> TSkinSensorPair::ReadShownSensor() const noexcept {
  const std::string* sensor = ShownSensor();
  if (!sensor) return std::nullopt;
  return ReadSensor(*sensor);
}

std::vector<std::string> SkinSensorLayout(const TSkinForm& form) {
  TSensorList sensors;
  for (TComponent* c : form.ComponentList())
    if (auto* component = dynamic_cast<TSkinComponent*>(c)) component->RegisterSensors(sensors);
  sensors.Sort();
  std::vector<std::string> layout;
  for (int32_t p = 1; p <= sensors.Count(); ++p) layout.push_back(sensors.SensorAtPosition(p).SensorName());
  return layout;
}

int32_t SensorInteger(float value) noexcept {
  int64_t whole = 0;
  if (value >= 9.2233720368547758e18f) whole = INT64_MAX;
  else if (value <= -9.2233720368547758e18f) whole = INT64_MIN;
  else if (value == value) whole = static_cast<int64_t>(value);  // NaN stays 0
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(whole)));
}

// ---- TSkinBackground ----------------------------------------------------------------------

const TClassInfo& TSkinBackground::StaticClass() {
  static const TClassInfo info = TClassBuilder<TSkinBackground>("TSkinBackground", &TImage::StaticClass())
                                     .String("BackgroundFile", &TSkinBackground::BackgroundFile,
                                             &TSkinBackground::SetBackgroundFile)
                                     .Creatable()
                                     .Build();
  return info;
}

TSkinBackground::TSkinBackground(TComponent* owner) : TImage(owner) {}

void TSkinBackground::CreationStep(TSensorList&) { Picture()->LoadFromFile(SkinFilePath(FBackgroundFile)); }
