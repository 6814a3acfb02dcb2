package it.morvale.pkcs11.provider;

import static it.morvale.pkcs11.provider.ProviderFixture.generateWithKeytool;
import static it.morvale.pkcs11.provider.ProviderFixture.keytool;
import static it.morvale.pkcs11.provider.ProviderFixture.keytoolProvider;
import static it.morvale.pkcs11.provider.ProviderFixture.providerOptions;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.KeyStore;
import java.security.KeyStoreException;
import java.security.PrivateKey;
import java.security.Signature;
import java.security.cert.Certificate;
import java.security.cert.X509Certificate;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import javax.net.ssl.KeyManagerFactory;
import javax.net.ssl.KeyStoreBuilderParameters;
import javax.net.ssl.TrustManagerFactory;
import javax.net.ssl.X509KeyManager;
import javax.net.ssl.X509TrustManager;
import javax.security.auth.callback.PasswordCallback;
import javax.security.auth.login.FailedLoginException;
import org.junit.jupiter.api.Test;

/** The key store's contracts as the JDK's tools and JSSE use them, and whom it trusts. */
class ProviderKeyStoreTest {
  private static boolean signs(PrivateKey key, Certificate certificate) throws Exception {
    String algorithm = key.getAlgorithm().equals("EC") ? "SHA256withECDSA" : "SHA256withRSA";
    byte[] data = "entry".getBytes(StandardCharsets.UTF_8);
    Signature signer = Signature.getInstance(algorithm, ProviderFixture.provider());
    signer.initSign(key);
    signer.update(data);
    Signature verifier = Signature.getInstance(algorithm);
    verifier.initVerify(certificate.getPublicKey());
    verifier.update(data);
    return verifier.verify(signer.sign());
  }

  @Test
  void keytoolRenamesAnEntryAndImportsAPkcs12KeyOntoTheToken() throws Exception {
    generateWithKeytool("ks-before", "-keyalg", "EC", "-groupname", "secp256r1");
    List<String> rename = new ArrayList<>(List.of(
        "-changealias", "-alias", "ks-before", "-destalias", "ks-after", "-keystore", "NONE"));
    rename.addAll(keytoolProvider());
    ProviderFixture.Run renamed = keytool(rename);
    assertEquals(0, renamed.exit, renamed::toString);

    Path p12 = ProviderFixture.work().resolve("software.p12");
    Files.deleteIfExists(p12);
    ProviderFixture.Run software = keytool(List.of("-genkeypair", "-alias", "imported", "-keyalg",
        "RSA", "-keysize", "2048", "-dname", "CN=imported", "-validity", "30", "-keystore",
        p12.toString(), "-storetype", "PKCS12", "-storepass", "changeit"));
    assertEquals(0, software.exit, software::toString);
    List<String> importing = new ArrayList<>(List.of("-importkeystore", "-srckeystore",
        p12.toString(), "-srcstoretype", "PKCS12", "-srcstorepass", "changeit", "-destkeystore",
        "NONE", "-deststoretype", "PKCS11", "-deststorepass", "1234", "-noprompt"));
    importing.addAll(providerOptions());
    ProviderFixture.Run imported = keytool(importing);
    assertEquals(0, imported.exit, imported::toString);

    KeyStore keyStore = ProviderFixture.keyStore();
    assertFalse(keyStore.containsAlias("ks-before"));
    PrivateKey renamedKey = (PrivateKey) keyStore.getKey("ks-after", null);
    assertTrue(signs(renamedKey, keyStore.getCertificate("ks-after")));
    KeyStore.PrivateKeyEntry entry = (KeyStore.PrivateKeyEntry) keyStore.getEntry("imported", null);
    assertNull(entry.getPrivateKey().getEncoded(), "the imported key lives on the token now");
    assertTrue(signs(entry.getPrivateKey(), entry.getCertificate()));
  }

  @Test
  void aSoftwareSecretKeyIsStoredOnTheTokenAndMacsAsTheJdkDoes() throws Exception {
    byte[] value = new byte[32];
    for (int i = 0; i < value.length; ++i) value[i] = (byte) (3 * i + 1);
    javax.crypto.SecretKey software = new javax.crypto.spec.SecretKeySpec(value, "HmacSHA256");
    KeyStore keyStore = ProviderFixture.keyStore();
    keyStore.setEntry("ks-hmac", new KeyStore.SecretKeyEntry(software), null);

    KeyStore reread = ProviderFixture.keyStore();
    assertTrue(reread.entryInstanceOf("ks-hmac", KeyStore.SecretKeyEntry.class));
    javax.crypto.SecretKey stored =
        ((KeyStore.SecretKeyEntry) reread.getEntry("ks-hmac", null)).getSecretKey();
    assertNull(stored.getEncoded(), "the key's value stays on the token");
    byte[] data = "secret entry".getBytes(StandardCharsets.UTF_8);
    javax.crypto.Mac token = javax.crypto.Mac.getInstance("HmacSHA256", ProviderFixture.provider());
    token.init(stored);
    javax.crypto.Mac jdk = javax.crypto.Mac.getInstance("HmacSHA256", "SunJCE");
    jdk.init(software);
    assertTrue(Arrays.equals(jdk.doFinal(data), token.doFinal(data)));
  }

