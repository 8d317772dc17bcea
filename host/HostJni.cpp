// The natives of com.velq.dashboard.HostChannel: marshalling between Java
// and the C interface only. Every call that can fail returns the library's
// status as it is; the Java side (Statuses) turns it into the exception or
// the result the binding documents, fetching the text with lastError() on
// the same thread. Keeping that decision in Java keeps it in one place,
// readable next to the API it serves.
//
// A native only throws when the JVM itself fails (no memory for a string or
// an array); it then returns at once with the exception pending, and the
// status it returns is never looked at. Local references are released as
// they are used, so the binding is clean under -Xcheck:jni.
#include <jni.h>

#include <cstdint>
#include <vector>

#include "velq/host.h"

#define VELQ_JNI extern "C" JNIEXPORT

namespace {

// A Java string's modified-UTF-8 bytes for the span of a call. Null stays
// null (the C interface decides whether that is allowed).
class TJavaText {
public:
  TJavaText(JNIEnv* env, jstring text) : FEnv(env), FText(text) {
    if (text) FChars = env->GetStringUTFChars(text, nullptr);
  }
  ~TJavaText() {
    if (FChars) FEnv->ReleaseStringUTFChars(FText, FChars);
  }
  TJavaText(const TJavaText&) = delete;
  TJavaText& operator=(const TJavaText&) = delete;
  // False when the characters could not be had (an OutOfMemoryError is pending).
  bool Ok() const { return !FText || FChars; }
  const char* Get() const { return FChars; }

private:
  JNIEnv* FEnv;
  jstring FText;
  const char* FChars = nullptr;
};

template <typename T>
T* Handle(jlong handle) {
  return reinterpret_cast<T*>(static_cast<intptr_t>(handle));
}

template <typename T>
jlong ToHandle(T* pointer) {
  return static_cast<jlong>(reinterpret_cast<intptr_t>(pointer));
}

// Stores one value in out[0] (the Java side always passes a one-element
// array).
void Store(JNIEnv* env, jlongArray out, jlong value) { env->SetLongArrayRegion(out, 0, 1, &value); }
void Store(JNIEnv* env, jintArray out, jint value) { env->SetIntArrayRegion(out, 0, 1, &value); }

// What a native returns when the JVM has thrown: the Java side rethrows the
// pending exception before it would look at a status.
constexpr jint kJvmFailed = VELQ_ERR_NO_MEMORY;

}  // namespace

VELQ_JNI jstring JNICALL Java_com_velq_dashboard_HostChannel_lastError(JNIEnv* env, jclass) {
  return env->NewStringUTF(velq_last_error());
}

VELQ_JNI jstring JNICALL Java_com_velq_dashboard_HostChannel_statusString(JNIEnv* env, jclass, jint status) {
  return env->NewStringUTF(velq_status_string(status));
}

VELQ_JNI jstring JNICALL Java_com_velq_dashboard_HostChannel_libraryVersionText(JNIEnv* env, jclass) {
  return env->NewStringUTF(velq_host_version());
}

VELQ_JNI jint JNICALL Java_com_velq_dashboard_HostChannel_loadLayout(JNIEnv* env, jclass, jstring workDir,
                                                                     jstring skin, jlongArray out) {
  TJavaText dir(env, workDir), name(env, skin);
  if (!dir.Ok() || !name.Ok()) return kJvmFailed;
  velq_layout* layout = nullptr;
  const velq_status status = velq_layout_load(dir.Get(), name.Get(), &layout);
  if (status == VELQ_OK) Store(env, out, ToHandle(layout));
  return status;
}

VELQ_JNI jint JNICALL Java_com_velq_dashboard_HostChannel_loadLayoutFile(JNIEnv* env, jclass, jstring path,
                                                                         jlongArray out) {
  TJavaText file(env, path);
  if (!file.Ok()) return kJvmFailed;
  velq_layout* layout = nullptr;
  const velq_status status = velq_layout_load_file(file.Get(), &layout);
  if (status == VELQ_OK) Store(env, out, ToHandle(layout));
  return status;
}

VELQ_JNI void JNICALL Java_com_velq_dashboard_HostChannel_freeLayout(JNIEnv*, jclass, jlong layout) {
  velq_layout_free(Handle<velq_layout>(layout));
}

VELQ_JNI jobjectArray JNICALL Java_com_velq_dashboard_HostChannel_sensors(JNIEnv* env, jclass, jlong handle) {
  const auto* layout = Handle<velq_layout>(handle);
  const int32_t count = velq_layout_count(layout);
  jclass stringClass = env->FindClass("java/lang/String");
  if (!stringClass) return nullptr;
  jobjectArray names = env->NewObjectArray(count, stringClass, nullptr);
  env->DeleteLocalRef(stringClass);
  if (!names) return nullptr;
  for (int32_t p = 1; p <= count; ++p) {
    jstring name = env->NewStringUTF(velq_layout_sensor(layout, p));
    if (!name) return nullptr;
    env->SetObjectArrayElement(names, p - 1, name);
    env->DeleteLocalRef(name);
    if (env->ExceptionCheck()) return nullptr;
  }
  return names;
}

