package it.morvale.pkcs11.provider;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.KeyPairObjects;
import it.morvale.pkcs11.token.KeyTemplates;
import it.morvale.pkcs11.token.Names;
import it.morvale.pkcs11.token.ObjectRef;
import it.morvale.pkcs11.token.ObjectTemplates;
import it.morvale.pkcs11.token.Session;
import it.morvale.pkcs11.token.Template;
import it.morvale.pkcs11.token.TokenObject;
import it.morvale.pkcs11.token.Trust;
import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.security.InvalidKeyException;
import java.security.Key;
import java.security.KeyStore;
import java.security.KeyStoreException;
import java.security.KeyStoreSpi;
import java.security.PrivateKey;
import java.security.UnrecoverableEntryException;
import java.security.UnrecoverableKeyException;
import java.security.cert.Certificate;
import java.security.cert.CertificateException;
import java.security.cert.CertificateFactory;
import java.security.cert.X509Certificate;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.Date;
import java.util.Enumeration;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import javax.crypto.SecretKey;
import javax.security.auth.callback.Callback;
import javax.security.auth.callback.CallbackHandler;
import javax.security.auth.callback.PasswordCallback;
import javax.security.auth.callback.UnsupportedCallbackException;

/**
 * The token's keys and certificates as a {@code KeyStore} of type {@value
 * QuillonProvider#KEYSTORE_TYPE}.
 *
 * <p>{@code load(null, pin)} logs the user in (a null PIN skips the login and shows only public
 * objects) and reads the token; {@code load(parameter)} takes the PIN from a {@code
 * PasswordProtection} or asks a {@code CallbackHandlerProtection} for it, as {@code
 * KeyStore.Builder} does. A wrong PIN fails with an {@code IOException} whose cause is an {@code
 * UnrecoverableKeyException}, itself caused by a {@code FailedLoginException}. Its entries:
 *
 * <ul>
 *   <li>a private key entry for each private key with a certificate of the same CKA_ID, named by
 *       the key's label (or else the certificate's; with {@code keyStoreAliases =
 *       certificateLabel} in the configuration, the other way round, as the JDK's own PKCS#11
 *       provider names them); the chain is that certificate followed by its issuers found on the
 *       token;
 *   <li>a trusted certificate entry for each labelled certificate that the token marks as a trust
 *       anchor ({@link Trust}): CKA_TRUSTED, which a user cannot set (only the token's security
 *       officer can), or on NSS's tokens an NSS trust object naming it a trusted CA. A
 *       certificate that anyone with the user PIN wrote is therefore not trusted; labelled
 *       certificates without the mark and without a key are not entries;
 *   <li>a secret key entry for each labelled secret key (AES, or a generic secret for HMAC), as
 *       a key that stays on the token.
 * </ul>
 *
 * <p>Writes go to the token at once: {@code setKeyEntry} takes a private key of this token (from
 * {@code getKey} or the provider's KeyPairGenerator) or a software RSA, EC or EdDSA private key,
 * which it writes to the token sensitive and not extractable, with its chain; it labels the key
 * with the alias and writes the certificate with the key's CKA_ID, and the rest of the chain
 * without label. A secret key entry takes a key of this token, or a software key whose value it
 * writes to the token, sensitive and not extractable. {@code setCertificateEntry} writes a
 * certificate marked CKA_TRUSTED, which only the security officer's login allows on most tokens.
 * {@code deleteEntry} destroys the entry's objects. Passwords and protection parameters of entries
 * are not used: the token's login protects its keys. {@code store} has nothing left to write.
 */
final class TokenKeyStore extends KeyStoreSpi {
  /** A certificate object of the token, parsed. */
  private static final class Cert {
    final ObjectRef object;
    final byte[] id;
    final String label;
    final X509Certificate certificate;
    final boolean trusted;

    Cert(ObjectRef object, byte[] id, String label, X509Certificate certificate, boolean trusted) {
      this.object = object;
      this.id = id;
      this.label = label;
      this.certificate = certificate;
      this.trusted = trusted;
    }
  }

  /**
   * An entry: a private key with its certificate, a trusted certificate alone (key null), or a
   * secret key (secret set, key and certificate null).
   */
  private static final class Entry {
    final ObjectRef key;
    final Cert cert;
    final ObjectRef secret;
    final int secretType;

    Entry(ObjectRef key, Cert cert) {
      this.key = key;
      this.cert = cert;
      this.secret = null;
      this.secretType = 0;
    }

