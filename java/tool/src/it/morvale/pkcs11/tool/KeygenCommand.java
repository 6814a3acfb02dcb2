package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.PublicKeys;
import it.morvale.pkcs11.token.Session;
import it.morvale.pkcs11.token.Template;
import java.math.BigInteger;
import java.security.GeneralSecurityException;
import java.util.List;
import java.util.Locale;
import picocli.CommandLine.Command;
import picocli.CommandLine.Option;
import picocli.CommandLine.Parameters;

/** Key generation on the token. */
@Command(name = "keygen",
    description = {"Generate a key on the token: an RSA or EC key pair"
        + " (signing, verifying, encrypting, decrypting, wrapping) or an AES key (wrapping, and"
        + " extractable so that it can be wrapped itself)."})
final class KeygenCommand extends UserCommand {
  @Parameters(
      paramLabel = "KIND", description = "rsa:BITS, ec:P-256, ec:P-384, ec:P-521 or aes:BITS")
  String kind;

  @Option(names = "--label", paramLabel = "LABEL", description = "the new key's label")
  String label;

  @Option(names = "--id", paramLabel = "HEX", description = "the new key's id, in hex") String id;

  private String algorithm;
  private int size;
  private String curve;

  @Override
  void check() {
    String[] parts = kind.split(":", 2);
    algorithm = parts[0].toLowerCase(Locale.ROOT);
    String value = parts.length == 2 ? parts[1] : "";
    if (algorithm.equals("ec")) {
      curve = value.toUpperCase(Locale.ROOT);
      if (!List.of("P-256", "P-384", "P-521").contains(curve)) {
        throw Failure.usage("ec wants the curve P-256, P-384 or P-521, not \"" + value + "\"");
      }
      return;
    }
    if (!algorithm.equals("rsa") && !algorithm.equals("aes")) {
      throw Failure.usage("no key kind \"" + kind + "\"; choose rsa:BITS, ec:CURVE or aes:BITS");
    }
    try {
      size = Integer.parseInt(value);
    } catch (NumberFormatException e) {
      size = 0;
    }
    if (algorithm.equals("aes") && size != 128 && size != 192 && size != 256) {
      throw Failure.usage("aes wants 128, 192 or 256 bits, not \"" + value + "\"");
    }
    if (size <= 0) throw Failure.usage("rsa wants a number of bits, not \"" + value + "\"");
    if (id != null) Io.unhex("--id", id);
  }

  @Override
  void run(Token token, Pins pins) throws Exception {
    Session session = token.user(true, pins);
    Token.Selector selector = new Token.Selector(label, id, "--id");
    Token.refuseTaken(session, label);
    String what;
    if (algorithm.equals("aes")) {
      what = "an AES " + size + " key";
      try (Spinner spinner = Spinner.start("generating " + what)) {
        session.generateKey(Cryptoki.CKM_AES_KEY_GEN,
            KeyTemplates.secretKey(selector).add(Cryptoki.CKA_VALUE_LEN, size / 8));
      }
    } else {
      Template publicKey = KeyTemplates.publicKey(selector);
      Template privateKey = KeyTemplates.privateKey(selector);
      int mechanism;
      if (algorithm.equals("rsa")) {
        mechanism = Cryptoki.CKM_RSA_PKCS_KEY_PAIR_GEN;
        publicKey.add(Cryptoki.CKA_MODULUS_BITS, size)
            .add(Cryptoki.CKA_PUBLIC_EXPONENT, BigInteger.valueOf(65537));
        what = "an RSA " + size + " key pair";
      } else {
        mechanism = Cryptoki.CKM_EC_KEY_PAIR_GEN;
        publicKey.add(Cryptoki.CKA_EC_PARAMS, curveParameters(curve));
        what = "an EC " + curve + " key pair";
      }
      try (Spinner spinner = Spinner.start("generating " + what)) {
        session.generateKeyPair(mechanism, publicKey, privateKey);
      }
    }
    System.out.println("generated " + what + (label == null ? "" : " \"" + label + "\"")
        + (id == null ? "" : " with id " + Io.hex(selector.id)));
  }

  private static byte[] curveParameters(String curve) {
    try {
      return PublicKeys.ecParameters(curve);
    } catch (GeneralSecurityException e) {
      throw Failure.usage("this Java knows no curve " + curve);
    }
  }
}
