package it.morvale.pkcs11.nat;

import static it.morvale.pkcs11.nat.LifecycleTest.assertCode;
import static it.morvale.pkcs11.nat.LifecycleTest.assertMessage;
import static it.morvale.pkcs11.nat.SoftHsmKeys.CKM_AES_ECB;
import static it.morvale.pkcs11.nat.SoftHsmKeys.CKM_AES_KEY_WRAP;
import static it.morvale.pkcs11.nat.SoftHsmKeys.CKM_RSA_PKCS;
import static it.morvale.pkcs11.nat.SoftHsmKeys.CKM_RSA_X_509;
import static it.morvale.pkcs11.nat.SoftHsmKeys.CKM_SHA256_RSA_PKCS;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.security.MessageDigest;
import java.util.Arrays;
import java.util.List;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/** Signing, encryption, decryption, wrapping and unwrapping: SoftHSM2 keys and exact arguments. */
class CryptoTest {
  static final int CKR_BUFFER_TOO_SMALL = 0x150;
  static final String OUT_OF_RANGE = "Internal error: length out of range";
  static final String NULL_PARAMETER = "Internal error (Null parameter)";

  @BeforeAll
  static void bridge() {
    TestBridge.load();
  }

  @Test
  void rsaSignaturesOnSoftHsmAskForTheirLengthFirst() throws Exception {
    try (TokenSession token = TokenSession.softHsm()) {
      Object[] pair = SoftHsmKeys.rsaPair(token, 2048);
      NativePKCS11Object publicKey = (NativePKCS11Object) pair[0];
      NativePKCS11Object privateKey = (NativePKCS11Object) pair[1];
      byte[] data = "quillon signs this".getBytes(StandardCharsets.US_ASCII);
      NativePKCS11Session s = token.session;

      s.signInit(token.list, CKM_SHA256_RSA_PKCS, null, privateKey);
      assertEquals(256, s.sign(token.list, data, 0, data.length, null), "size query");
      byte[] signature = new byte[256];
      assertEquals(256, s.sign(token.list, data, 0, data.length, signature));
      s.signInit(token.list, CKM_SHA256_RSA_PKCS, null, privateKey);
      assertEquals(256, s.sign(token.list, data, 0, data.length, new byte[0]), "empty array");
      byte[] again = new byte[256];
      assertEquals(256, s.sign(token.list, data, 0, data.length, again));
      assertArrayEquals(signature, again, "PKCS#1 v1.5 signatures are deterministic");

      // Raw RSA with the public key opens the signature: its last 32 bytes are
      // the SHA-256 digest of the data.
      s.encryptInit(token.list, CKM_RSA_X_509, null, publicKey);
      byte[] opened = new byte[256];
      assertEquals(256, s.encrypt(token.list, signature, 0, 256, opened));
      assertEquals(1, opened[1], "block type 1");
      byte[] digest = MessageDigest.getInstance("SHA-256").digest(data);
      assertArrayEquals(digest, Arrays.copyOfRange(opened, 224, 256));
    }
  }

  @Test
  void rsaEncryptionOnSoftHsmHasTheWholeOutputArray() throws Exception {
    try (TokenSession token = TokenSession.softHsm()) {
      Object[] pair = SoftHsmKeys.rsaPair(token, 2048);
      NativePKCS11Session s = token.session;
      byte[] secret = "twenty bytes secret!".getBytes(StandardCharsets.US_ASCII);

      // 20 bytes in, 256 out: the module is told the output array's length.
      s.encryptInit(token.list, CKM_RSA_PKCS, null, (NativePKCS11Object) pair[0]);
      byte[] cipher = new byte[256];
      assertEquals(256, s.encrypt(token.list, secret, 0, 20, cipher));
      s.decryptInit(token.list, CKM_RSA_PKCS, null, (NativePKCS11Object) pair[1]);
      byte[] plain = new byte[256];
      assertEquals(20, s.decrypt(token.list, cipher, 0, 256, plain));
      assertArrayEquals(secret, Arrays.copyOf(plain, 20));

      // An output array too small for the result is the module's to refuse.
      s.encryptInit(token.list, CKM_RSA_PKCS, null, (NativePKCS11Object) pair[0]);
      assertCode(CKR_BUFFER_TOO_SMALL, () -> s.encrypt(token.list, secret, 0, 20, new byte[255]));
    }
  }

