package it.morvale.pkcs11.nat;

import static it.morvale.pkcs11.nat.LifecycleTest.assertCode;
import static it.morvale.pkcs11.nat.LifecycleTest.assertMessage;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import it.morvale.pkcs11.PKCS11Exception;
import java.math.BigInteger;
import java.text.ParseException;
import java.text.SimpleDateFormat;
import java.util.Date;
import java.util.List;
import org.junit.jupiter.api.Test;

/** Attribute reads and writes of NativePKCS11Object on the recording module and on SoftHSM2. */
class ObjectAttributesTest {
  static final int CKA_CLASS = 0x0;
  static final int CKA_TOKEN = 0x1;
  static final int CKA_PRIVATE = 0x2;
  static final int CKA_LABEL = 0x3;
  static final int CKA_APPLICATION = 0x10;
  static final int CKA_VALUE = 0x11;
  static final int CKA_KEY_TYPE = 0x100;
  static final int CKA_ID = 0x102;
  static final int CKA_SENSITIVE = 0x103;
  static final int CKA_END_DATE = 0x111;
  static final int CKA_MODULUS = 0x120;
  static final int CKA_VALUE_LEN = 0x161;
  static final int CKA_MODIFIABLE = 0x170;
  static final int VENDOR = 0x80000201;
  static final int CKO_DATA = 0;
  static final int CKO_SECRET_KEY = 4;
  static final int CKK_GENERIC_SECRET = 0x10;

  static Date day(String yyyyMMdd) throws ParseException {
    return new SimpleDateFormat("yyyyMMdd").parse(yyyyMMdd);
  }

  /** An object made in the token session from parallel arrays of types and values. */
  static NativePKCS11Object create(TokenSession m, int[] types, Object[] values)
      throws PKCS11Exception {
    NativePKCS11Object object = m.session.createObject(m.list, types, values);
    TestBridge.clearJournal();
    return object;
  }

  @Test
  void theGenericReadPicksTheClassByType() throws Exception {
    try (TokenSession m = TokenSession.recording()) {
      NativePKCS11Object o =
          create(m, new int[] {CKA_CLASS, CKA_TOKEN, CKA_LABEL, CKA_ID, CKA_END_DATE, CKA_MODULUS},
              new Object[] {CKO_DATA, false, "hello", new byte[] {1, 2}, day("20310305"),
                  new BigInteger(1, new byte[] {(byte) 0x80, 1})});
      assertEquals(Integer.valueOf(CKO_DATA), o.getAttributeValue(m.list, CKA_CLASS));
      assertEquals(Boolean.FALSE, o.getAttributeValue(m.list, CKA_TOKEN));
      assertEquals("hello", o.getAttributeValue(m.list, CKA_LABEL));
      assertArrayEquals(new byte[] {1, 2}, (byte[]) o.getAttributeValue(m.list, CKA_ID));
      assertEquals(day("20310305"), o.getAttributeValue(m.list, CKA_END_DATE));
      assertEquals(BigInteger.valueOf(0x8001), o.getAttributeValue(m.list, CKA_MODULUS),
          "a leading 0x80 byte still reads as a positive number");
      TestBridge.clearJournal();
      assertMessage("Object type not valid", () -> o.getAttributeValue(m.list, 0x90));
      assertMessage("Object type not valid", () -> o.getAttributeValue(m.list, VENDOR));
      assertTrue(TestBridge.journal().isEmpty(), "refused before any call");
      // The typed reads ask for the length, then for the value, with zero-extended types.
      assertArrayEquals(new byte[] {1, 2}, o.getByteArrayAttributeValue(m.list, CKA_ID));
      List<String> reads = TestBridge.journal("C_GetAttributeValue");
      assertEquals(2, reads.size());
      assertTrue(reads.get(0).contains("pTemplate=[{type=0x102,len=0x0,val=NULL}]"), reads.get(0));
      assertTrue(reads.get(1).contains("pTemplate=[{type=0x102,len=0x2,val=out}]"), reads.get(1));
    }
  }

