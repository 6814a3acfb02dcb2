package it.morvale.pkcs11.nat;

import static it.morvale.pkcs11.nat.LifecycleTest.assertCode;
import static it.morvale.pkcs11.nat.LifecycleTest.assertMessage;
import static it.morvale.pkcs11.nat.SessionTest.last;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertTrue;

import it.morvale.pkcs11.PKCS11Exception;
import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.api.Test;

/** Object search, object creation and certificate installation. */
class ObjectSearchTest {
  static final int CKA_CLASS = 0x0;
  static final int CKA_TOKEN = 0x1;
  static final int CKA_LABEL = 0x3;
  static final int CKA_VALUE = 0x11;
  static final int CKO_DATA = 0;
  static final int CKR_OPERATION_NOT_INITIALIZED = 0x91;
  static final int CKR_TEMPLATE_INCOMPLETE = 0xD0;

  static NativePKCS11Object data(LoadedModule m, NativePKCS11Session s, String label)
      throws PKCS11Exception {
    return s.createObject(
        m.list, new int[] {CKA_CLASS, CKA_TOKEN, CKA_LABEL}, new Object[] {CKO_DATA, false, label});
  }

  /** Every object that findObject yields until it answers null. */
  static List<NativePKCS11Object> drain(LoadedModule m, NativePKCS11Session s)
      throws PKCS11Exception {
    List<NativePKCS11Object> found = new ArrayList<>();
    for (NativePKCS11Object o = s.findObject(m.list); o != null; o = s.findObject(m.list)) {
      found.add(o);
    }
    s.findObjectsFinal(m.list);
    return found;
  }

  @Test
  void searchOverThreeCreatedObjects() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording("OBJECT_BASE=0xfffffffd")) {
      NativePKCS11Session s = m.openSession(0, true);
      for (String label : new String[] {"one", "two", "three"}) assertNotNull(data(m, s, label));
      String integer = TestBridge.journal("C_CreateObject").get(0);
      assertTrue(integer.contains("{type=0x0,len=0x8,val=0000000000000000}"), integer);

      TestBridge.clearJournal();
      s.findObjectsInit(m.list, null, null);
      List<NativePKCS11Object> all = drain(m, s);
      assertEquals(3, all.size());
      for (int i = 0; i < 3; i++) {
        assertEquals(-3 + i, all.get(i).objectID, "the highest handles, as negative ints");
        assertSame(s, all.get(i).session);
      }
      assertEquals("C_FindObjectsInit hSession=0x1 pTemplate=NULL ulCount=0x0 -> 0x0",
          last("C_FindObjectsInit"));
      List<String> steps = TestBridge.journal("C_FindObjects");
      assertEquals(4, steps.size(), "three objects, then none");
      for (String step : steps) assertTrue(step.contains("ulMaxObjectCount=0x1"), step);

      s.findObjectsInit(m.list, new int[0], new Object[0]);
      assertEquals("C_FindObjectsInit hSession=0x1 pTemplate=[] ulCount=0x0 -> 0x0",
          last("C_FindObjectsInit"));
      assertEquals(3, drain(m, s).size());

      s.findObjectsInit(m.list, new int[] {CKA_LABEL}, new Object[] {"two"});
      List<NativePKCS11Object> two = drain(m, s);
      assertEquals(1, two.size());
      assertEquals(-2, two.get(0).objectID);
      assertCode(CKR_OPERATION_NOT_INITIALIZED, () -> s.findObject(m.list));
      assertCode(CKR_OPERATION_NOT_INITIALIZED, () -> s.findObjectsFinal(m.list));
    }
  }

  @Test
  void createObjectFailures() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording()) {
      NativePKCS11Session s = m.openSession(0, true);
      TestBridge.clearJournal();
      assertMessage("Different array length",
          () -> s.createObject(m.list, new int[2], new Object[] {1, 2, 3}));
      assertMessage(
          "Different array length", () -> s.findObjectsInit(m.list, new int[1], new Object[0]));
      assertMessage(
          "Internal error (Null parameter)", () -> s.createObject(m.list, null, new Object[0]));
      assertMessage(
          "Internal error (Null parameter)", () -> s.findObjectsInit(m.list, new int[0], null));
      // A Long is no class the bridge converts: null, and nothing thrown.
      assertNull(s.createObject(m.list, new int[] {CKA_LABEL, CKA_VALUE}, new Object[] {"a", 5L}));
      s.findObjectsInit(m.list, new int[] {CKA_LABEL}, new Object[] {7L});
      assertEquals(List.of(), TestBridge.journal(), "no module call");

      m.reconfigure("RV_C_CreateObject=0xd1");
      assertCode(0xD1, () -> s.createObject(m.list, new int[0], new Object[0]));
      assertEquals("C_CreateObject hSession=0x1 pTemplate=[] ulCount=0x0 phObject=out -> 0xd1",
          last("C_CreateObject"));
    }
  }

  @Test
  void certificateTemplate() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording()) {
      NativePKCS11Session s = m.openSession(0, true);
      s.installCertificate(
          m.list, 0x100000002L, new byte[] {0x30, 0x00}, null, "CN=s", "07", "CN=i", "cert");
      assertEquals("C_CreateObject hSession=0x1 pTemplate=[{type=0x0,len=0x8,val=0100000000000000},"
              + "{type=0x80,len=0x8,val=0000000000000000},"
              + "{type=0x80002000,len=0x8,val=0200000001000000},{type=0x11,len=0x2,val=3000},"
              + "{type=0x3,len=0x4,val=63657274},{type=0x101,len=0x4,val=434e3d73},"
              + "{type=0x82,len=0x2,val=3037},{type=0x81,len=0x4,val=434e3d69}] ulCount=0x8 "
              + "phObject=out -> 0x0",
          last("C_CreateObject"));
      assertMessage("Internal error (Null parameter)",
          () -> s.installCertificate(m.list, 0, null, null, "s", "1", "i", "l"));
    }
  }

  @Test
  void softHsmSearchAndCreation() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.start(SoftHsmTest.SOFTHSM)) {
      NativePKCS11Session s = m.openSession(m.firstToken(), true);
      s.login(m.list, false, "1234");
      String label = "search-" + System.nanoTime();
      List<Integer> made = new ArrayList<>();
      for (int i = 0; i < 3; i++) made.add(data(m, s, label).objectID);

      s.findObjectsInit(m.list, new int[] {CKA_CLASS, CKA_LABEL}, new Object[] {CKO_DATA, label});
      List<Integer> found = new ArrayList<>();
      for (NativePKCS11Object o : drain(m, s)) found.add(o.objectID);
      found.sort(null);
      made.sort(null);
      assertEquals(made, found);

      s.findObjectsInit(m.list, new int[] {CKA_LABEL}, new Object[] {label + "-none"});
      assertNull(s.findObject(m.list));
      s.findObjectsFinal(m.list);
      assertCode(CKR_TEMPLATE_INCOMPLETE, () -> s.createObject(m.list, new int[0], new Object[0]));
    }
  }
}
