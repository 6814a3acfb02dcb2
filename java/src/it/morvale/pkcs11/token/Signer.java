package it.morvale.pkcs11.token;

import it.morvale.pkcs11.PKCS11Exception;
import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.security.GeneralSecurityException;
import java.security.InvalidKeyException;
import java.security.MessageDigest;
import java.security.PublicKey;
import java.security.SecureRandom;
import java.security.SignatureException;
import java.security.interfaces.ECPublicKey;
import java.security.interfaces.RSAPublicKey;

/**
 * One signature by a token's private key in a {@link SignatureScheme}: data goes in by parts,
 * and {@link #sign} gives the signature as the token makes it (RSA as long as the modulus, ECDSA
 * as r‖s, EdDSA raw).
 *
 * <p>When the slot lists the scheme's combined mechanism (CKM_SHA256_RSA_PKCS, say), the token
 * hashes; since the bridge signs in one part, the data is held until {@link #sign}, but only up
 * to {@link #HELD_AT_MOST} bytes: beyond that, or when the slot lacks the combined mechanism, Java
 * hashes as the data comes and the token signs the encoded hash with the raw mechanism
 * (CKM_RSA_PKCS over the DigestInfo, CKM_RSA_X_509 over the PSS encoding, CKM_ECDSA over the hash
 * cut to the group order). Either way the input's size is bounded only by time. The raw schemes
 * and EdDSA give the token the whole input.
 */
public final class Signer {
  /** The most data held for a combined mechanism before Java takes over the hashing. */
  public static final int HELD_AT_MOST = 1 << 20;

  /** Where the signature is made: a session's key, or a pool's key on a session it lends. */
  private interface Target {
    byte[] sign(int mechanism, byte[] input, int expected) throws PKCS11Exception;
  }

  private final Target target;
  private final SignatureScheme scheme;
  private final int modulusBits;
  private final int orderBits;
  private final boolean combinedListed;
  private final boolean rawListed;
  private final SecureRandom random;
  private ByteArrayOutputStream held = new ByteArrayOutputStream();
  private MessageDigest hash;
  /** The mechanism of the last signature, named only when asked; -1 before the first. */
  private int mechanismUsed = -1;

  /** A signer whose way of signing is chosen by what `slot` lists. */
  private Signer(Target target, SignatureScheme scheme, int modulusBits, int orderBits, Slot slot,
      SecureRandom random) throws PKCS11Exception {
    this.target = target;
    this.scheme = scheme;
    this.modulusBits = modulusBits;
    this.orderBits = orderBits;
    int combined = scheme.combinedMechanism();
    this.combinedListed = combined != -1 && slot.supports(combined);
    this.rawListed = slot.supports(scheme.rawMechanism());
    this.random = random == null ? new SecureRandom() : random;
    if (!scheme.tokenSeesAllData() && !combinedListed) hash = Encodings.digest(scheme.digest());
  }

  /**
   * A signature by `key` in `scheme`, on `slot` (whose mechanism list decides how). The public
   * key, when the caller has it, saves reading sizes from the token; it may be null.
   *
   * @throws InvalidKeyException when the key is not of the scheme's type
   */
  public static Signer start(Slot slot, TokenObject key, SignatureScheme scheme,
      PublicKey publicKey, SecureRandom random) throws PKCS11Exception, InvalidKeyException {
    int type = publicKey != null ? keyTypeOf(publicKey) : key.keyType();
    if (type != scheme.keyType()) {
      throw new InvalidKeyException(scheme.name() + " needs an " + Names.keyType(scheme.keyType())
          + " key, not " + Names.keyType(type));
    }
    int modulusBits = 0;
    int orderBits = 0;
    if (type == Cryptoki.CKK_RSA) {
      modulusBits = publicKey instanceof RSAPublicKey
          ? ((RSAPublicKey) publicKey).getModulus().bitLength()
          : modulusBits(key);
    } else if (type == Cryptoki.CKK_EC) {
      orderBits = publicKey instanceof ECPublicKey
          ? ((ECPublicKey) publicKey).getParams().getOrder().bitLength()
          : orderBits(key);
    }
    return new Signer((mechanism, input, expected)
                          -> key.session().sign(mechanism, key, input, expected),
        scheme, modulusBits, orderBits, slot, random);
  }

