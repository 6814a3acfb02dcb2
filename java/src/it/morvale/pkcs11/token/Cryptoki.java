package it.morvale.pkcs11.token;

/**
 * The Cryptoki constants of PKCS#11 v2.40 and v3.0, named as in the PKCS#11 headers.
 *
 * <p>Cryptoki's CK_ULONG values are {@code int} here, since the bridge takes {@code int}; values
 * from 0x80000000 up are negative. Compare and sort them with {@link Integer#compareUnsigned}.
 */
public final class Cryptoki {
  private Cryptoki() {}

  // Marks a CK_ULONG field of an information structure that the module cannot tell.
  public static final long CK_UNAVAILABLE_INFORMATION = -1L;
  // The value of a maximum count that has no limit.
  public static final int CK_EFFECTIVELY_INFINITE = 0;

  // Slot information flags.
  public static final int CKF_TOKEN_PRESENT = 0x1;
  public static final int CKF_REMOVABLE_DEVICE = 0x2;
  public static final int CKF_HW_SLOT = 0x4;

  // Token information flags.
  public static final int CKF_RNG = 0x1;
  public static final int CKF_WRITE_PROTECTED = 0x2;
  public static final int CKF_LOGIN_REQUIRED = 0x4;
  public static final int CKF_USER_PIN_INITIALIZED = 0x8;
  public static final int CKF_RESTORE_KEY_NOT_NEEDED = 0x20;
  public static final int CKF_CLOCK_ON_TOKEN = 0x40;
  public static final int CKF_PROTECTED_AUTHENTICATION_PATH = 0x100;
  public static final int CKF_DUAL_CRYPTO_OPERATIONS = 0x200;
  public static final int CKF_TOKEN_INITIALIZED = 0x400;
  public static final int CKF_SECONDARY_AUTHENTICATION = 0x800;
  public static final int CKF_USER_PIN_COUNT_LOW = 0x10000;
  public static final int CKF_USER_PIN_FINAL_TRY = 0x20000;
  public static final int CKF_USER_PIN_LOCKED = 0x40000;
  public static final int CKF_USER_PIN_TO_BE_CHANGED = 0x80000;
  public static final int CKF_SO_PIN_COUNT_LOW = 0x100000;
  public static final int CKF_SO_PIN_FINAL_TRY = 0x200000;
  public static final int CKF_SO_PIN_LOCKED = 0x400000;
  public static final int CKF_SO_PIN_TO_BE_CHANGED = 0x800000;
  public static final int CKF_ERROR_STATE = 0x1000000;

  // Session information flags.
  public static final int CKF_RW_SESSION = 0x2;
  public static final int CKF_SERIAL_SESSION = 0x4;

  // Mechanism information flags.
  public static final int CKF_HW = 0x1;
  public static final int CKF_MESSAGE_ENCRYPT = 0x2;
  public static final int CKF_MESSAGE_DECRYPT = 0x4;
  public static final int CKF_MESSAGE_SIGN = 0x8;
  public static final int CKF_MESSAGE_VERIFY = 0x10;
  public static final int CKF_MULTI_MESSAGE = 0x20;
  public static final int CKF_MULTI_MESSGE =
      CKF_MULTI_MESSAGE; // Misspelt alias that the 3.0 header also defines.
  public static final int CKF_FIND_OBJECTS = 0x40;
  public static final int CKF_ENCRYPT = 0x100;
  public static final int CKF_DECRYPT = 0x200;
  public static final int CKF_DIGEST = 0x400;
  public static final int CKF_SIGN = 0x800;
  public static final int CKF_SIGN_RECOVER = 0x1000;
  public static final int CKF_VERIFY = 0x2000;
  public static final int CKF_VERIFY_RECOVER = 0x4000;
  public static final int CKF_GENERATE = 0x8000;
  public static final int CKF_GENERATE_KEY_PAIR = 0x10000;
  public static final int CKF_WRAP = 0x20000;
  public static final int CKF_UNWRAP = 0x40000;
  public static final int CKF_DERIVE = 0x80000;
  public static final int CKF_EC_F_P = 0x100000;
  public static final int CKF_EC_F_2M = 0x200000;
  public static final int CKF_EC_ECPARAMETERS = 0x400000;
  public static final int CKF_EC_OID = 0x800000;
  public static final int CKF_EC_NAMEDCURVE = CKF_EC_OID; // Deprecated.
  public static final int CKF_EC_UNCOMPRESS = 0x1000000;
  public static final int CKF_EC_COMPRESS = 0x2000000;
  public static final int CKF_EC_CURVENAME = 0x4000000;
  public static final int CKF_EXTENSION = 0x80000000;

  // C_Initialize argument flags.
  public static final int CKF_LIBRARY_CANT_CREATE_OS_THREADS = 0x1;
  public static final int CKF_OS_LOCKING_OK = 0x2;

  // C_WaitForSlotEvent flag.
  public static final int CKF_DONT_BLOCK = 0x1;

  // Message-based operation flag (C_EncryptMessageNext and the like).
  public static final int CKF_END_OF_MESSAGE = 0x1;

  // Interface flag (C_GetInterface).
  public static final int CKF_INTERFACE_FORK_SAFE = 0x1;

  // OTP signature flags.
  public static final int CKF_NEXT_OTP = 0x1;
  public static final int CKF_EXCLUDE_TIME = 0x2;
  public static final int CKF_EXCLUDE_COUNTER = 0x4;
  public static final int CKF_EXCLUDE_CHALLENGE = 0x8;
  public static final int CKF_EXCLUDE_PIN = 0x10;
  public static final int CKF_USER_FRIENDLY_OTP = 0x20;

  // Marks attributes whose value is an array of attributes (templates).
  public static final int CKF_ARRAY_ATTRIBUTE = 0x40000000;

  // User types.
  public static final int CKU_SO = 0x0;
  public static final int CKU_USER = 0x1;
  public static final int CKU_CONTEXT_SPECIFIC = 0x2;

  // Object classes.
  public static final int CKO_DATA = 0x0;
  public static final int CKO_CERTIFICATE = 0x1;
  public static final int CKO_PUBLIC_KEY = 0x2;
  public static final int CKO_PRIVATE_KEY = 0x3;
  public static final int CKO_SECRET_KEY = 0x4;
  public static final int CKO_HW_FEATURE = 0x5;
  public static final int CKO_DOMAIN_PARAMETERS = 0x6;
  public static final int CKO_MECHANISM = 0x7;
  public static final int CKO_OTP_KEY = 0x8;
  public static final int CKO_PROFILE = 0x9;
  public static final int CKO_VENDOR_DEFINED = 0x80000000;