  @Test
  void aesInPlaceKeepsTheResultOnSoftHsm() throws Exception {
    try (TokenSession token = TokenSession.softHsm()) {
      NativePKCS11Session s = token.session;
      NativePKCS11Object key = SoftHsmKeys.aesKey(token);
      byte[] block = "sixteen bytes!!!".getBytes(StandardCharsets.US_ASCII);
      byte[] buffer = block.clone();

      s.encryptInit(token.list, CKM_AES_ECB, null, key);
      assertEquals(16, s.encrypt(token.list, buffer, 0, 16, buffer));
      byte[] expected = new byte[16];
      s.encryptInit(token.list, CKM_AES_ECB, null, key);
      s.encrypt(token.list, block, 0, 16, expected);
      assertArrayEquals(expected, buffer, "the ciphertext, not the plaintext copied back");

      s.decryptInit(token.list, CKM_AES_ECB, null, key);
      assertEquals(16, s.decrypt(token.list, buffer, 0, 16, buffer));
      assertArrayEquals(block, buffer);
    }
  }

  @Test
  void aesRoundTripAndKeyWrappingOnSoftHsm() throws Exception {
    try (TokenSession token = TokenSession.softHsm()) {
      NativePKCS11Session s = token.session;
      NativePKCS11Object key = SoftHsmKeys.aesKey(token);
      NativePKCS11Object wrappingKey = SoftHsmKeys.aesKey(token);
      byte[] block = "sixteen bytes!!!".getBytes(StandardCharsets.US_ASCII);

      s.encryptInit(token.list, CKM_AES_ECB, null, key);
      byte[] cipher = new byte[16];
      assertEquals(16, s.encrypt(token.list, block, 0, 16, cipher));
      assertFalse(Arrays.equals(block, cipher));

      byte[] wrapped = new byte[256];
      int wrappedLength = s.wrapKey(token.list, CKM_AES_KEY_WRAP, null, wrappingKey, key, wrapped);
      assertEquals(24, wrappedLength, "RFC 3394 adds 8 bytes to a 16-byte key");
      NativePKCS11Object unwrapped = s.unwrapKey(token.list, CKM_AES_KEY_WRAP, null, wrappingKey,
          wrapped, 0, wrappedLength, SoftHsmKeys.aesTypes(), SoftHsmKeys.aesValues());
      assertNotNull(unwrapped);
      assertEquals(s, unwrapped.session);
      assertTrue(unwrapped.objectID != key.objectID);

      // The unwrapped copy decrypts what the original encrypted.
      s.decryptInit(token.list, CKM_AES_ECB, null, unwrapped);
      byte[] plain = new byte[16];
      assertEquals(16, s.decrypt(token.list, cipher, 0, 16, plain));
      assertArrayEquals(block, plain);

      assertCode(CKR_BUFFER_TOO_SMALL,
          () -> s.wrapKey(token.list, CKM_AES_KEY_WRAP, null, wrappingKey, key, new byte[8]));
    }
  }

  @Test
  void theModuleGetsExactlyWhatJavaPasses() throws Exception {
    try (TokenSession token = TokenSession.recording("SESSION_BASE=0x7", "SIG_LEN=128")) {
      NativePKCS11Session s = token.session;
      NativePKCS11Object key = s.generateKey(token.list, 0x1080, null,
          new int[] {SoftHsmKeys.CKA_ID}, new Object[] {new byte[] {0x11}});
      TestBridge.clearJournal();
      assertCode(0x70, () -> s.signInit(token.list, -1, null, key));
      s.signInit(token.list, CKM_SHA256_RSA_PKCS, null, key);
      byte[] data = {1, 2, 3, 4, 5, 6};
      assertEquals(128, s.sign(token.list, data, 0, 4, null));
      byte[] signature = new byte[200];
      Arrays.fill(signature, (byte) 0x55);
      assertEquals(128, s.sign(token.list, data, 0, 4, signature));
      // The recording module signs byte i as data[i % length] ^ key byte ^ i.
      for (int i = 0; i < 4; ++i) {
        assertEquals((byte) (data[i] ^ key.objectID ^ i), signature[i], "signature byte " + i);
      }
      assertEquals((byte) 0x55, signature[128], "nothing beyond the signature is written");
      assertEquals(
          List.of(
              "C_SignInit hSession=0x7 pMechanism={mech=0xffffffff,param=NULL,len=0x0} hKey=0x1 "
                  + "-> 0x70",
              "C_SignInit hSession=0x7 pMechanism={mech=0x40,param=NULL,len=0x0} hKey=0x1 -> 0x0",
              "C_Sign hSession=0x7 pData=01020304 ulDataLen=0x4 pSignature=NULL "
                  + "*pulSignatureLen=0x0 -> 0x0",
              "C_Sign hSession=0x7 pData=01020304 ulDataLen=0x4 pSignature=out "
                  + "*pulSignatureLen=0xc8 -> 0x0"),
          TestBridge.journal(),
          "a mechanism type is zero-extended; a null array asks for the size");
    }
  }

