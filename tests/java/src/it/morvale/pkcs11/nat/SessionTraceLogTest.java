package it.morvale.pkcs11.nat;

import static it.morvale.pkcs11.nat.TraceLogTest.traced;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import it.morvale.pkcs11.PKCS11Exception;
import org.junit.jupiter.api.Test;

/**
 * The session methods' lines in the trace log. This JVM runs with PKCS11_ZOR_DEBUG set, so the
 * first module load (here or in another class) switched tracing on.
 */
class SessionTraceLogTest {
  @Test
  void loginAndSessionInformation() throws Exception {
    try (LoadedModule m = LoadedModule.recording()) {
      NativePKCS11Session s = m.openSession(0, true);
      assertEquals("JNI: start PKCS11Session.login... (session= 1)\n"
              + "JNI:BRIDGE: Calling C_Login (l=4)... Done\n"
              + "JNI: Throwing exc number a0... Done\n",
          traced(() -> assertThrows(PKCS11Exception.class, () -> s.login(m.list, false, "0000"))));
      assertEquals("JNI: start PKCS11Session.login ellips... (session= 1)\n"
              + "JNI:BRIDGE: Calling C_Login (len=4)... Done\n",
          traced(() -> s.loginellips(m.list, false, "1234".getBytes())));
      assertEquals("JNI: start PKCS11Session.getInfo... (session= 1)\n"
              + "JNI:BRIDGE: Calling C_GetSessionInfo... Done\n"
              + "JNI: creating jobject PKCS11SessionInfo...OK\n",
          traced(() -> s.getInfo(m.list)));
      assertEquals("JNI: start PKCS11Session.setPin... (session= 1)\n"
              + "JNI: Throwing vendor defined exc 'Internal error: oldPinStr == NULL'... Done\n",
          traced(() -> assertThrows(PKCS11Exception.class, () -> s.setPIN(m.list, null, "1"))),
          "the session is traced before the PINs are converted");
      assertEquals("JNI: start PKCS11Session.logout... (session= 1)\n"
              + "JNI:BRIDGE: Calling C_Logout ... Done\n",
          traced(() -> s.logout(m.list)));
    }
  }

  @Test
  void creationAndSearch() throws Exception {
    try (LoadedModule m = LoadedModule.recording()) {
      NativePKCS11Session s = m.openSession(0, true);
      assertEquals("JNI: start PKCS11Session.createObj... (ses=1)\n"
              + "JNI:BRIDGE: Calling C_CreateObject... Done\n"
              + "JNI: createObject PKCS11Session.createObj...\n"
              + "JNI: creating PKCS11Object (1)...OK\n"
              + "JNI: free PKCS11Session.createObj...\n"
              + "JNI: free(ckAttr) PKCS11Session.createObj...\n",
          traced(() -> ObjectSearchTest.data(m, s, "x")));
      assertEquals("JNI: start PKCS11Session.createObj... (ses=1)\n"
              + "\nERROR: cannot parse passed object 1\n",
          traced(() -> s.createObject(m.list, new int[] {3, 0}, new Object[] {"x", 1L})));

      assertEquals("JNI: start PKCS11Session.findObjectsInit... (session= 1)\n"
              + "JNI:BRIDGE: Calling C_FindObjectsInit ... Done\n",
          traced(() -> s.findObjectsInit(m.list, null, null)));
      assertEquals("JNI: start PKCS11Session.findObject... (session= 1)\n"
              + "JNI:BRIDGE: Calling C_FindObjects ... Done(found=1)\n"
              + "JNI: creating PKCS11Object (1)...OK\n",
          traced(() -> s.findObject(m.list)));
      assertEquals("JNI: start PKCS11Session.findObject... (session= 1)\n"
              + "JNI:BRIDGE: Calling C_FindObjects ... Done(found=0)\n"
              + "JNI: No more objects (NULL found)\n",
          traced(() -> s.findObject(m.list)));
      assertEquals("JNI: start PKCS11Session.findObjectsFinal... (session= 1)\n"
              + "JNI:BRIDGE: Calling C_FindObjectsFinal ... Done\n",
          traced(() -> s.findObjectsFinal(m.list)));
    }
  }

  @Test
  void cardStatusLines() throws Exception {
    try (LoadedModule m = LoadedModule.recording("IDENTRUS=08")) {
      NativePKCS11Session s = m.openSession(0, true);
      assertEquals("JNI: start PKCS11Session.setCardStatus oberthur... (session= 1)\n"
              + "JNI:BRIDGE: Calling C_FindObjectsInit ... Done\n"
              + "JNI:BRIDGE: Calling C_FindObjects ... Done(found=1)\n"
              + "JNI:BRIDGE: Calling C_FindObjectsFinal ... Done\n"
              + "Identrus application id = 1\n"
              + "JNI:BRIDGE: Calling C_GetAttributeValue 80004400 ...(len=1)... Done\n"
              + "Current lifeCycle status 8\n"
              + "Setting status to pre.first use\n"
              + "Setting lifeCycle status to 8\n"
              + "JNI:BRIDGE: Calling C_SetAttributeValue... Done\n",
          traced(() -> s.setCardStatus(m.list, 8)));
    }
  }
}
