package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Curves;
import it.morvale.pkcs11.token.KeyTemplates;
import java.util.List;
import java.util.Locale;
import java.util.stream.Collectors;

/**
 * A kind of key as keygen's command line names it: rsa:BITS, ec:CURVE (an ECDSA curve by name or
 * OID, or an Edwards curve for EdDSA), ed25519 and ed448, aes:BITS or generic:BITS (a generic
 * secret, for HMAC). The token layer's templates say what each key may do.
 */
final class KeyKind {
  private final String algorithm;
  private final int bits;
  private final Curves.Curve curve;

  private KeyKind(String algorithm, int bits, Curves.Curve curve) {
    this.algorithm = algorithm;
    this.bits = bits;
    this.curve = curve;
  }

  /** The kind that `text` names; a usage failure saying what is wanted otherwise. */
  static KeyKind parse(String text) {
    String[] parts = text.split(":", 2);
    String algorithm = parts[0].toLowerCase(Locale.ROOT);
    String value = parts.length == 2 ? parts[1] : "";
    if ((algorithm.equals("ed25519") || algorithm.equals("ed448")) && parts.length == 1) {
      return new KeyKind("ec", 0, Curves.named(algorithm));
    }
    if (algorithm.equals("ec") || algorithm.equals("eddsa")) {
      Curves.Curve curve = Curves.named(value);
      if (curve == null && value.matches("[0-2](\\.[0-9]+)+")) curve = Curves.ofOid(value);
      if (curve == null || !signs(curve)) {
        throw Failure.usage("ec wants a curve that signs, one of " + signingCurves()
            + ", or a curve's OID such as 1.3.132.0.10, not \"" + value + "\"");
      }
      return new KeyKind("ec", 0, curve);
    }
    if (algorithm.equals("secret") || algorithm.equals("hmac")) algorithm = "generic";
    if (!algorithm.equals("rsa") && !algorithm.equals("aes") && !algorithm.equals("generic")) {
      throw Failure.usage("no key kind \"" + text + "\"; choose rsa:BITS, ec:CURVE, ed25519,"
          + " aes:BITS or generic:BITS");
    }
    int bits;
    try {
      bits = Integer.parseInt(value);
    } catch (NumberFormatException e) {
      bits = 0;
    }
    if (algorithm.equals("aes") && bits != 128 && bits != 192 && bits != 256) {
      throw Failure.usage("aes wants 128, 192 or 256 bits, not \"" + value + "\"");
    }
    if (bits <= 0) {
      throw Failure.usage(algorithm + " wants a number of bits, not \"" + value + "\"");
    }
    if (algorithm.equals("generic") && bits % 8 != 0) {
      throw Failure.usage("generic wants a whole number of bytes, in bits (256, say), not " + bits);
    }
    return new KeyKind(algorithm, bits, null);
  }

  private static boolean signs(Curves.Curve curve) {
    return curve.keyType() == Cryptoki.CKK_EC || curve.keyType() == Cryptoki.CKK_EC_EDWARDS;
  }

  private static String signingCurves() {
    return Curves.all()
        .stream()
        .filter(KeyKind::signs)
        .map(Curves.Curve::name)
        .collect(Collectors.joining(", "));
  }

  /** Whether the kind is a key pair rather than a secret key. */
  boolean isPair() { return algorithm.equals("rsa") || algorithm.equals("ec"); }

  /** The templates of a new key pair of this kind. */
  KeyTemplates.Pair pair(String label, byte[] id) {
    return algorithm.equals("rsa") ? KeyTemplates.rsa(bits, null, label, id)
                                   : KeyTemplates.ec(curve, label, id);
  }

  /**
   * The template of a new secret key of this kind; an AES key is extractable, to be wrapped, a
   * generic secret not.
   */
  KeyTemplates.Secret secret(String label, byte[] id) {
    return algorithm.equals("aes") ? KeyTemplates.aes(bits, label, id, true)
                                   : KeyTemplates.genericSecret(bits, label, id, false);
  }

  /** The size that the token's mechanism information bounds, in its unit ({@link #tokenUnit}). */
  int sizeInTokenUnits() { return algorithm.equals("aes") ? bits / 8 : bits; }

  /** "bits" for RSA and generic secrets, "bytes" for AES: the unit of the token's key sizes. */
  String tokenUnit() { return algorithm.equals("aes") ? "bytes" : "bits"; }

  /** Whether the token's mechanism information bounds this kind's size. */
  boolean sizeBounded() { return !algorithm.equals("ec"); }

  /** "an RSA 2048 key pair", "an EC P-256 key pair", "an Ed25519 key pair", "an AES 256 key". */
  String describe() {
    switch (algorithm) {
      case "rsa":
        return "an RSA " + bits + " key pair";
      case "aes":
        return "an AES " + bits + " key";
      case "generic":
        return "a generic secret of " + bits + " bits";
      default:
        return (curve.keyType() == Cryptoki.CKK_EC ? "an EC " : "an ") + curve.name() + " key pair";
    }
  }

  /** The generation mechanisms of every kind. */
  static List<Integer> mechanisms() {
    return List.of(KeyTemplates.rsa(2048, null, null, null).mechanism(),
        KeyTemplates.ec(Curves.named("P-256"), null, null).mechanism(),
        KeyTemplates.ec(Curves.named("Ed25519"), null, null).mechanism(),
        KeyTemplates.aes(256, null, null, true).mechanism(),
        KeyTemplates.genericSecret(256, null, null, false).mechanism());
  }
}
