package it.morvale.pkcs11.nat;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.PKCS11SessionInfo;

/**
 * A session with a token. The bridge reads the session handle from the {@code int} field {@link
 * #sessionID} on every call.
 *
 * <p>Most methods take the function-list handle ({@link NativePKCS11#functionListHandler(long)}).
 * {@link #initPIN4}, {@link #initPIN4Bit}, {@link #setPIN4}, {@link #setTokenParam} and {@link
 * #getTokenParam} take the module handle ({@link NativePKCS11#loadPKCS11Library(String)}) because
 * they reach vendor functions that the module exports by name.
 *
 * <p>Mechanisms are passed by type alone; the bridge builds them without a parameter, so every
 * {@code parameter} argument is reserved and not used. Output buffers follow the Cryptoki
 * convention: where allowed, pass null to learn the needed length, then call again with an array
 * of that length.
 */
public class NativePKCS11Session {
  /** The slot this session was opened on. */
  final NativePKCS11Slot slot;

  /** The session handle ({@code CK_SESSION_HANDLE}), read by the bridge. */
  final int sessionID;

  /**
   * Creates a session object; the bridge calls this when a session is opened.
   *
   * @param slot the slot of the session
   * @param sessionID the session handle
   */
  public NativePKCS11Session(NativePKCS11Slot slot, int sessionID) {
    this.slot = slot;
    this.sessionID = sessionID;
  }

  /** @return the slot of the session */
  public NativePKCS11Slot getSlot() { return slot; }

  /** @return the session handle */
  public int getSessionID() { return sessionID; }

  /**
   * Calls {@code C_CloseSession}.
   *
   * @param functionList the function-list handle
   * @throws PKCS11Exception on a non-zero return code
   */
  public native void close(long functionList) throws PKCS11Exception;

  /**
   * Calls {@code C_GetSessionInfo}.
   *
   * @param functionList the function-list handle
   * @return the session information; null after throwing
   * @throws PKCS11Exception on a non-zero return code
   */
  public native PKCS11SessionInfo getInfo(long functionList) throws PKCS11Exception;

  /**
   * Calls {@code C_Login} with the PIN and its UTF-8 byte length.
   *
   * @param functionList the function-list handle
   * @param securityOfficer true to log in as Security Officer, false as normal user
   * @param pin the PIN
   * @throws PKCS11Exception on a non-zero return code
   */
  public native void login(long functionList, boolean securityOfficer, String pin)
      throws PKCS11Exception;

  /**
   * Calls {@code C_Login} as context-specific user, for operations that demand a fresh PIN.
   *
   * @param functionList the function-list handle
   * @param pin the PIN
   * @throws PKCS11Exception on a non-zero return code
   */
  public native void loginContextSpecific(long functionList, String pin) throws PKCS11Exception;

  /**
   * Calls {@code C_Login} with no PIN, for tokens with a protected authentication path (PIN pad).
   *
   * @param functionList the function-list handle
   * @param securityOfficer true to log in as Security Officer, false as normal user
   * @throws PKCS11Exception on a non-zero return code
   */
  public native void loginAuthPath(long functionList, boolean securityOfficer)
      throws PKCS11Exception;

  /**
   * Calls {@code C_Logout}.
   *
   * @param functionList the function-list handle
   * @throws PKCS11Exception on a non-zero return code
   */
  public native void logout(long functionList) throws PKCS11Exception;

  /**
   * Calls {@code C_InitPIN}; needs a Security Officer login.
   *
   * @param functionList the function-list handle
   * @param pin the new user PIN
   * @throws PKCS11Exception on a non-zero return code
   */
  public native void initPIN(long functionList, String pin) throws PKCS11Exception;

  /**
   * Calls {@code C_SetPIN}.
   *
   * @param functionList the function-list handle
   * @param oldPin the current PIN
   * @param newPin the new PIN
   * @throws PKCS11Exception on a non-zero return code
   */
  public native void setPIN(long functionList, String oldPin, String newPin) throws PKCS11Exception;

  /**
   * Calls {@code C_FindObjectsInit} with a template built from the two parallel arrays.
   *
   * @param functionList the function-list handle
   * @param types the attribute types
   * @param values the attribute values, parallel to {@code types}
   * @throws PKCS11Exception when the arrays differ in length or on a non-zero return code
   */
  public native void findObjectsInit(long functionList, int[] types, Object[] values)
      throws PKCS11Exception;

  /**
   * Calls {@code C_FindObjects} for one object.
   *
   * @param functionList the function-list handle
   * @return the next matching object; null when the search is exhausted or fails
   * @throws PKCS11Exception on a non-zero return code
   */
  public native NativePKCS11Object findObject(long functionList) throws PKCS11Exception;

