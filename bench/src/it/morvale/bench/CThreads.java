package it.morvale.bench;

/**
 * The C way of the throughput benchmark (bench/cthreads.cpp): native threads signing at once,
 * each on a session of its own, on the module initialised with CKF_OS_LOCKING_OK.
 */
final class CThreads {
  private CThreads() {}

  /**
   * Loads the module and initialises it to lock for itself; false when another user of the
   * process had initialised it already.
   */
  static native boolean open(String modulePath);

  /** The handle of the one object of the class labelled so that a session of the slot sees. */
  static native long find(long slot, String label, long objectClass);

  /**
   * Signs `input` with `key` by `mechanism` on `threads` threads, each with its own session, for
   * `nanos` nanoseconds; the signatures finished in that time. The threads' CPU time while they
   * signed is added to cpu[0].
   */
  static native long sign(long slot, long mechanism, long key, byte[] input, int signatureLength,
      int threads, long nanos, long[] cpu);
}