    Entry(ObjectRef secret, int secretType) {
      this.key = null;
      this.cert = null;
      this.secret = secret;
      this.secretType = secretType;
    }

    boolean isCertificate() { return key == null && secret == null; }
  }

  private final Token token;
  private Map<String, Entry> entries = new LinkedHashMap<>();
  private List<Cert> certificates = new ArrayList<>();

  TokenKeyStore(Token token) { this.token = token; }

  @Override
  public synchronized void engineLoad(InputStream stream, char[] password)
      throws IOException, CertificateException {
    if (stream != null) {
      throw new IOException("the " + QuillonProvider.KEYSTORE_TYPE
          + " key store lives on its token: load it with a null stream");
    }
    if (password != null) login(password);
    try {
      read();
    } catch (PKCS11Exception e) {
      throw new IOException(Token.failure("cannot read the token", e), e);
    }
  }

  /**
   * Loads with the PIN of a {@code PasswordProtection}, or one that a {@code
   * CallbackHandlerProtection}'s handler gives for a {@code PasswordCallback}; a null parameter
   * or protection reads the public objects without logging in.
   */
  @Override
  public synchronized void engineLoad(KeyStore.LoadStoreParameter parameter)
      throws IOException, CertificateException {
    KeyStore.ProtectionParameter protection =
        parameter == null ? null : parameter.getProtectionParameter();
    char[] pin = null;
    if (protection instanceof KeyStore.PasswordProtection) {
      pin = ((KeyStore.PasswordProtection) protection).getPassword();
    } else if (protection instanceof KeyStore.CallbackHandlerProtection) {
      pin = ask(((KeyStore.CallbackHandlerProtection) protection).getCallbackHandler());
    } else if (protection != null) {
      throw new IllegalArgumentException(
          "the key store takes a PasswordProtection or a CallbackHandlerProtection, not "
          + protection.getClass().getName());
    }
    try {
      engineLoad(null, pin);
    } finally {
      if (pin != null && !(protection instanceof KeyStore.PasswordProtection)) {
        Arrays.fill(pin, '\0');
      }
    }
  }

  /** The PIN that `handler` gives for the token's user. */
  private static char[] ask(CallbackHandler handler) throws IOException {
    PasswordCallback callback = new PasswordCallback("PIN: ", false);
    try {
      handler.handle(new Callback[] {callback});
    } catch (UnsupportedCallbackException e) {
      throw new IOException("the callback handler gives no PIN", e);
    }
    char[] pin = callback.getPassword();
    callback.clearPassword();
    return pin;
  }

  private void login(char[] pin) throws IOException {
    try {
      token.login(pin);
    } catch (PKCS11Exception e) {
      String text = Token.failure("the token refused the login", e);
      if (LoginFailure.isPinRefused(e)) {
        throw new IOException(
            text, new UnrecoverableKeyException(text).initCause(LoginFailure.of(e)));
      }
      throw new IOException(text, e);
    }
  }

  /** Reads the token's private keys and certificates into entries, in one search of the token. */
  private void read() throws PKCS11Exception, CertificateException {
    CertificateFactory factory = CertificateFactory.getInstance("X.509");
    token.pool.read(session -> {
      read(session, factory);
      return null;
    });
  }

