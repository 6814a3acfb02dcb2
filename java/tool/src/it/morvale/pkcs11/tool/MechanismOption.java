package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Mechanism;
import it.morvale.pkcs11.token.Names;
import it.morvale.pkcs11.token.TokenObject;
import java.util.List;
import java.util.stream.Collectors;
import picocli.CommandLine.Option;

/**
 * -m/--mechanism for encryption and key wrapping, worded for each command in its description. The
 * bridge passes mechanisms without parameters, so these commands use the few that take none:
 * RSA-PKCS for data, RSA-PKCS and AES key wrap for keys (AES-ECB is left out, since it leaks the
 * data's patterns).
 */
final class MechanismOption {
  /** What a command uses the mechanism for, and the mechanisms it may use, usual ones first. */
  enum Use {
    ENCRYPT("encryption", Cryptoki.CKM_RSA_PKCS),
    WRAP("wrapping", Cryptoki.CKM_RSA_PKCS, Cryptoki.CKM_AES_KEY_WRAP,
        Cryptoki.CKM_AES_KEY_WRAP_PAD);

    final String text;
    final List<Mechanism> mechanisms;

    Use(String text, int... types) {
      this.text = text;
      this.mechanisms = java.util.Arrays.stream(types)
                            .mapToObj(Mechanism::of)
                            .collect(Collectors.toUnmodifiableList());
    }
  }

  @Option(names = {"-m", "--mechanism"}, paramLabel = "NAME", descriptionKey = "mechanism")
  String name;

  /** Refuses a name that no mechanism for `use` has, before anything is read or loaded. */
  void check(Use use) {
    if (name != null) named(use);
  }

  private Mechanism named(Use use) {
    Mechanism m = Mechanism.named(name);
    if (m != null && use.mechanisms.contains(m)) return m;
    throw Failure.usage("no " + use.text + " mechanism " + name + "; choose one of "
        + use.mechanisms.stream().map(Mechanism::name).collect(Collectors.joining(", ")));
  }

  /** The mechanism that -m names, or the usual one for the key. */
  Mechanism choose(Use use, TokenObject key) throws Exception {
    int keyType = key.keyType();
    if (name != null) {
      Mechanism m = named(use);
      if (m.keyType() != keyType) {
        throw Failure.usage(m.name() + " needs an " + Names.keyType(m.keyType()) + " key, not "
            + Names.keyType(keyType));
      }
      return m;
    }
    for (Mechanism m : use.mechanisms) {
      if (m.keyType() == keyType) return m;
    }
    throw Failure.usage(
        "no " + use.text + " mechanism here for a " + Names.keyType(keyType) + " key");
  }
}
