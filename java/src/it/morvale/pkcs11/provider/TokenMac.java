package it.morvale.pkcs11.provider;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Encodings;
import it.morvale.pkcs11.token.Mechanism;
import it.morvale.pkcs11.token.ObjectRef;
import java.io.ByteArrayOutputStream;
import java.security.InvalidAlgorithmParameterException;
import java.security.InvalidKeyException;
import java.security.Key;
import java.security.ProviderException;
import java.security.spec.AlgorithmParameterSpec;
import javax.crypto.MacSpi;

/**
 * HMAC with a secret key of the token (a generic secret, from this provider's KeyGenerator or an
 * unwrap), made by the token's CKM_SHA256_HMAC and its kin. The bridge signs in one part, so the
 * data is held in memory until {@code doFinal} gives it to the token at once: a MAC over very
 * much data needs as much memory.
 */
final class TokenMac extends MacSpi {
  private final Token token;
  private final String algorithm;
  private final int mechanism;
  private final int length;
  private TokenSecretKey key;
  private final ByteArrayOutputStream data = new ByteArrayOutputStream();

  /** `algorithm` ("HmacSHA256") made with `mechanism` (CKM_SHA256_HMAC). */
  TokenMac(Token token, String algorithm, int mechanism) {
    this.token = token;
    this.algorithm = algorithm;
    this.mechanism = mechanism;
    this.length = length(mechanism);
  }

  /** The length in bytes of the MACs that `mechanism` makes: its hash's output. */
  static int length(int mechanism) {
    return Encodings.digest(Mechanism.of(mechanism).digest()).getDigestLength();
  }

  @Override
  protected int engineGetMacLength() {
    return length;
  }

  @Override
  protected void engineInit(Key k, AlgorithmParameterSpec params)
      throws InvalidKeyException, InvalidAlgorithmParameterException {
    if (params != null) throw new InvalidAlgorithmParameterException(algorithm + " takes none");
    if (!(k instanceof TokenSecretKey) || ((TokenSecretKey) k).token() != token) {
      throw new InvalidKeyException(algorithm + " of this provider takes only secret keys of its"
          + " own token (from its KeyGenerator or an unwrap), not "
          + (k == null ? "null" : k.getClass().getName()));
    }
    if (((TokenSecretKey) k).keyType() != Cryptoki.CKK_GENERIC_SECRET) {
      throw new InvalidKeyException(algorithm + " needs a generic secret key, not " + k);
    }
    key = (TokenSecretKey) k;
    data.reset();
  }

  @Override
  protected void engineUpdate(byte input) {
    data.write(input);
  }

  @Override
  protected void engineUpdate(byte[] input, int offset, int len) {
    data.write(input, offset, len);
  }

  @Override
  protected byte[] engineDoFinal() {
    if (key == null) throw new IllegalStateException(algorithm + " is not initialised");
    byte[] input = data.toByteArray();
    data.reset();
    ObjectRef ref = key.object();
    try {
      return token.pool.read(session -> session.sign(mechanism, ref.in(session), input, length));
    } catch (PKCS11Exception e) {
      throw new ProviderException(Token.failure("the token made no " + algorithm, e), e);
    }
  }

  @Override
  protected void engineReset() {
    data.reset();
  }
}
