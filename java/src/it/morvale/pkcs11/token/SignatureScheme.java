package it.morvale.pkcs11.token;

import java.security.InvalidAlgorithmParameterException;
import java.security.spec.MGF1ParameterSpec;
import java.security.spec.PSSParameterSpec;
import java.util.List;
import java.util.Objects;

/**
 * A way of signing with a token's key: RSA PKCS #1 v1.5 or RSASSA-PSS with a hash, ECDSA with a
 * hash or over a given hash, or EdDSA. It knows the token's combined mechanism (one that hashes
 * on the token) and the raw mechanism that signs what Java has hashed and encoded; {@link Signer}
 * chooses between them by what the slot lists.
 */
public final class SignatureScheme {
  /** The kinds of signature. */
  public enum Family {
    /** RSA PKCS #1 v1.5: the DigestInfo of the hash, or with no hash the caller's input. */
    RSA_PKCS1,
    /** RSASSA-PSS: the EMSA-PSS encoding made in Java, signed with raw RSA. */
    RSA_PSS,
    /** ECDSA: the hash cut to the group order; with no hash the caller's input. */
    ECDSA,
    /** EdDSA (pure): the token signs the whole message. */
    EDDSA
  }

  /** Hashes with their PKCS #1 v1.5 and ECDSA combined mechanisms. */
  private static final List<Object[]> COMBINED =
      List.of(new Object[] {"SHA-1", Cryptoki.CKM_SHA1_RSA_PKCS, Cryptoki.CKM_ECDSA_SHA1},
          new Object[] {"SHA-224", Cryptoki.CKM_SHA224_RSA_PKCS, Cryptoki.CKM_ECDSA_SHA224},
          new Object[] {"SHA-256", Cryptoki.CKM_SHA256_RSA_PKCS, Cryptoki.CKM_ECDSA_SHA256},
          new Object[] {"SHA-384", Cryptoki.CKM_SHA384_RSA_PKCS, Cryptoki.CKM_ECDSA_SHA384},
          new Object[] {"SHA-512", Cryptoki.CKM_SHA512_RSA_PKCS, Cryptoki.CKM_ECDSA_SHA512},
          new Object[] {"SHA3-224", Cryptoki.CKM_SHA3_224_RSA_PKCS, Cryptoki.CKM_ECDSA_SHA3_224},
          new Object[] {"SHA3-256", Cryptoki.CKM_SHA3_256_RSA_PKCS, Cryptoki.CKM_ECDSA_SHA3_256},
          new Object[] {"SHA3-384", Cryptoki.CKM_SHA3_384_RSA_PKCS, Cryptoki.CKM_ECDSA_SHA3_384},
          new Object[] {"SHA3-512", Cryptoki.CKM_SHA3_512_RSA_PKCS, Cryptoki.CKM_ECDSA_SHA3_512});

  /** The PSS mechanisms with a hash, which need parameters the bridge cannot pass. */
  private static final List<Object[]> PSS =
      List.of(new Object[] {"SHA-1", Cryptoki.CKM_SHA1_RSA_PKCS_PSS},
          new Object[] {"SHA-224", Cryptoki.CKM_SHA224_RSA_PKCS_PSS},
          new Object[] {"SHA-256", Cryptoki.CKM_SHA256_RSA_PKCS_PSS},
          new Object[] {"SHA-384", Cryptoki.CKM_SHA384_RSA_PKCS_PSS},
          new Object[] {"SHA-512", Cryptoki.CKM_SHA512_RSA_PKCS_PSS},
          new Object[] {"SHA3-224", Cryptoki.CKM_SHA3_224_RSA_PKCS_PSS},
          new Object[] {"SHA3-256", Cryptoki.CKM_SHA3_256_RSA_PKCS_PSS},
          new Object[] {"SHA3-384", Cryptoki.CKM_SHA3_384_RSA_PKCS_PSS},
          new Object[] {"SHA3-512", Cryptoki.CKM_SHA3_512_RSA_PKCS_PSS});

  private final Family family;
  private final String digest;
  private final PSSParameterSpec pss;

  private SignatureScheme(Family family, String digest, PSSParameterSpec pss) {
    this.family = family;
    this.digest = digest;
    this.pss = pss;
  }

  /**
   * RSA PKCS #1 v1.5 with the hash that Java calls `digest` ("SHA-256"); with null, raw
   * CKM_RSA_PKCS over the caller's input (a DigestInfo, at most the modulus length less 11).
   */
  public static SignatureScheme rsaPkcs1(String digest) {
    return new SignatureScheme(Family.RSA_PKCS1, known(digest), null);
  }

