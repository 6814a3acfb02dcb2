package it.morvale.pkcs11.token;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.nat.NativePKCS11Object;
import java.math.BigInteger;
import java.security.GeneralSecurityException;
import java.util.HexFormat;

/**
 * An object on a token (a key, a certificate, a data object) as seen through one session.
 *
 * <p>The {@code ...IfPresent} reads are tolerant: an attribute that this object cannot give, for
 * whatever reason the module has (no such attribute, a secret, a failing code, a length it calls
 * unavailable), is absent, so that a listing of many objects goes on past one odd object.
 */
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

  NativePKCS11Object nativeObject() { return object; }

  /**
   * The same object seen through `other`, a session of the same token: object handles belong to
   * the token's application, not to one session, so a key found in a read-only session can be
   * changed through a read-write one.
   */
  public TokenObject in(Session other) {
    if (other == session) return this;
    return new TokenObject(
        other, new NativePKCS11Object(other.nativeSession(), object.getObjectID()));
  }

  /** The object handle, an unsigned number. */
  public long handle() { return Integer.toUnsignedLong(object.getObjectID()); }

  private <T> T read(Read<T> read) throws PKCS11Exception {
    long list = session.module().functionList();
    return session.call(() -> read.from(object, list));
  }

  /** Like `read`, but null when the object will not give the attribute. */
  private <T> T readIfPresent(Read<T> read) {
    try {
      return read(read);
    } catch (PKCS11Exception e) {
      return null;
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

  /** The attribute's bytes, or null when the object will not give them. */
  public byte[] bytesIfPresent(int type) {
    return readIfPresent((o, list) -> o.getByteArrayAttributeValue(list, type));
  }

  /** The attribute as a number, or null when the object will not give it. */
  public Integer integerIfPresent(int type) {
    return readIfPresent((o, list) -> o.getIntAttributeValue(list, type));
  }

  /** The attribute as a truth value, or null when the object will not give it. */
  public Boolean boolIfPresent(int type) {
    return readIfPresent((o, list) -> o.getBoolAttributeValue(list, type));
  }

  /** The attribute as a big number, or null when the object will not give it. */
  public BigInteger bigIntegerIfPresent(int type) {
    return readIfPresent((o, list) -> o.getBigIntegerAttributeValue(list, type));
  }

  public BigInteger bigInteger(int type) throws PKCS11Exception {
    return read((o, list) -> o.getBigIntegerAttributeValue(list, type));
  }

  public String string(int type) throws PKCS11Exception {
    return read((o, list) -> o.getStringAttributeValue(list, type));
  }

  public int objectClass() throws PKCS11Exception { return integer(Cryptoki.CKA_CLASS); }

  /** The class, or -1 when the object will not tell it. */
  public int objectClassIfPresent() {
    Integer value = integerIfPresent(Cryptoki.CKA_CLASS);
    return value == null ? -1 : value;
  }

  public int keyType() throws PKCS11Exception { return integer(Cryptoki.CKA_KEY_TYPE); }

  /** The label, or null when the object has none or will not give it. */
  public String label() {
    return readIfPresent((o, list) -> o.getStringAttributeValue(list, Cryptoki.CKA_LABEL));
  }

  /** The ID, or null when the object has none or will not give it. */
  public byte[] id() { return bytesIfPresent(Cryptoki.CKA_ID); }

  /** The label, or null when it is empty or absent. */
  public String labelIfNotEmpty() {
    String label = label();
    return label == null || label.isEmpty() ? null : label;
  }

  /** The ID, or null when it is empty or absent. */
  public byte[] idIfNotEmpty() {
    byte[] id = id();
    return id == null || id.length == 0 ? null : id;
  }

  /**
   * The key's size in bits (an RSA modulus, an EC curve's field, a secret key's value), or null
   * when the object does not tell it.
   */
  public Integer bits() {
    Integer keyType = integerIfPresent(Cryptoki.CKA_KEY_TYPE);
    if (keyType == null) return null;
    switch (keyType) {
      case Cryptoki.CKK_RSA:
        return rsaBits();
      case Cryptoki.CKK_EC:
      case Cryptoki.CKK_EC_EDWARDS:
      case Cryptoki.CKK_EC_MONTGOMERY: {
        byte[] parameters = bytesIfPresent(Cryptoki.CKA_EC_PARAMS);
        if (parameters == null) return null;
        try {
          return Curves.fieldBits(parameters);
        } catch (GeneralSecurityException e) {
          return null;
        }
      }
      default: {
        // A token that does not know the length (after an unwrap, say) may say 0.
        Integer bytes = integerIfPresent(Cryptoki.CKA_VALUE_LEN);
        return bytes != null && bytes > 0 ? bytes * 8 : null;
      }
    }
  }

  /** An RSA key's modulus size in bits, or null when the object does not tell it. */
  Integer rsaBits() {
    BigInteger modulus = bigIntegerIfPresent(Cryptoki.CKA_MODULUS);
    if (modulus != null) return modulus.bitLength();
    Integer bits = integerIfPresent(Cryptoki.CKA_MODULUS_BITS);
    return bits != null && bits > 0 ? bits : null;
  }

  /** "RSA 2048" and the like: the key type and its size where the object tells them. */
  public String describeKey() {
    Integer type = integerIfPresent(Cryptoki.CKA_KEY_TYPE);
    if (type == null) return "key";
    Integer bits = bits();
    return Names.keyType(type) + (bits == null ? "" : " " + bits);
  }

  /** `key "label"`, `key with id 01` or `key 5` (the handle): the key as messages name it. */
  public String describe() {
    String label = labelIfNotEmpty();
    if (label != null) return "key \"" + label + "\"";
    byte[] id = idIfNotEmpty();
    if (id != null) return "key with id " + HexFormat.of().formatHex(id);
    return "key " + handle();
  }

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
