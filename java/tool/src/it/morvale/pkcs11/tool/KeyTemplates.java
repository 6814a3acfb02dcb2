package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Template;

/** The attributes of the keys that the tool makes on the token, by generation or unwrapping. */
final class KeyTemplates {
  private KeyTemplates() {}

  /** A key pair's public half: it verifies, encrypts and wraps. */
  static Template publicKey(Token.Selector selector) {
    return common(selector, false)
        .add(Cryptoki.CKA_VERIFY, true)
        .add(Cryptoki.CKA_ENCRYPT, true)
        .add(Cryptoki.CKA_WRAP, true);
  }

  /** A key pair's private half: sensitive and kept on the token; it signs, decrypts, unwraps. */
  static Template privateKey(Token.Selector selector) {
    return common(selector, true)
        .add(Cryptoki.CKA_SENSITIVE, true)
        .add(Cryptoki.CKA_EXTRACTABLE, false)
        .add(Cryptoki.CKA_SIGN, true)
        .add(Cryptoki.CKA_DECRYPT, true)
        .add(Cryptoki.CKA_UNWRAP, true);
  }

  /** An AES key's attributes: secret, but extractable so that it can be wrapped. */
  static Template secretKey(Token.Selector selector) {
    return common(selector, true)
        .add(Cryptoki.CKA_SENSITIVE, true)
        .add(Cryptoki.CKA_EXTRACTABLE, true)
        .add(Cryptoki.CKA_ENCRYPT, true)
        .add(Cryptoki.CKA_DECRYPT, true)
        .add(Cryptoki.CKA_WRAP, true)
        .add(Cryptoki.CKA_UNWRAP, true);
  }

  /** A token object's attributes: a private one, or a public one that anyone may read. */
  private static Template common(Token.Selector selector, boolean isPrivate) {
    return new Template()
        .add(Cryptoki.CKA_TOKEN, true)
        .add(Cryptoki.CKA_PRIVATE, isPrivate)
        .addIfPresent(Cryptoki.CKA_LABEL, selector.label)
        .addIfPresent(Cryptoki.CKA_ID, selector.id);
  }
}
