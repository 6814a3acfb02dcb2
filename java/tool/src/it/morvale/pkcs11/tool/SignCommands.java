package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Der;
import it.morvale.pkcs11.token.Mechanism;
import it.morvale.pkcs11.token.ObjectTemplates;
import it.morvale.pkcs11.token.Session;
import it.morvale.pkcs11.token.SignatureScheme;
import it.morvale.pkcs11.token.Signer;
import it.morvale.pkcs11.token.TokenObject;
import java.nio.file.Path;
import java.security.InvalidAlgorithmParameterException;
import java.security.InvalidKeyException;
import java.security.MessageDigest;
import java.security.PublicKey;
import java.security.Signature;
import java.security.SignatureException;
import java.security.interfaces.ECPublicKey;
import java.util.Locale;
import picocli.CommandLine.Command;
import picocli.CommandLine.Mixin;
import picocli.CommandLine.Option;

/** Signatures: made by the token, checked in Java. */
final class SignCommands {
  private SignCommands() {}

  /** The most that a signature file may hold: far more than any signature. */
  private static final int SIGNATURE_AT_MOST = 1 << 16;

  /** The padding that RSA-PKCS adds: at most the modulus length less 11 bytes of data. */
  private static final int RSA_PKCS_OVERHEAD = 11;

  /**
   * The most input that a token given all the data at once may take; one line on standard error
   * says before the reading that it is held in memory.
   */
  private static int wholeInput(String command, String mechanism, TokenObject key, boolean raw) {
    int limit = Io.WHOLE_AT_MOST;
    if (raw) {
      Integer bits = key.bits();
      if (bits != null) limit = (bits + 7) / 8 - RSA_PKCS_OVERHEAD;
    }
    System.err.println("quillon: " + command + ": " + mechanism + " gives the token all the data"
        + " at once: it is held in memory, at most " + limit + " bytes");
    return limit;
  }

  /** Hands the input to `part`, refusing it once it passes `limit` bytes. */
  private static long feed(InputOption in, long limit, String mechanism, Io.Part part)
      throws Exception {
    long[] total = {0};
    return in.feed((buffer, n) -> {
      total[0] += n;
      if (total[0] > limit) {
        throw Failure.usage(mechanism + " with this key signs at most " + limit + " bytes of"
            + " data; the input holds more");
      }
      part.take(buffer, n);
    });
  }

  @Command(name = "sign",
      description = {"Sign data with a private key, or with a generic secret"
          + " key (HMAC). The data is read as it comes, whatever its size, wherever a hash comes"
          + " first. Where the token lacks the mechanism that hashes and signs in one, Java hashes"
          + " and the token signs the hash (RSA-PKCS, RSA-X-509 for PSS, ECDSA). EDDSA, HMAC and"
          + " the raw RSA-PKCS and ECDSA give the token all the data at once, held in memory."})
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
      TokenObject privateKey = Token.key(session, key.selector(), "", "private key",
          Cryptoki.CKO_PRIVATE_KEY, Cryptoki.CKO_SECRET_KEY);
      if (privateKey.objectClass() == Cryptoki.CKO_SECRET_KEY) {
        hmac(session, privateKey);
        return;
      }
      SignatureScheme scheme = mechanism.choose(privateKey);
      Signer signer;
      try {
        signer = Signer.start(token.slot(), privateKey, scheme, null, null);
      } catch (InvalidKeyException e) {
        throw Failure.usage(e.getMessage());
      }
      long limit = Long.MAX_VALUE;
      if (scheme.tokenSeesAllData()) {
        limit = wholeInput(
            "sign", scheme.name(), privateKey, scheme.rawMechanism() == Cryptoki.CKM_RSA_PKCS);
      }
      long length = feed(in, limit, scheme.name(), (buffer, n) -> signer.update(buffer, 0, n));
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