  /**
   * Calls {@code C_FindObjectsFinal}.
   *
   * @param functionList the function-list handle
   * @throws PKCS11Exception on a non-zero return code
   */
  public native void findObjectsFinal(long functionList) throws PKCS11Exception;

  /**
   * Calls {@code C_CreateObject} with a template built from the two parallel arrays.
   *
   * @param functionList the function-list handle
   * @param types the attribute types
   * @param values the attribute values, parallel to {@code types}
   * @return the new object; null on failure
   * @throws PKCS11Exception when the arrays differ in length or on a non-zero return code
   */
  public native NativePKCS11Object createObject(long functionList, int[] types, Object[] values)
      throws PKCS11Exception;

  /**
   * Creates an X.509 certificate object on the token with a fixed template; the new object is not
   * returned.
   *
   * @param functionList the function-list handle
   * @param vendorValue value of the vendor-defined attribute of the template
   * @param certificate the DER-encoded certificate
   * @param id reserved, not used
   * @param subject the subject
   * @param serialNumber the serial number
   * @param issuer the issuer
   * @param label the object label
   * @throws PKCS11Exception on a non-zero return code
   */
  public native void installCertificate(long functionList, long vendorValue, byte[] certificate,
      byte[] id, String subject, String serialNumber, String issuer, String label)
      throws PKCS11Exception;

  /**
   * Calls {@code C_SignInit} with the mechanism type and no mechanism parameter.
   *
   * @param functionList the function-list handle
   * @param mechanism the mechanism type ({@code CKM_} value)
   * @param parameter reserved, not used
   * @param key the key object
   * @throws PKCS11Exception on a non-zero return code
   */
  public native void signInit(long functionList, int mechanism, byte[] parameter,
      NativePKCS11Object key) throws PKCS11Exception;

  /**
   * Calls {@code C_Sign} on the first {@code length} bytes of {@code data}.
   *
   * @param functionList the function-list handle
   * @param data the data
   * @param offset reserved, not used
   * @param length number of bytes to sign
   * @param signature output buffer, or null to learn the signature length
   * @return the signature length, or the needed length when {@code signature} is null; -1 after a
   *     failure
   * @throws PKCS11Exception on a non-zero return code
   */
  public native int sign(long functionList, byte[] data, int offset, int length, byte[] signature)
      throws PKCS11Exception;

  /**
   * Calls {@code C_EncryptInit} with the mechanism type and no mechanism parameter.
   *
   * @param functionList the function-list handle
   * @param mechanism the mechanism type ({@code CKM_} value)
   * @param parameter reserved, not used
   * @param key the key object
   * @throws PKCS11Exception on a non-zero return code
   */
  public native void encryptInit(long functionList, int mechanism, byte[] parameter,
      NativePKCS11Object key) throws PKCS11Exception;

  /**
   * Calls {@code C_Encrypt} on the first {@code length} bytes of {@code data}.
   *
   * @param functionList the function-list handle
   * @param data the data
   * @param offset reserved, not used
   * @param length number of bytes to encrypt
   * @param output output buffer of at least {@code length} bytes
   * @return the encrypted length; -1 after a failure
   * @throws PKCS11Exception on a non-zero return code
   */
  public native int encrypt(long functionList, byte[] data, int offset, int length, byte[] output)
      throws PKCS11Exception;

  /**
   * Calls {@code C_DecryptInit} with the mechanism type and no mechanism parameter.
   *
   * @param functionList the function-list handle
   * @param mechanism the mechanism type ({@code CKM_} value)
   * @param parameter reserved, not used
   * @param key the key object
   * @throws PKCS11Exception on a non-zero return code
   */
  public native void decryptInit(long functionList, int mechanism, byte[] parameter,
      NativePKCS11Object key) throws PKCS11Exception;

  /**
   * Calls {@code C_Decrypt} on the first {@code length} bytes of {@code data}.
   *
   * @param functionList the function-list handle
   * @param data the encrypted data
   * @param offset reserved, not used
   * @param length number of bytes to decrypt
   * @param output output buffer, or null to learn the needed length
   * @return the decrypted length, or the needed length when {@code output} is null; -1 after a
   *     failure
   * @throws PKCS11Exception on a non-zero return code
   */
  public native int decrypt(long functionList, byte[] data, int offset, int length, byte[] output)
      throws PKCS11Exception;

