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
    @Mixin MechanismOption mechanism;
    @Mixin InputOption in;
    @Mixin OutputOption out;
    @Mixin FormatOption format;

    @Override
    void check() {
      mechanism.check(Mechanisms.Use.SIGN);
      key.selector();
    }

    @Override
    void run(Token token, Pins pins) throws Exception {
      Session session = token.user(false, pins);
      TokenObject privateKey =
          token.key(session, key.selector(), "private key", Cryptoki.CKO_PRIVATE_KEY);
      Mechanisms.Offered m = mechanism.choose(Mechanisms.Use.SIGN, privateKey);
      byte[] data = in.read();
      int type = m.type;
      byte[] input = data;
      if (m.digest != null && !lists(token.slot(), m.type)) {
        input = MessageDigest.getInstance(m.digest).digest(data);
        type = Cryptoki.CKM_ECDSA;
      }
      byte[] signature = session.sign(type, privateKey, input);
      if (m.keyType == Cryptoki.CKK_EC && format.der()) {
        signature = Der.ecdsaToDer(signature);
      }
      out.write(signature);
      if (out.named()) {
        System.out.println("signed " + data.length + " bytes with " + m.name + " and "
            + Names.key(privateKey) + ": " + out.file + " (" + signature.length + " bytes)");
      }
    }
  }

  @Command(name = "verify",
      description = {"Check a signature in Java (java.security) with the"
          + " public key read from the token, so that an implementation other than the token's"
          + " checks it. Exit status 3 when it does not match."})
  static final class Verify extends PublicCommand {
    @Mixin KeyOptions key;
    @Mixin MechanismOption mechanism;
    @Mixin InputOption in;

    @Option(
        names = "--signature", required = true, paramLabel = "FILE", description = "the signature")
    Path signature;

    @Mixin FormatOption format;

    @Override
    void check() {
      mechanism.check(Mechanisms.Use.SIGN);
      key.selector();
    }

    @Override
    void run(Token token, Pins pins) throws Exception {
      Session session = session(token, pins);
      TokenObject found = token.key(
          session, key.selector(), "public key", Cryptoki.CKO_PUBLIC_KEY, Cryptoki.CKO_PRIVATE_KEY);
      Mechanisms.Offered m = mechanism.choose(Mechanisms.Use.SIGN, found);
      PublicKey publicKey = Token.publicKey(found);
      byte[] data = in.read();
      byte[] given = Io.read(signature);
      Signature verifier = Signature.getInstance(m.verifier);
      verifier.initVerify(publicKey);
      verifier.update(data);
      boolean valid;
      try {
        byte[] encoded =
            m.keyType == Cryptoki.CKK_EC && !format.der() ? Der.ecdsaToDer(given) : given;
        valid = verifier.verify(encoded);
      } catch (SignatureException e) {
        valid = false;
      }
      String what = m.name + " signature of " + Names.key(found);
      if (!valid) throw Failure.mismatch("the " + what + " does not match the data");
      System.out.println(
          "verified the " + what + " in Java (" + verifier.getProvider().getName() + ")");
    }
  }
}