  @Test
  void trustsOnlyCertificatesThatTheSecurityOfficerMarked() throws Exception {
    X509Certificate planted = softwareCertificate("ks-planted");
    X509Certificate anchor = softwareCertificate("ks-anchor");
    KeyStore keyStore = ProviderFixture.keyStore();
    KeyStoreException refused = assertThrows(
        KeyStoreException.class, () -> keyStore.setCertificateEntry("ks-planted", planted));
    assertTrue(refused.getMessage().contains("security officer"), refused::toString);

    writeCertificate("user", "1234", "ks-planted", der(planted));
    writeCertificate("so", "5678", "ks-anchor", der(anchor));

    KeyStore reread = ProviderFixture.keyStore();
    assertFalse(reread.containsAlias("ks-planted"), "a certificate the user wrote is no entry");
    assertTrue(reread.isCertificateEntry("ks-anchor"));
    assertInstanceOf(KeyStore.TrustedCertificateEntry.class, reread.getEntry("ks-anchor", null));
    TrustManagerFactory trust = TrustManagerFactory.getInstance("PKIX");
    trust.init(reread);
    List<X509Certificate> anchors =
        Arrays.asList(((X509TrustManager) trust.getTrustManagers()[0]).getAcceptedIssuers());
    assertTrue(anchors.contains(anchor));
    assertFalse(anchors.contains(planted));
  }

  /** A self-signed certificate of a software key that keytool makes, with `name` as its CN. */
  private static X509Certificate softwareCertificate(String name) throws Exception {
    Path store = ProviderFixture.work().resolve(name + ".p12");
    Files.deleteIfExists(store);
    ProviderFixture.Run made = keytool(
        List.of("-genkeypair", "-alias", name, "-keyalg", "EC", "-dname", "CN=" + name, "-validity",
            "30", "-keystore", store.toString(), "-storetype", "PKCS12", "-storepass", "changeit"));
    assertEquals(0, made.exit, made::toString);
    KeyStore software = KeyStore.getInstance("PKCS12");
    try (java.io.InputStream in = Files.newInputStream(store)) {
      software.load(in, "changeit".toCharArray());
    }
    return (X509Certificate) software.getCertificate(name);
  }

  private static Path der(X509Certificate certificate) throws Exception {
    Path file = Files.createTempFile(ProviderFixture.work(), "certificate", ".der");
    Files.write(file, certificate.getEncoded());
    return file;
  }

  private static void writeCertificate(String who, String pin, String label, Path der)
      throws Exception {
    asAnotherUser(who, pin, label, der.toString());
  }

  /** What {@link TokenUser} printed, run with `arguments` after the module and the token. */
  private static String asAnotherUser(String... arguments) throws Exception {
    List<String> command = new ArrayList<>(
        List.of(Path.of(System.getProperty("java.home"), "bin", "java").toString(), "-Xcheck:jni",
            "-Dquillon.library=" + ProviderFixture.property("quillon.library"), "-cp",
            Path.of(TokenUser.class.getProtectionDomain().getCodeSource().getLocation().toURI())
                + java.io.File.pathSeparator + ProviderFixture.property("quillon.jar"),
            TokenUser.class.getName(), ProviderFixture.property("quillon.softhsm"), "quillon"));
    command.addAll(Arrays.asList(arguments));
    Process process = new ProcessBuilder(command).redirectErrorStream(true).start();
    String output = new String(process.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
    assertEquals(0, process.waitFor(), output);
    assertFalse(output.contains("WARNING"), output);
    return output;
  }

  @Test
  void jsseBuilderWithACallbackHandlerReachesThePrivateKeysAndAWrongPinIsAFailedLogin()
      throws Exception {
    generateWithKeytool("ks-server", "-keyalg", "EC", "-groupname", "secp256r1");
    KeyStore.Builder builder = KeyStore.Builder.newInstance(
        "PKCS11", ProviderFixture.provider(), new KeyStore.CallbackHandlerProtection(callbacks -> {
          for (javax.security.auth.callback.Callback callback : callbacks) {
            ((PasswordCallback) callback).setPassword(ProviderFixture.PIN);
          }
        }));
    KeyManagerFactory factory = KeyManagerFactory.getInstance("NewSunX509");
    factory.init(new KeyStoreBuilderParameters(builder));
    X509KeyManager keys = (X509KeyManager) factory.getKeyManagers()[0];
    String alias = null;
    for (String candidate : keys.getServerAliases("EC", null)) {
      if (candidate.endsWith(".ks-server")) alias = candidate;
    }
    assertNotNull(alias, "NewSunX509 lists the token's key");
    PrivateKey key = keys.getPrivateKey(alias);
    assertNotNull(key, "and reaches its private key");
    assertTrue(signs(key, keys.getCertificateChain(alias)[0]));

    // A wrong PIN, where no login stands in the way: the JDK's convention for its causes.
    String causes = asAnotherUser("login", "9999");
    assertTrue(causes.startsWith(IOException.class.getName() + "\n"
                   + java.security.UnrecoverableKeyException.class.getName() + "\n"
                   + FailedLoginException.class.getName() + "\n"),
        causes);
    assertTrue(causes.contains("PKCS11Exception"), causes);
  }
}
