package it.morvale.pkcs11.token;

/** The PKCS#11 constants that the Java layer and the programs on it use. */
public final class Cryptoki {
  private Cryptoki() {}

  // Return codes that the layer treats specially.
  public static final int CKR_USER_ALREADY_LOGGED_IN = 0x100;
  public static final int CKR_CRYPTOKI_ALREADY_INITIALIZED = 0x191;
  public static final int CKR_ATTRIBUTE_SENSITIVE = 0x11;
  public static final int CKR_ATTRIBUTE_TYPE_INVALID = 0x12;
  public static final int CKR_BUFFER_TOO_SMALL = 0x150;

  // Session flags and user types.
  public static final int CKF_RW_SESSION = 0x2;
  public static final int CKF_SERIAL_SESSION = 0x4;

  // Token flags.
  public static final int CKF_LOGIN_REQUIRED = 0x4;
  public static final int CKF_USER_PIN_INITIALIZED = 0x8;
  public static final int CKF_TOKEN_INITIALIZED = 0x400;

  // Object classes.
  public static final int CKO_DATA = 0x0;
  public static final int CKO_CERTIFICATE = 0x1;
  public static final int CKO_PUBLIC_KEY = 0x2;
  public static final int CKO_PRIVATE_KEY = 0x3;
  public static final int CKO_SECRET_KEY = 0x4;

  // Key types.
  public static final int CKK_RSA = 0x0;
  public static final int CKK_EC = 0x3;
  public static final int CKK_GENERIC_SECRET = 0x10;
  public static final int CKK_AES = 0x1F;

  // Certificate types.
  public static final int CKC_X_509 = 0x0;

  // Attributes.
  public static final int CKA_CLASS = 0x0;
  public static final int CKA_TOKEN = 0x1;
  public static final int CKA_PRIVATE = 0x2;
  public static final int CKA_LABEL = 0x3;
  public static final int CKA_VALUE = 0x11;
  public static final int CKA_CERTIFICATE_TYPE = 0x80;
  public static final int CKA_ISSUER = 0x81;
  public static final int CKA_SERIAL_NUMBER = 0x82;
  public static final int CKA_KEY_TYPE = 0x100;
  public static final int CKA_SUBJECT = 0x101;
  public static final int CKA_ID = 0x102;
  public static final int CKA_SENSITIVE = 0x103;
  public static final int CKA_ENCRYPT = 0x104;
  public static final int CKA_DECRYPT = 0x105;
  public static final int CKA_WRAP = 0x106;
  public static final int CKA_UNWRAP = 0x107;
  public static final int CKA_SIGN = 0x108;
  public static final int CKA_VERIFY = 0x10A;
  public static final int CKA_DERIVE = 0x10C;
  public static final int CKA_MODULUS = 0x120;
  public static final int CKA_MODULUS_BITS = 0x121;
  public static final int CKA_PUBLIC_EXPONENT = 0x122;
  public static final int CKA_VALUE_LEN = 0x161;
  public static final int CKA_EXTRACTABLE = 0x162;
  public static final int CKA_EC_PARAMS = 0x180;
  public static final int CKA_EC_POINT = 0x181;

  // Mechanisms that need no parameters.
  public static final int CKM_RSA_PKCS_KEY_PAIR_GEN = 0x0;
  public static final int CKM_RSA_PKCS = 0x1;
  public static final int CKM_RSA_X_509 = 0x3;
  public static final int CKM_SHA1_RSA_PKCS = 0x6;
  public static final int CKM_SHA256_RSA_PKCS = 0x40;
  public static final int CKM_SHA384_RSA_PKCS = 0x41;
  public static final int CKM_SHA512_RSA_PKCS = 0x42;
  public static final int CKM_EC_KEY_PAIR_GEN = 0x1040;
  public static final int CKM_ECDSA = 0x1041;
  public static final int CKM_ECDSA_SHA1 = 0x1042;
  public static final int CKM_ECDSA_SHA256 = 0x1044;
  public static final int CKM_ECDSA_SHA384 = 0x1045;
  public static final int CKM_ECDSA_SHA512 = 0x1046;
  public static final int CKM_AES_KEY_GEN = 0x1080;
  public static final int CKM_AES_ECB = 0x1081;
  public static final int CKM_AES_KEY_WRAP = 0x2109;
  public static final int CKM_AES_KEY_WRAP_PAD = 0x210A;
}
