package it.morvale.pkcs11.provider;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import it.morvale.pkcs11.PKCS11Exception;
import java.nio.charset.StandardCharsets;
import java.security.InvalidAlgorithmParameterException;
import java.security.InvalidKeyException;
import java.security.KeyPair;
import java.security.KeyPairGenerator;
import java.security.KeyStore;
import java.security.KeyStoreException;
import java.security.NoSuchAlgorithmException;
import java.security.PrivateKey;
import java.security.Provider;
import java.security.Signature;
import java.security.SignatureException;
import java.security.cert.Certificate;
import java.security.spec.ECGenParameterSpec;
import java.security.spec.MGF1ParameterSpec;
import java.security.spec.PSSParameterSpec;
import java.security.spec.RSAKeyGenParameterSpec;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.CyclicBarrier;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import javax.crypto.BadPaddingException;
import javax.crypto.Cipher;
import javax.crypto.SecretKey;
import javax.crypto.spec.SecretKeySpec;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/**
 * The provider's signatures, cipher and key store writes on the token, each result checked by the
 * platform's own providers; refusals and token failures as the platform's exception types.
 */
class ProviderSigningTest {
  /** The eight signature algorithms and the keys they take. */
  private static final String[] ALGORITHMS = {"SHA256withRSA", "SHA384withRSA", "SHA512withRSA",
      "RSASSA-PSS/SHA-256", "RSASSA-PSS/SHA-384", "RSASSA-PSS/SHA-512", "SHA256withECDSA",
      "SHA384withECDSA"};

  private static Provider provider;
  private static KeyPair rsa;
  private static KeyPair ec;

  @BeforeAll
  static void keys() throws Exception {
    provider = ProviderFixture.provider();
    ProviderFixture.keyStore(); // logs in
    KeyPairGenerator rsaGenerator = KeyPairGenerator.getInstance("RSA", provider);
    rsaGenerator.initialize(new TokenKeyGenParameterSpec(
        "signing-rsa", new RSAKeyGenParameterSpec(2048, RSAKeyGenParameterSpec.F4)));
    rsa = rsaGenerator.generateKeyPair();
    KeyPairGenerator ecGenerator = KeyPairGenerator.getInstance("EC", provider);
    ecGenerator.initialize(
        new TokenKeyGenParameterSpec("signing-ec", new ECGenParameterSpec("P-256")));
    ec = ecGenerator.generateKeyPair();
  }

  /** Signs through the provider with the token's key; JSSE's way of passing PSS parameters. */
  private static byte[] sign(String algorithm, byte[] data) throws Exception {
    String[] parts = algorithm.split("/");
    Signature signature = Signature.getInstance(parts[0], provider);
    signature.initSign(algorithm.contains("ECDSA") ? ec.getPrivate() : rsa.getPrivate());
    if (parts.length > 1) signature.setParameter(pss(parts[1]));
    signature.update(data);
    return signature.sign();
  }

  /** Verifies with the platform's own provider and the public key the generator returned. */
  private static boolean verify(String algorithm, byte[] data, byte[] signature) throws Exception {
    String[] parts = algorithm.split("/");
    boolean isEc = algorithm.contains("ECDSA");
    Signature verifier = Signature.getInstance(parts[0], isEc ? "SunEC" : "SunRsaSign");
    if (parts.length > 1) verifier.setParameter(pss(parts[1]));
    verifier.initVerify(isEc ? ec.getPublic() : rsa.getPublic());
    verifier.update(data);
    return verifier.verify(signature);
  }

  private static PSSParameterSpec pss(String digest) {
    int length = Integer.parseInt(digest.substring(4)) / 8;
    return new PSSParameterSpec(digest, "MGF1", new MGF1ParameterSpec(digest), length, 1);
  }

  @Test
  void eightThreadsSignAtOnceOnOneTokenAndEverySignatureVerifies() throws Exception {
    int rounds = 20;
    CyclicBarrier start = new CyclicBarrier(ALGORITHMS.length);
    ExecutorService pool = Executors.newFixedThreadPool(ALGORITHMS.length);
    try {
      List<Future<Integer>> threads = new ArrayList<>();
      for (String algorithm : ALGORITHMS) {
        threads.add(pool.submit(() -> {
          start.await(30, TimeUnit.SECONDS);
          int verified = 0;
          for (int round = 0; round < rounds; ++round) {
            byte[] data = (algorithm + " round " + round).getBytes(StandardCharsets.UTF_8);
            byte[] signature = sign(algorithm, data);
            if (verify(algorithm, data, signature)) ++verified;
            data[0] ^= 1;
            assertFalse(verify(algorithm, data, signature), algorithm + " verifies other data");
          }
          return verified;
        }));
      }
      for (int i = 0; i < ALGORITHMS.length; ++i) {
        assertEquals(rounds, threads.get(i).get(120, TimeUnit.SECONDS), ALGORITHMS[i]);
      }
    } finally {
      pool.shutdownNow();
    }
  }