  // Key types.
  public static final int CKK_RSA = 0x0;
  public static final int CKK_DSA = 0x1;
  public static final int CKK_DH = 0x2;
  public static final int CKK_EC = 0x3;
  public static final int CKK_ECDSA = CKK_EC; // Deprecated.
  public static final int CKK_X9_42_DH = 0x4;
  public static final int CKK_KEA = 0x5;
  public static final int CKK_GENERIC_SECRET = 0x10;
  public static final int CKK_RC2 = 0x11;
  public static final int CKK_RC4 = 0x12;
  public static final int CKK_DES = 0x13;
  public static final int CKK_DES2 = 0x14;
  public static final int CKK_DES3 = 0x15;
  public static final int CKK_CAST = 0x16;
  public static final int CKK_CAST3 = 0x17;
  public static final int CKK_CAST128 = 0x18;
  public static final int CKK_CAST5 = CKK_CAST128; // Deprecated.
  public static final int CKK_RC5 = 0x19;
  public static final int CKK_IDEA = 0x1A;
  public static final int CKK_SKIPJACK = 0x1B;
  public static final int CKK_BATON = 0x1C;
  public static final int CKK_JUNIPER = 0x1D;
  public static final int CKK_CDMF = 0x1E;
  public static final int CKK_AES = 0x1F;
  public static final int CKK_BLOWFISH = 0x20;
  public static final int CKK_TWOFISH = 0x21;
  public static final int CKK_SECURID = 0x22;
  public static final int CKK_HOTP = 0x23;
  public static final int CKK_ACTI = 0x24;
  public static final int CKK_CAMELLIA = 0x25;
  public static final int CKK_ARIA = 0x26;
  public static final int CKK_MD5_HMAC = 0x27;
  public static final int CKK_SHA_1_HMAC = 0x28;
  public static final int CKK_RIPEMD128_HMAC = 0x29;
  public static final int CKK_RIPEMD160_HMAC = 0x2A;
  public static final int CKK_SHA256_HMAC = 0x2B;
  public static final int CKK_SHA384_HMAC = 0x2C;
  public static final int CKK_SHA512_HMAC = 0x2D;
  public static final int CKK_SHA224_HMAC = 0x2E;
  public static final int CKK_SEED = 0x2F;
  public static final int CKK_GOSTR3410 = 0x30;
  public static final int CKK_GOSTR3411 = 0x31;
  public static final int CKK_GOST28147 = 0x32;
  public static final int CKK_CHACHA20 = 0x33;
  public static final int CKK_POLY1305 = 0x34;
  public static final int CKK_AES_XTS = 0x35;
  public static final int CKK_SHA3_224_HMAC = 0x36;
  public static final int CKK_SHA3_256_HMAC = 0x37;
  public static final int CKK_SHA3_384_HMAC = 0x38;
  public static final int CKK_SHA3_512_HMAC = 0x39;
  public static final int CKK_BLAKE2B_160_HMAC = 0x3A;
  public static final int CKK_BLAKE2B_256_HMAC = 0x3B;
  public static final int CKK_BLAKE2B_384_HMAC = 0x3C;
  public static final int CKK_BLAKE2B_512_HMAC = 0x3D;
  public static final int CKK_SALSA20 = 0x3E;
  public static final int CKK_X2RATCHET = 0x3F;
  public static final int CKK_EC_EDWARDS = 0x40;
  public static final int CKK_EC_MONTGOMERY = 0x41;
  public static final int CKK_HKDF = 0x42;
  public static final int CKK_SHA512_224_HMAC = 0x43;
  public static final int CKK_SHA512_256_HMAC = 0x44;
  public static final int CKK_SHA512_T_HMAC = 0x45;
  public static final int CKK_HSS = 0x46;
  public static final int CKK_VENDOR_DEFINED = 0x80000000;

  // Certificate types.
  public static final int CKC_X_509 = 0x0;
  public static final int CKC_X_509_ATTR_CERT = 0x1;
  public static final int CKC_WTLS = 0x2;
  public static final int CKC_VENDOR_DEFINED = 0x80000000;

  // Attributes common to objects, storage objects and certificates.
  public static final int CKA_CLASS = 0x0;
  public static final int CKA_TOKEN = 0x1;
  public static final int CKA_PRIVATE = 0x2;
  public static final int CKA_LABEL = 0x3;
  public static final int CKA_UNIQUE_ID = 0x4;
  public static final int CKA_APPLICATION = 0x10;
  public static final int CKA_VALUE = 0x11;
  public static final int CKA_OBJECT_ID = 0x12;
  public static final int CKA_CERTIFICATE_TYPE = 0x80;
  public static final int CKA_ISSUER = 0x81;
  public static final int CKA_SERIAL_NUMBER = 0x82;
  public static final int CKA_AC_ISSUER = 0x83;
  public static final int CKA_OWNER = 0x84;
  public static final int CKA_ATTR_TYPES = 0x85;
  public static final int CKA_TRUSTED = 0x86;
  public static final int CKA_CERTIFICATE_CATEGORY = 0x87;
  public static final int CKA_JAVA_MIDP_SECURITY_DOMAIN = 0x88;
  public static final int CKA_URL = 0x89;
  public static final int CKA_HASH_OF_SUBJECT_PUBLIC_KEY = 0x8A;
  public static final int CKA_HASH_OF_ISSUER_PUBLIC_KEY = 0x8B;
  public static final int CKA_NAME_HASH_ALGORITHM = 0x8C;
  public static final int CKA_CHECK_VALUE = 0x90;

  // Key attributes.
  public static final int CKA_KEY_TYPE = 0x100;
  public static final int CKA_SUBJECT = 0x101;
  public static final int CKA_ID = 0x102;
  public static final int CKA_SENSITIVE = 0x103;
  public static final int CKA_ENCRYPT = 0x104;
  public static final int CKA_DECRYPT = 0x105;
  public static final int CKA_WRAP = 0x106;
  public static final int CKA_UNWRAP = 0x107;
  public static final int CKA_SIGN = 0x108;
  public static final int CKA_SIGN_RECOVER = 0x109;
  public static final int CKA_VERIFY = 0x10A;
  public static final int CKA_VERIFY_RECOVER = 0x10B;
  public static final int CKA_DERIVE = 0x10C;
  public static final int CKA_START_DATE = 0x110;
  public static final int CKA_END_DATE = 0x111;
  public static final int CKA_MODULUS = 0x120;
  public static final int CKA_MODULUS_BITS = 0x121;
  public static final int CKA_PUBLIC_EXPONENT = 0x122;
  public static final int CKA_PRIVATE_EXPONENT = 0x123;
  public static final int CKA_PRIME_1 = 0x124;
  public static final int CKA_PRIME_2 = 0x125;
  public static final int CKA_EXPONENT_1 = 0x126;
  public static final int CKA_EXPONENT_2 = 0x127;
  public static final int CKA_COEFFICIENT = 0x128;
  public static final int CKA_PUBLIC_KEY_INFO = 0x129;
  public static final int CKA_PRIME = 0x130;
  public static final int CKA_SUBPRIME = 0x131;
  public static final int CKA_BASE = 0x132;
  public static final int CKA_PRIME_BITS = 0x133;
  public static final int CKA_SUBPRIME_BITS = 0x134;
  public static final int CKA_SUB_PRIME_BITS = CKA_SUBPRIME_BITS; // Alias.
  public static final int CKA_VALUE_BITS = 0x160;
  public static final int CKA_VALUE_LEN = 0x161;
  public static final int CKA_EXTRACTABLE = 0x162;
  public static final int CKA_LOCAL = 0x163;
  public static final int CKA_NEVER_EXTRACTABLE = 0x164;
  public static final int CKA_ALWAYS_SENSITIVE = 0x165;
  public static final int CKA_KEY_GEN_MECHANISM = 0x166;
  public static final int CKA_MODIFIABLE = 0x170;
  public static final int CKA_COPYABLE = 0x171;
  public static final int CKA_DESTROYABLE = 0x172;
  public static final int CKA_EC_PARAMS = 0x180;
  public static final int CKA_ECDSA_PARAMS = CKA_EC_PARAMS; // Deprecated.
  public static final int CKA_EC_POINT = 0x181;
  public static final int CKA_SECONDARY_AUTH = 0x200;
  public static final int CKA_AUTH_PIN_FLAGS = 0x201;
  public static final int CKA_ALWAYS_AUTHENTICATE = 0x202;
  public static final int CKA_WRAP_WITH_TRUSTED = 0x210;
  public static final int CKA_WRAP_TEMPLATE = CKF_ARRAY_ATTRIBUTE | 0x211;
  public static final int CKA_UNWRAP_TEMPLATE = CKF_ARRAY_ATTRIBUTE | 0x212;
  public static final int CKA_DERIVE_TEMPLATE = CKF_ARRAY_ATTRIBUTE | 0x213;

