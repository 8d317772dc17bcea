// The C interface of libvelqhost over the dashboard's own channel and
// layout code. Every entry point catches everything: a C or Java host must
// never see a C++ exception, and an out-of-memory condition becomes a status.
#include "velq/host.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "DataChannel.h"
#include "HostLaunch.h"
#include "HostLayout.h"
#include "SkinLayout.h"
#include "SkinSensors.h"

struct velq_layout {
  std::vector<std::string> Sensors;

  // 1-based position, or 0 for a name the skin does not use.
  int32_t Find(const char* name) const noexcept {
    for (size_t i = 0; i < Sensors.size(); ++i)
      if (Sensors[i] == name) return static_cast<int32_t>(i + 1);
    return 0;
  }
};

struct velq_channel {
  velq_layout Layout;
  TDataChannelHost Host;
  velq_channel(const velq_layout& layout, TNotifyDelivery delivery, std::chrono::milliseconds notifyTimeout)
      : Layout(layout),
        Host(static_cast<int32_t>(layout.Sensors.size()), MapFileName(), DataReadyMessageName(), notifyTimeout,
             delivery) {}
};

struct velq_process {
  THostProcess Process;
  velq_process(const std::string& program, const std::string& skin, const std::string& workDir)
      : Process(program, skin, workDir) {}
};

namespace {

// The last error of each thread. Kept as a string of its own so that the
// pointer handed out stays valid until the thread's next call.
thread_local std::string GLastError;

velq_status Succeed() noexcept {
  GLastError.clear();
  return VELQ_OK;
}

velq_status Fail(velq_status status, const char* message) noexcept {
  try {
    GLastError = message;
  } catch (...) {
    GLastError.clear();  // no memory even for the text: the status still says it
  }
  return status;
}

velq_status Fail(velq_status status, const std::string& message) noexcept { return Fail(status, message.c_str()); }

// Runs `body` (which returns a status) and turns every exception into one:
// the faults a host can act on get their own status, anything else
// `onException`.
template <typename TBody>
velq_status Guard(velq_status onException, TBody body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return Fail(VELQ_ERR_NO_MEMORY, "Out of memory");
  } catch (const EHostNotFound& e) {
    return Fail(VELQ_ERR_NOT_FOUND, e.what());
  } catch (const EHostProgramMissing& e) {
    return Fail(VELQ_ERR_NOT_FOUND, e.what());
  } catch (const EDataChannelOwned& e) {
    return Fail(VELQ_ERR_OWNED, e.what());
  } catch (const ESkinLayoutError& e) {
    return Fail(e.Kind() == ESkinLayoutError::lkFileMissing ? VELQ_ERR_NOT_FOUND : VELQ_ERR_SKIN, e.what());
  } catch (const std::exception& e) {
    return Fail(onException, e.what());
  } catch (...) {
    return Fail(onException, "Unknown error");
  }
}

velq_status LoadLayout(const std::string& path, velq_layout** out) {
  auto layout = std::make_unique<velq_layout>();
  layout->Sensors = ReadSkinSensorLayout(path);
  *out = layout.release();
  return Succeed();
}

// A name that a skin can bind: ia1..ia47 or in1..in32, exactly as the
// layout spells them (ia0 and in0 mean "no sensor").
bool IsSensorName(const char* name) noexcept {
  for (const TEnumInfo* names : {&AnalogSensorNames(), &DigitalSensorNames()})
    for (size_t i = 1; i < names->Names.size(); ++i)
      if (names->Names[i] == name) return true;
  return false;
}

// The position of `sensor` in `layout`, or the status that says why there
// is none.
velq_status FindPosition(const velq_layout& layout, const char* sensor, int32_t& position) noexcept {
  position = layout.Find(sensor);
  if (position != 0) return VELQ_OK;
  if (!IsSensorName(sensor))
    return Fail(VELQ_ERR_NOT_A_SENSOR,
                std::string("\"") + sensor + "\" is not a sensor name (ia1..ia47, in1..in32)");
  return Fail(VELQ_ERR_UNKNOWN_SENSOR, std::string("The skin does not use sensor ") + sensor);
}

