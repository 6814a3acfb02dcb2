/*
 * Machine-dependent JNI types for 64-bit Windows.
 *
 * The JDK ships this header only with its Windows builds, and no Debian
 * package provides it, so the cross build carries its own copy of these few
 * definitions. They match the Windows x64 ABI: `long` has 32 bits there, so
 * jint is a 32-bit type either way.
 */
#ifndef QUILLON_WIN32_JNI_MD_H
#define QUILLON_WIN32_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef __int64 jlong;
typedef signed char jbyte;

#endif
