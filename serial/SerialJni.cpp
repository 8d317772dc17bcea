#include "SerialJni.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "JavaText.h"
#include "SerialEnum.h"
#include "SerialPorts.h"
#include "SerialReader.h"
#include "os/SystemCodes.h"

using namespace serialkvl;

namespace {

// A pending exception forbids almost every JNI call; the natives then do
// nothing and answer -1 (or null for the object results).
bool ExceptionPending(JNIEnv* env) { return env->ExceptionCheck() == JNI_TRUE; }

// A Java string of UTF-8 text, made from UTF-16 so that no byte sequence
// the system hands us can upset the JVM's modified-UTF-8 reader.
jstring NewJavaString(JNIEnv* env, std::string_view utf8) {
  const std::u16string text = Utf8ToUtf16(utf8);
  return env->NewString(reinterpret_cast<const jchar*>(text.data()), static_cast<jsize>(text.size()));
}

// Opens a port with the profile built from the Java name, and writes the slot
// number (given on every path) back into port[0].
template <typename BuildProfile>
jint OpenPort(JNIEnv* env, jstring name, jintArray port, BuildProfile build) {
  if (ExceptionPending(env)) return -1;
  if (name == nullptr || port == nullptr || env->GetArrayLength(port) < 1) return -1;
  const char* chars = env->GetStringUTFChars(name, nullptr);
  if (chars == nullptr) return -1;
  jint* portElements = env->GetIntArrayElements(port, nullptr);
  if (portElements == nullptr) {
    env->ReleaseStringUTFChars(name, chars);
    return -1;
  }
  int32_t slot = 0;
  const LineProfile profile = build(chars);
  const int status = InitialiserRS232(profile, slot);
  portElements[0] = slot;
  env->SetIntArrayRegion(port, 0, 1, portElements);
  env->ReleaseIntArrayElements(port, portElements, 0);
  env->ReleaseStringUTFChars(name, chars);
  return status;
}

}  // namespace

