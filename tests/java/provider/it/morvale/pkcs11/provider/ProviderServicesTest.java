package it.morvale.pkcs11.provider;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import it.morvale.pkcs11.PKCS11Exception;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.AuthProvider;
import java.security.Key;
import java.security.KeyFactory;
import java.security.KeyPair;
import java.security.KeyPairGenerator;
import java.security.NoSuchAlgorithmException;
import java.security.Provider;
import java.security.Signature;
import java.security.interfaces.EdECPublicKey;
import java.security.spec.ECGenParameterSpec;
import java.security.spec.InvalidKeySpecException;
import java.security.spec.MGF1ParameterSpec;
import java.security.spec.NamedParameterSpec;
import java.security.spec.RSAKeyGenParameterSpec;
import java.security.spec.RSAPrivateKeySpec;
import java.security.spec.RSAPublicKeySpec;
import java.util.Base64;
import java.util.List;
import javax.crypto.BadPaddingException;
import javax.crypto.Cipher;
import javax.crypto.KeyGenerator;
import javax.crypto.Mac;
import javax.crypto.SecretKey;
import javax.crypto.spec.OAEPParameterSpec;
import javax.crypto.spec.PSource;
import javax.crypto.spec.SecretKeySpec;
import javax.security.auth.callback.PasswordCallback;
import javax.security.auth.login.FailedLoginException;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/**
 * The provider's services beyond the usual signatures, each result checked by the JDK's own
 * providers or by OpenSSL: EdDSA, ECDSA in P1363 form and on P-521, OAEP, key wrap and HMAC with
 * keys that stay on the token, the key factory, the login of the AuthProvider, and the services
 * that follow the token's mechanism list.
 */
class ProviderServicesTest {
  private static final byte[] DATA = "the provider's services".getBytes(StandardCharsets.UTF_8);
  private static Provider provider;
  private static KeyPair rsa;

  @BeforeAll
  static void keys() throws Exception {
    provider = ProviderFixture.provider();
    ProviderFixture.keyStore(); // logs in
    KeyPairGenerator generator = KeyPairGenerator.getInstance("RSA", provider);
    generator.initialize(new TokenKeyGenParameterSpec(
        "services-rsa", new RSAKeyGenParameterSpec(2048, RSAKeyGenParameterSpec.F4)));
    rsa = generator.generateKeyPair();
  }