  @Test
  void theTokenDecryptsAndUnwrapsWhatThePlatformEncrypted() throws Exception {
    Cipher platform = Cipher.getInstance("RSA/ECB/PKCS1Padding", "SunJCE");
    platform.init(Cipher.ENCRYPT_MODE, rsa.getPublic());
    byte[] message = "for the token's eyes".getBytes(StandardCharsets.UTF_8);
    byte[] encrypted = platform.doFinal(message);

    Cipher token = Cipher.getInstance("RSA/ECB/PKCS1Padding");
    token.init(Cipher.DECRYPT_MODE, rsa.getPrivate());
    assertEquals(provider, token.getProvider());
    assertArrayEquals(message, token.doFinal(encrypted));

    SecretKey aes = new SecretKeySpec(new byte[16], "AES");
    platform.init(Cipher.WRAP_MODE, rsa.getPublic());
    byte[] wrapped = platform.wrap(aes);
    token.init(Cipher.UNWRAP_MODE, rsa.getPrivate());
    // The unwrapped key stays on the token (ProviderServicesTest uses such keys).
    SecretKey unwrapped = (SecretKey) token.unwrap(wrapped, "AES", Cipher.SECRET_KEY);
    assertEquals("AES", unwrapped.getAlgorithm());
    assertNull(unwrapped.getEncoded());

    // A damaged cryptogram: the token's refusal, as the exception Cipher documents.
    encrypted[encrypted.length / 2] ^= 0x55;
    token.init(Cipher.DECRYPT_MODE, rsa.getPrivate());
    BadPaddingException refused =
        assertThrows(BadPaddingException.class, () -> token.doFinal(encrypted));
    assertInstanceOf(PKCS11Exception.class, refused.getCause(), refused::toString);
  }

  @Test
  void whatTheBridgeCannotDoIsRefusedWithThePlatformsExceptions() throws Exception {
    assertThrows(
        NoSuchAlgorithmException.class, () -> Signature.getInstance("MD5withRSA", provider));
    assertThrows(
        NoSuchAlgorithmException.class, () -> KeyPairGenerator.getInstance("DSA", provider));

    KeyPairGenerator software = KeyPairGenerator.getInstance("RSA", "SunRsaSign");
    software.initialize(2048);
    PrivateKey softwareKey = software.generateKeyPair().getPrivate();
    Signature signature = Signature.getInstance("SHA256withRSA", provider);
    assertThrows(InvalidKeyException.class, () -> signature.initSign(softwareKey));
    Signature ecdsa = Signature.getInstance("SHA256withECDSA", provider);
    assertThrows(InvalidKeyException.class, () -> ecdsa.initSign(rsa.getPrivate()));
    // Without its own provider named, the platform hands the software key elsewhere.
    Signature chosen = Signature.getInstance("SHA256withRSA");
    chosen.initSign(softwareKey);
    assertEquals("SunRsaSign", chosen.getProvider().getName());

    Signature pss = Signature.getInstance("RSASSA-PSS", provider);
    pss.initSign(rsa.getPrivate());
    assertThrows(InvalidAlgorithmParameterException.class,
        () -> pss.setParameter(new PSSParameterSpec("MD5", "MGF1", MGF1ParameterSpec.SHA1, 20, 1)));

    KeyPairGenerator curves = KeyPairGenerator.getInstance("EC", provider);
    assertThrows(InvalidAlgorithmParameterException.class,
        () -> curves.initialize(new ECGenParameterSpec("secp256k1")));
  }

  @Test
  void keyStoreWritesReachTheTokenAndAFailingTokenSurfacesAsTheDocumentedType() throws Exception {
    ProviderFixture.generateWithKeytool("doomed", "-keyalg", "EC", "-groupname", "secp256r1");
    KeyStore keyStore = ProviderFixture.keyStore();
    Certificate certificate = keyStore.getCertificate("doomed");
    PrivateKey doomed = (PrivateKey) keyStore.getKey("doomed", null);

    KeyStore reread = ProviderFixture.keyStore();
    assertThrows(KeyStoreException.class,
        () -> reread.setCertificateEntry("doomed", certificate), "a key entry is not overwritten");

    reread.deleteEntry("doomed");
    KeyStore after = ProviderFixture.keyStore();
    assertFalse(after.containsAlias("doomed"));
    assertNull(after.getKey("doomed", null));

    // The key object is gone from the token: signing fails there, as a SignatureException.
    Signature signature = Signature.getInstance("SHA256withECDSA", provider);
    signature.initSign(doomed);
    signature.update(new byte[] {1, 2, 3});
    SignatureException failure = assertThrows(SignatureException.class, signature::sign);
    assertInstanceOf(PKCS11Exception.class, failure.getCause(), failure::toString);
  }
}
