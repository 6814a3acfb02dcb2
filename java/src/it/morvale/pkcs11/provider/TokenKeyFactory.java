package it.morvale.pkcs11.provider;

import java.security.InvalidKeyException;
import java.security.Key;
import java.security.KeyFactory;
import java.security.KeyFactorySpi;
import java.security.NoSuchAlgorithmException;
import java.security.PrivateKey;
import java.security.Provider;
import java.security.ProviderException;
import java.security.PublicKey;
import java.security.spec.InvalidKeySpecException;
import java.security.spec.KeySpec;

/**
 * The key factory of the token's keys (RSA, EC, EdDSA): a key of this token translates to itself,
 * and its public half gives the public specs ({@code RSAPublicKeySpec}, {@code ECPublicKeySpec},
 * {@code X509EncodedKeySpec}, ...). Private key specs are refused, since the key never leaves the
 * token, and so is making private keys from specs (the token imports none through this provider).
 * Public keys are the platform's own: their specs, translations and new public keys are handed to
 * the platform's key factory.
 */
final class TokenKeyFactory extends KeyFactorySpi {
  private final Token token;
  private final String algorithm;

  /** A key factory of `algorithm` keys: "RSA", "EC" or "EdDSA". */
  TokenKeyFactory(Token token, String algorithm) {
    this.token = token;
    this.algorithm = algorithm;
  }

  @Override
  protected PublicKey engineGeneratePublic(KeySpec keySpec) throws InvalidKeySpecException {
    return platform().generatePublic(keySpec);
  }

  @Override
  protected PrivateKey engineGeneratePrivate(KeySpec keySpec) throws InvalidKeySpecException {
    throw new InvalidKeySpecException("this provider makes no private keys from specs: its keys"
        + " are made on the token (KeyPairGenerator) or found there (KeyStore)");
  }

  @Override
  protected <T extends KeySpec> T engineGetKeySpec(Key key, Class<T> keySpec)
      throws InvalidKeySpecException {
    if (key instanceof TokenKey) {
      TokenKey tokenKey = (TokenKey) key;
      if (keySpec != null && isPrivateSpec(keySpec)) {
        throw new InvalidKeySpecException(
            "the private key " + key + " never leaves the token: it has no " + keySpec.getName());
      }
      return platform().getKeySpec(tokenKey.publicKey(), keySpec);
    }
    if (key instanceof PrivateKey) {
      throw new InvalidKeySpecException("this provider gives specs of its own private keys only");
    }
    return platform().getKeySpec(key, keySpec);
  }

  /** Whether `spec` would hold a private key's value (PKCS #8, RSAPrivateKeySpec, ...). */
  private static boolean isPrivateSpec(Class<?> spec) {
    String name = spec.getSimpleName();
    return name.contains("Private") || name.contains("PKCS8");
  }

  @Override
  protected Key engineTranslateKey(Key key) throws InvalidKeyException {
    if (key instanceof TokenKey && ((TokenKey) key).token() == token) {
      if (!sameFamily(key.getAlgorithm())) {
        throw new InvalidKeyException(
            "a " + key.getAlgorithm() + " key is not translated by the " + algorithm + " factory");
      }
      return key;
    }
    if (key instanceof PublicKey) return platform().translateKey(key);
    throw new InvalidKeyException("this provider does not import private keys onto its token: "
        + (key == null ? "null" : key.getClass().getName()));
  }

  private boolean sameFamily(String keyAlgorithm) {
    return algorithm.equals(keyAlgorithm)
        || (algorithm.equals("EdDSA") && keyAlgorithm.startsWith("Ed"));
  }

  /** The key factory of another provider, for public keys; a platform without one is broken. */
  private KeyFactory platform() {
    for (Provider provider : QuillonProvider.others("KeyFactory." + algorithm)) {
      try {
        return KeyFactory.getInstance(algorithm, provider);
      } catch (NoSuchAlgorithmException e) {
        // Try the next one.
      }
    }
    throw new ProviderException("no other provider has a " + algorithm + " key factory");
  }
}
