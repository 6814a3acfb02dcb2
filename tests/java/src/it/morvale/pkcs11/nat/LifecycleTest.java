package it.morvale.pkcs11.nat;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import it.morvale.pkcs11.PKCS11Exception;
import java.util.List;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;

/** Loading, binding, initialising and finalising a module, and how each step fails. */
class LifecycleTest {
  static final long CKR_CRYPTOKI_NOT_INITIALIZED = 0x190;
  static final int CKR_CRYPTOKI_ALREADY_INITIALIZED = 0x191;

  final NativePKCS11 p11 = new NativePKCS11();

  @BeforeAll
  static void bridge() {
    TestBridge.load();
  }

  /** Each test starts from an empty configuration and a finalised recording module. */
  @BeforeEach
  void freshRecordingModule() throws PKCS11Exception {
    TestBridge.configure();
    long module = p11.loadPKCS11Library(TestBridge.qrec());
    p11.libFinalize(module, p11.functionListHandler(module));
    TestBridge.clearJournal();
  }

  static void assertMessage(String message, Executable call) {
    PKCS11Exception e = assertThrows(PKCS11Exception.class, call);
    assertEquals(message, e.getMessage());
    assertFalse(e.hasCode(), "a message exception carries no code");
  }

  static void assertCode(int code, Executable call) {
    PKCS11Exception e = assertThrows(PKCS11Exception.class, call);
    assertEquals(code, e.getCode());
    assertTrue(e.hasCode());
  }

  @Test
  void aModuleGoesThroughItsWholeLifecycle() throws PKCS11Exception {
    TestBridge.configure("SLOTS=2");
    long module = p11.loadPKCS11Library(TestBridge.qrec());
    assertNotEquals(0L, module);
    assertEquals(module, p11.loadPKCS11Library(TestBridge.qrec()), "the loader's handle again");
    long list = p11.functionListHandler(module);
    assertNotEquals(0L, list);
    p11.libInitialize(list);
    assertCode(CKR_CRYPTOKI_ALREADY_INITIALIZED, () -> p11.libInitialize(list));
    assertNotNull(p11.getInfo(list));
    assertEquals(2, p11.getSlotList(list, false).length);
    assertEquals(0L, p11.libFinalize(module, list));
    assertEquals(CKR_CRYPTOKI_NOT_INITIALIZED, p11.libFinalize(0, list),
        "a failed finalise is returned, not thrown; the module handle is not used");
    assertEquals(2, TestBridge.journal("C_Initialize").size(),
        "each libInitialize reaches C_Initialize once");
    assertTrue(TestBridge.journal("C_Initialize").get(0).contains("NULL"),
        "C_Initialize gets no arguments: " + TestBridge.journal("C_Initialize"));
  }

  @Test
  void aThreadedInitialisationLetsTheModuleLockForItself() throws PKCS11Exception {
    long module = p11.loadPKCS11Library(TestBridge.qrec());
    long list = p11.functionListHandler(module);
    TestBridge.clearJournal();
    p11.libInitializeThreaded(list);
    assertEquals(List.of("C_Initialize pInitArgs={CreateMutex=NULL,DestroyMutex=NULL,"
                     + "LockMutex=NULL,UnlockMutex=NULL,flags=0x2,pReserved=NULL} -> 0x0"),
        TestBridge.journal());
    assertCode(CKR_CRYPTOKI_ALREADY_INITIALIZED, () -> p11.libInitializeThreaded(list));
    assertEquals(0L, p11.libFinalize(module, list));
    assertMessage("Internal error", () -> p11.libInitializeThreaded(0));
  }

  @Test
  void theBridgeVersionNeedsNoModule() throws PKCS11Exception {
    assertEquals("2.00", p11.getBridgeVersion());
  }

  @Test
  void loadingRefusesWhatIsNoCryptokiModule() throws PKCS11Exception {
    assertMessage("Internal error (Null parameter)", () -> p11.loadPKCS11Library(null));
    assertMessage("Internal error", () -> p11.loadPKCS11Library("/nonexistent/libnothing.so"));
    long notCryptoki = p11.loadPKCS11Library(TestBridge.property("quillon.notp11"));
    assertNotEquals(0L, notCryptoki, "any shared library loads");
    assertMessage("Internal error", () -> p11.functionListHandler(notCryptoki));
  }

  @Test
  void aFunctionListThatCannotBeHadIsReported() throws PKCS11Exception {
    long module = p11.loadPKCS11Library(TestBridge.qrec());
    TestBridge.configure("GETFUNCTIONLIST=null");
    assertMessage("Internal error", () -> p11.functionListHandler(module));
    TestBridge.configure("GETFUNCTIONLIST=0x6");
    assertCode(6, () -> p11.functionListHandler(module));
  }

  @Test
  void missingHandlesAndEntriesAreReported() throws PKCS11Exception {
    assertMessage("Internal error", () -> p11.libInitialize(0));
    assertEquals(0x80000003L, p11.libFinalize(0, 0), "a null list handle is returned as a code");
    assertMessage("Not supported", () -> p11.waitForSlotEvent(0, 0));

    long module = p11.loadPKCS11Library(TestBridge.qrec());
    long list = p11.functionListHandler(module);
    TestBridge.configure("NULLFN=C_Initialize,C_Finalize");
    p11.functionListHandler(module);
    assertMessage("Internal error", () -> p11.libInitialize(list));
    assertEquals(0x80000001L, p11.libFinalize(module, list));
    TestBridge.configure("RV_C_Initialize=0x5");
    p11.functionListHandler(module);
    TestBridge.clearJournal();
    assertCode(5, () -> p11.libInitialize(list));
    assertEquals(1, TestBridge.journal("C_Initialize").size());
  }

  @Test
  void loadingWithoutTheTraceVariableLeavesTracingOff() throws Exception {
    long before = java.nio.file.Files.exists(TestBridge.TRACE_LOG)
        ? java.nio.file.Files.size(TestBridge.TRACE_LOG)
        : 0;
    p11.loadPKCS11Library(TestBridge.qrec());
    BridgeHooks.flushStdout();
    assertEquals(0, BridgeHooks.debugFlag());
    long after = java.nio.file.Files.exists(TestBridge.TRACE_LOG)
        ? java.nio.file.Files.size(TestBridge.TRACE_LOG)
        : 0;
    assertEquals(before, after, "nothing is written to the trace log");
  }
}