  @Test
  void refusalsReachNoModuleFunction() throws Exception {
    try (TokenSession token = TokenSession.recording()) {
      NativePKCS11Session s = token.session;
      byte[] four = new byte[4];
      assertMessage(OUT_OF_RANGE, () -> s.sign(token.list, four, 0, 5, null));
      assertMessage(OUT_OF_RANGE, () -> s.encrypt(token.list, four, 0, 5, new byte[8]));
      assertMessage(OUT_OF_RANGE,
          ()
              -> s.unwrapKey(token.list, CKM_AES_ECB, null, token.object(1), four, 0, -1,
                  new int[0], new Object[0]));
      assertMessage(NULL_PARAMETER, () -> s.encrypt(token.list, four, 0, 4, null));
      assertMessage(NULL_PARAMETER, () -> s.encryptInit(token.list, CKM_AES_ECB, null, null));
      assertMessage("Not supported YET", () -> s.signFinal(token.list, four));
      assertMessage("Not supported", () -> s.verify(token.list, four, 0, 2, four));
      assertMessage("Not supported", () -> s.digestInit(token.list, 0x250, null));
      assertEquals(List.of(), TestBridge.journal());
    }
  }

  @Test
  void wrappingOnTheRecordingModule() throws Exception {
    try (TokenSession token = TokenSession.recording("SESSION_BASE=0x7", "OBJECT_BASE=0x50")) {
      NativePKCS11Session s = token.session;
      NativePKCS11Object first = s.generateKey(
          token.list, 0x1080, null, new int[] {SoftHsmKeys.CKA_LABEL}, new Object[] {"k"});
      NativePKCS11Object second =
          s.generateKey(token.list, 0x1080, null, new int[0], new Object[0]);
      TestBridge.clearJournal();
      byte[] wrapped = new byte[256];
      assertEquals(16, s.wrapKey(token.list, CKM_AES_ECB, null, first, second, wrapped));
      // The recording module wraps a key without a value as the 16 bytes counting up from its
      // handle, each XOR the wrapping key's byte (its handle's low byte).
      for (int i = 0; i < 16; ++i) {
        assertEquals((byte) ((0x51 + i) ^ 0x50), wrapped[i], "wrapped byte " + i);
      }
      assertEquals(
          List.of("C_WrapKey hSession=0x7 pMechanism={mech=0x1081,param=NULL,len=0x0} "
              + "hWrappingKey=0x50 hKey=0x51 pWrappedKey=out *pulWrappedKeyLen=0x100 -> 0x0"),
          TestBridge.journal());
      TestBridge.clearJournal();
      NativePKCS11Object unwrapped = s.unwrapKey(token.list, CKM_AES_ECB, null, first,
          new byte[] {9, 9, 9}, 0, 2, new int[0], new Object[0]);
      assertEquals(0x52, unwrapped.objectID);
      assertEquals(List.of("C_UnwrapKey hSession=0x7 pMechanism={mech=0x1081,param=NULL,len=0x0} "
                       + "hUnwrappingKey=0x50 pWrappedKey=0909 ulWrappedKeyLen=0x2 pTemplate=[] "
                       + "ulAttributeCount=0x0 phKey=out -> 0x0"),
          TestBridge.journal());
    }
  }
}
