package it.morvale.pkcs11.provider;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.KeyTemplates;
import it.morvale.pkcs11.token.ObjectRef;
import java.security.InvalidAlgorithmParameterException;
import java.security.InvalidParameterException;
import java.security.ProviderException;
import java.security.SecureRandom;
import java.security.spec.AlgorithmParameterSpec;
import javax.crypto.KeyGeneratorSpi;
import javax.crypto.SecretKey;

/**
 * Secret keys made by the token: AES keys of 128, 192 or 256 bits (256 by default), and generic
 * secrets for HMAC, as long as the hash's output by default (the least that tokens such as
 * SoftHSM2 take for HMAC). Each is a token object, private and sensitive, with a fresh CKA_ID and
 * the label of a {@link TokenSecretKeyGenParameterSpec}; it is not extractable unless that spec
 * says so. The key comes back as a {@link TokenSecretKey}, usable by this provider's MACs and key
 * wrap ciphers.
 */
final class TokenKeyGenerator extends KeyGeneratorSpi {
  private final Token token;
  private final String algorithm;
  private final boolean aes;
  private final int defaultBits;
  private int bits;
  private String label;
  private boolean extractable;

  /** A generator of `algorithm` keys: "AES", or an HMAC ("HmacSHA256") of `defaultBits`. */
  TokenKeyGenerator(Token token, String algorithm, int defaultBits) {
    this.token = token;
    this.algorithm = algorithm;
    this.aes = algorithm.equals("AES");
    this.defaultBits = defaultBits;
    this.bits = defaultBits;
  }

  @Override
  protected void engineInit(SecureRandom random) {
    bits = defaultBits;
    label = null;
    extractable = false;
  }

  @Override
  protected void engineInit(int keysize, SecureRandom random) {
    check(keysize);
    bits = keysize;
    label = null;
    extractable = false;
  }

  @Override
  protected void engineInit(AlgorithmParameterSpec params, SecureRandom random)
      throws InvalidAlgorithmParameterException {
    if (!(params instanceof TokenSecretKeyGenParameterSpec)) {
      throw new InvalidAlgorithmParameterException(
          algorithm + " keys are made from a TokenSecretKeyGenParameterSpec, not " + params);
    }
    TokenSecretKeyGenParameterSpec spec = (TokenSecretKeyGenParameterSpec) params;
    int requested = spec.getBits() == 0 ? defaultBits : spec.getBits();
    try {
      check(requested);
    } catch (InvalidParameterException e) {
      throw new InvalidAlgorithmParameterException(e.getMessage());
    }
    bits = requested;
    label = spec.getLabel();
    extractable = spec.isExtractable();
  }

  private void check(int keysize) {
    if (aes && keysize != 128 && keysize != 192 && keysize != 256) {
      throw new InvalidParameterException("AES keys of 128, 192 or 256 bits, not " + keysize);
    }
    if (!aes && (keysize < 8 || keysize % 8 != 0)) {
      throw new InvalidParameterException(
          algorithm + " keys of whole bytes, at least 8 bits, not " + keysize);
    }
  }

  @Override
  protected SecretKey engineGenerateKey() {
    byte[] id = TokenSecretKey.newId();
    KeyTemplates.Secret template = aes ? KeyTemplates.aes(bits, label, id, extractable)
                                       : KeyTemplates.genericSecret(bits, label, id, extractable);
    try {
      ObjectRef ref = token.pool.write(session -> token.pool.ref(session.generateKey(template)));
      return new TokenSecretKey(
          token, ref, aes ? Cryptoki.CKK_AES : Cryptoki.CKK_GENERIC_SECRET, algorithm);
    } catch (PKCS11Exception e) {
      throw new ProviderException(Token.failure("the token made no " + algorithm + " key", e), e);
    }
  }
}