  /**
   * Calls {@code C_WrapKey} with the mechanism type and no mechanism parameter.
   *
   * @param functionList the function-list handle
   * @param mechanism the mechanism type
   * @param parameter reserved, not used
   * @param wrappingKey the wrapping key
   * @param key the key to wrap
   * @param output output buffer for the wrapped key
   * @return the wrapped-key length; -1 after a failure
   * @throws PKCS11Exception on a non-zero return code
   */
  public native int wrapKey(long functionList, int mechanism, byte[] parameter,
      NativePKCS11Object wrappingKey, NativePKCS11Object key, byte[] output) throws PKCS11Exception;

  /**
   * Calls {@code C_UnwrapKey} with the mechanism type and no mechanism parameter.
   *
   * @param functionList the function-list handle
   * @param mechanism the mechanism type
   * @param parameter reserved, not used
   * @param unwrappingKey the unwrapping key
   * @param wrappedKey the wrapped key
   * @param offset reserved, not used
   * @param length number of bytes of {@code wrappedKey} to use
   * @param types attribute types of the new key
   * @param values attribute values, parallel to {@code types}
   * @return the new key; null on failure
   * @throws PKCS11Exception when the arrays differ in length or on a non-zero return code
   */
  public native NativePKCS11Object unwrapKey(long functionList, int mechanism, byte[] parameter,
      NativePKCS11Object unwrappingKey, byte[] wrappedKey, int offset, int length, int[] types,
      Object[] values) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param part reserved, not used
   * @param offset reserved, not used
   * @param length reserved, not used
   * @throws PKCS11Exception always, with the message "Not supported YET"
   */
  public native void signUpdate(long functionList, byte[] part, int offset, int length)
      throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param signature reserved, not used
   * @return never returns normally (-1 after throwing)
   * @throws PKCS11Exception always, with the message "Not supported YET"
   */
  public native int signFinal(long functionList, byte[] signature) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @return never returns normally (null after throwing)
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native byte[] getOperationState(long functionList) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param state reserved, not used
   * @param encryptionKey reserved, not used
   * @param authenticationKey reserved, not used
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native void setOperationState(long functionList, byte[] state,
      NativePKCS11Object encryptionKey, NativePKCS11Object authenticationKey)
      throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param part reserved, not used
   * @param offset reserved, not used
   * @param length reserved, not used
   * @param output reserved, not used
   * @return never returns normally (0 after throwing)
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native int encryptUpdate(
      long functionList, byte[] part, int offset, int length, byte[] output) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param output reserved, not used
   * @return never returns normally (0 after throwing)
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native int encryptFinal(long functionList, byte[] output) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param part reserved, not used
   * @param offset reserved, not used
   * @param length reserved, not used
   * @param output reserved, not used
   * @return never returns normally (0 after throwing)
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native int decryptUpdate(
      long functionList, byte[] part, int offset, int length, byte[] output) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param output reserved, not used
   * @return never returns normally (0 after throwing)
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native int decryptFinal(long functionList, byte[] output) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param mechanism reserved, not used
   * @param parameter reserved, not used
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native void digestInit(long functionList, int mechanism, byte[] parameter)
      throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param data reserved, not used
   * @param offset reserved, not used
   * @param length reserved, not used
   * @param digest reserved, not used
   * @return never returns normally (0 after throwing)
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native int digest(long functionList, byte[] data, int offset, int length, byte[] digest)
      throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param part reserved, not used
   * @param offset reserved, not used
   * @param length reserved, not used
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native void digestUpdate(long functionList, byte[] part, int offset, int length)
      throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param key reserved, not used
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native void digestKey(long functionList, NativePKCS11Object key) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param digest reserved, not used
   * @return never returns normally (0 after throwing)
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native int digestFinal(long functionList, byte[] digest) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param mechanism reserved, not used
   * @param parameter reserved, not used
   * @param key reserved, not used
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native void signRecoverInit(long functionList, int mechanism, byte[] parameter,
      NativePKCS11Object key) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param data reserved, not used
   * @param offset reserved, not used
   * @param length reserved, not used
   * @param signature reserved, not used
   * @return never returns normally (0 after throwing)
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native int signRecover(long functionList, byte[] data, int offset, int length,
      byte[] signature) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param mechanism reserved, not used
   * @param parameter reserved, not used
   * @param key reserved, not used
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native void verifyInit(long functionList, int mechanism, byte[] parameter,
      NativePKCS11Object key) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param data reserved, not used
   * @param offset reserved, not used
   * @param length reserved, not used
   * @param signature reserved, not used
   * @return never returns normally (false after throwing)
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native boolean verify(long functionList, byte[] data, int offset, int length,
      byte[] signature) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param part reserved, not used
   * @param offset reserved, not used
   * @param length reserved, not used
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native void verifyUpdate(long functionList, byte[] part, int offset, int length)
      throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param signature reserved, not used
   * @return never returns normally (false after throwing)
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native boolean verifyFinal(long functionList, byte[] signature) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param mechanism reserved, not used
   * @param parameter reserved, not used
   * @param key reserved, not used
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native void verifyRecoverInit(long functionList, int mechanism, byte[] parameter,
      NativePKCS11Object key) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param signature reserved, not used
   * @param offset reserved, not used
   * @param length reserved, not used
   * @param data reserved, not used
   * @return never returns normally (0 after throwing)
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native int verifyRecover(long functionList, byte[] signature, int offset, int length,
      byte[] data) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param part reserved, not used
   * @param offset reserved, not used
   * @param length reserved, not used
   * @param output reserved, not used
   * @return never returns normally (0 after throwing)
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native int digestEncryptUpdate(
      long functionList, byte[] part, int offset, int length, byte[] output) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param part reserved, not used
   * @param offset reserved, not used
   * @param length reserved, not used
   * @param output reserved, not used
   * @return never returns normally (0 after throwing)
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native int decryptDigestUpdate(
      long functionList, byte[] part, int offset, int length, byte[] output) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param part reserved, not used
   * @param offset reserved, not used
   * @param length reserved, not used
   * @param output reserved, not used
   * @return never returns normally (0 after throwing)
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native int signEncryptUpdate(
      long functionList, byte[] part, int offset, int length, byte[] output) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param part reserved, not used
   * @param offset reserved, not used
   * @param length reserved, not used
   * @param output reserved, not used
   * @return never returns normally (0 after throwing)
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native int decryptVerifyUpdate(
      long functionList, byte[] part, int offset, int length, byte[] output) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param mechanism reserved, not used
   * @param parameter reserved, not used
   * @param baseKey reserved, not used
   * @param types reserved, not used
   * @param values reserved, not used
   * @return never returns normally (null after throwing)
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native NativePKCS11Object deriveKey(long functionList, int mechanism, byte[] parameter,
      NativePKCS11Object baseKey, int[] types, Object[] values) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param seed reserved, not used
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native void seedRandom(long functionList, byte[] seed) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @param randomData reserved, not used
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native void generateRandom(long functionList, byte[] randomData) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @return never returns normally (false after throwing)
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native boolean getFunctionStatus(long functionList) throws PKCS11Exception;