constexpr int32_t kMaxNotifyTimeoutMs = 10000;

// A skin name is one folder name: no separator of the system's paths.
#ifdef _WIN32
constexpr const char* kPathSeparators = "/\\";
#else
constexpr const char* kPathSeparators = "/";
#endif

velq_status CreateChannel(const velq_layout* layout, const velq_channel_options& options,
                          velq_channel** out) noexcept {
  if (!layout || !out) return Fail(VELQ_ERR_ARGUMENT, "No layout or no place for the channel");
  *out = nullptr;
  if (options.size < sizeof(velq_channel_options))
    return Fail(VELQ_ERR_ARGUMENT, "Channel options not set up by velq_channel_options_init");
  if (options.notify_timeout_ms < 0 || options.notify_timeout_ms > kMaxNotifyTimeoutMs)
    return Fail(VELQ_ERR_ARGUMENT, "Notify time-out " + std::to_string(options.notify_timeout_ms) +
                                       " ms outside 0.." + std::to_string(kMaxNotifyTimeoutMs));
  const velq_delivery delivery = options.delivery;
  TNotifyDelivery mode = ndPost;
  switch (delivery) {
    case VELQ_DELIVER_POST: mode = ndPost; break;
    case VELQ_DELIVER_SEND: mode = ndSend; break;
    case VELQ_DELIVER_BROADCAST: mode = ndBroadcast; break;
    default: return Fail(VELQ_ERR_ARGUMENT, "Unknown delivery " + std::to_string(static_cast<int>(delivery)));
  }
  return Guard(VELQ_ERR_SYSTEM, [&] {
    *out = new velq_channel(*layout, mode, std::chrono::milliseconds(options.notify_timeout_ms));
    return Succeed();
  });
}

velq_channel_options DefaultOptions() noexcept {
  velq_channel_options options{};
  velq_channel_options_init(&options);
  return options;
}

velq_status CheckWritable(const velq_channel* channel) noexcept {
  if (!channel) return Fail(VELQ_ERR_ARGUMENT, "No channel");
  if (channel->Host.BlockSize() == 0) return Fail(VELQ_ERR_REMOVED, "The channel's block has been removed");
  return VELQ_OK;
}

}  // namespace

