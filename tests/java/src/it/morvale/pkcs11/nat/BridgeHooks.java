package it.morvale.pkcs11.nat;

import it.morvale.pkcs11.PKCS11Exception;

/** Test-only native hooks, from the quillon_hooks library loaded beside the bridge. */
final class BridgeHooks {
  private BridgeHooks() {}

  static native void throwCKExc(long rv) throws PKCS11Exception;

  static native void throwCKExcAS(long rv) throws PKCS11Exception;

  static native void flushStdout();

  static native void setTraceVariable(boolean set);

  static native int debugFlag();

  /** Opens the library once more, so that it stays mapped when the Java VM unloads it. */
  static native boolean holdLibrary(String path);
}