  /**
   * A signature by the pool's key `key` in `scheme`, made on a session that `pool` lends when
   * {@link #sign} is called (and once more on another, should the first prove lost). The public
   * key gives the sizes, so nothing is read from the token before signing.
   *
   * @throws InvalidKeyException when the public key is not of the scheme's type
   */
  public static Signer start(SessionPool pool, ObjectRef key, SignatureScheme scheme,
      PublicKey publicKey, SecureRandom random) throws PKCS11Exception, InvalidKeyException {
    int type = keyTypeOf(publicKey);
    if (type != scheme.keyType()) {
      throw new InvalidKeyException(scheme.name() + " needs an " + Names.keyType(scheme.keyType())
          + " key, not " + publicKey.getAlgorithm());
    }
    int modulusBits =
        type == Cryptoki.CKK_RSA ? ((RSAPublicKey) publicKey).getModulus().bitLength() : 0;
    int orderBits =
        type == Cryptoki.CKK_EC ? ((ECPublicKey) publicKey).getParams().getOrder().bitLength() : 0;
    return new Signer(
        (mechanism, input, expected)
            -> pool.read(session -> session.sign(mechanism, key.in(session), input, expected)),
        scheme, modulusBits, orderBits, pool.slot(), random);
  }

  private static int keyTypeOf(PublicKey key) {
    if (key instanceof RSAPublicKey) return Cryptoki.CKK_RSA;
    if (key instanceof ECPublicKey) return Cryptoki.CKK_EC;
    return key.getAlgorithm().startsWith("Ed") ? Cryptoki.CKK_EC_EDWARDS : -1;
  }

  private static int modulusBits(TokenObject key) throws InvalidKeyException {
    Integer bits = key.rsaBits();
    if (bits != null) return bits;
    throw new InvalidKeyException("the token does not tell the size of the RSA " + key.describe());
  }

  private static int orderBits(TokenObject key) throws InvalidKeyException {
    try {
      return Curves.of(key.bytesIfPresent(Cryptoki.CKA_EC_PARAMS)).orderBits();
    } catch (GeneralSecurityException e) {
      throw new InvalidKeyException("the curve of the " + key.describe() + ": " + e.getMessage());
    }
  }

  public SignatureScheme scheme() { return scheme; }

  public void update(byte b) { update(new byte[] {b}, 0, 1); }

  public void update(byte[] data, int offset, int length) {
    if (hash != null) {
      hash.update(data, offset, length);
      return;
    }
    held.write(data, offset, length);
    if (held.size() > HELD_AT_MOST && !scheme.tokenSeesAllData()
        && (rawListed || !combinedListed)) {
      // Too much to hold: hash in Java from here on.
      hash = Encodings.digest(scheme.digest());
      hash.update(held.toByteArray());
      held = null;
    }
  }

  public void update(byte[] data) { update(data, 0, data.length); }

  /** Reads `in` to its end into the signature. */
  public void update(InputStream in) throws IOException {
    byte[] buffer = new byte[1 << 16];
    for (int n; (n = in.read(buffer)) > 0;) update(buffer, 0, n);
  }

  /** The name of the mechanism that made the signature, once made. */
  public String mechanismUsed() {
    return mechanismUsed == -1 ? null : Mechanism.nameOf(mechanismUsed);
  }

  /**
   * Makes the signature.
   *
   * @throws SignatureException when the input cannot be signed by this key in this scheme (too
   *     long for raw RSA, say)
   */
  public byte[] sign() throws PKCS11Exception, SignatureException {
    int mechanism;
    byte[] input;
    if (hash == null && (scheme.tokenSeesAllData() || combinedListed)) {
      mechanism = scheme.tokenSeesAllData() ? scheme.rawMechanism() : scheme.combinedMechanism();
      input = held.toByteArray();
      if (mechanism == Cryptoki.CKM_RSA_PKCS && input.length > modulusBits / 8 - 11) {
        throw new SignatureException("RSA-PKCS with a " + modulusBits + "-bit key signs at most "
            + (modulusBits / 8 - 11) + " bytes, not " + input.length);
      }
    } else {
      mechanism = scheme.rawMechanism();
      input = encode(hash.digest());
    }
    held = new ByteArrayOutputStream();
    // digest() above left the hash reset for the next signature; a fresh one is needed only after
    // held data, and none where the token hashes.
    if (scheme.tokenSeesAllData() || combinedListed) {
      hash = null;
    } else if (hash == null) {
      hash = Encodings.digest(scheme.digest());
    }
    mechanismUsed = mechanism;
    byte[] signature = target.sign(mechanism, input, expectedLength());
    return scheme.keyType() == Cryptoki.CKK_RSA
        ? Encodings.leftPad(signature, (modulusBits + 7) / 8)
        : signature;
  }

  /** The signature's length as the key's size makes it, or 0 where the module must be asked. */
  private int expectedLength() {
    switch (scheme.family()) {
      case ECDSA:
        return orderBits == 0 ? 0 : 2 * ((orderBits + 7) / 8);
      case EDDSA:
        return 0;
      default:
        return (modulusBits + 7) / 8;
    }
  }

  private byte[] encode(byte[] digest) throws SignatureException {
    switch (scheme.family()) {
      case RSA_PSS:
        return Encodings.emsaPss(digest, scheme.pssParameters(), modulusBits, random);
      case ECDSA:
        return Encodings.ecdsaHash(digest, orderBits);
      default:
        return Encodings.digestInfo(scheme.digest(), digest);
    }
  }
}