  // OTP key attributes.
  public static final int CKA_OTP_FORMAT = 0x220;
  public static final int CKA_OTP_LENGTH = 0x221;
  public static final int CKA_OTP_TIME_INTERVAL = 0x222;
  public static final int CKA_OTP_USER_FRIENDLY_MODE = 0x223;
  public static final int CKA_OTP_CHALLENGE_REQUIREMENT = 0x224;
  public static final int CKA_OTP_TIME_REQUIREMENT = 0x225;
  public static final int CKA_OTP_COUNTER_REQUIREMENT = 0x226;
  public static final int CKA_OTP_PIN_REQUIREMENT = 0x227;
  public static final int CKA_OTP_USER_IDENTIFIER = 0x22A;
  public static final int CKA_OTP_SERVICE_IDENTIFIER = 0x22B;
  public static final int CKA_OTP_SERVICE_LOGO = 0x22C;
  public static final int CKA_OTP_SERVICE_LOGO_TYPE = 0x22D;
  public static final int CKA_OTP_COUNTER = 0x22E;
  public static final int CKA_OTP_TIME = 0x22F;

  // GOST attributes.
  public static final int CKA_GOSTR3410_PARAMS = 0x250;
  public static final int CKA_GOSTR3411_PARAMS = 0x251;
  public static final int CKA_GOST28147_PARAMS = 0x252;

  // Hardware feature attributes.
  public static final int CKA_HW_FEATURE_TYPE = 0x300;
  public static final int CKA_RESET_ON_INIT = 0x301;
  public static final int CKA_HAS_RESET = 0x302;
  public static final int CKA_PIXEL_X = 0x400;
  public static final int CKA_PIXEL_Y = 0x401;
  public static final int CKA_RESOLUTION = 0x402;
  public static final int CKA_CHAR_ROWS = 0x403;
  public static final int CKA_CHAR_COLUMNS = 0x404;
  public static final int CKA_COLOR = 0x405;
  public static final int CKA_BITS_PER_PIXEL = 0x406;
  public static final int CKA_CHAR_SETS = 0x480;
  public static final int CKA_ENCODING_METHODS = 0x481;
  public static final int CKA_MIME_TYPES = 0x482;

  // Mechanism object, profile and CMS attributes.
  public static final int CKA_MECHANISM_TYPE = 0x500;
  public static final int CKA_REQUIRED_CMS_ATTRIBUTES = 0x501;
  public static final int CKA_DEFAULT_CMS_ATTRIBUTES = 0x502;
  public static final int CKA_SUPPORTED_CMS_ATTRIBUTES = 0x503;
  public static final int CKA_ALLOWED_MECHANISMS = CKF_ARRAY_ATTRIBUTE | 0x600;
  public static final int CKA_PROFILE_ID = 0x601;

  // Double-ratchet and HSS key attributes.
  public static final int CKA_X2RATCHET_BAG = 0x602;
  public static final int CKA_X2RATCHET_BAGSIZE = 0x603;
  public static final int CKA_X2RATCHET_BOBS1STMSG = 0x604;
  public static final int CKA_X2RATCHET_CKR = 0x605;
  public static final int CKA_X2RATCHET_CKS = 0x606;
  public static final int CKA_X2RATCHET_DHP = 0x607;
  public static final int CKA_X2RATCHET_DHR = 0x608;
  public static final int CKA_X2RATCHET_DHS = 0x609;
  public static final int CKA_X2RATCHET_HKR = 0x60A;
  public static final int CKA_X2RATCHET_HKS = 0x60B;
  public static final int CKA_X2RATCHET_ISALICE = 0x60C;
  public static final int CKA_X2RATCHET_NHKR = 0x60D;
  public static final int CKA_X2RATCHET_NHKS = 0x60E;
  public static final int CKA_X2RATCHET_NR = 0x60F;
  public static final int CKA_X2RATCHET_NS = 0x610;
  public static final int CKA_X2RATCHET_PNS = 0x611;
  public static final int CKA_X2RATCHET_RK = 0x612;
  public static final int CKA_HSS_LEVELS = 0x617;
  public static final int CKA_HSS_LMS_TYPE = 0x618;
  public static final int CKA_HSS_LMOTS_TYPE = 0x619;
  public static final int CKA_HSS_LMS_TYPES = 0x61A;
  public static final int CKA_HSS_LMOTS_TYPES = 0x61B;
  public static final int CKA_HSS_KEYS_REMAINING = 0x61C;
  public static final int CKA_VENDOR_DEFINED = 0x80000000;

  // RSA.
  public static final int CKM_RSA_PKCS_KEY_PAIR_GEN = 0x0;
  public static final int CKM_RSA_PKCS = 0x1;
  public static final int CKM_RSA_9796 = 0x2;
  public static final int CKM_RSA_X_509 = 0x3;
  public static final int CKM_MD2_RSA_PKCS = 0x4;
  public static final int CKM_MD5_RSA_PKCS = 0x5;
  public static final int CKM_SHA1_RSA_PKCS = 0x6;
  public static final int CKM_RIPEMD128_RSA_PKCS = 0x7;
  public static final int CKM_RIPEMD160_RSA_PKCS = 0x8;
  public static final int CKM_RSA_PKCS_OAEP = 0x9;
  public static final int CKM_RSA_X9_31_KEY_PAIR_GEN = 0xA;
  public static final int CKM_RSA_X9_31 = 0xB;
  public static final int CKM_SHA1_RSA_X9_31 = 0xC;
  public static final int CKM_RSA_PKCS_PSS = 0xD;
  public static final int CKM_SHA1_RSA_PKCS_PSS = 0xE;

  // DSA and Diffie-Hellman.
  public static final int CKM_DSA_KEY_PAIR_GEN = 0x10;
  public static final int CKM_DSA = 0x11;
  public static final int CKM_DSA_SHA1 = 0x12;
  public static final int CKM_DSA_SHA224 = 0x13;
  public static final int CKM_DSA_SHA256 = 0x14;
  public static final int CKM_DSA_SHA384 = 0x15;
  public static final int CKM_DSA_SHA512 = 0x16;
  public static final int CKM_DSA_SHA3_224 = 0x18;
  public static final int CKM_DSA_SHA3_256 = 0x19;
  public static final int CKM_DSA_SHA3_384 = 0x1A;
  public static final int CKM_DSA_SHA3_512 = 0x1B;
  public static final int CKM_DH_PKCS_KEY_PAIR_GEN = 0x20;
  public static final int CKM_DH_PKCS_DERIVE = 0x21;
  public static final int CKM_X9_42_DH_KEY_PAIR_GEN = 0x30;
  public static final int CKM_X9_42_DH_DERIVE = 0x31;
  public static final int CKM_X9_42_DH_HYBRID_DERIVE = 0x32;
  public static final int CKM_X9_42_MQV_DERIVE = 0x33;

  // RSA with SHA-2 and SHA-3.
  public static final int CKM_SHA256_RSA_PKCS = 0x40;
  public static final int CKM_SHA384_RSA_PKCS = 0x41;
  public static final int CKM_SHA512_RSA_PKCS = 0x42;
  public static final int CKM_SHA256_RSA_PKCS_PSS = 0x43;
  public static final int CKM_SHA384_RSA_PKCS_PSS = 0x44;
  public static final int CKM_SHA512_RSA_PKCS_PSS = 0x45;
  public static final int CKM_SHA224_RSA_PKCS = 0x46;
  public static final int CKM_SHA224_RSA_PKCS_PSS = 0x47;

