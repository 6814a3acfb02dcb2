package it.morvale.pkcs11.nat;

import static it.morvale.pkcs11.nat.LifecycleTest.assertCode;
import static it.morvale.pkcs11.nat.LifecycleTest.assertMessage;
import static it.morvale.pkcs11.nat.SoftHsmKeys.CKA_ID;
import static it.morvale.pkcs11.nat.SoftHsmKeys.CKA_LABEL;
import static it.morvale.pkcs11.nat.SoftHsmKeys.CKA_SIGN;
import static it.morvale.pkcs11.nat.SoftHsmKeys.CKA_TOKEN;
import static it.morvale.pkcs11.nat.SoftHsmKeys.CKM_AES_ECB;
import static it.morvale.pkcs11.nat.SoftHsmKeys.CKM_RSA_PKCS_KEY_PAIR_GEN;
import static it.morvale.pkcs11.nat.SoftHsmKeys.CKM_SHA256_RSA_PKCS;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.math.BigInteger;
import java.util.Arrays;
import java.util.List;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/** Secret keys and key pairs: made on SoftHSM2, and the exact templates the module receives. */
class KeyGenerationTest {
  @BeforeAll
  static void bridge() {
    TestBridge.load();
  }

  @Test
  void softHsmMakesWorkingAesKeysAndRsaPairs() throws Exception {
    try (TokenSession token = TokenSession.softHsm()) {
      NativePKCS11Session s = token.session;
      NativePKCS11Object aes = SoftHsmKeys.aesKey(token);
      assertNotNull(aes);
      assertEquals(s, aes.session);
      s.encryptInit(token.list, CKM_AES_ECB, null, aes);
      byte[] block = new byte[16];
      assertEquals(16, s.encrypt(token.list, new byte[16], 0, 16, block));
      s.decryptInit(token.list, CKM_AES_ECB, null, aes);
      byte[] plain = new byte[16];
      Arrays.fill(plain, (byte) 0x55);
      assertEquals(16, s.decrypt(token.list, block, 0, 16, plain));
      assertArrayEquals(new byte[16], plain);

      Object[] pair = SoftHsmKeys.rsaPair(token, 1024);
      assertEquals(2, pair.length);
      assertEquals(Object[].class, pair.getClass(), "an Object[], not a NativePKCS11Object[]");
      NativePKCS11Object publicKey = (NativePKCS11Object) pair[0];
      NativePKCS11Object privateKey = (NativePKCS11Object) pair[1];
      assertNotEquals(publicKey.objectID, privateKey.objectID);
      // Only the private key (index 1) signs; a 1024-bit key gives 128 bytes.
      assertCode(0x68, () -> s.signInit(token.list, CKM_SHA256_RSA_PKCS, null, publicKey));
      s.signInit(token.list, CKM_SHA256_RSA_PKCS, null, privateKey);
      assertEquals(128, s.sign(token.list, new byte[3], 0, 3, new byte[128]));

      // The fixed pairs are private token keys: without a login SoftHSM2
      // refuses them (CKR_USER_NOT_LOGGED_IN).
      assertCode(0x101, () -> s.generateKeyPairOB(token.list, CKM_RSA_PKCS_KEY_PAIR_GEN, true));
      assertCode(0x70, () -> s.generateKey(token.list, 0x7FFF, null, new int[0], new Object[0]));
    }
  }

  @Test
  void templatesReachTheModuleValueByValue() throws Exception {
    try (TokenSession token = TokenSession.recording("SESSION_BASE=0x9", "OBJECT_BASE=0x20")) {
      NativePKCS11Session s = token.session;
      NativePKCS11Object empty = s.generateKey(token.list, 0x1080, null, new int[0], new Object[0]);
      assertEquals(0x20, empty.objectID);
      Object[] pair = s.generateKeyPair(token.list, CKM_RSA_PKCS_KEY_PAIR_GEN, new byte[] {1},
          new int[] {CKA_LABEL, 0x122}, new Object[] {"pub", new BigInteger("65537")},
          new int[] {CKA_SIGN, CKA_ID}, new Object[] {Boolean.TRUE, new byte[] {7}});
      assertEquals(0x21, ((NativePKCS11Object) pair[0]).objectID, "public key first");
      assertEquals(0x22, ((NativePKCS11Object) pair[1]).objectID);
      assertEquals(s, ((NativePKCS11Object) pair[1]).session);
      assertEquals(
          List.of("C_GenerateKey hSession=0x9 pMechanism={mech=0x1080,param=NULL,len=0x0} "
                  + "pTemplate=[] ulCount=0x0 phKey=out -> 0x0",
              "C_GenerateKeyPair hSession=0x9 pMechanism={mech=0x0,param=NULL,len=0x0} "
                  + "pPublicKeyTemplate=[{type=0x3,len=0x3,val=707562},"
                  + "{type=0x122,len=0x3,val=010001}] ulPublicKeyAttributeCount=0x2 "
                  + "pPrivateKeyTemplate=[{type=0x108,len=0x1,val=01},{type=0x102,len=0x1,val=07}] "
                  + "ulPrivateKeyAttributeCount=0x2 phPublicKey=out phPrivateKey=out -> 0x0"),
          TestBridge.journal());
    }
  }

