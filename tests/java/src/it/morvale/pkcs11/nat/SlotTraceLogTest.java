package it.morvale.pkcs11.nat;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import it.morvale.pkcs11.PKCS11Exception;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import org.junit.jupiter.api.Test;

/**
 * The trace of the slot methods and of the credential lookup. This JVM starts with
 * PKCS11_ZOR_DEBUG set; whichever class loads a module first switches tracing on.
 */
class SlotTraceLogTest {
  interface Step {
    void run() throws Exception;
  }

  /**
   * What the bridge wrote to the log while `step` ran, one char per byte (ISO 8859-1), so that
   * the exact bytes are compared.
   */
  static String traced(Step step) throws Exception {
    TestBridge.load();
    BridgeHooks.flushStdout();
    long start = Files.exists(TestBridge.TRACE_LOG) ? Files.size(TestBridge.TRACE_LOG) : 0;
    step.run();
    BridgeHooks.flushStdout();
    byte[] all = Files.readAllBytes(TestBridge.TRACE_LOG);
    return new String(all, (int) start, all.length - (int) start, StandardCharsets.ISO_8859_1);
  }

  @Test
  void slotMethodsTraceTheirSteps() throws Exception {
    TestBridge.configure("SLOTS=2", "MECHS=0x1,0x250");
    try (LoadedModule m = LoadedModule.start(TestBridge.qrec())) {
      NativePKCS11Slot slot = new NativePKCS11Slot(m.p11, 1);
      assertEquals("JNI: start PKCS11Slot.getInfo... (slot= 1)\n"
              + "JNI:BRIDGE: Calling C_GetSlotInfo... Done\n"
              + "JNI: creating jobject PKCS11SlotInfo...OK\n",
          traced(() -> slot.getInfo(m.list)));
      assertEquals("JNI: start PKCS11Slot.getInfo... (slot= 1)\n"
              + "JNI:BRIDGE: Calling C_GetTokenInfo... Done\n"
              + "JNI: creating jobject PKCS11TokenInfo...OK\n",
          traced(() -> slot.getTokenInfo(m.list)));
      assertEquals("JNI: start PKCS11Slot.getInfo... (slot= 1)\n"
              + "JNI:BRIDGE: Calling C_GetTokenInfo... Done\n"
              + "JNI: creating jobject PKCS11TokenInfo...",
          traced(() -> slot.getTokenSN(m.list)), "no object, no OK: the line stays open");
      assertEquals("JNI: start PKCS11Slot.getMechList... (slot= 1)\n"
              + "JNI:BRIDGE: Calling C_GetMechanismList...(mechs=2)...\n"
              + " Done\n"
              + "JNI: creating array of 2 Mechanism...OK\n",
          traced(() -> slot.getMechanismList(m.list)));
      assertEquals("JNI: start PKCS11Slot.getMechanismInfo... (slot= 1) (mach=592)\n"
              + "JNI:BRIDGE: Calling C_GetMechanismInfo... Done\n"
              + "JNI: creating jobject PKCS11MechanismInfo...OK\n",
          traced(() -> slot.getMechanismInfo(m.list, 0x250)));
      assertEquals("(slot= 1)\n"
              + "JNI:BRIDGE: Calling C_OpenSession... Done(session=1)\n"
              + "JNI: creating jobject NativePKCS11Session...OK\n",
          traced(() -> slot.openSession(m.list, 6)));
      assertEquals("JNI: start PKCS11Slot.closeAllSessions... (slot= 1)\n"
              + "JNI:BRIDGE: Calling C_CloseAllSessions... Done\n",
          traced(() -> slot.closeAllSessions(m.list)));
      assertEquals(" Done\n", traced(() -> slot.initToken(m.list, "5678", "t")),
          "initToken prints nothing of its own");
      String rules = traced(() -> slot.setPinRules(m.module));
      assertTrue(
          rules.matches("JNI:BRIDGE: Getting FuncList address\\.\\.\\. Done: [1-9a-f][0-9a-f]*\n"),
          rules);
      assertEquals("(slot= 1)\n"
              + "JNI:BRIDGE: Calling C_OpenSession... Done(session=0)\n"
              + "JNI: Throwing exc number b4... Done\n",
          traced(() -> assertThrows(PKCS11Exception.class, () -> slot.openSession(m.list, 0))));
    }
  }

  @Test
  void aMissingVendorFunctionIsLookedUpAsZero() throws Exception {
    NativePKCS11 p11 = new NativePKCS11();
    TestBridge.load();
    long plain = p11.loadPKCS11Library(TestBridge.property("quillon.qrec.novendor"));
    NativePKCS11Slot slot = new NativePKCS11Slot(p11, 0);
    assertEquals("JNI:BRIDGE: Getting FuncList address... Done: 0\n"
            + "JNI: Throwing exc number 80000001..."
            + "JNI: Throwing vendor defined exc 'Internal error'... Done\n",
        traced(()
                   -> assertThrows(
                       PKCS11Exception.class, () -> slot.control(plain, 0, new byte[2], 2))));
  }

  @Test
  void theCredentialLookupNoticeAndItsCode() throws Exception {
    NativePKCS11 p11 = new NativePKCS11();
    TestBridge.load();
    p11.loadPKCS11Library(TestBridge.qrec()); // tracing is on from the first load
    // The notice holds U+FFFD as its UTF-8 bytes EF BF BD; CK_RV -1 shows
    // sixteen f digits on this 64-bit platform.
    assertEquals("JNI: start getRSAcredential... \n"
            + " alias len =11 \n"
            + "JNI: pin is null ?...  pin len =0 \n"
            + "Funzionalit\u00ef\u00bf\u00bd non implementata!"
            + "JNI: Throwing exc number ffffffffffffffff... Done\n",
        traced(()
                   -> assertThrows(PKCS11Exception.class,
                       () -> p11.getRSAcredential(0, "signing key", 0, null))));
    assertEquals("JNI: start getRSAcredential... \n"
            + "JNI: Throwing vendor defined exc 'Internal error: utf_alias == NULL'... Done\n",
        traced(()
                   -> assertThrows(
                       PKCS11Exception.class, () -> p11.getRSAcredential(0, null, 0, "1234"))));
  }
}