  // Truncated SHA-512.
  public static final int CKM_SHA512_224 = 0x48;
  public static final int CKM_SHA512_224_HMAC = 0x49;
  public static final int CKM_SHA512_224_HMAC_GENERAL = 0x4A;
  public static final int CKM_SHA512_224_KEY_DERIVATION = 0x4B;
  public static final int CKM_SHA512_256 = 0x4C;
  public static final int CKM_SHA512_256_HMAC = 0x4D;
  public static final int CKM_SHA512_256_HMAC_GENERAL = 0x4E;
  public static final int CKM_SHA512_256_KEY_DERIVATION = 0x4F;
  public static final int CKM_SHA512_T = 0x50;
  public static final int CKM_SHA512_T_HMAC = 0x51;
  public static final int CKM_SHA512_T_HMAC_GENERAL = 0x52;
  public static final int CKM_SHA512_T_KEY_DERIVATION = 0x53;
  public static final int CKM_SHA3_256_RSA_PKCS = 0x60;
  public static final int CKM_SHA3_384_RSA_PKCS = 0x61;
  public static final int CKM_SHA3_512_RSA_PKCS = 0x62;
  public static final int CKM_SHA3_256_RSA_PKCS_PSS = 0x63;
  public static final int CKM_SHA3_384_RSA_PKCS_PSS = 0x64;
  public static final int CKM_SHA3_512_RSA_PKCS_PSS = 0x65;
  public static final int CKM_SHA3_224_RSA_PKCS = 0x66;
  public static final int CKM_SHA3_224_RSA_PKCS_PSS = 0x67;

  // RC2, RC4, DES, triple DES, CDMF.
  public static final int CKM_RC2_KEY_GEN = 0x100;
  public static final int CKM_RC2_ECB = 0x101;
  public static final int CKM_RC2_CBC = 0x102;
  public static final int CKM_RC2_MAC = 0x103;
  public static final int CKM_RC2_MAC_GENERAL = 0x104;
  public static final int CKM_RC2_CBC_PAD = 0x105;
  public static final int CKM_RC4_KEY_GEN = 0x110;
  public static final int CKM_RC4 = 0x111;
  public static final int CKM_DES_KEY_GEN = 0x120;
  public static final int CKM_DES_ECB = 0x121;
  public static final int CKM_DES_CBC = 0x122;
  public static final int CKM_DES_MAC = 0x123;
  public static final int CKM_DES_MAC_GENERAL = 0x124;
  public static final int CKM_DES_CBC_PAD = 0x125;
  public static final int CKM_DES2_KEY_GEN = 0x130;
  public static final int CKM_DES3_KEY_GEN = 0x131;
  public static final int CKM_DES3_ECB = 0x132;
  public static final int CKM_DES3_CBC = 0x133;
  public static final int CKM_DES3_MAC = 0x134;
  public static final int CKM_DES3_MAC_GENERAL = 0x135;
  public static final int CKM_DES3_CBC_PAD = 0x136;
  public static final int CKM_DES3_CMAC_GENERAL = 0x137;
  public static final int CKM_DES3_CMAC = 0x138;
  public static final int CKM_CDMF_KEY_GEN = 0x140;
  public static final int CKM_CDMF_ECB = 0x141;
  public static final int CKM_CDMF_CBC = 0x142;
  public static final int CKM_CDMF_MAC = 0x143;
  public static final int CKM_CDMF_MAC_GENERAL = 0x144;
  public static final int CKM_CDMF_CBC_PAD = 0x145;
  public static final int CKM_DES_OFB64 = 0x150;
  public static final int CKM_DES_OFB8 = 0x151;
  public static final int CKM_DES_CFB64 = 0x152;
  public static final int CKM_DES_CFB8 = 0x153;

  // Digests and HMACs.
  public static final int CKM_MD2 = 0x200;
  public static final int CKM_MD2_HMAC = 0x201;
  public static final int CKM_MD2_HMAC_GENERAL = 0x202;
  public static final int CKM_MD5 = 0x210;
  public static final int CKM_MD5_HMAC = 0x211;
  public static final int CKM_MD5_HMAC_GENERAL = 0x212;
  public static final int CKM_SHA_1 = 0x220;
  public static final int CKM_SHA_1_HMAC = 0x221;
  public static final int CKM_SHA_1_HMAC_GENERAL = 0x222;
  public static final int CKM_RIPEMD128 = 0x230;
  public static final int CKM_RIPEMD128_HMAC = 0x231;
  public static final int CKM_RIPEMD128_HMAC_GENERAL = 0x232;
  public static final int CKM_RIPEMD160 = 0x240;
  public static final int CKM_RIPEMD160_HMAC = 0x241;
  public static final int CKM_RIPEMD160_HMAC_GENERAL = 0x242;
  public static final int CKM_SHA256 = 0x250;
  public static final int CKM_SHA256_HMAC = 0x251;
  public static final int CKM_SHA256_HMAC_GENERAL = 0x252;
  public static final int CKM_SHA224 = 0x255;
  public static final int CKM_SHA224_HMAC = 0x256;
  public static final int CKM_SHA224_HMAC_GENERAL = 0x257;
  public static final int CKM_SHA384 = 0x260;
  public static final int CKM_SHA384_HMAC = 0x261;
  public static final int CKM_SHA384_HMAC_GENERAL = 0x262;
  public static final int CKM_SHA512 = 0x270;
  public static final int CKM_SHA512_HMAC = 0x271;
  public static final int CKM_SHA512_HMAC_GENERAL = 0x272;

  // One-time passwords.
  public static final int CKM_SECURID_KEY_GEN = 0x280;
  public static final int CKM_SECURID = 0x282;
  public static final int CKM_HOTP_KEY_GEN = 0x290;
  public static final int CKM_HOTP = 0x291;
  public static final int CKM_ACTI = 0x2A0;
  public static final int CKM_ACTI_KEY_GEN = 0x2A1;

  // SHA-3.
  public static final int CKM_SHA3_256 = 0x2B0;
  public static final int CKM_SHA3_256_HMAC = 0x2B1;
  public static final int CKM_SHA3_256_HMAC_GENERAL = 0x2B2;
  public static final int CKM_SHA3_256_KEY_GEN = 0x2B3;
  public static final int CKM_SHA3_224 = 0x2B5;
  public static final int CKM_SHA3_224_HMAC = 0x2B6;
  public static final int CKM_SHA3_224_HMAC_GENERAL = 0x2B7;
  public static final int CKM_SHA3_224_KEY_GEN = 0x2B8;
  public static final int CKM_SHA3_384 = 0x2C0;
  public static final int CKM_SHA3_384_HMAC = 0x2C1;
  public static final int CKM_SHA3_384_HMAC_GENERAL = 0x2C2;
  public static final int CKM_SHA3_384_KEY_GEN = 0x2C3;
  public static final int CKM_SHA3_512 = 0x2D0;
  public static final int CKM_SHA3_512_HMAC = 0x2D1;
  public static final int CKM_SHA3_512_HMAC_GENERAL = 0x2D2;
  public static final int CKM_SHA3_512_KEY_GEN = 0x2D3;

