package it.morvale.pkcs11.provider;

import static it.morvale.pkcs11.token.Cryptoki.*;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.token.SignatureScheme;
import it.morvale.pkcs11.token.Slot;
import java.io.IOException;
import java.security.AuthProvider;
import java.security.InvalidParameterException;
import java.security.NoSuchAlgorithmException;
import java.security.Provider;
import java.security.ProviderException;
import java.security.Security;
import java.security.interfaces.EdECKey;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.function.Predicate;
import javax.security.auth.Subject;
import javax.security.auth.callback.Callback;
import javax.security.auth.callback.CallbackHandler;
import javax.security.auth.callback.PasswordCallback;
import javax.security.auth.callback.UnsupportedCallbackException;
import javax.security.auth.login.LoginException;

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
 * it.morvale.pkcs11.provider.QuillonProvider -providerArg <file or --text>}. As an {@link
 * AuthProvider} it also logs in with {@link #login} (a {@link PasswordCallback} asked of the given
 * handler, or of the one {@link #setCallbackHandler} set) and out with {@link #logout}.
 *
 * <p>Each service is offered only when the token's mechanism list allows it, as the JDK's own
 * PKCS#11 provider does:
 *
 * <ul>
 *   <li>{@code Signature}: {@code SHA1withRSA} to {@code SHA512withRSA} and {@code SHA3-224withRSA}
 *       to {@code SHA3-512withRSA} (the combined mechanism, or CKM_RSA_PKCS over a DigestInfo made
 *       in Java), {@code NONEwithRSA} (CKM_RSA_PKCS over the caller's DigestInfo); {@code
 *       RSASSA-PSS} (any hash and MGF1 hash from its {@code PSSParameterSpec}) and {@code
 *       SHA256withRSASSA-PSS} and its kin (salt as long as the hash, MGF1 with the same hash), the
 *       encoding made in Java and signed by CKM_RSA_X_509; {@code SHA1withECDSA} to {@code
 *       SHA3-512withECDSA}, {@code NONEwithECDSA} (the input is the hash) and their {@code
 *       inP1363Format} forms (r‖s), by CKM_ECDSA or the combined mechanism; {@code Ed25519},
 *       {@code Ed448} and {@code EdDSA} by CKM_EDDSA. Verification goes to the platform.
 *   <li>{@code Cipher}: {@code RSA} with PKCS1Padding (CKM_RSA_PKCS), NoPadding and OAEP
 *       (OAEPPadding, {@code OAEPWith<digest>AndMGF1Padding}, {@code OAEPParameterSpec}; raw
 *       CKM_RSA_X_509 and the decoding in Java) for decryption and unwrapping with the token's
 *       keys; {@code AESWrap} and {@code AESWrapPad} (C_WrapKey and C_UnwrapKey with
 *       CKM_AES_KEY_WRAP and CKM_AES_KEY_WRAP_PAD) with the token's AES keys. Encryption with
 *       public keys goes to the platform.
 *   <li>{@code Mac}: {@code HmacSHA1} to {@code HmacSHA512}, {@code HmacSHA512/224}, {@code
 *       HmacSHA512/256} and {@code HmacSHA3-*} with the token's generic secret keys; the data is
 *       held until {@code doFinal}, since the bridge signs in one part.
 *   <li>{@code KeyGenerator}: {@code AES} and the HMAC names, keys on the token ({@link
 *       TokenSecretKeyGenParameterSpec} labels them and makes them extractable).
 *   <li>{@code KeyPairGenerator}: {@code RSA}, {@code EC} (P-256, P-384, P-521), {@code Ed25519},
 *       {@code Ed448}, {@code EdDSA} ({@link TokenKeyGenParameterSpec} labels the pair).
 *   <li>{@code KeyFactory}: {@code RSA}, {@code EC}, {@code EdDSA}: the token's keys translate to
 *       themselves and give the specs of their public half; private specs are refused.
 *   <li>{@code KeyStore}: {@value #KEYSTORE_TYPE} (alias {@code PKCS11}).
 * </ul>
 *
 * <p>Private and secret keys stay on the token; signing, decrypting, MACs and key wrapping happen
 * there, with hashing and the signature and OAEP encodings done in Java. {@code Cipher.unwrap}
 * makes the unwrapped key on the token (sensitive, not extractable) and returns it as a key of
 * this provider; with the system property {@code quillon.unwrapExtractable=true} it returns the
 * key's value as a {@code SecretKeySpec} instead. The bridge passes mechanisms without
 * parameters and works in one part, so CBC, GCM and CTR with IVs, PSS and OAEP on the token,
 * ECDH, multi-part operations, the token's random numbers and key derivation are not offered.
 */
public final class QuillonProvider extends AuthProvider {
  private static final long serialVersionUID = 1L;

  /** The type of the token's key store. */
  public static final String KEYSTORE_TYPE = "Quillon";

  private static final String VERSION = "2.0";

  /** The hashes of the signatures with their OIDs: RSA PKCS #1 v1.5, ECDSA. */
  private static final String[][] HASHES = {{"SHA-1", "1.2.840.113549.1.1.5", "1.2.840.10045.4.1"},
      {"SHA-224", "1.2.840.113549.1.1.14", "1.2.840.10045.4.3.1"},
      {"SHA-256", "1.2.840.113549.1.1.11", "1.2.840.10045.4.3.2"},
      {"SHA-384", "1.2.840.113549.1.1.12", "1.2.840.10045.4.3.3"},
      {"SHA-512", "1.2.840.113549.1.1.13", "1.2.840.10045.4.3.4"},
      {"SHA3-224", "2.16.840.1.101.3.4.3.13", "2.16.840.1.101.3.4.3.9"},
      {"SHA3-256", "2.16.840.1.101.3.4.3.14", "2.16.840.1.101.3.4.3.10"},
      {"SHA3-384", "2.16.840.1.101.3.4.3.15", "2.16.840.1.101.3.4.3.11"},
      {"SHA3-512", "2.16.840.1.101.3.4.3.16", "2.16.840.1.101.3.4.3.12"}};

  /** The HMACs: name, mechanism, OID. */
  private static final Object[][] HMACS = {{"HmacSHA1", CKM_SHA_1_HMAC, "1.2.840.113549.2.7"},
      {"HmacSHA224", CKM_SHA224_HMAC, "1.2.840.113549.2.8"},
      {"HmacSHA256", CKM_SHA256_HMAC, "1.2.840.113549.2.9"},
      {"HmacSHA384", CKM_SHA384_HMAC, "1.2.840.113549.2.10"},
      {"HmacSHA512", CKM_SHA512_HMAC, "1.2.840.113549.2.11"},
      {"HmacSHA512/224", CKM_SHA512_224_HMAC, "1.2.840.113549.2.12"},
      {"HmacSHA512/256", CKM_SHA512_256_HMAC, "1.2.840.113549.2.13"},
      {"HmacSHA3-224", CKM_SHA3_224_HMAC, "2.16.840.1.101.3.4.2.13"},
      {"HmacSHA3-256", CKM_SHA3_256_HMAC, "2.16.840.1.101.3.4.2.14"},
      {"HmacSHA3-384", CKM_SHA3_384_HMAC, "2.16.840.1.101.3.4.2.15"},
      {"HmacSHA3-512", CKM_SHA3_512_HMAC, "2.16.840.1.101.3.4.2.16"}};

  /** The configured token; null for the unconfigured provider. */
  private final transient Token token;

  /** The handler that {@link #login} asks for the PIN when given none. */
  private transient volatile CallbackHandler callbackHandler;

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
    try {
      offerAll(token.pool.slot());
    } catch (PKCS11Exception e) {
      throw new ProviderException(Token.failure("the token does not list its mechanisms", e), e);
    }
  }

  /** Registers every service whose mechanisms `slot` lists. */
  private void offerAll(Slot slot) throws PKCS11Exception {
    Token t = token;
    offer("KeyStore", KEYSTORE_TYPE, List.of("PKCS11"), null, TokenKeyStore.class,
        () -> new TokenKeyStore(t));

    boolean rsaPkcs = slot.supports(CKM_RSA_PKCS);
    boolean rsaRaw = slot.supports(CKM_RSA_X_509);
    boolean ecdsa = slot.supports(CKM_ECDSA);
    boolean eddsa = slot.supports(CKM_EDDSA);
    boolean edwardsPairs = slot.supports(CKM_EC_EDWARDS_KEY_PAIR_GEN);

    // Signatures.
    for (String[] hash : HASHES) {
      SignatureScheme scheme = SignatureScheme.rsaPkcs1(hash[0]);
      if (rsaPkcs || slot.supports(scheme.combinedMechanism())) {
        signature(scheme.javaAlgorithm(),
            oids(hash[1], hash[0].equals("SHA-1") ? "1.3.14.3.2.29" : null), scheme, false);
      }
    }
    if (rsaPkcs) signature("NONEwithRSA", List.of(), SignatureScheme.rsaPkcs1(null), false);
    if (rsaRaw) {
      signature("RSASSA-PSS", oids("1.2.840.113549.1.1.10", "PSS"), null, false);
      for (String[] hash : HASHES) {
        try {
          SignatureScheme scheme = SignatureScheme.rsaPss(hash[0]);
          signature(hash[0].replace("SHA-", "SHA") + "withRSASSA-PSS", List.of(), scheme, false);
        } catch (java.security.InvalidAlgorithmParameterException e) {
          throw new IllegalStateException(e);
        }
      }
    }
    for (String[] hash : HASHES) {
      SignatureScheme scheme = SignatureScheme.ecdsa(hash[0]);
      if (ecdsa || slot.supports(scheme.combinedMechanism())) {
        signature(scheme.javaAlgorithm(), oids(hash[2], null), scheme, false);
        signature(scheme.javaAlgorithm() + "inP1363Format", List.of(), scheme, true);
      }
    }
    if (ecdsa) {
      signature("NONEwithECDSA", List.of(), SignatureScheme.ecdsa(null), false);
      signature("NONEwithECDSAinP1363Format", List.of(), SignatureScheme.ecdsa(null), true);
    }
    if (eddsa && edwardsPairs) {
      edSignature("EdDSA", List.of(), null);
      edSignature("Ed25519", oids("1.3.101.112", null), "Ed25519");
      edSignature("Ed448", oids("1.3.101.113", null), "Ed448");
    }

    // Ciphers.
    List<String> paddings = new ArrayList<>();
    if (rsaPkcs) paddings.add("PKCS1PADDING");
    if (rsaRaw) {
      paddings.addAll(List.of("NOPADDING", "OAEPPADDING", "OAEPWITHSHA1ANDMGF1PADDING",
          "OAEPWITHSHA-1ANDMGF1PADDING", "OAEPWITHSHA-224ANDMGF1PADDING",
          "OAEPWITHSHA-256ANDMGF1PADDING", "OAEPWITHSHA-384ANDMGF1PADDING",
          "OAEPWITHSHA-512ANDMGF1PADDING", "OAEPWITHSHA-512/224ANDMGF1PADDING",
          "OAEPWITHSHA-512/256ANDMGF1PADDING"));
    }
    if (!paddings.isEmpty()) {
      String usual = rsaPkcs ? "PKCS1Padding" : "NoPadding";
      offer("Cipher", "RSA", List.of(), privateKeys("RSA"), TokenCipher.class,
          ()
              -> new TokenCipher(t, usual),
          Map.of("SupportedModes", "ECB", "SupportedPaddings", String.join("|", paddings)));
    }
    if (rsaPkcs) rsaCipher("PKCS1Padding");
    if (rsaRaw) {
      rsaCipher("NoPadding");
      rsaCipher("OAEPPadding");
      for (String digest : List.of("SHA-1", "SHA-224", "SHA-256", "SHA-384", "SHA-512")) {
        rsaCipher("OAEPWith" + digest + "AndMGF1Padding");
      }
    }
    if (slot.supports(CKM_AES_KEY_WRAP)) {
      keyWrap("AESWrap", List.of("AES/KW/NoPadding"), CKM_AES_KEY_WRAP);
    }
    int pad = slot.supports(CKM_AES_KEY_WRAP_KWP) ? CKM_AES_KEY_WRAP_KWP
        : slot.supports(CKM_AES_KEY_WRAP_PAD)     ? CKM_AES_KEY_WRAP_PAD
                                                  : -1;
    if (pad != -1) keyWrap("AESWrapPad", List.of("AES/KWP/NoPadding"), pad);

    // MACs and secret keys.
    boolean genericSecrets = slot.supports(CKM_GENERIC_SECRET_KEY_GEN);
    for (Object[] hmac : HMACS) {
      String name = (String) hmac[0];
      int mechanism = (int) hmac[1];
      if (!slot.supports(mechanism)) continue;
      offer("Mac", name, oids((String) hmac[2], null), secretKeys(CKK_GENERIC_SECRET),
          TokenMac.class, () -> new TokenMac(t, name, mechanism));
      if (genericSecrets) {
        int bits = 8 * TokenMac.length(mechanism);
        offer("KeyGenerator", name, oids((String) hmac[2], null), null, TokenKeyGenerator.class,
            () -> new TokenKeyGenerator(t, name, bits));
      }
    }
    if (slot.supports(CKM_AES_KEY_GEN)) {
      offer("KeyGenerator", "AES", oids("2.16.840.1.101.3.4.1", null), null,
          TokenKeyGenerator.class, () -> new TokenKeyGenerator(t, "AES", 256));
    }

    // Key pairs and key factories.
    if (slot.supports(CKM_RSA_PKCS_KEY_PAIR_GEN)) {
      offer("KeyPairGenerator", "RSA", List.of("1.2.840.113549.1.1.1"), null,
          TokenKeyPairGenerator.class, () -> new TokenKeyPairGenerator(t, "RSA"));
    }
    if (slot.supports(CKM_EC_KEY_PAIR_GEN)) {
      offer("KeyPairGenerator", "EC", List.of("1.2.840.10045.2.1", "EllipticCurve"), null,
          TokenKeyPairGenerator.class, () -> new TokenKeyPairGenerator(t, "EC"));
    }
    if (edwardsPairs) {
      offer("KeyPairGenerator", "EdDSA", List.of(), null, TokenKeyPairGenerator.class,
          () -> new TokenKeyPairGenerator(t, "EdDSA"));
      offer("KeyPairGenerator", "Ed25519", oids("1.3.101.112", null), null,
          TokenKeyPairGenerator.class, () -> new TokenKeyPairGenerator(t, "Ed25519"));
      offer("KeyPairGenerator", "Ed448", oids("1.3.101.113", null), null,
          TokenKeyPairGenerator.class, () -> new TokenKeyPairGenerator(t, "Ed448"));
    }
    if (rsaPkcs || rsaRaw || slot.supports(CKM_RSA_PKCS_KEY_PAIR_GEN)) keyFactory("RSA");
    if (ecdsa || slot.supports(CKM_EC_KEY_PAIR_GEN)) keyFactory("EC");
    if (eddsa || edwardsPairs) keyFactory("EdDSA");
  }

  /**
   * The providers that offer `service` ("Signature.SHA256withRSA"), most preferred first, but for
   * this one's kind: the platform's own, for the public-key work that is not the token's.
   */
  static List<Provider> others(String service) {
    List<Provider> others = new ArrayList<>();
    Provider[] providers = Security.getProviders(service);
    if (providers != null) {
      for (Provider provider : providers) {
        if (!(provider instanceof QuillonProvider)) others.add(provider);
      }
    }
    return others;
  }

  /** An OID with its "OID." form, and another alias when not null. */
  private static List<String> oids(String oid, String other) {
    List<String> aliases = new ArrayList<>(List.of(oid, "OID." + oid));
    if (other != null) aliases.add(other);
    return aliases;
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

  /**
   * Logs the user in on the token with the PIN that `handler` (or, when null, the handler of
   * {@link #setCallbackHandler}) gives for a {@link PasswordCallback}. The subject is not used.
   *
   * @throws javax.security.auth.login.FailedLoginException when the token refuses the PIN
   *     (wrong, malformed or expired), {@link javax.security.auth.login.AccountLockedException}
   *     when it is locked, a {@link LoginException} when no PIN can be had or the token fails;
   *     the token's {@link PKCS11Exception} is the cause
   */
  @Override
  public void login(Subject subject, CallbackHandler handler) throws LoginException {
    if (token == null) throw new LoginException("the provider is not configured");
    CallbackHandler asked = handler != null ? handler : callbackHandler;
    if (asked == null) {
      throw new LoginException("no CallbackHandler to ask for the PIN: pass one to login or"
          + " setCallbackHandler");
    }
    PasswordCallback callback = new PasswordCallback(
        "PIN of the token \"" + token.pool.slot() + "\" (" + getName() + "): ", false);
    try {
      asked.handle(new Callback[] {callback});
    } catch (IOException | UnsupportedCallbackException e) {
      LoginException failure = new LoginException("the CallbackHandler gave no PIN: " + e);
      failure.initCause(e);
      throw failure;
    }
    char[] pin = callback.getPassword();
    callback.clearPassword();
    if (pin == null) throw new LoginException("the CallbackHandler gave no PIN");
    try {
      token.pool.loginUser(pin);
    } catch (PKCS11Exception e) {
      throw LoginFailure.of(e);
    } finally {
      Arrays.fill(pin, '\0');
    }
  }

  /** Logs the user out of the token; its private and secret keys are of no use until a login. */
  @Override
  public void logout() throws LoginException {
    if (token == null) throw new LoginException("the provider is not configured");
    try {
      token.pool.logout();
    } catch (PKCS11Exception e) {
      LoginException failure = new LoginException(Token.failure("the token did not log out", e));
      failure.initCause(e);
      throw failure;
    }
  }

  /** The handler that {@link #login} asks when it is given none; null forgets it. */
  @Override
  public void setCallbackHandler(CallbackHandler handler) {
    callbackHandler = handler;
  }

  /** A signature service in `scheme`; a null scheme is RSASSA-PSS, set by its parameters. */
  private void signature(
      String algorithm, List<String> aliases, SignatureScheme scheme, boolean p1363) {
    Token t = token;
    offer("Signature", algorithm, aliases, privateKeys(TokenSignature.keyAlgorithm(scheme)),
        TokenSignature.class, () -> new TokenSignature(t, algorithm, scheme, p1363, null));
  }

  /** An EdDSA signature service, for keys on `curve` only unless it is null. */
  private void edSignature(String algorithm, List<String> aliases, String curve) {
    Token t = token;
    Predicate<Object> eddsaKeys = privateKeys("EdDSA");
    offer("Signature", algorithm, aliases,
        key
        -> eddsaKeys.test(key)
            && (curve == null || curve.equalsIgnoreCase(((EdECKey) key).getParams().getName())),
        TokenSignature.class,
        () -> new TokenSignature(t, algorithm, SignatureScheme.eddsa(), false, curve));
  }

  private void rsaCipher(String padding) {
    Token t = token;
    offer("Cipher", "RSA/ECB/" + padding, List.of(), privateKeys("RSA"), TokenCipher.class,
        () -> new TokenCipher(t, padding));
  }

  private void keyWrap(String algorithm, List<String> aliases, int mechanism) {
    Token t = token;
    offer("Cipher", algorithm, aliases, secretKeys(CKK_AES), TokenKeyWrapCipher.class,
        () -> new TokenKeyWrapCipher(t, algorithm, mechanism));
  }

  private void keyFactory(String algorithm) {
    Token t = token;
    offer("KeyFactory", algorithm, List.of(), null, TokenKeyFactory.class,
        () -> new TokenKeyFactory(t, algorithm));
  }

  /** Takes the private keys of this token of `algorithm` (RSA, EC, EdDSA). */
  private Predicate<Object> privateKeys(String algorithm) {
    Token t = token;
    return key
        -> key instanceof TokenKey && ((TokenKey) key).token() == t
        && algorithm.equals(((TokenKey) key).getAlgorithm());
  }

  /** Takes the secret keys of this token of `keyType`. */
  private Predicate<Object> secretKeys(int keyType) {
    Token t = token;
    return key
        -> key instanceof TokenSecretKey && ((TokenSecretKey) key).token() == t
        && ((TokenSecretKey) key).keyType() == keyType;
  }

  private void offer(String type, String algorithm, List<String> aliases, Predicate<Object> takes,
      Class<?> implementation, Factory factory) {
    offer(type, algorithm, aliases, takes, implementation, factory, null);
  }

  private void offer(String type, String algorithm, List<String> aliases, Predicate<Object> takes,
      Class<?> implementation, Factory factory, Map<String, String> attributes) {
    putService(new TokenService(
        this, type, algorithm, aliases, attributes, takes, implementation, factory));
  }

  /** Makes a service's implementation. */
  private interface Factory {
    Object make();
  }

  /**
   * A service whose implementation is made for this provider's token. Services that take keys
   * (signatures, ciphers, MACs) declare that they take only this token's keys of their kind, so
   * the platform's delayed provider choice hands every other key to another provider.
   */
  private static final class TokenService extends Service {
    private final Predicate<Object> takes;
    private final Factory factory;

    TokenService(QuillonProvider provider, String type, String algorithm, List<String> aliases,
        Map<String, String> attributes, Predicate<Object> takes, Class<?> implementation,
        Factory factory) {
      super(provider, type, algorithm, implementation.getName(), aliases, attributes);
      this.takes = takes;
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
      if (takes == null) return super.supportsParameter(parameter);
      return takes.test(parameter);
    }
  }
}