  @Test
  void datesEmptyAndShortValues() throws Exception {
    try (TokenSession m = TokenSession.recording()) {
      NativePKCS11Object binary = create(m, new int[] {CKA_END_DATE, CKA_LABEL, CKA_ID},
          new Object[] {new byte[] {2, 0, 2, 4, 0, 3, 1, 5}, "", new byte[0]});
      assertEquals(day("20240315"), binary.getDateAttributeValue(m.list, CKA_END_DATE),
          "digits stored as binary numbers");
      assertEquals("", binary.getStringAttributeValue(m.list, CKA_LABEL));
      assertArrayEquals(new byte[0], binary.getByteArrayAttributeValue(m.list, CKA_ID));

      NativePKCS11Object voids = create(m, new int[] {CKA_END_DATE, CKA_CLASS, CKA_TOKEN, CKA_ID},
          new Object[] {new byte[] {0, '0', '2', '4', '0', '3', '1', '5'}, new byte[0], new byte[0],
              new byte[3]});
      assertMessage("VOID Date field", () -> voids.getDateAttributeValue(m.list, CKA_END_DATE));
      assertMessage("VOID int field", () -> voids.getIntAttributeValue(m.list, CKA_CLASS));
      assertMessage("VOID int field", () -> voids.getAttributeValue(m.list, CKA_CLASS));
      assertMessage("VOID boolean field", () -> voids.getBoolAttributeValue(m.list, CKA_TOKEN));
      assertMessage("VOID Date field", () -> voids.getDateAttributeValue(m.list, CKA_ID));
      assertMessage(
          "VOID BigInteger field", () -> voids.getBigIntegerAttributeValue(m.list, CKA_CLASS));
      // Three bytes are fewer than a CK_ULONG holds.
      assertMessage("VOID int field", () -> voids.getIntAttributeValue(m.list, CKA_ID));

      NativePKCS11Object bad = create(m, new int[] {CKA_END_DATE, CKA_LABEL},
          new Object[] {"2024AB15",
              new byte[] {'a', (byte) 0xff, (byte) 0xf0, (byte) 0x9f, (byte) 0x98, (byte) 0x80}});
      assertThrows(ParseException.class, () -> bad.getDateAttributeValue(m.list, CKA_END_DATE));
      assertEquals("a\ufffd\ud83d\ude00", bad.getStringAttributeValue(m.list, CKA_LABEL),
          "bytes that are no UTF-8 become U+FFFD, four-byte sequences surrogate pairs");
    }
  }

  @Test
  void vendorAttributesAndModuleFailures() throws Exception {
    try (TokenSession m = TokenSession.recording("IDENTRUS=08")) {
      // The token object that IDENTRUS adds is the first object.
      NativePKCS11Object identrus = m.object(1);
      assertArrayEquals(new byte[] {1, (byte) 0x80, 0, (byte) 0x80},
          identrus.getByteArrayAttributeValue(m.list, VENDOR));
      assertMessage("VOID int field", () -> identrus.getIntAttributeValue(m.list, VENDOR));

      NativePKCS11Object secret = create(m, new int[] {CKA_CLASS, CKA_SENSITIVE, CKA_VALUE},
          new Object[] {CKO_SECRET_KEY, true, new byte[] {1, 2, 3}});
      assertCode(0x11, () -> secret.getByteArrayAttributeValue(m.list, CKA_VALUE));
      assertEquals(1, TestBridge.journal("C_GetAttributeValue").size(), "only the length query");
      assertCode(0x12, () -> secret.getStringAttributeValue(m.list, CKA_LABEL));

      m.module.reconfigure("RV_C_GetAttributeValue=0xb3");
      assertCode(0xB3, () -> secret.getAttributeValue(m.list, CKA_TOKEN));
      m.module.reconfigure("NULLFN=C_GetAttributeValue,C_GetObjectSize,C_DestroyObject");
      assertMessage("Internal error", () -> secret.getBoolAttributeValue(m.list, CKA_SENSITIVE));
      assertMessage("Internal error", () -> secret.size(m.list));
      assertMessage("Internal error", () -> secret.destroy(m.list));
      assertMessage("Not supported", () -> secret.copy(m.list, null, null));
    }
  }

