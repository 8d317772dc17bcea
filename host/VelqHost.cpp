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
  velq_channel(const velq_layout& layout, TNotifyDelivery delivery)
      : Layout(layout),
        Host(static_cast<int32_t>(layout.Sensors.size()), MapFileName(), DataReadyMessageName(),
             TDataChannelHost::kDefaultNotifyTimeout, delivery) {}
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

// Runs `body` (which returns a status) and turns every exception into one.
template <typename TBody>
velq_status Guard(velq_status onException, TBody body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return Fail(VELQ_ERR_NO_MEMORY, "Out of memory");
  } catch (const std::exception& e) {
    return Fail(onException, e.what());
  } catch (...) {
    return Fail(onException, "Unknown error");
  }
}

velq_status LoadLayout(const std::string& path, velq_layout** out) {
  auto layout = std::make_unique<velq_layout>();
  layout->Sensors = ReadSkinLayout(path);
  *out = layout.release();
  return Succeed();
}

// A skin name is one folder name: no separator of the system's paths.
#ifdef _WIN32
constexpr const char* kPathSeparators = "/\\";
#else
constexpr const char* kPathSeparators = "/";
#endif

velq_status CreateChannel(const velq_layout* layout, velq_delivery delivery, velq_channel** out) noexcept {
  if (!layout || !out) return Fail(VELQ_ERR_ARGUMENT, "No layout or no place for the channel");
  *out = nullptr;
  TNotifyDelivery mode = ndPost;
  switch (delivery) {
    case VELQ_DELIVER_POST: mode = ndPost; break;
    case VELQ_DELIVER_SEND: mode = ndSend; break;
    case VELQ_DELIVER_BROADCAST: mode = ndBroadcast; break;
    default: return Fail(VELQ_ERR_ARGUMENT, "Unknown delivery " + std::to_string(static_cast<int>(delivery)));
  }
  return Guard(VELQ_ERR_SYSTEM, [&] {
    *out = new velq_channel(*layout, mode);
    return Succeed();
  });
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

// ---- layout ------------------------------------------------------------------------

velq_status velq_layout_load(const char* work_dir, const char* skin, velq_layout** out) {
  if (!skin || !out) return Fail(VELQ_ERR_ARGUMENT, "No skin name or no place for the layout");
  *out = nullptr;
  if (!*skin || std::strpbrk(skin, kPathSeparators)) return Fail(VELQ_ERR_ARGUMENT, "A skin name is one folder name");
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
  *position = layout->Find(sensor);
  if (*position == 0) return Fail(VELQ_ERR_UNKNOWN_SENSOR, std::string("The skin does not use ") + sensor);
  return Succeed();
}

// ---- channel -----------------------------------------------------------------------

velq_status velq_channel_create(const velq_layout* layout, velq_channel** out) {
  return CreateChannel(layout, VELQ_DELIVER_POST, out);
}

velq_status velq_channel_create_with_delivery(const velq_layout* layout, velq_delivery delivery,
                                              velq_channel** out) {
  return CreateChannel(layout, delivery, out);
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
  const int32_t position = channel->Layout.Find(sensor);
  if (position == 0) return Fail(VELQ_ERR_UNKNOWN_SENSOR, std::string("The skin does not use ") + sensor);
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
  if (!channel->Host.Notify()) return Fail(VELQ_ERR_NOT_DELIVERED, "No dashboard took the notification");
  return Succeed();
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

int32_t velq_process_id(const velq_process* process) { return process ? process->Process.Id() : -1; }

void velq_process_free(velq_process* process) { delete process; }

}  // extern "C"
