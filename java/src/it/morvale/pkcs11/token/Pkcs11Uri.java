package it.morvale.pkcs11.token;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.PKCS11Info;
import it.morvale.pkcs11.PKCS11SlotInfo;
import it.morvale.pkcs11.PKCS11TokenInfo;
import java.io.ByteArrayOutputStream;
import java.nio.ByteBuffer;
import java.nio.charset.CharacterCodingException;
import java.nio.charset.CodingErrorAction;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.stream.Collectors;

/**
 * A PKCS#11 URI (RFC 7512), such as {@code pkcs11:token=Mine;object=signing;type=private;id=%01}:
 * the module, slot and token attributes choose a slot ({@link #slotChoice}), the object
 * attributes choose objects ({@link #selector}), and {@link #of} writes the URI of an object.
 *
 * <p>Values are percent-decoded; a text value is UTF-8, an id any bytes. An attribute given
 * twice, one that is not understood (a vendor's {@code x-} attributes among them), and the
 * {@code pin-value} and {@code pin-source} query attributes (PINs are read apart from the URI)
 * are refused: a URI that is taken in part would choose something it does not name.
 */
public final class Pkcs11Uri {
  private static final String SCHEME = "pkcs11:";

  /** The path attributes that describe the module, the slot and the token. */
  private static final List<String> TOKEN_ATTRIBUTES =
      List.of("library-manufacturer", "library-description", "library-version", "slot-manufacturer",
          "slot-description", "slot-id", "token", "manufacturer", "model", "serial");

  /** The path attributes that describe an object. */
  private static final List<String> OBJECT_ATTRIBUTES = List.of("object", "type", "id");

  /** The query attributes understood here. */
  private static final List<String> QUERY_ATTRIBUTES = List.of("module-path");

  /** The values of `type=`, by the class of object that each names. */
  private static final Map<String, Integer> TYPES = Map.of("public", Cryptoki.CKO_PUBLIC_KEY,
      "private", Cryptoki.CKO_PRIVATE_KEY, "cert", Cryptoki.CKO_CERTIFICATE, "secret-key",
      Cryptoki.CKO_SECRET_KEY, "data", Cryptoki.CKO_DATA);

  /** Decoded path attributes: text for every one but "id", whose value is bytes. */
  private final Map<String, Object> path;
  private final Map<String, String> query;
  private final String text;

  private Pkcs11Uri(Map<String, Object> path, Map<String, String> query, String text) {
    this.path = path;
    this.query = query;
    this.text = text;
  }

  /** Whether `text` is meant as a PKCS#11 URI: it starts with the scheme "pkcs11:". */
  public static boolean looksLikeOne(String text) {
    return text.regionMatches(true, 0, SCHEME, 0, SCHEME.length());
  }

  /**
   * The URI that `text` writes.
   *
   * @throws IllegalArgumentException saying what is wrong with it
   */
  public static Pkcs11Uri parse(String text) {
    if (!looksLikeOne(text)) {
      throw new IllegalArgumentException("a PKCS#11 URI starts with \"pkcs11:\"");
    }
    String rest = text.substring(SCHEME.length());
    int mark = rest.indexOf('?');
    String pathPart = mark < 0 ? rest : rest.substring(0, mark);
    String queryPart = mark < 0 ? "" : rest.substring(mark + 1);
    Map<String, Object> path = new LinkedHashMap<>();
    for (String attribute : split(pathPart, ';')) {
      String name = name(attribute);
      if (!TOKEN_ATTRIBUTES.contains(name) && !OBJECT_ATTRIBUTES.contains(name)) {
        throw new IllegalArgumentException("the attribute \"" + name + "\" is not understood");
      }
      byte[] value = decode(attribute.substring(name.length() + 1));
      Object decoded = name.equals("id") ? value : utf8(name, value);
      if (path.put(name, decoded) != null) {
        throw new IllegalArgumentException("the attribute \"" + name + "\" is given twice");
      }
    }
    Map<String, String> query = new LinkedHashMap<>();
    for (String attribute : split(queryPart, '&')) {
      String name = name(attribute);
      if (name.equals("pin-value") || name.equals("pin-source")) {
        throw new IllegalArgumentException(
            "the PIN is not taken from a URI (\"" + name + "\"); it is read apart from it");
      }
      if (!QUERY_ATTRIBUTES.contains(name)) {
        throw new IllegalArgumentException("the attribute \"" + name + "\" is not understood");
      }
      if (query.put(name, utf8(name, decode(attribute.substring(name.length() + 1)))) != null) {
        throw new IllegalArgumentException("the attribute \"" + name + "\" is given twice");
      }
    }
    Object type = path.get("type");
    if (type != null && !TYPES.containsKey(type)) {
      throw new IllegalArgumentException("type=" + type + " is none of "
          + TYPES.keySet().stream().sorted().collect(Collectors.joining(", ")));
    }
    Object slotId = path.get("slot-id");
    if (slotId != null && SlotChoice.parseNumber((String) slotId) < 0) {
      throw new IllegalArgumentException("slot-id=" + slotId + " is no slot ID");
    }
    Object version = path.get("library-version");
    if (version != null && !((String) version).matches("[0-9]{1,3}(\\.[0-9]{1,3})?")) {
      throw new IllegalArgumentException("library-version=" + version + " is no version");
    }
    return new Pkcs11Uri(path, query, text);
  }

