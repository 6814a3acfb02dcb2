package it.morvale.pkcs11.provider;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Names;
import it.morvale.pkcs11.token.ObjectRef;
import java.security.SecureRandom;
import javax.crypto.SecretKey;
import javax.security.auth.DestroyFailedException;

/**
 * A secret key that stays on the token (an AES key, or a generic secret for HMAC): an object
 * reference, the key type and the algorithm name it was made or unwrapped for. It is sensitive,
 * so it has no encoding, and only this provider's MACs and key wrap ciphers take it. It is a
 * token object, so it outlives the session and the VM; {@link #destroy} removes it from the token.
 */
final class TokenSecretKey extends ResidentKey implements SecretKey {
  private static final long serialVersionUID = 1L;
  private static final SecureRandom RANDOM = new SecureRandom();

  private final int keyType;
  private final String algorithm;
  private volatile boolean destroyed;

  TokenSecretKey(Token token, ObjectRef object, int keyType, String algorithm) {
    super(token, object);
    this.keyType = keyType;
    this.algorithm = algorithm;
  }

  /**
   * A fresh CKA_ID for a new secret key, by which the key is found again after the pool healed
   * (secret keys have no public half to derive one from).
   */
  static byte[] newId() {
    byte[] id = new byte[16];
    RANDOM.nextBytes(id);
    return id;
  }

  /** The CKK_ type of a secret key that Java calls `algorithm`: AES, DES, DESede, or generic. */
  static int keyTypeOf(String algorithm) {
    switch (algorithm.toUpperCase(java.util.Locale.ROOT)) {
      case "AES":
        return Cryptoki.CKK_AES;
      case "DESEDE":
      case "TRIPLEDES":
        return Cryptoki.CKK_DES3;
      case "DES":
        return Cryptoki.CKK_DES;
      default:
        return Cryptoki.CKK_GENERIC_SECRET;
    }
  }

  /** CKK_AES, CKK_GENERIC_SECRET, ... */
  int keyType() { return keyType; }

  @Override
  public String getAlgorithm() {
    return algorithm;
  }

  /** Destroys the key object on the token; the key is of no use afterwards. */
  @Override
  public void destroy() throws DestroyFailedException {
    try {
      token().pool.write(session -> {
        object().in(session).destroy();
        return null;
      });
      destroyed = true;
    } catch (PKCS11Exception e) {
      DestroyFailedException failure =
          new DestroyFailedException(Token.failure("the token kept the key", e));
      failure.initCause(e);
      throw failure;
    }
  }

  @Override
  public boolean isDestroyed() {
    return destroyed;
  }

  @Override
  public String toString() {
    return algorithm + " secret key (" + Names.keyType(keyType) + ") " + object().handle()
        + " on the " + token();
  }
}
