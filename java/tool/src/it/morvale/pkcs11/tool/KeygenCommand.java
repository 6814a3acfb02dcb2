package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.KeyPairObjects;
import it.morvale.pkcs11.token.Session;
import picocli.CommandLine.Command;
import picocli.CommandLine.Option;
import picocli.CommandLine.Parameters;

/** Key generation on the token. */
@Command(name = "keygen",
    description = {"Generate a key on the token: an RSA key pair (signing,"
        + " verifying, encrypting, decrypting, wrapping), an EC or EdDSA key pair (signing and"
        + " verifying) or an AES key (wrapping, and extractable so that it can be wrapped itself)."
        + " Both keys of a pair get one id: --id, else the SHA-1 hash of the public key."})
final class KeygenCommand extends UserCommand {
  @Parameters(paramLabel = "KIND",
      description = "rsa:BITS, ec:CURVE (P-256, P-384, P-521, secp256k1, Ed25519, ...) or aes:BITS")
  String kind;

  @Option(names = "--label", paramLabel = "LABEL", description = "the new key's label")
  String label;

  @Option(names = "--id", paramLabel = "HEX", description = "the new key's id, in hex") String id;

  private KeyKind parsed;

  @Override
  void check() {
    parsed = KeyKind.parse(kind);
    if (id != null) Io.unhex("--id", id);
  }

  @Override
  void run(Token token, Pins pins) throws Exception {
    Session session = token.writingUser(pins);
    byte[] newId = KeyOptions.selector(label, id, "--id").id();
    Token.refuseTaken(session, label);
    String what = parsed.describe();
    byte[] given;
    try (Spinner spinner = Spinner.start("generating " + what)) {
      if (parsed.isPair()) {
        KeyPairObjects pair = session.generateKeyPair(parsed.pair(label, newId));
        given = pair.id();
      } else {
        session.generateKey(parsed.secret(label, newId));
        given = newId;
      }
    }
    System.out.println("generated " + what + (label == null ? "" : " \"" + label + "\"")
        + (given == null ? "" : " with id " + Io.hex(given)));
  }
}
