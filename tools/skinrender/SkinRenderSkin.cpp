#include "SkinRenderSkin.h"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "DataChannel.h"
#include "GaugeClock.h"
#include "GaugeTimer.h"
#include "SkinImpl.h"
#include "SkinRegistration.h"
#include "Png.h"
#include "SkinStream.h"
#include "backend/headless/HeadlessWindowSystem.h"

namespace {

// Writes one component's keys as the members of a JSON object.
class TJsonStateWriter final : public TSkinStateWriter {
public:
  explicit TJsonStateWriter(std::string& line) : FLine(line) {}
  void Integer(std::string_view key, int64_t value) override { Member(key, std::to_string(value)); }
  void Number(std::string_view key, double value) override {
    // Shortest round-trip form, independent of the locale; JSON has no
    // NaN or infinities, so those become null.
    if (!std::isfinite(value)) return Member(key, "null");
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    Member(key, std::string(buffer, result.ptr));
  }
  void Text(std::string_view key, std::string_view value) override { Member(key, JsonString(value)); }

private:
  void Member(std::string_view key, const std::string& json) {
    FLine += ", ";
    FLine += JsonString(key);
    FLine += ": ";
    FLine += json;
  }
  std::string& FLine;
};

void WriteComponentStates(const TSkinForm& form, std::ostream& out) {
  for (TComponent* c : form.ComponentList()) {
    const auto* component = dynamic_cast<const TSkinComponent*>(c);
    if (!component) continue;
    std::string line = "{\"name\": " + JsonString(c->Name()) + ", \"class\": " + JsonString(c->ClassName());
    TJsonStateWriter writer(line);
    component->WriteState(writer);
    line += "}\n";
    out << line;
  }
  out.flush();
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string json = "\"";
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      json += '\\';
      json += ch;
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      json += escape;
    } else {
      json += ch;
    }
  }
  json += '"';
  return json;
}

std::optional<double> ParseRenderTime(std::string_view text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  char tail = 0;
  const std::string copy(text);
  if (copy.size() != 19 || std::sscanf(copy.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &year, &month, &day, &hour,
                                       &minute, &second, &tail) != 6)
    return std::nullopt;
  static constexpr int kDaysInMonth[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || day > kDaysInMonth[month - 1] || hour > 23 || minute > 59 ||
      second > 59)
    return std::nullopt;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month == 2 && day == 29 && !leap) return std::nullopt;
  return EncodeDateTime(year, month, day, hour, minute, second);
}

namespace {
// Every widget timer in the tree under `root`, whoever owns it: a timer
// that ticks between loading and painting makes two renders of one skin
// differ. A tick already on its way finds its timer disabled and does
// nothing.
void StopWidgetTimers(TComponent& root) {
  for (TComponent* c : root.ComponentList()) {
    if (auto* timer = dynamic_cast<TGaugeTimer*>(c)) timer->SetEnabled(false);
    StopWidgetTimers(*c);
  }
}

// The live channel's values as sensor/value pairs, slot p for layout[p-1],
// read once (one instant, like the frame a dashboard would paint). A short
// block, as a host laid out for another skin makes, leaves the sensors past
// its end out: they read 0 like any sensor not given, and are named so that
// a render with zeros in it is not mistaken for the host's values.
std::vector<std::pair<std::string, float>> ReadBlockValues(const std::string& name,
                                                           const std::vector<std::string>& layout) {
#ifdef _WIN32
  const std::string& shown = name;
#else
  const std::string shown = "/" + name;  // the shared-memory object, as the system lists it
#endif
  TDataBlockView view;
  try {
    view.Open(name);
  } catch (const EDataChannelError& e) {
    // The view's two exact messages (DataChannel.h) say nothing of which
    // block; the user needs its name to find the host that should own it.
    if (std::string_view(e.what()) == "Error")
      throw Exception("cannot open the data block " + shown + ": no host has created it (check " +
                      kChannelSuffixVariable + ")");
    throw Exception("cannot map the data block " + shown + " (is it empty?)");
  }
  std::vector<std::pair<std::string, float>> values;
  std::string missing;
  for (size_t i = 0; i < layout.size(); ++i) {
    if (const std::optional<float> value = view.ReadSlot(static_cast<int32_t>(i + 1)))
      values.emplace_back(layout[i], *value);
    else
      missing += " " + layout[i];
  }
  if (!missing.empty())
    std::fprintf(stderr, "skinrender: the data block %s has %d of the skin's %zu slots; no value for%s (read as 0)\n",
                 shown.c_str(), static_cast<int>(view.SlotCount()), layout.size(), missing.c_str());
  return values;
}
}  // namespace