  @Test
  void fixedPairsForIdentityAndUtility() throws Exception {
    try (TokenSession token = TokenSession.recording("SESSION_BASE=0x9")) {
      NativePKCS11Session s = token.session;
      Object[] identity = s.generateKeyPairOB(token.list, CKM_RSA_PKCS_KEY_PAIR_GEN, true);
      Object[] utility = s.generateKeyPairOB(token.list, CKM_RSA_PKCS_KEY_PAIR_GEN, false);
      assertEquals(2, identity.length);
      assertTrue(utility[1] instanceof NativePKCS11Object);
      List<String> calls = TestBridge.journal("C_GenerateKeyPair");
      assertEquals(2, calls.size());
      String publicStart = "pPublicKeyTemplate=[{type=0x121,len=0x8,val=0004000000000000},"
          + "{type=0x122,len=0x3,val=010001},{type=0x1,len=0x1,val=01},{type=0x3,len=0x8,val=";
      String privateStart = "ulPublicKeyAttributeCount=0x4 pPrivateKeyTemplate=["
          + "{type=0x1,len=0x1,val=01},{type=0x108,len=0x1,val=01},{type=0x109,len=0x1,val=01},";
      assertTrue(calls.get(0).contains(publicStart + "4964656e74697479}] " + privateStart
                     + "{type=0x80006002,len=0x1,val=01}] ulPrivateKeyAttributeCount=0x4 "),
          calls.get(0));
      assertTrue(calls.get(1).contains(publicStart + "5574696c69747900}] " + privateStart
                     + "{type=0x80006001,len=0x1,val=01}] ulPrivateKeyAttributeCount=0x4 "),
          "Utility with its terminating zero: " + calls.get(1));
    }
  }

  @Test
  void templateArgumentsAreCheckedBeforeTheModule() throws Exception {
    try (TokenSession token = TokenSession.recording()) {
      NativePKCS11Session s = token.session;
      int[] none = new int[0];
      Object[] noValues = new Object[0];
      assertMessage("Different array length for PublicKey",
          ()
              -> s.generateKeyPair(
                  token.list, 0, null, new int[] {1, 2, 3}, new Object[] {true, true}, null, null));
      assertMessage("Different array length for PrivateKey",
          () -> s.generateKeyPair(token.list, 0, null, none, noValues, new int[] {1}, noValues));
      assertMessage("Different array length",
          () -> s.generateKey(token.list, 0x1080, null, new int[] {CKA_TOKEN}, noValues));
      assertMessage("Internal error (Null parameter)",
          () -> s.generateKey(token.list, 0x1080, null, null, noValues));
      // A value of a class the bridge does not convert: null, and no exception.
      assertNull(s.generateKeyPair(token.list, 0, null, new int[] {CKA_LABEL}, new Object[] {"pub"},
          new int[] {CKA_SIGN, CKA_ID}, new Object[] {true, 5L}));
      assertNull(s.generateKey(
          token.list, 0x1080, null, new int[] {CKA_ID}, new Object[] {new StringBuilder("x")}));
      assertEquals(List.of(), TestBridge.journal());

      token.module.reconfigure("RV_C_GenerateKeyPair=0x130");
      assertCode(0x130, () -> s.generateKeyPairOB(token.list, CKM_RSA_PKCS_KEY_PAIR_GEN, false));
      assertCode(
          0x130, () -> s.generateKeyPair(token.list, 0, null, none, noValues, none, noValues));
    }
  }
}
