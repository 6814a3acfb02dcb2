package it.morvale.pkcs11.nat;

import it.morvale.pkcs11.PKCS11Exception;
import java.math.BigInteger;

/** Cryptoki constants and session keys of the kinds the crypto suites make on SoftHSM2. */
final class SoftHsmKeys {
  static final int CKA_CLASS = 0x0;
  static final int CKA_TOKEN = 0x1;
  static final int CKA_PRIVATE = 0x2;
  static final int CKA_LABEL = 0x3;
  static final int CKA_KEY_TYPE = 0x100;
  static final int CKA_ID = 0x102;
  static final int CKA_SENSITIVE = 0x103;
  static final int CKA_ENCRYPT = 0x104;
  static final int CKA_DECRYPT = 0x105;
  static final int CKA_WRAP = 0x106;
  static final int CKA_UNWRAP = 0x107;
  static final int CKA_SIGN = 0x108;
  static final int CKA_VERIFY = 0x10A;
  static final int CKA_MODULUS_BITS = 0x121;
  static final int CKA_PUBLIC_EXPONENT = 0x122;
  static final int CKA_VALUE_LEN = 0x161;
  static final int CKA_EXTRACTABLE = 0x162;

  static final int CKO_SECRET_KEY = 4;
  static final int CKK_AES = 0x1F;

  static final int CKM_RSA_PKCS_KEY_PAIR_GEN = 0x0;
  static final int CKM_RSA_PKCS = 0x1;
  static final int CKM_RSA_X_509 = 0x3;
  static final int CKM_SHA256_RSA_PKCS = 0x40;
  static final int CKM_AES_KEY_GEN = 0x1080;
  static final int CKM_AES_ECB = 0x1081;
  static final int CKM_AES_KEY_WRAP = 0x2109;

  private SoftHsmKeys() {}

  /**
   * The attribute types of a public session AES key (usable without a login) that encrypts,
   * decrypts, wraps and unwraps.
   */
  static int[] aesTypes() {
    return new int[] {CKA_CLASS, CKA_KEY_TYPE, CKA_TOKEN, CKA_PRIVATE, CKA_ENCRYPT, CKA_DECRYPT,
        CKA_WRAP, CKA_UNWRAP, CKA_EXTRACTABLE};
  }

  static Object[] aesValues() {
    return new Object[] {CKO_SECRET_KEY, CKK_AES, false, false, true, true, true, true, true};
  }

  /** A new 128-bit session AES key. */
  static NativePKCS11Object aesKey(TokenSession token) throws PKCS11Exception {
    int[] types = append(aesTypes(), CKA_VALUE_LEN);
    Object[] values = append(aesValues(), 16);
    return token.session.generateKey(token.list, CKM_AES_KEY_GEN, null, types, values);
  }

  /** A new public RSA session key pair of `bits` bits: {public, private}. */
  static Object[] rsaPair(TokenSession token, int bits) throws PKCS11Exception {
    return token.session.generateKeyPair(token.list, CKM_RSA_PKCS_KEY_PAIR_GEN, null,
        new int[] {CKA_TOKEN, CKA_MODULUS_BITS, CKA_PUBLIC_EXPONENT, CKA_VERIFY, CKA_ENCRYPT},
        new Object[] {false, bits, BigInteger.valueOf(65537), true, true},
        new int[] {CKA_TOKEN, CKA_PRIVATE, CKA_SENSITIVE, CKA_SIGN, CKA_DECRYPT},
        new Object[] {false, false, true, true, true});
  }

  static int[] append(int[] types, int type) {
    int[] longer = java.util.Arrays.copyOf(types, types.length + 1);
    longer[types.length] = type;
    return longer;
  }

  static Object[] append(Object[] values, Object value) {
    Object[] longer = java.util.Arrays.copyOf(values, values.length + 1);
    longer[values.length] = value;
    return longer;
  }
}
