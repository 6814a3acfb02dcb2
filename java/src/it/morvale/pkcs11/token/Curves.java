package it.morvale.pkcs11.token;

import java.io.ByteArrayOutputStream;
import java.nio.charset.StandardCharsets;
import java.security.GeneralSecurityException;
import java.util.Arrays;
import java.util.List;
import java.util.Locale;

/**
 * The named curves that tokens use, by name and by their CKA_EC_PARAMS: the Weierstrass curves
 * of ECDSA and the Edwards and Montgomery curves of EdDSA and XDH. Java's own EC support covers
 * fewer of them, so sizes come from here rather than from Java.
 */
public final class Curves {
  private Curves() {}

  /** One named curve. */
  public static final class Curve {
    private final String name;
    private final List<String> aliases;
    private final String oid;
    private final int fieldBits;
    private final int orderBits;
    private final int keyType;

    private Curve(
        String name, String oid, int fieldBits, int orderBits, int keyType, String... aliases) {
      this.name = name;
      this.oid = oid;
      this.fieldBits = fieldBits;
      this.orderBits = orderBits;
      this.keyType = keyType;
      this.aliases = List.of(aliases);
    }

    /** The usual name: "P-256", "secp256k1", "Ed25519". */
    public String name() { return name; }

    /** The curve's object identifier, dotted. */
    public String oid() { return oid; }

    /** Bits of a field element: the size people give the curve's keys. */
    public int fieldBits() { return fieldBits; }

    /** Bits of the group order, to which ECDSA cuts a hash. */
    public int orderBits() { return orderBits; }

    /** CKK_EC, CKK_EC_EDWARDS or CKK_EC_MONTGOMERY. */
    public int keyType() { return keyType; }

    /** The DER of the curve's OID: what CKA_EC_PARAMS holds for a named curve. */
    public byte[] parameters() { return encodeOid(oid); }

    @Override
    public String toString() {
      return name;
    }
  }

  private static final int EC = Cryptoki.CKK_EC;
  private static final int ED = Cryptoki.CKK_EC_EDWARDS;
  private static final int X = Cryptoki.CKK_EC_MONTGOMERY;

  private static final List<Curve> CURVES =
      List.of(new Curve("P-256", "1.2.840.10045.3.1.7", 256, 256, EC, "secp256r1", "prime256v1",
                  "nistp256"),
          new Curve("P-384", "1.3.132.0.34", 384, 384, EC, "secp384r1", "nistp384"),
          new Curve("P-521", "1.3.132.0.35", 521, 521, EC, "secp521r1", "nistp521"),
          new Curve("P-224", "1.3.132.0.33", 224, 224, EC, "secp224r1", "nistp224"),
          new Curve("secp256k1", "1.3.132.0.10", 256, 256, EC),
          new Curve("brainpoolP256r1", "1.3.36.3.3.2.8.1.1.7", 256, 256, EC),
          new Curve("brainpoolP384r1", "1.3.36.3.3.2.8.1.1.11", 384, 384, EC),
          new Curve("brainpoolP512r1", "1.3.36.3.3.2.8.1.1.13", 512, 512, EC),
          new Curve("Ed25519", "1.3.101.112", 255, 253, ED, "edwards25519"),
          new Curve("Ed448", "1.3.101.113", 448, 446, ED, "edwards448"),
          new Curve("X25519", "1.3.101.110", 255, 253, X, "curve25519"),
          new Curve("X448", "1.3.101.111", 448, 446, X, "curve448"));

  /** Every curve known here. */
  public static List<Curve> all() { return CURVES; }

  /** The curve called `name` (any of its usual names, in any case), or null. */
  public static Curve named(String name) {
    for (Curve curve : CURVES) {
      if (curve.name.equalsIgnoreCase(name)) return curve;
      for (String alias : curve.aliases) {
        if (alias.equalsIgnoreCase(name)) return curve;
      }
    }
    return null;
  }

  /**
   * The curve with the dotted object identifier `oid` ("1.3.132.0.10"): a known one by its name,
   * else a Weierstrass curve named by its OID alone, whose sizes are unknown here (0), for a token
   * that knows more curves than this table.
   *
   * @throws IllegalArgumentException when `oid` is no dotted object identifier
   */
  public static Curve ofOid(String oid) {
    if (!oid.matches("[0-2](\\.[0-9]+)+")) {
      throw new IllegalArgumentException("\"" + oid + "\" is no object identifier");
    }
    for (Curve curve : CURVES) {
      if (curve.oid.equals(oid)) return curve;
    }
    return new Curve(oid, oid, 0, 0, EC);
  }

  /**
   * The curve that CKA_EC_PARAMS names: the DER of its OID, or for Edwards and Montgomery curves
   * the PrintableString of its name that some tokens give instead.
   *
   * @throws GeneralSecurityException for explicit parameters or an unknown curve
   */
  public static Curve of(byte[] ecParameters) throws GeneralSecurityException {
    if (ecParameters != null && ecParameters.length > 2 && ecParameters[0] == 0x13) {
      String text = new String(ecParameters, 2, ecParameters.length - 2, StandardCharsets.US_ASCII)
                        .toLowerCase(Locale.ROOT);
      Curve curve = named(text);
      if (curve != null) return curve;
    }
    for (Curve curve : CURVES) {
      if (Arrays.equals(curve.parameters(), ecParameters)) return curve;
    }
    throw new GeneralSecurityException("EC parameters that name no known curve");
  }

  static int fieldBits(byte[] ecParameters) throws GeneralSecurityException {
    return of(ecParameters).fieldBits;
  }

  /** The DER encoding of a dotted object identifier. */
  static byte[] encodeOid(String dotted) {
    String[] parts = dotted.split("\\.");
    ByteArrayOutputStream body = new ByteArrayOutputStream();
    long first = Long.parseLong(parts[0]) * 40 + Long.parseLong(parts[1]);
    base128(body, first);
    for (int i = 2; i < parts.length; ++i) base128(body, Long.parseLong(parts[i]));
    byte[] content = body.toByteArray();
    byte[] out = new byte[content.length + 2];
    out[0] = 0x06;
    out[1] = (byte) content.length;
    System.arraycopy(content, 0, out, 2, content.length);
    return out;
  }

  private static void base128(ByteArrayOutputStream out, long value) {
    int groups = 1;
    while ((value >>> (7 * groups)) != 0) ++groups;
    for (int g = groups - 1; g >= 0; --g) {
      int bits = (int) ((value >>> (7 * g)) & 0x7F);
      out.write(g == 0 ? bits : bits | 0x80);
    }
  }
}
