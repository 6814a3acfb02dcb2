package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Names;
import it.morvale.pkcs11.token.Selector;
import java.util.Locale;
import picocli.CommandLine.Option;

/** --type: the class of object a command selects, by pkcs11-tool's names or plain ones. */
final class TypeOption {
  @Option(names = "--type", paramLabel = "TYPE",
      description = "only objects of this class: cert, pubkey, privkey, secrkey or data")
  String type;

  /** The CKO_ class that --type names, or null when it is not given. */
  Integer objectClass() {
    if (type == null) return null;
    switch (type.toLowerCase(Locale.ROOT)) {
      case "cert":
      case "certificate":
        return Cryptoki.CKO_CERTIFICATE;
      case "pubkey":
      case "public":
        return Cryptoki.CKO_PUBLIC_KEY;
      case "privkey":
      case "private":
        return Cryptoki.CKO_PRIVATE_KEY;
      case "secrkey":
      case "secret":
        return Cryptoki.CKO_SECRET_KEY;
      case "data":
        return Cryptoki.CKO_DATA;
      default:
        throw Failure.usage(
            "--type wants cert, pubkey, privkey, secrkey or data, not \"" + type + "\"");
    }
  }

  /** `selector` kept to the class that --type names (which a URI's type= must agree with). */
  Selector apply(Selector selector) {
    Integer wanted = objectClass();
    if (wanted == null) return selector;
    Integer given = selector.objectClass();
    if (given != null && !given.equals(wanted)) {
      throw Failure.usage(
          "--type " + type + " and the URI's type (" + Names.objectClass(given) + ") differ");
    }
    return selector.ofClass(wanted);
  }

  /**
   * What `key` and --type select together; a usage failure asking for `what` ("the objects to
   * show") when they select nothing in particular.
   */
  Selector required(KeyOptions key, String what) {
    Selector selector = apply(key.selector());
    if (selector.isEmpty() && objectClass() == null) {
      throw Failure.usage("name " + what + " with --label, --id or --type");
    }
    return selector;
  }
}