VELQ_JNI jint JNICALL Java_com_velq_dashboard_HostChannel_position(JNIEnv* env, jclass, jlong layout,
                                                                   jstring sensor, jintArray out) {
  TJavaText name(env, sensor);
  if (!name.Ok()) return kJvmFailed;
  int32_t position = 0;
  const velq_status status = velq_layout_position(Handle<velq_layout>(layout), name.Get(), &position);
  if (status == VELQ_OK) Store(env, out, position);
  return status;
}

VELQ_JNI jint JNICALL Java_com_velq_dashboard_HostChannel_create(JNIEnv* env, jclass, jlong layout,
                                                                 jint notifyTimeoutMs, jlongArray out) {
  velq_channel_options options;
  velq_channel_options_init(&options);
  options.notify_timeout_ms = notifyTimeoutMs;
  velq_channel* channel = nullptr;
  const velq_status status = velq_channel_create_with_options(Handle<velq_layout>(layout), &options, &channel);
  if (status == VELQ_OK) Store(env, out, ToHandle(channel));
  return status;
}

VELQ_JNI jint JNICALL Java_com_velq_dashboard_HostChannel_set(JNIEnv*, jclass, jlong channel, jint position,
                                                              jfloat value) {
  return velq_channel_set(Handle<velq_channel>(channel), position, value);
}

VELQ_JNI jint JNICALL Java_com_velq_dashboard_HostChannel_setNamed(JNIEnv* env, jclass, jlong channel,
                                                                   jstring sensor, jfloat value) {
  TJavaText name(env, sensor);
  if (!name.Ok()) return kJvmFailed;
  return velq_channel_set_named(Handle<velq_channel>(channel), name.Get(), value);
}

VELQ_JNI jint JNICALL Java_com_velq_dashboard_HostChannel_setFrame(JNIEnv* env, jclass, jlong channel,
                                                                   jfloatArray values) {
  if (!values) return velq_channel_set_frame(Handle<velq_channel>(channel), nullptr, 0);
  // A copy, not the array's elements: the frame is small, and a region copy
  // neither pins the array nor needs a release on every path.
  std::vector<float> frame(static_cast<size_t>(env->GetArrayLength(values)));
  env->GetFloatArrayRegion(values, 0, static_cast<jsize>(frame.size()), frame.data());
  if (env->ExceptionCheck()) return kJvmFailed;
  return velq_channel_set_frame(Handle<velq_channel>(channel), frame.data(), frame.size());
}

VELQ_JNI jint JNICALL Java_com_velq_dashboard_HostChannel_notifyFrame(JNIEnv*, jclass, jlong channel) {
  return velq_channel_notify(Handle<velq_channel>(channel));
}

VELQ_JNI jint JNICALL Java_com_velq_dashboard_HostChannel_setNotifyTimeout(JNIEnv*, jclass, jlong channel,
                                                                           jint timeoutMs) {
  return velq_channel_set_notify_timeout(Handle<velq_channel>(channel), timeoutMs);
}

VELQ_JNI void JNICALL Java_com_velq_dashboard_HostChannel_freeChannel(JNIEnv*, jclass, jlong channel) {
  velq_channel_free(Handle<velq_channel>(channel));
}

VELQ_JNI jint JNICALL Java_com_velq_dashboard_HostChannel_launch(JNIEnv* env, jclass, jstring program,
                                                                 jstring skin, jstring workDir, jlongArray out) {
  TJavaText path(env, program), name(env, skin), dir(env, workDir);
  if (!path.Ok() || !name.Ok() || !dir.Ok()) return kJvmFailed;
  velq_process* process = nullptr;
  const velq_status status = velq_launch(path.Get(), name.Get(), dir.Get(), &process);
  if (status == VELQ_OK) Store(env, out, ToHandle(process));
  return status;
}

VELQ_JNI jint JNICALL Java_com_velq_dashboard_HostChannel_processId(JNIEnv*, jclass, jlong process) {
  return velq_process_id(Handle<velq_process>(process));
}

VELQ_JNI jint JNICALL Java_com_velq_dashboard_HostChannel_waitProcess(JNIEnv* env, jclass, jlong process,
                                                                      jint timeoutMs, jintArray exitCode) {
  int32_t code = 0;
  const velq_status status = velq_process_wait(Handle<velq_process>(process), timeoutMs, &code);
  if (status == VELQ_OK) Store(env, exitCode, code);
  return status;
}

VELQ_JNI jint JNICALL Java_com_velq_dashboard_HostChannel_terminate(JNIEnv*, jclass, jlong process) {
  return velq_process_terminate(Handle<velq_process>(process));
}

VELQ_JNI jint JNICALL Java_com_velq_dashboard_HostChannel_stopProcess(JNIEnv* env, jclass, jlong process,
                                                                      jint timeoutMs, jintArray exitCode) {
  int32_t code = 0;
  const velq_status status = velq_process_stop(Handle<velq_process>(process), timeoutMs, &code);
  if (status == VELQ_OK) Store(env, exitCode, code);
  return status;
}

VELQ_JNI void JNICALL Java_com_velq_dashboard_HostChannel_freeProcess(JNIEnv*, jclass, jlong process) {
  velq_process_free(Handle<velq_process>(process));
}
