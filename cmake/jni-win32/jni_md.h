/* The machine-dependent part of jni.h for Windows targets (x86_64 and
 * i686), for cross builds that take the platform-independent jni.h from a
 * Linux JDK. Natives are exported from the DLL and use the standard-call
 * convention, which a 32-bit JVM expects (it is the only one on x86_64). */
#ifndef VELQ_JNI_MD_H
#define VELQ_JNI_MD_H

#ifndef JNIEXPORT /* the 32-bit build exports through a .def file instead */
#define JNIEXPORT __declspec(dllexport)
#endif
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

/* jint is 32 bits: long is 32 bits on Windows, 32-bit and 64-bit alike. */
typedef long jint;
typedef __int64 jlong;
typedef signed char jbyte;

#endif
