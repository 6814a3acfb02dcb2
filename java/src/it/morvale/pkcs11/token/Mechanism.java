package it.morvale.pkcs11.token;

import static it.morvale.pkcs11.token.Cryptoki.*;

import java.util.Arrays;
import java.util.HashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;

/**
 * A PKCS#11 mechanism type with what the layer knows of it: the name that OpenSC's pkcs11-tool
 * prints, what it does, the key type it works with, its hash, and whether it needs a parameter.
 *
 * <p>The table holds every standard mechanism of PKCS#11 v2.40 and v3.0. Mechanism types are
 * CK_ULONG, held here in an {@code int}: they are compared and sorted as unsigned numbers, so the
 * vendor-defined ones (from 0x80000000) come last.
 */
public final class Mechanism {
  /** What a mechanism is principally for. */
  public enum Kind {
    SIGNATURE,
    CIPHER,
    DIGEST,
    MAC,
    KEY_GENERATION,
    KEY_PAIR_GENERATION,
    KEY_WRAP,
    KEY_DERIVATION,
    PARAMETER_GENERATION,
    OTHER
  }

  private final int type;
  private final String name;
  private final Kind kind;
  private final int keyType;
  private final String digest;
  private final boolean needsParameters;
  private final String description;

  private Mechanism(int type, String name, Kind kind, int keyType, String digest,
      boolean needsParameters, String description) {
    this.type = type;
    this.name = name;
    this.kind = kind;
    this.keyType = keyType;
    this.digest = digest;
    this.needsParameters = needsParameters;
    this.description = description;
  }

  /** The CKM_ type. */
  public int type() { return type; }

  /** The name as pkcs11-tool prints it (SHA256-RSA-PKCS), or the type in hex when unknown. */
  public String name() { return name; }

  /** The principal use. A mechanism that both encrypts and wraps is a {@link Kind#CIPHER}. */
  public Kind kind() { return kind; }

  /** The CKK_ type of the key the mechanism uses or makes; -1 for none or unknown. */
  public int keyType() { return keyType; }

  /** The java.security MessageDigest name of the hash it uses (hash-then-sign, HMAC, digest). */
  public String digest() { return digest; }

  /**
   * Whether the mechanism cannot be used without a parameter. The bridge passes mechanisms without
   * parameters, so only those that answer false here work through it.
   */
  public boolean needsParameters() { return needsParameters; }

  /** A few words on what the mechanism does. */
  public String description() { return description; }

  /** Whether the type lies in the vendor-defined range (CKM_VENDOR_DEFINED bit set). */
  public boolean isVendorDefined() { return (type & CKM_VENDOR_DEFINED) != 0; }

  /** The mechanism of `type`: a table row, or one named by its hex for a type the table lacks. */
  public static Mechanism of(int type) {
    int low = 0, high = TABLE.length - 1;
    while (low <= high) {
      int mid = (low + high) >>> 1;
      int c = Integer.compareUnsigned(TABLE[mid].type, type);
      if (c == 0) return TABLE[mid];
      if (c < 0) {
        low = mid + 1;
      } else {
        high = mid - 1;
      }
    }
    String description =
        (type & CKM_VENDOR_DEFINED) != 0 ? "vendor-defined mechanism" : "unknown mechanism";
    return new Mechanism(
        type, String.format(Locale.ROOT, "0x%08X", type), Kind.OTHER, -1, null, false, description);
  }

  /** The name of `type`, as {@link #name()} gives it. */
  public static String nameOf(int type) { return of(type).name(); }

  /**
   * The mechanism called `name`, ignoring case: the table's name (SHA256-RSA-PKCS), the header's
   * name (CKM_SHA256_RSA_PKCS, deprecated aliases too), or a number in hex (0x40) or decimal.
   * Null when nothing matches.
   */
  public static Mechanism named(String name) {
    String s = name.trim().toUpperCase(Locale.ROOT);
    if (s.startsWith("CKM_")) s = s.substring(4);
    s = s.replace('_', '-');
    Mechanism m = BY_NAME.get(s);
    if (m != null) return m;
    try {
      long value = s.startsWith("0X") ? Long.parseLong(s.substring(2), 16) : Long.parseLong(s);
      if (value >= 0 && value <= 0xFFFFFFFFL) return of((int) value);
    } catch (NumberFormatException notANumber) {
      // Neither a name nor a number.
    }
    return null;
  }

  /** Every standard mechanism, in numeric order. */
  public static List<Mechanism> all() { return ALL; }

  @Override
  public boolean equals(Object o) {
    return o instanceof Mechanism && ((Mechanism) o).type == type;
  }

  @Override
  public int hashCode() {
    return Integer.hashCode(type);
  }

  @Override
  public String toString() {
    return name;
  }

  private static Mechanism row(int type, String name, Kind kind, int keyType, String digest,
      boolean needsParameters, String description) {
    return new Mechanism(type, name, kind, keyType, digest, needsParameters, description);
  }

  private static final Mechanism[] TABLE;
  private static final List<Mechanism> ALL;
  private static final Map<String, Mechanism> BY_NAME = new HashMap<>();

