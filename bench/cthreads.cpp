// The C side of the throughput benchmark (class it.morvale.bench.CThreads):
// signatures made by N native threads at once, each on a session of its own,
// with the module initialised to lock for itself (CKF_OS_LOCKING_OK). It is
// the most that the module gives when nothing but Cryptoki calls stand
// between the threads and it, the limit for the Java providers.
#include <dlfcn.h>
#include <jni.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <p11-kit/pkcs11.h>

namespace {

CK_FUNCTION_LIST* functions = nullptr;
// A session kept open for the look-ups, so that the login of the token lasts
// while the driver works even when nobody else holds a session.
CK_SESSION_HANDLE anchor = CK_INVALID_HANDLE;

const int kMostThreads = 64;

long long nanosOf(clockid_t which) {
  struct timespec t;
  clock_gettime(which, &t);
  return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

long long now() {
  return nanosOf(CLOCK_MONOTONIC);
}

void fail(JNIEnv* env, CK_RV rv, const char* what) {
  if (env->ExceptionCheck()) return;
  char message[160];
  snprintf(message, sizeof message, "%s failed: 0x%lx", what, static_cast<unsigned long>(rv));
  jclass error = env->FindClass("java/lang/IllegalStateException");
  if (error != nullptr) env->ThrowNew(error, message);
}

// What every thread of one run signs with, and when it stops.
struct Run {
  CK_SLOT_ID slot;
  CK_MECHANISM_TYPE mechanism;
  CK_OBJECT_HANDLE key;
  const CK_BYTE* input;
  CK_ULONG inputLength;
  CK_ULONG signatureLength;
  pthread_barrier_t opened;  // every thread has its session
  pthread_barrier_t go;      // the deadline is set
  long long deadline;
};

// One thread of a run: its own session, then signatures until the deadline.
// Only those finished before the deadline count.
struct Worker {
  Run* run;
  pthread_t thread;
  long long signatures;
  long long cpu;  // the thread's CPU time while it signed
  CK_RV failure;
  const char* failed;
};

void* work(void* argument) {
  Worker* worker = static_cast<Worker*>(argument);
  Run* run = worker->run;
  CK_SESSION_HANDLE session = CK_INVALID_HANDLE;
  CK_RV rv = functions->C_OpenSession(run->slot, CKF_SERIAL_SESSION, nullptr, nullptr, &session);
  if (rv != CKR_OK) worker->failed = "C_OpenSession";
  pthread_barrier_wait(&run->opened);
  pthread_barrier_wait(&run->go);
  long long start = nanosOf(CLOCK_THREAD_CPUTIME_ID);
  CK_BYTE signature[1024];
  CK_MECHANISM mechanism = {run->mechanism, nullptr, 0};
  long long done = 0;
  while (rv == CKR_OK) {
    rv = functions->C_SignInit(session, &mechanism, run->key);
    if (rv != CKR_OK) {
      worker->failed = "C_SignInit";
      break;
    }
    CK_ULONG length = run->signatureLength;
    rv = functions->C_Sign(session, const_cast<CK_BYTE*>(run->input), run->inputLength, signature,
                           &length);
    if (rv != CKR_OK) {
      worker->failed = "C_Sign";
      break;
    }
    if (now() >= run->deadline) break;
    ++done;
  }
  worker->cpu = nanosOf(CLOCK_THREAD_CPUTIME_ID) - start;
  if (session != CK_INVALID_HANDLE) functions->C_CloseSession(session);
  worker->signatures = done;
  worker->failure = rv;
  return nullptr;
}

}  // namespace

extern "C" {

JNIEXPORT jboolean JNICALL Java_it_morvale_bench_CThreads_open(JNIEnv* env, jclass, jstring path) {
  const char* file = env->GetStringUTFChars(path, nullptr);
  if (file == nullptr) return JNI_FALSE;
  void* library = dlopen(file, RTLD_NOW);
  env->ReleaseStringUTFChars(path, file);
  if (library == nullptr) {
    fail(env, CKR_GENERAL_ERROR, dlerror());
    return JNI_FALSE;
  }
  CK_C_GetFunctionList getList =
      reinterpret_cast<CK_C_GetFunctionList>(dlsym(library, "C_GetFunctionList"));
  CK_RV rv = getList == nullptr ? CKR_GENERAL_ERROR : getList(&functions);
  if (rv != CKR_OK) {
    fail(env, rv, "C_GetFunctionList");
    return JNI_FALSE;
  }
  CK_C_INITIALIZE_ARGS args;
  memset(&args, 0, sizeof args);
  args.flags = CKF_OS_LOCKING_OK;
  rv = functions->C_Initialize(&args);
  if (rv == CKR_CRYPTOKI_ALREADY_INITIALIZED) return JNI_FALSE;
  if (rv != CKR_OK) fail(env, rv, "C_Initialize");
  return rv == CKR_OK ? JNI_TRUE : JNI_FALSE;
}

// The one object of `objectClass` labelled `label` that a session of `slot`
// sees.
JNIEXPORT jlong JNICALL Java_it_morvale_bench_CThreads_find(JNIEnv* env, jclass, jlong slot,
                                                            jstring label, jlong objectClass) {
  CK_RV rv;
  if (anchor == CK_INVALID_HANDLE) {
    rv = functions->C_OpenSession(static_cast<CK_SLOT_ID>(slot), CKF_SERIAL_SESSION, nullptr,
                                  nullptr, &anchor);
    if (rv != CKR_OK) {
      fail(env, rv, "C_OpenSession");
      return 0;
    }
  }
  const char* text = env->GetStringUTFChars(label, nullptr);
  if (text == nullptr) return 0;
  CK_OBJECT_CLASS wanted = static_cast<CK_OBJECT_CLASS>(objectClass);
  CK_ATTRIBUTE match[] = {{CKA_CLASS, &wanted, sizeof wanted},
                          {CKA_LABEL, const_cast<char*>(text), strlen(text)}};
  rv = functions->C_FindObjectsInit(anchor, match, 2);
  CK_OBJECT_HANDLE found[2];
  CK_ULONG count = 0;
  if (rv == CKR_OK) rv = functions->C_FindObjects(anchor, found, 2, &count);
  if (rv == CKR_OK) rv = functions->C_FindObjectsFinal(anchor);
  env->ReleaseStringUTFChars(label, text);
  if (rv == CKR_OK && count != 1) rv = CKR_OBJECT_HANDLE_INVALID;
  if (rv != CKR_OK) {
    fail(env, rv, "finding the key");
    return 0;
  }
  return static_cast<jlong>(found[0]);
}

// Signs `input` with `key` by `mechanism` on `threads` threads at once for
// `nanos` nanoseconds; returns the signatures finished in that time and adds
// the threads' CPU time while they signed to cpu[0]. Sessions are opened
// before the clock starts and closed after it stops.
JNIEXPORT jlong JNICALL Java_it_morvale_bench_CThreads_sign(JNIEnv* env, jclass, jlong slot,
                                                            jlong mechanism, jlong key,
                                                            jbyteArray input, jint signatureLength,
                                                            jint threads, jlong nanos,
                                                            jlongArray cpu) {
  if (threads < 1 || threads > kMostThreads || signatureLength > 1024) {
    fail(env, CKR_ARGUMENTS_BAD, "the run's arguments");
    return 0;
  }
  jsize length = env->GetArrayLength(input);
  CK_BYTE* bytes = static_cast<CK_BYTE*>(malloc(length > 0 ? length : 1));
  if (bytes == nullptr) {
    fail(env, CKR_HOST_MEMORY, "malloc");
    return 0;
  }
  env->GetByteArrayRegion(input, 0, length, reinterpret_cast<jbyte*>(bytes));
  Run run;
  run.slot = static_cast<CK_SLOT_ID>(slot);
  run.mechanism = static_cast<CK_MECHANISM_TYPE>(mechanism);
  run.key = static_cast<CK_OBJECT_HANDLE>(key);
  run.input = bytes;
  run.inputLength = static_cast<CK_ULONG>(length);
  run.signatureLength = static_cast<CK_ULONG>(signatureLength);
  run.deadline = 0;
  pthread_barrier_init(&run.opened, nullptr, static_cast<unsigned>(threads) + 1);
  pthread_barrier_init(&run.go, nullptr, static_cast<unsigned>(threads) + 1);
  Worker workers[kMostThreads];
  int started = 0;
  for (; started < threads; ++started) {
    Worker& worker = workers[started];
    worker.run = &run;
    worker.signatures = 0;
    worker.cpu = 0;
    worker.failure = CKR_OK;
    worker.failed = nullptr;
    if (pthread_create(&worker.thread, nullptr, work, &worker) != 0) break;
    // Named, so that a profile (perf report --sort comm) tells these threads from the VM's.
    pthread_setname_np(worker.thread, "cthreads");
  }
  if (started < threads) {
    // The barriers wait for every thread: without all of them the run
    // cannot start, so the process has no sensible way on.
    fprintf(stderr, "cthreads: cannot start thread %d of %d\n", started + 1, threads);
    abort();
  }
  pthread_barrier_wait(&run.opened);
  run.deadline = now() + nanos;
  pthread_barrier_wait(&run.go);
  long long total = 0;
  long long spent = 0;
  CK_RV failure = CKR_OK;
  const char* failed = nullptr;
  for (int i = 0; i < threads; ++i) {
    pthread_join(workers[i].thread, nullptr);
    total += workers[i].signatures;
    spent += workers[i].cpu;
    if (workers[i].failure != CKR_OK && failed == nullptr) {
      failure = workers[i].failure;
      failed = workers[i].failed;
    }
  }
  pthread_barrier_destroy(&run.opened);
  pthread_barrier_destroy(&run.go);
  free(bytes);
  if (failed != nullptr) {
    fail(env, failure, failed);
    return 0;
  }
  jlong added[1];
  env->GetLongArrayRegion(cpu, 0, 1, added);
  added[0] += static_cast<jlong>(spent);
  env->SetLongArrayRegion(cpu, 0, 1, added);
  return static_cast<jlong>(total);
}

}  // extern "C"
