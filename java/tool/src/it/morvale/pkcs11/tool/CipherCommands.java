package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.KeyTemplates;
import it.morvale.pkcs11.token.Mechanism;
import it.morvale.pkcs11.token.Session;
import it.morvale.pkcs11.token.TokenObject;
import picocli.CommandLine.Command;
import picocli.CommandLine.Mixin;
import picocli.CommandLine.Option;

/**
 * Encryption and key wrapping on the token. Only mechanisms without parameters reach the token
 * through the bridge: RSA-PKCS for data, RSA-PKCS and AES key wrap for keys.
 */
final class CipherCommands {
  private CipherCommands() {}

  /** The padding that RSA-PKCS adds: at most the modulus length less 11 bytes of data. */
  private static final int RSA_PKCS_OVERHEAD = 11;

  private static void summary(OutputOption out, String text) {
    if (out.named()) System.out.println(text + ": " + out.file);
  }

  @Command(name = "encrypt",
      description = {"Encrypt data with an RSA public key (RSA-PKCS): on the token with its"
          + " public key object, else in Java with a certificate's key."})
  static final class Encrypt extends PublicCommand {
    @Mixin KeyOptions key;
    @Mixin MechanismOption mechanism;
    @Mixin InputOption in;
    @Mixin OutputOption out;

    @Override
    void check() {
      mechanism.check(MechanismOption.Use.ENCRYPT);
      key.selector();
    }

    @Override
    void run(Token token, Pins pins) throws Exception {
      Session session = session(token, pins);
      TokenObject publicKey = Token.key(session, key.selector(), "", "public key",
          Cryptoki.CKO_PUBLIC_KEY, Cryptoki.CKO_CERTIFICATE);
      if (publicKey.objectClass() == Cryptoki.CKO_CERTIFICATE) {
        withCertificate(publicKey);
        return;
      }
      Mechanism m = mechanism.choose(MechanismOption.Use.ENCRYPT, publicKey);
      Integer bits = publicKey.bits();
      if (bits == null)
        throw Failure.usage("the token does not tell the size of the " + publicKey.describe());
      int room = (bits + 7) / 8;
      byte[] data =
          in.read(room - RSA_PKCS_OVERHEAD, m.name() + " with this " + bits + "-bit key encrypts");
      // Encryption has no size query: the token gets room for one modulus.
      out.write(session.encrypt(m.type(), publicKey, data, room));
      summary(out,
          "encrypted " + data.length + " bytes with " + m.name() + " and " + publicKey.describe());
    }

    /** A card holds a certificate and no public key object: Java encrypts with its key. */
    private void withCertificate(TokenObject certificate) throws Exception {
      java.security.PublicKey publicKey = Token.publicKey(certificate);
      if (!(publicKey instanceof java.security.interfaces.RSAPublicKey)) {
        throw Failure.usage("RSA-PKCS needs an RSA key, and the " + Token.describe(certificate)
            + " holds a " + publicKey.getAlgorithm() + " key");
      }
      int bits = ((java.security.interfaces.RSAPublicKey) publicKey).getModulus().bitLength();
      byte[] data = in.read(
          (bits + 7) / 8 - RSA_PKCS_OVERHEAD, "RSA-PKCS with this " + bits + "-bit key encrypts");
      javax.crypto.Cipher cipher = javax.crypto.Cipher.getInstance("RSA/ECB/PKCS1Padding");
      cipher.init(javax.crypto.Cipher.ENCRYPT_MODE, publicKey);
      out.write(cipher.doFinal(data));
      summary(out,
          "encrypted " + data.length + " bytes with RSA-PKCS in Java and the "
              + Token.describe(certificate));
    }
  }

  @Command(name = "decrypt", description = "Decrypt data with an RSA private key (RSA-PKCS).")
  static final class Decrypt extends UserCommand {
    @Mixin KeyOptions key;
    @Mixin MechanismOption mechanism;
    @Mixin InputOption in;
    @Mixin OutputOption out;

    @Override
    void check() {
      mechanism.check(MechanismOption.Use.ENCRYPT);
      key.selector();
    }

