package it.morvale.pkcs11.nat;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertTrue;

import it.morvale.pkcs11.PKCS11Exception;
import java.math.BigInteger;
import java.nio.charset.StandardCharsets;
import java.util.Date;
import java.util.List;
import org.junit.jupiter.api.Test;

/**
 * Sizes far beyond the VM's local reference capacity (32 under -Xcheck:jni, whose warning fails
 * the run): a thousand slots in one array, a search over ten thousand objects and a template of
 * ten thousand attributes of every value class.
 */
class ScaleTest {
  static final int CKA_CLASS = 0x0;
  static final int CKA_LABEL = 0x3;
  static final int CKO_DATA = 0;

  @Test
  void aThousandSlotsInOneList() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording("SLOTS=1000")) {
      NativePKCS11Slot[] slots = m.p11.getSlotList(m.list, false);
      assertEquals(1000, slots.length);
      for (int i = 0; i < slots.length; i++) {
        assertEquals(i, slots[i].slotID);
        assertSame(m.p11, slots[i].module);
      }
    }
  }

  @Test
  void aSearchOverTenThousandObjects() throws PKCS11Exception {
    try (LoadedModule m = LoadedModule.recording("SLOTS=1", "DATA_OBJECTS=10000")) {
      NativePKCS11Session s = m.openSession(0, false);
      s.findObjectsInit(m.list, new int[] {CKA_CLASS}, new Object[] {CKO_DATA});
      int found = 0;
      NativePKCS11Object last = null;
      for (NativePKCS11Object o = s.findObject(m.list); o != null; o = s.findObject(m.list)) {
        assertEquals(found + 1, o.objectID, "creation order");
        assertSame(s, o.session);
        last = o;
        found++;
      }
      s.findObjectsFinal(m.list);
      assertEquals(10000, found);
      assertEquals("object 9999", last.getStringAttributeValue(m.list, CKA_LABEL));
    }
  }

  @Test
  void aTemplateOfTenThousandAttributes() throws PKCS11Exception {
    int n = 10000;
    int[] types = new int[n];
    Object[] values = new Object[n];
    long size = 0;
    for (int i = 0; i < n; i++) {
      types[i] = 0x80000000 | i; // vendor-defined types, each once
      switch (i % 6) {
        case 0:
          values[i] = "value " + i;
          size += ("value " + i).getBytes(StandardCharsets.UTF_8).length;
          break;
        case 1:
          values[i] = new byte[i % 50];
          size += i % 50;
          break;
        case 2:
          values[i] = i;
          size += 8; // a CK_ULONG
          break;
        case 3:
          values[i] = i % 4 == 3;
          size += 1;
          break;
        case 4:
          BigInteger big = BigInteger.valueOf(i).shiftLeft(i % 64);
          values[i] = big;
          byte[] bytes = big.toByteArray();
          size += bytes[0] == 0 ? bytes.length - 1 : bytes.length;
          break;
        default:
          values[i] = new Date(86_400_000L * i);
          size += 8; // yyyyMMdd
      }
    }
    try (LoadedModule m = LoadedModule.recording("SLOTS=1")) {
      NativePKCS11Session s = m.openSession(0, true);
      NativePKCS11Object created = s.createObject(m.list, types, values);
      List<String> lines = TestBridge.journal("C_CreateObject");
      assertEquals(1, lines.size());
      assertTrue(
          lines.get(0).endsWith(" ulCount=0x2710 phObject=out -> 0x0"), "the whole template");
      assertEquals(size, created.size(m.list), "the sum of every value's length");
      assertEquals("value 9996",
          new String(
              created.getByteArrayAttributeValue(m.list, types[9996]), StandardCharsets.UTF_8));
      assertArrayEquals(
          new byte[9997 % 50], created.getByteArrayAttributeValue(m.list, types[9997]));
      assertEquals(9998, created.getIntAttributeValue(m.list, types[9998]));
      assertEquals(true, created.getBoolAttributeValue(m.list, types[9999]));
    }
  }
}
