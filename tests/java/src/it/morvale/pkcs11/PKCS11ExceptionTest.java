package it.morvale.pkcs11;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.Test;

class PKCS11ExceptionTest {
  @Test
  void codeNamesComeFromTheFullTable() {
    assertAll(()
                  -> assertEquals("CKR_OK", new PKCS11Exception(0).getCodeName()),
        ()
            -> assertEquals("CKR_CANCEL", new PKCS11Exception(0x1).getCodeName()),
        ()
            -> assertEquals("CKR_PIN_INCORRECT", new PKCS11Exception(0xA0).getCodeName()),
        ()
            -> assertEquals("CKR_KEY_UNEXTRACTABLE", new PKCS11Exception(0x6A).getCodeName()),
        ()
            -> assertEquals(
                "CKR_SESSION_READ_WRITE_SO_EXISTS", new PKCS11Exception(0xB8).getCodeName()),
        ()
            -> assertEquals(
                "CKR_UNWRAPPING_KEY_HANDLE_INVALID", new PKCS11Exception(0xF0).getCodeName()),
        ()
            -> assertEquals("CKR_CURVE_NOT_SUPPORTED", new PKCS11Exception(0x140).getCodeName()),
        ()
            -> assertEquals(
                "CKR_EXCEEDED_MAX_ITERATIONS", new PKCS11Exception(0x1B5).getCodeName()),
        ()
            -> assertEquals("CKR_PUBLIC_KEY_INVALID", new PKCS11Exception(0x1B9).getCodeName()),
        ()
            -> assertEquals("CKR_FUNCTION_REJECTED", new PKCS11Exception(0x200).getCodeName()),
        // Gaps in the numbering and codes added after v2.40 have no name.
        ()
            -> assertNull(new PKCS11Exception(0x4).getCodeName()),
        ()
            -> assertNull(new PKCS11Exception(0x61).getCodeName()),
        ()
            -> assertNull(new PKCS11Exception(0x1C0).getCodeName()),
        ()
            -> assertNull(new PKCS11Exception(0x201).getCodeName()),
        // 94 standard codes plus CKR_VENDOR_DEFINED.
        () -> assertEquals(95, ReturnCodes.size()));
  }

  @Test
  void messagesDescribeTheCode() {
    assertAll(()
                  -> assertEquals(
                      "CKR_PIN_INCORRECT (0x000000A0)", new PKCS11Exception(0xA0).getMessage()),
        ()
            -> assertEquals("CKR_FUNCTION_REJECTED (0x00000200)",
                new PKCS11Exception(0x200, false).getMessage()),
        ()
            -> assertEquals("0x00000123", new PKCS11Exception(0x123).getMessage()),
        ()
            -> assertEquals("vendor-defined code 0x80000001",
                new PKCS11Exception(0x80000001, true).getMessage()),
        ()
            -> assertEquals(
                "vendor-defined code 0xFFFFFFFF", new PKCS11Exception(-1, true).getMessage()),
        ()
            -> assertEquals(
                "Not supported YET", new PKCS11Exception("Not supported YET").getMessage()));
  }

  @Test
  void vendorRangeAndFlag() {
    PKCS11Exception flagged = new PKCS11Exception(0x80000001, true);
    PKCS11Exception unflaggedNegative = new PKCS11Exception(0x80000002);
    PKCS11Exception standard = new PKCS11Exception(0xA0, false);
    PKCS11Exception flaggedLow = new PKCS11Exception(0xA0, true);
    assertAll(()
                  -> assertTrue(flagged.isVendorDefined()),
        ()
            -> assertEquals(0x80000001, flagged.getCode()),
        ()
            -> assertNull(flagged.getCodeName()),
        // The top bit alone puts a code in the vendor range.
        ()
            -> assertTrue(unflaggedNegative.isVendorDefined()),
        ()
            -> assertEquals("vendor-defined code 0x80000002", unflaggedNegative.getMessage()),
        ()
            -> assertFalse(standard.isVendorDefined()),
        // The flag alone also marks a code as vendor-defined; standard names do not apply.
        ()
            -> assertTrue(flaggedLow.isVendorDefined()),
        ()
            -> assertNull(flaggedLow.getCodeName()),
        ()
            -> assertEquals("vendor-defined code 0x000000A0", flaggedLow.getMessage()),
        () -> assertEquals("CKR_VENDOR_DEFINED", new PKCS11Exception(0x80000000).getCodeName()));
  }

  @Test
  void messageExceptionsCarryNoCode() {
    PKCS11Exception e = new PKCS11Exception("Internal error");
    PKCS11Exception ok = new PKCS11Exception(0);
    assertAll(()
                  -> assertFalse(e.hasCode()),
        ()
            -> assertEquals(0, e.getCode()),
        ()
            -> assertNull(e.getCodeName()),
        ()
            -> assertFalse(e.isVendorDefined()),
        ()
            -> assertEquals("Internal error", e.getMessage()),
        // A code of 0 is still a code, unlike a message exception.
        () -> assertTrue(ok.hasCode()), () -> assertEquals("CKR_OK (0x00000000)", ok.getMessage()));
  }
}
