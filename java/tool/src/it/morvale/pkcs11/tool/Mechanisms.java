package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.Cryptoki;
import java.util.HashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;

/**
 * Mechanism names as OpenSC's pkcs11-tool spells them, and the mechanisms that the tool offers.
 * The bridge passes a mechanism's type without parameters, so only mechanisms that take none are
 * offered; AES-ECB is left out for general data, since it leaks the data's patterns.
 */
final class Mechanisms {
  private Mechanisms() {}

  /** What a mechanism is used for on the command line. */
  enum Use {
    SIGN("signing"),
    ENCRYPT("encryption"),
    WRAP("wrapping");

    final String text;

    Use(String text) { this.text = text; }
  }

  /** A mechanism that a command can use. */
  static final class Offered {
    final String name;
    final int type;
    final Use use;
    final int keyType;
    /** The java.security algorithm that checks a signature of this mechanism. */
    final String verifier;
    /** For ECDSA with a hash: the hash, made in Java when the token lacks the mechanism. */
    final String digest;

    Offered(String name, int type, Use use, int keyType, String verifier, String digest) {
      this.name = name;
      this.type = type;
      this.use = use;
      this.keyType = keyType;
      this.verifier = verifier;
      this.digest = digest;
    }
  }

  private static final int RSA = Cryptoki.CKK_RSA;
  private static final int EC = Cryptoki.CKK_EC;
  private static final int AES = Cryptoki.CKK_AES;

  static final List<Offered> OFFERED =
      List.of(new Offered("RSA-PKCS", 0x1, Use.SIGN, RSA, "NONEwithRSA", null),
          new Offered("SHA1-RSA-PKCS", 0x6, Use.SIGN, RSA, "SHA1withRSA", null),
          new Offered("SHA224-RSA-PKCS", 0x46, Use.SIGN, RSA, "SHA224withRSA", null),
          new Offered("SHA256-RSA-PKCS", 0x40, Use.SIGN, RSA, "SHA256withRSA", null),
          new Offered("SHA384-RSA-PKCS", 0x41, Use.SIGN, RSA, "SHA384withRSA", null),
          new Offered("SHA512-RSA-PKCS", 0x42, Use.SIGN, RSA, "SHA512withRSA", null),
          new Offered("ECDSA", 0x1041, Use.SIGN, EC, "NONEwithECDSA", null),
          new Offered("ECDSA-SHA1", 0x1042, Use.SIGN, EC, "SHA1withECDSA", "SHA-1"),
          new Offered("ECDSA-SHA224", 0x1043, Use.SIGN, EC, "SHA224withECDSA", "SHA-224"),
          new Offered("ECDSA-SHA256", 0x1044, Use.SIGN, EC, "SHA256withECDSA", "SHA-256"),
          new Offered("ECDSA-SHA384", 0x1045, Use.SIGN, EC, "SHA384withECDSA", "SHA-384"),
          new Offered("ECDSA-SHA512", 0x1046, Use.SIGN, EC, "SHA512withECDSA", "SHA-512"),
          new Offered("RSA-PKCS", 0x1, Use.ENCRYPT, RSA, null, null),
          new Offered("RSA-PKCS", 0x1, Use.WRAP, RSA, null, null),
          new Offered("AES-KEY-WRAP", 0x2109, Use.WRAP, AES, null, null),
          new Offered("AES-KEY-WRAP-PAD", 0x210A, Use.WRAP, AES, null, null));

  /** Key generation mechanisms that keygen uses. */
  private static final int[] GENERATION = {0x0, 0x1040, 0x1080};

  /** The mechanism named `name` for `use`; a usage failure naming the choices otherwise. */
  static Offered offered(Use use, String name) {
    StringBuilder choices = new StringBuilder();
    for (Offered m : OFFERED) {
      if (m.use != use) continue;
      if (m.name.equalsIgnoreCase(name)) return m;
      choices.append(choices.length() == 0 ? "" : ", ").append(m.name);
    }
    throw Failure.usage("no " + use.text + " mechanism " + name + "; choose one of " + choices);
  }

  /** The usual mechanism for `use` with a key of `keyType`, or null. */
  static Offered usual(Use use, int keyType) {
    String name;
    if (use == Use.SIGN) {
      name = keyType == RSA ? "SHA256-RSA-PKCS" : keyType == EC ? "ECDSA-SHA256" : null;
    } else if (use == Use.ENCRYPT) {
      name = keyType == RSA ? "RSA-PKCS" : null;
    } else {
      name = keyType == RSA ? "RSA-PKCS" : keyType == AES ? "AES-KEY-WRAP" : null;
    }
    return name == null ? null : offered(use, name);
  }

