package it.morvale.pkcs11.token;

import java.math.BigInteger;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.security.SecureRandom;
import java.security.SignatureException;
import java.security.spec.MGF1ParameterSpec;
import java.security.spec.PSSParameterSpec;
import java.util.Locale;
import java.util.Map;

/**
 * The encodings that a hash goes through before a raw mechanism signs it: the DigestInfo of
 * PKCS #1 v1.5, the EMSA-PSS encoding, and the hash cut to an EC group order.
 */
public final class Encodings {
  private Encodings() {}

  /** The OIDs of the hashes that a DigestInfo names, by Java's names for them. */
  private static final Map<String, String> HASH_OIDS = Map.ofEntries(
      Map.entry("SHA-1", "1.3.14.3.2.26"), Map.entry("SHA-224", "2.16.840.1.101.3.4.2.4"),
      Map.entry("SHA-256", "2.16.840.1.101.3.4.2.1"),
      Map.entry("SHA-384", "2.16.840.1.101.3.4.2.2"),
      Map.entry("SHA-512", "2.16.840.1.101.3.4.2.3"),
      Map.entry("SHA-512/224", "2.16.840.1.101.3.4.2.5"),
      Map.entry("SHA-512/256", "2.16.840.1.101.3.4.2.6"),
      Map.entry("SHA3-224", "2.16.840.1.101.3.4.2.7"),
      Map.entry("SHA3-256", "2.16.840.1.101.3.4.2.8"),
      Map.entry("SHA3-384", "2.16.840.1.101.3.4.2.9"),
      Map.entry("SHA3-512", "2.16.840.1.101.3.4.2.10"), Map.entry("MD5", "1.2.840.113549.2.5"));

  /** Java's name of a hash in any usual spelling ("sha256", "SHA-256", "SHA3_256"), or null. */
  public static String digestName(String name) {
    if (name == null) return null;
    String wanted = squash(name);
    for (String known : HASH_OIDS.keySet()) {
      if (squash(known).equals(wanted)) return known;
    }
    return null;
  }

  private static String squash(String name) {
    return name.toUpperCase(Locale.ROOT).replace("-", "").replace("_", "").replace("/", "");
  }

  /** A new hash of Java's name `name`. */
  public static MessageDigest digest(String name) {
    try {
      return MessageDigest.getInstance(name);
    } catch (NoSuchAlgorithmException e) {
      throw new IllegalStateException("this Java has no " + name, e);
    }
  }

  /** The DER DigestInfo of `hash`, made with the hash that Java calls `name`. */
  public static byte[] digestInfo(String name, byte[] hash) {
    String oid = HASH_OIDS.get(name);
    if (oid == null) throw new IllegalArgumentException("no DigestInfo for " + name);
    byte[] id = Curves.encodeOid(oid);
    // SEQUENCE { SEQUENCE { OID, NULL }, OCTET STRING hash }
    int algorithm = id.length + 2;
    int total = 2 + algorithm + 2 + hash.length;
    byte[] out = new byte[2 + total];
    int at = 0;
    out[at++] = 0x30;
    out[at++] = (byte) total;
    out[at++] = 0x30;
    out[at++] = (byte) algorithm;
    System.arraycopy(id, 0, out, at, id.length);
    at += id.length;
    out[at++] = 0x05;
    out[at++] = 0x00;
    out[at++] = 0x04;
    out[at++] = (byte) hash.length;
    System.arraycopy(hash, 0, out, at, hash.length);
    return out;
  }

  /**
   * EMSA-PSS-ENCODE of a message hash for a modulus of `modulusBits`, padded with leading zeros
   * to the modulus length, ready for raw RSA.
   */
  public static byte[] emsaPss(byte[] mHash, PSSParameterSpec parameters, int modulusBits,
      SecureRandom random) throws SignatureException {
    MessageDigest hash = digest(parameters.getDigestAlgorithm());
    MessageDigest mgfHash =
        digest(((MGF1ParameterSpec) parameters.getMGFParameters()).getDigestAlgorithm());
    int hLen = mHash.length;
    int sLen = parameters.getSaltLength();
    int emBits = modulusBits - 1;
    int emLen = (emBits + 7) / 8;
    if (emLen < hLen + sLen + 2) {
      throw new SignatureException(
          "a " + modulusBits + "-bit key is too short for this hash and salt length");
    }
    byte[] salt = new byte[sLen];
    random.nextBytes(salt);
    hash.update(new byte[8]);
    hash.update(mHash);
    byte[] h = hash.digest(salt);
    byte[] db = new byte[emLen - hLen - 1];
    db[emLen - sLen - hLen - 2] = 0x01;
    System.arraycopy(salt, 0, db, db.length - sLen, sLen);
    byte[] mask = mgf1(mgfHash, h, db.length);
    for (int i = 0; i < db.length; ++i) db[i] ^= mask[i];
    db[0] &= (byte) (0xFF >>> (8 * emLen - emBits));
    int k = (modulusBits + 7) / 8;
    byte[] out = new byte[k];
    int at = k - emLen;
    System.arraycopy(db, 0, out, at, db.length);
    System.arraycopy(h, 0, out, at + db.length, hLen);
    out[k - 1] = (byte) 0xBC;
    return out;
  }

  /** MGF1 of `seed` with `hash`, `length` bytes long. */
  public static byte[] mgf1(MessageDigest hash, byte[] seed, int length) {
    byte[] out = new byte[length];
    int filled = 0;
    for (int counter = 0; filled < length; ++counter) {
      hash.update(seed);
      hash.update(new byte[] {(byte) (counter >>> 24), (byte) (counter >>> 16),
          (byte) (counter >>> 8), (byte) counter});
      byte[] block = hash.digest();
      int n = Math.min(block.length, length - filled);
      System.arraycopy(block, 0, out, filled, n);
      filled += n;
    }
    return out;
  }

  /** The hash as ECDSA uses it: its leftmost bits, as many as the curve order has. */
  public static byte[] ecdsaHash(byte[] hash, int orderBits) {
    if (hash.length * 8 <= orderBits) return hash;
    BigInteger e = new BigInteger(1, hash).shiftRight(hash.length * 8 - orderBits);
    byte[] bytes = e.toByteArray();
    int length = (orderBits + 7) / 8;
    byte[] out = new byte[length];
    int n = Math.min(bytes.length, length);
    System.arraycopy(bytes, bytes.length - n, out, length - n, n);
    return out;
  }

  /** `value` with leading zero bytes to `length`, as an RSA result of a modulus that long. */
  public static byte[] leftPad(byte[] value, int length) throws SignatureException {
    if (value.length == length) return value;
    if (value.length > length) throw new SignatureException("the token's result is too long");
    byte[] full = new byte[length];
    System.arraycopy(value, 0, full, length - value.length, value.length);
    return full;
  }
}
