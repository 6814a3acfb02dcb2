package it.morvale.pkcs11.provider;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Der;
import java.math.BigInteger;
import java.security.AlgorithmParameters;
import java.security.InvalidAlgorithmParameterException;
import java.security.InvalidKeyException;
import java.security.InvalidParameterException;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.security.PrivateKey;
import java.security.Provider;
import java.security.PublicKey;
import java.security.SecureRandom;
import java.security.Security;
import java.security.Signature;
import java.security.SignatureException;
import java.security.SignatureSpi;
import java.security.interfaces.ECKey;
import java.security.interfaces.RSAKey;
import java.security.spec.AlgorithmParameterSpec;
import java.security.spec.InvalidParameterSpecException;
import java.security.spec.MGF1ParameterSpec;
import java.security.spec.PSSParameterSpec;
import java.util.Arrays;
import java.util.Locale;
import java.util.Set;

/**
 * Signatures with private keys of the token. The hash is computed in Java, so data of any length
 * streams through without being held (the bridge signs in one part only), and the token gets a
 * short input for a mechanism that every RSA or EC token has:
 *
 * <ul>
 *   <li>PKCS #1 v1.5: the DigestInfo of the hash, signed with CKM_RSA_PKCS;
 *   <li>RSASSA-PSS: the whole EMSA-PSS encoding, made in Java and signed with the raw
 *       CKM_RSA_X_509 (the bridge passes no mechanism parameters, so CKM_RSA_PKCS_PSS is out of
 *       reach);
 *   <li>ECDSA: the hash, cut to the curve order's length, signed with CKM_ECDSA; the token's r‖s
 *       becomes the DER the platform expects.
 * </ul>
 *
 * <p>Verification is handed to the platform's own provider for the same algorithm.
 */
final class TokenSignature extends SignatureSpi {
  enum Scheme { PKCS1, PSS, ECDSA }

  private static final Set<String> DIGESTS = Set.of("SHA-256", "SHA-384", "SHA-512");

  private final Token token;
  private final String algorithm;
  private final Scheme scheme;
  private final String digestName;
  private PSSParameterSpec pss;
  private MessageDigest digest;
  private TokenKey key;
  private Signature verifier;

  TokenSignature(Token token, String algorithm, Scheme scheme, String digestName) {
    this.token = token;
    this.algorithm = algorithm;
    this.scheme = scheme;
    this.digestName = digestName;
  }

  private String keyAlgorithm() { return scheme == Scheme.ECDSA ? "EC" : "RSA"; }

  @Override
  protected void engineInitSign(PrivateKey privateKey) throws InvalidKeyException {
    if (!(privateKey instanceof TokenKey) || ((TokenKey) privateKey).token() != token) {
      throw new InvalidKeyException(algorithm + " of this provider signs only with private keys"
          + " of its own token (from its KeyStore or KeyPairGenerator), not with "
          + (privateKey == null ? "null" : privateKey.getClass().getName()));
    }
    if (!keyAlgorithm().equals(privateKey.getAlgorithm())) {
      throw new InvalidKeyException(
          algorithm + " needs an " + keyAlgorithm() + " key, not " + privateKey.getAlgorithm());
    }
    key = (TokenKey) privateKey;
    verifier = null;
    digest = newDigest();
  }

  @Override
  protected void engineInitVerify(PublicKey publicKey) throws InvalidKeyException {
    try {
      Signature platform = platformSignature(algorithm);
      if (pss != null) platform.setParameter(pss);
      platform.initVerify(publicKey);
      verifier = platform;
      key = null;
    } catch (NoSuchAlgorithmException | InvalidAlgorithmParameterException e) {
      throw new InvalidKeyException("no other provider verifies " + algorithm, e);
    }
  }

  @Override
  protected void engineSetParameter(AlgorithmParameterSpec params)
      throws InvalidAlgorithmParameterException {
    if (scheme != Scheme.PSS) {
      if (params == null) return;
      throw new InvalidAlgorithmParameterException(algorithm + " takes no parameters");
    }
    if (!(params instanceof PSSParameterSpec)) {
      throw new InvalidAlgorithmParameterException(
          "RSASSA-PSS needs a PSSParameterSpec, not " + params);
    }
    PSSParameterSpec requested = (PSSParameterSpec) params;
    String hash = requested.getDigestAlgorithm().toUpperCase(Locale.ROOT);
    if (!DIGESTS.contains(hash)) {
      throw new InvalidAlgorithmParameterException(
          "RSASSA-PSS is offered with SHA-256, SHA-384 and SHA-512, not " + hash);
    }
    if (!"MGF1".equalsIgnoreCase(requested.getMGFAlgorithm())
        || !(requested.getMGFParameters() instanceof MGF1ParameterSpec)
        || !DIGESTS.contains(((MGF1ParameterSpec) requested.getMGFParameters())
                                 .getDigestAlgorithm()
                                 .toUpperCase(Locale.ROOT))) {
      throw new InvalidAlgorithmParameterException(
          "RSASSA-PSS is offered with MGF1 over SHA-256, SHA-384 or SHA-512 only");
    }
    if (requested.getTrailerField() != PSSParameterSpec.TRAILER_FIELD_BC) {
      throw new InvalidAlgorithmParameterException("RSASSA-PSS is offered with trailer field 1");
    }
    if (verifier != null) verifier.setParameter(requested);
    pss = requested;
    if (key != null) digest = newDigest();
  }