  /** Whether a command of the tool can use the mechanism `type`. */
  static boolean isOffered(int type) {
    for (Offered m : OFFERED) {
      if (m.type == type) return true;
    }
    for (int g : GENERATION) {
      if (g == type) return true;
    }
    return false;
  }

  private static final Map<Integer, String> NAMES = new HashMap<>();

  private static void name(int type, String name) { NAMES.put(type, name); }

  static {
    name(0x0, "RSA-PKCS-KEY-PAIR-GEN");
    name(0x1, "RSA-PKCS");
    name(0x3, "RSA-X-509");
    name(0x5, "MD5-RSA-PKCS");
    name(0x6, "SHA1-RSA-PKCS");
    name(0x9, "RSA-PKCS-OAEP");
    name(0xD, "RSA-PKCS-PSS");
    name(0xE, "SHA1-RSA-PKCS-PSS");
    name(0x10, "DSA-KEY-PAIR-GEN");
    name(0x11, "DSA");
    name(0x12, "DSA-SHA1");
    name(0x13, "DSA-SHA224");
    name(0x14, "DSA-SHA256");
    name(0x15, "DSA-SHA384");
    name(0x16, "DSA-SHA512");
    name(0x20, "DH-PKCS-KEY-PAIR-GEN");
    name(0x21, "DH-PKCS-DERIVE");
    name(0x40, "SHA256-RSA-PKCS");
    name(0x41, "SHA384-RSA-PKCS");
    name(0x42, "SHA512-RSA-PKCS");
    name(0x43, "SHA256-RSA-PKCS-PSS");
    name(0x44, "SHA384-RSA-PKCS-PSS");
    name(0x45, "SHA512-RSA-PKCS-PSS");
    name(0x46, "SHA224-RSA-PKCS");
    name(0x47, "SHA224-RSA-PKCS-PSS");
    name(0x120, "DES-KEY-GEN");
    name(0x121, "DES-ECB");
    name(0x122, "DES-CBC");
    name(0x125, "DES-CBC-PAD");
    name(0x130, "DES2-KEY-GEN");
    name(0x131, "DES3-KEY-GEN");
    name(0x132, "DES3-ECB");
    name(0x133, "DES3-CBC");
    name(0x136, "DES3-CBC-PAD");
    name(0x138, "DES3-CMAC");
    name(0x210, "MD5");
    name(0x211, "MD5-HMAC");
    name(0x220, "SHA-1");
    name(0x221, "SHA-1-HMAC");
    name(0x250, "SHA256");
    name(0x251, "SHA256-HMAC");
    name(0x255, "SHA224");
    name(0x256, "SHA224-HMAC");
    name(0x260, "SHA384");
    name(0x261, "SHA384-HMAC");
    name(0x270, "SHA512");
    name(0x271, "SHA512-HMAC");
    name(0x350, "GENERIC-SECRET-KEY-GEN");
    name(0x1040, "EC-KEY-PAIR-GEN");
    name(0x1041, "ECDSA");
    name(0x1042, "ECDSA-SHA1");
    name(0x1043, "ECDSA-SHA224");
    name(0x1044, "ECDSA-SHA256");
    name(0x1045, "ECDSA-SHA384");
    name(0x1046, "ECDSA-SHA512");
    name(0x1050, "ECDH1-DERIVE");
    name(0x1055, "EC-EDWARDS-KEY-PAIR-GEN");
    name(0x1057, "EDDSA");
    name(0x1080, "AES-KEY-GEN");
    name(0x1081, "AES-ECB");
    name(0x1082, "AES-CBC");
    name(0x1085, "AES-CBC-PAD");
    name(0x1086, "AES-CTR");
    name(0x1087, "AES-GCM");
    name(0x108A, "AES-CMAC");
    name(0x1100, "DES-ECB-ENCRYPT-DATA");
    name(0x1101, "DES-CBC-ENCRYPT-DATA");
    name(0x1102, "DES3-ECB-ENCRYPT-DATA");
    name(0x1103, "DES3-CBC-ENCRYPT-DATA");
    name(0x1104, "AES-ECB-ENCRYPT-DATA");
    name(0x1105, "AES-CBC-ENCRYPT-DATA");
    name(0x2000, "DSA-PARAMETER-GEN");
    name(0x2001, "DH-PKCS-PARAMETER-GEN");
    name(0x2109, "AES-KEY-WRAP");
    name(0x210A, "AES-KEY-WRAP-PAD");
  }

  /** The mechanism's name, or its number in hex when it has no name here. */
  static String name(int type) {
    String name = NAMES.get(type);
    return name != null ? name : String.format(Locale.ROOT, "0x%08X", type);
  }
}
