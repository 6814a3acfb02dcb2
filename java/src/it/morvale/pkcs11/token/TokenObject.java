package it.morvale.pkcs11.token;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.nat.NativePKCS11Object;
import java.math.BigInteger;

/** An object on a token (a key, a certificate, a data object) as seen through one session. */
public final class TokenObject {
  /** A read of one attribute, made while the module's lock is held. */
  private interface Read<T> {
    T from(NativePKCS11Object object, long list) throws PKCS11Exception;
  }

  private final Session session;
  private final NativePKCS11Object object;

  TokenObject(Session session, NativePKCS11Object object) {
    this.session = session;
    this.object = object;
  }

  public Session session() { return session; }

  public NativePKCS11Object nativeObject() { return object; }

  /** The object handle, an unsigned number. */
  public long handle() { return Integer.toUnsignedLong(object.getObjectID()); }

  private <T> T read(Read<T> read) throws PKCS11Exception {
    Pkcs11Module module = session.module();
    return module.call(() -> read.from(object, module.functionList()));
  }

  /** Like `read`, but null when the object has no such attribute or will not reveal it. */
  private <T> T readIfPresent(Read<T> read) throws PKCS11Exception {
    try {
      return read(read);
    } catch (PKCS11Exception e) {
      int code = e.getCode();
      if (code == Cryptoki.CKR_ATTRIBUTE_TYPE_INVALID || code == Cryptoki.CKR_ATTRIBUTE_SENSITIVE) {
        return null;
      }
      throw e;
    }
  }

  public int integer(int type) throws PKCS11Exception {
    return read((o, list) -> o.getIntAttributeValue(list, type));
  }

  public boolean bool(int type) throws PKCS11Exception {
    return read((o, list) -> o.getBoolAttributeValue(list, type));
  }

  public byte[] bytes(int type) throws PKCS11Exception {
    return read((o, list) -> o.getByteArrayAttributeValue(list, type));
  }

  /** The attribute's bytes, or null when the object has none or keeps them secret. */
  public byte[] bytesIfPresent(int type) throws PKCS11Exception {
    return readIfPresent((o, list) -> o.getByteArrayAttributeValue(list, type));
  }

  public BigInteger bigInteger(int type) throws PKCS11Exception {
    return read((o, list) -> o.getBigIntegerAttributeValue(list, type));
  }

  public String string(int type) throws PKCS11Exception {
    return read((o, list) -> o.getStringAttributeValue(list, type));
  }

  public int objectClass() throws PKCS11Exception { return integer(Cryptoki.CKA_CLASS); }

  public int keyType() throws PKCS11Exception { return integer(Cryptoki.CKA_KEY_TYPE); }

  /** The label, or null when the object has none. */
  public String label() throws PKCS11Exception {
    return readIfPresent((o, list) -> o.getStringAttributeValue(list, Cryptoki.CKA_LABEL));
  }

  /** The ID, or null when the object has none. */
  public byte[] id() throws PKCS11Exception { return bytesIfPresent(Cryptoki.CKA_ID); }

  /** The size of the object on the token in bytes; -1 when the token does not say. */
  public int size() throws PKCS11Exception { return read((o, list) -> o.size(list)); }

  public void set(int type, Object value) throws PKCS11Exception {
    read((o, list) -> {
      o.setAttributeValue(list, type, value);
      return null;
    });
  }

  public void destroy() throws PKCS11Exception {
    read((o, list) -> {
      o.destroy(list);
      return null;
    });
  }

  @Override
  public boolean equals(Object other) {
    return other instanceof TokenObject && ((TokenObject) other).session == session
        && ((TokenObject) other).handle() == handle();
  }

  @Override
  public int hashCode() {
    return Long.hashCode(handle()) * 31 + System.identityHashCode(session);
  }

  @Override
  public String toString() {
    return "TokenObject[" + handle() + "]";
  }
}
