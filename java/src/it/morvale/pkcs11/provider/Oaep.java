package it.morvale.pkcs11.provider;

import it.morvale.pkcs11.token.Encodings;
import java.security.InvalidAlgorithmParameterException;
import java.security.MessageDigest;
import java.security.spec.MGF1ParameterSpec;
import java.util.Arrays;
import javax.crypto.BadPaddingException;
import javax.crypto.spec.OAEPParameterSpec;
import javax.crypto.spec.PSource;

/**
 * EME-OAEP decoding (RFC 8017, 7.1.2) of what raw RSA decrypted on the token. Its time and its
 * answer do not depend on which check failed: every check is made on every byte, the results are
 * gathered in one flag without branching on secret data, and all failures are the same {@link
 * BadPaddingException}, so that the decoding tells an attacker nothing that would help him to
 * decrypt (Manger's attack).
 */
final class Oaep {
  private final MessageDigest hash;
  private final MessageDigest mgfHash;
  private final byte[] labelHash;

  private Oaep(MessageDigest hash, MessageDigest mgfHash, byte[] labelHash) {
    this.hash = hash;
    this.mgfHash = mgfHash;
    this.labelHash = labelHash;
  }

  /** The decoder of `spec`: its hash, MGF1 with its hash, and its label (PSource). */
  static Oaep of(OAEPParameterSpec spec) throws InvalidAlgorithmParameterException {
    String hash = Encodings.digestName(spec.getDigestAlgorithm());
    if (hash == null) {
      throw new InvalidAlgorithmParameterException(
          "OAEP with an unknown hash " + spec.getDigestAlgorithm());
    }
    if (!"MGF1".equalsIgnoreCase(spec.getMGFAlgorithm())
        || !(spec.getMGFParameters() instanceof MGF1ParameterSpec)) {
      throw new InvalidAlgorithmParameterException("OAEP is offered with MGF1 only");
    }
    String mgf =
        Encodings.digestName(((MGF1ParameterSpec) spec.getMGFParameters()).getDigestAlgorithm());
    if (mgf == null) throw new InvalidAlgorithmParameterException("MGF1 with an unknown hash");
    if (!(spec.getPSource() instanceof PSource.PSpecified)) {
      throw new InvalidAlgorithmParameterException("OAEP with a PSource other than PSpecified");
    }
    byte[] label = ((PSource.PSpecified) spec.getPSource()).getValue();
    MessageDigest digest = Encodings.digest(hash);
    return new Oaep(digest, Encodings.digest(mgf), digest.digest(label));
  }

  /** The shortest modulus, in bytes, that this encoding fits. */
  int minimumLength() { return 2 * labelHash.length + 2; }

  /** The message in `em`, the k bytes of the decrypted block; the same exception for any flaw. */
  byte[] decode(byte[] em) throws BadPaddingException {
    int hLen = labelHash.length;
    int k = em.length;
    if (k < minimumLength()) throw new BadPaddingException("the key is too short for this OAEP");
    byte[] seed = Arrays.copyOfRange(em, 1, 1 + hLen);
    byte[] db = Arrays.copyOfRange(em, 1 + hLen, k);
    xor(seed, Encodings.mgf1(mgfHash, db, hLen));
    xor(db, Encodings.mgf1(mgfHash, seed, db.length));

    int bad = em[0] & 0xFF; // Y must be 0
    for (int i = 0; i < hLen; ++i) bad |= (db[i] ^ labelHash[i]) & 0xFF;
    // PS is zeros, then 0x01, then the message: find the 0x01 looking at every byte alike.
    int looking = 1;
    int one = 0;
    for (int i = hLen; i < db.length; ++i) {
      int b = db[i] & 0xFF;
      int isZero = isZero(b);
      int isOne = isZero(b ^ 1);
      one |= -(looking & isOne) & i;
      bad |= looking & (isZero ^ 1) & (isOne ^ 1);
      looking &= isOne ^ 1;
    }
    bad |= looking;
    Arrays.fill(seed, (byte) 0);
    if (bad != 0) {
      Arrays.fill(db, (byte) 0);
      throw new BadPaddingException("the cryptogram does not decrypt");
    }
    byte[] message = Arrays.copyOfRange(db, one + 1, db.length);
    Arrays.fill(db, (byte) 0);
    return message;
  }

  /** 1 when `b` (0 to 255) is zero, else 0, without a branch. */
  private static int isZero(int b) { return ((b | -b) >>> 31) ^ 1; }

  private static void xor(byte[] data, byte[] mask) {
    for (int i = 0; i < data.length; ++i) data[i] ^= mask[i];
  }
}
