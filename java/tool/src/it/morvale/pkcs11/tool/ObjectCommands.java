package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.Attributes;
import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Names;
import it.morvale.pkcs11.token.Selector;
import it.morvale.pkcs11.token.Session;
import it.morvale.pkcs11.token.TokenObject;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import picocli.CommandLine.Command;
import picocli.CommandLine.Mixin;
import picocli.CommandLine.Option;

/** Objects read out of the token, changed on it and taken off it. */
final class ObjectCommands {
  private ObjectCommands() {}

  @Command(name = "export",
      description = {"Write a public key as PEM (SubjectPublicKeyInfo), as OpenSSL reads it: the"
          + " public key object's, else a certificate's, else what a private key object tells."})
  static final class Export extends PublicCommand {
    @Mixin KeyOptions key;
    @Mixin TypeOption type;
    @Mixin OutputOption out;

    @Override
    void check() {
      type.apply(key.selector());
    }

    @Override
    void run(Token token, Pins pins) throws Exception {
      Session session = session(token, pins);
      TokenObject found = Token.key(session, type.apply(key.selector()), "", "public key",
          Cryptoki.CKO_PUBLIC_KEY, Cryptoki.CKO_CERTIFICATE, Cryptoki.CKO_PRIVATE_KEY);
      java.security.PublicKey publicKey = Token.publicKey(found);
      out.write(
          ObjectText.pem("PUBLIC KEY", publicKey.getEncoded()).getBytes(StandardCharsets.US_ASCII));
      if (out.named()) {
        System.out.println("exported the public " + publicKey.getAlgorithm() + " key of "
            + Token.describe(found) + ": " + out.file);
      }
    }
  }

  @Command(name = "read",
      description = {"Write an object's value: a certificate as PEM (--der: as DER), a data"
          + " object's bytes, a public key as PEM. Private and secret keys do not give theirs."})
  static final class Read extends PublicCommand {
    @Mixin KeyOptions key;
    @Mixin TypeOption type;
    @Mixin OutputOption out;

    @Option(names = "--der", description = "a certificate as DER rather than PEM") boolean der;

    @Override
    void check() {
      type.required(key, "the object to read");
    }

    @Override
    void run(Token token, Pins pins) throws Exception {
      Session session = session(token, pins);
      TokenObject found = Token.key(session, type.apply(key.selector()), "", "object",
          Cryptoki.CKO_CERTIFICATE, Cryptoki.CKO_DATA, Cryptoki.CKO_PUBLIC_KEY,
          Cryptoki.CKO_SECRET_KEY, Cryptoki.CKO_PRIVATE_KEY);
      int objectClass = found.objectClass();
      byte[] value;
      switch (objectClass) {
        case Cryptoki.CKO_CERTIFICATE:
          value = found.bytes(Cryptoki.CKA_VALUE);
          if (!der)
            value = ObjectText.pem("CERTIFICATE", value).getBytes(StandardCharsets.US_ASCII);
          break;
        case Cryptoki.CKO_DATA:
          value = found.bytes(Cryptoki.CKA_VALUE);
          break;
        case Cryptoki.CKO_PUBLIC_KEY:
          value = ObjectText.pem("PUBLIC KEY", Token.publicKey(found).getEncoded())
                      .getBytes(StandardCharsets.US_ASCII);
          break;
        default:
          throw Failure.usage("the " + ObjectText.line(found)
              + " does not give its value: it stays on the"
              + " token (export gives a private key's public half)");
      }
      out.write(value);
      if (out.named()) System.out.println("read the " + ObjectText.line(found) + ": " + out.file);
    }
  }

  @Command(name = "show", description = "Show every attribute of the objects selected.")
  static final class Show extends PublicCommand {
    @Mixin KeyOptions key;
    @Mixin TypeOption type;
    @Mixin Json.JsonOption json;

    @Override
    void check() {
      type.required(key, "the objects to show");
    }

