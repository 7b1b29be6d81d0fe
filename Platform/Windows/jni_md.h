// Machine-dependent JNI types for Windows x64. The Linux JDK ships only its own jni_md.h, so the
// cross build takes this one: exports are dllexport, jint is 32-bit and jlong 64-bit, as the
// Windows JDK defines them.
#ifndef _JAVASOFT_JNI_MD_H_
#define _JAVASOFT_JNI_MD_H_

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef int jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