  @Override
  protected AlgorithmParameters engineGetParameters() {
    if (pss == null) return null;
    try {
      AlgorithmParameters parameters = AlgorithmParameters.getInstance("RSASSA-PSS");
      parameters.init(pss);
      return parameters;
    } catch (NoSuchAlgorithmException | InvalidParameterSpecException e) {
      throw new UnsupportedOperationException("the platform cannot encode PSS parameters", e);
    }
  }

  @Override
  protected void engineUpdate(byte b) throws SignatureException {
    if (verifier != null) {
      verifier.update(b);
    } else {
      signingDigest().update(b);
    }
  }

  @Override
  protected void engineUpdate(byte[] b, int off, int len) throws SignatureException {
    if (verifier != null) {
      verifier.update(b, off, len);
    } else {
      signingDigest().update(b, off, len);
    }
  }

  @Override
  protected byte[] engineSign() throws SignatureException {
    byte[] hash = signingDigest().digest();
    byte[] input;
    int mechanism;
    switch (scheme) {
      case PKCS1:
        input = Encodings.digestInfo(digestName, hash);
        mechanism = Cryptoki.CKM_RSA_PKCS;
        break;
      case PSS:
        input = Encodings.emsaPss(hash, pss, modulusBits(), random());
        mechanism = Cryptoki.CKM_RSA_X_509;
        break;
      default:
        input = Encodings.ecdsaHash(hash, ((ECKey) key).getParams().getOrder().bitLength());
        mechanism = Cryptoki.CKM_ECDSA;
        break;
    }
    byte[] signature;
    try {
      signature = key.object().session().sign(mechanism, key.object(), input);
    } catch (PKCS11Exception e) {
      throw new SignatureException(Token.failure("the token did not sign", e), e);
    }
    if (scheme == Scheme.ECDSA) return Der.ecdsaToDer(signature);
    // An RSA signature is as long as the modulus, leading zero bytes included.
    int length = (modulusBits() + 7) / 8;
    if (signature.length > length)
      throw new SignatureException("the token's signature is too long");
    byte[] full = new byte[length];
    System.arraycopy(signature, 0, full, length - signature.length, signature.length);
    return full;
  }

  @Override
  protected boolean engineVerify(byte[] signature) throws SignatureException {
    if (verifier == null) throw new SignatureException("not initialised for verification");
    return verifier.verify(signature);
  }

  @Override
  @Deprecated
  protected void engineSetParameter(String param, Object value) {
    throw new InvalidParameterException("use setParameter(AlgorithmParameterSpec)");
  }

  @Override
  @Deprecated
  protected Object engineGetParameter(String param) {
    throw new InvalidParameterException("use getParameters()");
  }

  private MessageDigest newDigest() {
    String name =
        scheme == Scheme.PSS ? (pss == null ? null : pss.getDigestAlgorithm()) : digestName;
    if (name == null) return null;
    try {
      return MessageDigest.getInstance(name);
    } catch (NoSuchAlgorithmException e) {
      throw new IllegalStateException("the platform has no " + name, e);
    }
  }

  private MessageDigest signingDigest() throws SignatureException {
    if (digest == null) {
      throw new SignatureException(
          key == null ? "not initialised" : "RSASSA-PSS needs its parameters (setParameter) first");
    }
    return digest;
  }

  private int modulusBits() { return ((RSAKey) key).getModulus().bitLength(); }

  private SecureRandom random() { return appRandom != null ? appRandom : new SecureRandom(); }

  /** A signature of another provider: verification with public keys is not the token's work. */
  static Signature platformSignature(String algorithm) throws NoSuchAlgorithmException {
    Provider[] providers = Security.getProviders("Signature." + algorithm);
    if (providers != null) {
      for (Provider provider : providers) {
        if (!(provider instanceof QuillonProvider)) {
          return Signature.getInstance(algorithm, provider);
        }
      }
    }
    throw new NoSuchAlgorithmException("no other provider offers " + algorithm);
  }