  /** RSASSA-PSS with the parameters' hash, MGF1 hash and salt length (trailer field 1). */
  public static SignatureScheme rsaPss(PSSParameterSpec parameters)
      throws InvalidAlgorithmParameterException {
    String hash = Encodings.digestName(parameters.getDigestAlgorithm());
    if (hash == null || hash.equals("MD5") || !COMBINED.stream().anyMatch(r -> r[0].equals(hash))) {
      throw new InvalidAlgorithmParameterException(
          "RSASSA-PSS with " + parameters.getDigestAlgorithm() + " is not offered");
    }
    if (!"MGF1".equalsIgnoreCase(parameters.getMGFAlgorithm())
        || !(parameters.getMGFParameters() instanceof MGF1ParameterSpec)) {
      throw new InvalidAlgorithmParameterException("RSASSA-PSS is offered with MGF1 only");
    }
    String mgf = Encodings.digestName(
        ((MGF1ParameterSpec) parameters.getMGFParameters()).getDigestAlgorithm());
    if (mgf == null) {
      throw new InvalidAlgorithmParameterException("MGF1 with an unknown hash");
    }
    if (parameters.getTrailerField() != PSSParameterSpec.TRAILER_FIELD_BC) {
      throw new InvalidAlgorithmParameterException("RSASSA-PSS is offered with trailer field 1");
    }
    if (parameters.getSaltLength() < 0) {
      throw new InvalidAlgorithmParameterException("a negative salt length");
    }
    PSSParameterSpec normal = new PSSParameterSpec(hash, "MGF1", new MGF1ParameterSpec(mgf),
        parameters.getSaltLength(), PSSParameterSpec.TRAILER_FIELD_BC);
    return new SignatureScheme(Family.RSA_PSS, hash, normal);
  }

  /** RSASSA-PSS with `digest` for the hash and MGF1, and a salt as long as the hash. */
  public static SignatureScheme rsaPss(String digest) throws InvalidAlgorithmParameterException {
    String hash = known(digest);
    int length = Encodings.digest(hash).getDigestLength();
    return rsaPss(new PSSParameterSpec(
        hash, "MGF1", new MGF1ParameterSpec(hash), length, PSSParameterSpec.TRAILER_FIELD_BC));
  }

  /** ECDSA with the hash `digest`; with null, CKM_ECDSA over the caller's input (a hash). */
  public static SignatureScheme ecdsa(String digest) {
    return new SignatureScheme(Family.ECDSA, known(digest), null);
  }

  /** Pure EdDSA (Ed25519 or Ed448, by the key). */
  public static SignatureScheme eddsa() { return new SignatureScheme(Family.EDDSA, null, null); }

  private static String known(String digest) {
    if (digest == null) return null;
    String name = Encodings.digestName(digest);
    if (name == null) throw new IllegalArgumentException("no hash called " + digest);
    return name;
  }

  /** The usual scheme for a key type: SHA-256 with RSA or ECDSA, EdDSA; null for others. */
  public static SignatureScheme usualFor(int keyType) {
    switch (keyType) {
      case Cryptoki.CKK_RSA:
        return rsaPkcs1("SHA-256");
      case Cryptoki.CKK_EC:
        return ecdsa("SHA-256");
      case Cryptoki.CKK_EC_EDWARDS:
        return eddsa();
      default:
        return null;
    }
  }

  /**
   * The scheme of a signature mechanism (CKM_SHA256_RSA_PKCS, CKM_ECDSA, CKM_EDDSA,
   * CKM_SHA256_RSA_PKCS_PSS, ...), or null when `type` is none that is offered.
   */
  public static SignatureScheme forMechanism(int type) {
    if (type == Cryptoki.CKM_RSA_PKCS) return rsaPkcs1(null);
    if (type == Cryptoki.CKM_ECDSA) return ecdsa(null);
    if (type == Cryptoki.CKM_EDDSA) return eddsa();
    for (Object[] row : COMBINED) {
      if ((int) row[1] == type) return rsaPkcs1((String) row[0]);
      if ((int) row[2] == type) return ecdsa((String) row[0]);
    }
    for (Object[] row : PSS) {
      if ((int) row[1] == type) {
        try {
          return rsaPss((String) row[0]);
        } catch (InvalidAlgorithmParameterException e) {
          return null;
        }
      }
    }
    return null;
  }

