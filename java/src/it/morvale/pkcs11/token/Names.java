package it.morvale.pkcs11.token;

import java.util.Locale;

/** Names of object classes and key types as people read them. */
public final class Names {
  private Names() {}

  public static String objectClass(int objectClass) {
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

  public static String keyType(int keyType) {
    switch (keyType) {
      case Cryptoki.CKK_RSA:
        return "RSA";
      case Cryptoki.CKK_EC:
        return "EC";
      case Cryptoki.CKK_EC_EDWARDS:
        return "EDDSA";
      case Cryptoki.CKK_EC_MONTGOMERY:
        return "XDH";
      case Cryptoki.CKK_AES:
        return "AES";
      case Cryptoki.CKK_DES3:
        return "DES3";
      case Cryptoki.CKK_GENERIC_SECRET:
        return "GENERIC";
      default:
        return String.format(Locale.ROOT, "0x%08X", keyType);
    }
  }

  /** Whether objects of `objectClass` are keys, which have a key type. */
  public static boolean isKey(int objectClass) {
    return objectClass == Cryptoki.CKO_PUBLIC_KEY || objectClass == Cryptoki.CKO_PRIVATE_KEY
        || objectClass == Cryptoki.CKO_SECRET_KEY;
  }
}
