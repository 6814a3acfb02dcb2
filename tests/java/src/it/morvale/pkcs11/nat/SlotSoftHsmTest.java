package it.morvale.pkcs11.nat;

import static it.morvale.pkcs11.nat.LifecycleTest.assertCode;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.PKCS11MechanismInfo;
import it.morvale.pkcs11.PKCS11SlotInfo;
import it.morvale.pkcs11.PKCS11TokenInfo;
import java.io.IOException;
import java.util.Arrays;
import org.junit.jupiter.api.Test;

/** The slot's methods against a real token: SoftHSM2 with the suite's throwaway "quillon" token. */
class SlotSoftHsmTest {
  static final int CKF_TOKEN_INITIALIZED = 0x400;
  static final int CKF_TOKEN_PRESENT = 0x1;
  static final int CKM_RSA_PKCS = 0x1;
  static final int CKM_RSA_PKCS_KEY_PAIR_GEN = 0x0;

  /** The slot whose token carries `label`, or the free slot for an empty label. */
  static NativePKCS11Slot find(LoadedModule m, String label) throws PKCS11Exception {
    for (NativePKCS11Slot slot : m.p11.getSlotList(m.list, false)) {
      PKCS11TokenInfo token = slot.getTokenInfo(m.list);
      boolean initialised = (token.getFlags() & CKF_TOKEN_INITIALIZED) != 0;
      if (label.isEmpty() ? !initialised : token.getLabelTrimmed().equals(label)) return slot;
    }
    throw new AssertionError("no slot for token '" + label + "'");
  }

  @Test
  void theSuitesTokenDescribesItself() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.start(SoftHsmTest.SOFTHSM)) {
      NativePKCS11Slot slot = find(m, "quillon");
      PKCS11SlotInfo info = slot.getInfo(m.list);
      assertEquals(64, info.getSlotDescription().length(), "the whole blank-padded field");
      assertTrue((info.getFlags() & CKF_TOKEN_PRESENT) != 0);

      PKCS11TokenInfo token = slot.getTokenInfo(m.list);
      assertEquals("quillon" + TestBridge.blanks(25), token.getLabel());
      assertTrue(token.getModel().startsWith("SoftHSM"), token.getModel());
      assertEquals(16, token.getSerialNumber().length());
      assertEquals(token.getSerialNumber(), slot.getTokenSN(m.list));
      assertTrue((token.getFlags() & CKF_TOKEN_INITIALIZED) != 0);

      int[] mechanisms = slot.getMechanismList(m.list);
      assertTrue(
          Arrays.stream(mechanisms).anyMatch(t -> t == CKM_RSA_PKCS), Arrays.toString(mechanisms));
      assertEquals(
          mechanisms.length, Arrays.stream(mechanisms).distinct().count(), "each mechanism once");
      PKCS11MechanismInfo rsa = slot.getMechanismInfo(m.list, CKM_RSA_PKCS_KEY_PAIR_GEN);
      assertTrue(
          rsa.getMinKeySize() > 0 && rsa.getMinKeySize() <= rsa.getMaxKeySize(), rsa.toString());
      assertCode(0x70, () -> slot.getMechanismInfo(m.list, 0x7FFFFFFF));
    }
  }

  @Test
  void sessionsOpenAndAllCloseTogether() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.start(SoftHsmTest.SOFTHSM)) {
      NativePKCS11Slot slot = find(m, "quillon");
      NativePKCS11Session rw = slot.openSession(m.list, 6);
      NativePKCS11Session ro = slot.openSession(m.list, 4);
      assertNotNull(rw);
      assertEquals(slot, ro.slot);
      assertTrue(rw.sessionID != ro.sessionID);
      assertCode(0xB4, () -> slot.openSession(m.list, 0));
      // SoftHSM reports no session counts (-1); it refuses to initialise a
      // token with open sessions before it looks at the SO PIN, so a wrong
      // PIN tells whether sessions are left.
      assertEquals(-1, slot.getTokenInfo(m.list).getSessionCount());
      assertCode(0xB6, () -> slot.initToken(m.list, "0000", "quillon"));
      slot.closeAllSessions(m.list);
      assertCode(0xA0, () -> slot.initToken(m.list, "0000", "quillon"));
    }
  }

  @Test
  void initTokenOnTheFreeSlot() throws PKCS11Exception, IOException, InterruptedException {
    String label = "slot-test";
    try (LoadedModule m = LoadedModule.start(SoftHsmTest.SOFTHSM)) {
      assertCode(0xA0, () -> find(m, "quillon").initToken(m.list, "0000", "quillon"));
      NativePKCS11Slot free = find(m, "");
      int freeSlot = free.slotID;
      free.initToken(m.list, "87654321", label);
      PKCS11TokenInfo token = free.getTokenInfo(m.list);
      assertEquals(label + TestBridge.blanks(32 - label.length()), token.getLabel());
      assertTrue((token.getFlags() & CKF_TOKEN_INITIALIZED) != 0);
      assertEquals(freeSlot, find(m, label).slotID);
    } finally {
      // Leave the suite's token directory as it was: one token and one free slot.
      Process delete = new ProcessBuilder("softhsm2-util", "--delete-token", "--token", label)
                           .redirectErrorStream(true)
                           .start();
      delete.getInputStream().readAllBytes();
      assertEquals(0, delete.waitFor());
    }
    try (LoadedModule m = LoadedModule.start(SoftHsmTest.SOFTHSM)) {
      assertEquals(2, m.p11.getSlotList(m.list, false).length);
    }
  }
}
