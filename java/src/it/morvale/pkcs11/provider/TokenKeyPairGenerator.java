package it.morvale.pkcs11.provider;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.PublicKeys;
import it.morvale.pkcs11.token.Template;
import it.morvale.pkcs11.token.TokenObject;
import java.math.BigInteger;
import java.security.GeneralSecurityException;
import java.security.InvalidAlgorithmParameterException;
import java.security.InvalidParameterException;
import java.security.KeyPair;
import java.security.KeyPairGeneratorSpi;
import java.security.ProviderException;
import java.security.PublicKey;
import java.security.SecureRandom;
import java.security.spec.AlgorithmParameterSpec;
import java.security.spec.ECGenParameterSpec;
import java.security.spec.RSAKeyGenParameterSpec;
import java.util.Arrays;

/**
 * RSA and EC (P-256, P-384) key pairs made by the token. The private key is sensitive and not
 * extractable. Both keys are token objects with the same CKA_ID, derived from the public key, and
 * the label of a {@link TokenKeyGenParameterSpec}, or no label until {@code KeyStore.setKeyEntry}
 * names them. (Session keys would vanish with the session, and the bridge cannot copy objects, so
 * a session pair could never be stored later.)
 */
final class TokenKeyPairGenerator extends KeyPairGeneratorSpi {
  private final Token token;
  private final boolean rsa;
  private int bits = 2048;
  private BigInteger exponent = RSAKeyGenParameterSpec.F4;
  private String curve = "P-256";
  private String label;

  TokenKeyPairGenerator(Token token, String algorithm) {
    this.token = token;
    this.rsa = algorithm.equals("RSA");
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
    } else if (keysize == 256 || keysize == 384) {
      curve = "P-" + keysize;
    } else {
      throw new InvalidParameterException("EC keys on P-256 or P-384, not of " + keysize + " bits");
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
    } else if (!rsa && params instanceof ECGenParameterSpec) {
      curve = namedCurve(((ECGenParameterSpec) params).getName());
    } else {
      throw new InvalidAlgorithmParameterException(
          (rsa ? "RSA" : "EC") + " key pairs are not made from " + params.getClass().getName());
    }
    label = newLabel;
  }

  /** "P-256" or "P-384" for any of their names; the other curves are refused. */
  private static String namedCurve(String name) throws InvalidAlgorithmParameterException {
    try {
      byte[] oid = PublicKeys.ecParameters(name);
      for (String known : new String[] {"P-256", "P-384"}) {
        if (Arrays.equals(oid, PublicKeys.ecParameters(known))) return known;
      }
    } catch (GeneralSecurityException e) {
      throw new InvalidAlgorithmParameterException("unknown curve " + name, e);
    }
    throw new InvalidAlgorithmParameterException("EC keys on P-256 or P-384, not on " + name);
  }

  @Override
  public KeyPair generateKeyPair() {
    Template publicKey = new Template()
                             .add(Cryptoki.CKA_TOKEN, true)
                             .add(Cryptoki.CKA_PRIVATE, false)
                             .add(Cryptoki.CKA_VERIFY, true)
                             .addIfPresent(Cryptoki.CKA_LABEL, label);
    Template privateKey = new Template()
                              .add(Cryptoki.CKA_TOKEN, true)
                              .add(Cryptoki.CKA_PRIVATE, true)
                              .add(Cryptoki.CKA_SENSITIVE, true)
                              .add(Cryptoki.CKA_EXTRACTABLE, false)
                              .add(Cryptoki.CKA_SIGN, true)
                              .addIfPresent(Cryptoki.CKA_LABEL, label);
    int mechanism;
    try {
      if (rsa) {
        mechanism = Cryptoki.CKM_RSA_PKCS_KEY_PAIR_GEN;
        publicKey.add(Cryptoki.CKA_MODULUS_BITS, bits)
            .add(Cryptoki.CKA_PUBLIC_EXPONENT, exponent)
            .add(Cryptoki.CKA_ENCRYPT, true);
        privateKey.add(Cryptoki.CKA_DECRYPT, true);
      } else {
        mechanism = Cryptoki.CKM_EC_KEY_PAIR_GEN;
        publicKey.add(Cryptoki.CKA_EC_PARAMS, PublicKeys.ecParameters(curve));
      }
      TokenObject[] pair = token.session().generateKeyPair(mechanism, publicKey, privateKey);
      PublicKey javaKey = PublicKeys.of(pair[0]);
      byte[] id = Token.idOf(javaKey);
      pair[0].set(Cryptoki.CKA_ID, id);
      pair[1].set(Cryptoki.CKA_ID, id);
      return new KeyPair(javaKey, TokenKey.of(token, pair[1], javaKey));
    } catch (PKCS11Exception e) {
      throw new ProviderException(Token.failure("the token made no key pair", e), e);
    } catch (GeneralSecurityException e) {
      throw new ProviderException("the token's new public key is unusable", e);
    }
  }
}
