package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Names;
import it.morvale.pkcs11.token.Selector;
import it.morvale.pkcs11.token.TokenObject;
import java.util.ArrayList;
import java.util.Base64;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

/** Objects as the commands name them in their lines, and the rule of what counts as one thing. */
final class ObjectText {
  private ObjectText() {}

  static String pem(String type, byte[] der) {
    return "-----BEGIN " + type + "-----\n"
        + Base64.getMimeEncoder(64, new byte[] {'\n'}).encodeToString(der) + "\n-----END " + type
        + "-----\n";
  }

  /** ` labelled "x" with id 01`: the object's own label and id, as selectors describe them. */
  static String whereabouts(TokenObject object) {
    Selector own = Selector.of(object.labelIfNotEmpty(), object.idIfNotEmpty());
    return own.isEmpty() ? " (handle " + object.handle() + ")" : own.describe();
  }

  /** The object as a JSON report gives it: class, key type and size, label, id. */
  static Map<String, Object> json(TokenObject object) {
    Map<String, Object> entry = Json.object();
    int objectClass = object.objectClassIfPresent();
    entry.put("class", objectClass == -1 ? null : Names.objectClass(objectClass));
    Integer keyType =
        Names.isKey(objectClass) ? object.integerIfPresent(Cryptoki.CKA_KEY_TYPE) : null;
    entry.put("keyType", keyType == null ? null : Names.keyType(keyType));
    entry.put("bits", Names.isKey(objectClass) ? object.bits() : null);
    entry.put("label", object.label());
    byte[] id = object.idIfNotEmpty();
    entry.put("id", id == null ? null : Io.hex(id));
    return entry;
  }

  /** "private key (RSA 2048) labelled "k" with id 01": the object in a line of its own. */
  static String line(TokenObject object) {
    int objectClass = object.objectClassIfPresent();
    String what = objectClass == -1 ? "object"
                                    : Names.objectClass(objectClass)
            + (Names.isKey(objectClass) ? " (" + object.describeKey() + ")" : "");
    return what + whereabouts(object);
  }

  /**
   * Whether `found` is one thing: a key, a key pair and its certificate, or one data object. They
   * share one label and id, and no class comes twice; otherwise a command that changes or
   * destroys them must not guess.
   */
  static boolean isOneThing(List<TokenObject> found) {
    Map<String, List<Integer>> groups = new LinkedHashMap<>();
    for (TokenObject object : found) {
      byte[] id = object.id();
      String key = object.label() + "\u0000" + (id == null ? "" : Io.hex(id));
      List<Integer> classes = groups.computeIfAbsent(key, k -> new ArrayList<>());
      int objectClass = object.objectClassIfPresent();
      if (classes.contains(objectClass)) return false;
      classes.add(objectClass);
    }
    return groups.size() <= 1;
  }

  /** The message that refuses several things where one was meant. */
  static Failure ambiguous(String verb, List<TokenObject> found, Selector selector, String all) {
    StringBuilder list = new StringBuilder();
    for (int i = 0; i < found.size() && i < 6; ++i) {
      list.append(i == 0 ? "" : "; ").append(line(found.get(i)));
    }
    if (found.size() > 6) list.append("; ...");
    return Failure.usage(found.size() + " objects" + selector.describe() + " are more than one"
        + " key, pair or object (" + list + "); name one with --label, --id or --type"
        + (all == null ? "" : ", or give " + all + " to " + verb + " every one"));
  }
}
