package it.morvale.pkcs11.token;

import java.security.PublicKey;

/** A key pair that the token made: its two objects, their CKA_ID and the public key in Java. */
public final class KeyPairObjects {
  private final TokenObject publicKey;
  private final TokenObject privateKey;
  private final PublicKey javaKey;
  private final byte[] id;

  KeyPairObjects(TokenObject publicKey, TokenObject privateKey, PublicKey javaKey, byte[] id) {
    this.publicKey = publicKey;
    this.privateKey = privateKey;
    this.javaKey = javaKey;
    this.id = id;
  }

  public TokenObject publicKey() { return publicKey; }

  public TokenObject privateKey() { return privateKey; }

  /** The public key as a {@code java.security} key, or null where Java cannot represent it. */
  public PublicKey javaPublicKey() { return javaKey; }

  public byte[] id() { return id.clone(); }

  /**
   * The CKA_ID that a key pair gets when none is asked for: the SHA-1 hash of the public key's
   * X.509 encoding, or where Java cannot represent the key of its CKA_EC_POINT or CKA_MODULUS.
   */
  public static byte[] idOf(PublicKey javaKey, TokenObject publicKey) {
    byte[] value = javaKey != null ? javaKey.getEncoded() : null;
    if (value == null && publicKey != null) value = publicKey.bytesIfPresent(Cryptoki.CKA_EC_POINT);
    if (value == null && publicKey != null) value = publicKey.bytesIfPresent(Cryptoki.CKA_MODULUS);
    if (value == null) value = new byte[0];
    return Encodings.digest("SHA-1").digest(value);
  }
}
