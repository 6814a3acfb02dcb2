package it.morvale.pkcs11.provider;

import static it.morvale.pkcs11.provider.ProviderFixture.generateWithKeytool;
import static it.morvale.pkcs11.provider.ProviderFixture.jarsigner;
import static it.morvale.pkcs11.provider.ProviderFixture.keytool;
import static it.morvale.pkcs11.provider.ProviderFixture.keytoolProvider;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.InputStream;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.CodeSigner;
import java.security.KeyStore;
import java.security.PrivateKey;
import java.security.interfaces.ECPublicKey;
import java.util.ArrayList;
import java.util.List;
import java.util.jar.JarEntry;
import java.util.jar.JarFile;
import java.util.jar.JarOutputStream;
import java.util.jar.Manifest;
import org.junit.jupiter.api.Test;

/** keytool and jarsigner, unchanged JDK tools, working on the token through the provider. */
class ProviderToolsTest {
  @Test
  void keytoolMakesKeyPairsOnTheTokenAndListsThem() throws Exception {
    generateWithKeytool("tools-rsa", "-keyalg", "RSA", "-keysize", "2048");
    generateWithKeytool("tools-ec", "-keyalg", "EC", "-groupname", "secp384r1");

    // Listed through the key store's own type, which keytool does not know as a token.
    List<String> list = new ArrayList<>(List.of("-list", "-keystore", "NONE", "-storetype",
        QuillonProvider.KEYSTORE_TYPE, "-storepass", "1234", "-providerClass",
        QuillonProvider.class.getName(), "-providerArg", ProviderFixture.configFile().toString(),
        "-providerPath", ProviderFixture.property("quillon.jar")));
    ProviderFixture.Run run = keytool(list);
    assertEquals(0, run.exit, run::toString);
    assertTrue(
        run.output.contains("tools-rsa, ") && run.output.contains("tools-ec, "), run::toString);
    assertTrue(run.output.contains("PrivateKeyEntry"), run::toString);

    KeyStore keyStore = ProviderFixture.keyStore();
    for (String alias : new String[] {"tools-rsa", "tools-ec"}) {
      PrivateKey key = (PrivateKey) keyStore.getKey(alias, null);
      assertNotNull(key, alias);
      assertNull(key.getEncoded(), "the private key stays on the token");
      assertEquals(
          key.getAlgorithm(), keyStore.getCertificate(alias).getPublicKey().getAlgorithm(), alias);
    }
    assertEquals(384,
        ((ECPublicKey) keyStore.getCertificate("tools-ec").getPublicKey())
            .getParams()
            .getOrder()
            .bitLength());
  }

  @Test
  void keytoolReportsAWrongPinWithTheTokensReason() {
    List<String> arguments = new ArrayList<>(List.of("-list"));
    for (String option : keytoolProvider()) arguments.add(option.equals("1234") ? "9999" : option);
    ProviderFixture.Run run = keytool(arguments);
    assertNotEquals(0, run.exit, run::toString);
    assertTrue(run.output.contains("CKR_PIN_INCORRECT"), run::toString);
  }

  @Test
  void jarsignerSignsWithATokenKeyAndTheSignatureVerifies() throws Exception {
    generateWithKeytool("jar-rsa", "-keyalg", "RSA", "-keysize", "2048");
    Path jar = ProviderFixture.work().resolve("signed.jar");
    Manifest manifest = new Manifest();
    manifest.getMainAttributes().putValue("Manifest-Version", "1.0");
    try (OutputStream file = Files.newOutputStream(jar);
         JarOutputStream out = new JarOutputStream(file, manifest)) {
      out.putNextEntry(new JarEntry("greeting.txt"));
      out.write("signed on a token\n".getBytes(StandardCharsets.UTF_8));
      out.closeEntry();
    }

    ProviderFixture.Run sign = jarsigner(List.of("-keystore", "NONE", "-storetype", "PKCS11",
        "-storepass", "1234", "-providerClass", QuillonProvider.class.getName(), "-providerArg",
        ProviderFixture.configFile().toString(), jar.toString(), "jar-rsa"));
    assertEquals(0, sign.exit, sign::toString);
    assertTrue(sign.output.contains("jar signed."), sign::toString);

    ProviderFixture.Run verify = jarsigner(List.of("-verify", jar.toString()));
    assertEquals(0, verify.exit, verify::toString);
    assertTrue(verify.output.contains("jar verified."), verify::toString);

    // The platform's own jar verification names the token's certificate as the signer.
    try (JarFile signed = new JarFile(jar.toFile(), true)) {
      JarEntry entry = signed.getJarEntry("greeting.txt");
      try (InputStream in = signed.getInputStream(entry)) {
        in.readAllBytes();
      }
      CodeSigner[] signers = entry.getCodeSigners();
      assertNotNull(signers, "greeting.txt is signed");
      assertEquals(ProviderFixture.keyStore().getCertificate("jar-rsa"),
          signers[0].getSignerCertPath().getCertificates().get(0));
    }
  }
}
