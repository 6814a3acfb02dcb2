package it.morvale.pkcs11.nat;

import static it.morvale.pkcs11.nat.LifecycleTest.assertCode;
import static it.morvale.pkcs11.nat.LifecycleTest.assertMessage;
import static it.morvale.pkcs11.nat.SessionTest.last;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertTrue;

import it.morvale.pkcs11.PKCS11Exception;
import java.util.List;
import org.junit.jupiter.api.Test;

/**
 * The card-specific extensions: byte-array PINs, the vendor PIN and token-parameter functions,
 * the card's life-cycle status and the Identrus application object.
 */
class CardExtensionsTest {
  static final int CKR_ARGUMENTS_BAD = 0x7;
  static final int CKR_OBJECT_HANDLE_INVALID = 0x82;
  static final int CKR_PIN_INCORRECT = 0xA0;

  @Test
  void bytePinsPassEveryByte() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording()) {
      NativePKCS11Session s = m.openSession(0, true);
      byte[] pin = {'1', '2', 0, '4', '5', '6'};
      assertCode(CKR_PIN_INCORRECT, () -> s.loginellips(m.list, false, pin));
      assertEquals("C_Login hSession=0x1 userType=0x1 pPin=313200343536 ulPinLen=0x6 -> 0xa0",
          last("C_Login"));
      s.loginellips(m.list, true, new byte[] {'5', '6', '7', '8'});
      assertEquals("C_Login hSession=0x1 userType=0x0 pPin=35363738 ulPinLen=0x4 -> 0x0",
          last("C_Login"));
      s.setPINellips(m.list, new byte[] {'5', '6', '7', '8'}, new byte[] {'8', 0, '6'});
      assertEquals("C_SetPIN hSession=0x1 pOldPin=35363738 ulOldLen=0x4 pNewPin=380036 "
              + "ulNewLen=0x3 -> 0x0",
          last("C_SetPIN"));
      TestBridge.clearJournal();
      assertMessage("Internal error (Null parameter)", () -> s.loginellips(m.list, false, null));
      assertMessage("Internal error (Null parameter)",
          () -> s.setPINellips(m.list, null, new byte[1]));
      assertEquals(List.of(), TestBridge.journal());
    }
  }

  @Test
  void vendorPinFunctions() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording()) {
      NativePKCS11Session s = m.openSession(0, true);
      s.initPIN4(m.module, null, 0, "4321", 4, 511, -1);
      assertEquals("C_InitPIN4 hSession=0x1 puk=NULL pukLen=0x0 newPin=34333231 newPinLen=0x4 "
              + "option1=0xff option2=0xff -> 0x0",
          last("C_InitPIN4"));
      s.initPIN4(m.module, "5678", 99, "8765", -1, 0x100, 1);
      assertEquals("C_InitPIN4 hSession=0x1 puk=35363738 pukLen=0x63 newPin=38373635 "
              + "newPinLen=0xffffffffffffffff option1=0x0 option2=0x1 -> 0x0",
          last("C_InitPIN4"), "lengths go on as given");
      assertCode(CKR_PIN_INCORRECT, () -> s.initPIN4(m.module, "0000", 4, "1", 1, 0, 0));
      s.initPIN4Bit(m.module, null, 0, "2468", 4);
      assertEquals("C_InitPIN4 hSession=0x1 puk=NULL pukLen=0x0 newPin=32343638 newPinLen=0x4 "
              + "option1=0x0 option2=0x0 -> 0x0",
          last("C_InitPIN4"));
      s.setPIN4(m.module, "2468", 4, "1357", 4);
      assertEquals("C_SetPIN4 hSession=0x1 oldPin=32343638 oldLen=0x4 newPin=31333537 newLen=0x4 "
              + "-> 0x0",
          last("C_SetPIN4"));
      s.setPIN4(m.module, null, 0, "9999", 4);
      assertTrue(last("C_SetPIN4").contains("oldPin=NULL oldLen=0x0 newPin=39393939"));
      s.login(m.list, false, "9999");

      TestBridge.clearJournal();
      assertMessage("Internal error: pNewPin == NULL",
          () -> s.initPIN4(m.module, "5678", 4, null, 0, 0, 0));
      assertMessage("Internal error: pNewPin == NULL",
          () -> s.initPIN4Bit(m.module, null, 0, null, 0));
      assertMessage("Internal error: pNewPin == NULL", () -> s.setPIN4(m.module, "1", 1, null, 0));
      assertEquals(List.of(), TestBridge.journal());
    }
  }

  @Test
  void vendorFunctionsMissingFromTheModule() throws PKCS11Exception {
    TestBridge.configure();
    try (LoadedModule m = LoadedModule.start(TestBridge.property("quillon.qrec.novendor"))) {
      NativePKCS11Session s = m.openSession(0, true);
      assertMessage("Internal error", () -> s.setPIN4(m.module, null, 0, "1", 1));
      assertMessage("Internal error", () -> s.initPIN4(m.module, null, 0, "1", 1, 0, 0));
      assertMessage("Internal error", () -> s.getTokenParam(m.module, "a", 1));
      assertMessage("Internal error", () -> s.setTokenParam(m.module, "a", 1, "b", 1));
    }
  }

  @Test
  void tokenParameters() throws PKCS11Exception {
    try (LoadedModule m =
        LoadedModule.recording("TOKENPARAM_five=68656c6c6f", "TOKENPARAM_cut=41420043")) {
      NativePKCS11Session s = m.openSession(0, true);
      assertEquals("hello", s.getTokenParam(m.module, "five", 4));
      assertEquals("C_GetTokenParam hSession=0x1 name=66697665 nameLen=0x4 value=out "
              + "*pulValueLen=0x400 -> 0x0",
          last("C_GetTokenParam"));
      assertEquals("AB", s.getTokenParam(m.module, "cut", 3), "ends at the first zero byte");
      s.setTokenParam(m.module, "mode", 4, "fast", 40);
      assertEquals("C_SetTokenParam hSession=0x1 name=6d6f6465 nameLen=0x4 value=66617374 "
              + "valueLen=0x28 -> 0x0",
          last("C_SetTokenParam"));
      assertEquals("fast", s.getTokenParam(m.module, "mode", 4));
      assertCode(CKR_ARGUMENTS_BAD, () -> s.getTokenParam(m.module, "unknown", 7));

      assertMessage("Internal error: pNewPin == NULL", () -> s.getTokenParam(m.module, null, 0));
      assertMessage("Internal error: pNewPin == NULL",
          () -> s.setTokenParam(m.module, null, 0, "v", 1));
      assertMessage("Internal error: utf_pValue == NULL",
          () -> s.setTokenParam(m.module, "n", 1, null, 0));
    }
  }

  @Test
  void cardStatusAndIdentrusObject() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording("IDENTRUS=08")) {
      NativePKCS11Session s = m.openSession(0, true);
      NativePKCS11Object application = s.getIdentrusObject(m.list);
      assertEquals(1, application.objectID);
      assertSame(s, application.session);
      assertEquals("C_FindObjectsInit hSession=0x1 "
              + "pTemplate=[{type=0x80000201,len=0x4,val=01800080}] ulCount=0x1 -> 0x0",
          last("C_FindObjectsInit"));

      assertEquals(8, s.getCardStatus(m.list));
      s.setCardStatus(m.list, 200);
      assertEquals("C_SetAttributeValue hSession=0x1 hObject=0x1 "
              + "pTemplate=[{type=0x80004400,len=0x1,val=c8}] ulCount=0x1 -> 0x0",
          last("C_SetAttributeValue"));
      assertEquals(-56, s.getCardStatus(m.list));
      s.setCardStatus(m.list, 264);
      assertEquals(8, s.getCardStatus(m.list));

      m.reconfigure("IDENTRUS=08", "RV_C_SetAttributeValue=0x10");
      assertCode(0x10, () -> s.setCardStatus(m.list, 1));
    }
  }

  @Test
  void withoutTheApplicationObject() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording()) {
      NativePKCS11Session s = m.openSession(0, true);
      assertEquals(0, s.getIdentrusObject(m.list).objectID, "Java tests the handle");
      assertCode(CKR_OBJECT_HANDLE_INVALID, () -> s.getCardStatus(m.list));
      assertCode(CKR_OBJECT_HANDLE_INVALID, () -> s.setCardStatus(m.list, 8));
      assertEquals(0, TestBridge.journal("C_SetAttributeValue").size());
      m.reconfigure("RV_C_FindObjectsInit=0x5");
      assertEquals(-1, s.getIdentrusObject(m.list).objectID);
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
      // SoftHSM2 exports no card-specific functions.
      assertMessage("Internal error", () -> s.setPIN4(m.module, "1234", 4, "4321", 4));
      assertEquals(0, s.getIdentrusObject(m.list).objectID);
    }
  }
}
