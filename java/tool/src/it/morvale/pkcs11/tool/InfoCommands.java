package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.PKCS11Info;
import it.morvale.pkcs11.PKCS11MechanismInfo;
import it.morvale.pkcs11.PKCS11SlotInfo;
import it.morvale.pkcs11.PKCS11TokenInfo;
import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Curves;
import it.morvale.pkcs11.token.Mechanism;
import it.morvale.pkcs11.token.Names;
import it.morvale.pkcs11.token.Pkcs11Uri;
import it.morvale.pkcs11.token.Session;
import it.morvale.pkcs11.token.SignatureScheme;
import it.morvale.pkcs11.token.Slot;
import it.morvale.pkcs11.token.Template;
import it.morvale.pkcs11.token.TokenObject;
import java.io.PrintStream;
import java.security.GeneralSecurityException;
import java.util.ArrayList;
import java.util.Comparator;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import javax.security.auth.x500.X500Principal;
import picocli.CommandLine.Command;
import picocli.CommandLine.Mixin;

/** The commands that read: the module, its slots, a token's mechanisms and objects. */
final class InfoCommands {
  private InfoCommands() {}

  @Command(name = "info", description = "Show the module and the bridge.")
  static final class Info extends TokenCommand {
    @Mixin Json.JsonOption json;

    @Override
    void run(Token token, Pins pins) throws PKCS11Exception {
      PKCS11Info info = token.module.info();
      if (json.wanted()) {
        Map<String, Object> report = Json.object();
        report.put("module", token.module.path());
        report.put("manufacturer", info.getManufacturerIDTrimmed());
        report.put("library", info.getLibraryDescriptionTrimmed());
        report.put(
            "libraryVersion", info.getLibraryVersionMajor() + "." + info.getLibraryVersionMinor());
        report.put(
            "cryptoki", info.getCryptokiVersionMajor() + "." + info.getCryptokiVersionMinor());
        report.put("bridge", token.module.bridgeVersion());
        Json.print(report);
        return;
      }
      PrintStream out = System.out;
      out.println("module       " + token.module.path());
      out.println("manufacturer " + info.getManufacturerIDTrimmed());
      out.println("library      " + info.getLibraryDescriptionTrimmed() + " "
          + info.getLibraryVersionMajor() + "." + info.getLibraryVersionMinor());
      out.println(
          "cryptoki     " + info.getCryptokiVersionMajor() + "." + info.getCryptokiVersionMinor());
      out.println("bridge       " + token.module.bridgeVersion());
    }
  }

  @Command(name = "slots",
      description = {"List the slots and their tokens, and what the tokens' flags say.",
          "For each token: the state of the user's and the SO's PIN (tries running low, the"
              + " final try, locked, to be changed), write protection, a protected"
              + " authentication path (a PIN pad), the PIN lengths it takes, and its PKCS#11"
              + " URI."})
  static final class SlotList extends TokenCommand {
    @Mixin Json.JsonOption json;

    @Override
    void run(Token token, Pins pins) throws PKCS11Exception {
      List<Map<String, Object>> rows = new ArrayList<>();
      List<Slot> slots = token.module.slots();
      for (int i = 0; i < slots.size(); ++i) rows.add(describe(i, slots.get(i)));
      if (json.wanted()) {
        Json.print(rows);
        return;
      }
      PrintStream out = System.out;
      if (rows.isEmpty()) out.println("no slots");
      for (Map<String, Object> row : rows) print(out, row);
    }

    /** The slot's row, its token's (null when it has none) under "token". */
    private static Map<String, Object> describe(int index, Slot slot) throws PKCS11Exception {
      Map<String, Object> row = Json.object();
      PKCS11SlotInfo info = slot.info();
      row.put("index", index);
      row.put("id", slot.id());
      row.put("description", info.getSlotDescriptionTrimmed());
      row.put("manufacturer", info.getManufacturerIDTrimmed());
      row.put("token", info.isTokenPresent() ? describe(slot.tokenInfo()) : null);
      return row;
    }