  /**
   * The bridge does not offer this operation.
   *
   * @param functionList reserved, not used
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native void cancelFunction(long functionList) throws PKCS11Exception;

  /**
   * Calls {@code C_GenerateKey} with the mechanism type, no mechanism parameter and a template
   * built from the two parallel arrays.
   *
   * @param functionList the function-list handle
   * @param mechanism the mechanism type
   * @param parameter reserved, not used
   * @param types attribute types of the new key
   * @param values attribute values, parallel to {@code types}
   * @return the new key; null on failure
   * @throws PKCS11Exception when the arrays differ in length or on a non-zero return code
   */
  public native NativePKCS11Object generateKey(long functionList, int mechanism, byte[] parameter,
      int[] types, Object[] values) throws PKCS11Exception;

  /**
   * Calls {@code C_GenerateKeyPair} with the mechanism type, no mechanism parameter and two
   * templates.
   *
   * @param functionList the function-list handle
   * @param mechanism the mechanism type
   * @param parameter reserved, not used
   * @param publicTypes public-key attribute types
   * @param publicValues public-key attribute values
   * @param privateTypes private-key attribute types
   * @param privateValues private-key attribute values
   * @return {public key, private key} as {@link NativePKCS11Object}s; null on failure
   * @throws PKCS11Exception when an array pair differs in length or on a non-zero return code
   */
  public native Object[] generateKeyPair(long functionList, int mechanism, byte[] parameter,
      int[] publicTypes, Object[] publicValues, int[] privateTypes, Object[] privateValues)
      throws PKCS11Exception;

  /**
   * Calls {@code C_GenerateKeyPair} with the bridge's fixed RSA key-pair templates, for an identity
   * or a utility key pair.
   *
   * @param functionList the function-list handle
   * @param mechanism the mechanism type
   * @param identity true for the identity key pair, false for the utility key pair
   * @return {public key, private key} as {@link NativePKCS11Object}s; null on failure
   * @throws PKCS11Exception on a non-zero return code
   */
  public native Object[] generateKeyPairOB(long functionList, int mechanism, boolean identity)
      throws PKCS11Exception;

