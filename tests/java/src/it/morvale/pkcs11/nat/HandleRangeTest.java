package it.morvale.pkcs11.nat;

import static it.morvale.pkcs11.nat.LifecycleTest.assertMessage;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;

import it.morvale.pkcs11.PKCS11Exception;
import java.util.List;
import java.util.stream.Collectors;
import org.junit.jupiter.api.Test;

/**
 * Session and object handles that the int fields of the Java objects cannot hold, as modules such
 * as tpm2-pkcs11 hand out: the bridge makes no Java object of them. A session is closed again in
 * the module; an object stays where the module made it.
 */
class HandleRangeTest {
  static final String OUT_OF_RANGE = "Internal error: handle out of range";
  static final int CKA_LABEL = 0x3;
  static final int CKM_RSA_PKCS_KEY_PAIR_GEN = 0x0;

  /** The functions of the journal lines, in order. */
  static List<String> functionsCalled() {
    return TestBridge.journal()
        .stream()
        .map(line -> line.substring(0, line.indexOf(' ')))
        .collect(Collectors.toList());
  }

  @Test
  void aSessionThatJavaCannotNameIsClosedAgain() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording("SESSION_BASE=0xffffffff")) {
      NativePKCS11Session highest = m.openSession(0, false);
      assertEquals(-1, highest.sessionID, "the highest handle that an int holds");
      assertNotNull(highest.getInfo(m.list));
      TestBridge.clearJournal();
      assertMessage(OUT_OF_RANGE, () -> m.openSession(0, false));
      assertEquals(
          List.of("C_OpenSession slotID=0x0 flags=0x4 pApplication=NULL Notify=NULL phSession=out"
                  + " -> 0x0",
              "C_CloseSession hSession=0x100000000 -> 0x0"),
          TestBridge.journal());
    }
  }

  @Test
  void objectsThatJavaCannotNameAreNotWrapped() throws PKCS11Exception {
    try (LoadedModule m =
             LoadedModule.recording("DATA_OBJECTS=1", "OBJECT_BASE=0x0100000000000001")) {
      NativePKCS11Session s = m.openSession(0, true);
      TestBridge.clearJournal();
      s.findObjectsInit(m.list, null, null);
      assertMessage(OUT_OF_RANGE, () -> s.findObject(m.list));
      s.findObjectsFinal(m.list);
      assertMessage(
          OUT_OF_RANGE, () -> s.createObject(m.list, new int[] {CKA_LABEL}, new Object[] {"wide"}));
      assertEquals(
          List.of("C_FindObjectsInit", "C_FindObjects", "C_FindObjectsFinal", "C_CreateObject"),
          functionsCalled(), "nothing is destroyed");
      assertEquals("C_CreateObject hSession=0x1 pTemplate=[{type=0x3,len=0x4,val=77696465}] "
              + "ulCount=0x1 phObject=out -> 0x0",
          TestBridge.journal().get(3));
    }
    // A key pair whose private key alone is out of range gives no pair at all.
    try (LoadedModule m = LoadedModule.recording("OBJECT_BASE=0xffffffff")) {
      NativePKCS11Session s = m.openSession(0, true);
      TestBridge.clearJournal();
      assertMessage(OUT_OF_RANGE,
          ()
              -> s.generateKeyPair(m.list, CKM_RSA_PKCS_KEY_PAIR_GEN, null, new int[0],
                  new Object[0], new int[0], new Object[0]));
      assertEquals(List.of("C_GenerateKeyPair"), functionsCalled(), "nothing is destroyed");
    }
  }
}