  private static List<String> split(String part, char separator) {
    List<String> attributes = new ArrayList<>();
    if (part.isEmpty()) return attributes;
    for (String attribute : part.split(String.valueOf(separator), -1)) {
      if (attribute.isEmpty()) {
        throw new IllegalArgumentException("an empty attribute (two '" + separator + "' in a row)");
      }
      attributes.add(attribute);
    }
    return attributes;
  }

  private static String name(String attribute) {
    int equals = attribute.indexOf('=');
    if (equals <= 0) {
      throw new IllegalArgumentException("\"" + attribute + "\" is no name=value attribute");
    }
    return attribute.substring(0, equals);
  }

  /** The bytes that a percent-encoded value stands for. */
  private static byte[] decode(String value) {
    ByteArrayOutputStream out = new ByteArrayOutputStream();
    for (int i = 0; i < value.length(); ++i) {
      char c = value.charAt(i);
      if (c == '%') {
        int high = i + 2 < value.length() ? Character.digit(value.charAt(i + 1), 16) : -1;
        int low = high < 0 ? -1 : Character.digit(value.charAt(i + 2), 16);
        if (low < 0) {
          throw new IllegalArgumentException("a '%' that two hex digits do not follow");
        }
        out.write(high << 4 | low);
        i += 2;
      } else {
        byte[] bytes = String.valueOf(c).getBytes(StandardCharsets.UTF_8);
        if (Character.isHighSurrogate(c) && i + 1 < value.length()) {
          bytes = value.substring(i, i + 2).getBytes(StandardCharsets.UTF_8);
          ++i;
        }
        out.write(bytes, 0, bytes.length);
      }
    }
    return out.toByteArray();
  }

  private static String utf8(String name, byte[] value) {
    try {
      return StandardCharsets.UTF_8.newDecoder()
          .onMalformedInput(CodingErrorAction.REPORT)
          .onUnmappableCharacter(CodingErrorAction.REPORT)
          .decode(ByteBuffer.wrap(value))
          .toString();
    } catch (CharacterCodingException e) {
      throw new IllegalArgumentException("the value of \"" + name + "\" is not UTF-8");
    }
  }

  /** Whether the URI names the module, slot or token. */
  public boolean choosesToken() {
    for (String name : TOKEN_ATTRIBUTES) {
      if (path.containsKey(name)) return true;
    }
    return false;
  }

  /** Whether the URI names objects: an object label, a type or an id. */
  public boolean choosesObjects() {
    for (String name : OBJECT_ATTRIBUTES) {
      if (path.containsKey(name)) return true;
    }
    return false;
  }

  /** The module-path query attribute: the module file, or null. */
  public String modulePath() { return query.get("module-path"); }

  /** The token label (token=), or null. */
  public String tokenLabel() { return (String) path.get("token"); }

  /**
   * The slot choice of the URI: the one slot whose module, slot and token fit every attribute
   * given; the first slot holding a token when the URI names none.
   */
  public SlotChoice slotChoice() {
    return choosesToken() ? SlotChoice.uri(this) : SlotChoice.firstToken();
  }

  /** The objects that the URI names: its label, id and type. */
  public Selector selector() {
    Selector selector = Selector.of((String) path.get("object"), (byte[]) path.get("id"));
    Integer objectClass = objectClass();
    return objectClass == null ? selector : selector.ofClass(objectClass);
  }

  /** The class of object that type= names, or null. */
  public Integer objectClass() {
    Object type = path.get("type");
    return type == null ? null : TYPES.get(type);
  }

  /**
   * The one slot of `module` whose module, slot and token descriptions fit the URI.
   *
   * @throws LookupException when none fits, or several do
   */
  Slot slot(Pkcs11Module module) throws PKCS11Exception {
    if (!fitsLibrary(module.info())) {
      throw new LookupException(0,
          "the module " + module.path() + " is not the one " + this + " names ("
              + describeLibrary(module.info()) + ")");
    }
    List<Slot> found = new ArrayList<>();
    for (Slot slot : module.slotsWithToken()) {
      if (fitsSlot(slot)) found.add(slot);
    }
    if (found.isEmpty()) throw new LookupException(0, "no token fits " + this);
    if (found.size() > 1) {
      throw new LookupException(found.size(),
          found.size() + " tokens fit " + this + " (slot IDs " + Pkcs11Module.ids(found)
              + "); name one by its serial or slot-id");
    }
    return found.get(0);
  }

