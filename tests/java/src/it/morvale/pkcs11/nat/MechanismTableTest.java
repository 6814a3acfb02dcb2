package it.morvale.pkcs11.nat;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertTrue;

import it.morvale.pkcs11.token.Mechanism;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Set;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import org.junit.jupiter.api.Test;

/** The mechanism table against the CKM_ definitions of p11-kit's PKCS#11 header. */
class MechanismTableTest {
  static final Path HEADER = Path.of("/usr/include/p11-kit-1/p11-kit/pkcs11.h");

  /** The header's deprecated names, which share their number with the current name. */
  static final Set<String> DEPRECATED =
      Set.of("CKM_ECDSA_KEY_PAIR_GEN", "CKM_CAST5_KEY_GEN", "CKM_CAST5_ECB", "CKM_CAST5_CBC",
          "CKM_CAST5_MAC", "CKM_CAST5_MAC_GENERAL", "CKM_CAST5_CBC_PAD", "CKM_PBE_MD5_CAST5_CBC",
          "CKM_PBE_SHA1_CAST5_CBC", "CKM_DSA_PROBABLISTIC_PARAMETER_GEN");

  @Test
  void everyMechanismOfTheHeaderHasItsName() throws IOException {
    Pattern define =
        Pattern.compile("#define\\s+(CKM_\\w+)\\s+\\(\\s*(0x[0-9a-fA-F]+|\\d+)UL\\s*\\)");
    Matcher m = define.matcher(Files.readString(HEADER));
    int count = 0;
    while (m.find()) {
      String header = m.group(1);
      String digits = m.group(2);
      int value = digits.startsWith("0x") ? Integer.parseUnsignedInt(digits.substring(2), 16)
                                          : Integer.parseUnsignedInt(digits);
      Mechanism mechanism = Mechanism.of(value);
      assertEquals(value, mechanism.type(), header);
      assertFalse(mechanism.name().startsWith("0x"), header + " has no name");
      assertSame(mechanism, Mechanism.named(header), header);
      if (!DEPRECATED.contains(header)) {
        assertEquals(header.substring(4).replace('_', '-'), mechanism.name(), header);
      }
      count++;
    }
    assertTrue(count > 300, "only " + count + " CKM_ definitions read from " + HEADER);
  }

  @Test
  void everyRowIsFoundByItsName() {
    for (Mechanism m : Mechanism.all()) {
      assertSame(m, Mechanism.named(m.name()), m.name());
      assertSame(m, Mechanism.named(m.name().toLowerCase()), m.name());
      assertSame(m, Mechanism.named("CKM_" + m.name().replace('-', '_')), m.name());
    }
  }

  @Test
  void typesOutsideTheTableAreNamedInHex() {
    Mechanism vendor = Mechanism.of(0x80000001);
    assertEquals("0x80000001", vendor.name());
    assertTrue(vendor.isVendorDefined());
    assertEquals(Mechanism.Kind.OTHER, vendor.kind());
    assertEquals(-1, vendor.keyType());
    assertEquals("0x00007FFF", Mechanism.nameOf(0x7FFF));
    assertEquals(vendor, Mechanism.named("0x80000001"));
    assertEquals("SHA256-RSA-PKCS", Mechanism.named("64").name());
    assertNull(Mechanism.named("NO-SUCH-MECHANISM"));
  }
}
