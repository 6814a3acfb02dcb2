package it.morvale.pkcs11.nat;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import it.morvale.pkcs11.PKCS11Exception;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/** Which PKCS11Exception each CK_RV becomes, through the bridge's two throw functions. */
class ExceptionTableTest {
  @BeforeAll
  static void bridge() {
    TestBridge.load();
  }

  static PKCS11Exception thrown(long rv) {
    return assertThrows(PKCS11Exception.class, () -> BridgeHooks.throwCKExc(rv));
  }

  static PKCS11Exception thrownWithFlag(long rv) {
    return assertThrows(PKCS11Exception.class, () -> BridgeHooks.throwCKExcAS(rv));
  }

  @Test
  void standardCodesKeepTheirNumber() {
    PKCS11Exception e = thrown(0xA0);
    assertEquals(160, e.getCode());
    assertEquals("CKR_PIN_INCORRECT", e.getCodeName());
    assertEquals(0x7FFFFFFF, thrown(0x7FFFFFFFL).getCode(), "the largest standard code");
  }

  @Test
  void codesAboveTheStandardRangeBecomeInternalErrors() {
    for (long rv : new long[] {0x80000000L, 0x80000001L, 0x80000003L, 0x100000000L, -1L}) {
      PKCS11Exception e = thrown(rv);
      assertEquals("Internal error", e.getMessage(), Long.toHexString(rv));
      assertFalse(e.hasCode());
    }
  }

  @Test
  void zeroIsAnUnknownInternalError() {
    assertEquals("Unknown internal error", thrown(0).getMessage());
    assertEquals("Unknown internal error", thrownWithFlag(0).getMessage());
  }

  @Test
  void theFlaggedThrowKeepsVendorCodes() {
    PKCS11Exception standard = thrownWithFlag(0xA0);
    assertEquals(160, standard.getCode());
    assertFalse(standard.isVendorDefined());
    PKCS11Exception allOnes = thrownWithFlag(-1L);
    assertEquals(-1, allOnes.getCode());
    assertTrue(allOnes.isVendorDefined());
    PKCS11Exception bridgeCode = thrownWithFlag(0x80000001L);
    assertEquals(0x80000001, bridgeCode.getCode());
    assertTrue(bridgeCode.isVendorDefined());
    PKCS11Exception wide = thrownWithFlag(0x100000005L);
    assertEquals(5, wide.getCode(), "the low 32 bits");
    assertTrue(wide.isVendorDefined(), "a code wider than 32 bits lies above 0x7FFFFFFF");
  }
}