extern "C" {

JNIEXPORT jint JNICALL Java_com_velq_tools_comm_SerialKVL_EnvRS(JNIEnv* env, jobject, jint port,
                                                                jbyteArray frame, jint length) {
  if (ExceptionPending(env)) return -1;
  if (frame == nullptr) return -1;
  // Never read past the Java array: a length it cannot back is refused.
  // (SendWithRetry keeps at most the 255 bytes of its transmit buffer.)
  if (length < 0 || length > env->GetArrayLength(frame)) return kSysInvalidArgument;
  jbyte* elements = env->GetByteArrayElements(frame, nullptr);
  if (elements == nullptr) return -1;
  const int status = SendWithRetry(port, reinterpret_cast<const uint8_t*>(elements), length);
  env->ReleaseByteArrayElements(frame, elements, 0);
  return status;
}

JNIEXPORT jint JNICALL Java_com_velq_tools_comm_SerialKVL_RecRS(JNIEnv* env, jobject, jint port,
                                                                jbyteArray frame, jintArray length) {
  if (ExceptionPending(env)) return -1;
  if (frame == nullptr || length == nullptr || env->GetArrayLength(length) < 1) return -1;
  const jsize capacity = env->GetArrayLength(frame);
  jint* lengthElements = env->GetIntArrayElements(length, nullptr);
  if (lengthElements == nullptr) return -1;
  jbyte* frameElements = env->GetByteArrayElements(frame, nullptr);
  if (frameElements == nullptr) {
    env->ReleaseIntArrayElements(length, lengthElements, 0);
    return -1;
  }

  // The recogniser delivers into a buffer that holds any frame; only what
  // fits the Java array is copied on, and the length element then says how
  // many bytes that was.
  uint8_t received[kFrameBufferSize];
  int32_t receivedLength = 0;
  const int status = ReceiveWithRetry(port, received, receivedLength);
  if (status == 0) {
    const jint copied = std::min<jint>(receivedLength, capacity);
    std::memcpy(frameElements, received, static_cast<size_t>(copied));
    lengthElements[0] = copied;
  }
  // On failure the host's own length value is the count copied back, kept
  // inside the array.
  const jint count = std::clamp<jint>(lengthElements[0], 0, capacity);
  env->SetByteArrayRegion(frame, 0, count, frameElements);
  env->ReleaseByteArrayElements(frame, frameElements, 0);
  env->SetIntArrayRegion(length, 0, 1, lengthElements);
  env->ReleaseIntArrayElements(length, lengthElements, 0);
  return status;
}

JNIEXPORT jint JNICALL Java_com_velq_tools_comm_SerialKVL_FermRS(JNIEnv* env, jobject, jint port) {
  if (ExceptionPending(env)) return -1;
  return ClosePort(port);
}

JNIEXPORT jstring JNICALL Java_com_velq_tools_comm_SerialKVL_DonneNomPortRS(JNIEnv* env, jobject,
                                                                           jint port) {
  if (ExceptionPending(env)) return nullptr;
  return NewJavaString(env, SlotPortName(port));
}

JNIEXPORT jint JNICALL Java_com_velq_tools_comm_SerialKVL_InitRS_1KVLv1(JNIEnv* env, jobject, jint baud,
                                                                       jstring name, jintArray port) {
  return OpenPort(env, name, port, [baud](const char* portName) {
    return ProfileKVLv1(static_cast<uint32_t>(baud), portName);
  });
}

JNIEXPORT jint JNICALL Java_com_velq_tools_comm_SerialKVL_InitRS_1KVLv2(JNIEnv* env, jobject, jstring name,
                                                                       jintArray port) {
  return OpenPort(env, name, port, [](const char* portName) { return ProfileKVLv2(portName); });
}

JNIEXPORT jint JNICALL Java_com_velq_tools_comm_SerialKVL_InitRS_1LOG2A0(JNIEnv* env, jobject,
                                                                        jstring name, jintArray port) {
  return OpenPort(env, name, port, [](const char* portName) { return ProfileLOG2A0(portName); });
}

JNIEXPORT jint JNICALL Java_com_velq_tools_comm_SerialKVL_InitRS_1ZT2(JNIEnv* env, jobject, jstring name,
                                                                     jintArray port) {
  return OpenPort(env, name, port, [](const char* portName) { return ProfileZT2(portName); });
}

JNIEXPORT jobjectArray JNICALL Java_com_velq_tools_comm_SerialKVL_EnumPortRS(JNIEnv* env, jobject) {
  if (ExceptionPending(env)) return nullptr;
  const PortList list = EnumeratePorts();
  jsize count = 0;
  while (count < kPortListSize && list.FEntries[count].FName[0] != '\0') ++count;

  // One string per port plus the class, the array and the empty filler: more
  // than the 16 local references a native may assume without asking.
  if (env->EnsureLocalCapacity(count + 8) != JNI_OK) return nullptr;
  jstring empty = env->NewStringUTF("");
  if (empty == nullptr) return nullptr;
  jclass stringClass = env->FindClass("java/lang/String");
  if (stringClass == nullptr) return nullptr;
  jobjectArray result = env->NewObjectArray(count, stringClass, empty);
  if (result == nullptr) return nullptr;
  for (jsize i = 0; i < count; ++i) {
    char text[116];
    std::snprintf(text, sizeof text, "%s <%s>", list.FEntries[i].FName, list.FEntries[i].FDescription);
    jstring element = env->NewStringUTF(text);
    if (element == nullptr) return nullptr;
    env->SetObjectArrayElement(result, i, element);
  }
  return result;
}

JNIEXPORT jstring JNICALL Java_com_velq_tools_comm_SerialKVL_ExpliciteLastError(JNIEnv* env, jobject,
                                                                               jint code) {
  if (ExceptionPending(env)) return nullptr;
  return NewJavaString(env, ErrorText(code));
}

}  // extern "C"
