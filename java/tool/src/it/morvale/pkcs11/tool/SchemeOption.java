package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.Mechanism;
import it.morvale.pkcs11.token.Names;
import it.morvale.pkcs11.token.SignatureScheme;
import it.morvale.pkcs11.token.TokenObject;
import java.util.Iterator;
import java.util.stream.Collectors;
import picocli.CommandLine.Option;

/**
 * -m/--mechanism for signatures: any signature mechanism that the token layer signs with, whether
 * or not the token lists it (the layer hashes in Java where the token cannot).
 */
final class SchemeOption {
  /** The names -m takes, for the help text. */
  static final class Choices implements Iterable<String> {
    @Override
    public Iterator<String> iterator() {
      return SignatureScheme.mechanisms().stream().map(Mechanism::name).iterator();
    }
  }

  @Option(names = {"-m", "--mechanism"}, paramLabel = "NAME", descriptionKey = "mechanism",
      completionCandidates = Choices.class)
  String name;

  /** Refuses a name that no signature mechanism has, before anything is read or loaded. */
  void check() {
    if (name != null) named();
  }

  private SignatureScheme named() {
    Mechanism m = Mechanism.named(name);
    SignatureScheme scheme = m == null ? null : SignatureScheme.forMechanism(m.type());
    if (scheme != null) return scheme;
    throw Failure.usage("no signature mechanism " + name + "; choose one of "
        + SignatureScheme.mechanisms()
              .stream()
              .map(Mechanism::name)
              .collect(Collectors.joining(", ")));
  }

  /** The scheme that -m names, or the usual one for the key; either must suit the key. */
  SignatureScheme choose(TokenObject key) throws Exception {
    int keyType = key.keyType();
    SignatureScheme scheme = name != null ? named() : SignatureScheme.usualFor(keyType);
    if (scheme == null) {
      throw Failure.usage("no signature mechanism for a " + Names.keyType(keyType) + " key");
    }
    if (scheme.keyType() != keyType) {
      throw Failure.usage(scheme.name() + " needs an " + Names.keyType(scheme.keyType())
          + " key, not " + Names.keyType(keyType));
    }
    return scheme;
  }
}