  @Test
  void writesReachTheModuleAsGiven() throws Exception {
    try (TokenSession m = TokenSession.recording()) {
      NativePKCS11Object o =
          create(m, new int[] {CKA_CLASS, CKA_LABEL}, new Object[] {CKO_DATA, "old"});
      String handles = "hSession=0x" + Integer.toHexString(o.session.sessionID) + " hObject=0x"
          + Integer.toHexString(o.objectID);

      o.setAttributeValue(m.list, CKA_LABEL, "new");
      o.setIntAttributeValue(m.list, CKA_VALUE_LEN, -1);
      o.setBoolAttributeValue(m.list, VENDOR, true);
      o.setAttributeValues(
          m.list, new int[] {CKA_ID, CKA_END_DATE}, new Object[] {new byte[] {9}, day("20240315")});
      o.setAttributeValues(m.list, new int[0], new Object[0]);
      List<String> writes = TestBridge.journal("C_SetAttributeValue");
      assertEquals(
          List.of("C_SetAttributeValue " + handles
                  + " pTemplate=[{type=0x3,len=0x3,val=6e6577}] ulCount=0x1 -> 0x0",
              "C_SetAttributeValue " + handles
                  + " pTemplate=[{type=0x161,len=0x8,val=ffffffffffffffff}] ulCount=0x1 -> 0x0",
              "C_SetAttributeValue " + handles
                  + " pTemplate=[{type=0x80000201,len=0x1,val=01}] ulCount=0x1 -> 0x0",
              "C_SetAttributeValue " + handles + " pTemplate=[{type=0x102,len=0x1,val=09},"
                  + "{type=0x111,len=0x8,val=3230323430333135}] ulCount=0x2 -> 0x0",
              "C_SetAttributeValue " + handles + " pTemplate=[] ulCount=0x0 -> 0x0"),
          writes);
      assertEquals("new", o.getStringAttributeValue(m.list, CKA_LABEL));
      assertEquals(-1, o.getIntAttributeValue(m.list, CKA_VALUE_LEN));
      assertTrue(o.getBoolAttributeValue(m.list, VENDOR));
      assertEquals(day("20240315"), o.getAttributeValue(m.list, CKA_END_DATE));

      // Values that do not convert are dropped quietly; null values and bad
      // arrays are refused.
      TestBridge.clearJournal();
      assertMessage(
          "Internal error (Null parameter)", () -> o.setAttributeValue(m.list, CKA_LABEL, null));
      o.setAttributeValue(m.list, CKA_LABEL, 5L);
      o.setAttributeValues(m.list, new int[] {CKA_LABEL, CKA_ID}, new Object[] {"a", 1L});
      assertMessage("Different array length",
          () -> o.setAttributeValues(m.list, new int[] {CKA_LABEL}, new Object[0]));
      assertMessage("Internal error (Null parameter)",
          () -> o.setAttributeValues(m.list, null, new Object[0]));
      assertMessage(
          "Internal error (Null parameter)", () -> o.setAttributeValues(m.list, new int[0], null));
      assertTrue(TestBridge.journal().isEmpty(), TestBridge.journal().toString());

      NativePKCS11Object locked = create(m, new int[] {CKA_MODIFIABLE}, new Object[] {false});
      assertCode(0x1B, () -> locked.setAttributeValue(m.list, CKA_LABEL, "x"));
      assertCode(0x1B, () -> locked.setBoolAttributeValue(m.list, CKA_TOKEN, false));
      assertCode(
          0x1B, () -> locked.setAttributeValues(m.list, new int[] {CKA_LABEL}, new Object[] {"x"}));
    }
  }

