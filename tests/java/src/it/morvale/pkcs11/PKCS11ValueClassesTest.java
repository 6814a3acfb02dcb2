package it.morvale.pkcs11;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.Test;

class PKCS11ValueClassesTest {
  private static final String LABEL = "token"
      + " ".repeat(27);

  private static PKCS11TokenInfo token(String label, int freePrivateMemory) {
    return new PKCS11TokenInfo(label, "SoftHSM project                 ", "SoftHSM v2      ",
        "0123456789abcdef", 0x40D, 0, 1, -1, 0, 255, 4, -1, -1, -1, freePrivateMemory, 0x0206,
        0x0206, "                ");
  }

  @Test
  void textIsKeptRawAndTrimmedOnRequest() {
    PKCS11TokenInfo t = token(LABEL, -1);
    PKCS11TokenInfo blank = token(" ".repeat(32), -1);
    assertAll(()
                  -> assertEquals(32, t.getLabel().length()),
        ()
            -> assertEquals("token", t.getLabelTrimmed()),
        ()
            -> assertEquals(32, blank.getLabel().length()),
        ()
            -> assertEquals("", blank.getLabelTrimmed()),
        ()
            -> assertEquals("SoftHSM v2", t.getModelTrimmed()),
        ()
            -> assertNull(token(null, -1).getLabelTrimmed()),
        ()
            -> assertEquals(-1, t.getMaxRwSessionCount()),
        () -> assertEquals(255, t.getMaxPinLen()), () -> assertEquals(4, t.getMinPinLen()));
  }

  @Test
  void versionsSplitIntoMajorAndMinor() {
    PKCS11Info info = new PKCS11Info(552, "m", 0, "d", 0xFFFF);
    PKCS11SlotInfo slot = new PKCS11SlotInfo("s", "m", 0x7, 0x0102, 0);
    assertAll(()
                  -> assertEquals(2, info.getCryptokiVersionMajor()),
        ()
            -> assertEquals(40, info.getCryptokiVersionMinor()),
        ()
            -> assertEquals(255, info.getLibraryVersionMajor()),
        ()
            -> assertEquals(255, info.getLibraryVersionMinor()),
        ()
            -> assertEquals(1, slot.getHardwareVersionMajor()),
        ()
            -> assertEquals(2, slot.getHardwareVersionMinor()),
        ()
            -> assertTrue(slot.isTokenPresent()),
        ()
            -> assertFalse(new PKCS11SlotInfo("s", "m", 0x6, 0, 0).isTokenPresent()),
        () -> assertTrue(info.toString().contains("cryptokiVersion=2.40")));
  }

  @Test
  void equalityCoversEveryField() {
    assertAll(()
                  -> assertEquals(token(LABEL, 5), token(LABEL, 5)),
        ()
            -> assertEquals(token(LABEL, 5).hashCode(), token(LABEL, 5).hashCode()),
        ()
            -> assertNotEquals(token(LABEL, 5), token(LABEL, 6)),
        ()
            -> assertNotEquals(token(LABEL, 5), token("token", 5)),
        ()
            -> assertEquals(new PKCS11MechanismInfo(1024, 4096, 0x10800),
                new PKCS11MechanismInfo(1024, 4096, 0x10800)),
        ()
            -> assertNotEquals(new PKCS11MechanismInfo(1024, 4096, 0x10800),
                new PKCS11MechanismInfo(1024, 4096, 0x800)),
        ()
            -> assertNotEquals(new PKCS11SessionInfo(3, 6, 0), new PKCS11SessionInfo(3, 6, 1)),
        () -> assertEquals(new PKCS11SessionInfo(3, 6, 0), new PKCS11SessionInfo(3, 6, 0)));
  }
}