    @Override
    void run(Token token, Pins pins) throws Exception {
      Session session = session(token, pins);
      Selector selector = type.required(key, "the objects to show");
      List<TokenObject> found = session.find(selector.template());
      if (found.isEmpty()) {
        throw Failure.usage("no object" + selector.describe()
            + (loggedIn() ? "" : " among the public ones (--login shows the private ones too)"));
      }
      List<Object> all = new ArrayList<>();
      for (TokenObject object : found) {
        Map<String, Object> attributes = Attributes.of(object);
        if (json.wanted()) {
          all.add(attributes);
          continue;
        }
        if (all.size() > 0) System.out.println();
        all.add(attributes);
        System.out.println(ObjectText.line(object));
        attributes.forEach((name, value) -> System.out.println("  " + name + " = " + value));
      }
      if (json.wanted()) Json.print(all);
    }
  }

  @Command(name = "set",
      description = {"Give an object, a key pair (both halves and its certificate) or a data"
          + " object a new label or id."})
  static final class Set extends UserCommand {
    @Mixin KeyOptions key;
    @Mixin TypeOption type;

    @Option(names = "--new-label", paramLabel = "LABEL", description = "the new label")
    String newLabel;

    @Option(names = "--new-id", paramLabel = "HEX", description = "the new id, in hex")
    String newId;

    @Mixin Json.JsonOption json;

    @Override
    void check() {
      if (type.apply(key.selector()).isEmpty()) {
        throw Failure.usage("name what to change with --label or --id");
      }
      if (newLabel == null && newId == null) {
        throw Failure.usage("say what to change with --new-label or --new-id");
      }
      if (newId != null) Io.unhex("--new-id", newId);
    }

    @Override
    void run(Token token, Pins pins) throws Exception {
      Selector selector = type.apply(key.selector());
      Session session = token.writingUser(pins);
      List<TokenObject> found = session.find(selector.template());
      if (found.isEmpty()) throw Failure.usage("no object" + selector.describe());
      if (!ObjectText.isOneThing(found))
        throw ObjectText.ambiguous("change", found, selector, null);
      if (newLabel != null && !newLabel.equals(found.get(0).label())) {
        Token.refuseTaken(session, newLabel);
      }
      byte[] id = newId == null ? null : Io.unhex("--new-id", newId);
      for (TokenObject object : found) {
        // Nothing is changed unless all of it can be: a data object has no CKA_ID.
        if (id != null && object.objectClassIfPresent() == Cryptoki.CKO_DATA) {
          throw Failure.usage("the " + ObjectText.line(object) + " has no id to set (data objects"
              + " have none); give it a --new-label only");
        }
      }
      List<Object> report = new ArrayList<>();
      for (TokenObject object : found) {
        String before = ObjectText.line(object);
        if (newLabel != null) object.set(Cryptoki.CKA_LABEL, newLabel);
        if (id != null) object.set(Cryptoki.CKA_ID, id);
        if (json.wanted()) {
          report.add(ObjectText.json(object));
        } else {
          System.out.println("changed the " + before + ": now" + ObjectText.whereabouts(object));
        }
      }
      if (json.wanted()) Json.print(report);
    }
  }

  @Command(name = "delete",
      description = {"Destroy a key, a key pair (with its certificate) or an object. Where the"
          + " label, id and --type select more than one of them, nothing is destroyed unless"
          + " --all is given."})
  static final class Delete extends UserCommand {
    @Mixin KeyOptions key;
    @Mixin TypeOption type;

    @Option(names = "--all",
        description = "destroy every object selected, even several keys, pairs or objects")
    boolean all;

    @Mixin Json.JsonOption json;

    @Override
    void check() {
      type.required(key, "what to delete");
    }

    @Override
    void run(Token token, Pins pins) throws Exception {
      Selector selector = type.apply(key.selector());
      Session session = token.writingUser(pins);
      List<TokenObject> found = session.find(selector.template());
      if (found.isEmpty()) throw Failure.usage("no object" + selector.describe());
      if (!all && !ObjectText.isOneThing(found))
        throw ObjectText.ambiguous("delete", found, selector, "--all");
      List<Object> report = new ArrayList<>();
      for (TokenObject object : found) {
        String what = ObjectText.line(object);
        Map<String, Object> entry = ObjectText.json(object);
        object.destroy();
        if (json.wanted()) {
          report.add(entry);
        } else {
          System.out.println("deleted the " + what);
        }
      }
      if (json.wanted()) Json.print(report);
    }
  }
}