    private static Map<String, Object> describe(PKCS11TokenInfo t) {
      int flags = t.getFlags();
      Map<String, Object> token = Json.object();
      token.put("initialized", (flags & Cryptoki.CKF_TOKEN_INITIALIZED) != 0);
      token.put("label", t.getLabelTrimmed());
      token.put("manufacturer", t.getManufacturerIDTrimmed());
      token.put("model", t.getModelTrimmed());
      token.put("serial", t.getSerialNumberTrimmed());
      token.put("uri", Pkcs11Uri.of(t));
      token.put("loginRequired", (flags & Cryptoki.CKF_LOGIN_REQUIRED) != 0);
      token.put("writeProtected", (flags & Cryptoki.CKF_WRITE_PROTECTED) != 0);
      token.put(
          "protectedAuthenticationPath", (flags & Cryptoki.CKF_PROTECTED_AUTHENTICATION_PATH) != 0);
      Map<String, Object> user =
          pin(flags, Cryptoki.CKF_USER_PIN_COUNT_LOW, Cryptoki.CKF_USER_PIN_FINAL_TRY,
              Cryptoki.CKF_USER_PIN_LOCKED, Cryptoki.CKF_USER_PIN_TO_BE_CHANGED);
      user.put("initialized", (flags & Cryptoki.CKF_USER_PIN_INITIALIZED) != 0);
      token.put("userPin", user);
      token.put("soPin",
          pin(flags, Cryptoki.CKF_SO_PIN_COUNT_LOW, Cryptoki.CKF_SO_PIN_FINAL_TRY,
              Cryptoki.CKF_SO_PIN_LOCKED, Cryptoki.CKF_SO_PIN_TO_BE_CHANGED));
      token.put("minPinLength", Integer.toUnsignedLong(t.getMinPinLen()));
      token.put("maxPinLength", Integer.toUnsignedLong(t.getMaxPinLen()));
      return token;
    }

    private static Map<String, Object> pin(
        int flags, int countLow, int finalTry, int locked, int toBeChanged) {
      Map<String, Object> pin = Json.object();
      pin.put("countLow", (flags & countLow) != 0);
      pin.put("finalTry", (flags & finalTry) != 0);
      pin.put("locked", (flags & locked) != 0);
      pin.put("toBeChanged", (flags & toBeChanged) != 0);
      return pin;
    }

    @SuppressWarnings("unchecked")
    private static void print(PrintStream out, Map<String, Object> row) {
      long id = (Long) row.get("id");
      out.printf("slot %d  id %d (0x%08X)  %s%n", row.get("index"), id, id,
          Escape.text((String) row.get("description")));
      Map<String, Object> t = (Map<String, Object>) row.get("token");
      if (t == null) {
        out.println("        no token");
        return;
      }
      if (!(Boolean) t.get("initialized")) {
        out.println("        token not initialized");
        return;
      }
      out.printf("        token \"%s\"  %s %s, serial %s%n", Escape.text((String) t.get("label")),
          Escape.text((String) t.get("manufacturer")), Escape.text((String) t.get("model")),
          Escape.text((String) t.get("serial")));
      Map<String, Object> user = (Map<String, Object>) t.get("userPin");
      out.printf("        %s, %s, PIN length %s%n",
          (Boolean) user.get("initialized") ? "user PIN set" : "no user PIN yet",
          (Boolean) t.get("loginRequired") ? "login required" : "no login needed",
          pinLengths((Long) t.get("minPinLength"), (Long) t.get("maxPinLength")));
      String userState = pinState(user);
      if (userState != null) out.println("        user PIN: " + userState);
      String soState = pinState((Map<String, Object>) t.get("soPin"));
      if (soState != null) out.println("        SO PIN: " + soState);
      if ((Boolean) t.get("writeProtected")) {
        out.println("        write-protected: it cannot be changed");
      }
      if ((Boolean) t.get("protectedAuthenticationPath")) {
        out.println("        protected authentication path: PINs are entered on the reader");
      }
      out.println("        " + t.get("uri"));
    }

