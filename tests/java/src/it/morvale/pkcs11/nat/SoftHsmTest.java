package it.morvale.pkcs11.nat;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.PKCS11Info;
import org.junit.jupiter.api.Test;

/** The lifecycle and module information against a real token: SoftHSM2 on a throwaway token. */
class SoftHsmTest {
  static final String SOFTHSM = TestBridge.property("quillon.softhsm");

  @Test
  void softHsmThroughItsLifecycle() throws PKCS11Exception {
    NativePKCS11 p11 = new NativePKCS11();
    TestBridge.load();
    long module = p11.loadPKCS11Library(SOFTHSM);
    long list = p11.functionListHandler(module);
    assertNotEquals(0L, list);
    p11.libInitialize(list);
    try {
      PKCS11Info info = p11.getInfo(list);
      assertEquals(32, info.getManufacturerID().length(), "the whole blank-padded field");
      assertTrue(info.getManufacturerID().startsWith("SoftHSM"), info.getManufacturerID());
      assertEquals(2, info.getCryptokiVersion() >> 8, "a PKCS#11 v2.x module");

      NativePKCS11Slot[] withToken = p11.getSlotList(list, true);
      NativePKCS11Slot[] all = p11.getSlotList(list, false);
      assertEquals(2, all.length, "the suite's token and the free slot SoftHSM2 always adds");
      assertTrue(withToken.length >= 1 && withToken.length <= all.length);
      for (NativePKCS11Slot slot : all) assertEquals(p11, slot.module);
    } finally {
      assertEquals(0L, p11.libFinalize(module, list));
    }
    assertEquals(LifecycleTest.CKR_CRYPTOKI_NOT_INITIALIZED, p11.libFinalize(module, list));
    LifecycleTest.assertCode(0x190, () -> p11.getInfo(list));
  }
}
