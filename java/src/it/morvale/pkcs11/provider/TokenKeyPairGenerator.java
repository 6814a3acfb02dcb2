package it.morvale.pkcs11.provider;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Curves;
import it.morvale.pkcs11.token.KeyPairObjects;
import it.morvale.pkcs11.token.KeyTemplates;
import it.morvale.pkcs11.token.ObjectRef;
import java.math.BigInteger;
import java.security.InvalidAlgorithmParameterException;
import java.security.InvalidKeyException;
import java.security.InvalidParameterException;
import java.security.KeyPair;
import java.security.KeyPairGeneratorSpi;
import java.security.ProviderException;
import java.security.PublicKey;
import java.security.SecureRandom;
import java.security.spec.AlgorithmParameterSpec;
import java.security.spec.ECGenParameterSpec;
import java.security.spec.NamedParameterSpec;
import java.security.spec.RSAKeyGenParameterSpec;
import java.util.List;

/**
 * RSA, EC (P-256, P-384, P-521) and EdDSA (Ed25519, Ed448) key pairs made by the token, from the
 * token layer's templates. The EdDSA public key is the platform's {@code EdECPublicKey}.
 * The private key is sensitive and not extractable. Both keys are token objects with the same
 * CKA_ID, derived from the public key, and the label of a {@link TokenKeyGenParameterSpec}, or no
 * label until {@code KeyStore.setKeyEntry} names them. (Session keys would vanish with the session,
 * and the bridge cannot copy objects, so a session pair could never be stored later.)
 */
final class TokenKeyPairGenerator extends KeyPairGeneratorSpi {
  /** The curves whose keys Java represents, so that the platform can verify and use them. */
  private static final List<String> SUPPORTED = List.of("P-256", "P-384", "P-521");

  private final Token token;
  private final boolean rsa;
  /** Ed25519 and Ed448 make keys of their one curve; EdDSA of either (Ed25519 by default). */
  private final boolean edwards;
  private final String fixedCurve;
  private int bits = 2048;
  private BigInteger exponent = RSAKeyGenParameterSpec.F4;
  private String curve = "P-256";
  private String label;

  /** A generator of `algorithm` keys: RSA, EC, EdDSA, Ed25519 or Ed448. */
  TokenKeyPairGenerator(Token token, String algorithm) {
    this.token = token;
    this.rsa = algorithm.equals("RSA");
    this.edwards = algorithm.startsWith("Ed");
    this.fixedCurve = algorithm.equals("Ed25519") || algorithm.equals("Ed448") ? algorithm : null;
    if (edwards) curve = fixedCurve != null ? fixedCurve : "Ed25519";
  }

  @Override
  public void initialize(int keysize, SecureRandom random) {
    label = null;
    if (rsa) {
      if (keysize < 1024 || keysize > 16384) {
        throw new InvalidParameterException("RSA keys of 1024 to 16384 bits, not " + keysize);
      }
      bits = keysize;
      exponent = RSAKeyGenParameterSpec.F4;
    } else if (edwards) {
      String wanted = keysize == 255 ? "Ed25519" : keysize == 448 ? "Ed448" : null;
      if (wanted == null || (fixedCurve != null && !fixedCurve.equals(wanted))) {
        throw new InvalidParameterException(
            (fixedCurve != null ? fixedCurve : "EdDSA") + " keys are not of " + keysize + " bits");
      }
      curve = wanted;
    } else if (keysize == 256 || keysize == 384 || keysize == 521) {
      curve = "P-" + keysize;
    } else {
      throw new InvalidParameterException(
          "EC keys on P-256, P-384 or P-521, not of " + keysize + " bits");
    }
  }

  @Override
  public void initialize(AlgorithmParameterSpec params, SecureRandom random)
      throws InvalidAlgorithmParameterException {
    String newLabel = null;
    if (params instanceof TokenKeyGenParameterSpec) {
      newLabel = ((TokenKeyGenParameterSpec) params).getLabel();
      params = ((TokenKeyGenParameterSpec) params).getKeySpec();
    }
    if (params == null) {
      // The defaults.
    } else if (rsa && params instanceof RSAKeyGenParameterSpec) {
      RSAKeyGenParameterSpec requested = (RSAKeyGenParameterSpec) params;
      if (requested.getKeyParams() != null) {
        throw new InvalidAlgorithmParameterException("RSA keys are made without key parameters");
      }
      try {
        initialize(requested.getKeysize(), random);
      } catch (InvalidParameterException e) {
        throw new InvalidAlgorithmParameterException(e.getMessage());
      }
      exponent = requested.getPublicExponent() == null ? RSAKeyGenParameterSpec.F4
                                                       : requested.getPublicExponent();
    } else if (edwards && params instanceof NamedParameterSpec) {
      curve = edwardsCurve(((NamedParameterSpec) params).getName());
    } else if (!rsa && !edwards && params instanceof ECGenParameterSpec) {
      curve = namedCurve(((ECGenParameterSpec) params).getName());
    } else {
      throw new InvalidAlgorithmParameterException((rsa              ? "RSA"
                                                           : edwards ? "EdDSA"
                                                                     : "EC")
          + " key pairs are not made from " + params.getClass().getName());
    }
    label = newLabel;
  }

  /** The name of a curve that the token can make keys on and Java can represent. */
  private static String namedCurve(String name) throws InvalidAlgorithmParameterException {
    Curves.Curve curve = Curves.named(name);
    if (curve == null || curve.keyType() != Cryptoki.CKK_EC) {
      throw new InvalidAlgorithmParameterException(
          "EC keys on " + String.join(", ", SUPPORTED) + ", not on " + name);
    }
    if (!SUPPORTED.contains(curve.name())) {
      throw new InvalidAlgorithmParameterException("EC keys on " + curve.name()
          + " are refused: tokens may make them, but this Java cannot represent, verify or use"
          + " their public keys; EC keys on " + String.join(", ", SUPPORTED));
    }
    return curve.name();
  }

  /** Ed25519 or Ed448, as this generator takes it. */
  private String edwardsCurve(String name) throws InvalidAlgorithmParameterException {
    Curves.Curve curve = Curves.named(name);
    String wanted =
        curve == null || curve.keyType() != Cryptoki.CKK_EC_EDWARDS ? null : curve.name();
    if (wanted == null || (fixedCurve != null && !fixedCurve.equals(wanted))) {
      throw new InvalidAlgorithmParameterException((fixedCurve != null ? fixedCurve : "EdDSA")
          + " keys on " + (fixedCurve != null ? fixedCurve : "Ed25519 or Ed448") + ", not " + name);
    }
    return wanted;
  }

  @Override
  public KeyPair generateKeyPair() {
    KeyTemplates.Pair templates = rsa ? KeyTemplates.rsa(bits, exponent, label, null)
                                      : KeyTemplates.ec(Curves.named(curve), label, null);
    try {
      Object[] made = token.pool.write(session -> {
        KeyPairObjects pair = session.generateKeyPair(templates);
        return new Object[] {pair.javaPublicKey(), token.pool.ref(pair.privateKey())};
      });
      PublicKey javaKey = (PublicKey) made[0];
      if (javaKey == null) throw new ProviderException("the token's new public key is unusable");
      return new KeyPair(javaKey, TokenKey.of(token, (ObjectRef) made[1], javaKey));
    } catch (PKCS11Exception e) {
      throw new ProviderException(Token.failure("the token made no key pair", e), e);
    } catch (InvalidKeyException e) {
      throw new ProviderException("the token's new public key is unusable", e);
    }
  }
}