  /**
   * Calls {@code C_Login} with a PIN given as raw bytes.
   *
   * @param functionList the function-list handle
   * @param securityOfficer true to log in as Security Officer, false as normal user
   * @param pin the PIN bytes
   * @throws PKCS11Exception on a non-zero return code
   */
  public native void loginellips(long functionList, boolean securityOfficer, byte[] pin)
      throws PKCS11Exception;

  /**
   * Calls {@code C_SetPIN} with PINs given as raw bytes.
   *
   * @param functionList the function-list handle
   * @param oldPin the current PIN bytes
   * @param newPin the new PIN bytes
   * @throws PKCS11Exception on a non-zero return code
   */
  public native void setPINellips(long functionList, byte[] oldPin, byte[] newPin)
      throws PKCS11Exception;

  /**
   * Calls the vendor function {@code C_InitPIN4}. The lengths are passed to it unchanged.
   *
   * @param module the module handle
   * @param puk the PUK, or null
   * @param pukLength length passed with the PUK
   * @param newPin the new PIN
   * @param newPinLength length passed with the new PIN
   * @param option1 first vendor option; its low 8 bits are passed
   * @param option2 second vendor option; its low 8 bits are passed
   * @throws PKCS11Exception when the module does not export the function or it fails
   */
  public native void initPIN4(long module, String puk, long pukLength, String newPin,
      long newPinLength, int option1, int option2) throws PKCS11Exception;

  /**
   * Calls the vendor PIN initialisation function without options. The lengths are passed to it
   * unchanged.
   *
   * @param module the module handle
   * @param puk the PUK, or null
   * @param pukLength length passed with the PUK
   * @param newPin the new PIN
   * @param newPinLength length passed with the new PIN
   * @throws PKCS11Exception when the module does not export the function or it fails
   */
  public native void initPIN4Bit(long module, String puk, long pukLength, String newPin,
      long newPinLength) throws PKCS11Exception;

  /**
   * Calls the vendor function {@code C_SetPIN4}. The lengths are passed to it unchanged.
   *
   * @param module the module handle
   * @param oldPin the current PIN, or null
   * @param oldPinLength length passed with the current PIN
   * @param newPin the new PIN
   * @param newPinLength length passed with the new PIN
   * @throws PKCS11Exception when the module does not export the function or it fails
   */
  public native void setPIN4(long module, String oldPin, long oldPinLength, String newPin,
      long newPinLength) throws PKCS11Exception;

  /**
   * Calls the vendor function {@code C_SetTokenParam}. The lengths are passed to it unchanged.
   *
   * @param module the module handle
   * @param name the parameter name
   * @param nameLength length passed with the name
   * @param value the parameter value
   * @param valueLength length passed with the value
   * @throws PKCS11Exception when the module does not export the function or it fails
   */
  public native void setTokenParam(long module, String name, long nameLength, String value,
      long valueLength) throws PKCS11Exception;

  /**
   * Calls the vendor function {@code C_GetTokenParam} with a 1024-byte value buffer.
   *
   * @param module the module handle
   * @param name the parameter name
   * @param nameLength length passed with the name
   * @return the parameter value; null after throwing
   * @throws PKCS11Exception when the module does not export the function or it fails
   */
  public native String getTokenParam(long module, String name, long nameLength)
      throws PKCS11Exception;

  /**
   * Writes the card life-cycle status, a one-byte vendor attribute of the token's Identrus
   * application object.
   *
   * @param functionList the function-list handle
   * @param status the new status; its low 8 bits are written
   * @throws PKCS11Exception when the application object cannot be found or a call fails
   */
  public native void setCardStatus(long functionList, int status) throws PKCS11Exception;

  /**
   * Reads the card life-cycle status, a one-byte vendor attribute of the token's Identrus
   * application object.
   *
   * @param functionList the function-list handle
   * @return the status as a signed byte value (8 means before first use)
   * @throws PKCS11Exception when the application object cannot be found or a call fails
   */
  public native int getCardStatus(long functionList) throws PKCS11Exception;

  /**
   * Finds the token's Identrus application object.
   *
   * @param functionList the function-list handle
   * @return the application object; null after throwing
   * @throws PKCS11Exception when the object cannot be found or a call fails
   */
  public native NativePKCS11Object getIdentrusObject(long functionList) throws PKCS11Exception;

  @Override
  public String toString() {
    return "NativePKCS11Session[sessionID=" + sessionID
        + ", slotID=" + (slot == null ? "null" : Integer.toString(slot.slotID)) + "]";
  }
}