  // CAST, RC5, IDEA.
  public static final int CKM_CAST_KEY_GEN = 0x300;
  public static final int CKM_CAST_ECB = 0x301;
  public static final int CKM_CAST_CBC = 0x302;
  public static final int CKM_CAST_MAC = 0x303;
  public static final int CKM_CAST_MAC_GENERAL = 0x304;
  public static final int CKM_CAST_CBC_PAD = 0x305;
  public static final int CKM_CAST3_KEY_GEN = 0x310;
  public static final int CKM_CAST3_ECB = 0x311;
  public static final int CKM_CAST3_CBC = 0x312;
  public static final int CKM_CAST3_MAC = 0x313;
  public static final int CKM_CAST3_MAC_GENERAL = 0x314;
  public static final int CKM_CAST3_CBC_PAD = 0x315;
  public static final int CKM_CAST128_KEY_GEN = 0x320;
  public static final int CKM_CAST5_KEY_GEN = CKM_CAST128_KEY_GEN; // Deprecated.
  public static final int CKM_CAST128_ECB = 0x321;
  public static final int CKM_CAST5_ECB = CKM_CAST128_ECB; // Deprecated.
  public static final int CKM_CAST128_CBC = 0x322;
  public static final int CKM_CAST5_CBC = CKM_CAST128_CBC; // Deprecated.
  public static final int CKM_CAST128_MAC = 0x323;
  public static final int CKM_CAST5_MAC = CKM_CAST128_MAC; // Deprecated.
  public static final int CKM_CAST128_MAC_GENERAL = 0x324;
  public static final int CKM_CAST5_MAC_GENERAL = CKM_CAST128_MAC_GENERAL; // Deprecated.
  public static final int CKM_CAST128_CBC_PAD = 0x325;
  public static final int CKM_CAST5_CBC_PAD = CKM_CAST128_CBC_PAD; // Deprecated.
  public static final int CKM_RC5_KEY_GEN = 0x330;
  public static final int CKM_RC5_ECB = 0x331;
  public static final int CKM_RC5_CBC = 0x332;
  public static final int CKM_RC5_MAC = 0x333;
  public static final int CKM_RC5_MAC_GENERAL = 0x334;
  public static final int CKM_RC5_CBC_PAD = 0x335;
  public static final int CKM_IDEA_KEY_GEN = 0x340;
  public static final int CKM_IDEA_ECB = 0x341;
  public static final int CKM_IDEA_CBC = 0x342;
  public static final int CKM_IDEA_MAC = 0x343;
  public static final int CKM_IDEA_MAC_GENERAL = 0x344;
  public static final int CKM_IDEA_CBC_PAD = 0x345;

  // Generic secrets and key derivation from keys and data.
  public static final int CKM_GENERIC_SECRET_KEY_GEN = 0x350;
  public static final int CKM_CONCATENATE_BASE_AND_KEY = 0x360;
  public static final int CKM_CONCATENATE_BASE_AND_DATA = 0x362;
  public static final int CKM_CONCATENATE_DATA_AND_BASE = 0x363;
  public static final int CKM_XOR_BASE_AND_DATA = 0x364;
  public static final int CKM_EXTRACT_KEY_FROM_KEY = 0x365;

  // SSL 3.0 and TLS.
  public static final int CKM_SSL3_PRE_MASTER_KEY_GEN = 0x370;
  public static final int CKM_SSL3_MASTER_KEY_DERIVE = 0x371;
  public static final int CKM_SSL3_KEY_AND_MAC_DERIVE = 0x372;
  public static final int CKM_SSL3_MASTER_KEY_DERIVE_DH = 0x373;
  public static final int CKM_TLS_PRE_MASTER_KEY_GEN = 0x374;
  public static final int CKM_TLS_MASTER_KEY_DERIVE = 0x375;
  public static final int CKM_TLS_KEY_AND_MAC_DERIVE = 0x376;
  public static final int CKM_TLS_MASTER_KEY_DERIVE_DH = 0x377;
  public static final int CKM_TLS_PRF = 0x378;
  public static final int CKM_SSL3_MD5_MAC = 0x380;
  public static final int CKM_SSL3_SHA1_MAC = 0x381;

  // Key derivation by digesting.
  public static final int CKM_MD5_KEY_DERIVATION = 0x390;
  public static final int CKM_MD2_KEY_DERIVATION = 0x391;
  public static final int CKM_SHA1_KEY_DERIVATION = 0x392;
  public static final int CKM_SHA256_KEY_DERIVATION = 0x393;
  public static final int CKM_SHA384_KEY_DERIVATION = 0x394;
  public static final int CKM_SHA512_KEY_DERIVATION = 0x395;
  public static final int CKM_SHA224_KEY_DERIVATION = 0x396;
  public static final int CKM_SHA3_256_KEY_DERIVATION = 0x397;
  public static final int CKM_SHA3_256_KEY_DERIVE = CKM_SHA3_256_KEY_DERIVATION; // Alias.
  public static final int CKM_SHA3_224_KEY_DERIVATION = 0x398;
  public static final int CKM_SHA3_224_KEY_DERIVE = CKM_SHA3_224_KEY_DERIVATION; // Alias.
  public static final int CKM_SHA3_384_KEY_DERIVATION = 0x399;
  public static final int CKM_SHA3_384_KEY_DERIVE = CKM_SHA3_384_KEY_DERIVATION; // Alias.
  public static final int CKM_SHA3_512_KEY_DERIVATION = 0x39A;
  public static final int CKM_SHA3_512_KEY_DERIVE = CKM_SHA3_512_KEY_DERIVATION; // Alias.
  public static final int CKM_SHAKE_128_KEY_DERIVATION = 0x39B;
  public static final int CKM_SHAKE_128_KEY_DERIVE = CKM_SHAKE_128_KEY_DERIVATION; // Alias.
  public static final int CKM_SHAKE_256_KEY_DERIVATION = 0x39C;
  public static final int CKM_SHAKE_256_KEY_DERIVE = CKM_SHAKE_256_KEY_DERIVATION; // Alias.

  // Password-based encryption and authentication.
  public static final int CKM_PBE_MD2_DES_CBC = 0x3A0;
  public static final int CKM_PBE_MD5_DES_CBC = 0x3A1;
  public static final int CKM_PBE_MD5_CAST_CBC = 0x3A2;
  public static final int CKM_PBE_MD5_CAST3_CBC = 0x3A3;
  public static final int CKM_PBE_MD5_CAST128_CBC = 0x3A4;
  public static final int CKM_PBE_MD5_CAST5_CBC = CKM_PBE_MD5_CAST128_CBC; // Deprecated.
  public static final int CKM_PBE_SHA1_CAST128_CBC = 0x3A5;
  public static final int CKM_PBE_SHA1_CAST5_CBC = CKM_PBE_SHA1_CAST128_CBC; // Deprecated.
  public static final int CKM_PBE_SHA1_RC4_128 = 0x3A6;
  public static final int CKM_PBE_SHA1_RC4_40 = 0x3A7;
  public static final int CKM_PBE_SHA1_DES3_EDE_CBC = 0x3A8;
  public static final int CKM_PBE_SHA1_DES2_EDE_CBC = 0x3A9;
  public static final int CKM_PBE_SHA1_RC2_128_CBC = 0x3AA;
  public static final int CKM_PBE_SHA1_RC2_40_CBC = 0x3AB;

  // NIST SP 800-108 key derivation.
  public static final int CKM_SP800_108_COUNTER_KDF = 0x3AC;
  public static final int CKM_SP800_108_FEEDBACK_KDF = 0x3AD;
  public static final int CKM_SP800_108_DOUBLE_PIPELINE_KDF = 0x3AE;
  public static final int CKM_PKCS5_PBKD2 = 0x3B0;
  public static final int CKM_PBA_SHA1_WITH_SHA1_HMAC = 0x3C0;

  // WTLS and TLS 1.2.
  public static final int CKM_WTLS_PRE_MASTER_KEY_GEN = 0x3D0;
  public static final int CKM_WTLS_MASTER_KEY_DERIVE = 0x3D1;
  public static final int CKM_WTLS_MASTER_KEY_DERIVE_DH_ECC = 0x3D2;
  public static final int CKM_WTLS_PRF = 0x3D3;
  public static final int CKM_WTLS_SERVER_KEY_AND_MAC_DERIVE = 0x3D4;
  public static final int CKM_WTLS_CLIENT_KEY_AND_MAC_DERIVE = 0x3D5;
  public static final int CKM_TLS10_MAC_SERVER = 0x3D6;
  public static final int CKM_TLS10_MAC_CLIENT = 0x3D7;
  public static final int CKM_TLS12_MAC = 0x3D8;
  public static final int CKM_TLS12_KDF = 0x3D9;
  public static final int CKM_TLS12_MASTER_KEY_DERIVE = 0x3E0;
  public static final int CKM_TLS12_KEY_AND_MAC_DERIVE = 0x3E1;
  public static final int CKM_TLS12_MASTER_KEY_DERIVE_DH = 0x3E2;
  public static final int CKM_TLS12_KEY_SAFE_DERIVE = 0x3E3;
  public static final int CKM_TLS_MAC = 0x3E4;
  public static final int CKM_TLS_KDF = 0x3E5;