    @Override
    void run(Token token, Pins pins) throws Exception {
      Session session = token.user(pins);
      TokenObject privateKey =
          Token.key(session, key.selector(), "", "private key", Cryptoki.CKO_PRIVATE_KEY);
      Mechanism m = mechanism.choose(MechanismOption.Use.ENCRYPT, privateKey);
      Integer bits = privateKey.bits();
      int room = bits == null ? Io.WHOLE_AT_MOST : (bits + 7) / 8;
      byte[] data =
          session.decrypt(m.type(), privateKey, in.read(room, "a ciphertext of this key holds"));
      out.write(data);
      summary(out,
          "decrypted " + data.length + " bytes with " + m.name() + " and " + privateKey.describe());
    }
  }

  @Command(name = "wrap",
      description = {"Wrap (export encrypted) a secret key with an RSA public"
          + " key (RSA-PKCS) or an AES key (AES-KEY-WRAP, AES-KEY-WRAP-PAD)."})
  static final class Wrap extends UserCommand {
    @Mixin KeyOptions key;
    @Mixin WrappingKeyOptions wrapping;
    @Mixin MechanismOption mechanism;
    @Mixin OutputOption out;

    @Override
    void check() {
      mechanism.check(MechanismOption.Use.WRAP);
      if (key.selector().isEmpty())
        throw Failure.usage("name the key to wrap with --label or --id");
      wrapping.selector();
    }

    @Override
    void run(Token token, Pins pins) throws Exception {
      Session session = token.user(pins);
      TokenObject wrappingKey = Token.key(session, wrapping.selector(), "wrapping-", "wrapping key",
          Cryptoki.CKO_PUBLIC_KEY, Cryptoki.CKO_SECRET_KEY);
      Mechanism m = mechanism.choose(MechanismOption.Use.WRAP, wrappingKey);
      TokenObject secret =
          Token.key(session, key.selector(), "", "secret key", Cryptoki.CKO_SECRET_KEY);
      byte[] wrapped = session.wrapKey(m.type(), wrappingKey, secret);
      out.write(wrapped);
      summary(out,
          "wrapped the " + secret.describe() + " with " + m.name() + " and "
              + wrappingKey.describe() + " (" + wrapped.length + " bytes)");
    }
  }

  @Command(name = "unwrap",
      description = {"Unwrap a wrapped key onto the token as a new AES key,"
          + " with an RSA private key (RSA-PKCS) or an AES key (AES-KEY-WRAP, AES-KEY-WRAP-PAD)."})
  static final class Unwrap extends UserCommand {
    @Option(names = "--label", paramLabel = "LABEL", description = "the new key's label")
    String label;

    @Option(names = "--id", paramLabel = "HEX", description = "the new key's id, in hex") String id;

    @Mixin WrappingKeyOptions wrapping;
    @Mixin MechanismOption mechanism;
    @Mixin InputOption in;
    @Mixin Json.JsonOption json;

    @Override
    void check() {
      mechanism.check(MechanismOption.Use.WRAP);
      KeyOptions.selector(label, id, "--id");
      wrapping.selector();
    }

    @Override
    void run(Token token, Pins pins) throws Exception {
      Session session = token.writingUser(pins);
      TokenObject unwrappingKey = Token.key(session, wrapping.selector(), "wrapping-",
          "unwrapping key", Cryptoki.CKO_PRIVATE_KEY, Cryptoki.CKO_SECRET_KEY);
      Mechanism m = mechanism.choose(MechanismOption.Use.WRAP, unwrappingKey);
      byte[] wrapped = in.read(1 << 16, "a wrapped key holds");
      Token.refuseTaken(session, label);
      byte[] newId = KeyOptions.selector(label, id, "--id").id();
      TokenObject key = session.unwrapKey(m.type(), unwrappingKey, wrapped,
          KeyTemplates.secret(Cryptoki.CKK_AES, label, newId, true));
      if (json.wanted()) {
        Json.print(ObjectText.json(key));
        return;
      }
      System.out.println("unwrapped an " + key.describeKey() + " key"
          + (label == null ? "" : " \"" + label + "\"") + " with " + m.name() + " and "
          + unwrappingKey.describe());
    }
  }
}
