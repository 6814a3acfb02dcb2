package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.PublicKeys;
import it.morvale.pkcs11.token.TokenObject;
import java.security.GeneralSecurityException;
import java.util.Locale;

/** Names of object classes and key types, and the size of a key, as the tool prints them. */
final class Names {
  private Names() {}

  static String objectClass(int objectClass) {
    switch (objectClass) {
      case Cryptoki.CKO_DATA:
        return "data object";
      case Cryptoki.CKO_CERTIFICATE:
        return "certificate";
      case Cryptoki.CKO_PUBLIC_KEY:
        return "public key";
      case Cryptoki.CKO_PRIVATE_KEY:
        return "private key";
      case Cryptoki.CKO_SECRET_KEY:
        return "secret key";
      default:
        return String.format(Locale.ROOT, "class 0x%08X", objectClass);
    }
  }

  static String keyType(int keyType) {
    switch (keyType) {
      case Cryptoki.CKK_RSA:
        return "RSA";
      case Cryptoki.CKK_EC:
        return "EC";
      case Cryptoki.CKK_AES:
        return "AES";
      case Cryptoki.CKK_GENERIC_SECRET:
        return "GENERIC";
      default:
        return String.format(Locale.ROOT, "0x%08X", keyType);
    }
  }

  static boolean isKey(int objectClass) {
    return objectClass == Cryptoki.CKO_PUBLIC_KEY || objectClass == Cryptoki.CKO_PRIVATE_KEY
        || objectClass == Cryptoki.CKO_SECRET_KEY;
  }

  /** The key's size in bits (RSA modulus, EC field, secret value), or null when unknown. */
  static Integer bits(TokenObject key, int keyType) {
    try {
      switch (keyType) {
        case Cryptoki.CKK_RSA:
          return key.bigInteger(Cryptoki.CKA_MODULUS).bitLength();
        case Cryptoki.CKK_EC:
          return PublicKeys.curve(key.bytes(Cryptoki.CKA_EC_PARAMS))
              .getCurve()
              .getField()
              .getFieldSize();
        default:
          // A token that does not know the length (after an unwrap, say) may say 0.
          int bytes = key.integer(Cryptoki.CKA_VALUE_LEN);
          return bytes > 0 ? bytes * 8 : null;
      }
    } catch (PKCS11Exception | GeneralSecurityException e) {
      return null;
    }
  }

  /** "RSA 2048" and the like. */
  static String describeKey(TokenObject key) throws PKCS11Exception {
    int type = key.keyType();
    Integer bits = bits(key, type);
    return keyType(type) + (bits == null ? "" : " " + bits);
  }

  /** `key "label"`, `key with id 01` or `key 5` (the handle): the key in messages. */
  static String key(TokenObject key) throws PKCS11Exception {
    String label = key.label();
    if (label != null && !label.isEmpty()) return "key \"" + label + "\"";
    byte[] id = key.id();
    if (id != null && id.length > 0) return "key with id " + Io.hex(id);
    return "key " + key.handle();
  }
}
