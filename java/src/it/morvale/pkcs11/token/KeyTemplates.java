package it.morvale.pkcs11.token;

import java.math.BigInteger;
import java.security.AlgorithmParameters;
import java.security.GeneralSecurityException;
import java.security.InvalidKeyException;
import java.security.PrivateKey;
import java.security.interfaces.ECPrivateKey;
import java.security.interfaces.EdECPrivateKey;
import java.security.interfaces.RSAPrivateCrtKey;

/**
 * The templates of new keys, one set per key type, each asking only for what that type of key can
 * do: RSA keys sign, verify, encrypt, decrypt, wrap and unwrap; EC and EdDSA keys only sign and
 * verify; AES keys encrypt, decrypt, wrap and unwrap; generic secrets sign and verify (HMAC) and
 * derive. Every key is a token object; private and secret keys are private and sensitive, and
 * private keys are never extractable. {@link Session#generateKeyPair(KeyTemplates.Pair)} gives a
 * pair its CKA_ID.
 */
public final class KeyTemplates {
  private KeyTemplates() {}

  /** The mechanism and the two templates of a new key pair. */
  public static final class Pair {
    final int mechanism;
    final Template publicKey;
    final Template privateKey;
    final byte[] id;

    private Pair(int mechanism, Template publicKey, Template privateKey, byte[] id) {
      this.mechanism = mechanism;
      this.publicKey = publicKey;
      this.privateKey = privateKey;
      this.id = id;
    }

    public int mechanism() { return mechanism; }

    /**
     * The same pair allowed only the uses in `usage` (CKA_SIGN, CKA_DERIVE, ...): each half
     * gets those that belong to it, true, and those it had by default and that are not asked
     * for, false. CKA_DERIVE goes to the private key (ECDH and its kin).
     */
    public Pair withUsage(java.util.Set<Integer> usage) {
      return new Pair(mechanism, KeyTemplates.withUsage(publicKey, PUBLIC_USES, usage),
          KeyTemplates.withUsage(privateKey, PRIVATE_USES, usage), id);
    }
  }

  /** The uses that a public key may have, and those of a private or secret key. */
  private static final java.util.List<Integer> PUBLIC_USES =
      java.util.List.of(Cryptoki.CKA_VERIFY, Cryptoki.CKA_ENCRYPT, Cryptoki.CKA_WRAP);

  private static final java.util.List<Integer> PRIVATE_USES = java.util.List.of(
      Cryptoki.CKA_SIGN, Cryptoki.CKA_DECRYPT, Cryptoki.CKA_UNWRAP, Cryptoki.CKA_DERIVE);

  private static final java.util.List<Integer> SECRET_USES =
      java.util.List.of(Cryptoki.CKA_SIGN, Cryptoki.CKA_VERIFY, Cryptoki.CKA_ENCRYPT,
          Cryptoki.CKA_DECRYPT, Cryptoki.CKA_WRAP, Cryptoki.CKA_UNWRAP, Cryptoki.CKA_DERIVE);

  /** `template` with each of `uses` set: true for those in `usage`, false for the others. */
  private static Template withUsage(
      Template template, java.util.List<Integer> uses, java.util.Set<Integer> usage) {
    Template changed = new Template();
    int[] types = template.types();
    Object[] values = template.values();
    for (int i = 0; i < types.length; ++i) {
      if (!uses.contains(types[i])) changed.add(types[i], values[i]);
    }
    for (int use : uses) changed.add(use, usage.contains(use));
    return changed;
  }

  /** The mechanism and template of a new secret key. */
  public static final class Secret {
    final int mechanism;
    final Template template;

    private Secret(int mechanism, Template template) {
      this.mechanism = mechanism;
      this.template = template;
    }

    public int mechanism() { return mechanism; }

    public Template template() { return template; }

    /** The same key allowed only the uses in `usage` (CKA_ENCRYPT, CKA_SIGN, ...). */
    public Secret withUsage(java.util.Set<Integer> usage) {
      return new Secret(mechanism, KeyTemplates.withUsage(template, SECRET_USES, usage));
    }
  }

