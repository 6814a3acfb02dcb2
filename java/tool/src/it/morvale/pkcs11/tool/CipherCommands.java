package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Session;
import it.morvale.pkcs11.token.TokenObject;
import java.nio.file.Path;
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

  /** --wrapping-label and --wrapping-id: the key that wraps or unwraps. */
  static final class WrappingKey {
    @Option(names = "--wrapping-label", paramLabel = "LABEL",
        description = "the wrapping key's label (an RSA key pair or an AES key)")
    String label;

    @Option(names = "--wrapping-id", paramLabel = "HEX", description = "the wrapping key's id")
    String id;

    Token.Selector selector() {
      Token.Selector selector = new Token.Selector(label, id, "--wrapping-id");
      if (selector.isEmpty()) {
        throw Failure.usage("name the wrapping key with --wrapping-label or --wrapping-id");
      }
      return selector;
    }
  }

  private static void summary(Path out, String text) {
    if (!Io.isStandard(out)) System.out.println(text + ": " + out);
  }

  @Command(name = "encrypt", description = "Encrypt data with an RSA public key (RSA-PKCS).")
  static final class Encrypt extends PublicCommand {
    @Mixin KeyOptions key;

    @Option(names = {"-m", "--mechanism"}, paramLabel = "NAME", description = "RSA-PKCS")
    String mechanism;

    @Option(names = "--in", paramLabel = "FILE", description = "the data (default: standard input)")
    Path in;

    @Option(names = "--out", paramLabel = "FILE",
        description = "the ciphertext (default: standard output)")
    Path out;

    @Override
    void check() {
      if (mechanism != null) Mechanisms.offered(Mechanisms.Use.ENCRYPT, mechanism);
      key.selector();
    }

    @Override
    void run(Token token, Pins pins) throws Exception {
      Session session = session(token, pins);
      TokenObject publicKey =
          token.key(session, key.selector(), "public key", Cryptoki.CKO_PUBLIC_KEY);
      Mechanisms.Offered m = SignCommands.mechanism(Mechanisms.Use.ENCRYPT, mechanism, publicKey);
      byte[] data = Io.read(in);
      int room = Token.modulusBytes(publicKey);
      if (data.length > room - RSA_PKCS_OVERHEAD) {
        throw Failure.usage(m.name + " with this key encrypts at most " + (room - RSA_PKCS_OVERHEAD)
            + " bytes; the data has " + data.length);
      }
      // Encryption has no size query: the token gets room for one modulus.
      Io.write(out, session.encrypt(m.type, publicKey, data, room));
      summary(out,
          "encrypted " + data.length + " bytes with " + m.name + " and "
              + SignCommands.describe(publicKey));
    }
  }

  @Command(name = "decrypt", description = "Decrypt data with an RSA private key (RSA-PKCS).")
  static final class Decrypt extends UserCommand {
    @Mixin KeyOptions key;

    @Option(names = {"-m", "--mechanism"}, paramLabel = "NAME", description = "RSA-PKCS")
    String mechanism;

    @Option(names = "--in", paramLabel = "FILE",
        description = "the ciphertext (default: standard input)")
    Path in;

    @Option(
        names = "--out", paramLabel = "FILE", description = "the data (default: standard output)")
    Path out;

    @Override
    void check() {
      if (mechanism != null) Mechanisms.offered(Mechanisms.Use.ENCRYPT, mechanism);
      key.selector();
    }

    @Override
    void run(Token token, Pins pins) throws Exception {
      Session session = token.user(false, pins);
      TokenObject privateKey =
          token.key(session, key.selector(), "private key", Cryptoki.CKO_PRIVATE_KEY);
      Mechanisms.Offered m = SignCommands.mechanism(Mechanisms.Use.ENCRYPT, mechanism, privateKey);
      byte[] data = session.decrypt(m.type, privateKey, Io.read(in));
      Io.write(out, data);
      summary(out,
          "decrypted " + data.length + " bytes with " + m.name + " and "
              + SignCommands.describe(privateKey));
    }
  }

  @Command(name = "wrap",
      description = {"Wrap (export encrypted) a secret key with an RSA public"
          + " key (RSA-PKCS) or an AES key (AES-KEY-WRAP, AES-KEY-WRAP-PAD)."})
  static final class Wrap extends UserCommand {
    @Mixin KeyOptions key;
    @Mixin WrappingKey wrapping;

    @Option(names = {"-m", "--mechanism"}, paramLabel = "NAME",
        description = "RSA-PKCS (RSA wrapping keys), AES-KEY-WRAP (AES) or AES-KEY-WRAP-PAD")
    String mechanism;

    @Option(names = "--out", paramLabel = "FILE",
        description = "the wrapped key (default: standard output)")
    Path out;

    @Override
    void check() {
      if (mechanism != null) Mechanisms.offered(Mechanisms.Use.WRAP, mechanism);
      if (key.selector().isEmpty())
        throw Failure.usage("name the key to wrap with --label or --id");
      wrapping.selector();
    }

    @Override
    void run(Token token, Pins pins) throws Exception {
      Session session = token.user(false, pins);
      TokenObject wrappingKey = token.key(session, wrapping.selector(), "wrapping key",
          Cryptoki.CKO_PUBLIC_KEY, Cryptoki.CKO_SECRET_KEY);
      Mechanisms.Offered m = SignCommands.mechanism(Mechanisms.Use.WRAP, mechanism, wrappingKey);
      TokenObject secret =
          token.key(session, key.selector(), "secret key", Cryptoki.CKO_SECRET_KEY);
      byte[] wrapped = session.wrapKey(m.type, wrappingKey, secret);
      Io.write(out, wrapped);
      summary(out,
          "wrapped the " + SignCommands.describe(secret) + " with " + m.name + " and "
              + SignCommands.describe(wrappingKey) + " (" + wrapped.length + " bytes)");
    }
  }

  @Command(name = "unwrap",
      description = {"Unwrap a wrapped key onto the token as a new AES key,"
          + " with an RSA private key (RSA-PKCS) or an AES key (AES-KEY-WRAP, AES-KEY-WRAP-PAD)."})
  static final class Unwrap extends UserCommand {
    @Option(names = "--label", paramLabel = "LABEL", description = "the new key's label")
    String label;

    @Option(names = "--id", paramLabel = "HEX", description = "the new key's id, in hex") String id;

    @Mixin WrappingKey wrapping;

    @Option(names = {"-m", "--mechanism"}, paramLabel = "NAME",
        description = "RSA-PKCS (RSA wrapping keys), AES-KEY-WRAP (AES) or AES-KEY-WRAP-PAD")
    String mechanism;

    @Option(names = "--in", paramLabel = "FILE",
        description = "the wrapped key (default: standard input)")
    Path in;

    @Override
    void check() {
      if (mechanism != null) Mechanisms.offered(Mechanisms.Use.WRAP, mechanism);
      new Token.Selector(label, id, "--id");
      wrapping.selector();
    }

    @Override
    void run(Token token, Pins pins) throws Exception {
      Session session = token.user(true, pins);
      TokenObject unwrappingKey = token.key(session, wrapping.selector(), "unwrapping key",
          Cryptoki.CKO_PRIVATE_KEY, Cryptoki.CKO_SECRET_KEY);
      Mechanisms.Offered m = SignCommands.mechanism(Mechanisms.Use.WRAP, mechanism, unwrappingKey);
      byte[] wrapped = Io.read(in);
      KeygenCommand.refuseTaken(session, label);
      TokenObject key = session.unwrapKey(m.type, unwrappingKey, wrapped,
          KeygenCommand.secretKey(new Token.Selector(label, id, "--id"))
              .add(Cryptoki.CKA_CLASS, Cryptoki.CKO_SECRET_KEY)
              .add(Cryptoki.CKA_KEY_TYPE, Cryptoki.CKK_AES));
      System.out.println("unwrapped an " + Names.describeKey(key) + " key"
          + (label == null ? "" : " \"" + label + "\"") + " with " + m.name + " and "
          + SignCommands.describe(unwrappingKey));
    }
  }
}
