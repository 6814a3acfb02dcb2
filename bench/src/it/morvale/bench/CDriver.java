package it.morvale.bench;

/**
 * The C way of the benchmark (bench/cdriver.cpp): the module called through its function list,
 * each timing loop run in C between two clock readings.
 */
final class CDriver {
  private CDriver() {}

  /** Loads the module, takes its function list and initialises it; returns the list's address. */
  static native long open(String modulePath);

  /** Sets the answering module's slot count; false for any other module. */
  static native boolean setSlots(int count);

  /** Opens a read-write session on the first token and logs in: {slot, session}. */
  static native long[] openSession(String pin);

  /** Makes the keys and search objects: {RSA public, RSA private, EC private, AES}. */
  static native long[] makeKeys();

  /** Sets the objects that the operations use. */
  static native void prepare(long readObject, long rsaKey, long ecKey, long aesKey);

  /** Runs an operation `calls` times in C; the nanoseconds taken. */
  static native long time(int op, int calls, int size);
}
