package it.morvale.pkcs11.nat;

import static it.morvale.pkcs11.nat.LifecycleTest.assertCode;
import static it.morvale.pkcs11.nat.LifecycleTest.assertMessage;
import static it.morvale.pkcs11.nat.TestBridge.blanks;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertTrue;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.PKCS11Info;
import java.util.Arrays;
import java.util.List;
import org.junit.jupiter.api.Test;

/** getInfo and getSlotList on the recording module: what a real token rarely answers. */
class ModuleInfoTest {
  @Test
  void infoKeepsBlankPaddingAndEncodesVersions() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording("INFO_MANUFACTURER=ACME", "INFO_DESCRIPTION=",
             "INFO_VERSION=2.20", "INFO_LIBVERSION=255.255", "INFO_FLAGS=0x80000001")) {
      PKCS11Info info = m.p11.getInfo(m.list);
      assertEquals("ACME" + blanks(28), info.getManufacturerID());
      assertEquals(blanks(32), info.getLibraryDescription(), "32 blanks are not an empty text");
      assertEquals(532, info.getCryptokiVersion());
      assertEquals(65535, info.getLibraryVersion());
      assertEquals(0x80000001, info.getFlags());
    }
  }

  @Test
  void aTextFieldEndsAtItsFirstNulByte() throws PKCS11Exception {
    try (
        LoadedModule m = LoadedModule.recording(
            "INFO_MANUFACTURER_HEX=4142434445004748494a4b4c4d4e4f505152535455565758595a303132333435")) {
      assertEquals("ABCDE", m.p11.getInfo(m.list).getManufacturerID());
    }
  }

  @Test
  void infoFailuresAreThrown() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording("RV_C_GetInfo=0xa0")) {
      assertCode(0xA0, () -> m.p11.getInfo(m.list));
      m.reconfigure("RV_C_GetInfo=0x100000000");
      assertMessage("Internal error", () -> m.p11.getInfo(m.list));
      m.reconfigure("NULLFN=C_GetInfo");
      assertMessage("Internal error", () -> m.p11.getInfo(m.list));
      assertMessage("Internal error", () -> m.p11.getInfo(0));
    }
  }

  @Test
  void slotsCarryTheirNumberAndTheirModule() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording("SLOT_IDS=0x0,0x7,0x80000001,0x100000005")) {
      NativePKCS11Slot[] slots = m.p11.getSlotList(m.list, false);
      int[] ids = Arrays.stream(slots).mapToInt(s -> s.slotID).toArray();
      assertArrayEquals(new int[] {0, 7, 0x80000001, 5}, ids, "the low 32 bits of each slot ID");
      for (NativePKCS11Slot slot : slots) assertSame(m.p11, slot.module);
    }
  }

  @Test
  void noSlotsGiveNull() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording("SLOTS=0")) {
      assertNull(m.p11.getSlotList(m.list, false));
    }
  }

  @Test
  void tokenPresentReachesTheModuleAsOneByte() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording("SLOT_IDS=0x1,0x2,0x3", "TOKEN_ABSENT=0x2")) {
      assertEquals(2, m.p11.getSlotList(m.list, true).length);
      List<String> calls = TestBridge.journal("C_GetSlotList");
      assertEquals(2, calls.size(), "a size query, then the call that fills the buffer");
      for (String call : calls) assertTrue(call.contains("tokenPresent=0x1"), call);
      assertTrue(calls.get(0).contains("pSlotList=NULL"), calls.get(0));
      TestBridge.clearJournal();
      assertEquals(3, m.p11.getSlotList(m.list, false).length);
      for (String call : TestBridge.journal("C_GetSlotList")) {
        assertTrue(call.contains("tokenPresent=0x0"), call);
      }
    }
  }

  @Test
  void aThousandSlotsStayWithinTheLocalReferenceCapacity() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording("SLOTS=1000")) {
      NativePKCS11Slot[] slots = m.p11.getSlotList(m.list, false);
      assertEquals(1000, slots.length);
      assertEquals(999, slots[999].slotID);
    }
  }

  @Test
  void slotListQuirksAndFailures() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording("SLOTS=3", "SLOTLIST_SECOND_COUNT=1")) {
      assertEquals(1, m.p11.getSlotList(m.list, false).length, "the module may lower the count");
      m.reconfigure("SLOTS=3", "SLOTLIST_COUNT=0xffffffffffffffff");
      assertMessage("Internal error", () -> m.p11.getSlotList(m.list, false));
      assertEquals(1, TestBridge.journal("C_GetSlotList").size(),
          "a count whose buffer cannot be sized stops before the second call");
      m.reconfigure("SLOTS=3", "RV2_C_GetSlotList=0x150");
      assertCode(0x150, () -> m.p11.getSlotList(m.list, false));
      m.reconfigure("SLOTS=3", "RV_C_GetSlotList=0x6");
      assertCode(6, () -> m.p11.getSlotList(m.list, false));
      m.reconfigure("NULLFN=C_GetSlotList");
      assertMessage("Internal error", () -> m.p11.getSlotList(m.list, true));
      assertMessage("Internal error", () -> m.p11.getSlotList(0, true));
    }
  }
}
