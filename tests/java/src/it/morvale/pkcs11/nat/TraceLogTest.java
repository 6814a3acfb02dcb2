package it.morvale.pkcs11.nat;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import it.morvale.pkcs11.PKCS11Exception;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import org.junit.jupiter.api.MethodOrderer;
import org.junit.jupiter.api.Order;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.TestMethodOrder;

/**
 * The trace log. This JVM starts with PKCS11_ZOR_DEBUG set, so the first load switches tracing on
 * and sends standard output to the log for good.
 */
@TestMethodOrder(MethodOrderer.OrderAnnotation.class)
class TraceLogTest {
  interface Step {
    void run() throws Exception;
  }

  final NativePKCS11 p11 = new NativePKCS11();
  final String qrec = TestBridge.qrec();

  /** What the bridge wrote to the log while `step` ran. */
  static String traced(Step step) throws Exception {
    TestBridge.load();
    BridgeHooks.flushStdout();
    long start = Files.exists(TestBridge.TRACE_LOG) ? Files.size(TestBridge.TRACE_LOG) : 0;
    step.run();
    BridgeHooks.flushStdout();
    byte[] all = Files.readAllBytes(TestBridge.TRACE_LOG);
    return new String(all, (int) start, all.length - (int) start, StandardCharsets.UTF_8);
  }

  static String hex(long handle) { return Long.toHexString(handle); }

  @Test
  @Order(1)
  void loadingSwitchesTracingOn() throws Exception {
    long[] module = new long[1];
    String log = traced(() -> module[0] = p11.loadPKCS11Library(qrec));
    assertEquals(1, BridgeHooks.debugFlag());
    // Unless another class of this JVM loaded a module first, the notices of
    // the switch went to the former standard output.
    log = log.replaceFirst("^getenv done \n"
            + "redirecting stdout to /var/tmp/jpkcs110\\.log ",
        "");
    assertEquals("setting debug to 1\n"
            + "JNI: start loadPKCS11Library (arg= " + qrec + ")\n"
            + "JNI:BRIDGE: Start loading library... Done: " + hex(module[0]) + "\n"
            + "JNI: library loaded: (Handle ptr=" + hex(module[0]) + ")\n"
            + "JNI: end loadPKCS11Library\n",
        log);
  }

  @Test
  @Order(2)
  void aModuleSessionIsTracedStepByStep() throws Exception {
    TestBridge.configure("SLOTS=2");
    long module = p11.loadPKCS11Library(qrec);
    long[] list = new long[1];
    String bind = traced(() -> list[0] = p11.functionListHandler(module));
    assertTrue(bind.matches("JNI:BRIDGE: Getting FuncList address\\.\\.\\. Done: [0-9a-f]+\n"
                   + "JNI:BRIDGE: Calling FuncList\\.\\.\\. Done: " + hex(list[0]) + "\n"),
        bind);

    assertEquals("JNI: PKCS11.libInitialize\nJNI:BRIDGE: Initializing... Done: 0\n",
        traced(() -> p11.libInitialize(list[0])));
    assertEquals("JNI: start PKCS11.getInfo\n"
            + "JNI:BRIDGE: Calling C_GetInfo... Done\n"
            + "JNI: creating jobject PKCS11Info...OK\n",
        traced(() -> p11.getInfo(list[0])));
    assertEquals("JNI: start PKCS11.getSlotList\n"
            + "JNI:BRIDGE: Calling C_GetSlotList... (slots=2)... 0 Done\n"
            + "JNI: creating array of 2 PKCS11Slot\n"
            + "JNI: adding element 0 ... value= 0 ... OK\n"
            + "JNI: adding element 1 ... value= 1 ... OK\n",
        traced(() -> p11.getSlotList(list[0], true)));
    assertEquals("JNI: start PKCS11.getBridgeVersion: 2.00\n", traced(p11::getBridgeVersion));
    assertEquals("JNI: PKCS11.libFinalize\nJNI:BRIDGE: Finalizing... Done: 0\n",
        traced(() -> p11.libFinalize(module, list[0])));
    assertEquals("JNI: PKCS11.libFinalize\nJNI:BRIDGE: Finalizing... Done: 400\n",
        traced(() -> p11.libFinalize(module, list[0])), "the code in decimal: 0x190");
  }

  @Test
  @Order(3)
  void failuresContinueTheOpenLine() throws Exception {
    long module = p11.loadPKCS11Library(qrec);
    long list = p11.functionListHandler(module);
    try {
      TestBridge.configure("NULLFN=C_GetInfo");
      p11.libInitialize(list);
      p11.functionListHandler(module);
      assertEquals("JNI: start PKCS11.getInfo\n"
              + "JNI:BRIDGE: Calling C_GetInfo..."
              + "JNI: Throwing exc number 80000001..."
              + "JNI: Throwing vendor defined exc 'Internal error'... Done\n",
          traced(() -> assertThrows(PKCS11Exception.class, () -> p11.getInfo(list))));
      TestBridge.configure("RV_C_GetInfo=0xa0");
      p11.functionListHandler(module);
      assertEquals("JNI: start PKCS11.getInfo\n"
              + "JNI:BRIDGE: Calling C_GetInfo... Done\n"
              + "JNI: Throwing exc number a0... Done\n",
          traced(() -> assertThrows(PKCS11Exception.class, () -> p11.getInfo(list))));
      assertEquals("JNI: start PKCS11.getInfo\n"
              + "JNI: Throwing exc number 80000003..."
              + "JNI: Throwing vendor defined exc 'Internal error'... Done\n",
          traced(() -> assertThrows(PKCS11Exception.class, () -> p11.getInfo(0))),
          "a null list handle prints no wrapper line");
    } finally {
      TestBridge.configure();
      p11.libFinalize(module, list);
    }
    assertEquals("getenv done \n"
            + "redirecting stdout to /var/tmp/jpkcs110.log setting debug to 1\n"
            + "JNI: start loadPKCS11Library (arg= /nonexistent.so)\n"
            + "JNI:BRIDGE: Start loading library... Done: 0\n"
            + "JNI: Throwing exc number 80000001..."
            + "JNI: Throwing vendor defined exc 'Internal error'... Done\n",
        traced(()
                   -> assertThrows(
                       PKCS11Exception.class, () -> p11.loadPKCS11Library("/nonexistent.so"))));
  }

  @Test
  @Order(4)
  void everyLoadWithTheVariableReopensTheLog() throws Exception {
    String log = traced(() -> p11.loadPKCS11Library(qrec));
    assertTrue(log.startsWith("getenv done \n"
                   + "redirecting stdout to /var/tmp/jpkcs110.log setting debug to 1\n"
                   + "JNI: start loadPKCS11Library (arg= " + qrec + ")\n"),
        log);
  }

  @Test
  @Order(5)
  void withoutTheVariableTracingStaysOn() throws Exception {
    BridgeHooks.setTraceVariable(false);
    try {
      String log = traced(() -> p11.loadPKCS11Library(qrec));
      assertFalse(log.contains("getenv done"), log);
      assertTrue(log.startsWith("JNI: start loadPKCS11Library (arg= " + qrec + ")\n"), log);
      assertEquals(1, BridgeHooks.debugFlag());
    } finally {
      BridgeHooks.setTraceVariable(true);
    }
  }
}
