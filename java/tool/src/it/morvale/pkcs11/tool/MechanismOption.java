package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.TokenObject;
import picocli.CommandLine.Option;

/** -m/--mechanism: the mechanism a command uses, worded for each command in its description. */
final class MechanismOption {
  @Option(names = {"-m", "--mechanism"}, paramLabel = "NAME", descriptionKey = "mechanism")
  String name;

  /** Refuses a name that no mechanism for `use` has, before anything is read or loaded. */
  void check(Mechanisms.Use use) {
    if (name != null) Mechanisms.offered(use, name);
  }

  /** The mechanism that -m names, or the usual one for the key. */
  Mechanisms.Offered choose(Mechanisms.Use use, TokenObject key) throws Exception {
    int keyType = key.keyType();
    Mechanisms.Offered m =
        name != null ? Mechanisms.offered(use, name) : Mechanisms.usual(use, keyType);
    if (m == null) {
      throw Failure.usage("no mechanism here for a " + Names.keyType(keyType) + " key");
    }
    if (m.keyType != keyType) {
      throw Failure.usage(
          m.name + " needs an " + Names.keyType(m.keyType) + " key, not " + Names.keyType(keyType));
    }
    return m;
  }
}