    /** "4 to 255", or what of it the token tells (CK_UNAVAILABLE_INFORMATION is all ones). */
    private static String pinLengths(long min, long max) {
      String high = max == 0xFFFFFFFFL ? "any" : Long.toString(max);
      return (min == 0xFFFFFFFFL ? "?" : Long.toString(min)) + " to " + high;
    }

    /** What the flags say of a PIN, worst first; null when they say nothing. */
    private static String pinState(Map<String, Object> pin) {
      List<String> said = new ArrayList<>();
      if ((Boolean) pin.get("locked")) said.add("locked");
      if ((Boolean) pin.get("finalTry")) said.add("final try (one more wrong PIN locks it)");
      if ((Boolean) pin.get("countLow")) said.add("wrong PINs were given (tries are running low)");
      if ((Boolean) pin.get("toBeChanged")) said.add("to be changed");
      return said.isEmpty() ? null : String.join(", ", said);
    }
  }

  @Command(name = "mechanisms",
      description = {"List the token's mechanisms; * marks those that quillon's commands use."})
  static final class MechanismList extends TokenCommand {
    private static final String[] FLAGS = {"encrypt", "decrypt", "digest", "sign", "sign-recover",
        "verify", "verify-recover", "generate", "generate-key-pair", "wrap", "unwrap", "derive"};

    @Mixin Json.JsonOption json;

    @Override
    void run(Token token, Pins pins) throws PKCS11Exception {
      Slot slot = token.slot();
      List<Map<String, Object>> rows = new ArrayList<>();
      for (Mechanism mechanism : slot.supportedMechanisms()) {
        PKCS11MechanismInfo info = slot.mechanismInfo(mechanism.type());
        List<String> flags = new ArrayList<>();
        for (int bit = 0; bit < FLAGS.length; ++bit) {
          if ((info.getFlags() & (0x100 << bit)) != 0) flags.add(FLAGS[bit]);
        }
        Map<String, Object> row = Json.object();
        row.put("name", mechanism.name());
        row.put("type", String.format(Locale.ROOT, "0x%08X", mechanism.type()));
        row.put("minKeySize", Integer.toUnsignedLong(info.getMinKeySize()));
        row.put("maxKeySize", Integer.toUnsignedLong(info.getMaxKeySize()));
        row.put("flags", flags);
        row.put("used", used(mechanism));
        rows.add(row);
      }
      if (json.wanted()) {
        Json.print(rows);
        return;
      }
      PrintStream out = System.out;
      for (Map<String, Object> row : rows) {
        long min = (Long) row.get("minKeySize");
        long max = (Long) row.get("maxKeySize");
        String sizes = min == 0 && max == 0 ? "-" : min + "-" + max;
        StringBuilder flags = new StringBuilder();
        for (Object flag : (List<?>) row.get("flags")) flags.append(' ').append(flag);
        out.printf("%s %-24s %-22s%s%n", (Boolean) row.get("used") ? "*" : " ", row.get("name"),
            sizes, flags);
      }
    }

    /** Whether a command of the tool can use the mechanism: sign, verify, keygen, the ciphers. */
    private static boolean used(Mechanism mechanism) {
      if (SignatureScheme.mechanisms().contains(mechanism)) return true;
      if (KeyKind.mechanisms().contains(mechanism.type())) return true;
      for (MechanismOption.Use use : MechanismOption.Use.values()) {
        if (use.mechanisms.contains(mechanism)) return true;
      }
      return false;
    }
  }

  @Command(name = "objects",
      description = {"List the objects on the token, each with its PKCS#11 URI.",
          "For each: class, key type, size in bits (and an EC key's curve), id and label, a"
              + " certificate's subject. Private objects are listed after a login, which a PIN"
              + " option or --login asks for. The object attributes of --uri (object, id, type)"
              + " keep the list to what they name. Control characters in labels are shown"
              + " escaped (\\n, \\x07, \\u202E). What an object will not tell is left out"
              + " (\"-\", or null in JSON), and the listing goes on."})
  static final class ObjectList extends PublicCommand {
    @Mixin Json.JsonOption json;

    @Override
    boolean selectsObjects() {
      return true;
    }