  private void read(Session session, CertificateFactory factory) throws PKCS11Exception {
    Trust trust = Trust.of(session);
    List<Cert> certs = new ArrayList<>();
    for (TokenObject object :
        session.find(new Template()
                         .add(Cryptoki.CKA_CLASS, Cryptoki.CKO_CERTIFICATE)
                         .add(Cryptoki.CKA_CERTIFICATE_TYPE, Cryptoki.CKC_X_509)
                         .add(Cryptoki.CKA_TOKEN, true))) {
      byte[] value = object.bytesIfPresent(Cryptoki.CKA_VALUE);
      if (value == null) continue;
      try {
        X509Certificate certificate =
            (X509Certificate) factory.generateCertificate(new ByteArrayInputStream(value));
        certs.add(new Cert(token.pool.ref(object), object.idIfNotEmpty(), object.labelIfNotEmpty(),
            certificate, trust.isAnchor(object, value)));
      } catch (CertificateException e) {
        // A certificate that does not parse belongs to no entry.
      }
    }
    Map<String, Entry> found = new LinkedHashMap<>();
    List<Cert> paired = new ArrayList<>();
    for (TokenObject key : session.find(new Template()
                                            .add(Cryptoki.CKA_CLASS, Cryptoki.CKO_PRIVATE_KEY)
                                            .add(Cryptoki.CKA_TOKEN, true))) {
      byte[] id = key.idIfNotEmpty();
      Cert cert = id == null ? null : withId(certs, id);
      if (cert == null
          || !Integer.valueOf(ObjectTemplates.keyType(cert.certificate.getPublicKey()))
                  .equals(key.integerIfPresent(Cryptoki.CKA_KEY_TYPE))) {
        continue;
      }
      boolean byCertificate = token.config.aliasesFromCertificates;
      String alias = byCertificate ? cert.label : key.labelIfNotEmpty();
      if (alias == null) alias = byCertificate ? key.labelIfNotEmpty() : cert.label;
      if (alias != null && !found.containsKey(alias)) {
        found.put(alias, new Entry(token.pool.ref(key), cert));
        paired.add(cert);
      }
    }
    for (Cert cert : certs) {
      if (cert.trusted && cert.label != null && !paired.contains(cert)
          && !found.containsKey(cert.label)) {
        found.put(cert.label, new Entry(null, cert));
      }
    }
    for (TokenObject secret : session.find(new Template()
                                               .add(Cryptoki.CKA_CLASS, Cryptoki.CKO_SECRET_KEY)
                                               .add(Cryptoki.CKA_TOKEN, true))) {
      String label = secret.labelIfNotEmpty();
      Integer type = secret.integerIfPresent(Cryptoki.CKA_KEY_TYPE);
      if (label != null && type != null && !found.containsKey(label)) {
        found.put(label, new Entry(token.pool.ref(secret), type));
      }
    }
    entries = found;
    certificates = certs;
  }

  private static Cert withId(List<Cert> certs, byte[] id) {
    for (Cert cert : certs) {
      if (Arrays.equals(cert.id, id)) return cert;
    }
    return null;
  }

  @Override
  public synchronized Key engineGetKey(String alias, char[] password)
      throws UnrecoverableKeyException {
    Entry entry = entries.get(alias);
    if (entry == null || entry.isCertificate()) return null;
    if (entry.secret != null) return secretKey(entry);
    try {
      return TokenKey.of(token, entry.key, entry.cert.certificate.getPublicKey());
    } catch (InvalidKeyException e) {
      throw(UnrecoverableKeyException) new UnrecoverableKeyException(e.getMessage()).initCause(e);
    }
  }

  @Override
  public synchronized Certificate[] engineGetCertificateChain(String alias) {
    Entry entry = entries.get(alias);
    if (entry == null || entry.key == null) return null;
    List<X509Certificate> chain = new ArrayList<>();
    X509Certificate at = entry.cert.certificate;
    while (at != null && chain.size() < 10 && !chain.contains(at)) {
      chain.add(at);
      if (at.getIssuerX500Principal().equals(at.getSubjectX500Principal())) break;
      X509Certificate issuer = null;
      for (Cert cert : certificates) {
        if (cert.certificate.getSubjectX500Principal().equals(at.getIssuerX500Principal())) {
          issuer = cert.certificate;
          break;
        }
      }
      at = issuer;
    }
    return chain.toArray(new Certificate[0]);
  }

  @Override
  public synchronized Certificate engineGetCertificate(String alias) {
    Entry entry = entries.get(alias);
    return entry == null || entry.cert == null ? null : entry.cert.certificate;
  }

  /** Tokens keep no creation date: the certificate's start of validity stands in for it. */
  @Override
  public synchronized Date engineGetCreationDate(String alias) {
    Entry entry = entries.get(alias);
    if (entry == null) return null;
    return entry.cert == null ? new Date(0) : entry.cert.certificate.getNotBefore();
  }