  @Test
  void sizeDestroyAndHandles() throws Exception {
    try (TokenSession m = TokenSession.recording()) {
      NativePKCS11Object o =
          create(m, new int[] {CKA_LABEL, CKA_ID}, new Object[] {"hello", new byte[] {1, 2, 3}});
      assertEquals(8, o.size(m.list));
      o.destroy(m.list);
      assertEquals(List.of("C_DestroyObject hSession=0x" + Integer.toHexString(o.session.sessionID)
                       + " hObject=0x" + Integer.toHexString(o.objectID) + " -> 0x0"),
          TestBridge.journal("C_DestroyObject"));
      assertCode(0x82, () -> o.size(m.list));
      assertCode(0x82, () -> o.destroy(m.list));

      // Handles travel as unsigned 32-bit numbers; an object needs its session.
      NativePKCS11Object odd = new NativePKCS11Object(o.session, -5);
      TestBridge.clearJournal();
      assertCode(0x82, () -> odd.getBoolAttributeValue(m.list, CKA_TOKEN));
      assertTrue(TestBridge.journal().get(0).contains("hObject=0xfffffffb "));
      NativePKCS11Object orphan = new NativePKCS11Object(null, 1);
      assertMessage("Internal error (Null parameter)", () -> orphan.size(m.list));
    }
  }

  @Test
  void aDataObjectAndAKeyOnSoftHsm() throws Exception {
    try (TokenSession m = TokenSession.softHsm()) {
      NativePKCS11Object data =
          create(m, new int[] {CKA_CLASS, CKA_TOKEN, CKA_PRIVATE, CKA_LABEL, CKA_VALUE},
              new Object[] {CKO_DATA, false, false, "quillon data", new byte[] {5, 6, 7}});
      assertEquals(CKO_DATA, data.getIntAttributeValue(m.list, CKA_CLASS));
      assertEquals(Integer.valueOf(CKO_DATA), data.getAttributeValue(m.list, CKA_CLASS));
      assertEquals(Boolean.FALSE, data.getAttributeValue(m.list, CKA_TOKEN));
      assertEquals("quillon data", data.getAttributeValue(m.list, CKA_LABEL));
      assertArrayEquals(new byte[] {5, 6, 7}, (byte[]) data.getAttributeValue(m.list, CKA_VALUE));
      assertEquals(-1, data.size(m.list), "SoftHSM2 reports the size as unavailable (all ones)");

      data.setAttributeValue(m.list, CKA_LABEL, "renamed");
      assertEquals("renamed", data.getStringAttributeValue(m.list, CKA_LABEL));
      // The value and the application of a data object are fixed once it exists.
      assertCode(0x10, () -> data.setAttributeValue(m.list, CKA_VALUE, new byte[] {8}));
      assertCode(0x10,
          ()
              -> data.setAttributeValues(m.list, new int[] {CKA_LABEL, CKA_APPLICATION},
                  new Object[] {"twice", "quillon tests"}));

      NativePKCS11Object key = create(m,
          new int[] {
              CKA_CLASS, CKA_KEY_TYPE, CKA_TOKEN, CKA_PRIVATE, CKA_ID, CKA_SENSITIVE, CKA_VALUE},
          new Object[] {CKO_SECRET_KEY, CKK_GENERIC_SECRET, false, false, new byte[] {0x42}, true,
              new byte[16]});
      assertArrayEquals(new byte[] {0x42}, (byte[]) key.getAttributeValue(m.list, CKA_ID));
      assertEquals(16, key.getIntAttributeValue(m.list, CKA_VALUE_LEN));
      assertTrue(key.getBoolAttributeValue(m.list, CKA_SENSITIVE));
      assertCode(0x11, () -> key.getByteArrayAttributeValue(m.list, CKA_VALUE));
      key.setBoolAttributeValue(m.list, 0x108, true);
      assertEquals(Boolean.TRUE, key.getAttributeValue(m.list, 0x108));
      key.setAttributeValues(
          m.list, new int[] {CKA_ID, CKA_LABEL}, new Object[] {new byte[] {7, 7}, "key"});
      assertArrayEquals(new byte[] {7, 7}, key.getByteArrayAttributeValue(m.list, CKA_ID));
      assertEquals("key", key.getAttributeValue(m.list, CKA_LABEL));

      data.destroy(m.list);
      key.destroy(m.list);
      assertCode(0x82, () -> data.getStringAttributeValue(m.list, CKA_LABEL));
    }
  }
}