  // Legacy key wrapping, CMS, KIP.
  public static final int CKM_KEY_WRAP_LYNKS = 0x400;
  public static final int CKM_KEY_WRAP_SET_OAEP = 0x401;
  public static final int CKM_CMS_SIG = 0x500;
  public static final int CKM_KIP_DERIVE = 0x510;
  public static final int CKM_KIP_WRAP = 0x511;
  public static final int CKM_KIP_MAC = 0x512;

  // Camellia, ARIA, SEED.
  public static final int CKM_CAMELLIA_KEY_GEN = 0x550;
  public static final int CKM_CAMELLIA_ECB = 0x551;
  public static final int CKM_CAMELLIA_CBC = 0x552;
  public static final int CKM_CAMELLIA_MAC = 0x553;
  public static final int CKM_CAMELLIA_MAC_GENERAL = 0x554;
  public static final int CKM_CAMELLIA_CBC_PAD = 0x555;
  public static final int CKM_CAMELLIA_ECB_ENCRYPT_DATA = 0x556;
  public static final int CKM_CAMELLIA_CBC_ENCRYPT_DATA = 0x557;
  public static final int CKM_CAMELLIA_CTR = 0x558;
  public static final int CKM_ARIA_KEY_GEN = 0x560;
  public static final int CKM_ARIA_ECB = 0x561;
  public static final int CKM_ARIA_CBC = 0x562;
  public static final int CKM_ARIA_MAC = 0x563;
  public static final int CKM_ARIA_MAC_GENERAL = 0x564;
  public static final int CKM_ARIA_CBC_PAD = 0x565;
  public static final int CKM_ARIA_ECB_ENCRYPT_DATA = 0x566;
  public static final int CKM_ARIA_CBC_ENCRYPT_DATA = 0x567;
  public static final int CKM_SEED_KEY_GEN = 0x650;
  public static final int CKM_SEED_ECB = 0x651;
  public static final int CKM_SEED_CBC = 0x652;
  public static final int CKM_SEED_MAC = 0x653;
  public static final int CKM_SEED_MAC_GENERAL = 0x654;
  public static final int CKM_SEED_CBC_PAD = 0x655;
  public static final int CKM_SEED_ECB_ENCRYPT_DATA = 0x656;
  public static final int CKM_SEED_CBC_ENCRYPT_DATA = 0x657;

  // Fortezza-era mechanisms: SKIPJACK, KEA, BATON, JUNIPER.
  public static final int CKM_SKIPJACK_KEY_GEN = 0x1000;
  public static final int CKM_SKIPJACK_ECB64 = 0x1001;
  public static final int CKM_SKIPJACK_CBC64 = 0x1002;
  public static final int CKM_SKIPJACK_OFB64 = 0x1003;
  public static final int CKM_SKIPJACK_CFB64 = 0x1004;
  public static final int CKM_SKIPJACK_CFB32 = 0x1005;
  public static final int CKM_SKIPJACK_CFB16 = 0x1006;
  public static final int CKM_SKIPJACK_CFB8 = 0x1007;
  public static final int CKM_SKIPJACK_WRAP = 0x1008;
  public static final int CKM_SKIPJACK_PRIVATE_WRAP = 0x1009;
  public static final int CKM_SKIPJACK_RELAYX = 0x100A;
  public static final int CKM_KEA_KEY_PAIR_GEN = 0x1010;
  public static final int CKM_KEA_KEY_DERIVE = 0x1011;
  public static final int CKM_KEA_DERIVE = 0x1012;
  public static final int CKM_FORTEZZA_TIMESTAMP = 0x1020;
  public static final int CKM_BATON_KEY_GEN = 0x1030;
  public static final int CKM_BATON_ECB128 = 0x1031;
  public static final int CKM_BATON_ECB96 = 0x1032;
  public static final int CKM_BATON_CBC128 = 0x1033;
  public static final int CKM_BATON_COUNTER = 0x1034;
  public static final int CKM_BATON_SHUFFLE = 0x1035;
  public static final int CKM_BATON_WRAP = 0x1036;

  // Elliptic curves.
  public static final int CKM_EC_KEY_PAIR_GEN = 0x1040;
  public static final int CKM_ECDSA_KEY_PAIR_GEN = CKM_EC_KEY_PAIR_GEN; // Deprecated.
  public static final int CKM_ECDSA = 0x1041;
  public static final int CKM_ECDSA_SHA1 = 0x1042;
  public static final int CKM_ECDSA_SHA224 = 0x1043;
  public static final int CKM_ECDSA_SHA256 = 0x1044;
  public static final int CKM_ECDSA_SHA384 = 0x1045;
  public static final int CKM_ECDSA_SHA512 = 0x1046;
  public static final int CKM_ECDSA_SHA3_224 = 0x1047;
  public static final int CKM_ECDSA_SHA3_256 = 0x1048;
  public static final int CKM_ECDSA_SHA3_384 = 0x1049;
  public static final int CKM_ECDSA_SHA3_512 = 0x104A;
  public static final int CKM_EC_KEY_PAIR_GEN_W_EXTRA_BITS = 0x140B;
  public static final int CKM_ECDH1_DERIVE = 0x1050;
  public static final int CKM_ECDH1_COFACTOR_DERIVE = 0x1051;
  public static final int CKM_ECMQV_DERIVE = 0x1052;
  public static final int CKM_ECDH_AES_KEY_WRAP = 0x1053;
  public static final int CKM_RSA_AES_KEY_WRAP = 0x1054;
  public static final int CKM_EC_EDWARDS_KEY_PAIR_GEN = 0x1055;
  public static final int CKM_EC_MONTGOMERY_KEY_PAIR_GEN = 0x1056;
  public static final int CKM_EDDSA = 0x1057;
  public static final int CKM_JUNIPER_KEY_GEN = 0x1060;
  public static final int CKM_JUNIPER_ECB128 = 0x1061;
  public static final int CKM_JUNIPER_CBC128 = 0x1062;
  public static final int CKM_JUNIPER_COUNTER = 0x1063;
  public static final int CKM_JUNIPER_SHUFFLE = 0x1064;
  public static final int CKM_JUNIPER_WRAP = 0x1065;
  public static final int CKM_FASTHASH = 0x1070;

  // AES.
  public static final int CKM_AES_XTS = 0x1071;
  public static final int CKM_AES_XTS_KEY_GEN = 0x1072;
  public static final int CKM_AES_KEY_GEN = 0x1080;
  public static final int CKM_AES_ECB = 0x1081;
  public static final int CKM_AES_CBC = 0x1082;
  public static final int CKM_AES_MAC = 0x1083;
  public static final int CKM_AES_MAC_GENERAL = 0x1084;
  public static final int CKM_AES_CBC_PAD = 0x1085;
  public static final int CKM_AES_CTR = 0x1086;
  public static final int CKM_AES_GCM = 0x1087;
  public static final int CKM_AES_CCM = 0x1088;
  public static final int CKM_AES_CTS = 0x1089;
  public static final int CKM_AES_CMAC = 0x108A;
  public static final int CKM_AES_CMAC_GENERAL = 0x108B;
  public static final int CKM_AES_XCBC_MAC = 0x108C;
  public static final int CKM_AES_XCBC_MAC_96 = 0x108D;
  public static final int CKM_AES_GMAC = 0x108E;