  @Override
  public synchronized void engineSetKeyEntry(
      String alias, Key key, char[] password, Certificate[] chain) throws KeyStoreException {
    if (key instanceof SecretKey) {
      setSecretKeyEntry(alias, (SecretKey) key);
      return;
    }
    if (key instanceof TokenKey && ((TokenKey) key).token() != token) {
      throw new KeyStoreException("the key belongs to another token: " + key);
    }
    if (!(key instanceof PrivateKey)) {
      throw new KeyStoreException("a key entry of the " + QuillonProvider.KEYSTORE_TYPE
          + " key store holds a private key, not "
          + (key == null ? "null" : key.getClass().getName()));
    }
    if (chain == null || chain.length == 0) {
      throw new KeyStoreException("a private key entry needs its certificate chain");
    }
    X509Certificate[] certs = new X509Certificate[chain.length];
    for (int i = 0; i < chain.length; ++i) {
      if (!(chain[i] instanceof X509Certificate)) {
        throw new KeyStoreException("the token keeps X.509 certificates only");
      }
      certs[i] = (X509Certificate) chain[i];
    }
    if (key instanceof TokenKey
        && !Arrays.equals(
            certs[0].getPublicKey().getEncoded(), ((TokenKey) key).publicKey().getEncoded())) {
      throw new KeyStoreException("the first certificate of the chain is not the key's");
    }
    if (!(key instanceof TokenKey)) {
      importKeyEntry(alias, (PrivateKey) key, certs);
      return;
    }
    TokenKey tokenKey = (TokenKey) key;
    try {
      Template first = ObjectTemplates.certificate(certs[0], alias, null);
      List<Template> rest = restOfChain(certs);
      Entry existing = entries.get(alias);
      token.pool.write(writing -> {
        if (existing != null
            && (existing.key == null || existing.key.handle() != tokenKey.object().handle())) {
          destroy(writing, existing);
        }
        storeKeyEntry(writing, alias, tokenKey, first, rest);
        return null;
      });
      read();
    } catch (PKCS11Exception e) {
      throw new KeyStoreException(Token.failure("the token did not store " + alias, e), e);
    } catch (CertificateException e) {
      throw new KeyStoreException("cannot store the certificates of " + alias, e);
    }
  }

  /**
   * Labels the key pair with `alias`, gives it a CKA_ID if it has none, and writes its
   * certificate (`first`, which gets the ID) and the rest of its chain.
   */
  private static void storeKeyEntry(Session writing, String alias, TokenKey tokenKey,
      Template first, List<Template> rest) throws PKCS11Exception {
    TokenObject privateKey = tokenKey.object().in(writing);
    byte[] id = privateKey.idIfNotEmpty();
    TokenObject publicKey =
        id == null ? null : writing.findFirst(tokenObjectsWithId(Cryptoki.CKO_PUBLIC_KEY, id));
    if (id == null) {
      id = KeyPairObjects.idOf(tokenKey.publicKey(), null);
      privateKey.set(Cryptoki.CKA_ID, id);
    }
    privateKey.set(Cryptoki.CKA_LABEL, alias);
    if (publicKey != null) publicKey.set(Cryptoki.CKA_LABEL, alias);
    for (TokenObject old : writing.find(tokenObjectsWithId(Cryptoki.CKO_CERTIFICATE, id))) {
      old.destroy();
    }
    writing.create(first.add(Cryptoki.CKA_ID, id));
    for (Template other : rest) writing.create(other);
  }

  /**
   * Writes a software private key to the token, sensitive and not extractable, with its
   * certificate (sharing the CKA_ID: the SHA-1 hash of the public key) and the rest of its chain.
   */
  private void importKeyEntry(String alias, PrivateKey key, X509Certificate[] certs)
      throws KeyStoreException {
    byte[] id = KeyPairObjects.idOf(certs[0].getPublicKey(), null);
    try {
      Template privateKey = KeyTemplates.importedPrivateKey(key, alias, id);
      Template first = ObjectTemplates.certificate(certs[0], alias, id);
      List<Template> rest = restOfChain(certs);
      Entry existing = entries.get(alias);
      token.pool.write(writing -> {
        if (existing != null) destroy(writing, existing);
        for (TokenObject old : writing.find(tokenObjectsWithId(Cryptoki.CKO_CERTIFICATE, id))) {
          old.destroy();
        }
        writing.create(privateKey);
        writing.create(first);
        for (Template other : rest) writing.create(other);
        return null;
      });
      read();
    } catch (InvalidKeyException e) {
      throw new KeyStoreException(
          "cannot write the key of " + alias + " to the token: " + e.getMessage(), e);
    } catch (PKCS11Exception e) {
      throw new KeyStoreException(Token.failure("the token did not store " + alias, e), e);
    } catch (CertificateException e) {
      throw new KeyStoreException("cannot store the certificates of " + alias, e);
    }
  }

  private TokenSecretKey secretKey(Entry entry) {
    String algorithm = entry.secretType == Cryptoki.CKK_AES ? "AES"
        : entry.secretType == Cryptoki.CKK_GENERIC_SECRET   ? "GenericSecret"
                                                            : Names.keyType(entry.secretType);
    return new TokenSecretKey(token, entry.secret, entry.secretType, algorithm);
  }