  /** An RSA key pair of `bits` with the public exponent `exponent` (65537 when null). */
  public static Pair rsa(int bits, BigInteger exponent, String label, byte[] id) {
    Template publicKey = publicKey(label, id)
                             .add(Cryptoki.CKA_KEY_TYPE, Cryptoki.CKK_RSA)
                             .add(Cryptoki.CKA_MODULUS_BITS, bits)
                             .add(Cryptoki.CKA_PUBLIC_EXPONENT,
                                 exponent == null ? BigInteger.valueOf(65537) : exponent)
                             .add(Cryptoki.CKA_VERIFY, true)
                             .add(Cryptoki.CKA_ENCRYPT, true)
                             .add(Cryptoki.CKA_WRAP, true);
    Template privateKey = privateKey(label, id)
                              .add(Cryptoki.CKA_KEY_TYPE, Cryptoki.CKK_RSA)
                              .add(Cryptoki.CKA_SIGN, true)
                              .add(Cryptoki.CKA_DECRYPT, true)
                              .add(Cryptoki.CKA_UNWRAP, true);
    return new Pair(Cryptoki.CKM_RSA_PKCS_KEY_PAIR_GEN, publicKey, privateKey, id);
  }

  /** A key pair on `curve`: ECDSA for Weierstrass curves, EdDSA for Edwards curves. */
  public static Pair ec(Curves.Curve curve, String label, byte[] id) {
    boolean edwards = curve.keyType() == Cryptoki.CKK_EC_EDWARDS;
    if (!edwards && curve.keyType() != Cryptoki.CKK_EC) {
      throw new IllegalArgumentException(curve + " keys do not sign");
    }
    int keyType = curve.keyType();
    Template publicKey = publicKey(label, id)
                             .add(Cryptoki.CKA_KEY_TYPE, keyType)
                             .add(Cryptoki.CKA_EC_PARAMS, curve.parameters())
                             .add(Cryptoki.CKA_VERIFY, true);
    Template privateKey =
        privateKey(label, id).add(Cryptoki.CKA_KEY_TYPE, keyType).add(Cryptoki.CKA_SIGN, true);
    return new Pair(edwards ? Cryptoki.CKM_EC_EDWARDS_KEY_PAIR_GEN : Cryptoki.CKM_EC_KEY_PAIR_GEN,
        publicKey, privateKey, id);
  }

  /**
   * An AES key of `bits` (128, 192 or 256); `extractable` lets it be wrapped itself, though never
   * read in the clear.
   */
  public static Secret aes(int bits, String label, byte[] id, boolean extractable) {
    return new Secret(Cryptoki.CKM_AES_KEY_GEN,
        secret(Cryptoki.CKK_AES, label, id, extractable).add(Cryptoki.CKA_VALUE_LEN, bits / 8));
  }

  /** A generic secret of `bits`, for HMAC and key derivation. */
  public static Secret genericSecret(int bits, String label, byte[] id, boolean extractable) {
    return new Secret(Cryptoki.CKM_GENERIC_SECRET_KEY_GEN,
        secret(Cryptoki.CKK_GENERIC_SECRET, label, id, extractable)
            .add(Cryptoki.CKA_VALUE_LEN, (bits + 7) / 8));
  }

  /**
   * The template of a secret key of `keyType` that an unwrap or import makes (it says the class
   * and type, which generation leaves to the mechanism).
   */
  public static Template secret(int keyType, String label, byte[] id, boolean extractable) {
    Template template = new Template()
                            .add(Cryptoki.CKA_CLASS, Cryptoki.CKO_SECRET_KEY)
                            .add(Cryptoki.CKA_KEY_TYPE, keyType)
                            .add(Cryptoki.CKA_TOKEN, true)
                            .add(Cryptoki.CKA_PRIVATE, true)
                            .addIfPresent(Cryptoki.CKA_LABEL, label)
                            .addIfPresent(Cryptoki.CKA_ID, id)
                            .add(Cryptoki.CKA_SENSITIVE, true)
                            .add(Cryptoki.CKA_EXTRACTABLE, extractable);
    if (keyType == Cryptoki.CKK_GENERIC_SECRET) {
      return template.add(Cryptoki.CKA_SIGN, true)
          .add(Cryptoki.CKA_VERIFY, true)
          .add(Cryptoki.CKA_DERIVE, true);
    }
    return template.add(Cryptoki.CKA_ENCRYPT, true)
        .add(Cryptoki.CKA_DECRYPT, true)
        .add(Cryptoki.CKA_WRAP, true)
        .add(Cryptoki.CKA_UNWRAP, true);
  }