  static {
    // Columns: type, name, kind, key type, hash, needs a parameter, description.
    // clang-format off
    Mechanism[] rows = {
      row(CKM_RSA_PKCS_KEY_PAIR_GEN, "RSA-PKCS-KEY-PAIR-GEN", Kind.KEY_PAIR_GENERATION, CKK_RSA, null, false, "RSA key pair generation"),
      row(CKM_RSA_PKCS, "RSA-PKCS", Kind.CIPHER, CKK_RSA, null, false, "RSA PKCS #1 v1.5 encryption and signature"),
      row(CKM_RSA_9796, "RSA-9796", Kind.SIGNATURE, CKK_RSA, null, false, "RSA ISO/IEC 9796 signature"),
      row(CKM_RSA_X_509, "RSA-X-509", Kind.CIPHER, CKK_RSA, null, false, "raw RSA"),
      row(CKM_MD2_RSA_PKCS, "MD2-RSA-PKCS", Kind.SIGNATURE, CKK_RSA, "MD2", false, "RSA PKCS #1 v1.5 signature with MD2"),
      row(CKM_MD5_RSA_PKCS, "MD5-RSA-PKCS", Kind.SIGNATURE, CKK_RSA, "MD5", false, "RSA PKCS #1 v1.5 signature with MD5"),
      row(CKM_SHA1_RSA_PKCS, "SHA1-RSA-PKCS", Kind.SIGNATURE, CKK_RSA, "SHA-1", false, "RSA PKCS #1 v1.5 signature with SHA-1"),
      row(CKM_RIPEMD128_RSA_PKCS, "RIPEMD128-RSA-PKCS", Kind.SIGNATURE, CKK_RSA, "RIPEMD128", false, "RSA PKCS #1 v1.5 signature with RIPEMD-128"),
      row(CKM_RIPEMD160_RSA_PKCS, "RIPEMD160-RSA-PKCS", Kind.SIGNATURE, CKK_RSA, "RIPEMD160", false, "RSA PKCS #1 v1.5 signature with RIPEMD-160"),
      row(CKM_RSA_PKCS_OAEP, "RSA-PKCS-OAEP", Kind.CIPHER, CKK_RSA, null, true, "RSA OAEP encryption"),
      row(CKM_RSA_X9_31_KEY_PAIR_GEN, "RSA-X9-31-KEY-PAIR-GEN", Kind.KEY_PAIR_GENERATION, CKK_RSA, null, false, "RSA key pair generation (ANSI X9.31)"),
      row(CKM_RSA_X9_31, "RSA-X9-31", Kind.SIGNATURE, CKK_RSA, null, false, "RSA ANSI X9.31 signature"),
      row(CKM_SHA1_RSA_X9_31, "SHA1-RSA-X9-31", Kind.SIGNATURE, CKK_RSA, "SHA-1", false, "RSA ANSI X9.31 signature with SHA-1"),
      row(CKM_RSA_PKCS_PSS, "RSA-PKCS-PSS", Kind.SIGNATURE, CKK_RSA, null, true, "RSA PSS signature of a hash"),
      row(CKM_SHA1_RSA_PKCS_PSS, "SHA1-RSA-PKCS-PSS", Kind.SIGNATURE, CKK_RSA, "SHA-1", true, "RSA PSS signature with SHA-1"),
      row(CKM_DSA_KEY_PAIR_GEN, "DSA-KEY-PAIR-GEN", Kind.KEY_PAIR_GENERATION, CKK_DSA, null, false, "DSA key pair generation"),
      row(CKM_DSA, "DSA", Kind.SIGNATURE, CKK_DSA, null, false, "DSA signature of a hash"),
      row(CKM_DSA_SHA1, "DSA-SHA1", Kind.SIGNATURE, CKK_DSA, "SHA-1", false, "DSA signature with SHA-1"),
      row(CKM_DSA_SHA224, "DSA-SHA224", Kind.SIGNATURE, CKK_DSA, "SHA-224", false, "DSA signature with SHA-224"),
      row(CKM_DSA_SHA256, "DSA-SHA256", Kind.SIGNATURE, CKK_DSA, "SHA-256", false, "DSA signature with SHA-256"),
      row(CKM_DSA_SHA384, "DSA-SHA384", Kind.SIGNATURE, CKK_DSA, "SHA-384", false, "DSA signature with SHA-384"),
      row(CKM_DSA_SHA512, "DSA-SHA512", Kind.SIGNATURE, CKK_DSA, "SHA-512", false, "DSA signature with SHA-512"),
      row(CKM_DSA_SHA3_224, "DSA-SHA3-224", Kind.SIGNATURE, CKK_DSA, "SHA3-224", false, "DSA signature with SHA3-224"),
      row(CKM_DSA_SHA3_256, "DSA-SHA3-256", Kind.SIGNATURE, CKK_DSA, "SHA3-256", false, "DSA signature with SHA3-256"),
      row(CKM_DSA_SHA3_384, "DSA-SHA3-384", Kind.SIGNATURE, CKK_DSA, "SHA3-384", false, "DSA signature with SHA3-384"),
      row(CKM_DSA_SHA3_512, "DSA-SHA3-512", Kind.SIGNATURE, CKK_DSA, "SHA3-512", false, "DSA signature with SHA3-512"),
      row(CKM_DH_PKCS_KEY_PAIR_GEN, "DH-PKCS-KEY-PAIR-GEN", Kind.KEY_PAIR_GENERATION, CKK_DH, null, false, "Diffie-Hellman (PKCS #3) key pair generation"),
      row(CKM_DH_PKCS_DERIVE, "DH-PKCS-DERIVE", Kind.KEY_DERIVATION, CKK_DH, null, true, "Diffie-Hellman (PKCS #3) key agreement"),
      row(CKM_X9_42_DH_KEY_PAIR_GEN, "X9-42-DH-KEY-PAIR-GEN", Kind.KEY_PAIR_GENERATION, CKK_X9_42_DH, null, false, "Diffie-Hellman (ANSI X9.42) key pair generation"),
      row(CKM_X9_42_DH_DERIVE, "X9-42-DH-DERIVE", Kind.KEY_DERIVATION, CKK_X9_42_DH, null, true, "Diffie-Hellman (ANSI X9.42) key agreement"),
      row(CKM_X9_42_DH_HYBRID_DERIVE, "X9-42-DH-HYBRID-DERIVE", Kind.KEY_DERIVATION, CKK_X9_42_DH, null, true, "hybrid Diffie-Hellman (ANSI X9.42) key agreement"),
      row(CKM_X9_42_MQV_DERIVE, "X9-42-MQV-DERIVE", Kind.KEY_DERIVATION, CKK_X9_42_DH, null, true, "MQV (ANSI X9.42) key agreement"),
      row(CKM_SHA256_RSA_PKCS, "SHA256-RSA-PKCS", Kind.SIGNATURE, CKK_RSA, "SHA-256", false, "RSA PKCS #1 v1.5 signature with SHA-256"),
      row(CKM_SHA384_RSA_PKCS, "SHA384-RSA-PKCS", Kind.SIGNATURE, CKK_RSA, "SHA-384", false, "RSA PKCS #1 v1.5 signature with SHA-384"),
      row(CKM_SHA512_RSA_PKCS, "SHA512-RSA-PKCS", Kind.SIGNATURE, CKK_RSA, "SHA-512", false, "RSA PKCS #1 v1.5 signature with SHA-512"),
      row(CKM_SHA256_RSA_PKCS_PSS, "SHA256-RSA-PKCS-PSS", Kind.SIGNATURE, CKK_RSA, "SHA-256", true, "RSA PSS signature with SHA-256"),
      row(CKM_SHA384_RSA_PKCS_PSS, "SHA384-RSA-PKCS-PSS", Kind.SIGNATURE, CKK_RSA, "SHA-384", true, "RSA PSS signature with SHA-384"),
      row(CKM_SHA512_RSA_PKCS_PSS, "SHA512-RSA-PKCS-PSS", Kind.SIGNATURE, CKK_RSA, "SHA-512", true, "RSA PSS signature with SHA-512"),
      row(CKM_SHA224_RSA_PKCS, "SHA224-RSA-PKCS", Kind.SIGNATURE, CKK_RSA, "SHA-224", false, "RSA PKCS #1 v1.5 signature with SHA-224"),
      row(CKM_SHA224_RSA_PKCS_PSS, "SHA224-RSA-PKCS-PSS", Kind.SIGNATURE, CKK_RSA, "SHA-224", true, "RSA PSS signature with SHA-224"),
      row(CKM_SHA512_224, "SHA512-224", Kind.DIGEST, -1, "SHA-512/224", false, "SHA-512/224 digest"),
      row(CKM_SHA512_224_HMAC, "SHA512-224-HMAC", Kind.MAC, CKK_GENERIC_SECRET, "SHA-512/224", false, "HMAC with SHA-512/224"),
      row(CKM_SHA512_224_HMAC_GENERAL, "SHA512-224-HMAC-GENERAL", Kind.MAC, CKK_GENERIC_SECRET, "SHA-512/224", true, "HMAC with SHA-512/224, output of chosen length"),
      row(CKM_SHA512_224_KEY_DERIVATION, "SHA512-224-KEY-DERIVATION", Kind.KEY_DERIVATION, -1, null, false, "key derivation by SHA-512/224 digest of a key"),
      row(CKM_SHA512_256, "SHA512-256", Kind.DIGEST, -1, "SHA-512/256", false, "SHA-512/256 digest"),
      row(CKM_SHA512_256_HMAC, "SHA512-256-HMAC", Kind.MAC, CKK_GENERIC_SECRET, "SHA-512/256", false, "HMAC with SHA-512/256"),
      row(CKM_SHA512_256_HMAC_GENERAL, "SHA512-256-HMAC-GENERAL", Kind.MAC, CKK_GENERIC_SECRET, "SHA-512/256", true, "HMAC with SHA-512/256, output of chosen length"),
      row(CKM_SHA512_256_KEY_DERIVATION, "SHA512-256-KEY-DERIVATION", Kind.KEY_DERIVATION, -1, null, false, "key derivation by SHA-512/256 digest of a key"),
      row(CKM_SHA512_T, "SHA512-T", Kind.DIGEST, -1, null, true, "SHA-512/t digest"),
      row(CKM_SHA512_T_HMAC, "SHA512-T-HMAC", Kind.MAC, CKK_GENERIC_SECRET, null, true, "HMAC with SHA-512/t"),
      row(CKM_SHA512_T_HMAC_GENERAL, "SHA512-T-HMAC-GENERAL", Kind.MAC, CKK_GENERIC_SECRET, null, true, "HMAC with SHA-512/t, output of chosen length"),
      row(CKM_SHA512_T_KEY_DERIVATION, "SHA512-T-KEY-DERIVATION", Kind.KEY_DERIVATION, -1, null, true, "key derivation by SHA-512/t digest of a key"),
      row(CKM_SHA3_256_RSA_PKCS, "SHA3-256-RSA-PKCS", Kind.SIGNATURE, CKK_RSA, "SHA3-256", false, "RSA PKCS #1 v1.5 signature with SHA3-256"),
      row(CKM_SHA3_384_RSA_PKCS, "SHA3-384-RSA-PKCS", Kind.SIGNATURE, CKK_RSA, "SHA3-384", false, "RSA PKCS #1 v1.5 signature with SHA3-384"),
      row(CKM_SHA3_512_RSA_PKCS, "SHA3-512-RSA-PKCS", Kind.SIGNATURE, CKK_RSA, "SHA3-512", false, "RSA PKCS #1 v1.5 signature with SHA3-512"),
      row(CKM_SHA3_256_RSA_PKCS_PSS, "SHA3-256-RSA-PKCS-PSS", Kind.SIGNATURE, CKK_RSA, "SHA3-256", true, "RSA PSS signature with SHA3-256"),
      row(CKM_SHA3_384_RSA_PKCS_PSS, "SHA3-384-RSA-PKCS-PSS", Kind.SIGNATURE, CKK_RSA, "SHA3-384", true, "RSA PSS signature with SHA3-384"),
      row(CKM_SHA3_512_RSA_PKCS_PSS, "SHA3-512-RSA-PKCS-PSS", Kind.SIGNATURE, CKK_RSA, "SHA3-512", true, "RSA PSS signature with SHA3-512"),
      row(CKM_SHA3_224_RSA_PKCS, "SHA3-224-RSA-PKCS", Kind.SIGNATURE, CKK_RSA, "SHA3-224", false, "RSA PKCS #1 v1.5 signature with SHA3-224"),
      row(CKM_SHA3_224_RSA_PKCS_PSS, "SHA3-224-RSA-PKCS-PSS", Kind.SIGNATURE, CKK_RSA, "SHA3-224", true, "RSA PSS signature with SHA3-224"),
      row(CKM_RC2_KEY_GEN, "RC2-KEY-GEN", Kind.KEY_GENERATION, CKK_RC2, null, false, "RC2 key generation"),
      row(CKM_RC2_ECB, "RC2-ECB", Kind.CIPHER, CKK_RC2, null, true, "RC2 in ECB mode"),
      row(CKM_RC2_CBC, "RC2-CBC", Kind.CIPHER, CKK_RC2, null, true, "RC2 in CBC mode"),
      row(CKM_RC2_MAC, "RC2-MAC", Kind.MAC, CKK_RC2, null, true, "RC2 CBC-MAC"),
      row(CKM_RC2_MAC_GENERAL, "RC2-MAC-GENERAL", Kind.MAC, CKK_RC2, null, true, "RC2 CBC-MAC, output of chosen length"),
      row(CKM_RC2_CBC_PAD, "RC2-CBC-PAD", Kind.CIPHER, CKK_RC2, null, true, "RC2 in CBC mode with PKCS #7 padding"),
      row(CKM_RC4_KEY_GEN, "RC4-KEY-GEN", Kind.KEY_GENERATION, CKK_RC4, null, false, "RC4 key generation"),
      row(CKM_RC4, "RC4", Kind.CIPHER, CKK_RC4, null, false, "RC4 stream cipher"),
      row(CKM_DES_KEY_GEN, "DES-KEY-GEN", Kind.KEY_GENERATION, CKK_DES, null, false, "DES key generation"),
      row(CKM_DES_ECB, "DES-ECB", Kind.CIPHER, CKK_DES, null, false, "DES in ECB mode"),
      row(CKM_DES_CBC, "DES-CBC", Kind.CIPHER, CKK_DES, null, true, "DES in CBC mode"),
      row(CKM_DES_MAC, "DES-MAC", Kind.MAC, CKK_DES, null, false, "DES CBC-MAC"),
      row(CKM_DES_MAC_GENERAL, "DES-MAC-GENERAL", Kind.MAC, CKK_DES, null, true, "DES CBC-MAC, output of chosen length"),
      row(CKM_DES_CBC_PAD, "DES-CBC-PAD", Kind.CIPHER, CKK_DES, null, true, "DES in CBC mode with PKCS #7 padding"),
      row(CKM_DES2_KEY_GEN, "DES2-KEY-GEN", Kind.KEY_GENERATION, CKK_DES2, null, false, "double-length DES key generation"),
      row(CKM_DES3_KEY_GEN, "DES3-KEY-GEN", Kind.KEY_GENERATION, CKK_DES3, null, false, "triple DES key generation"),
      row(CKM_DES3_ECB, "DES3-ECB", Kind.CIPHER, CKK_DES3, null, false, "triple DES in ECB mode"),
      row(CKM_DES3_CBC, "DES3-CBC", Kind.CIPHER, CKK_DES3, null, true, "triple DES in CBC mode"),
      row(CKM_DES3_MAC, "DES3-MAC", Kind.MAC, CKK_DES3, null, false, "triple DES CBC-MAC"),
      row(CKM_DES3_MAC_GENERAL, "DES3-MAC-GENERAL", Kind.MAC, CKK_DES3, null, true, "triple DES CBC-MAC, output of chosen length"),
      row(CKM_DES3_CBC_PAD, "DES3-CBC-PAD", Kind.CIPHER, CKK_DES3, null, true, "triple DES in CBC mode with PKCS #7 padding"),
      row(CKM_DES3_CMAC_GENERAL, "DES3-CMAC-GENERAL", Kind.MAC, CKK_DES3, null, true, "triple DES CMAC, output of chosen length"),
      row(CKM_DES3_CMAC, "DES3-CMAC", Kind.MAC, CKK_DES3, null, false, "triple DES CMAC"),
      row(CKM_CDMF_KEY_GEN, "CDMF-KEY-GEN", Kind.KEY_GENERATION, CKK_CDMF, null, false, "CDMF key generation"),
      row(CKM_CDMF_ECB, "CDMF-ECB", Kind.CIPHER, CKK_CDMF, null, false, "CDMF in ECB mode"),
      row(CKM_CDMF_CBC, "CDMF-CBC", Kind.CIPHER, CKK_CDMF, null, true, "CDMF in CBC mode"),
      row(CKM_CDMF_MAC, "CDMF-MAC", Kind.MAC, CKK_CDMF, null, false, "CDMF CBC-MAC"),
      row(CKM_CDMF_MAC_GENERAL, "CDMF-MAC-GENERAL", Kind.MAC, CKK_CDMF, null, true, "CDMF CBC-MAC, output of chosen length"),
      row(CKM_CDMF_CBC_PAD, "CDMF-CBC-PAD", Kind.CIPHER, CKK_CDMF, null, true, "CDMF in CBC mode with PKCS #7 padding"),
      row(CKM_DES_OFB64, "DES-OFB64", Kind.CIPHER, CKK_DES, null, true, "DES in 64-bit OFB mode"),
      row(CKM_DES_OFB8, "DES-OFB8", Kind.CIPHER, CKK_DES, null, true, "DES in 8-bit OFB mode"),
      row(CKM_DES_CFB64, "DES-CFB64", Kind.CIPHER, CKK_DES, null, true, "DES in 64-bit CFB mode"),
      row(CKM_DES_CFB8, "DES-CFB8", Kind.CIPHER, CKK_DES, null, true, "DES in 8-bit CFB mode"),
      row(CKM_MD2, "MD2", Kind.DIGEST, -1, "MD2", false, "MD2 digest"),
      row(CKM_MD2_HMAC, "MD2-HMAC", Kind.MAC, CKK_GENERIC_SECRET, "MD2", false, "HMAC with MD2"),
      row(CKM_MD2_HMAC_GENERAL, "MD2-HMAC-GENERAL", Kind.MAC, CKK_GENERIC_SECRET, "MD2", true, "HMAC with MD2, output of chosen length"),
      row(CKM_MD5, "MD5", Kind.DIGEST, -1, "MD5", false, "MD5 digest"),
      row(CKM_MD5_HMAC, "MD5-HMAC", Kind.MAC, CKK_GENERIC_SECRET, "MD5", false, "HMAC with MD5"),
      row(CKM_MD5_HMAC_GENERAL, "MD5-HMAC-GENERAL", Kind.MAC, CKK_GENERIC_SECRET, "MD5", true, "HMAC with MD5, output of chosen length"),
      row(CKM_SHA_1, "SHA-1", Kind.DIGEST, -1, "SHA-1", false, "SHA-1 digest"),
      row(CKM_SHA_1_HMAC, "SHA-1-HMAC", Kind.MAC, CKK_GENERIC_SECRET, "SHA-1", false, "HMAC with SHA-1"),
      row(CKM_SHA_1_HMAC_GENERAL, "SHA-1-HMAC-GENERAL", Kind.MAC, CKK_GENERIC_SECRET, "SHA-1", true, "HMAC with SHA-1, output of chosen length"),
      row(CKM_RIPEMD128, "RIPEMD128", Kind.DIGEST, -1, "RIPEMD128", false, "RIPEMD-128 digest"),
      row(CKM_RIPEMD128_HMAC, "RIPEMD128-HMAC", Kind.MAC, CKK_GENERIC_SECRET, "RIPEMD128", false, "HMAC with RIPEMD-128"),
      row(CKM_RIPEMD128_HMAC_GENERAL, "RIPEMD128-HMAC-GENERAL", Kind.MAC, CKK_GENERIC_SECRET, "RIPEMD128", true, "HMAC with RIPEMD-128, output of chosen length"),
      row(CKM_RIPEMD160, "RIPEMD160", Kind.DIGEST, -1, "RIPEMD160", false, "RIPEMD-160 digest"),
      row(CKM_RIPEMD160_HMAC, "RIPEMD160-HMAC", Kind.MAC, CKK_GENERIC_SECRET, "RIPEMD160", false, "HMAC with RIPEMD-160"),
      row(CKM_RIPEMD160_HMAC_GENERAL, "RIPEMD160-HMAC-GENERAL", Kind.MAC, CKK_GENERIC_SECRET, "RIPEMD160", true, "HMAC with RIPEMD-160, output of chosen length"),
      row(CKM_SHA256, "SHA256", Kind.DIGEST, -1, "SHA-256", false, "SHA-256 digest"),
      row(CKM_SHA256_HMAC, "SHA256-HMAC", Kind.MAC, CKK_GENERIC_SECRET, "SHA-256", false, "HMAC with SHA-256"),
      row(CKM_SHA256_HMAC_GENERAL, "SHA256-HMAC-GENERAL", Kind.MAC, CKK_GENERIC_SECRET, "SHA-256", true, "HMAC with SHA-256, output of chosen length"),
      row(CKM_SHA224, "SHA224", Kind.DIGEST, -1, "SHA-224", false, "SHA-224 digest"),
      row(CKM_SHA224_HMAC, "SHA224-HMAC", Kind.MAC, CKK_GENERIC_SECRET, "SHA-224", false, "HMAC with SHA-224"),
      row(CKM_SHA224_HMAC_GENERAL, "SHA224-HMAC-GENERAL", Kind.MAC, CKK_GENERIC_SECRET, "SHA-224", true, "HMAC with SHA-224, output of chosen length"),
      row(CKM_SHA384, "SHA384", Kind.DIGEST, -1, "SHA-384", false, "SHA-384 digest"),
      row(CKM_SHA384_HMAC, "SHA384-HMAC", Kind.MAC, CKK_GENERIC_SECRET, "SHA-384", false, "HMAC with SHA-384"),
      row(CKM_SHA384_HMAC_GENERAL, "SHA384-HMAC-GENERAL", Kind.MAC, CKK_GENERIC_SECRET, "SHA-384", true, "HMAC with SHA-384, output of chosen length"),
      row(CKM_SHA512, "SHA512", Kind.DIGEST, -1, "SHA-512", false, "SHA-512 digest"),
      row(CKM_SHA512_HMAC, "SHA512-HMAC", Kind.MAC, CKK_GENERIC_SECRET, "SHA-512", false, "HMAC with SHA-512"),
      row(CKM_SHA512_HMAC_GENERAL, "SHA512-HMAC-GENERAL", Kind.MAC, CKK_GENERIC_SECRET, "SHA-512", true, "HMAC with SHA-512, output of chosen length"),
      row(CKM_SECURID_KEY_GEN, "SECURID-KEY-GEN", Kind.KEY_GENERATION, CKK_SECURID, null, false, "SecurID key generation"),
      row(CKM_SECURID, "SECURID", Kind.OTHER, CKK_SECURID, null, true, "SecurID one-time password"),
      row(CKM_HOTP_KEY_GEN, "HOTP-KEY-GEN", Kind.KEY_GENERATION, CKK_HOTP, null, false, "HOTP key generation"),
      row(CKM_HOTP, "HOTP", Kind.OTHER, CKK_HOTP, null, true, "HOTP one-time password"),
      row(CKM_ACTI, "ACTI", Kind.OTHER, CKK_ACTI, null, true, "ACTI one-time password"),
      row(CKM_ACTI_KEY_GEN, "ACTI-KEY-GEN", Kind.KEY_GENERATION, CKK_ACTI, null, false, "ACTI key generation"),
      row(CKM_SHA3_256, "SHA3-256", Kind.DIGEST, -1, "SHA3-256", false, "SHA3-256 digest"),
      row(CKM_SHA3_256_HMAC, "SHA3-256-HMAC", Kind.MAC, CKK_GENERIC_SECRET, "SHA3-256", false, "HMAC with SHA3-256"),
      row(CKM_SHA3_256_HMAC_GENERAL, "SHA3-256-HMAC-GENERAL", Kind.MAC, CKK_GENERIC_SECRET, "SHA3-256", true, "HMAC with SHA3-256, output of chosen length"),
      row(CKM_SHA3_256_KEY_GEN, "SHA3-256-KEY-GEN", Kind.KEY_GENERATION, CKK_SHA3_256_HMAC, null, false, "SHA3-256 HMAC key generation"),
      row(CKM_SHA3_224, "SHA3-224", Kind.DIGEST, -1, "SHA3-224", false, "SHA3-224 digest"),
      row(CKM_SHA3_224_HMAC, "SHA3-224-HMAC", Kind.MAC, CKK_GENERIC_SECRET, "SHA3-224", false, "HMAC with SHA3-224"),
      row(CKM_SHA3_224_HMAC_GENERAL, "SHA3-224-HMAC-GENERAL", Kind.MAC, CKK_GENERIC_SECRET, "SHA3-224", true, "HMAC with SHA3-224, output of chosen length"),
      row(CKM_SHA3_224_KEY_GEN, "SHA3-224-KEY-GEN", Kind.KEY_GENERATION, CKK_SHA3_224_HMAC, null, false, "SHA3-224 HMAC key generation"),
      row(CKM_SHA3_384, "SHA3-384", Kind.DIGEST, -1, "SHA3-384", false, "SHA3-384 digest"),
      row(CKM_SHA3_384_HMAC, "SHA3-384-HMAC", Kind.MAC, CKK_GENERIC_SECRET, "SHA3-384", false, "HMAC with SHA3-384"),
      row(CKM_SHA3_384_HMAC_GENERAL, "SHA3-384-HMAC-GENERAL", Kind.MAC, CKK_GENERIC_SECRET, "SHA3-384", true, "HMAC with SHA3-384, output of chosen length"),
      row(CKM_SHA3_384_KEY_GEN, "SHA3-384-KEY-GEN", Kind.KEY_GENERATION, CKK_SHA3_384_HMAC, null, false, "SHA3-384 HMAC key generation"),
      row(CKM_SHA3_512, "SHA3-512", Kind.DIGEST, -1, "SHA3-512", false, "SHA3-512 digest"),
      row(CKM_SHA3_512_HMAC, "SHA3-512-HMAC", Kind.MAC, CKK_GENERIC_SECRET, "SHA3-512", false, "HMAC with SHA3-512"),
      row(CKM_SHA3_512_HMAC_GENERAL, "SHA3-512-HMAC-GENERAL", Kind.MAC, CKK_GENERIC_SECRET, "SHA3-512", true, "HMAC with SHA3-512, output of chosen length"),
      row(CKM_SHA3_512_KEY_GEN, "SHA3-512-KEY-GEN", Kind.KEY_GENERATION, CKK_SHA3_512_HMAC, null, false, "SHA3-512 HMAC key generation"),
      row(CKM_CAST_KEY_GEN, "CAST-KEY-GEN", Kind.KEY_GENERATION, CKK_CAST, null, false, "CAST key generation"),
      row(CKM_CAST_ECB, "CAST-ECB", Kind.CIPHER, CKK_CAST, null, false, "CAST in ECB mode"),
      row(CKM_CAST_CBC, "CAST-CBC", Kind.CIPHER, CKK_CAST, null, true, "CAST in CBC mode"),
      row(CKM_CAST_MAC, "CAST-MAC", Kind.MAC, CKK_CAST, null, false, "CAST CBC-MAC"),
      row(CKM_CAST_MAC_GENERAL, "CAST-MAC-GENERAL", Kind.MAC, CKK_CAST, null, true, "CAST CBC-MAC, output of chosen length"),
      row(CKM_CAST_CBC_PAD, "CAST-CBC-PAD", Kind.CIPHER, CKK_CAST, null, true, "CAST in CBC mode with PKCS #7 padding"),
      row(CKM_CAST3_KEY_GEN, "CAST3-KEY-GEN", Kind.KEY_GENERATION, CKK_CAST3, null, false, "CAST3 key generation"),
      row(CKM_CAST3_ECB, "CAST3-ECB", Kind.CIPHER, CKK_CAST3, null, false, "CAST3 in ECB mode"),
      row(CKM_CAST3_CBC, "CAST3-CBC", Kind.CIPHER, CKK_CAST3, null, true, "CAST3 in CBC mode"),
      row(CKM_CAST3_MAC, "CAST3-MAC", Kind.MAC, CKK_CAST3, null, false, "CAST3 CBC-MAC"),
      row(CKM_CAST3_MAC_GENERAL, "CAST3-MAC-GENERAL", Kind.MAC, CKK_CAST3, null, true, "CAST3 CBC-MAC, output of chosen length"),
      row(CKM_CAST3_CBC_PAD, "CAST3-CBC-PAD", Kind.CIPHER, CKK_CAST3, null, true, "CAST3 in CBC mode with PKCS #7 padding"),
      row(CKM_CAST128_KEY_GEN, "CAST128-KEY-GEN", Kind.KEY_GENERATION, CKK_CAST128, null, false, "CAST-128 key generation"),
      row(CKM_CAST128_ECB, "CAST128-ECB", Kind.CIPHER, CKK_CAST128, null, false, "CAST-128 in ECB mode"),
      row(CKM_CAST128_CBC, "CAST128-CBC", Kind.CIPHER, CKK_CAST128, null, true, "CAST-128 in CBC mode"),
      row(CKM_CAST128_MAC, "CAST128-MAC", Kind.MAC, CKK_CAST128, null, false, "CAST-128 CBC-MAC"),
      row(CKM_CAST128_MAC_GENERAL, "CAST128-MAC-GENERAL", Kind.MAC, CKK_CAST128, null, true, "CAST-128 CBC-MAC, output of chosen length"),
      row(CKM_CAST128_CBC_PAD, "CAST128-CBC-PAD", Kind.CIPHER, CKK_CAST128, null, true, "CAST-128 in CBC mode with PKCS #7 padding"),
      row(CKM_RC5_KEY_GEN, "RC5-KEY-GEN", Kind.KEY_GENERATION, CKK_RC5, null, false, "RC5 key generation"),
      row(CKM_RC5_ECB, "RC5-ECB", Kind.CIPHER, CKK_RC5, null, true, "RC5 in ECB mode"),
      row(CKM_RC5_CBC, "RC5-CBC", Kind.CIPHER, CKK_RC5, null, true, "RC5 in CBC mode"),
      row(CKM_RC5_MAC, "RC5-MAC", Kind.MAC, CKK_RC5, null, true, "RC5 CBC-MAC"),
      row(CKM_RC5_MAC_GENERAL, "RC5-MAC-GENERAL", Kind.MAC, CKK_RC5, null, true, "RC5 CBC-MAC, output of chosen length"),
      row(CKM_RC5_CBC_PAD, "RC5-CBC-PAD", Kind.CIPHER, CKK_RC5, null, true, "RC5 in CBC mode with PKCS #7 padding"),
      row(CKM_IDEA_KEY_GEN, "IDEA-KEY-GEN", Kind.KEY_GENERATION, CKK_IDEA, null, false, "IDEA key generation"),
      row(CKM_IDEA_ECB, "IDEA-ECB", Kind.CIPHER, CKK_IDEA, null, false, "IDEA in ECB mode"),
      row(CKM_IDEA_CBC, "IDEA-CBC", Kind.CIPHER, CKK_IDEA, null, true, "IDEA in CBC mode"),
      row(CKM_IDEA_MAC, "IDEA-MAC", Kind.MAC, CKK_IDEA, null, false, "IDEA CBC-MAC"),
      row(CKM_IDEA_MAC_GENERAL, "IDEA-MAC-GENERAL", Kind.MAC, CKK_IDEA, null, true, "IDEA CBC-MAC, output of chosen length"),
      row(CKM_IDEA_CBC_PAD, "IDEA-CBC-PAD", Kind.CIPHER, CKK_IDEA, null, true, "IDEA in CBC mode with PKCS #7 padding"),
      row(CKM_GENERIC_SECRET_KEY_GEN, "GENERIC-SECRET-KEY-GEN", Kind.KEY_GENERATION, CKK_GENERIC_SECRET, null, false, "generic secret key generation"),
      row(CKM_CONCATENATE_BASE_AND_KEY, "CONCATENATE-BASE-AND-KEY", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "key derivation: base key then another key"),
      row(CKM_CONCATENATE_BASE_AND_DATA, "CONCATENATE-BASE-AND-DATA", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "key derivation: base key then data"),
      row(CKM_CONCATENATE_DATA_AND_BASE, "CONCATENATE-DATA-AND-BASE", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "key derivation: data then base key"),
      row(CKM_XOR_BASE_AND_DATA, "XOR-BASE-AND-DATA", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "key derivation: base key XOR data"),
      row(CKM_EXTRACT_KEY_FROM_KEY, "EXTRACT-KEY-FROM-KEY", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "key derivation: bits extracted from a key"),
      row(CKM_SSL3_PRE_MASTER_KEY_GEN, "SSL3-PRE-MASTER-KEY-GEN", Kind.KEY_GENERATION, CKK_GENERIC_SECRET, null, true, "SSL 3.0 pre-master secret generation"),
      row(CKM_SSL3_MASTER_KEY_DERIVE, "SSL3-MASTER-KEY-DERIVE", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "SSL 3.0 master secret derivation"),
      row(CKM_SSL3_KEY_AND_MAC_DERIVE, "SSL3-KEY-AND-MAC-DERIVE", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "SSL 3.0 key and MAC derivation"),
      row(CKM_SSL3_MASTER_KEY_DERIVE_DH, "SSL3-MASTER-KEY-DERIVE-DH", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "SSL 3.0 master secret derivation for DH"),
      row(CKM_TLS_PRE_MASTER_KEY_GEN, "TLS-PRE-MASTER-KEY-GEN", Kind.KEY_GENERATION, CKK_GENERIC_SECRET, null, true, "TLS pre-master secret generation"),
      row(CKM_TLS_MASTER_KEY_DERIVE, "TLS-MASTER-KEY-DERIVE", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "TLS 1.0/1.1 master secret derivation"),
      row(CKM_TLS_KEY_AND_MAC_DERIVE, "TLS-KEY-AND-MAC-DERIVE", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "TLS 1.0/1.1 key and MAC derivation"),
      row(CKM_TLS_MASTER_KEY_DERIVE_DH, "TLS-MASTER-KEY-DERIVE-DH", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "TLS 1.0/1.1 master secret derivation for DH"),
      row(CKM_TLS_PRF, "TLS-PRF", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "TLS 1.0/1.1 pseudo-random function"),
      row(CKM_SSL3_MD5_MAC, "SSL3-MD5-MAC", Kind.MAC, CKK_GENERIC_SECRET, "MD5", true, "SSL 3.0 MAC with MD5"),
      row(CKM_SSL3_SHA1_MAC, "SSL3-SHA1-MAC", Kind.MAC, CKK_GENERIC_SECRET, "SHA-1", true, "SSL 3.0 MAC with SHA-1"),
      row(CKM_MD5_KEY_DERIVATION, "MD5-KEY-DERIVATION", Kind.KEY_DERIVATION, -1, null, false, "key derivation by MD5 digest of a key"),
      row(CKM_MD2_KEY_DERIVATION, "MD2-KEY-DERIVATION", Kind.KEY_DERIVATION, -1, null, false, "key derivation by MD2 digest of a key"),
      row(CKM_SHA1_KEY_DERIVATION, "SHA1-KEY-DERIVATION", Kind.KEY_DERIVATION, -1, null, false, "key derivation by SHA-1 digest of a key"),
      row(CKM_SHA256_KEY_DERIVATION, "SHA256-KEY-DERIVATION", Kind.KEY_DERIVATION, -1, null, false, "key derivation by SHA-256 digest of a key"),
      row(CKM_SHA384_KEY_DERIVATION, "SHA384-KEY-DERIVATION", Kind.KEY_DERIVATION, -1, null, false, "key derivation by SHA-384 digest of a key"),
      row(CKM_SHA512_KEY_DERIVATION, "SHA512-KEY-DERIVATION", Kind.KEY_DERIVATION, -1, null, false, "key derivation by SHA-512 digest of a key"),
      row(CKM_SHA224_KEY_DERIVATION, "SHA224-KEY-DERIVATION", Kind.KEY_DERIVATION, -1, null, false, "key derivation by SHA-224 digest of a key"),
      row(CKM_SHA3_256_KEY_DERIVATION, "SHA3-256-KEY-DERIVATION", Kind.KEY_DERIVATION, -1, null, false, "key derivation by SHA3-256 digest of a key"),
      row(CKM_SHA3_224_KEY_DERIVATION, "SHA3-224-KEY-DERIVATION", Kind.KEY_DERIVATION, -1, null, false, "key derivation by SHA3-224 digest of a key"),
      row(CKM_SHA3_384_KEY_DERIVATION, "SHA3-384-KEY-DERIVATION", Kind.KEY_DERIVATION, -1, null, false, "key derivation by SHA3-384 digest of a key"),
      row(CKM_SHA3_512_KEY_DERIVATION, "SHA3-512-KEY-DERIVATION", Kind.KEY_DERIVATION, -1, null, false, "key derivation by SHA3-512 digest of a key"),
      row(CKM_SHAKE_128_KEY_DERIVATION, "SHAKE-128-KEY-DERIVATION", Kind.KEY_DERIVATION, -1, null, false, "key derivation by SHAKE128 digest of a key"),
      row(CKM_SHAKE_256_KEY_DERIVATION, "SHAKE-256-KEY-DERIVATION", Kind.KEY_DERIVATION, -1, null, false, "key derivation by SHAKE256 digest of a key"),
      row(CKM_PBE_MD2_DES_CBC, "PBE-MD2-DES-CBC", Kind.KEY_GENERATION, CKK_DES, null, true, "DES-CBC key generation from a password with MD2 (PBE)"),
      row(CKM_PBE_MD5_DES_CBC, "PBE-MD5-DES-CBC", Kind.KEY_GENERATION, CKK_DES, null, true, "DES-CBC key generation from a password with MD5 (PBE)"),
      row(CKM_PBE_MD5_CAST_CBC, "PBE-MD5-CAST-CBC", Kind.KEY_GENERATION, CKK_CAST, null, true, "CAST-CBC key generation from a password with MD5 (PBE)"),
      row(CKM_PBE_MD5_CAST3_CBC, "PBE-MD5-CAST3-CBC", Kind.KEY_GENERATION, CKK_CAST3, null, true, "CAST3-CBC key generation from a password with MD5 (PBE)"),
      row(CKM_PBE_MD5_CAST128_CBC, "PBE-MD5-CAST128-CBC", Kind.KEY_GENERATION, CKK_CAST128, null, true, "CAST-128-CBC key generation from a password with MD5 (PBE)"),
      row(CKM_PBE_SHA1_CAST128_CBC, "PBE-SHA1-CAST128-CBC", Kind.KEY_GENERATION, CKK_CAST128, null, true, "CAST-128-CBC key generation from a password with SHA-1 (PBE)"),
      row(CKM_PBE_SHA1_RC4_128, "PBE-SHA1-RC4-128", Kind.KEY_GENERATION, CKK_RC4, null, true, "128-bit RC4 key generation from a password with SHA-1 (PBE)"),
      row(CKM_PBE_SHA1_RC4_40, "PBE-SHA1-RC4-40", Kind.KEY_GENERATION, CKK_RC4, null, true, "40-bit RC4 key generation from a password with SHA-1 (PBE)"),
      row(CKM_PBE_SHA1_DES3_EDE_CBC, "PBE-SHA1-DES3-EDE-CBC", Kind.KEY_GENERATION, CKK_DES3, null, true, "triple DES CBC key generation from a password with SHA-1 (PBE)"),
      row(CKM_PBE_SHA1_DES2_EDE_CBC, "PBE-SHA1-DES2-EDE-CBC", Kind.KEY_GENERATION, CKK_DES2, null, true, "double-length DES CBC key generation from a password with SHA-1 (PBE)"),
      row(CKM_PBE_SHA1_RC2_128_CBC, "PBE-SHA1-RC2-128-CBC", Kind.KEY_GENERATION, CKK_RC2, null, true, "128-bit RC2-CBC key generation from a password with SHA-1 (PBE)"),
      row(CKM_PBE_SHA1_RC2_40_CBC, "PBE-SHA1-RC2-40-CBC", Kind.KEY_GENERATION, CKK_RC2, null, true, "40-bit RC2-CBC key generation from a password with SHA-1 (PBE)"),
      row(CKM_SP800_108_COUNTER_KDF, "SP800-108-COUNTER-KDF", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "NIST SP 800-108 KDF in counter mode"),
      row(CKM_SP800_108_FEEDBACK_KDF, "SP800-108-FEEDBACK-KDF", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "NIST SP 800-108 KDF in feedback mode"),
      row(CKM_SP800_108_DOUBLE_PIPELINE_KDF, "SP800-108-DOUBLE-PIPELINE-KDF", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "NIST SP 800-108 KDF in double-pipeline mode"),
      row(CKM_PKCS5_PBKD2, "PKCS5-PBKD2", Kind.KEY_GENERATION, -1, null, true, "PKCS #5 PBKDF2 key generation from a password"),
      row(CKM_PBA_SHA1_WITH_SHA1_HMAC, "PBA-SHA1-WITH-SHA1-HMAC", Kind.KEY_GENERATION, CKK_GENERIC_SECRET, null, true, "PKCS #12 SHA-1 HMAC key generation from a password"),
      row(CKM_WTLS_PRE_MASTER_KEY_GEN, "WTLS-PRE-MASTER-KEY-GEN", Kind.KEY_GENERATION, CKK_GENERIC_SECRET, null, true, "WTLS pre-master secret generation"),
      row(CKM_WTLS_MASTER_KEY_DERIVE, "WTLS-MASTER-KEY-DERIVE", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "WTLS master secret derivation"),
      row(CKM_WTLS_MASTER_KEY_DERIVE_DH_ECC, "WTLS-MASTER-KEY-DERIVE-DH-ECC", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "WTLS master secret derivation for DH/ECC"),
      row(CKM_WTLS_PRF, "WTLS-PRF", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "WTLS pseudo-random function"),
      row(CKM_WTLS_SERVER_KEY_AND_MAC_DERIVE, "WTLS-SERVER-KEY-AND-MAC-DERIVE", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "WTLS server key and MAC derivation"),
      row(CKM_WTLS_CLIENT_KEY_AND_MAC_DERIVE, "WTLS-CLIENT-KEY-AND-MAC-DERIVE", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "WTLS client key and MAC derivation"),
      row(CKM_TLS10_MAC_SERVER, "TLS10-MAC-SERVER", Kind.MAC, CKK_GENERIC_SECRET, null, true, "TLS 1.0 server finished MAC"),
      row(CKM_TLS10_MAC_CLIENT, "TLS10-MAC-CLIENT", Kind.MAC, CKK_GENERIC_SECRET, null, true, "TLS 1.0 client finished MAC"),
      row(CKM_TLS12_MAC, "TLS12-MAC", Kind.MAC, CKK_GENERIC_SECRET, null, true, "TLS 1.2 finished MAC"),
      row(CKM_TLS12_KDF, "TLS12-KDF", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "TLS 1.2 key derivation"),
      row(CKM_TLS12_MASTER_KEY_DERIVE, "TLS12-MASTER-KEY-DERIVE", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "TLS 1.2 master secret derivation"),
      row(CKM_TLS12_KEY_AND_MAC_DERIVE, "TLS12-KEY-AND-MAC-DERIVE", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "TLS 1.2 key and MAC derivation"),
      row(CKM_TLS12_MASTER_KEY_DERIVE_DH, "TLS12-MASTER-KEY-DERIVE-DH", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "TLS 1.2 master secret derivation for DH"),
      row(CKM_TLS12_KEY_SAFE_DERIVE, "TLS12-KEY-SAFE-DERIVE", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "TLS 1.2 key derivation, keys only"),
      row(CKM_TLS_MAC, "TLS-MAC", Kind.MAC, CKK_GENERIC_SECRET, null, true, "TLS finished MAC"),
      row(CKM_TLS_KDF, "TLS-KDF", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "TLS key derivation"),
      row(CKM_KEY_WRAP_LYNKS, "KEY-WRAP-LYNKS", Kind.KEY_WRAP, -1, null, false, "LYNKS key wrap"),
      row(CKM_KEY_WRAP_SET_OAEP, "KEY-WRAP-SET-OAEP", Kind.KEY_WRAP, CKK_RSA, null, true, "SET OAEP key wrap"),
      row(CKM_CMS_SIG, "CMS-SIG", Kind.SIGNATURE, -1, null, true, "CMS signature"),
      row(CKM_KIP_DERIVE, "KIP-DERIVE", Kind.KEY_DERIVATION, -1, null, true, "KIP key derivation"),
      row(CKM_KIP_WRAP, "KIP-WRAP", Kind.KEY_WRAP, -1, null, true, "KIP key wrap"),
      row(CKM_KIP_MAC, "KIP-MAC", Kind.MAC, -1, null, true, "KIP MAC"),
      row(CKM_CAMELLIA_KEY_GEN, "CAMELLIA-KEY-GEN", Kind.KEY_GENERATION, CKK_CAMELLIA, null, false, "Camellia key generation"),
      row(CKM_CAMELLIA_ECB, "CAMELLIA-ECB", Kind.CIPHER, CKK_CAMELLIA, null, false, "Camellia in ECB mode"),
      row(CKM_CAMELLIA_CBC, "CAMELLIA-CBC", Kind.CIPHER, CKK_CAMELLIA, null, true, "Camellia in CBC mode"),
      row(CKM_CAMELLIA_MAC, "CAMELLIA-MAC", Kind.MAC, CKK_CAMELLIA, null, false, "Camellia CBC-MAC"),
      row(CKM_CAMELLIA_MAC_GENERAL, "CAMELLIA-MAC-GENERAL", Kind.MAC, CKK_CAMELLIA, null, true, "Camellia CBC-MAC, output of chosen length"),
      row(CKM_CAMELLIA_CBC_PAD, "CAMELLIA-CBC-PAD", Kind.CIPHER, CKK_CAMELLIA, null, true, "Camellia in CBC mode with PKCS #7 padding"),
      row(CKM_CAMELLIA_ECB_ENCRYPT_DATA, "CAMELLIA-ECB-ENCRYPT-DATA", Kind.KEY_DERIVATION, CKK_CAMELLIA, null, true, "key derivation by encrypting data with Camellia in ECB mode"),
      row(CKM_CAMELLIA_CBC_ENCRYPT_DATA, "CAMELLIA-CBC-ENCRYPT-DATA", Kind.KEY_DERIVATION, CKK_CAMELLIA, null, true, "key derivation by encrypting data with Camellia in CBC mode"),
      row(CKM_CAMELLIA_CTR, "CAMELLIA-CTR", Kind.CIPHER, CKK_CAMELLIA, null, true, "Camellia in counter mode"),
      row(CKM_ARIA_KEY_GEN, "ARIA-KEY-GEN", Kind.KEY_GENERATION, CKK_ARIA, null, false, "ARIA key generation"),
      row(CKM_ARIA_ECB, "ARIA-ECB", Kind.CIPHER, CKK_ARIA, null, false, "ARIA in ECB mode"),
      row(CKM_ARIA_CBC, "ARIA-CBC", Kind.CIPHER, CKK_ARIA, null, true, "ARIA in CBC mode"),
      row(CKM_ARIA_MAC, "ARIA-MAC", Kind.MAC, CKK_ARIA, null, false, "ARIA CBC-MAC"),
      row(CKM_ARIA_MAC_GENERAL, "ARIA-MAC-GENERAL", Kind.MAC, CKK_ARIA, null, true, "ARIA CBC-MAC, output of chosen length"),
      row(CKM_ARIA_CBC_PAD, "ARIA-CBC-PAD", Kind.CIPHER, CKK_ARIA, null, true, "ARIA in CBC mode with PKCS #7 padding"),
      row(CKM_ARIA_ECB_ENCRYPT_DATA, "ARIA-ECB-ENCRYPT-DATA", Kind.KEY_DERIVATION, CKK_ARIA, null, true, "key derivation by encrypting data with ARIA in ECB mode"),
      row(CKM_ARIA_CBC_ENCRYPT_DATA, "ARIA-CBC-ENCRYPT-DATA", Kind.KEY_DERIVATION, CKK_ARIA, null, true, "key derivation by encrypting data with ARIA in CBC mode"),
      row(CKM_SEED_KEY_GEN, "SEED-KEY-GEN", Kind.KEY_GENERATION, CKK_SEED, null, false, "SEED key generation"),
      row(CKM_SEED_ECB, "SEED-ECB", Kind.CIPHER, CKK_SEED, null, false, "SEED in ECB mode"),
      row(CKM_SEED_CBC, "SEED-CBC", Kind.CIPHER, CKK_SEED, null, true, "SEED in CBC mode"),
      row(CKM_SEED_MAC, "SEED-MAC", Kind.MAC, CKK_SEED, null, false, "SEED CBC-MAC"),
      row(CKM_SEED_MAC_GENERAL, "SEED-MAC-GENERAL", Kind.MAC, CKK_SEED, null, true, "SEED CBC-MAC, output of chosen length"),
      row(CKM_SEED_CBC_PAD, "SEED-CBC-PAD", Kind.CIPHER, CKK_SEED, null, true, "SEED in CBC mode with PKCS #7 padding"),
      row(CKM_SEED_ECB_ENCRYPT_DATA, "SEED-ECB-ENCRYPT-DATA", Kind.KEY_DERIVATION, CKK_SEED, null, true, "key derivation by encrypting data with SEED in ECB mode"),
      row(CKM_SEED_CBC_ENCRYPT_DATA, "SEED-CBC-ENCRYPT-DATA", Kind.KEY_DERIVATION, CKK_SEED, null, true, "key derivation by encrypting data with SEED in CBC mode"),
      row(CKM_SKIPJACK_KEY_GEN, "SKIPJACK-KEY-GEN", Kind.KEY_GENERATION, CKK_SKIPJACK, null, false, "SKIPJACK key generation"),
      row(CKM_SKIPJACK_ECB64, "SKIPJACK-ECB64", Kind.CIPHER, CKK_SKIPJACK, null, true, "SKIPJACK in 64-bit ECB mode"),
      row(CKM_SKIPJACK_CBC64, "SKIPJACK-CBC64", Kind.CIPHER, CKK_SKIPJACK, null, true, "SKIPJACK in 64-bit CBC mode"),
      row(CKM_SKIPJACK_OFB64, "SKIPJACK-OFB64", Kind.CIPHER, CKK_SKIPJACK, null, true, "SKIPJACK in 64-bit OFB mode"),
      row(CKM_SKIPJACK_CFB64, "SKIPJACK-CFB64", Kind.CIPHER, CKK_SKIPJACK, null, true, "SKIPJACK in 64-bit CFB mode"),
      row(CKM_SKIPJACK_CFB32, "SKIPJACK-CFB32", Kind.CIPHER, CKK_SKIPJACK, null, true, "SKIPJACK in 32-bit CFB mode"),
      row(CKM_SKIPJACK_CFB16, "SKIPJACK-CFB16", Kind.CIPHER, CKK_SKIPJACK, null, true, "SKIPJACK in 16-bit CFB mode"),
      row(CKM_SKIPJACK_CFB8, "SKIPJACK-CFB8", Kind.CIPHER, CKK_SKIPJACK, null, true, "SKIPJACK in 8-bit CFB mode"),
      row(CKM_SKIPJACK_WRAP, "SKIPJACK-WRAP", Kind.KEY_WRAP, CKK_SKIPJACK, null, false, "SKIPJACK key wrap"),
      row(CKM_SKIPJACK_PRIVATE_WRAP, "SKIPJACK-PRIVATE-WRAP", Kind.KEY_WRAP, CKK_SKIPJACK, null, true, "SKIPJACK private key wrap"),
      row(CKM_SKIPJACK_RELAYX, "SKIPJACK-RELAYX", Kind.KEY_WRAP, CKK_SKIPJACK, null, true, "SKIPJACK key re-wrap (RELAYX)"),
      row(CKM_KEA_KEY_PAIR_GEN, "KEA-KEY-PAIR-GEN", Kind.KEY_PAIR_GENERATION, CKK_KEA, null, false, "KEA key pair generation"),
      row(CKM_KEA_KEY_DERIVE, "KEA-KEY-DERIVE", Kind.KEY_DERIVATION, CKK_KEA, null, true, "KEA key agreement"),
      row(CKM_KEA_DERIVE, "KEA-DERIVE", Kind.KEY_DERIVATION, CKK_KEA, null, true, "KEA key agreement (CK_KEA_DERIVE_PARAMS)"),
      row(CKM_FORTEZZA_TIMESTAMP, "FORTEZZA-TIMESTAMP", Kind.SIGNATURE, CKK_DSA, null, false, "Fortezza timestamp"),
      row(CKM_BATON_KEY_GEN, "BATON-KEY-GEN", Kind.KEY_GENERATION, CKK_BATON, null, false, "BATON key generation"),
      row(CKM_BATON_ECB128, "BATON-ECB128", Kind.CIPHER, CKK_BATON, null, true, "BATON in 128-bit ECB mode"),
      row(CKM_BATON_ECB96, "BATON-ECB96", Kind.CIPHER, CKK_BATON, null, true, "BATON in 96-bit ECB mode"),
      row(CKM_BATON_CBC128, "BATON-CBC128", Kind.CIPHER, CKK_BATON, null, true, "BATON in 128-bit CBC mode"),
      row(CKM_BATON_COUNTER, "BATON-COUNTER", Kind.CIPHER, CKK_BATON, null, true, "BATON in counter mode"),
      row(CKM_BATON_SHUFFLE, "BATON-SHUFFLE", Kind.CIPHER, CKK_BATON, null, true, "BATON shuffle"),
      row(CKM_BATON_WRAP, "BATON-WRAP", Kind.KEY_WRAP, CKK_BATON, null, false, "BATON key wrap"),
      row(CKM_EC_KEY_PAIR_GEN, "EC-KEY-PAIR-GEN", Kind.KEY_PAIR_GENERATION, CKK_EC, null, false, "EC key pair generation"),
      row(CKM_ECDSA, "ECDSA", Kind.SIGNATURE, CKK_EC, null, false, "ECDSA signature of a hash"),
      row(CKM_ECDSA_SHA1, "ECDSA-SHA1", Kind.SIGNATURE, CKK_EC, "SHA-1", false, "ECDSA signature with SHA-1"),
      row(CKM_ECDSA_SHA224, "ECDSA-SHA224", Kind.SIGNATURE, CKK_EC, "SHA-224", false, "ECDSA signature with SHA-224"),
      row(CKM_ECDSA_SHA256, "ECDSA-SHA256", Kind.SIGNATURE, CKK_EC, "SHA-256", false, "ECDSA signature with SHA-256"),
      row(CKM_ECDSA_SHA384, "ECDSA-SHA384", Kind.SIGNATURE, CKK_EC, "SHA-384", false, "ECDSA signature with SHA-384"),
      row(CKM_ECDSA_SHA512, "ECDSA-SHA512", Kind.SIGNATURE, CKK_EC, "SHA-512", false, "ECDSA signature with SHA-512"),
      row(CKM_ECDSA_SHA3_224, "ECDSA-SHA3-224", Kind.SIGNATURE, CKK_EC, "SHA3-224", false, "ECDSA signature with SHA3-224"),
      row(CKM_ECDSA_SHA3_256, "ECDSA-SHA3-256", Kind.SIGNATURE, CKK_EC, "SHA3-256", false, "ECDSA signature with SHA3-256"),
      row(CKM_ECDSA_SHA3_384, "ECDSA-SHA3-384", Kind.SIGNATURE, CKK_EC, "SHA3-384", false, "ECDSA signature with SHA3-384"),
      row(CKM_ECDSA_SHA3_512, "ECDSA-SHA3-512", Kind.SIGNATURE, CKK_EC, "SHA3-512", false, "ECDSA signature with SHA3-512"),
      row(CKM_ECDH1_DERIVE, "ECDH1-DERIVE", Kind.KEY_DERIVATION, CKK_EC, null, true, "ECDH key agreement"),
      row(CKM_ECDH1_COFACTOR_DERIVE, "ECDH1-COFACTOR-DERIVE", Kind.KEY_DERIVATION, CKK_EC, null, true, "ECDH key agreement with cofactor"),
      row(CKM_ECMQV_DERIVE, "ECMQV-DERIVE", Kind.KEY_DERIVATION, CKK_EC, null, true, "EC MQV key agreement"),
      row(CKM_ECDH_AES_KEY_WRAP, "ECDH-AES-KEY-WRAP", Kind.KEY_WRAP, CKK_EC, null, true, "ECDH then AES key wrap"),
      row(CKM_RSA_AES_KEY_WRAP, "RSA-AES-KEY-WRAP", Kind.KEY_WRAP, CKK_RSA, null, true, "RSA OAEP then AES key wrap"),
      row(CKM_EC_EDWARDS_KEY_PAIR_GEN, "EC-EDWARDS-KEY-PAIR-GEN", Kind.KEY_PAIR_GENERATION, CKK_EC_EDWARDS, null, false, "Edwards curve key pair generation (Ed25519, Ed448)"),
      row(CKM_EC_MONTGOMERY_KEY_PAIR_GEN, "EC-MONTGOMERY-KEY-PAIR-GEN", Kind.KEY_PAIR_GENERATION, CKK_EC_MONTGOMERY, null, false, "Montgomery curve key pair generation (X25519, X448)"),
      row(CKM_EDDSA, "EDDSA", Kind.SIGNATURE, CKK_EC_EDWARDS, null, false, "EdDSA signature (Ed25519, Ed448)"),
      row(CKM_JUNIPER_KEY_GEN, "JUNIPER-KEY-GEN", Kind.KEY_GENERATION, CKK_JUNIPER, null, false, "JUNIPER key generation"),
      row(CKM_JUNIPER_ECB128, "JUNIPER-ECB128", Kind.CIPHER, CKK_JUNIPER, null, true, "JUNIPER in 128-bit ECB mode"),
      row(CKM_JUNIPER_CBC128, "JUNIPER-CBC128", Kind.CIPHER, CKK_JUNIPER, null, true, "JUNIPER in 128-bit CBC mode"),
      row(CKM_JUNIPER_COUNTER, "JUNIPER-COUNTER", Kind.CIPHER, CKK_JUNIPER, null, true, "JUNIPER in counter mode"),
      row(CKM_JUNIPER_SHUFFLE, "JUNIPER-SHUFFLE", Kind.CIPHER, CKK_JUNIPER, null, true, "JUNIPER shuffle"),
      row(CKM_JUNIPER_WRAP, "JUNIPER-WRAP", Kind.KEY_WRAP, CKK_JUNIPER, null, false, "JUNIPER key wrap"),
      row(CKM_FASTHASH, "FASTHASH", Kind.DIGEST, -1, null, false, "FASTHASH digest"),
      row(CKM_AES_XTS, "AES-XTS", Kind.CIPHER, CKK_AES_XTS, null, true, "AES in XTS mode"),
      row(CKM_AES_XTS_KEY_GEN, "AES-XTS-KEY-GEN", Kind.KEY_GENERATION, CKK_AES_XTS, null, false, "AES-XTS key generation"),
      row(CKM_AES_KEY_GEN, "AES-KEY-GEN", Kind.KEY_GENERATION, CKK_AES, null, false, "AES key generation"),
      row(CKM_AES_ECB, "AES-ECB", Kind.CIPHER, CKK_AES, null, false, "AES in ECB mode"),
      row(CKM_AES_CBC, "AES-CBC", Kind.CIPHER, CKK_AES, null, true, "AES in CBC mode"),
      row(CKM_AES_MAC, "AES-MAC", Kind.MAC, CKK_AES, null, false, "AES CBC-MAC"),
      row(CKM_AES_MAC_GENERAL, "AES-MAC-GENERAL", Kind.MAC, CKK_AES, null, true, "AES CBC-MAC, output of chosen length"),
      row(CKM_AES_CBC_PAD, "AES-CBC-PAD", Kind.CIPHER, CKK_AES, null, true, "AES in CBC mode with PKCS #7 padding"),
      row(CKM_AES_CTR, "AES-CTR", Kind.CIPHER, CKK_AES, null, true, "AES in counter mode"),
      row(CKM_AES_GCM, "AES-GCM", Kind.CIPHER, CKK_AES, null, true, "AES in GCM mode"),
      row(CKM_AES_CCM, "AES-CCM", Kind.CIPHER, CKK_AES, null, true, "AES in CCM mode"),
      row(CKM_AES_CTS, "AES-CTS", Kind.CIPHER, CKK_AES, null, true, "AES in CBC mode with ciphertext stealing"),
      row(CKM_AES_CMAC, "AES-CMAC", Kind.MAC, CKK_AES, null, false, "AES CMAC"),
      row(CKM_AES_CMAC_GENERAL, "AES-CMAC-GENERAL", Kind.MAC, CKK_AES, null, true, "AES CMAC, output of chosen length"),
      row(CKM_AES_XCBC_MAC, "AES-XCBC-MAC", Kind.MAC, CKK_AES, null, false, "AES XCBC-MAC (RFC 3566)"),
      row(CKM_AES_XCBC_MAC_96, "AES-XCBC-MAC-96", Kind.MAC, CKK_AES, null, false, "AES XCBC-MAC-96 (RFC 3566)"),
      row(CKM_AES_GMAC, "AES-GMAC", Kind.MAC, CKK_AES, null, true, "AES GMAC"),
      row(CKM_BLOWFISH_KEY_GEN, "BLOWFISH-KEY-GEN", Kind.KEY_GENERATION, CKK_BLOWFISH, null, false, "Blowfish key generation"),
      row(CKM_BLOWFISH_CBC, "BLOWFISH-CBC", Kind.CIPHER, CKK_BLOWFISH, null, true, "Blowfish in CBC mode"),
      row(CKM_TWOFISH_KEY_GEN, "TWOFISH-KEY-GEN", Kind.KEY_GENERATION, CKK_TWOFISH, null, false, "Twofish key generation"),
      row(CKM_TWOFISH_CBC, "TWOFISH-CBC", Kind.CIPHER, CKK_TWOFISH, null, true, "Twofish in CBC mode"),
      row(CKM_BLOWFISH_CBC_PAD, "BLOWFISH-CBC-PAD", Kind.CIPHER, CKK_BLOWFISH, null, true, "Blowfish in CBC mode with PKCS #7 padding"),
      row(CKM_TWOFISH_CBC_PAD, "TWOFISH-CBC-PAD", Kind.CIPHER, CKK_TWOFISH, null, true, "Twofish in CBC mode with PKCS #7 padding"),
      row(CKM_DES_ECB_ENCRYPT_DATA, "DES-ECB-ENCRYPT-DATA", Kind.KEY_DERIVATION, CKK_DES, null, true, "key derivation by encrypting data with DES in ECB mode"),
      row(CKM_DES_CBC_ENCRYPT_DATA, "DES-CBC-ENCRYPT-DATA", Kind.KEY_DERIVATION, CKK_DES, null, true, "key derivation by encrypting data with DES in CBC mode"),
      row(CKM_DES3_ECB_ENCRYPT_DATA, "DES3-ECB-ENCRYPT-DATA", Kind.KEY_DERIVATION, CKK_DES3, null, true, "key derivation by encrypting data with triple DES in ECB mode"),
      row(CKM_DES3_CBC_ENCRYPT_DATA, "DES3-CBC-ENCRYPT-DATA", Kind.KEY_DERIVATION, CKK_DES3, null, true, "key derivation by encrypting data with triple DES in CBC mode"),
      row(CKM_AES_ECB_ENCRYPT_DATA, "AES-ECB-ENCRYPT-DATA", Kind.KEY_DERIVATION, CKK_AES, null, true, "key derivation by encrypting data with AES in ECB mode"),
      row(CKM_AES_CBC_ENCRYPT_DATA, "AES-CBC-ENCRYPT-DATA", Kind.KEY_DERIVATION, CKK_AES, null, true, "key derivation by encrypting data with AES in CBC mode"),
      row(CKM_GOSTR3410_KEY_PAIR_GEN, "GOSTR3410-KEY-PAIR-GEN", Kind.KEY_PAIR_GENERATION, CKK_GOSTR3410, null, false, "GOST R 34.10-2001 key pair generation"),
      row(CKM_GOSTR3410, "GOSTR3410", Kind.SIGNATURE, CKK_GOSTR3410, null, false, "GOST R 34.10-2001 signature of a hash"),
      row(CKM_GOSTR3410_WITH_GOSTR3411, "GOSTR3410-WITH-GOSTR3411", Kind.SIGNATURE, CKK_GOSTR3410, "GOST3411", false, "GOST R 34.10-2001 signature with GOST R 34.11-94"),
      row(CKM_GOSTR3410_KEY_WRAP, "GOSTR3410-KEY-WRAP", Kind.KEY_WRAP, CKK_GOSTR3410, null, true, "GOST R 34.10-2001 key wrap"),
      row(CKM_GOSTR3410_DERIVE, "GOSTR3410-DERIVE", Kind.KEY_DERIVATION, CKK_GOSTR3410, null, true, "GOST R 34.10-2001 key agreement"),
      row(CKM_GOSTR3411, "GOSTR3411", Kind.DIGEST, -1, "GOST3411", false, "GOST R 34.11-94 digest"),
      row(CKM_GOSTR3411_HMAC, "GOSTR3411-HMAC", Kind.MAC, CKK_GENERIC_SECRET, "GOST3411", true, "HMAC with GOST R 34.11-94"),
      row(CKM_GOST28147_KEY_GEN, "GOST28147-KEY-GEN", Kind.KEY_GENERATION, CKK_GOST28147, null, false, "GOST 28147-89 key generation"),
      row(CKM_GOST28147_ECB, "GOST28147-ECB", Kind.CIPHER, CKK_GOST28147, null, false, "GOST 28147-89 in ECB mode"),
      row(CKM_GOST28147, "GOST28147", Kind.CIPHER, CKK_GOST28147, null, true, "GOST 28147-89 in CFB mode"),
      row(CKM_GOST28147_MAC, "GOST28147-MAC", Kind.MAC, CKK_GOST28147, null, true, "GOST 28147-89 MAC"),
      row(CKM_GOST28147_KEY_WRAP, "GOST28147-KEY-WRAP", Kind.KEY_WRAP, CKK_GOST28147, null, true, "GOST 28147-89 key wrap"),
      row(CKM_CHACHA20_KEY_GEN, "CHACHA20-KEY-GEN", Kind.KEY_GENERATION, CKK_CHACHA20, null, false, "ChaCha20 key generation"),
      row(CKM_CHACHA20, "CHACHA20", Kind.CIPHER, CKK_CHACHA20, null, true, "ChaCha20 stream cipher"),
      row(CKM_POLY1305_KEY_GEN, "POLY1305-KEY-GEN", Kind.KEY_GENERATION, CKK_POLY1305, null, false, "Poly1305 key generation"),
      row(CKM_POLY1305, "POLY1305", Kind.MAC, CKK_POLY1305, null, false, "Poly1305 MAC"),
      row(CKM_EC_KEY_PAIR_GEN_W_EXTRA_BITS, "EC-KEY-PAIR-GEN-W-EXTRA-BITS", Kind.KEY_PAIR_GENERATION, CKK_EC, null, false, "EC key pair generation with extra bits (FIPS 186-4)"),
      row(CKM_DSA_PARAMETER_GEN, "DSA-PARAMETER-GEN", Kind.PARAMETER_GENERATION, CKK_DSA, null, false, "DSA domain parameter generation"),
      row(CKM_DH_PKCS_PARAMETER_GEN, "DH-PKCS-PARAMETER-GEN", Kind.PARAMETER_GENERATION, CKK_DH, null, false, "Diffie-Hellman (PKCS #3) domain parameter generation"),
      row(CKM_X9_42_DH_PARAMETER_GEN, "X9-42-DH-PARAMETER-GEN", Kind.PARAMETER_GENERATION, CKK_X9_42_DH, null, false, "Diffie-Hellman (ANSI X9.42) domain parameter generation"),
      row(CKM_DSA_PROBABILISTIC_PARAMETER_GEN, "DSA-PROBABILISTIC-PARAMETER-GEN", Kind.PARAMETER_GENERATION, CKK_DSA, null, true, "DSA probabilistic domain parameter generation (FIPS 186-4)"),
      row(CKM_DSA_SHAWE_TAYLOR_PARAMETER_GEN, "DSA-SHAWE-TAYLOR-PARAMETER-GEN", Kind.PARAMETER_GENERATION, CKK_DSA, null, true, "DSA Shawe-Taylor domain parameter generation (FIPS 186-4)"),
      row(CKM_DSA_FIPS_G_GEN, "DSA-FIPS-G-GEN", Kind.PARAMETER_GENERATION, CKK_DSA, null, true, "DSA generator generation (FIPS 186-4)"),
      row(CKM_AES_OFB, "AES-OFB", Kind.CIPHER, CKK_AES, null, true, "AES in OFB mode"),
      row(CKM_AES_CFB64, "AES-CFB64", Kind.CIPHER, CKK_AES, null, true, "AES in 64-bit CFB mode"),
      row(CKM_AES_CFB8, "AES-CFB8", Kind.CIPHER, CKK_AES, null, true, "AES in 8-bit CFB mode"),
      row(CKM_AES_CFB128, "AES-CFB128", Kind.CIPHER, CKK_AES, null, true, "AES in 128-bit CFB mode"),
      row(CKM_AES_CFB1, "AES-CFB1", Kind.CIPHER, CKK_AES, null, true, "AES in 1-bit CFB mode"),
      row(CKM_AES_KEY_WRAP, "AES-KEY-WRAP", Kind.KEY_WRAP, CKK_AES, null, false, "AES key wrap (RFC 3394)"),
      row(CKM_AES_KEY_WRAP_PAD, "AES-KEY-WRAP-PAD", Kind.KEY_WRAP, CKK_AES, null, false, "AES key wrap with padding"),
      row(CKM_AES_KEY_WRAP_KWP, "AES-KEY-WRAP-KWP", Kind.KEY_WRAP, CKK_AES, null, false, "AES key wrap with padding (RFC 5649)"),
      row(CKM_RSA_PKCS_TPM_1_1, "RSA-PKCS-TPM-1-1", Kind.CIPHER, CKK_RSA, null, false, "RSA PKCS #1 v1.5 encryption with TPM 1.1 wrapping"),
      row(CKM_RSA_PKCS_OAEP_TPM_1_1, "RSA-PKCS-OAEP-TPM-1-1", Kind.CIPHER, CKK_RSA, null, false, "RSA OAEP encryption with TPM 1.1 wrapping"),
      row(CKM_SHA_1_KEY_GEN, "SHA-1-KEY-GEN", Kind.KEY_GENERATION, CKK_SHA_1_HMAC, null, false, "SHA-1 HMAC key generation"),
      row(CKM_SHA224_KEY_GEN, "SHA224-KEY-GEN", Kind.KEY_GENERATION, CKK_SHA224_HMAC, null, false, "SHA-224 HMAC key generation"),
      row(CKM_SHA256_KEY_GEN, "SHA256-KEY-GEN", Kind.KEY_GENERATION, CKK_SHA256_HMAC, null, false, "SHA-256 HMAC key generation"),
      row(CKM_SHA384_KEY_GEN, "SHA384-KEY-GEN", Kind.KEY_GENERATION, CKK_SHA384_HMAC, null, false, "SHA-384 HMAC key generation"),
      row(CKM_SHA512_KEY_GEN, "SHA512-KEY-GEN", Kind.KEY_GENERATION, CKK_SHA512_HMAC, null, false, "SHA-512 HMAC key generation"),
      row(CKM_SHA512_224_KEY_GEN, "SHA512-224-KEY-GEN", Kind.KEY_GENERATION, CKK_SHA512_224_HMAC, null, false, "SHA-512/224 HMAC key generation"),
      row(CKM_SHA512_256_KEY_GEN, "SHA512-256-KEY-GEN", Kind.KEY_GENERATION, CKK_SHA512_256_HMAC, null, false, "SHA-512/256 HMAC key generation"),
      row(CKM_SHA512_T_KEY_GEN, "SHA512-T-KEY-GEN", Kind.KEY_GENERATION, CKK_SHA512_T_HMAC, null, false, "SHA-512/t HMAC key generation"),
      row(CKM_NULL, "NULL", Kind.OTHER, -1, null, false, "no operation"),
      row(CKM_BLAKE2B_160, "BLAKE2B-160", Kind.DIGEST, -1, "BLAKE2B-160", false, "BLAKE2b-160 digest"),
      row(CKM_BLAKE2B_160_HMAC, "BLAKE2B-160-HMAC", Kind.MAC, CKK_GENERIC_SECRET, "BLAKE2B-160", false, "HMAC with BLAKE2b-160"),
      row(CKM_BLAKE2B_160_HMAC_GENERAL, "BLAKE2B-160-HMAC-GENERAL", Kind.MAC, CKK_GENERIC_SECRET, "BLAKE2B-160", true, "HMAC with BLAKE2b-160, output of chosen length"),
      row(CKM_BLAKE2B_160_KEY_DERIVE, "BLAKE2B-160-KEY-DERIVE", Kind.KEY_DERIVATION, -1, null, false, "key derivation by BLAKE2b-160 digest of a key"),
      row(CKM_BLAKE2B_160_KEY_GEN, "BLAKE2B-160-KEY-GEN", Kind.KEY_GENERATION, CKK_BLAKE2B_160_HMAC, null, false, "BLAKE2b-160 HMAC key generation"),
      row(CKM_BLAKE2B_256, "BLAKE2B-256", Kind.DIGEST, -1, "BLAKE2B-256", false, "BLAKE2b-256 digest"),
      row(CKM_BLAKE2B_256_HMAC, "BLAKE2B-256-HMAC", Kind.MAC, CKK_GENERIC_SECRET, "BLAKE2B-256", false, "HMAC with BLAKE2b-256"),
      row(CKM_BLAKE2B_256_HMAC_GENERAL, "BLAKE2B-256-HMAC-GENERAL", Kind.MAC, CKK_GENERIC_SECRET, "BLAKE2B-256", true, "HMAC with BLAKE2b-256, output of chosen length"),
      row(CKM_BLAKE2B_256_KEY_DERIVE, "BLAKE2B-256-KEY-DERIVE", Kind.KEY_DERIVATION, -1, null, false, "key derivation by BLAKE2b-256 digest of a key"),
      row(CKM_BLAKE2B_256_KEY_GEN, "BLAKE2B-256-KEY-GEN", Kind.KEY_GENERATION, CKK_BLAKE2B_256_HMAC, null, false, "BLAKE2b-256 HMAC key generation"),
      row(CKM_BLAKE2B_384, "BLAKE2B-384", Kind.DIGEST, -1, "BLAKE2B-384", false, "BLAKE2b-384 digest"),
      row(CKM_BLAKE2B_384_HMAC, "BLAKE2B-384-HMAC", Kind.MAC, CKK_GENERIC_SECRET, "BLAKE2B-384", false, "HMAC with BLAKE2b-384"),
      row(CKM_BLAKE2B_384_HMAC_GENERAL, "BLAKE2B-384-HMAC-GENERAL", Kind.MAC, CKK_GENERIC_SECRET, "BLAKE2B-384", true, "HMAC with BLAKE2b-384, output of chosen length"),
      row(CKM_BLAKE2B_384_KEY_DERIVE, "BLAKE2B-384-KEY-DERIVE", Kind.KEY_DERIVATION, -1, null, false, "key derivation by BLAKE2b-384 digest of a key"),
      row(CKM_BLAKE2B_384_KEY_GEN, "BLAKE2B-384-KEY-GEN", Kind.KEY_GENERATION, CKK_BLAKE2B_384_HMAC, null, false, "BLAKE2b-384 HMAC key generation"),
      row(CKM_BLAKE2B_512, "BLAKE2B-512", Kind.DIGEST, -1, "BLAKE2B-512", false, "BLAKE2b-512 digest"),
      row(CKM_BLAKE2B_512_HMAC, "BLAKE2B-512-HMAC", Kind.MAC, CKK_GENERIC_SECRET, "BLAKE2B-512", false, "HMAC with BLAKE2b-512"),
      row(CKM_BLAKE2B_512_HMAC_GENERAL, "BLAKE2B-512-HMAC-GENERAL", Kind.MAC, CKK_GENERIC_SECRET, "BLAKE2B-512", true, "HMAC with BLAKE2b-512, output of chosen length"),
      row(CKM_BLAKE2B_512_KEY_DERIVE, "BLAKE2B-512-KEY-DERIVE", Kind.KEY_DERIVATION, -1, null, false, "key derivation by BLAKE2b-512 digest of a key"),
      row(CKM_BLAKE2B_512_KEY_GEN, "BLAKE2B-512-KEY-GEN", Kind.KEY_GENERATION, CKK_BLAKE2B_512_HMAC, null, false, "BLAKE2b-512 HMAC key generation"),
      row(CKM_SALSA20, "SALSA20", Kind.CIPHER, CKK_SALSA20, null, true, "Salsa20 stream cipher"),
      row(CKM_CHACHA20_POLY1305, "CHACHA20-POLY1305", Kind.CIPHER, CKK_CHACHA20, null, true, "ChaCha20-Poly1305 authenticated encryption"),
      row(CKM_SALSA20_POLY1305, "SALSA20-POLY1305", Kind.CIPHER, CKK_SALSA20, null, true, "Salsa20-Poly1305 authenticated encryption"),
      row(CKM_X3DH_INITIALIZE, "X3DH-INITIALIZE", Kind.KEY_DERIVATION, -1, null, true, "X3DH key agreement, initiator"),
      row(CKM_X3DH_RESPOND, "X3DH-RESPOND", Kind.KEY_DERIVATION, -1, null, true, "X3DH key agreement, responder"),
      row(CKM_X2RATCHET_INITIALIZE, "X2RATCHET-INITIALIZE", Kind.KEY_DERIVATION, CKK_X2RATCHET, null, true, "double ratchet initialisation, initiator"),
      row(CKM_X2RATCHET_RESPOND, "X2RATCHET-RESPOND", Kind.KEY_DERIVATION, CKK_X2RATCHET, null, true, "double ratchet initialisation, responder"),
      row(CKM_X2RATCHET_ENCRYPT, "X2RATCHET-ENCRYPT", Kind.CIPHER, CKK_X2RATCHET, null, true, "double ratchet encryption"),
      row(CKM_X2RATCHET_DECRYPT, "X2RATCHET-DECRYPT", Kind.CIPHER, CKK_X2RATCHET, null, true, "double ratchet decryption"),
      row(CKM_XEDDSA, "XEDDSA", Kind.SIGNATURE, CKK_EC_MONTGOMERY, null, true, "XEdDSA signature with a Montgomery key"),
      row(CKM_HKDF_DERIVE, "HKDF-DERIVE", Kind.KEY_DERIVATION, CKK_HKDF, null, true, "HKDF key derivation (RFC 5869)"),
      row(CKM_HKDF_DATA, "HKDF-DATA", Kind.KEY_DERIVATION, CKK_HKDF, null, true, "HKDF key derivation into a data object"),
      row(CKM_HKDF_KEY_GEN, "HKDF-KEY-GEN", Kind.KEY_GENERATION, CKK_HKDF, null, false, "HKDF key generation"),
      row(CKM_SALSA20_KEY_GEN, "SALSA20-KEY-GEN", Kind.KEY_GENERATION, CKK_SALSA20, null, false, "Salsa20 key generation"),
      row(CKM_IKE2_PRF_PLUS_DERIVE, "IKE2-PRF-PLUS-DERIVE", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "IKEv2 prf+ key derivation"),
      row(CKM_IKE_PRF_DERIVE, "IKE-PRF-DERIVE", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "IKE prf key derivation"),
      row(CKM_IKE1_PRF_DERIVE, "IKE1-PRF-DERIVE", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "IKEv1 prf key derivation"),
      row(CKM_IKE1_EXTENDED_DERIVE, "IKE1-EXTENDED-DERIVE", Kind.KEY_DERIVATION, CKK_GENERIC_SECRET, null, true, "IKEv1 extended key derivation"),
      row(CKM_HSS_KEY_PAIR_GEN, "HSS-KEY-PAIR-GEN", Kind.KEY_PAIR_GENERATION, CKK_HSS, null, false, "HSS/LMS key pair generation"),
      row(CKM_HSS, "HSS", Kind.SIGNATURE, CKK_HSS, null, false, "HSS/LMS hash-based signature")
    };
    // clang-format on
    Arrays.sort(rows, (a, b) -> Integer.compareUnsigned(a.type, b.type));
    for (int i = 0; i < rows.length; i++) {
      if (i > 0 && rows[i - 1].type == rows[i].type) {
        throw new IllegalStateException("two rows for " + rows[i].name);
      }
      if (BY_NAME.put(rows[i].name, rows[i]) != null) {
        throw new IllegalStateException("two rows named " + rows[i].name);
      }
    }
    TABLE = rows;
    ALL = List.of(rows);
    // The headers' deprecated names for mechanisms that the table names otherwise.
    alias("ECDSA-KEY-PAIR-GEN", CKM_ECDSA_KEY_PAIR_GEN);
    alias("CAST5-KEY-GEN", CKM_CAST5_KEY_GEN);
    alias("CAST5-ECB", CKM_CAST5_ECB);
    alias("CAST5-CBC", CKM_CAST5_CBC);
    alias("CAST5-MAC", CKM_CAST5_MAC);
    alias("CAST5-MAC-GENERAL", CKM_CAST5_MAC_GENERAL);
    alias("CAST5-CBC-PAD", CKM_CAST5_CBC_PAD);
    alias("PBE-MD5-CAST5-CBC", CKM_PBE_MD5_CAST5_CBC);
    alias("PBE-SHA1-CAST5-CBC", CKM_PBE_SHA1_CAST5_CBC);
    alias("DSA-PROBABLISTIC-PARAMETER-GEN", CKM_DSA_PROBABLISTIC_PARAMETER_GEN);
    alias("SHA3-224-KEY-DERIVE", CKM_SHA3_224_KEY_DERIVE);
    alias("SHA3-256-KEY-DERIVE", CKM_SHA3_256_KEY_DERIVE);
    alias("SHA3-384-KEY-DERIVE", CKM_SHA3_384_KEY_DERIVE);
    alias("SHA3-512-KEY-DERIVE", CKM_SHA3_512_KEY_DERIVE);
    alias("SHAKE-128-KEY-DERIVE", CKM_SHAKE_128_KEY_DERIVE);
    alias("SHAKE-256-KEY-DERIVE", CKM_SHAKE_256_KEY_DERIVE);
  }

  private static void alias(String name, int type) { BY_NAME.put(name, of(type)); }
}
