// The ten natives of the Java host class com.velq.tools.comm.SerialKVL.
//
// Purpose: marshalling only. Each native turns its Java arguments into plain
// buffers and integers, calls the core (SerialPorts, SerialReader,
// SerialEnum) and turns the result back. The receiver argument is never used,
// so all instances of the host class share the same four ports.
//
// Thread rules: natives run on the calling Java thread and take no lock of
// their own; the host drives each port from one thread at a time, and calls
// EnumPortRS and ExpliciteLastError from one thread at a time.
//
// Errors: statuses (see SerialPorts.h and SerialReader.h), -1 when a Java
// argument is null, too short, or its elements cannot be obtained, or when a
// Java exception is already pending. No native throws, prints, or shows a
// window; port opening on Linux shows no message box either.
#pragma once

#include <jni.h>

extern "C" {

JNIEXPORT jint JNICALL Java_com_velq_tools_comm_SerialKVL_EnvRS(JNIEnv* env, jobject, jint port,
                                                                jbyteArray frame, jint length);
JNIEXPORT jint JNICALL Java_com_velq_tools_comm_SerialKVL_RecRS(JNIEnv* env, jobject, jint port,
                                                                jbyteArray frame, jintArray length);
JNIEXPORT jint JNICALL Java_com_velq_tools_comm_SerialKVL_FermRS(JNIEnv* env, jobject, jint port);
JNIEXPORT jstring JNICALL Java_com_velq_tools_comm_SerialKVL_DonneNomPortRS(JNIEnv* env, jobject,
                                                                           jint port);
JNIEXPORT jint JNICALL Java_com_velq_tools_comm_SerialKVL_InitRS_1KVLv1(JNIEnv* env, jobject, jint baud,
                                                                       jstring name, jintArray port);
JNIEXPORT jint JNICALL Java_com_velq_tools_comm_SerialKVL_InitRS_1KVLv2(JNIEnv* env, jobject, jstring name,
                                                                       jintArray port);
JNIEXPORT jint JNICALL Java_com_velq_tools_comm_SerialKVL_InitRS_1LOG2A0(JNIEnv* env, jobject,
                                                                        jstring name, jintArray port);
JNIEXPORT jint JNICALL Java_com_velq_tools_comm_SerialKVL_InitRS_1ZT2(JNIEnv* env, jobject, jstring name,
                                                                     jintArray port);
JNIEXPORT jobjectArray JNICALL Java_com_velq_tools_comm_SerialKVL_EnumPortRS(JNIEnv* env, jobject);
JNIEXPORT jstring JNICALL Java_com_velq_tools_comm_SerialKVL_ExpliciteLastError(JNIEnv* env, jobject,
                                                                               jint code);
}