  /**
   * Stores a secret key under `alias`: a key of this token is labelled so; a software key's value
   * is written to the token, sensitive and never extractable (AES keys as AES keys, others as
   * generic secrets for HMAC).
   */
  private void setSecretKeyEntry(String alias, SecretKey key) throws KeyStoreException {
    Entry existing = entries.get(alias);
    try {
      if (key instanceof TokenSecretKey) {
        TokenSecretKey tokenKey = (TokenSecretKey) key;
        if (tokenKey.token() != token) {
          throw new KeyStoreException("the key belongs to another token: " + key);
        }
        token.pool.write(writing -> {
          if (existing != null && existing.secret != tokenKey.object()) destroy(writing, existing);
          tokenKey.object().in(writing).set(Cryptoki.CKA_LABEL, alias);
          return null;
        });
      } else {
        byte[] value = key.getEncoded();
        if (value == null) {
          throw new KeyStoreException("the secret key does not give its value to be stored");
        }
        Template template = KeyTemplates.importedSecretKey(
            value, "AES".equalsIgnoreCase(key.getAlgorithm()), alias, TokenSecretKey.newId());
        try {
          token.pool.write(writing -> {
            if (existing != null) destroy(writing, existing);
            writing.create(template);
            return null;
          });
        } finally {
          Arrays.fill(value, (byte) 0);
        }
      }
      read();
    } catch (PKCS11Exception e) {
      throw new KeyStoreException(Token.failure("the token did not store " + alias, e), e);
    } catch (CertificateException e) {
      throw new KeyStoreException("cannot read the token again", e);
    }
  }

  /** An entry whatever the protection asked for: the token's login protects its keys. */
  @Override
  public synchronized KeyStore.Entry engineGetEntry(
      String alias, KeyStore.ProtectionParameter protection) throws UnrecoverableEntryException {
    Entry entry = entries.get(alias);
    if (entry == null) return null;
    if (entry.secret != null) return new KeyStore.SecretKeyEntry(secretKey(entry));
    if (entry.key == null) return new KeyStore.TrustedCertificateEntry(entry.cert.certificate);
    try {
      return new KeyStore.PrivateKeyEntry(
          (PrivateKey) engineGetKey(alias, null), engineGetCertificateChain(alias));
    } catch (UnrecoverableKeyException e) {
      throw(UnrecoverableEntryException) new UnrecoverableEntryException(e.getMessage())
          .initCause(e);
    }
  }

  @Override
  public synchronized boolean engineEntryInstanceOf(
      String alias, Class<? extends KeyStore.Entry> entryClass) {
    Entry entry = entries.get(alias);
    if (entry == null) return false;
    if (entry.secret != null) return entryClass == KeyStore.SecretKeyEntry.class;
    return entry.key == null ? entryClass == KeyStore.TrustedCertificateEntry.class
                             : entryClass == KeyStore.PrivateKeyEntry.class;
  }

  /** Stores an entry whatever its protection: the token's login protects its keys. */
  @Override
  public synchronized void engineSetEntry(String alias, KeyStore.Entry entry,
      KeyStore.ProtectionParameter protection) throws KeyStoreException {
    if (entry instanceof KeyStore.SecretKeyEntry) {
      setSecretKeyEntry(alias, ((KeyStore.SecretKeyEntry) entry).getSecretKey());
    } else if (entry instanceof KeyStore.PrivateKeyEntry) {
      KeyStore.PrivateKeyEntry key = (KeyStore.PrivateKeyEntry) entry;
      engineSetKeyEntry(alias, key.getPrivateKey(), null, key.getCertificateChain());
    } else if (entry instanceof KeyStore.TrustedCertificateEntry) {
      engineSetCertificateEntry(
          alias, ((KeyStore.TrustedCertificateEntry) entry).getTrustedCertificate());
    } else {
      throw new KeyStoreException("the " + QuillonProvider.KEYSTORE_TYPE + " key store does not"
          + " keep " + (entry == null ? "null" : entry.getClass().getName()));
    }
  }

  @Override
  public void engineSetKeyEntry(String alias, byte[] key, Certificate[] chain)
      throws KeyStoreException {
    throw new KeyStoreException("the token does not take protected key encodings");
  }

