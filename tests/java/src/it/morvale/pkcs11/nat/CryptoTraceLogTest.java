package it.morvale.pkcs11.nat;

import static it.morvale.pkcs11.nat.TraceLogTest.traced;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import it.morvale.pkcs11.PKCS11Exception;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/**
 * The trace lines of the operations with keys and of key generation, in the JVM whose bridge
 * traces to the log.
 */
class CryptoTraceLogTest {
  TokenSession token;
  NativePKCS11Session s;

  @BeforeEach
  void open() throws Exception {
    // Loading the module (possibly the first load of this JVM) switches tracing on.
    token = TokenSession.recording("SESSION_BASE=0x5", "OBJECT_BASE=0x30");
    s = token.session;
  }

  @AfterEach
  void close() throws Exception {
    token.close();
  }

  @Test
  void operationsTraceTheirSession() throws Exception {
    NativePKCS11Object key = s.generateKey(token.list, 0x1080, null, new int[0], new Object[0]);
    assertEquals("JNI: start PKCS11Session.signInit... (session= 5)\n"
            + "JNI:BRIDGE: Calling C_SignInit ... Done\n",
        traced(() -> s.signInit(token.list, 0x40, null, key)));
    assertEquals("JNI: start PKCS11Session.sign... (session= 5)\n"
            + "JNI:BRIDGE: Calling C_Sign ... Done(out=256)\n",
        traced(() -> s.sign(token.list, new byte[2], 0, 2, null)));
    assertEquals("JNI: start PKCS11Session.encryptInit... (session= 5)\n"
            + "JNI:BRIDGE: Calling C_EncryptInit ... Done\n"
            + "JNI: start PKCS11Session.encrypt... (session= 5)\n"
            + "JNI:BRIDGE: Calling C_Encrypt ... Done(out=2)\n"
            + "JNI: start PKCS11Session.decryptInit... (session= 5)\n"
            + "JNI:BRIDGE: Calling C_DecryptInit ... Done\n"
            + "JNI: start PKCS11Session.decrypt... (session= 5)\n"
            + "JNI:BRIDGE: Calling C_Decrypt ... Done(out=2)\n",
        traced(() -> {
          s.encryptInit(token.list, 0x1081, null, key);
          s.encrypt(token.list, new byte[2], 0, 2, new byte[2]);
          s.decryptInit(token.list, 0x1081, null, key);
          s.decrypt(token.list, new byte[2], 0, 2, new byte[2]);
        }));
  }

  @Test
  void wrappingTracesEachStep() throws Exception {
    NativePKCS11Object key = s.generateKey(token.list, 0x1080, null, new int[0], new Object[0]);
    assertEquals("JNI: start PKCS11Session.wrapKey... JNI: session OK\n"
            + "JNI: key OK\n"
            + "JNI: wrappingKey OK\n"
            + "JNI: mechanism OK\n"
            + "(session= 5)\n"
            + "JNI:BRIDGE: Calling C_WrapKey ... Done(out=16)\n"
            + "JNI: wrapOK OK\n"
            + "JNI: release OK\n",
        traced(() -> s.wrapKey(token.list, 0x1081, null, key, key, new byte[32])));
    assertEquals("JNI: start PKCS11Session.unwrapKey... (session= 5)\n"
            + "JNI:BRIDGE: Calling C_UnwrapKey ..."
            + "JNI: creating PKCS11Object (49)...OK\n",
        traced(()
                   -> s.unwrapKey(token.list, 0x1081, null, key, new byte[4], 0, 4, new int[] {3},
                       new Object[] {"u"})));
    assertEquals("JNI: start PKCS11Session.unwrapKey... \n"
            + "ERROR: cannot parse passed object 0\n",
        traced(()
                   -> s.unwrapKey(token.list, 0x1081, null, key, new byte[4], 0, 4, new int[] {3},
                       new Object[] {1L})));
  }

  @Test
  void keyGenerationTracesEachValue() throws Exception {
    assertEquals("JNI: start PKCS11Session.genKey...\n"
            + "JNI: session OK\n"
            + "JNI: mechanism OK\n"
            + "JNI: ckLen OK\n"
            + "JNI: ckAttr OK\n"
            + "JNI: attrA OK\n"
            + "JNI: inside loop\n"
            + "JNI: temp1 OK\n"
            + "JNI: res?...... OK\n"
            + "JNI: array OK\n"
            + "(session= 5)\n"
            + "JNI:BRIDGE: Calling C_GenerateKey ... Done\n"
            + "JNI: creating 2 jobject PKCS11Object...\n",
        traced(() -> s.generateKey(token.list, 0x1080, null, new int[] {3}, new Object[] {"k"})));
    assertEquals("JNI: start PKCS11Session.genKeyPair... (session= 5)\n"
            + "JNI: parse public values...\n"
            + "JNI: parse private values...\n"
            + "\nERROR: cannot parse passed object 1\n",
        traced(()
                   -> s.generateKeyPair(token.list, 0, null, new int[0], new Object[0],
                       new int[] {3, 3}, new Object[] {"a", 2L})));
    assertEquals("JNI: start PKCS11Session.genKeyPair... (session= 5)\n"
            + "JNI: parse public values...\n"
            + "JNI: parse private values...\n"
            + "JNI:BRIDGE: Calling C_GenerateKeyPair ... Done\n"
            + "JNI: creating 2 jobject PKCS11Object...OK\n",
        traced(()
                   -> s.generateKeyPair(
                       token.list, 0, null, new int[0], new Object[0], new int[0], new Object[0])));
  }

  @Test
  void theFixedPairPrintsItsProgressAlways() throws Exception {
    String clearing = "Clearing memory...\n"
        + "    --> Public attr values done\n"
        + "...    --> Public attr done\n"
        + "...    --> Private attr value done\n"
        + "...    --> Private attr done\n"
        + "...Done.\n";
    assertEquals("JNI: start PKCS11Session.genKeyPair... (session= 5)\n"
            + "Start generating keypair...JNI:BRIDGE: Calling C_GenerateKeyPair ... Done\n"
            + "Done.\n"
            + "JNI: creating 2 jobject PKCS11Object...OK\n" + clearing,
        traced(() -> s.generateKeyPairOB(token.list, 0, true)));
    token.module.reconfigure("SESSION_BASE=0x5", "RV_C_GenerateKeyPair=0x5");
    assertEquals("JNI: start PKCS11Session.genKeyPair... (session= 5)\n"
            + "Start generating keypair...JNI:BRIDGE: Calling C_GenerateKeyPair ... Done\n"
            + "Done.\n"
            + "JNI: Throwing exc number 5... Done\n" + clearing,
        traced(()
                   -> assertThrows(
                       PKCS11Exception.class, () -> s.generateKeyPairOB(token.list, 0, false))));
  }
}
