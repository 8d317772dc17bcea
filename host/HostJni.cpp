// The natives of com.velq.dashboard.HostChannel: marshalling between Java
// and the C interface only. A failing call throws the one exception type
// HostException with the library's text and status, and returns at once;
// no JNI call is made while an exception is pending, and local references
// are released as they are used, so the binding is clean under -Xcheck:jni.
#include <jni.h>

#include <cstdint>
#include <string>
#include <vector>

#include "velq/host.h"

#define VELQ_JNI extern "C" JNIEXPORT

namespace {

void Throw(JNIEnv* env, int status, const char* message) {
  if (env->ExceptionCheck()) return;  // the first failure is the one reported
  jclass type = env->FindClass("com/velq/dashboard/HostException");
  if (!type) return;  // FindClass has thrown (NoClassDefFoundError)
  jmethodID make = env->GetMethodID(type, "<init>", "(ILjava/lang/String;)V");
  if (!make) {
    env->DeleteLocalRef(type);
    return;
  }
  jstring text = env->NewStringUTF(message);
  if (text) {
    auto exception = static_cast<jthrowable>(env->NewObject(type, make, static_cast<jint>(status), text));
    if (exception) {
      env->Throw(exception);
      env->DeleteLocalRef(exception);
    }
    env->DeleteLocalRef(text);
  }
  env->DeleteLocalRef(type);
}

// Throws for a failed status; true when the call succeeded.
bool Check(JNIEnv* env, velq_status status) {
  if (status == VELQ_OK) return true;
  Throw(env, status, velq_last_error());
  return false;
}

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

}  // namespace

VELQ_JNI jlong JNICALL Java_com_velq_dashboard_HostChannel_loadLayout(JNIEnv* env, jclass, jstring workDir,
                                                                      jstring skin) {
  TJavaText dir(env, workDir), name(env, skin);
  if (!dir.Ok() || !name.Ok()) return 0;
  velq_layout* layout = nullptr;
  if (!Check(env, velq_layout_load(dir.Get(), name.Get(), &layout))) return 0;
  return ToHandle(layout);
}

VELQ_JNI jlong JNICALL Java_com_velq_dashboard_HostChannel_loadLayoutFile(JNIEnv* env, jclass, jstring path) {
  TJavaText file(env, path);
  if (!file.Ok()) return 0;
  velq_layout* layout = nullptr;
  if (!Check(env, velq_layout_load_file(file.Get(), &layout))) return 0;
  return ToHandle(layout);
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
                                                                  jstring sensor) {
  TJavaText name(env, sensor);
  if (!name.Ok()) return 0;
  int32_t position = 0;
  if (!Check(env, velq_layout_position(Handle<velq_layout>(layout), name.Get(), &position))) return 0;
  return position;
}

VELQ_JNI jlong JNICALL Java_com_velq_dashboard_HostChannel_create(JNIEnv* env, jclass, jlong layout) {
  velq_channel* channel = nullptr;
  if (!Check(env, velq_channel_create(Handle<velq_layout>(layout), &channel))) return 0;
  return ToHandle(channel);
}

VELQ_JNI void JNICALL Java_com_velq_dashboard_HostChannel_set(JNIEnv* env, jclass, jlong channel, jint position,
                                                             jfloat value) {
  Check(env, velq_channel_set(Handle<velq_channel>(channel), position, value));
}

VELQ_JNI void JNICALL Java_com_velq_dashboard_HostChannel_setNamed(JNIEnv* env, jclass, jlong channel,
                                                                  jstring sensor, jfloat value) {
  TJavaText name(env, sensor);
  if (!name.Ok()) return;
  Check(env, velq_channel_set_named(Handle<velq_channel>(channel), name.Get(), value));
}

VELQ_JNI void JNICALL Java_com_velq_dashboard_HostChannel_setFrame(JNIEnv* env, jclass, jlong channel,
                                                                  jfloatArray values) {
  if (!values) {
    Check(env, velq_channel_set_frame(Handle<velq_channel>(channel), nullptr, 0));
    return;
  }
  // A copy, not the array's elements: the frame is small, and a region copy
  // neither pins the array nor needs a release on every path.
  std::vector<float> frame(static_cast<size_t>(env->GetArrayLength(values)));
  env->GetFloatArrayRegion(values, 0, static_cast<jsize>(frame.size()), frame.data());
  if (env->ExceptionCheck()) return;
  Check(env, velq_channel_set_frame(Handle<velq_channel>(channel), frame.data(), frame.size()));
}

VELQ_JNI jboolean JNICALL Java_com_velq_dashboard_HostChannel_notifyFrame(JNIEnv* env, jclass, jlong channel) {
  const velq_status status = velq_channel_notify(Handle<velq_channel>(channel));
  // Nobody listening is an ordinary moment (the dashboard is starting, or
  // has ended), not an error.
  if (status == VELQ_ERR_NOT_DELIVERED) return JNI_FALSE;
  return Check(env, status) ? JNI_TRUE : JNI_FALSE;
}

VELQ_JNI void JNICALL Java_com_velq_dashboard_HostChannel_freeChannel(JNIEnv*, jclass, jlong channel) {
  velq_channel_free(Handle<velq_channel>(channel));
}

VELQ_JNI jlong JNICALL Java_com_velq_dashboard_HostChannel_launch(JNIEnv* env, jclass, jstring program,
                                                                 jstring skin, jstring workDir) {
  TJavaText path(env, program), name(env, skin), dir(env, workDir);
  if (!path.Ok() || !name.Ok() || !dir.Ok()) return 0;
  velq_process* process = nullptr;
  if (!Check(env, velq_launch(path.Get(), name.Get(), dir.Get(), &process))) return 0;
  return ToHandle(process);
}

// The exit code, or Integer.MIN_VALUE while the process runs.
VELQ_JNI jint JNICALL Java_com_velq_dashboard_HostChannel_waitProcess(JNIEnv* env, jclass, jlong process,
                                                                     jint timeoutMs) {
  int32_t code = 0;
  const velq_status status = velq_process_wait(Handle<velq_process>(process), timeoutMs, &code);
  if (status == VELQ_ERR_RUNNING) return INT32_MIN;
  if (!Check(env, status)) return INT32_MIN;
  return code;
}

VELQ_JNI void JNICALL Java_com_velq_dashboard_HostChannel_terminate(JNIEnv* env, jclass, jlong process) {
  Check(env, velq_process_terminate(Handle<velq_process>(process)));
}

VELQ_JNI void JNICALL Java_com_velq_dashboard_HostChannel_freeProcess(JNIEnv*, jclass, jlong process) {
  velq_process_free(Handle<velq_process>(process));
}
