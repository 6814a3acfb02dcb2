package it.morvale.pkcs11.nat;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.PKCS11Info;

/**
 * Entry point to a Cryptoki module through the quillon bridge.
 *
 * <p>Two handles are in play. The <em>module handle</em> is returned by {@link
 * #loadPKCS11Library(String)} and identifies the loaded library; it is used only by {@link
 * #functionListHandler(long)} and by the vendor calls that the module exports by name. The
 * <em>function-list handle</em> is returned by {@link #functionListHandler(long)} and is passed to
 * every standard Cryptoki call. Both are plain numbers held by Java; the bridge keeps no state.
 *
 * <p>The usual order is {@code loadPKCS11Library}, {@code functionListHandler}, {@code
 * libInitialize}, then any calls on the module, its slots, sessions and objects, and finally
 * {@code libFinalize}. {@code libInitialize} tells the module that it will not be entered from
 * several threads at once, so callers must serialise all calls into one module; {@link
 * #libInitializeThreaded(long)} lets a module that locks for itself be entered concurrently.
 */
public class NativePKCS11 {
  /** Creates a module object; it holds no native resources until a library is loaded. */
  public NativePKCS11() {}

  /**
   * Loads the bridge's native library from an absolute path ({@link System#load(String)}).
   *
   * @param absolutePath absolute path of libquillon.so or quillon.dll
   */
  public static void loadBridge(String absolutePath) { System.load(absolutePath); }

  /**
   * Loads the bridge's native library from the first of three places that has it: the file named
   * by the system property {@code quillon.library}; {@code quillon} on {@code java.library.path};
   * the copy that this jar carries for the running platform (Linux and Windows on x86-64),
   * extracted to a private temporary file. Later calls do nothing.
   *
   * @throws UnsatisfiedLinkError naming the platform and the places looked in, when none has a
   *     library that loads
   */
  public static void loadBridge() { BridgeLoader.load(); }

  /**
   * Loads a Cryptoki module. When the environment variable {@code PKCS11_ZOR_DEBUG} is set
   * (even to an empty value) tracing is switched on and standard output goes to the trace log.
   *
   * @param modulePath file path of the Cryptoki shared library
   * @return the module handle; 0 after throwing
   * @throws PKCS11Exception when the library cannot be loaded
   */
  public native long loadPKCS11Library(String modulePath) throws PKCS11Exception;

  /**
   * Calls the module's {@code C_GetFunctionList}.
   *
   * @param module the module handle from {@link #loadPKCS11Library(String)}
   * @return the function-list handle; 0 after throwing
   * @throws PKCS11Exception when the function list cannot be obtained
   */
  public native long functionListHandler(long module) throws PKCS11Exception;

  /**
   * Calls {@code C_Initialize} with no arguments.
   *
   * @param functionList the function-list handle
   * @throws PKCS11Exception on a non-zero return code
   */
  public native void libInitialize(long functionList) throws PKCS11Exception;

  /**
   * Calls {@code C_Initialize} with initialisation arguments whose flags are {@code
   * CKF_OS_LOCKING_OK} and whose mutex callbacks are null: the module may then be entered from
   * several threads at once and does its own locking with the operating system's primitives. A
   * module that cannot do that refuses the call, typically with {@code CKR_CANT_LOCK}.
   *
   * @param functionList the function-list handle
   * @throws PKCS11Exception on a non-zero return code
   */
  public native void libInitializeThreaded(long functionList) throws PKCS11Exception;

  /**
   * Calls {@code C_Finalize}. Unlike every other method this one reports failure by its return
   * value, not by throwing. The module is not unloaded.
   *
   * @param module reserved, not used
   * @param functionList the function-list handle
   * @return the return code of {@code C_Finalize} (0 on success)
   * @throws PKCS11Exception declared for uniformity; not thrown in practice
   */
  public native long libFinalize(long module, long functionList) throws PKCS11Exception;

  /**
   * Waiting for slot events is not offered by the bridge.
   *
   * @param functionList reserved, not used
   * @param flags reserved, not used
   * @return never returns normally (0 after throwing)
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native int waitForSlotEvent(long functionList, int flags) throws PKCS11Exception;

  /**
   * Returns the version text of the native bridge.
   *
   * @return the bridge version, for example "2.00"
   * @throws PKCS11Exception declared for uniformity
   */
  public native String getBridgeVersion() throws PKCS11Exception;

  /**
   * RSA credential lookup by alias. The bridge has no implementation of the lookup, so this
   * always fails.
   *
   * @param unused reserved, not used
   * @param alias alias of the credential
   * @param flags lookup flags
   * @param pin PIN, may be null
   * @return never returns normally (null after throwing)
   * @throws PKCS11Exception always
   */
  public native Object[] getRSAcredential(long unused, String alias, int flags, String pin)
      throws PKCS11Exception;

  /**
   * Calls {@code C_GetInfo}.
   *
   * @param functionList the function-list handle
   * @return the module information; null after throwing or when the object cannot be built
   * @throws PKCS11Exception on a non-zero return code
   */
  public native PKCS11Info getInfo(long functionList) throws PKCS11Exception;

  /**
   * Calls {@code C_GetSlotList} and wraps each slot number in a {@link NativePKCS11Slot} of this
   * module.
   *
   * @param functionList the function-list handle
   * @param tokenPresent true to list only slots with a token present
   * @return the slots; null when there are none, after throwing, or when an object cannot be
   *     built
   * @throws PKCS11Exception on a non-zero return code
   */
  public native NativePKCS11Slot[] getSlotList(long functionList, boolean tokenPresent)
      throws PKCS11Exception;

  @Override
  public String toString() {
    return "NativePKCS11@" + Integer.toHexString(System.identityHashCode(this));
  }
}
