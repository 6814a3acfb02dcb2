package it.morvale.pkcs11.nat;

import static it.morvale.pkcs11.nat.LifecycleTest.assertCode;
import static it.morvale.pkcs11.nat.LifecycleTest.assertMessage;
import static it.morvale.pkcs11.nat.TestBridge.blanks;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.PKCS11MechanismInfo;
import it.morvale.pkcs11.PKCS11SlotInfo;
import it.morvale.pkcs11.PKCS11TokenInfo;
import java.util.List;
import org.junit.jupiter.api.Test;

/** The slot's methods on the recording module: exact arguments, odd answers and failure codes. */
class SlotTest {
  static final int CKR_PIN_INCORRECT = 0xA0;
  static final int CKR_TOKEN_NOT_PRESENT = 0xE0;
  static final int CKR_SESSION_PARALLEL_NOT_SUPPORTED = 0xB4;
  static final int CKR_SESSION_EXISTS = 0xB6;

  static NativePKCS11Slot slot(LoadedModule m, int id) { return new NativePKCS11Slot(m.p11, id); }

  static String line(String function) {
    List<String> lines = TestBridge.journal(function);
    assertEquals(1, lines.size(), function + ": " + lines);
    return lines.get(0);
  }

  @Test
  void slotAndTokenInformationKeepTheirPadding() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording("SLOT_DESCRIPTION=", "SLOT_FWVERSION=0.1",
             "TOKEN_LABEL=padded", "TOKEN_SERIAL=SN7", "TOKEN_FWVERSION=1.0",
             "TOKEN_MAX_SESSION_COUNT=0xffffffffffffffff", "TOKEN_MAX_RW_SESSION_COUNT=0",
             "TOKEN_FREE_PRIVATE_MEMORY=0xffffffffffffffff")) {
      NativePKCS11Slot slot = slot(m, 0);
      PKCS11SlotInfo info = slot.getInfo(m.list);
      assertEquals(blanks(64), info.getSlotDescription());
      assertEquals(1, info.getFirmwareVersion(), "version 0.1");
      assertEquals(256, info.getHardwareVersion(), "version 1.0");
      assertTrue(info.isTokenPresent());

      PKCS11TokenInfo token = slot.getTokenInfo(m.list);
      assertEquals("padded" + blanks(26), token.getLabel());
      assertEquals("SN7" + blanks(13), token.getSerialNumber());
      assertEquals(-1, token.getMaxSessionCount(), "CK_UNAVAILABLE_INFORMATION");
      assertEquals(0, token.getMaxRwSessionCount(), "CK_EFFECTIVELY_INFINITE");
      assertEquals(-1, token.getFreePrivateMemory());
      assertEquals(256, token.getFirmwareVersion());
      assertEquals("2024010112000000", token.getUtcTime());
      assertEquals(token.getSerialNumber(), slot.getTokenSN(m.list));
    }
  }

  @Test
  void aSlotWithoutATokenThrowsTheModulesCode() throws PKCS11Exception {
    try (LoadedModule m =
             LoadedModule.recording("SLOT_IDS=0x1,0x80000002", "TOKEN_ABSENT=0x80000002")) {
      NativePKCS11Slot empty = slot(m, 0x80000002);
      assertCode(CKR_TOKEN_NOT_PRESENT, () -> empty.getTokenSN(m.list));
      assertCode(CKR_TOKEN_NOT_PRESENT, () -> empty.getTokenInfo(m.list));
      assertEquals("C_GetTokenInfo slotID=0x80000002 pInfo=out -> 0xe0",
          TestBridge.journal("C_GetTokenInfo").get(0), "the slot number widened without sign");
      assertMessage("Internal error", () -> empty.getInfo(0));
      m.reconfigure("SLOT_IDS=0x1,0x80000002", "NULLFN=C_GetSlotInfo");
      assertMessage("Internal error", () -> empty.getInfo(m.list));
    }
  }

  @Test
  void mechanismsComeInTheModulesOrderAndGoBackUnchanged() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording("MECHS=0x0,0x1,0x250,0x80000001",
             "MECHINFO_250=512,4096,0x80000001", "MECHINFO_80000001=1,2,3")) {
      NativePKCS11Slot slot = slot(m, 0);
      int[] mechanisms = slot.getMechanismList(m.list);
      assertArrayEquals(new int[] {0, 1, 592, 0x80000001}, mechanisms);
      assertEquals(
          new PKCS11MechanismInfo(512, 4096, 0x80000001), slot.getMechanismInfo(m.list, 0x250));
      TestBridge.clearJournal();
      assertEquals(new PKCS11MechanismInfo(1, 2, 3), slot.getMechanismInfo(m.list, mechanisms[3]));
      assertEquals("C_GetMechanismInfo slotID=0x0 type=0x80000001 pInfo=out -> 0x0",
          line("C_GetMechanismInfo"), "a vendor mechanism number widened without sign");
      assertCode(0x70, () -> slot.getMechanismInfo(m.list, 0x40));

      m.reconfigure("MECHS=");
      assertArrayEquals(new int[0], slot.getMechanismList(m.list), "empty, not null");
      m.reconfigure("RV2_C_GetMechanismList=0x150");
      assertCode(0x150, () -> slot.getMechanismList(m.list));
    }
  }

  @Test
  void sessionsOpenWithTheFlagsAsGivenAndCloseTogether() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording("SESSION_BASE=0x80000000")) {
      NativePKCS11Slot slot = slot(m, 0);
      NativePKCS11Session session = slot.openSession(m.list, 6);
      assertSame(slot, session.slot);
      assertEquals(0x80000000, session.sessionID, "a handle of 2^31 as a negative int");
      assertEquals("C_OpenSession slotID=0x0 flags=0x6 pApplication=NULL Notify=NULL"
              + " phSession=out -> 0x0",
          line("C_OpenSession"));
      assertCode(CKR_SESSION_PARALLEL_NOT_SUPPORTED, () -> slot.openSession(m.list, 0));
      slot.openSession(m.list, 4);
      assertEquals(2, slot.getTokenInfo(m.list).getSessionCount());
      assertEquals(1, slot.getTokenInfo(m.list).getRwSessionCount());

      TestBridge.clearJournal();
      slot.closeAllSessions(m.list);
      assertEquals("C_CloseAllSessions slotID=0x0 -> 0x0", line("C_CloseAllSessions"));
      assertEquals(0, slot.getTokenInfo(m.list).getSessionCount());
      assertMessage("Internal error", () -> slot.closeAllSessions(0));
      assertMessage("Internal error", () -> slot.openSession(0, 6));
    }
  }

  @Test
  void initTokenPassesThePuksBytesAndAPaddedLabel() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording()) {
      NativePKCS11Slot slot = slot(m, 1);
      slot.initToken(m.list, "5678", "fresh");
      assertTrue(
          line("C_InitToken")
              .matches(
                  "C_InitToken slotID=0x1 pPin=35363738 ulPinLen=0x4 pLabel=6672657368(20){27} -> 0x0"),
          line("C_InitToken"));
      assertEquals("fresh" + blanks(27), slot.getTokenInfo(m.list).getLabel());

      TestBridge.clearJournal();
      assertCode(CKR_PIN_INCORRECT, () -> slot.initToken(m.list, "1234567\u00e9", "x"));
      assertTrue(line("C_InitToken").contains("pPin=31323334353637c3a9 ulPinLen=0x9"),
          "the UTF-8 byte count: " + line("C_InitToken"));

      slot.openSession(m.list, 4);
      assertCode(CKR_SESSION_EXISTS, () -> slot.initToken(m.list, "5678", "x"));
      TestBridge.clearJournal();
      assertMessage(
          "Internal error: pPuk == NULL||label==NULL", () -> slot.initToken(m.list, "5678", null));
      assertMessage(
          "Internal error: pPuk == NULL||label==NULL", () -> slot.initToken(m.list, null, "x"));
      assertTrue(TestBridge.journal().isEmpty(), "nothing called: " + TestBridge.journal());
    }
  }

  @Test
  void readerControlBlocksReachTheVendorFunctions() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording("SLOT_IDS=0x5", "CONTROL_REPLY=deadbeef")) {
      NativePKCS11Slot slot = slot(m, 5);
      slot.setPinRules(m.module);
      String rules = line("C_Control");
      assertTrue(
          rules.startsWith("C_Control slotID=0x5 command=0x0 data=0b000000000008000400080000"),
          rules);
      assertTrue(rules.endsWith(" *pulDataLen=0x98 -> 0x0"), "152 bytes: " + rules);

      TestBridge.clearJournal();
      byte[] data = {1, 2, 3, 4};
      slot.control(m.module, -2, data, 4);
      assertArrayEquals(new byte[] {(byte) 0xde, (byte) 0xad, (byte) 0xbe, (byte) 0xef}, data,
          "what the vendor function wrote is copied back");
      assertEquals("C_Control slotID=0x5 command=0xfffffffffffffffe data=01020304 *pulDataLen=0x4"
              + " -> 0x0",
          line("C_Control"), "the command keeps its sign");

      TestBridge.clearJournal();
      byte[] block = {(byte) 0xab, (byte) 0xcd, (byte) 0xef, 0};
      slot.control2(m.module, "Reader 1", 3, block, 4);
      assertEquals("C_Control2 readerName=5265616465722031 command=0x3 data=abcdef00"
              + " *pulDataLen=0x4 -> 0x0",
          line("C_Control2"));
      assertEquals((byte) 0xde, block[0]);

      TestBridge.clearJournal();
      assertMessage(
          "Internal error: length out of range", () -> slot.control(m.module, 0, new byte[4], 5));
      assertMessage("Internal error: length out of range",
          () -> slot.control2(m.module, "r", 0, new byte[4], -1));
      assertMessage("Internal error (Null parameter)", () -> slot.control(m.module, 0, null, 0));
      assertMessage("Internal error: readerName == NULL",
          () -> slot.control2(m.module, null, 0, new byte[1], 1));
      assertTrue(TestBridge.journal().isEmpty(), "nothing called: " + TestBridge.journal());

      m.reconfigure("SLOT_IDS=0x5", "RV_C_Control=0x80000007");
      assertMessage("Internal error", () -> slot.setPinRules(m.module));
    }
  }

  @Test
  void aModuleWithoutVendorFunctionsIsReported() throws PKCS11Exception {
    NativePKCS11 p11 = new NativePKCS11();
    TestBridge.load();
    long plain = p11.loadPKCS11Library(TestBridge.property("quillon.qrec.novendor"));
    NativePKCS11Slot slot = new NativePKCS11Slot(p11, 0);
    assertMessage("Internal error", () -> slot.setPinRules(plain));
    assertMessage("Internal error", () -> slot.control(plain, 0, new byte[1], 1));
    assertMessage("Internal error", () -> slot.control2(plain, "r", 0, new byte[1], 1));
  }

  @Test
  void theRsaCredentialLookupAlwaysFails() {
    NativePKCS11 p11 = new NativePKCS11();
    TestBridge.load();
    for (String pin : new String[] {"1234", null}) {
      PKCS11Exception e =
          assertThrows(PKCS11Exception.class, () -> p11.getRSAcredential(0, "signing key", 1, pin));
      assertEquals(-1, e.getCode());
      assertTrue(e.isVendorDefined(), "thrown with the vendor flag");
    }
    assertMessage(
        "Internal error: utf_alias == NULL", () -> p11.getRSAcredential(0, null, 0, "1234"));
  }
}
