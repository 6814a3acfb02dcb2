package it.morvale.pkcs11.provider;

import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.SignatureScheme;
import java.security.InvalidParameterException;
import java.security.NoSuchAlgorithmException;
import java.security.Provider;
import java.util.List;
import java.util.Map;

/**
 * A {@code java.security} provider for the keys of one PKCS#11 token, reached through the quillon
 * bridge. Configure it like the JDK's own PKCS#11 provider, with a configuration file or inline
 * text ({@link TokenConfig}):
 *
 * <pre>
 * Provider p = new QuillonProvider().configure("--name=hsm library=/usr/lib/softhsm/libsofthsm2.so
 * tokenLabel=signing"); Security.addProvider(p);                       // called "Quillon-hsm"
 * KeyStore ks = KeyStore.getInstance("Quillon", p);
 * ks.load(null, pin);                            // logs in
 * </pre>
 *
 * <p>keytool and jarsigner load it with {@code -providerClass
 * it.morvale.pkcs11.provider.QuillonProvider -providerArg <file or --text>}.
 *
 * <p>It offers the key store {@value #KEYSTORE_TYPE}; signatures SHA256withRSA, SHA384withRSA,
 * SHA512withRSA, RSASSA-PSS (SHA-1, SHA-2 or SHA-3 with MGF1), SHA256withECDSA and
 * SHA384withECDSA; the cipher RSA/ECB/PKCS1Padding; and key pair generators RSA and EC (P-256,
 * P-384, P-521). Private keys stay on the token; signing and decrypting happen there, with the
 * hashing and the signature encodings done in Java. Verifying and encrypting with public keys are
 * handed to the platform's own providers.
 */
public final class QuillonProvider extends Provider {
  private static final long serialVersionUID = 1L;

  /** The type of the token's key store. */
  public static final String KEYSTORE_TYPE = "Quillon";

  private static final String VERSION = "2.0";

  /** The configured token; null for the unconfigured provider. */
  private final transient Token token;

  /** An unconfigured provider, which offers nothing until {@link #configure} gives it a token. */
  public QuillonProvider() {
    super("Quillon", VERSION, "quillon PKCS#11 provider (unconfigured)");
    token = null;
  }

  /**
   * A provider for the token that `configuration` names: a file name, or the text itself after
   * "--".
   *
   * @throws InvalidParameterException when the configuration is unreadable or incomplete
   * @throws java.security.ProviderException when the module cannot be loaded or has no such token
   */
  public QuillonProvider(String configuration) { this(TokenConfig.fromArgument(configuration)); }

  private QuillonProvider(TokenConfig config) {
    super("Quillon-" + config.name, VERSION,
        "quillon PKCS#11 provider for " + config.library
            + (config.tokenLabel == null ? "" : ", token " + config.tokenLabel));
    token = Token.open(config);
    Token t = token;
    offer("KeyStore", KEYSTORE_TYPE, List.of("PKCS11"), null, TokenKeyStore.class,
        () -> new TokenKeyStore(t));
    signature("SHA256withRSA", "1.2.840.113549.1.1.11", SignatureScheme.rsaPkcs1("SHA-256"));
    signature("SHA384withRSA", "1.2.840.113549.1.1.12", SignatureScheme.rsaPkcs1("SHA-384"));
    signature("SHA512withRSA", "1.2.840.113549.1.1.13", SignatureScheme.rsaPkcs1("SHA-512"));
    signature("RSASSA-PSS", "1.2.840.113549.1.1.10", null);
    signature("SHA256withECDSA", "1.2.840.10045.4.3.2", SignatureScheme.ecdsa("SHA-256"));
    signature("SHA384withECDSA", "1.2.840.10045.4.3.3", SignatureScheme.ecdsa("SHA-384"));
    offer("Cipher", "RSA/ECB/PKCS1Padding", List.of(), "RSA", TokenCipher.class,
        () -> new TokenCipher(t));
    offer("Cipher", "RSA", List.of(), "RSA", TokenCipher.class,
        ()
            -> new TokenCipher(t),
        Map.of("SupportedModes", "ECB", "SupportedPaddings", "PKCS1PADDING"));
    offer("KeyPairGenerator", "RSA", List.of("1.2.840.113549.1.1.1"), null,
        TokenKeyPairGenerator.class, () -> new TokenKeyPairGenerator(t, "RSA"));
    offer("KeyPairGenerator", "EC", List.of("1.2.840.10045.2.1", "EllipticCurve"), null,
        TokenKeyPairGenerator.class, () -> new TokenKeyPairGenerator(t, "EC"));
  }

  /**
   * A provider for the token that `configuration` names (a file name, or the text after "--").
   * keytool and jarsigner call this with their {@code -providerArg}.
   */
  @Override
  public Provider configure(String configuration) {
    return new QuillonProvider(configuration);
  }

  @Override
  public boolean isConfigured() {
    return token != null;
  }

  /** A signature service in `scheme`; a null scheme is RSASSA-PSS, set by its parameters. */
  private void signature(String algorithm, String oid, SignatureScheme scheme) {
    String keyAlgorithm = scheme == null || scheme.keyType() == Cryptoki.CKK_RSA ? "RSA" : "EC";
    Token t = token;
    offer("Signature", algorithm, List.of(oid, "OID." + oid), keyAlgorithm, TokenSignature.class,
        () -> new TokenSignature(t, algorithm, scheme));
  }

  private void offer(String type, String algorithm, List<String> aliases, String keyAlgorithm,
      Class<?> implementation, Factory factory) {
    offer(type, algorithm, aliases, keyAlgorithm, implementation, factory, null);
  }

  private void offer(String type, String algorithm, List<String> aliases, String keyAlgorithm,
      Class<?> implementation, Factory factory, Map<String, String> attributes) {
    putService(new TokenService(
        this, type, algorithm, aliases, attributes, keyAlgorithm, implementation, factory));
  }

  /** Makes a service's implementation. */
  private interface Factory {
    Object make();
  }

  /**
   * A service whose implementation is made for this provider's token. Services that take keys
   * (signatures, ciphers) declare that they take only private keys of this token of their kind, so
   * the platform's delayed provider choice hands every other key to another provider.
   */
  private static final class TokenService extends Service {
    private final String keyAlgorithm;
    private final Factory factory;

    TokenService(QuillonProvider provider, String type, String algorithm, List<String> aliases,
        Map<String, String> attributes, String keyAlgorithm, Class<?> implementation,
        Factory factory) {
      super(provider, type, algorithm, implementation.getName(), aliases, attributes);
      this.keyAlgorithm = keyAlgorithm;
      this.factory = factory;
    }

    @Override
    public Object newInstance(Object constructorParameter) throws NoSuchAlgorithmException {
      if (constructorParameter != null) {
        throw new InvalidParameterException(getType() + " takes no constructor parameter");
      }
      return factory.make();
    }

    @Override
    public boolean supportsParameter(Object parameter) {
      if (keyAlgorithm == null) return super.supportsParameter(parameter);
      return parameter instanceof TokenKey
          && ((TokenKey) parameter).token() == ((QuillonProvider) getProvider()).token
          && keyAlgorithm.equals(((TokenKey) parameter).getAlgorithm());
    }
  }
}