  @Override
  public synchronized void engineSetCertificateEntry(String alias, Certificate cert)
      throws KeyStoreException {
    if (!(cert instanceof X509Certificate)) {
      throw new KeyStoreException("the token keeps X.509 certificates only");
    }
    Entry existing = entries.get(alias);
    if (existing != null && !existing.isCertificate()) {
      throw new KeyStoreException(alias + " is a key entry");
    }
    try {
      Template template = ObjectTemplates.certificate((X509Certificate) cert, alias, null)
                              .add(Cryptoki.CKA_TRUSTED, true);
      token.pool.write(writing -> {
        try {
          writing.create(template);
        } catch (PKCS11Exception e) {
          PKCS11Exception refused = new PKCS11Exception("the token takes trusted certificates"
              + " from its security officer only (" + e.getMessage() + "); a certificate written"
              + " with the user's PIN would not be trusted");
          refused.initCause(e);
          throw refused;
        }
        if (existing != null) destroy(writing, existing);
        return null;
      });
      read();
    } catch (PKCS11Exception e) {
      throw new KeyStoreException(Token.failure("the token did not store " + alias, e), e);
    } catch (CertificateException e) {
      throw new KeyStoreException("cannot store the certificate " + alias, e);
    }
  }

  @Override
  public synchronized void engineDeleteEntry(String alias) throws KeyStoreException {
    Entry entry = entries.get(alias);
    if (entry == null) return;
    try {
      token.pool.write(writing -> {
        destroy(writing, entry);
        return null;
      });
      read();
    } catch (PKCS11Exception e) {
      throw new KeyStoreException(Token.failure("the token did not delete " + alias, e), e);
    } catch (CertificateException e) {
      throw new KeyStoreException("cannot read the token again", e);
    }
  }

  /** Destroys an entry's objects: its certificate, and for a key entry the key pair. */
  private static void destroy(Session writing, Entry entry) throws PKCS11Exception {
    if (entry.key != null) {
      byte[] id = entry.key.id();
      entry.key.in(writing).destroy();
      if (id != null) {
        for (TokenObject object : writing.find(tokenObjectsWithId(Cryptoki.CKO_PUBLIC_KEY, id))) {
          object.destroy();
        }
      }
    }
    if (entry.secret != null) entry.secret.in(writing).destroy();
    if (entry.cert != null) entry.cert.object.in(writing).destroy();
  }

  /** The search template for the token objects of `objectClass` with CKA_ID `id`. */
  private static Template tokenObjectsWithId(int objectClass, byte[] id) {
    return new Template()
        .add(Cryptoki.CKA_CLASS, objectClass)
        .add(Cryptoki.CKA_TOKEN, true)
        .add(Cryptoki.CKA_ID, id);
  }

  /** The templates of the chain's certificates after the first that the token does not hold. */
  private List<Template> restOfChain(X509Certificate[] certs) throws CertificateException {
    List<Template> rest = new ArrayList<>();
    for (int i = 1; i < certs.length; ++i) {
      if (!onToken(certs[i])) rest.add(ObjectTemplates.certificate(certs[i], null, null));
    }
    return rest;
  }

  private boolean onToken(X509Certificate certificate) {
    for (Cert cert : certificates) {
      if (cert.certificate.equals(certificate)) return true;
    }
    return false;
  }

  @Override
  public synchronized Enumeration<String> engineAliases() {
    return Collections.enumeration(new ArrayList<>(entries.keySet()));
  }

  @Override
  public synchronized boolean engineContainsAlias(String alias) {
    return entries.containsKey(alias);
  }

  @Override
  public synchronized int engineSize() {
    return entries.size();
  }

  @Override
  public synchronized boolean engineIsKeyEntry(String alias) {
    Entry entry = entries.get(alias);
    return entry != null && !entry.isCertificate();
  }

  @Override
  public synchronized boolean engineIsCertificateEntry(String alias) {
    Entry entry = entries.get(alias);
    return entry != null && entry.isCertificate();
  }

  @Override
  public synchronized String engineGetCertificateAlias(Certificate cert) {
    for (Map.Entry<String, Entry> entry : entries.entrySet()) {
      Cert known = entry.getValue().cert;
      if (known != null && known.certificate.equals(cert)) return entry.getKey();
    }
    return null;
  }

  /** Everything is on the token already; there is nothing to write to a stream. */
  @Override
  public void engineStore(OutputStream stream, char[] password) throws IOException {
    if (stream != null) {
      throw new IOException("the " + QuillonProvider.KEYSTORE_TYPE
          + " key store lives on its token: store it with a null stream");
    }
  }
}