    private void hmac(Session session, TokenObject secret) throws Exception {
      Mechanism m = mechanism.macFor(secret);
      int limit = wholeInput("sign", m.name(), secret, false);
      byte[] data = in.read(limit, m.name() + " through the bridge signs");
      byte[] mac = session.sign(m.type(), secret, data);
      out.write(mac);
      if (out.named()) {
        System.out.println("signed " + data.length + " bytes with " + m.name() + " and "
            + secret.describe() + ": " + out.file + " (" + mac.length + " bytes)");
      }
    }
  }

  @Command(name = "verify",
      description = {"Check a signature in Java (java.security) with the"
          + " public key read from the token (a public key, else a certificate, else what a"
          + " private key object tells of it), so that an implementation other than the token's"
          + " checks it; an HMAC is made again by the token and compared. Exit status 3 when it"
          + " does not match; 1 when it cannot be checked (a curve that this Java lacks, say)."})
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
      TokenObject found =
          Token.key(session, key.selector(), "", "public key", Cryptoki.CKO_PUBLIC_KEY,
              Cryptoki.CKO_CERTIFICATE, Cryptoki.CKO_PRIVATE_KEY, Cryptoki.CKO_SECRET_KEY);
      byte[] given = Io.read(signature, SIGNATURE_AT_MOST, "a signature file holds");
      if (found.objectClass() == Cryptoki.CKO_SECRET_KEY) {
        hmac(session, found, given);
        return;
      }
      PublicKey publicKey = Token.publicKey(found);
      int keyType = ObjectTemplates.keyType(publicKey);
      int orderBits = publicKey instanceof ECPublicKey
          ? ((ECPublicKey) publicKey).getParams().getOrder().bitLength()
          : 0;
      SignatureScheme scheme = mechanism.choose(keyType, orderBits);
      String what = scheme.name() + " signature of " + Token.describe(found);
      // A check that this Java cannot make is no mismatch: it is said so, before any reading.
      String cannot = ObjectTemplates.whyJavaCannotVerify(publicKey, scheme);
      if (cannot != null) throw uncheckable(what, cannot);
      Signature verifier = Signature.getInstance(scheme.javaAlgorithm());
      try {
        if (scheme.pssParameters() != null) verifier.setParameter(scheme.pssParameters());
        verifier.initVerify(publicKey);
      } catch (InvalidKeyException | InvalidAlgorithmParameterException e) {
        throw uncheckable(what, e.getMessage());
      }
      if (scheme.tokenSeesAllData()) {
        System.err.println("quillon: verify: " + scheme.name() + " checks all the data at once:"
            + " Java holds it in memory");
      }
      in.feed((buffer, n) -> verifier.update(buffer, 0, n));
      boolean valid;
      String malformed = null;
      try {
        byte[] encoded = scheme.family() == SignatureScheme.Family.ECDSA && !format.der()
            ? Der.ecdsaToDer(given)
            : given;
        valid = verifier.verify(encoded);
      } catch (SignatureException e) {
        String reason = e.getMessage() == null ? "" : e.getMessage();
        if (reason.toLowerCase(Locale.ROOT).contains("not supported")) {
          throw uncheckable(what, reason);
        }
        valid = false;
        malformed = reason;
      }
      if (!valid) {
        throw Failure.mismatch("the " + what + " does not match the data"
            + (malformed == null || malformed.isEmpty() ? "" : " (" + malformed + ")"));
      }
      System.out.println(
          "verified the " + what + " in Java (" + verifier.getProvider().getName() + ")");
    }

    private static Failure uncheckable(String what, String why) {
      return Failure.token("cannot check the " + what + ": " + why + "; the signature is neither"
              + " accepted nor refused (export the public key and check it with openssl)",
          null);
    }

    /** An HMAC is checked by having the token make it again. */
    private void hmac(Session session, TokenObject secret, byte[] given) throws Exception {
      if (!loggedIn()) throw Failure.usage("a secret key is private: give --login or a PIN");
      Mechanism m = mechanism.macFor(secret);
      int limit = wholeInput("verify", m.name(), secret, false);
      byte[] data = in.read(limit, m.name() + " through the bridge signs");
      byte[] made = session.sign(m.type(), secret, data);
      String what = m.name() + " of " + secret.describe();
      if (!MessageDigest.isEqual(made, given)) {
        throw Failure.mismatch("the " + what + " does not match the data");
      }
      System.out.println("verified the " + what + " on the token");
    }
  }
}