  private boolean fitsLibrary(PKCS11Info info) {
    return fits("library-manufacturer", info.getManufacturerIDTrimmed())
        && fits("library-description", info.getLibraryDescriptionTrimmed())
        && fitsVersion(info.getLibraryVersionMajor(), info.getLibraryVersionMinor());
  }

  private static String describeLibrary(PKCS11Info info) {
    return info.getManufacturerIDTrimmed() + ", " + info.getLibraryDescriptionTrimmed() + " "
        + info.getLibraryVersionMajor() + "." + info.getLibraryVersionMinor();
  }

  private boolean fitsVersion(int major, int minor) {
    String version = (String) path.get("library-version");
    if (version == null) return true;
    String[] parts = version.split("\\.");
    return Integer.parseInt(parts[0]) == major
        && Integer.parseInt(parts.length > 1 ? parts[1] : "0") == minor;
  }

  /** Whether the slot and its token fit; a slot or token that will not describe itself does not. */
  private boolean fitsSlot(Slot slot) {
    Object slotId = path.get("slot-id");
    if (slotId != null && SlotChoice.parseNumber((String) slotId) != slot.id()) return false;
    try {
      if (path.containsKey("slot-manufacturer") || path.containsKey("slot-description")) {
        PKCS11SlotInfo info = slot.info();
        if (!fits("slot-manufacturer", info.getManufacturerIDTrimmed())
            || !fits("slot-description", info.getSlotDescriptionTrimmed())) {
          return false;
        }
      }
      PKCS11TokenInfo token = slot.tokenInfo();
      return fits("token", token.getLabelTrimmed())
          && fits("manufacturer", token.getManufacturerIDTrimmed())
          && fits("model", token.getModelTrimmed())
          && fits("serial", token.getSerialNumberTrimmed());
    } catch (PKCS11Exception e) {
      return false;
    }
  }

  private boolean fits(String name, String actual) {
    Object wanted = path.get(name);
    return wanted == null || wanted.equals(actual);
  }

  /**
   * The URI of `object`, on the token that `token` describes: the token's label, manufacturer,
   * model and serial, then the object's label, type and id, as far as the object tells them.
   */
  public static String of(PKCS11TokenInfo token, TokenObject object) {
    StringBuilder uri = token(token);
    append(uri, "object", object.labelIfNotEmpty());
    int objectClass = object.objectClassIfPresent();
    for (Map.Entry<String, Integer> type : TYPES.entrySet()) {
      if (type.getValue() == objectClass) append(uri, "type", type.getKey());
    }
    byte[] id = object.idIfNotEmpty();
    if (id != null) {
      StringBuilder hex = new StringBuilder();
      for (byte b : id) hex.append(String.format(Locale.ROOT, "%%%02X", b & 0xFF));
      if (uri.length() > SCHEME.length()) uri.append(';');
      uri.append("id=").append(hex);
    }
    return uri.toString();
  }

  /** The URI of the token that `token` describes: its label, manufacturer, model and serial. */
  public static String of(PKCS11TokenInfo token) { return token(token).toString(); }

  private static StringBuilder token(PKCS11TokenInfo token) {
    StringBuilder uri = new StringBuilder(SCHEME);
    append(uri, "token", token.getLabelTrimmed());
    append(uri, "manufacturer", token.getManufacturerIDTrimmed());
    append(uri, "model", token.getModelTrimmed());
    append(uri, "serial", token.getSerialNumberTrimmed());
    return uri;
  }

  private static void append(StringBuilder uri, String name, String value) {
    if (value == null || value.isEmpty()) return;
    if (uri.length() > SCHEME.length()) uri.append(';');
    uri.append(name).append('=').append(encode(value));
  }

  /**
   * `value` percent-encoded as a path attribute's value: the characters that RFC 7512 lets stand
   * as they are stay, and every other byte of its UTF-8 (';', '?', '%', '/', spaces, controls,
   * letters beyond ASCII) becomes %XX.
   */
  static String encode(String value) {
    StringBuilder out = new StringBuilder();
    for (byte b : value.getBytes(StandardCharsets.UTF_8)) {
      int c = b & 0xFF;
      boolean plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
          || "-._~:[]@!$'()*+,=&".indexOf(c) >= 0;
      if (plain) {
        out.append((char) c);
      } else {
        out.append(String.format(Locale.ROOT, "%%%02X", c));
      }
    }
    return out.toString();
  }

  /** The URI as it was written. */
  @Override
  public String toString() {
    return text;
  }
}
