package it.morvale.pkcs11.nat;

import static it.morvale.pkcs11.nat.LifecycleTest.assertCode;
import static it.morvale.pkcs11.nat.LifecycleTest.assertMessage;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.PKCS11SessionInfo;
import java.util.List;
import org.junit.jupiter.api.Test;

/** Session information, login, logout and PINs, against the recording module and SoftHSM2. */
class SessionTest {
  static final int CKS_RO_PUBLIC_SESSION = 0;
  static final int CKS_RW_PUBLIC_SESSION = 2;
  static final int CKS_RW_USER_FUNCTIONS = 3;
  static final int CKS_RW_SO_FUNCTIONS = 4;
  static final int CKR_PIN_INCORRECT = 0xA0;
  static final int CKR_SESSION_HANDLE_INVALID = 0xB3;
  static final int CKR_USER_NOT_LOGGED_IN = 0x101;
  static final int CKR_USER_ALREADY_LOGGED_IN = 0x100;

  static String last(String function) {
    List<String> lines = TestBridge.journal(function);
    return lines.isEmpty() ? "" : lines.get(lines.size() - 1);
  }

  @Test
  void loginPinsAndTheirFailures() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording("TOKEN_FLAGS=0x50d")) {
      NativePKCS11Session s = m.openSession(0, true);
      s.login(m.list, true, "5678");
      assertEquals(
          "C_Login hSession=0x1 userType=0x0 pPin=35363738 ulPinLen=0x4 -> 0x0", last("C_Login"));
      s.initPIN(m.list, "246810");
      s.logout(m.list);
      s.setPIN(m.list, "246810", "1357");
      s.loginAuthPath(m.list, false);
      assertEquals(
          "C_Login hSession=0x1 userType=0x1 pPin=NULL ulPinLen=0x0 -> 0x0", last("C_Login"));
      s.loginContextSpecific(m.list, "1357");
      assertEquals(
          "C_Login hSession=0x1 userType=0x2 pPin=31333537 ulPinLen=0x4 -> 0x0", last("C_Login"));
      assertCode(CKR_USER_ALREADY_LOGGED_IN, () -> s.login(m.list, false, "1357"));
      s.logout(m.list);
      assertCode(CKR_USER_NOT_LOGGED_IN, () -> s.logout(m.list));

      // Non-ASCII PINs travel as their modified UTF-8 bytes, U+0000 as C0 80.
      assertCode(CKR_PIN_INCORRECT, () -> s.login(m.list, false, "é\u0000"));
      assertEquals(
          "C_Login hSession=0x1 userType=0x1 pPin=c3a9c080 ulPinLen=0x4 -> 0xa0", last("C_Login"));

      TestBridge.clearJournal();
      assertMessage("Internal error: utf_str == NULL", () -> s.login(m.list, false, null));
      assertMessage("Internal error: newPinStr == NULL", () -> s.initPIN(m.list, null));
      assertMessage("Internal error: newPinStr == NULL", () -> s.setPIN(m.list, "1357", null));
      assertEquals(List.of(), TestBridge.journal());
      m.reconfigure("NULLFN=C_GetSessionInfo");
      assertMessage("Internal error", () -> s.getInfo(m.list));
    }
  }

  @Test
  void sessionStatesAndClosing() throws PKCS11Exception {
    try (LoadedModule m =
             LoadedModule.recording("DEVICE_ERROR=0xffffffffffffffff", "SESSION_BASE=0x80000005")) {
      NativePKCS11Session ro = m.openSession(1, false);
      assertEquals(new PKCS11SessionInfo(CKS_RO_PUBLIC_SESSION, 0x4, -1), ro.getInfo(m.list));
      NativePKCS11Session rw = m.openSession(0, true);
      assertEquals(0x80000006, rw.sessionID);
      assertEquals(new PKCS11SessionInfo(CKS_RW_PUBLIC_SESSION, 0x6, -1), rw.getInfo(m.list));
      assertEquals("C_GetSessionInfo hSession=0x80000006 pInfo=out -> 0x0",
          last("C_GetSessionInfo"), "a handle with the top bit set is widened without sign");
      rw.login(m.list, true, "5678");
      assertEquals(CKS_RW_SO_FUNCTIONS, rw.getInfo(m.list).getState());
      rw.logout(m.list);
      rw.login(m.list, false, "1234");
      assertEquals(CKS_RW_USER_FUNCTIONS, rw.getInfo(m.list).getState());

      rw.close(m.list);
      assertCode(CKR_SESSION_HANDLE_INVALID, () -> rw.getInfo(m.list));
      assertCode(CKR_SESSION_HANDLE_INVALID, () -> rw.close(m.list));
      assertEquals(0x80000006, rw.sessionID, "the Java object keeps its handle");
    }
  }

  @Test
  void softHsmLoginStates() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.start(SoftHsmTest.SOFTHSM)) {
      NativePKCS11Session s = m.openSession(m.firstToken(), true);
      assertEquals(CKS_RW_PUBLIC_SESSION, s.getInfo(m.list).getState());
      assertCode(CKR_PIN_INCORRECT, () -> s.login(m.list, false, "0000"));
      s.login(m.list, false, "1234");
      PKCS11SessionInfo info = s.getInfo(m.list);
      assertEquals(CKS_RW_USER_FUNCTIONS, info.getState());
      assertTrue((info.getFlags() & 0x6) == 0x6, "serial read-write session");
      s.setPIN(m.list, "1234", "4321");
      s.setPIN(m.list, "4321", "1234");
      s.logout(m.list);
      assertEquals(CKS_RW_PUBLIC_SESSION, s.getInfo(m.list).getState());

      s.login(m.list, true, "5678");
      assertEquals(CKS_RW_SO_FUNCTIONS, s.getInfo(m.list).getState());
      s.initPIN(m.list, "1234");
      s.logout(m.list);
      s.close(m.list);
      assertCode(CKR_SESSION_HANDLE_INVALID, () -> s.getInfo(m.list));
      assertCode(CKR_SESSION_HANDLE_INVALID, () -> s.close(m.list));
    }
  }
}