  // Blowfish, Twofish.
  public static final int CKM_BLOWFISH_KEY_GEN = 0x1090;
  public static final int CKM_BLOWFISH_CBC = 0x1091;
  public static final int CKM_TWOFISH_KEY_GEN = 0x1092;
  public static final int CKM_TWOFISH_CBC = 0x1093;
  public static final int CKM_BLOWFISH_CBC_PAD = 0x1094;
  public static final int CKM_TWOFISH_CBC_PAD = 0x1095;

  // Key derivation by encrypting data.
  public static final int CKM_DES_ECB_ENCRYPT_DATA = 0x1100;
  public static final int CKM_DES_CBC_ENCRYPT_DATA = 0x1101;
  public static final int CKM_DES3_ECB_ENCRYPT_DATA = 0x1102;
  public static final int CKM_DES3_CBC_ENCRYPT_DATA = 0x1103;
  public static final int CKM_AES_ECB_ENCRYPT_DATA = 0x1104;
  public static final int CKM_AES_CBC_ENCRYPT_DATA = 0x1105;

  // GOST.
  public static final int CKM_GOSTR3410_KEY_PAIR_GEN = 0x1200;
  public static final int CKM_GOSTR3410 = 0x1201;
  public static final int CKM_GOSTR3410_WITH_GOSTR3411 = 0x1202;
  public static final int CKM_GOSTR3410_KEY_WRAP = 0x1203;
  public static final int CKM_GOSTR3410_DERIVE = 0x1204;
  public static final int CKM_GOSTR3411 = 0x1210;
  public static final int CKM_GOSTR3411_HMAC = 0x1211;
  public static final int CKM_GOST28147_KEY_GEN = 0x1220;
  public static final int CKM_GOST28147_ECB = 0x1221;
  public static final int CKM_GOST28147 = 0x1222;
  public static final int CKM_GOST28147_MAC = 0x1223;
  public static final int CKM_GOST28147_KEY_WRAP = 0x1224;

  // ChaCha20 and Poly1305.
  public static final int CKM_CHACHA20_KEY_GEN = 0x1225;
  public static final int CKM_CHACHA20 = 0x1226;
  public static final int CKM_POLY1305_KEY_GEN = 0x1227;
  public static final int CKM_POLY1305 = 0x1228;

  // Domain parameter generation.
  public static final int CKM_DSA_PARAMETER_GEN = 0x2000;
  public static final int CKM_DH_PKCS_PARAMETER_GEN = 0x2001;
  public static final int CKM_X9_42_DH_PARAMETER_GEN = 0x2002;
  public static final int CKM_DSA_PROBABILISTIC_PARAMETER_GEN = 0x2003;
  public static final int CKM_DSA_PROBABLISTIC_PARAMETER_GEN =
      CKM_DSA_PROBABILISTIC_PARAMETER_GEN; // Misspelt name of v2.40.
  public static final int CKM_DSA_SHAWE_TAYLOR_PARAMETER_GEN = 0x2004;
  public static final int CKM_DSA_FIPS_G_GEN = 0x2005;

  // AES feedback modes and key wrapping.
  public static final int CKM_AES_OFB = 0x2104;
  public static final int CKM_AES_CFB64 = 0x2105;
  public static final int CKM_AES_CFB8 = 0x2106;
  public static final int CKM_AES_CFB128 = 0x2107;
  public static final int CKM_AES_CFB1 = 0x2108;
  public static final int CKM_AES_KEY_WRAP = 0x2109;
  public static final int CKM_AES_KEY_WRAP_PAD = 0x210A;
  public static final int CKM_AES_KEY_WRAP_KWP = 0x210B;

  // TPM 1.1 RSA padding.
  public static final int CKM_RSA_PKCS_TPM_1_1 = 0x4001;
  public static final int CKM_RSA_PKCS_OAEP_TPM_1_1 = 0x4002;

  // HMAC key generation and the null mechanism.
  public static final int CKM_SHA_1_KEY_GEN = 0x4003;
  public static final int CKM_SHA224_KEY_GEN = 0x4004;
  public static final int CKM_SHA256_KEY_GEN = 0x4005;
  public static final int CKM_SHA384_KEY_GEN = 0x4006;
  public static final int CKM_SHA512_KEY_GEN = 0x4007;
  public static final int CKM_SHA512_224_KEY_GEN = 0x4008;
  public static final int CKM_SHA512_256_KEY_GEN = 0x4009;
  public static final int CKM_SHA512_T_KEY_GEN = 0x400A;
  public static final int CKM_NULL = 0x400B;

  // BLAKE2b.
  public static final int CKM_BLAKE2B_160 = 0x400C;
  public static final int CKM_BLAKE2B_160_HMAC = 0x400D;
  public static final int CKM_BLAKE2B_160_HMAC_GENERAL = 0x400E;
  public static final int CKM_BLAKE2B_160_KEY_DERIVE = 0x400F;
  public static final int CKM_BLAKE2B_160_KEY_GEN = 0x4010;
  public static final int CKM_BLAKE2B_256 = 0x4011;
  public static final int CKM_BLAKE2B_256_HMAC = 0x4012;
  public static final int CKM_BLAKE2B_256_HMAC_GENERAL = 0x4013;
  public static final int CKM_BLAKE2B_256_KEY_DERIVE = 0x4014;
  public static final int CKM_BLAKE2B_256_KEY_GEN = 0x4015;
  public static final int CKM_BLAKE2B_384 = 0x4016;
  public static final int CKM_BLAKE2B_384_HMAC = 0x4017;
  public static final int CKM_BLAKE2B_384_HMAC_GENERAL = 0x4018;
  public static final int CKM_BLAKE2B_384_KEY_DERIVE = 0x4019;
  public static final int CKM_BLAKE2B_384_KEY_GEN = 0x401A;
  public static final int CKM_BLAKE2B_512 = 0x401B;
  public static final int CKM_BLAKE2B_512_HMAC = 0x401C;
  public static final int CKM_BLAKE2B_512_HMAC_GENERAL = 0x401D;
  public static final int CKM_BLAKE2B_512_KEY_DERIVE = 0x401E;
  public static final int CKM_BLAKE2B_512_KEY_GEN = 0x401F;

  // Salsa20, AEAD constructions, Signal-style key agreement and XEdDSA.
  public static final int CKM_SALSA20 = 0x4020;
  public static final int CKM_CHACHA20_POLY1305 = 0x4021;
  public static final int CKM_SALSA20_POLY1305 = 0x4022;
  public static final int CKM_X3DH_INITIALIZE = 0x4023;
  public static final int CKM_X3DH_RESPOND = 0x4024;
  public static final int CKM_X2RATCHET_INITIALIZE = 0x4025;
  public static final int CKM_X2RATCHET_RESPOND = 0x4026;
  public static final int CKM_X2RATCHET_ENCRYPT = 0x4027;
  public static final int CKM_X2RATCHET_DECRYPT = 0x4028;
  public static final int CKM_XEDDSA = 0x4029;

  // HKDF, IKE, HSS.
  public static final int CKM_HKDF_DERIVE = 0x402A;
  public static final int CKM_HKDF_DATA = 0x402B;
  public static final int CKM_HKDF_KEY_GEN = 0x402C;
  public static final int CKM_SALSA20_KEY_GEN = 0x402D;
  public static final int CKM_IKE2_PRF_PLUS_DERIVE = 0x402E;
  public static final int CKM_IKE_PRF_DERIVE = 0x402F;
  public static final int CKM_IKE1_PRF_DERIVE = 0x4030;
  public static final int CKM_IKE1_EXTENDED_DERIVE = 0x4031;
  public static final int CKM_HSS_KEY_PAIR_GEN = 0x4032;
  public static final int CKM_HSS = 0x4033;
  public static final int CKM_VENDOR_DEFINED = 0x80000000;

