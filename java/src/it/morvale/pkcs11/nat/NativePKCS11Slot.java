package it.morvale.pkcs11.nat;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.PKCS11MechanismInfo;
import it.morvale.pkcs11.PKCS11SlotInfo;
import it.morvale.pkcs11.PKCS11TokenInfo;

/**
 * A slot of a Cryptoki module. The bridge reads the slot number from the {@code int} field {@link
 * #slotID} on every call.
 *
 * <p>Most methods take the function-list handle ({@link NativePKCS11#functionListHandler(long)});
 * {@link #setPinRules(long)}, {@link #control} and {@link #control2} take the module handle
 * ({@link NativePKCS11#loadPKCS11Library(String)}) because they reach vendor functions that the
 * module exports by name.
 */
public class NativePKCS11Slot {
  /** The module this slot belongs to. */
  final NativePKCS11 module;

  /** The slot number ({@code CK_SLOT_ID}), read by the bridge. */
  final int slotID;

  /**
   * Creates a slot object; the bridge calls this when listing slots.
   *
   * @param module the owning module
   * @param slotID the slot number
   */
  public NativePKCS11Slot(NativePKCS11 module, int slotID) {
    this.module = module;
    this.slotID = slotID;
  }

  /** @return the owning module */
  public NativePKCS11 getModule() { return module; }

  /** @return the slot number */
  public int getSlotID() { return slotID; }

  /**
   * Calls {@code C_GetSlotInfo}.
   *
   * @param functionList the function-list handle
   * @return the slot information; null after throwing
   * @throws PKCS11Exception on a non-zero return code
   */
  public native PKCS11SlotInfo getInfo(long functionList) throws PKCS11Exception;

  /**
   * Calls {@code C_GetTokenInfo}.
   *
   * @param functionList the function-list handle
   * @return the token information; null after throwing
   * @throws PKCS11Exception on a non-zero return code
   */
  public native PKCS11TokenInfo getTokenInfo(long functionList) throws PKCS11Exception;

  /**
   * Calls {@code C_GetTokenInfo} and returns only the token's serial number, untrimmed.
   *
   * @param functionList the function-list handle
   * @return the serial number field; null after throwing
   * @throws PKCS11Exception on a non-zero return code
   */
  public native String getTokenSN(long functionList) throws PKCS11Exception;

  /**
   * Calls {@code C_GetMechanismList}.
   *
   * @param functionList the function-list handle
   * @return the mechanism types supported by the token; null after throwing
   * @throws PKCS11Exception on a non-zero return code or when no buffer can be allocated
   */
  public native int[] getMechanismList(long functionList) throws PKCS11Exception;

  /**
   * Calls {@code C_GetMechanismInfo}.
   *
   * @param functionList the function-list handle
   * @param mechanism the mechanism type ({@code CKM_} value)
   * @return the mechanism information; null after throwing
   * @throws PKCS11Exception on a non-zero return code
   */
  public native PKCS11MechanismInfo getMechanismInfo(long functionList, int mechanism)
      throws PKCS11Exception;

  /**
   * Calls {@code C_InitToken}.
   *
   * @param functionList the function-list handle
   * @param puk the Security Officer PIN
   * @param label the token label; blank-padded to 32 bytes for the module
   * @throws PKCS11Exception on a non-zero return code
   */
  public native void initToken(long functionList, String puk, String label) throws PKCS11Exception;

  /**
   * Calls {@code C_OpenSession} without an application pointer or notify callback.
   *
   * @param functionList the function-list handle
   * @param flags the session flags ({@code CKF_SERIAL_SESSION}, {@code CKF_RW_SESSION})
   * @return the new session; null after throwing
   * @throws PKCS11Exception on a non-zero return code
   */
  public native NativePKCS11Session openSession(long functionList, int flags)
      throws PKCS11Exception;

  /**
   * Calls {@code C_CloseAllSessions}.
   *
   * @param functionList the function-list handle
   * @throws PKCS11Exception on a non-zero return code
   */
  public native void closeAllSessions(long functionList) throws PKCS11Exception;

  /**
   * Sends the fixed 152-byte PIN-rules block to the reader of this slot through the vendor
   * function {@code C_Control}, command 0.
   *
   * @param module the module handle
   * @throws PKCS11Exception when the module does not export the function or it fails
   */
  public native void setPinRules(long module) throws PKCS11Exception;

  /**
   * Calls the vendor function {@code C_Control} on this slot.
   *
   * @param module the module handle
   * @param command the vendor command
   * @param data the command data buffer
   * @param length the data length passed to the vendor function
   * @throws PKCS11Exception when the module does not export the function or it fails
   */
  public native void control(long module, int command, byte[] data, long length)
      throws PKCS11Exception;

  /**
   * Calls the vendor function {@code C_Control2}, which addresses a reader by name rather than
   * this slot.
   *
   * @param module the module handle
   * @param readerName the reader name
   * @param command the vendor command
   * @param data the command data buffer
   * @param length the data length passed to the vendor function
   * @throws PKCS11Exception when the module does not export the function or it fails
   */
  public native void control2(long module, String readerName, int command, byte[] data, long length)
      throws PKCS11Exception;

  @Override
  public String toString() {
    return "NativePKCS11Slot[slotID=" + slotID + "]";
  }
}