  @Test
  void edDsaSignaturesVerifyWithTheJdkAndWithOpenssl() throws Exception {
    for (String curve : List.of("Ed25519", "Ed448")) {
      KeyPairGenerator generator = KeyPairGenerator.getInstance(curve, provider);
      generator.initialize(new TokenKeyGenParameterSpec("services-" + curve, null));
      KeyPair pair = generator.generateKeyPair();
      assertEquals(curve, ((EdECPublicKey) pair.getPublic()).getParams().getName());
      assertNull(pair.getPrivate().getEncoded());

      Signature signer = Signature.getInstance("EdDSA", provider);
      signer.initSign(pair.getPrivate());
      signer.update(DATA);
      byte[] signature = signer.sign();
      Signature jdk = Signature.getInstance(curve, "SunEC");
      jdk.initVerify(pair.getPublic());
      jdk.update(DATA);
      assertTrue(jdk.verify(signature), curve);

      Path dir = Files.createTempDirectory(ProviderFixture.work(), curve);
      Path key = dir.resolve("public.pem");
      Files.writeString(key,
          "-----BEGIN PUBLIC KEY-----\n"
              + Base64.getMimeEncoder().encodeToString(pair.getPublic().getEncoded())
              + "\n-----END PUBLIC KEY-----\n");
      Files.write(dir.resolve("data"), DATA);
      Files.write(dir.resolve("signature"), signature);
      Process openssl = new ProcessBuilder("openssl", "pkeyutl", "-verify", "-pubin", "-inkey",
          key.toString(), "-rawin", "-in", dir.resolve("data").toString(), "-sigfile",
          dir.resolve("signature").toString())
                            .redirectErrorStream(true)
                            .start();
      String said = new String(openssl.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
      assertEquals(0, openssl.waitFor(), curve + ": " + said);
      assertTrue(said.contains("Signature Verified Successfully"), said);
    }
    // The curve's own name takes keys of that curve only.
    KeyPairGenerator ed448 = KeyPairGenerator.getInstance("EdDSA", provider);
    ed448.initialize(NamedParameterSpec.ED448);
    Signature ed25519 = Signature.getInstance("Ed25519", provider);
    assertThrows(java.security.InvalidKeyException.class,
        () -> ed25519.initSign(ed448.generateKeyPair().getPrivate()));
  }

  @Test
  void ecdsaOnP521AndInP1363FormatVerifyWithTheJdk() throws Exception {
    for (String curve : List.of("P-256", "P-521")) {
      KeyPairGenerator generator = KeyPairGenerator.getInstance("EC", provider);
      generator.initialize(
          new TokenKeyGenParameterSpec("services-" + curve, new ECGenParameterSpec(curve)));
      KeyPair pair = generator.generateKeyPair();
      int fieldBytes = curve.equals("P-256") ? 32 : 66;
      for (String algorithm : List.of("SHA512withECDSA", "SHA256withECDSAinP1363Format",
               "SHA3-256withECDSA", "SHA1withECDSAinP1363Format")) {
        Signature signer = Signature.getInstance(algorithm, provider);
        signer.initSign(pair.getPrivate());
        signer.update(DATA);
        byte[] signature = signer.sign();
        if (algorithm.endsWith("P1363Format")) {
          assertEquals(2 * fieldBytes, signature.length, algorithm + " is r‖s");
        }
        Signature jdk = Signature.getInstance(algorithm, "SunEC");
        jdk.initVerify(pair.getPublic());
        jdk.update(DATA);
        assertTrue(jdk.verify(signature), curve + " " + algorithm);
      }
    }
  }

  @Test
  void oaepKeyWrapAndHmacWithKeysThatStayOnTheToken() throws Exception {
    // OAEP cryptograms of SunJCE, decrypted on the token: SHA-1, SHA-256, and SHA-256 with MGF1
    // of SHA-256 and a label.
    OAEPParameterSpec labelled = new OAEPParameterSpec(
        "SHA-256", "MGF1", MGF1ParameterSpec.SHA256, new PSource.PSpecified(new byte[] {7, 7}));
    for (Object[] form : new Object[][] {{"RSA/ECB/OAEPPadding", null},
             {"RSA/ECB/OAEPWithSHA-256AndMGF1Padding", null}, {"RSA/ECB/OAEPPadding", labelled}}) {
      Cipher jdk = Cipher.getInstance((String) form[0], "SunJCE");
      jdk.init(Cipher.ENCRYPT_MODE, rsa.getPublic(), (OAEPParameterSpec) form[1]);
      byte[] cryptogram = jdk.doFinal(DATA);
      Cipher token = Cipher.getInstance((String) form[0], provider);
      token.init(Cipher.DECRYPT_MODE, rsa.getPrivate(), (OAEPParameterSpec) form[1]);
      assertArrayEquals(DATA, token.doFinal(cryptogram), (String) form[0]);
      cryptogram[cryptogram.length - 1] ^= 1;
      assertThrows(BadPaddingException.class, () -> token.doFinal(cryptogram));
    }

    // Keys of known values, wrapped by SunJCE, unwrapped on the token where they stay.
    byte[] kekValue = new byte[16];
    byte[] hmacValue = new byte[32];
    for (int i = 0; i < 32; ++i) hmacValue[i] = (byte) (i * 7 + 1);
    for (int i = 0; i < 16; ++i) kekValue[i] = (byte) (0xA0 + i);
    SecretKey kekClear = new SecretKeySpec(kekValue, "AES");
    Cipher rsaJdk = Cipher.getInstance("RSA/ECB/PKCS1Padding", "SunJCE");
    rsaJdk.init(Cipher.WRAP_MODE, rsa.getPublic());
    Cipher rsaToken = Cipher.getInstance("RSA/ECB/PKCS1Padding", provider);
    rsaToken.init(Cipher.UNWRAP_MODE, rsa.getPrivate());
    Key kek = rsaToken.unwrap(rsaJdk.wrap(kekClear), "AES", Cipher.SECRET_KEY);
    assertInstanceOf(TokenSecretKey.class, kek);
    assertNull(kek.getEncoded(), "the unwrapped key stays on the token");

    Cipher wrapJdk = Cipher.getInstance("AESWrap", "SunJCE");
    wrapJdk.init(Cipher.WRAP_MODE, kekClear);
    byte[] wrappedHmac = wrapJdk.wrap(new SecretKeySpec(hmacValue, "HmacSHA256"));
    Cipher unwrapToken = Cipher.getInstance("AESWrap");
    unwrapToken.init(Cipher.UNWRAP_MODE, kek);
    assertSame(provider, unwrapToken.getProvider());
    Key hmacKey = unwrapToken.unwrap(wrappedHmac, "HmacSHA256", Cipher.SECRET_KEY);
    assertNull(hmacKey.getEncoded());
    assertArrayEquals(mac("HmacSHA256", new SecretKeySpec(hmacValue, "HmacSHA256"), "SunJCE"),
        mac("HmacSHA256", hmacKey, null));

    // AESWrapPad (RFC 5649) with a key whose length is no multiple of 8.
    byte[] shortValue = java.util.Arrays.copyOf(hmacValue, 21);
    Cipher padJdk = Cipher.getInstance("AESWrapPad", "SunJCE");
    padJdk.init(Cipher.WRAP_MODE, kekClear);
    Cipher padToken = Cipher.getInstance("AESWrapPad", provider);
    padToken.init(Cipher.UNWRAP_MODE, kek);
    Key sha1Key = padToken.unwrap(
        padJdk.wrap(new SecretKeySpec(shortValue, "HmacSHA1")), "HmacSHA1", Cipher.SECRET_KEY);
    assertArrayEquals(mac("HmacSHA1", new SecretKeySpec(shortValue, "HmacSHA1"), "SunJCE"),
        mac("HmacSHA1", sha1Key, null));

    // A key made on the token, wrapped there, unwrapped on the token again, and used as a KEK:
    // it wraps exactly as its value does in SunJCE.
    KeyGenerator aes = KeyGenerator.getInstance("AES", provider);
    aes.init(new TokenSecretKeyGenParameterSpec("services-aes", 128, true));
    SecretKey made = aes.generateKey();
    assertNull(made.getEncoded());
    Cipher wrapToken = Cipher.getInstance("AESWrap", provider);
    wrapToken.init(Cipher.WRAP_MODE, kek);
    byte[] wrappedMade = wrapToken.wrap(made);
    wrapJdk.init(Cipher.UNWRAP_MODE, kekClear);
    Key madeClear = wrapJdk.unwrap(wrappedMade, "AES", Cipher.SECRET_KEY);
    Key again = unwrapToken.unwrap(wrappedMade, "AES", Cipher.SECRET_KEY);
    assertNull(again.getEncoded());
    wrapToken.init(Cipher.WRAP_MODE, again);
    wrapJdk.init(Cipher.WRAP_MODE, madeClear);
    assertArrayEquals(wrapJdk.wrap(madeClear), wrapToken.wrap(made));

    // An HMAC key made on the token is refused by the platform and taken by the provider.
    KeyGenerator hmac = KeyGenerator.getInstance("HmacSHA256", provider);
    SecretKey generated = hmac.generateKey();
    Mac chosen = Mac.getInstance("HmacSHA256");
    chosen.init(generated);
    assertSame(provider, chosen.getProvider());
    assertEquals(32, chosen.doFinal(DATA).length);
  }

  private static byte[] mac(String algorithm, Key key, String providerName) throws Exception {
    Mac mac = providerName == null ? Mac.getInstance(algorithm, provider)
                                   : Mac.getInstance(algorithm, providerName);
    mac.init(key);
    mac.update(DATA, 0, 5);
    mac.update(DATA, 5, DATA.length - 5);
    return mac.doFinal();
  }

  @Test
  void servicesFollowTheTokenAndTheProviderLogsInAndOut() throws Exception {
    // SoftHSM2 lists no SHA3 HMAC: the provider offers none, but does offer those it lists.
    assertThrows(NoSuchAlgorithmException.class, () -> Mac.getInstance("HmacSHA3-256", provider));
    assertNotNull(Mac.getInstance("HmacSHA256", provider));

    KeyFactory factory = KeyFactory.getInstance("RSA", provider);
    assertSame(rsa.getPrivate(), factory.translateKey(rsa.getPrivate()));
    assertEquals(((java.security.interfaces.RSAPublicKey) rsa.getPublic()).getModulus(),
        factory.getKeySpec(rsa.getPrivate(), RSAPublicKeySpec.class).getModulus());
    assertThrows(InvalidKeySpecException.class,
        () -> factory.getKeySpec(rsa.getPrivate(), RSAPrivateKeySpec.class));

    AuthProvider auth = (AuthProvider) provider;
    auth.logout();
    FailedLoginException wrong = assertThrows(FailedLoginException.class,
        ()
            -> auth.login(null,
                callbacks -> ((PasswordCallback) callbacks[0]).setPassword("0000".toCharArray())));
    assertInstanceOf(PKCS11Exception.class, wrong.getCause(), wrong::toString);
    assertEquals("CKR_PIN_INCORRECT", ((PKCS11Exception) wrong.getCause()).getCodeName());
    auth.setCallbackHandler(
        callbacks -> ((PasswordCallback) callbacks[0]).setPassword(ProviderFixture.PIN.clone()));
    auth.login(null, null);
    Signature signer = Signature.getInstance("SHA256withRSA", provider);
    signer.initSign(rsa.getPrivate());
    signer.update(DATA);
    assertFalse(signer.sign().length == 0);
  }
}