  // Return codes.
  public static final int CKR_OK = 0x0;
  public static final int CKR_CANCEL = 0x1;
  public static final int CKR_HOST_MEMORY = 0x2;
  public static final int CKR_SLOT_ID_INVALID = 0x3;
  public static final int CKR_GENERAL_ERROR = 0x5;
  public static final int CKR_FUNCTION_FAILED = 0x6;
  public static final int CKR_ARGUMENTS_BAD = 0x7;
  public static final int CKR_NO_EVENT = 0x8;
  public static final int CKR_NEED_TO_CREATE_THREADS = 0x9;
  public static final int CKR_CANT_LOCK = 0xA;
  public static final int CKR_ATTRIBUTE_READ_ONLY = 0x10;
  public static final int CKR_ATTRIBUTE_SENSITIVE = 0x11;
  public static final int CKR_ATTRIBUTE_TYPE_INVALID = 0x12;
  public static final int CKR_ATTRIBUTE_VALUE_INVALID = 0x13;
  public static final int CKR_ACTION_PROHIBITED = 0x1B;
  public static final int CKR_DATA_INVALID = 0x20;
  public static final int CKR_DATA_LEN_RANGE = 0x21;
  public static final int CKR_DEVICE_ERROR = 0x30;
  public static final int CKR_DEVICE_MEMORY = 0x31;
  public static final int CKR_DEVICE_REMOVED = 0x32;
  public static final int CKR_ENCRYPTED_DATA_INVALID = 0x40;
  public static final int CKR_ENCRYPTED_DATA_LEN_RANGE = 0x41;
  public static final int CKR_AEAD_DECRYPT_FAILED = 0x42;
  public static final int CKR_FUNCTION_CANCELED = 0x50;
  public static final int CKR_FUNCTION_NOT_PARALLEL = 0x51;
  public static final int CKR_FUNCTION_NOT_SUPPORTED = 0x54;
  public static final int CKR_KEY_HANDLE_INVALID = 0x60;
  public static final int CKR_KEY_SIZE_RANGE = 0x62;
  public static final int CKR_KEY_TYPE_INCONSISTENT = 0x63;
  public static final int CKR_KEY_NOT_NEEDED = 0x64;
  public static final int CKR_KEY_CHANGED = 0x65;
  public static final int CKR_KEY_NEEDED = 0x66;
  public static final int CKR_KEY_INDIGESTIBLE = 0x67;
  public static final int CKR_KEY_FUNCTION_NOT_PERMITTED = 0x68;
  public static final int CKR_KEY_NOT_WRAPPABLE = 0x69;
  public static final int CKR_KEY_UNEXTRACTABLE = 0x6A;
  public static final int CKR_MECHANISM_INVALID = 0x70;
  public static final int CKR_MECHANISM_PARAM_INVALID = 0x71;
  public static final int CKR_OBJECT_HANDLE_INVALID = 0x82;
  public static final int CKR_OPERATION_ACTIVE = 0x90;
  public static final int CKR_OPERATION_NOT_INITIALIZED = 0x91;
  public static final int CKR_PIN_INCORRECT = 0xA0;
  public static final int CKR_PIN_INVALID = 0xA1;
  public static final int CKR_PIN_LEN_RANGE = 0xA2;
  public static final int CKR_PIN_EXPIRED = 0xA3;
  public static final int CKR_PIN_LOCKED = 0xA4;
  public static final int CKR_SESSION_CLOSED = 0xB0;
  public static final int CKR_SESSION_COUNT = 0xB1;
  public static final int CKR_SESSION_HANDLE_INVALID = 0xB3;
  public static final int CKR_SESSION_PARALLEL_NOT_SUPPORTED = 0xB4;
  public static final int CKR_SESSION_READ_ONLY = 0xB5;
  public static final int CKR_SESSION_EXISTS = 0xB6;
  public static final int CKR_SESSION_READ_ONLY_EXISTS = 0xB7;
  public static final int CKR_SESSION_READ_WRITE_SO_EXISTS = 0xB8;
  public static final int CKR_SIGNATURE_INVALID = 0xC0;
  public static final int CKR_SIGNATURE_LEN_RANGE = 0xC1;
  public static final int CKR_TEMPLATE_INCOMPLETE = 0xD0;
  public static final int CKR_TEMPLATE_INCONSISTENT = 0xD1;
  public static final int CKR_TOKEN_NOT_PRESENT = 0xE0;
  public static final int CKR_TOKEN_NOT_RECOGNIZED = 0xE1;
  public static final int CKR_TOKEN_WRITE_PROTECTED = 0xE2;
  public static final int CKR_UNWRAPPING_KEY_HANDLE_INVALID = 0xF0;
  public static final int CKR_UNWRAPPING_KEY_SIZE_RANGE = 0xF1;
  public static final int CKR_UNWRAPPING_KEY_TYPE_INCONSISTENT = 0xF2;
  public static final int CKR_USER_ALREADY_LOGGED_IN = 0x100;
  public static final int CKR_USER_NOT_LOGGED_IN = 0x101;
  public static final int CKR_USER_PIN_NOT_INITIALIZED = 0x102;
  public static final int CKR_USER_TYPE_INVALID = 0x103;
  public static final int CKR_USER_ANOTHER_ALREADY_LOGGED_IN = 0x104;
  public static final int CKR_USER_TOO_MANY_TYPES = 0x105;
  public static final int CKR_WRAPPED_KEY_INVALID = 0x110;
  public static final int CKR_WRAPPED_KEY_LEN_RANGE = 0x112;
  public static final int CKR_WRAPPING_KEY_HANDLE_INVALID = 0x113;
  public static final int CKR_WRAPPING_KEY_SIZE_RANGE = 0x114;
  public static final int CKR_WRAPPING_KEY_TYPE_INCONSISTENT = 0x115;
  public static final int CKR_RANDOM_SEED_NOT_SUPPORTED = 0x120;
  public static final int CKR_RANDOM_NO_RNG = 0x121;
  public static final int CKR_DOMAIN_PARAMS_INVALID = 0x130;
  public static final int CKR_CURVE_NOT_SUPPORTED = 0x140;
  public static final int CKR_BUFFER_TOO_SMALL = 0x150;
  public static final int CKR_SAVED_STATE_INVALID = 0x160;
  public static final int CKR_INFORMATION_SENSITIVE = 0x170;
  public static final int CKR_STATE_UNSAVEABLE = 0x180;
  public static final int CKR_CRYPTOKI_NOT_INITIALIZED = 0x190;
  public static final int CKR_CRYPTOKI_ALREADY_INITIALIZED = 0x191;
  public static final int CKR_MUTEX_BAD = 0x1A0;
  public static final int CKR_MUTEX_NOT_LOCKED = 0x1A1;
  public static final int CKR_NEW_PIN_MODE = 0x1B0;
  public static final int CKR_NEXT_OTP = 0x1B1;
  // The next five have these numbers in the OASIS headers; p11-kit's header carries older draft
  // numbers (0x1C0 to 0x1C4).
  public static final int CKR_EXCEEDED_MAX_ITERATIONS = 0x1B5;
  public static final int CKR_FIPS_SELF_TEST_FAILED = 0x1B6;
  public static final int CKR_LIBRARY_LOAD_FAILED = 0x1B7;
  public static final int CKR_PIN_TOO_WEAK = 0x1B8;
  public static final int CKR_PUBLIC_KEY_INVALID = 0x1B9;
  public static final int CKR_FUNCTION_REJECTED = 0x200;
  public static final int CKR_TOKEN_RESOURCE_EXCEEDED = 0x201;
  public static final int CKR_OPERATION_CANCEL_FAILED = 0x202;
  public static final int CKR_VENDOR_DEFINED = 0x80000000;
}
