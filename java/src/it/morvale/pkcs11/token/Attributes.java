package it.morvale.pkcs11.token;

import it.morvale.pkcs11.PKCS11Exception;
import java.lang.reflect.Field;
import java.lang.reflect.Modifier;
import java.nio.charset.StandardCharsets;
import java.security.GeneralSecurityException;
import java.util.ArrayList;
import java.util.Collections;
import java.util.HexFormat;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.Set;

/**
 * Every standard attribute of an object, read one by one and written as people read them:
 * truth values, numbers (classes, key types and mechanisms by name), texts, dates, and the rest in
 * hex. An attribute that the object does not have is left out; one that is secret is named as
 * such, since its absence would mislead.
 */
public final class Attributes {
  private Attributes() {}

  /** The value shown for an attribute that the token keeps secret. */
  public static final String SENSITIVE = "(sensitive: it never leaves the token)";

  private static final Set<Integer> BOOLEANS = Set.of(Cryptoki.CKA_TOKEN, Cryptoki.CKA_PRIVATE,
      Cryptoki.CKA_SENSITIVE, Cryptoki.CKA_ENCRYPT, Cryptoki.CKA_DECRYPT, Cryptoki.CKA_WRAP,
      Cryptoki.CKA_UNWRAP, Cryptoki.CKA_SIGN, Cryptoki.CKA_SIGN_RECOVER, Cryptoki.CKA_VERIFY,
      Cryptoki.CKA_VERIFY_RECOVER, Cryptoki.CKA_DERIVE, Cryptoki.CKA_EXTRACTABLE,
      Cryptoki.CKA_LOCAL, Cryptoki.CKA_NEVER_EXTRACTABLE, Cryptoki.CKA_ALWAYS_SENSITIVE,
      Cryptoki.CKA_MODIFIABLE, Cryptoki.CKA_COPYABLE, Cryptoki.CKA_DESTROYABLE,
      Cryptoki.CKA_TRUSTED, Cryptoki.CKA_ALWAYS_AUTHENTICATE, Cryptoki.CKA_WRAP_WITH_TRUSTED,
      Cryptoki.CKA_SECONDARY_AUTH, Cryptoki.CKA_RESET_ON_INIT, Cryptoki.CKA_HAS_RESET,
      Cryptoki.CKA_OTP_USER_FRIENDLY_MODE, Cryptoki.CKA_X2RATCHET_ISALICE);

  private static final Set<Integer> NUMBERS = Set.of(Cryptoki.CKA_CERTIFICATE_TYPE,
      Cryptoki.CKA_CERTIFICATE_CATEGORY, Cryptoki.CKA_JAVA_MIDP_SECURITY_DOMAIN,
      Cryptoki.CKA_MODULUS_BITS, Cryptoki.CKA_PRIME_BITS, Cryptoki.CKA_SUBPRIME_BITS,
      Cryptoki.CKA_VALUE_BITS, Cryptoki.CKA_VALUE_LEN, Cryptoki.CKA_HW_FEATURE_TYPE,
      Cryptoki.CKA_PROFILE_ID, Cryptoki.CKA_OTP_FORMAT, Cryptoki.CKA_OTP_LENGTH,
      Cryptoki.CKA_OTP_TIME_INTERVAL, Cryptoki.CKA_AUTH_PIN_FLAGS);

  private static final Set<Integer> MECHANISMS = Set.of(Cryptoki.CKA_KEY_GEN_MECHANISM,
      Cryptoki.CKA_NAME_HASH_ALGORITHM, Cryptoki.CKA_MECHANISM_TYPE);

  private static final Set<Integer> TEXTS = Set.of(
      Cryptoki.CKA_LABEL, Cryptoki.CKA_APPLICATION, Cryptoki.CKA_URL, Cryptoki.CKA_UNIQUE_ID);

  private static final Set<Integer> DATES = Set.of(Cryptoki.CKA_START_DATE, Cryptoki.CKA_END_DATE);

  /** One attribute type and its name. */
  public static final class Type {
    private final int type;
    private final String name;

    private Type(int type, String name) {
      this.type = type;
      this.name = name;
    }

    public int type() { return type; }

    /** "CKA_LABEL". */
    public String name() { return name; }
  }

  private static final List<Type> TYPES = collect();

  private static List<Type> collect() {
    List<Type> types = new ArrayList<>();
    for (Field field : Cryptoki.class.getFields()) {
      if (!field.getName().startsWith("CKA_")
          || field.getType() != int.class || !Modifier.isStatic(field.getModifiers())
          || field.getName().equals("CKA_VENDOR_DEFINED")) {
        continue;
      }
      try {
        types.add(new Type(field.getInt(null), field.getName()));
      } catch (IllegalAccessException e) {
        throw new IllegalStateException(e);
      }
    }
    types.sort((a, b) -> Integer.compareUnsigned(a.type, b.type));
    return Collections.unmodifiableList(types);
  }

  /** Every standard attribute type, in the order of their numbers. */
  public static List<Type> all() { return TYPES; }

  /**
   * The attributes that `object` has, by name, in the order of their numbers: a Boolean, a Long,
   * or a String (a text, a date "2026-12-09", a name such as "RSA", hex digits, or {@link
   * #SENSITIVE}).
   */
  public static Map<String, Object> of(TokenObject object) {
    Map<String, Object> values = new LinkedHashMap<>();
    for (Type t : TYPES) {
      Object value;
      try {
        value = read(object, t.type);
      } catch (PKCS11Exception e) {
        if (e.getCode() == Cryptoki.CKR_ATTRIBUTE_SENSITIVE) values.put(t.name, SENSITIVE);
        continue;
      }
      if (value != null) values.put(t.name, value);
    }
    return values;
  }

  private static Object read(TokenObject object, int type) throws PKCS11Exception {
    if (BOOLEANS.contains(type)) return object.bool(type);
    if (type == Cryptoki.CKA_CLASS) return Names.objectClass(object.integer(type));
    if (type == Cryptoki.CKA_KEY_TYPE) return Names.keyType(object.integer(type));
    if (MECHANISMS.contains(type)) {
      int mechanism = object.integer(type);
      // CK_UNAVAILABLE_INFORMATION: the token does not say.
      return mechanism == -1 ? null : Mechanism.nameOf(mechanism);
    }
    if (NUMBERS.contains(type)) return Integer.toUnsignedLong(object.integer(type));
    if (TEXTS.contains(type)) return object.string(type);
    byte[] bytes = object.bytes(type);
    if (bytes == null) return null;
    if (DATES.contains(type)) {
      if (bytes.length == 0) return "";
      String text = new String(bytes, StandardCharsets.US_ASCII);
      return text.length() == 8
          ? text.substring(0, 4) + "-" + text.substring(4, 6) + "-" + text.substring(6)
          : text;
    }
    String hex = HexFormat.of().formatHex(bytes);
    if (type == Cryptoki.CKA_EC_PARAMS) {
      try {
        return hex + " (" + Curves.of(bytes).name() + ")";
      } catch (GeneralSecurityException e) {
        return hex;
      }
    }
    return hex;
  }
}