    @Override
    void run(Token token, Pins pins) throws PKCS11Exception {
      Session session = session(token, pins);
      PKCS11TokenInfo tokenInfo = token.slot().tokenInfo();
      Pkcs11Uri uri = global().uri();
      Template template =
          uri != null && uri.choosesObjects() ? uri.selector().template() : new Template();
      List<Map<String, Object>> rows = new ArrayList<>();
      for (TokenObject object : session.find(template)) rows.add(describe(tokenInfo, object));
      rows.sort(Comparator.comparing((Map<String, Object> row) -> text(row.get("label")))
                    .thenComparing(row -> text(row.get("class"))));
      if (json.wanted()) {
        Json.print(rows);
        return;
      }
      PrintStream out = System.out;
      if (rows.isEmpty()) {
        out.println(!loggedIn() ? "no public objects (log in to see private ones)" : "no objects");
        return;
      }
      out.printf("%-12s %-8s %-15s %-10s %s%n", "CLASS", "KEY TYPE", "SIZE", "ID", "LABEL");
      for (Map<String, Object> row : rows) {
        Object kind = row.get("keyType") != null ? row.get("keyType") : row.get("certificateType");
        Object bits = row.get("bits");
        String size = row.get("curve") == null ? text(bits) : text(bits) + " " + row.get("curve");
        out.printf("%-12s %-8s %-15s %-10s %s%n", text(row.get("class")), text(kind), size,
            text(row.get("id")), Escape.text(text(row.get("label"))));
        if (row.get("subject") != null) {
          out.println("             subject " + Escape.text((String) row.get("subject")));
        }
        out.println("             " + row.get("uri"));
      }
    }

    private static String text(Object value) { return value == null ? "-" : value.toString(); }

    /** The object's row; an attribute that the object will not give is null. */
    private static Map<String, Object> describe(PKCS11TokenInfo tokenInfo, TokenObject object) {
      Map<String, Object> row = Json.object();
      int objectClass = object.objectClassIfPresent();
      row.put("handle", object.handle());
      row.put("class", objectClass == -1 ? null : Names.objectClass(objectClass));
      Integer keyType =
          Names.isKey(objectClass) ? object.integerIfPresent(Cryptoki.CKA_KEY_TYPE) : null;
      row.put("keyType", keyType == null ? null : Names.keyType(keyType));
      row.put("bits", keyType == null ? null : object.bits());
      row.put("curve", keyType == null ? null : curve(object, keyType));
      byte[] id = object.idIfNotEmpty();
      row.put("id", id == null ? null : Io.hex(id));
      row.put("label", object.label());
      if (objectClass == Cryptoki.CKO_CERTIFICATE) {
        Integer type = object.integerIfPresent(Cryptoki.CKA_CERTIFICATE_TYPE);
        row.put("certificateType",
            type == null                     ? null
                : type == Cryptoki.CKC_X_509 ? "X.509"
                                             : String.format(Locale.ROOT, "0x%08X", type));
        row.put("subject", subject(object));
      }
      row.put("uri", Pkcs11Uri.of(tokenInfo, object));
      return row;
    }

    /** The name of an EC, Edwards or Montgomery key's curve; null for other keys or none known. */
    private static String curve(TokenObject object, int keyType) {
      if (keyType != Cryptoki.CKK_EC && keyType != Cryptoki.CKK_EC_EDWARDS
          && keyType != Cryptoki.CKK_EC_MONTGOMERY) {
        return null;
      }
      byte[] parameters = object.bytesIfPresent(Cryptoki.CKA_EC_PARAMS);
      if (parameters == null) return null;
      try {
        return Curves.of(parameters).name();
      } catch (GeneralSecurityException e) {
        return null;
      }
    }

    /** A certificate's subject as RFC 2253 writes it (CN=…,O=…), or null when none is given. */
    private static String subject(TokenObject object) {
      byte[] subject = object.bytesIfPresent(Cryptoki.CKA_SUBJECT);
      if (subject == null || subject.length == 0) return null;
      try {
        return new X500Principal(subject).getName(X500Principal.RFC2253);
      } catch (IllegalArgumentException e) {
        return null;
      }
    }
  }
}