extern "C" {

const char* velq_host_version(void) {
#define VELQ_STRINGIFY2(x) #x
#define VELQ_STRINGIFY(x) VELQ_STRINGIFY2(x)
  return VELQ_STRINGIFY(VELQ_HOST_VERSION_MAJOR) "." VELQ_STRINGIFY(VELQ_HOST_VERSION_MINOR);
}

const char* velq_last_error(void) { return GLastError.c_str(); }

const char* velq_status_string(int status) {
  switch (status) {
    case VELQ_OK: return "Success";
    case VELQ_ERR_ARGUMENT: return "Invalid argument";
    case VELQ_ERR_UNKNOWN_SENSOR: return "The skin does not use this sensor";
    case VELQ_ERR_SKIN: return "The skin file cannot be read";
    case VELQ_ERR_SYSTEM: return "The system refused the operation";
    case VELQ_ERR_REMOVED: return "The channel's block has been removed";
    case VELQ_ERR_NOT_DELIVERED: return "No dashboard is listening";
    case VELQ_ERR_NO_MEMORY: return "Out of memory";
    case VELQ_ERR_RUNNING: return "The process is still running";
    case VELQ_ERR_OWNED: return "Another running host owns the channel";
    case VELQ_ERR_BUSY: return "The dashboard is busy: the frame was not shown";
    case VELQ_ERR_DETACHED: return "The channel's name no longer refers to its block";
    case VELQ_ERR_NOT_A_SENSOR: return "Not a sensor name";
    case VELQ_ERR_NOT_FOUND: return "File or folder not found";
    default: return "Unknown status";
  }
}

// ---- layout ------------------------------------------------------------------------

velq_status velq_layout_load(const char* work_dir, const char* skin, velq_layout** out) {
  if (!skin || !out) return Fail(VELQ_ERR_ARGUMENT, "No skin name or no place for the layout");
  *out = nullptr;
  if (!*skin || std::strpbrk(skin, kPathSeparators) || std::strcmp(skin, ".") == 0 || std::strcmp(skin, "..") == 0)
    return Fail(VELQ_ERR_ARGUMENT, "A skin name is one folder name");
  return Guard(VELQ_ERR_SKIN, [&] { return LoadLayout(SkinLayoutPath(work_dir ? work_dir : "", skin), out); });
}

velq_status velq_layout_load_file(const char* path, velq_layout** out) {
  if (!path || !out) return Fail(VELQ_ERR_ARGUMENT, "No path or no place for the layout");
  *out = nullptr;
  return Guard(VELQ_ERR_SKIN, [&] { return LoadLayout(path, out); });
}

void velq_layout_free(velq_layout* layout) { delete layout; }

int32_t velq_layout_count(const velq_layout* layout) {
  return layout ? static_cast<int32_t>(layout->Sensors.size()) : 0;
}

const char* velq_layout_sensor(const velq_layout* layout, int32_t position) {
  if (!layout || position < 1 || position > velq_layout_count(layout)) return nullptr;
  return layout->Sensors[static_cast<size_t>(position - 1)].c_str();
}

velq_status velq_layout_position(const velq_layout* layout, const char* sensor, int32_t* position) {
  if (!layout || !sensor || !position) return Fail(VELQ_ERR_ARGUMENT, "No layout, name or place for the position");
  if (velq_status status = FindPosition(*layout, sensor, *position)) return status;
  return Succeed();
}

// ---- channel -----------------------------------------------------------------------

void velq_channel_options_init(velq_channel_options* options) {
  if (!options) return;
  *options = velq_channel_options{};
  options->size = sizeof(velq_channel_options);
  options->delivery = VELQ_DELIVER_POST;
  options->notify_timeout_ms = 0;
}

velq_status velq_channel_create(const velq_layout* layout, velq_channel** out) {
  return CreateChannel(layout, DefaultOptions(), out);
}

velq_status velq_channel_create_with_delivery(const velq_layout* layout, velq_delivery delivery,
                                              velq_channel** out) {
  velq_channel_options options = DefaultOptions();
  options.delivery = delivery;
  return CreateChannel(layout, options, out);
}

velq_status velq_channel_create_with_options(const velq_layout* layout, const velq_channel_options* options,
                                             velq_channel** out) {
  return CreateChannel(layout, options ? *options : DefaultOptions(), out);
}

int32_t velq_channel_count(const velq_channel* channel) { return channel ? channel->Host.SensorCount() : 0; }

velq_status velq_channel_set(velq_channel* channel, int32_t position, float value) {
  if (velq_status status = CheckWritable(channel)) return status;
  if (position < 1 || position > channel->Host.SensorCount())
    return Fail(VELQ_ERR_ARGUMENT, "Slot " + std::to_string(position) + " outside 1.." +
                                       std::to_string(channel->Host.SensorCount()));
  return Guard(VELQ_ERR_SYSTEM, [&] {
    channel->Host.WriteSlot(position, value);
    return Succeed();
  });
}

velq_status velq_channel_set_named(velq_channel* channel, const char* sensor, float value) {
  if (velq_status status = CheckWritable(channel)) return status;
  if (!sensor) return Fail(VELQ_ERR_ARGUMENT, "No sensor name");
  int32_t position = 0;
  if (velq_status status = FindPosition(channel->Layout, sensor, position)) return status;
  return velq_channel_set(channel, position, value);
}

velq_status velq_channel_set_frame(velq_channel* channel, const float* values, size_t count) {
  if (velq_status status = CheckWritable(channel)) return status;
  const auto slots = static_cast<size_t>(channel->Host.SensorCount());
  if (count != slots)
    return Fail(VELQ_ERR_ARGUMENT,
                "A frame of " + std::to_string(count) + " values for " + std::to_string(slots) + " slots");
  if (!values && count > 0) return Fail(VELQ_ERR_ARGUMENT, "No values");
  return Guard(VELQ_ERR_SYSTEM, [&] {
    for (size_t i = 0; i < count; ++i) channel->Host.WriteSlot(static_cast<int32_t>(i + 1), values[i]);
    return Succeed();
  });
}

velq_status velq_channel_notify(velq_channel* channel) {
  if (velq_status status = CheckWritable(channel)) return status;
  switch (channel->Host.NotifyFrame()) {
    case TNotifyResult::nrDelivered: return Succeed();
    case TNotifyResult::nrNoDashboard: return Fail(VELQ_ERR_NOT_DELIVERED, "No dashboard is listening");
    case TNotifyResult::nrBusy:
      return Fail(VELQ_ERR_BUSY, "The dashboard's queue is full (it is behind, or stopped): frame not shown");
    case TNotifyResult::nrDetached:
      return Fail(VELQ_ERR_DETACHED, "The block's name " + channel->Host.BlockName() +
                                         " no longer refers to this channel's block (removed or replaced)");
    case TNotifyResult::nrRemoved: break;
  }
  return Fail(VELQ_ERR_REMOVED, "The channel's block has been removed");
}

velq_status velq_channel_set_notify_timeout(velq_channel* channel, int32_t timeout_ms) {
  if (!channel) return Fail(VELQ_ERR_ARGUMENT, "No channel");
  if (timeout_ms < 0 || timeout_ms > kMaxNotifyTimeoutMs)
    return Fail(VELQ_ERR_ARGUMENT, "Notify time-out " + std::to_string(timeout_ms) + " ms outside 0.." +
                                       std::to_string(kMaxNotifyTimeoutMs));
  return Guard(VELQ_ERR_SYSTEM, [&] {
    channel->Host.SetNotifyTimeout(std::chrono::milliseconds(timeout_ms));
    return Succeed();
  });
}

velq_status velq_channel_remove(velq_channel* channel) {
  if (!channel) return Fail(VELQ_ERR_ARGUMENT, "No channel");
  channel->Host.Remove();
  return Succeed();
}

void velq_channel_free(velq_channel* channel) { delete channel; }

// ---- launching ---------------------------------------------------------------------

velq_status velq_launch(const char* program, const char* skin, const char* work_dir, velq_process** out) {
  if (!skin || !out) return Fail(VELQ_ERR_ARGUMENT, "No skin name or no place for the process");
  *out = nullptr;
  return Guard(VELQ_ERR_SYSTEM, [&] {
    CheckSkinFolder(work_dir ? work_dir : "", skin);
    *out = new velq_process(program ? program : "SkinVELQ", skin, work_dir ? work_dir : "");
    return Succeed();
  });
}

velq_status velq_process_wait(velq_process* process, int32_t timeout_ms, int32_t* exit_status) {
  if (!process) return Fail(VELQ_ERR_ARGUMENT, "No process");
  const std::optional<int> code = process->Process.Wait(timeout_ms);
  if (!code) return Fail(VELQ_ERR_RUNNING, "The process is still running");
  if (exit_status) *exit_status = *code;
  return Succeed();
}

velq_status velq_process_terminate(velq_process* process) {
  if (!process) return Fail(VELQ_ERR_ARGUMENT, "No process");
  process->Process.Terminate();
  return Succeed();
}

velq_status velq_process_stop(velq_process* process, int32_t timeout_ms, int32_t* exit_status) {
  if (!process) return Fail(VELQ_ERR_ARGUMENT, "No process");
  const std::optional<int> code =
      process->Process.Stop(timeout_ms < 0 ? THostProcess::kDefaultStopMs : static_cast<int>(timeout_ms));
  if (exit_status) *exit_status = code.value_or(-1);
  return Succeed();
}

int32_t velq_process_id(const velq_process* process) { return process ? process->Process.Id() : -1; }

void velq_process_free(velq_process* process) { delete process; }

}  // extern "C"
