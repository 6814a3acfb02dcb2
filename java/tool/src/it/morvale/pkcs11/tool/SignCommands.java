package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Der;
import it.morvale.pkcs11.token.Session;
import it.morvale.pkcs11.token.Slot;
import it.morvale.pkcs11.token.TokenObject;
import java.nio.file.Path;
import java.security.MessageDigest;
import java.security.PublicKey;
import java.security.Signature;
import java.security.SignatureException;
import picocli.CommandLine.Command;
import picocli.CommandLine.Mixin;
import picocli.CommandLine.Option;

/** Signatures: made by the token, checked in Java. */
final class SignCommands {
  private SignCommands() {}

  /** How an EC signature is written: the token's r‖s, or DER as OpenSSL and Java read it. */
  enum Format { rs, der }

  /** The mechanism that -m names, or the usual one for the key. */
  static Mechanisms.Offered mechanism(Mechanisms.Use use, String name, TokenObject key)
      throws Exception {
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

  /** `key "label"`, `key with id 01` or `key 5` (the handle): the key in messages. */
  static String describe(TokenObject key) throws Exception {
    String label = key.label();
    if (label != null && !label.isEmpty()) return "key \"" + label + "\"";
    byte[] id = key.id();
    if (id != null && id.length > 0) return "key with id " + Io.hex(id);
    return "key " + key.handle();
  }

  private static boolean lists(Slot slot, int mechanism) throws Exception {
    for (int m : slot.mechanisms()) {
      if (m == mechanism) return true;
    }
    return false;
  }

  @Command(name = "sign",
      description = {"Sign data with a private key. ECDSA with a hash is"
          + " made as the hash in Java and ECDSA on the token when the token lacks the combined"
          + " mechanism."})
  static final class Sign extends UserCommand {
    @Mixin KeyOptions key;

    @Option(names = {"-m", "--mechanism"}, paramLabel = "NAME",
        description = "SHA256-RSA-PKCS (RSA keys), ECDSA-SHA256 (EC keys), or another of"
            + " RSA-PKCS, SHA{1,224,384,512}-RSA-PKCS, ECDSA, ECDSA-SHA{1,224,384,512}")
    String mechanism;

    @Option(names = "--in", paramLabel = "FILE", description = "the data (default: standard input)")
    Path in;

    @Option(names = "--out", paramLabel = "FILE",
        description = "the signature (default: standard output)")
    Path out;

    @Option(names = "--format", paramLabel = "rs|der",
        description = "an EC signature as r‖s (default, as the token makes it) or DER (OpenSSL's)")
    Format format = Format.rs;

    @Override
    void check() {
      if (mechanism != null) Mechanisms.offered(Mechanisms.Use.SIGN, mechanism);
      key.selector();
    }

    @Override
    void run(Token token, Pins pins) throws Exception {
      Session session = token.user(false, pins);
      TokenObject privateKey =
          token.key(session, key.selector(), "private key", Cryptoki.CKO_PRIVATE_KEY);
      Mechanisms.Offered m = mechanism(Mechanisms.Use.SIGN, mechanism, privateKey);
      byte[] data = Io.read(in);
      int type = m.type;
      byte[] input = data;
      if (m.digest != null && !lists(token.slot(), m.type)) {
        input = MessageDigest.getInstance(m.digest).digest(data);
        type = Cryptoki.CKM_ECDSA;
      }
      byte[] signature = session.sign(type, privateKey, input);
      if (m.keyType == Cryptoki.CKK_EC && format == Format.der) {
        signature = Der.ecdsaToDer(signature);
      }
      Io.write(out, signature);
      if (!Io.isStandard(out)) {
        System.out.println("signed " + data.length + " bytes with " + m.name + " and "
            + describe(privateKey) + ": " + out + " (" + signature.length + " bytes)");
      }
    }
  }

  @Command(name = "verify",
      description = {"Check a signature in Java (java.security) with the"
          + " public key read from the token, so that an implementation other than the token's"
          + " checks it. Exit status 3 when it does not match."})
  static final class Verify extends PublicCommand {
    @Mixin KeyOptions key;

    @Option(names = {"-m", "--mechanism"}, paramLabel = "NAME",
        description = "the mechanism the signature was made with (as for sign)")
    String mechanism;

    @Option(names = "--in", paramLabel = "FILE", description = "the data (default: standard input)")
    Path in;

    @Option(
        names = "--signature", required = true, paramLabel = "FILE", description = "the signature")
    Path signature;

    @Option(names = "--format", paramLabel = "rs|der",
        description = "an EC signature as r‖s (default) or DER")
    Format format = Format.rs;

    @Override
    void check() {
      if (mechanism != null) Mechanisms.offered(Mechanisms.Use.SIGN, mechanism);
      key.selector();
    }

    @Override
    void run(Token token, Pins pins) throws Exception {
      Session session = session(token, pins);
      TokenObject found = token.key(
          session, key.selector(), "public key", Cryptoki.CKO_PUBLIC_KEY, Cryptoki.CKO_PRIVATE_KEY);
      Mechanisms.Offered m = mechanism(Mechanisms.Use.SIGN, mechanism, found);
      PublicKey publicKey = Token.publicKey(found);
      byte[] data = Io.read(in);
      byte[] given = Io.read(signature);
      Signature verifier = Signature.getInstance(m.verifier);
      verifier.initVerify(publicKey);
      verifier.update(data);
      boolean valid;
      try {
        byte[] encoded =
            m.keyType == Cryptoki.CKK_EC && format == Format.rs ? Der.ecdsaToDer(given) : given;
        valid = verifier.verify(encoded);
      } catch (SignatureException e) {
        valid = false;
      }
      String what = m.name + " signature of " + describe(found);
      if (!valid) throw Failure.mismatch("the " + what + " does not match the data");
      System.out.println(
          "verified the " + what + " in Java (" + verifier.getProvider().getName() + ")");
    }
  }
}