void RenderSkin(const std::string& skin, const TRenderOptions& options) {
  // The live channel is the one this process was started on: its name is
  // taken before the render moves to a channel of its own.
  const std::string liveBlock = MapFileName();
  // A channel of this process's own, so a dashboard running beside it is
  // never touched. Set before any channel object exists.
  const std::string suffix = "-skinrender-" + std::to_string(getpid());
#ifdef _WIN32
  _putenv_s(kChannelSuffixVariable, suffix.c_str());
#else
  setenv(kChannelSuffixVariable, suffix.c_str(), 1);
#endif

  THeadlessWindowSystem windowSystem;
  windowSystem.SetEchoMessageBoxes(false);
  TApplication application(windowSystem);
  application.SetTitle("SkinVELQ");
  RegisterSkinClasses();
  auto* form = new TSkinForm(&application);
  // An author's edited text form is rendered as it is now, not the stale
  // binary (or a missing one) made from it earlier.
  const std::string binaryPath = "Skin/" + skin + "/skin.bin";
  const std::string textPath = ChangeFileExt(binaryPath, ".cfg");
  std::error_code error;
  const bool binaryMissing = !std::filesystem::exists(binaryPath, error);
  if (SkinTextIsNewer(binaryPath) || (binaryMissing && std::filesystem::exists(textPath, error))) {
    std::fprintf(stderr, "skinrender: reading %s (%s)\n", textPath.c_str(),
                 binaryMissing ? "there is no skin.bin" : "newer than skin.bin");
    ReadRootComponent(ReadTextSkinFile(textPath), *form);
  } else {
    ReadSkinFile(binaryPath, *form);
  }

  // A render is one instant: no widget timer ticks (a scrolling matrix
  // stays at its first position however long the render takes), and with a
  // given time the clocks read it (a real-time clock as its loading did).
  StopWidgetTimers(*form);
  TFixedClockSource fixedTime(options.Time.value_or(0));
  if (options.Time)
    for (TComponent* c : form->ComponentList())
      if (auto* clock = dynamic_cast<TGaugeClock*>(c)) {
        clock->SetClockSource(&fixedTime);
        if (clock->ClockType() == ctRealTime) clock->RereadTime();
      }

  const std::vector<std::string> layout = SkinSensorLayout(*form);
  std::vector<std::pair<std::string, float>> values;
  if (options.FromBlock) values = ReadBlockValues(liveBlock, layout);
  values.insert(values.end(), options.Values.begin(), options.Values.end());
  TDataChannelHost host(static_cast<int32_t>(layout.size()));
  for (const auto& [sensor, value] : values) {
    bool found = false;
    for (size_t i = 0; i < layout.size(); ++i)
      if (layout[i] == sensor) {
        host.WriteSlot(static_cast<int32_t>(i + 1), value);
        found = true;
      }
    if (!found) throw Exception("The skin does not use the sensor " + sensor);
  }

  form->AfterConstruction();
  // The creation handler reports its errors instead of raising them; the
  // first one is this render's error.
  if (!windowSystem.MessageBoxes().empty()) throw Exception(windowSystem.MessageBoxes().front().Text);
  application.PostMessage(form, TMessage{form->DataReadyMessage, 0, 0, 0});
  application.ProcessMessages();
  if (!windowSystem.MessageBoxes().empty()) throw Exception(windowSystem.MessageBoxes().front().Text);

  form->PaintAll();
  if (!options.Out.empty()) {
    WriteFileBytes(options.Out, EncodeOpaquePng(form->BackBuffer()->View()));
  }
  if (options.State) WriteComponentStates(*form, *options.State);
  // The clocks read the local source until the form is gone.
  for (TComponent* c : form->ComponentList())
    if (auto* clock = dynamic_cast<TGaugeClock*>(c)) clock->SetClockSource(nullptr);
  ReleaseDataBlock();
  ReleaseSensorList();
}
