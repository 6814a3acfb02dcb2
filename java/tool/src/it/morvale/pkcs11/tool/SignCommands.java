package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Der;
import it.morvale.pkcs11.token.Session;
import it.morvale.pkcs11.token.SignatureScheme;
import it.morvale.pkcs11.token.Signer;
import it.morvale.pkcs11.token.TokenObject;
import java.nio.file.Path;
import java.security.InvalidKeyException;
import java.security.PublicKey;
import java.security.Signature;
import java.security.SignatureException;
import picocli.CommandLine.Command;
import picocli.CommandLine.Mixin;
import picocli.CommandLine.Option;

/** Signatures: made by the token, checked in Java. */
final class SignCommands {
  private SignCommands() {}

  @Command(name = "sign",
      description = {"Sign data with a private key. The data is read as it"
          + " comes, whatever its size. Where the token lacks the mechanism that hashes and signs"
          + " in one, Java hashes and the token signs the hash (RSA-PKCS, RSA-X-509 for PSS,"
          + " ECDSA)."})
  static final class Sign extends UserCommand {
    @Mixin KeyOptions key;
    @Mixin SchemeOption mechanism;
    @Mixin InputOption in;
    @Mixin OutputOption out;
    @Mixin FormatOption format;

    @Override
    void check() {
      mechanism.check();
      key.selector();
    }

    @Override
    void run(Token token, Pins pins) throws Exception {
      Session session = token.user(pins);
      TokenObject privateKey =
          Token.key(session, key.selector(), "", "private key", Cryptoki.CKO_PRIVATE_KEY);
      SignatureScheme scheme = mechanism.choose(privateKey);
      Signer signer;
      try {
        signer = Signer.start(token.slot(), privateKey, scheme, null, null);
      } catch (InvalidKeyException e) {
        throw Failure.usage(e.getMessage());
      }
      long length = in.feed((buffer, n) -> signer.update(buffer, 0, n));
      byte[] signature;
      try {
        signature = signer.sign();
      } catch (SignatureException e) {
        throw Failure.usage(e.getMessage());
      }
      if (scheme.family() == SignatureScheme.Family.ECDSA && format.der()) {
        signature = Der.ecdsaToDer(signature);
      }
      out.write(signature);
      if (out.named()) {
        String used = signer.mechanismUsed();
        System.out.println("signed " + length + " bytes with " + scheme.name()
            + (used.equals(scheme.name()) ? "" : " (" + used + " on the token)") + " and "
            + privateKey.describe() + ": " + out.file + " (" + signature.length + " bytes)");
      }
    }
  }

  @Command(name = "verify",
      description = {"Check a signature in Java (java.security) with the"
          + " public key read from the token, so that an implementation other than the token's"
          + " checks it. Exit status 3 when it does not match."})
  static final class Verify extends PublicCommand {
    @Mixin KeyOptions key;
    @Mixin SchemeOption mechanism;
    @Mixin InputOption in;

    @Option(
        names = "--signature", required = true, paramLabel = "FILE", description = "the signature")
    Path signature;

    @Mixin FormatOption format;

    @Override
    void check() {
      mechanism.check();
      key.selector();
    }

    @Override
    void run(Token token, Pins pins) throws Exception {
      Session session = session(token, pins);
      TokenObject found = Token.key(session, key.selector(), "", "public key",
          Cryptoki.CKO_PUBLIC_KEY, Cryptoki.CKO_PRIVATE_KEY);
      SignatureScheme scheme = mechanism.choose(found);
      PublicKey publicKey = Token.publicKey(found);
      byte[] given = Io.read(signature);
      Signature verifier = Signature.getInstance(scheme.javaAlgorithm());
      if (scheme.pssParameters() != null) verifier.setParameter(scheme.pssParameters());
      verifier.initVerify(publicKey);
      in.feed((buffer, n) -> verifier.update(buffer, 0, n));
      boolean valid;
      try {
        byte[] encoded = scheme.family() == SignatureScheme.Family.ECDSA && !format.der()
            ? Der.ecdsaToDer(given)
            : given;
        valid = verifier.verify(encoded);
      } catch (SignatureException e) {
        valid = false;
      }
      String what = scheme.name() + " signature of " + found.describe();
      if (!valid) throw Failure.mismatch("the " + what + " does not match the data");
      System.out.println(
          "verified the " + what + " in Java (" + verifier.getProvider().getName() + ")");
    }
  }
}
