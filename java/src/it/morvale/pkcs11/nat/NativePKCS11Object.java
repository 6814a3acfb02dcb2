package it.morvale.pkcs11.nat;

import it.morvale.pkcs11.PKCS11Exception;
import java.math.BigInteger;
import java.util.Date;

/**
 * An object on a token, reached through the session that found or created it. The bridge reads
 * the object handle from {@link #objectID} and the session handle through {@link #session}.
 *
 * <p>Every native method takes the function-list handle. Attribute values travel as {@code
 * String}, {@code byte[]}, {@code Integer}, {@code Boolean}, {@code BigInteger} or {@code Date};
 * the Java class of a value decides its encoding.
 */
public class NativePKCS11Object {
  /** The session this object was found or created in. */
  final NativePKCS11Session session;

  /** The object handle ({@code CK_OBJECT_HANDLE}), read by the bridge. */
  final int objectID;

  /**
   * Creates an object wrapper; the bridge calls this for every object it returns.
   *
   * @param session the owning session
   * @param objectID the object handle
   */
  public NativePKCS11Object(NativePKCS11Session session, int objectID) {
    this.session = session;
    this.objectID = objectID;
  }

  /** @return the owning session */
  public NativePKCS11Session getSession() { return session; }

  /** @return the object handle */
  public int getObjectID() { return objectID; }

  /**
   * Copying objects is not offered by the bridge.
   *
   * @param functionList reserved, not used
   * @param types reserved, not used
   * @param values reserved, not used
   * @return never returns normally (null after throwing)
   * @throws PKCS11Exception always, with the message "Not supported"
   */
  public native NativePKCS11Object copy(long functionList, int[] types, Object[] values)
      throws PKCS11Exception;

  /**
   * Calls {@code C_DestroyObject}.
   *
   * @param functionList the function-list handle
   * @throws PKCS11Exception on a non-zero return code
   */
  public native void destroy(long functionList) throws PKCS11Exception;

  /**
   * Calls {@code C_GetObjectSize}.
   *
   * @param functionList the function-list handle
   * @return the object size in bytes
   * @throws PKCS11Exception on a non-zero return code
   */
  public native int size(long functionList) throws PKCS11Exception;

  /**
   * Reads a one-byte boolean attribute.
   *
   * @param functionList the function-list handle
   * @param type the attribute type ({@code CKA_} value)
   * @return the attribute value; false after throwing
   * @throws PKCS11Exception on a non-zero return code
   */
  public native boolean getBoolAttributeValue(long functionList, int type) throws PKCS11Exception;

  /**
   * Reads a {@code CK_ULONG} attribute as its low 32 bits.
   *
   * @param functionList the function-list handle
   * @param type the attribute type
   * @return the attribute value
   * @throws PKCS11Exception on a non-zero return code, or "VOID int field" for a value shorter
   *     than a {@code CK_ULONG}
   */
  public native int getIntAttributeValue(long functionList, int type) throws PKCS11Exception;

  /**
   * Reads a text attribute.
   *
   * @param functionList the function-list handle
   * @param type the attribute type
   * @return the attribute value; null after throwing
   * @throws PKCS11Exception on a non-zero return code
   */
  public native String getStringAttributeValue(long functionList, int type) throws PKCS11Exception;

  /**
   * Reads an attribute as raw bytes.
   *
   * @param functionList the function-list handle
   * @param type the attribute type
   * @return the attribute value; null after throwing
   * @throws PKCS11Exception on a non-zero return code
   */
  public native byte[] getByteArrayAttributeValue(long functionList, int type)
      throws PKCS11Exception;

  /**
   * Reads a {@code CK_DATE} attribute ("yyyyMMdd") as a date in the default time zone.
   *
   * @param functionList the function-list handle
   * @param type the attribute type
   * @return the attribute value
   * @throws PKCS11Exception on a non-zero return code, or "VOID Date field" for an empty date
   */
  public native Date getDateAttributeValue(long functionList, int type) throws PKCS11Exception;

  /**
   * Reads a big-endian integer attribute as a non-negative {@code BigInteger}.
   *
   * @param functionList the function-list handle
   * @param type the attribute type
   * @return the attribute value; null after throwing
   * @throws PKCS11Exception on a non-zero return code
   */
  public native BigInteger getBigIntegerAttributeValue(long functionList, int type)
      throws PKCS11Exception;

  /**
   * Reads an attribute as the Java type that the bridge associates with the attribute type:
   * {@code Integer}, {@code Boolean}, {@code String}, {@code byte[]}, {@code Date} or {@code
   * BigInteger}.
   *
   * @param functionList the function-list handle
   * @param type the attribute type
   * @return the attribute value
   * @throws PKCS11Exception on a non-zero return code, or "Object type not valid" for an
   *     attribute type the bridge does not know
   */
  public native Object getAttributeValue(long functionList, int type) throws PKCS11Exception;

  /**
   * Calls {@code C_SetAttributeValue} with one attribute.
   *
   * @param functionList the function-list handle
   * @param type the attribute type
   * @param value the value; one of the six supported classes
   * @throws PKCS11Exception on a non-zero return code
   */
  public native void setAttributeValue(long functionList, int type, Object value)
      throws PKCS11Exception;

  /**
   * Calls {@code C_SetAttributeValue} with several attributes.
   *
   * @param functionList the function-list handle
   * @param types the attribute types
   * @param values the values, parallel to {@code types}
   * @throws PKCS11Exception when the arrays differ in length or on a non-zero return code
   */
  public native void setAttributeValues(long functionList, int[] types, Object[] values)
      throws PKCS11Exception;

  /**
   * Sets a one-byte boolean attribute.
   *
   * @param functionList the function-list handle
   * @param type the attribute type
   * @param value the value
   * @throws PKCS11Exception on a non-zero return code
   */
  public native void setBoolAttributeValue(long functionList, int type, boolean value)
      throws PKCS11Exception;

  /**
   * Sets a {@code CK_ULONG} attribute; the value is sign-extended.
   *
   * @param functionList the function-list handle
   * @param type the attribute type
   * @param value the value
   * @throws PKCS11Exception on a non-zero return code
   */
  public native void setIntAttributeValue(long functionList, int type, int value)
      throws PKCS11Exception;

  @Override
  public String toString() {
    return "NativePKCS11Object[objectID=" + objectID
        + ", sessionID=" + (session == null ? "null" : Integer.toString(session.sessionID)) + "]";
  }
}
