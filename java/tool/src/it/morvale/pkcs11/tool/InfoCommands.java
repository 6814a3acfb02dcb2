package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.PKCS11Info;
import it.morvale.pkcs11.PKCS11MechanismInfo;
import it.morvale.pkcs11.PKCS11SlotInfo;
import it.morvale.pkcs11.PKCS11TokenInfo;
import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Mechanism;
import it.morvale.pkcs11.token.Names;
import it.morvale.pkcs11.token.SignatureScheme;
import it.morvale.pkcs11.token.Session;
import it.morvale.pkcs11.token.Slot;
import it.morvale.pkcs11.token.Template;
import it.morvale.pkcs11.token.TokenObject;
import java.io.PrintStream;
import java.util.ArrayList;
import java.util.Comparator;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import org.json.simple.Jsoner;
import picocli.CommandLine.Command;
import picocli.CommandLine.Option;

/** The commands that read: the module, its slots, a token's mechanisms and objects. */
final class InfoCommands {
  private InfoCommands() {}

  @Command(name = "info", description = "Show the module and the bridge.")
  static final class Info extends TokenCommand {
    @Override
    void run(Token token, Pins pins) throws PKCS11Exception {
      PKCS11Info info = token.module.info();
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

  @Command(name = "slots", description = "List the slots and their tokens.")
  static final class SlotList extends TokenCommand {
    @Override
    void run(Token token, Pins pins) throws PKCS11Exception {
      PrintStream out = System.out;
      List<Slot> slots = token.module.slots();
      if (slots.isEmpty()) out.println("no slots");
      for (int i = 0; i < slots.size(); ++i) {
        Slot slot = slots.get(i);
        PKCS11SlotInfo info = slot.info();
        out.printf("slot %d  id %d (0x%08X)  %s%n", i, slot.id(), slot.id(),
            info.getSlotDescriptionTrimmed());
        if (!info.isTokenPresent()) {
          out.println("        no token");
          continue;
        }
        PKCS11TokenInfo t = slot.tokenInfo();
        int flags = t.getFlags();
        if ((flags & Cryptoki.CKF_TOKEN_INITIALIZED) == 0) {
          out.println("        token not initialized");
          continue;
        }
        out.printf("        token \"%s\"  %s %s, serial %s%n", t.getLabelTrimmed(),
            t.getManufacturerIDTrimmed(), t.getModelTrimmed(), t.getSerialNumberTrimmed());
        out.printf("        %s, %s%n",
            (flags & Cryptoki.CKF_USER_PIN_INITIALIZED) != 0 ? "user PIN set" : "no user PIN yet",
            (flags & Cryptoki.CKF_LOGIN_REQUIRED) != 0 ? "login required" : "no login needed");
      }
    }
  }

  @Command(name = "mechanisms",
      description = {"List the token's mechanisms; * marks those that quillon's commands use."})
  static final class MechanismList extends TokenCommand {
    private static final String[] FLAGS = {"encrypt", "decrypt", "digest", "sign", "sign-recover",
        "verify", "verify-recover", "generate", "generate-key-pair", "wrap", "unwrap", "derive"};

    @Override
    void run(Token token, Pins pins) throws PKCS11Exception {
      Slot slot = token.slot();
      PrintStream out = System.out;
      for (Mechanism mechanism : slot.supportedMechanisms()) {
        PKCS11MechanismInfo info = slot.mechanismInfo(mechanism.type());
        StringBuilder flags = new StringBuilder();
        for (int bit = 0; bit < FLAGS.length; ++bit) {
          if ((info.getFlags() & (0x100 << bit)) != 0) flags.append(' ').append(FLAGS[bit]);
        }
        String sizes = info.getMinKeySize() == 0 && info.getMaxKeySize() == 0
            ? "-"
            : Integer.toUnsignedString(info.getMinKeySize()) + "-"
                + Integer.toUnsignedString(info.getMaxKeySize());
        out.printf(
            "%s %-24s %-22s%s%n", used(mechanism) ? "*" : " ", mechanism.name(), sizes, flags);
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
      description = {"List the objects on the token: class, key type, size"
          + " in bits, id and label. Private objects are listed after a login, which a PIN option"
          + " or --login asks for. What an object will not tell is left out (\"-\", or null in"
          + " JSON), and the listing goes on."})
  static final class ObjectList extends PublicCommand {
    @Option(names = "--json", description = "one JSON array, for scripts") boolean json;

    @Override
    void run(Token token, Pins pins) throws PKCS11Exception {
      Session session = session(token, pins);
      List<Map<String, Object>> rows = new ArrayList<>();
      for (TokenObject object : session.find(new Template())) rows.add(describe(object));
      rows.sort(Comparator.comparing((Map<String, Object> row) -> text(row.get("label")))
                    .thenComparing(row -> text(row.get("class"))));
      PrintStream out = System.out;
      if (json) {
        out.println(Jsoner.serialize(rows));
        return;
      }
      if (rows.isEmpty()) {
        out.println(!loggedIn() ? "no public objects (log in to see private ones)" : "no objects");
        return;
      }
      out.printf("%-12s %-8s %-5s %-10s %s%n", "CLASS", "KEY TYPE", "BITS", "ID", "LABEL");
      for (Map<String, Object> row : rows) {
        out.printf("%-12s %-8s %-5s %-10s %s%n", text(row.get("class")), text(row.get("keyType")),
            text(row.get("bits")), text(row.get("id")), text(row.get("label")));
      }
    }

    private static String text(Object value) { return value == null ? "-" : value.toString(); }

    /** The object's row; an attribute that the object will not give is null. */
    private static Map<String, Object> describe(TokenObject object) {
      Map<String, Object> row = new LinkedHashMap<>();
      int objectClass = object.objectClassIfPresent();
      row.put("handle", object.handle());
      row.put("class", objectClass == -1 ? null : Names.objectClass(objectClass));
      Integer keyType =
          Names.isKey(objectClass) ? object.integerIfPresent(Cryptoki.CKA_KEY_TYPE) : null;
      row.put("keyType", keyType == null ? null : Names.keyType(keyType));
      row.put("bits", keyType == null ? null : object.bits());
      byte[] id = object.idIfNotEmpty();
      row.put("id", id == null ? null : Io.hex(id));
      row.put("label", object.label());
      return row;
    }
  }
}
