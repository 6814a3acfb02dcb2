package it.morvale.pkcs11.nat;

import static it.morvale.pkcs11.nat.LifecycleTest.assertCode;
import static it.morvale.pkcs11.nat.LifecycleTest.assertMessage;
import static it.morvale.pkcs11.nat.SessionTest.last;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertSame;

import it.morvale.pkcs11.PKCS11Exception;
import org.junit.jupiter.api.Test;

/**
 * The card-specific extensions in a real VM: byte-array PINs, the vendor PIN and token-parameter
 * functions, the card's life-cycle status and the Identrus application object. The exact
 * arguments of every path are the native suite's affair.
 */
class CardExtensionsTest {
  static final int CKR_OBJECT_HANDLE_INVALID = 0x82;
  static final int CKR_PIN_INCORRECT = 0xA0;

  @Test
  void pinsThroughBytesAndVendorFunctions() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording("TOKENPARAM_cut=41420043")) {
      NativePKCS11Session s = m.openSession(0, true);
      assertCode(CKR_PIN_INCORRECT, () -> s.loginellips(m.list, false, new byte[] {'1', 0, '3'}));
      assertEquals(
          "C_Login hSession=0x1 userType=0x1 pPin=310033 ulPinLen=0x3 -> 0xa0", last("C_Login"));
      s.loginellips(m.list, true, "5678".getBytes());
      s.setPINellips(m.list, "5678".getBytes(), "8765".getBytes());

      s.initPIN4(m.module, null, 0, "4321", -1, 511, -1);
      assertEquals("C_InitPIN4 hSession=0x1 puk=NULL pukLen=0x0 newPin=34333231 "
              + "newPinLen=0xffffffffffffffff option1=0xff option2=0xff -> 0x0",
          last("C_InitPIN4"), "lengths go on as given, options as their low byte");
      s.initPIN4Bit(m.module, "8765", 4, "2468", 4);
      s.setPIN4(m.module, "2468", 4, "1357", 4);
      s.logout(m.list);
      s.login(m.list, false, "1357");

      s.setTokenParam(m.module, "mode", 4, "fast", 4);
      assertEquals("fast", s.getTokenParam(m.module, "mode", 4));
      assertEquals("AB", s.getTokenParam(m.module, "cut", 3), "ends at the first zero byte");
      assertMessage(
          "Internal error: pNewPin == NULL", () -> s.setTokenParam(m.module, null, 0, "v", 1));
      assertMessage("Internal error: pNewPin == NULL", () -> s.setPIN4(m.module, "1", 1, null, 0));
      assertMessage("Internal error (Null parameter)", () -> s.loginellips(m.list, false, null));
    }
  }

  @Test
  void vendorFunctionsMissingFromTheModule() throws PKCS11Exception {
    TestBridge.configure();
    try (LoadedModule m = LoadedModule.start(TestBridge.property("quillon.qrec.novendor"))) {
      NativePKCS11Session s = m.openSession(0, true);
      assertMessage("Internal error", () -> s.setPIN4(m.module, null, 0, "1", 1));
      assertMessage("Internal error", () -> s.initPIN4Bit(m.module, null, 0, "1", 1));
      assertMessage("Internal error", () -> s.getTokenParam(m.module, "a", 1));
    }
  }

  @Test
  void cardStatusOnTheIdentrusApplication() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording("IDENTRUS=08")) {
      NativePKCS11Session s = m.openSession(0, true);
      NativePKCS11Object application = s.getIdentrusObject(m.list);
      assertEquals(1, application.objectID);
      assertSame(s, application.session);
      assertEquals(8, s.getCardStatus(m.list));
      s.setCardStatus(m.list, 200);
      assertEquals(-56, s.getCardStatus(m.list), "the status byte is signed");
      s.setCardStatus(m.list, 264);
      assertEquals(8, s.getCardStatus(m.list));
    }
    try (LoadedModule m = LoadedModule.recording()) {
      NativePKCS11Session s = m.openSession(0, true);
      assertEquals(
          0, s.getIdentrusObject(m.list).objectID, "no application: Java tests the handle");
      assertCode(CKR_OBJECT_HANDLE_INVALID, () -> s.getCardStatus(m.list));
      assertCode(CKR_OBJECT_HANDLE_INVALID, () -> s.setCardStatus(m.list, 8));
    }
  }

  @Test
  void softHsmBytePinsAndMissingVendorFunctions() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.start(SoftHsmTest.SOFTHSM)) {
      NativePKCS11Session s = m.openSession(m.firstToken(), true);
      assertCode(CKR_PIN_INCORRECT, () -> s.loginellips(m.list, false, new byte[] {'1', '2', '3'}));
      s.loginellips(m.list, false, new byte[] {'1', '2', '3', '4'});
      assertEquals(SessionTest.CKS_RW_USER_FUNCTIONS, s.getInfo(m.list).getState());
      s.setPINellips(m.list, "1234".getBytes(), "4321".getBytes());
      s.setPINellips(m.list, "4321".getBytes(), "1234".getBytes());
      // SoftHSM2 exports no card-specific functions and has no Identrus application.
      assertMessage("Internal error", () -> s.setPIN4(m.module, "1234", 4, "4321", 4));
      assertEquals(0, s.getIdentrusObject(m.list).objectID);
    }
  }
}