  /** Every mechanism that {@link #forMechanism} takes. */
  public static List<Mechanism> mechanisms() {
    java.util.ArrayList<Mechanism> all = new java.util.ArrayList<>();
    all.add(Mechanism.of(Cryptoki.CKM_RSA_PKCS));
    for (Object[] row : COMBINED) all.add(Mechanism.of((int) row[1]));
    for (Object[] row : PSS) all.add(Mechanism.of((int) row[1]));
    all.add(Mechanism.of(Cryptoki.CKM_ECDSA));
    for (Object[] row : COMBINED) all.add(Mechanism.of((int) row[2]));
    all.add(Mechanism.of(Cryptoki.CKM_EDDSA));
    return all;
  }

  public Family family() { return family; }

  /** Java's name of the hash, or null for the raw forms and EdDSA. */
  public String digest() { return digest; }

  /** The PSS parameters, or null. */
  public PSSParameterSpec pssParameters() { return pss; }

  /** The key type that signs: CKK_RSA, CKK_EC or CKK_EC_EDWARDS. */
  public int keyType() {
    switch (family) {
      case ECDSA:
        return Cryptoki.CKK_EC;
      case EDDSA:
        return Cryptoki.CKK_EC_EDWARDS;
      default:
        return Cryptoki.CKK_RSA;
    }
  }

  /**
   * The mechanism that signs on the token what Java hashed: CKM_RSA_PKCS, CKM_RSA_X_509 (for
   * PSS), CKM_ECDSA or CKM_EDDSA.
   */
  public int rawMechanism() {
    switch (family) {
      case RSA_PSS:
        return Cryptoki.CKM_RSA_X_509;
      case ECDSA:
        return Cryptoki.CKM_ECDSA;
      case EDDSA:
        return Cryptoki.CKM_EDDSA;
      default:
        return Cryptoki.CKM_RSA_PKCS;
    }
  }

  /**
   * The token's mechanism that hashes and signs in one, usable without parameters; -1 where
   * there is none (the raw forms, PSS, EdDSA).
   */
  public int combinedMechanism() {
    if (digest == null || family == Family.RSA_PSS || family == Family.EDDSA) return -1;
    for (Object[] row : COMBINED) {
      if (row[0].equals(digest)) return (int) row[family == Family.ECDSA ? 2 : 1];
    }
    return -1;
  }

  /** The mechanism that names the scheme, as the tool's users write it. */
  public Mechanism mechanism() {
    if (family == Family.RSA_PSS) {
      for (Object[] row : PSS) {
        if (row[0].equals(digest)) return Mechanism.of((int) row[1]);
      }
    }
    int combined = combinedMechanism();
    return Mechanism.of(combined != -1 ? combined : rawMechanism());
  }

  /** Whether the token must be given the whole message (nothing is hashed in Java). */
  public boolean tokenSeesAllData() { return digest == null; }

  /**
   * The algorithm by which Java checks such a signature: "SHA256withRSA", "NONEwithRSA",
   * "RSASSA-PSS" (with {@link #pssParameters}), "SHA256withECDSA", "NONEwithECDSA", "EdDSA".
   */
  public String javaAlgorithm() {
    String hash = digest == null    ? "NONE"
        : digest.startsWith("SHA3") ? digest
                                    : digest.replace("-", "");
    switch (family) {
      case RSA_PSS:
        return "RSASSA-PSS";
      case ECDSA:
        return hash + "withECDSA";
      case EDDSA:
        return "EdDSA";
      default:
        return hash + "withRSA";
    }
  }

  /** The mechanism's name: "SHA256-RSA-PKCS", "ECDSA", "SHA256-RSA-PKCS-PSS", "EDDSA". */
  public String name() { return mechanism().name(); }

  @Override
  public boolean equals(Object other) {
    if (!(other instanceof SignatureScheme)) return false;
    SignatureScheme that = (SignatureScheme) other;
    return family == that.family && Objects.equals(digest, that.digest)
        && (pss == null ? that.pss == null
                        : that.pss != null && pss.getSaltLength() == that.pss.getSaltLength()
                    && Objects.equals(
                        ((MGF1ParameterSpec) pss.getMGFParameters()).getDigestAlgorithm(),
                        ((MGF1ParameterSpec) that.pss.getMGFParameters()).getDigestAlgorithm()));
  }

  @Override
  public int hashCode() {
    return Objects.hash(family, digest);
  }

  @Override
  public String toString() {
    return name();
  }
}