  /**
   * The template that writes a software private key onto the token ({@code C_CreateObject}):
   * sensitive, not extractable, able to do what a generated key of its type can. RSA keys need
   * their CRT values; EC keys a named curve; EdDSA keys their private bytes.
   *
   * @throws InvalidKeyException for another kind of key, or one whose values Java does not give
   */
  public static Template importedPrivateKey(PrivateKey key, String label, byte[] id)
      throws InvalidKeyException {
    Template template = privateKey(label, id);
    if (key instanceof RSAPrivateCrtKey) {
      RSAPrivateCrtKey rsa = (RSAPrivateCrtKey) key;
      return template.add(Cryptoki.CKA_KEY_TYPE, Cryptoki.CKK_RSA)
          .add(Cryptoki.CKA_MODULUS, rsa.getModulus())
          .add(Cryptoki.CKA_PUBLIC_EXPONENT, rsa.getPublicExponent())
          .add(Cryptoki.CKA_PRIVATE_EXPONENT, rsa.getPrivateExponent())
          .add(Cryptoki.CKA_PRIME_1, rsa.getPrimeP())
          .add(Cryptoki.CKA_PRIME_2, rsa.getPrimeQ())
          .add(Cryptoki.CKA_EXPONENT_1, rsa.getPrimeExponentP())
          .add(Cryptoki.CKA_EXPONENT_2, rsa.getPrimeExponentQ())
          .add(Cryptoki.CKA_COEFFICIENT, rsa.getCrtCoefficient())
          .add(Cryptoki.CKA_SIGN, true)
          .add(Cryptoki.CKA_DECRYPT, true)
          .add(Cryptoki.CKA_UNWRAP, true);
    }
    if (key instanceof ECPrivateKey) {
      ECPrivateKey ec = (ECPrivateKey) key;
      byte[] parameters = ecParameters(ec.getParams());
      return template.add(Cryptoki.CKA_KEY_TYPE, Cryptoki.CKK_EC)
          .add(Cryptoki.CKA_EC_PARAMS, parameters)
          .add(Cryptoki.CKA_VALUE, ec.getS())
          .add(Cryptoki.CKA_SIGN, true);
    }
    if (key instanceof EdECPrivateKey) {
      EdECPrivateKey ed = (EdECPrivateKey) key;
      Curves.Curve curve = Curves.named(ed.getParams().getName());
      byte[] value = ed.getBytes().orElseThrow(
          () -> new InvalidKeyException("the EdDSA key does not give its private bytes"));
      if (curve == null)
        throw new InvalidKeyException("an EdDSA key on " + ed.getParams().getName());
      return template.add(Cryptoki.CKA_KEY_TYPE, Cryptoki.CKK_EC_EDWARDS)
          .add(Cryptoki.CKA_EC_PARAMS, curve.parameters())
          .add(Cryptoki.CKA_VALUE, value)
          .add(Cryptoki.CKA_SIGN, true);
    }
    throw new InvalidKeyException("a " + key.getAlgorithm() + " private key ("
        + key.getClass().getName() + ") cannot be written to a token");
  }

  /** The CKA_EC_PARAMS of a Java key's curve: the DER of the named curve's OID. */
  static byte[] ecParameters(java.security.spec.ECParameterSpec curve) throws InvalidKeyException {
    try {
      AlgorithmParameters encoder = AlgorithmParameters.getInstance("EC");
      encoder.init(curve);
      return encoder.getEncoded();
    } catch (GeneralSecurityException | java.io.IOException e) {
      throw new InvalidKeyException("an EC key on a curve without a name", e);
    }
  }

  /**
   * The template that writes a secret key's value onto the token: sensitive, never extractable.
   * AES keys encrypt, decrypt, wrap and unwrap; others are generic secrets for HMAC.
   */
  public static Template importedSecretKey(byte[] value, boolean aes, String label, byte[] id) {
    return secret(aes ? Cryptoki.CKK_AES : Cryptoki.CKK_GENERIC_SECRET, label, id, false)
        .add(Cryptoki.CKA_VALUE, value);
  }

  /** The attributes that every public key object written to a token starts with. */
  static Template publicKey(String label, byte[] id) {
    return new Template()
        .add(Cryptoki.CKA_CLASS, Cryptoki.CKO_PUBLIC_KEY)
        .add(Cryptoki.CKA_TOKEN, true)
        .add(Cryptoki.CKA_PRIVATE, false)
        .addIfPresent(Cryptoki.CKA_LABEL, label)
        .addIfPresent(Cryptoki.CKA_ID, id);
  }

  private static Template privateKey(String label, byte[] id) {
    return new Template()
        .add(Cryptoki.CKA_CLASS, Cryptoki.CKO_PRIVATE_KEY)
        .add(Cryptoki.CKA_TOKEN, true)
        .add(Cryptoki.CKA_PRIVATE, true)
        .addIfPresent(Cryptoki.CKA_LABEL, label)
        .addIfPresent(Cryptoki.CKA_ID, id)
        .add(Cryptoki.CKA_SENSITIVE, true)
        .add(Cryptoki.CKA_EXTRACTABLE, false);
  }
}