  /** The three input encodings that the token signs. */
  static final class Encodings {
    private Encodings() {}

    // DER of DigestInfo up to the hash: SEQUENCE { AlgorithmIdentifier { OID, NULL }, OCTET STRING
    // }
    private static final byte[] SHA256 = prefix(0x31, 1, 0x20);
    private static final byte[] SHA384 = prefix(0x41, 2, 0x30);
    private static final byte[] SHA512 = prefix(0x51, 3, 0x40);

    private static byte[] prefix(int total, int oidLast, int hashLength) {
      return new byte[] {0x30, (byte) total, 0x30, 0x0d, 0x06, 0x09, 0x60, (byte) 0x86, 0x48, 0x01,
          0x65, 0x03, 0x04, 0x02, (byte) oidLast, 0x05, 0x00, 0x04, (byte) hashLength};
    }

    /** The DER DigestInfo of `hash`, made with the digest `name`. */
    static byte[] digestInfo(String name, byte[] hash) {
      byte[] prefix = name.equals("SHA-256") ? SHA256 : name.equals("SHA-384") ? SHA384 : SHA512;
      byte[] out = Arrays.copyOf(prefix, prefix.length + hash.length);
      System.arraycopy(hash, 0, out, prefix.length, hash.length);
      return out;
    }

    /**
     * EMSA-PSS-ENCODE of a message hash for a modulus of `modulusBits`, padded with leading zeros
     * to the modulus length, ready for raw RSA.
     */
    static byte[] emsaPss(byte[] mHash, PSSParameterSpec parameters, int modulusBits,
        SecureRandom random) throws SignatureException {
      MessageDigest hash = digest(parameters.getDigestAlgorithm());
      MessageDigest mgfHash =
          digest(((MGF1ParameterSpec) parameters.getMGFParameters()).getDigestAlgorithm());
      int hLen = mHash.length;
      int sLen = parameters.getSaltLength();
      int emBits = modulusBits - 1;
      int emLen = (emBits + 7) / 8;
      if (emLen < hLen + sLen + 2) {
        throw new SignatureException(
            "a " + modulusBits + "-bit key is too short for this hash and salt length");
      }
      byte[] salt = new byte[sLen];
      random.nextBytes(salt);
      hash.update(new byte[8]);
      hash.update(mHash);
      byte[] h = hash.digest(salt);
      byte[] db = new byte[emLen - hLen - 1];
      db[emLen - sLen - hLen - 2] = 0x01;
      System.arraycopy(salt, 0, db, db.length - sLen, sLen);
      byte[] mask = mgf1(mgfHash, h, db.length);
      for (int i = 0; i < db.length; ++i) db[i] ^= mask[i];
      db[0] &= (byte) (0xFF >>> (8 * emLen - emBits));
      int k = (modulusBits + 7) / 8;
      byte[] out = new byte[k];
      int at = k - emLen;
      System.arraycopy(db, 0, out, at, db.length);
      System.arraycopy(h, 0, out, at + db.length, hLen);
      out[k - 1] = (byte) 0xBC;
      return out;
    }

    private static byte[] mgf1(MessageDigest hash, byte[] seed, int length) {
      byte[] out = new byte[length];
      int filled = 0;
      for (int counter = 0; filled < length; ++counter) {
        hash.update(seed);
        hash.update(new byte[] {(byte) (counter >>> 24), (byte) (counter >>> 16),
            (byte) (counter >>> 8), (byte) counter});
        byte[] block = hash.digest();
        int n = Math.min(block.length, length - filled);
        System.arraycopy(block, 0, out, filled, n);
        filled += n;
      }
      return out;
    }

    /** The hash as ECDSA uses it: its leftmost bits, as many as the curve order has. */
    static byte[] ecdsaHash(byte[] hash, int orderBits) {
      if (hash.length * 8 <= orderBits) return hash;
      BigInteger e = new BigInteger(1, hash).shiftRight(hash.length * 8 - orderBits);
      byte[] bytes = e.toByteArray();
      int length = (orderBits + 7) / 8;
      byte[] out = new byte[length];
      int n = Math.min(bytes.length, length);
      System.arraycopy(bytes, bytes.length - n, out, length - n, n);
      return out;
    }

    private static MessageDigest digest(String name) {
      try {
        return MessageDigest.getInstance(name);
      } catch (NoSuchAlgorithmException e) {
        throw new IllegalStateException("the platform has no " + name, e);
      }
    }
  }
}
