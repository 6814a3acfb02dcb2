package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Names;
import it.morvale.pkcs11.token.Selector;
import it.morvale.pkcs11.token.Session;
import it.morvale.pkcs11.token.TokenObject;
import java.nio.charset.StandardCharsets;
import java.util.Base64;
import java.util.List;
import picocli.CommandLine.Command;
import picocli.CommandLine.Mixin;

/** Public keys out of the token, and objects off it. */
final class ObjectCommands {
  private ObjectCommands() {}

  @Command(name = "export",
      description = "Write a public key as PEM (SubjectPublicKeyInfo), as OpenSSL reads it.")
  static final class Export extends PublicCommand {
    @Mixin KeyOptions key;
    @Mixin OutputOption out;

    @Override
    void check() {
      key.selector();
    }

    @Override
    void run(Token token, Pins pins) throws Exception {
      Session session = session(token, pins);
      TokenObject found = Token.key(session, key.selector(), "", "public key",
          Cryptoki.CKO_PUBLIC_KEY, Cryptoki.CKO_PRIVATE_KEY);
      byte[] encoded = Token.publicKey(found).getEncoded();
      String pem = "-----BEGIN PUBLIC KEY-----\n"
          + Base64.getMimeEncoder(64, new byte[] {'\n'}).encodeToString(encoded)
          + "\n-----END PUBLIC KEY-----\n";
      out.write(pem.getBytes(StandardCharsets.US_ASCII));
      if (out.named()) {
        System.out.println("exported the public " + found.describeKey() + " key of "
            + found.describe() + ": " + out.file);
      }
    }
  }

  @Command(name = "delete", description = "Destroy every object with the given label and id.")
  static final class Delete extends UserCommand {
    @Mixin KeyOptions key;

    @Override
    void check() {
      if (key.selector().isEmpty()) throw Failure.usage("name what to delete with --label or --id");
    }

    @Override
    void run(Token token, Pins pins) throws Exception {
      Selector selector = key.selector();
      Session session = token.writingUser(pins);
      List<TokenObject> found = session.find(selector.template());
      if (found.isEmpty()) throw Failure.usage("no object" + selector.describe());
      for (TokenObject object : found) {
        int objectClass = object.objectClassIfPresent();
        String what = objectClass == -1 ? "object " + object.handle()
                                        : Names.objectClass(objectClass)
                + (Names.isKey(objectClass) ? " (" + object.describeKey() + ")" : "");
        object.destroy();
        System.out.println("deleted the " + what + selector.describe());
      }
    }
  }
}
