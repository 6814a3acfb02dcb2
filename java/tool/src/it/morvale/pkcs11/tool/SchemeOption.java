package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Curves;
import it.morvale.pkcs11.token.Mechanism;
import it.morvale.pkcs11.token.Names;
import it.morvale.pkcs11.token.SignatureScheme;
import it.morvale.pkcs11.token.TokenObject;
import java.security.GeneralSecurityException;
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

  /** Refuses a name that no signature or HMAC mechanism has, before anything is read or loaded. */
  void check() {
    if (name != null && mac() == null) named();
  }

  /** The HMAC mechanism that -m names (SHA256-HMAC, ...), or null when it names none. */
  Mechanism mac() {
    Mechanism m = name == null ? null : Mechanism.named(name);
    return m != null && m.kind() == Mechanism.Kind.MAC && !m.needsParameters()
            && m.keyType() == Cryptoki.CKK_GENERIC_SECRET
        ? m
        : null;
  }

  /** The HMAC mechanism for a generic secret key: -m's, else SHA256-HMAC. */
  Mechanism macFor(TokenObject key) throws Exception {
    int keyType = key.keyType();
    if (keyType != Cryptoki.CKK_GENERIC_SECRET) {
      throw Failure.usage("the " + key.describe() + " is an " + Names.keyType(keyType)
          + " secret key; HMAC signs with a generic secret (keygen generic:BITS)");
    }
    if (name == null) return Mechanism.of(Cryptoki.CKM_SHA256_HMAC);
    Mechanism m = mac();
    if (m == null)
      throw Failure.usage(name + " does not sign with a secret key; choose an HMAC"
          + " mechanism such as SHA256-HMAC");
    return m;
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
    int orderBits = 0;
    if (keyType == Cryptoki.CKK_EC) {
      try {
        orderBits = Curves.of(key.bytesIfPresent(Cryptoki.CKA_EC_PARAMS)).orderBits();
      } catch (GeneralSecurityException e) {
        orderBits = 0;
      }
    }
    return choose(keyType, orderBits);
  }

  /**
   * The scheme that -m names, or the usual one for a key of `keyType`: for ECDSA the hash as long
   * as the curve's order (`orderBits`, 0 when unknown), as RFC 5480 pairs them.
   */
  SignatureScheme choose(int keyType, int orderBits) {
    if (mac() != null) {
      throw Failure.usage(mac().name() + " signs with a generic secret key, not an "
          + Names.keyType(keyType) + " key");
    }
    SignatureScheme scheme = name != null             ? named()
        : keyType == Cryptoki.CKK_EC && orderBits > 0 ? SignatureScheme.ecdsa(ecdsaHash(orderBits))
                                                      : SignatureScheme.usualFor(keyType);
    if (scheme == null) {
      throw Failure.usage("no signature mechanism for a " + Names.keyType(keyType) + " key");
    }
    if (scheme.keyType() != keyType) {
      throw Failure.usage(scheme.name() + " needs an " + Names.keyType(scheme.keyType())
          + " key, not " + Names.keyType(keyType));
    }
    return scheme;
  }

  private static String ecdsaHash(int orderBits) {
    if (orderBits <= 224) return "SHA-224";
    if (orderBits <= 256) return "SHA-256";
    if (orderBits <= 384) return "SHA-384";
    return "SHA-512";
  }
}
