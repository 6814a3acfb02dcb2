package it.morvale.pkcs11.nat;

import static it.morvale.pkcs11.nat.ObjectAttributesTest.CKA_END_DATE;
import static it.morvale.pkcs11.nat.ObjectAttributesTest.CKA_LABEL;
import static it.morvale.pkcs11.nat.ObjectAttributesTest.CKA_MODULUS;
import static it.morvale.pkcs11.nat.ObjectAttributesTest.CKA_TOKEN;
import static it.morvale.pkcs11.nat.TraceLogTest.traced;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import it.morvale.pkcs11.PKCS11Exception;
import java.math.BigInteger;
import org.junit.jupiter.api.Test;

/** The trace lines of the object methods (this JVM traces, see TraceLogTest). */
class ObjectTraceLogTest {
  @Test
  void readsAndWritesAreTraced() throws Exception {
    try (TokenSession m = TokenSession.recording()) {
      NativePKCS11Object o =
          ObjectAttributesTest.create(m, new int[] {CKA_TOKEN, CKA_END_DATE, CKA_MODULUS},
              new Object[] {false, new byte[] {0, 1, 2, 3, 4, 5, 6, 7}, BigInteger.valueOf(65537)});
      String handles = "(obj= " + o.objectID + ")(ses=" + o.session.sessionID + ")\n";
      String read = "JNI:BRIDGE: Calling C_GetAttributeValue ";

      assertEquals("JNI: start PKCS11Object.getAttr(1) Bool... " + handles + read
              + "1 ...(len=1)... Done\n"
              + "JNI: creating jobject Boolean...OK\n",
          traced(() -> o.getAttributeValue(m.list, CKA_TOKEN)));
      assertEquals("JNI: start PKCS11Object.getAttr(288) BigInt... " + handles + read
              + "120 ...(len=3)... Done\n"
              + "JNI: creating jobject BigInteger...OK\n",
          traced(() -> o.getBigIntegerAttributeValue(m.list, CKA_MODULUS)));
      // The date read prints no handles line.
      assertEquals("JNI: start PKCS11Object.getDateAttr(273)... " + read
              + "111 ...(len=8)... Done\n"
              + "strelen(ckDatePtr) = 0!\n"
              + "JNI: Throwing vendor defined exc 'VOID Date field'... Done\n",
          traced(()
                     -> assertThrows(PKCS11Exception.class,
                         () -> o.getDateAttributeValue(m.list, CKA_END_DATE))));
      assertEquals("JNI: start PKCS11Object.setAttrValues... " + handles
              + "\nERROR: cannot parse passed object 1\n",
          traced(()
                     -> o.setAttributeValues(
                         m.list, new int[] {CKA_LABEL, CKA_LABEL}, new Object[] {"a", 1L})));
      // A vendor type prints as the unsigned number where long has 64 bits.
      assertEquals("JNI: start PKCS11Object.setAttr(2147484161)... " + handles
              + "JNI:BRIDGE: Calling C_SetAttributeValue... Done\n",
          traced(() -> o.setBoolAttributeValue(m.list, 0x80000201, true)));
    }
  }
}
