package it.morvale.pkcs11.provider;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Der;
import it.morvale.pkcs11.token.SignatureScheme;
import it.morvale.pkcs11.token.Signer;
import java.security.AlgorithmParameters;
import java.security.InvalidAlgorithmParameterException;
import java.security.InvalidKeyException;
import java.security.InvalidParameterException;
import java.security.NoSuchAlgorithmException;
import java.security.PrivateKey;
import java.security.Provider;
import java.security.PublicKey;
import java.security.Signature;
import java.security.SignatureException;
import java.security.SignatureSpi;
import java.security.interfaces.EdECKey;
import java.security.spec.AlgorithmParameterSpec;
import java.security.spec.InvalidParameterSpecException;
import java.security.spec.PSSParameterSpec;
import java.util.List;

/**
 * Signatures with private keys of the token, in the token layer's signature schemes: the token
 * hashes where it lists the combined mechanism, and otherwise Java hashes as the data comes and
 * the token signs the encoded hash, so data of any length streams through. ECDSA signatures
 * come out as the DER the platform expects, or as the token's r‖s for the {@code inP1363Format}
 * forms. EdDSA gives the token the whole message, held until {@code sign}.
 *
 * <p>Verification is handed to the platform's own provider for the same algorithm (RSASSA-PSS
 * with the parameters for the {@code SHA256withRSASSA-PSS} forms, which the platform lacks).
 */
final class TokenSignature extends SignatureSpi {
  private final Token token;
  private final String algorithm;
  /** The scheme; null for RSASSA-PSS until its parameters are set. */
  private SignatureScheme scheme;
  private final String keyAlgorithm;
  /** ECDSA signatures as r‖s rather than DER. */
  private final boolean p1363;
  /** The one curve of the key, for Ed25519 and Ed448; null for any. */
  private final String curve;
  /** The hash of a PSS signature whose name fixes it (SHA256withRSASSA-PSS); else null. */
  private final String fixedDigest;
  private TokenKey key;
  private Signer signer;
  private Signature verifier;

  /**
   * A signature in `scheme` (null for RSASSA-PSS); `p1363` gives ECDSA signatures as r‖s, and
   * `curve` ("Ed25519") admits keys of that curve only.
   */
  TokenSignature(
      Token token, String algorithm, SignatureScheme scheme, boolean p1363, String curve) {
    this.token = token;
    this.algorithm = algorithm;
    this.scheme = scheme;
    this.keyAlgorithm = keyAlgorithm(scheme);
    this.p1363 = p1363;
    this.curve = curve;
    this.fixedDigest = scheme != null && scheme.family() == SignatureScheme.Family.RSA_PSS
        ? scheme.digest()
        : null;
  }

  /** The algorithm of the keys that sign in `scheme`: RSA (also for a null scheme), EC, EdDSA. */
  static String keyAlgorithm(SignatureScheme scheme) {
    if (scheme == null || scheme.keyType() == Cryptoki.CKK_RSA) return "RSA";
    return scheme.keyType() == Cryptoki.CKK_EC ? "EC" : "EdDSA";
  }

  @Override
  protected void engineInitSign(PrivateKey privateKey) throws InvalidKeyException {
    if (!(privateKey instanceof TokenKey) || ((TokenKey) privateKey).token() != token) {
      throw new InvalidKeyException(algorithm + " of this provider signs only with private keys"
          + " of its own token (from its KeyStore or KeyPairGenerator), not with "
          + (privateKey == null ? "null" : privateKey.getClass().getName()));
    }
    if (!keyAlgorithm.equals(privateKey.getAlgorithm())) {
      throw new InvalidKeyException(
          algorithm + " needs an " + keyAlgorithm + " key, not " + privateKey.getAlgorithm());
    }
    if (curve != null && !curve.equalsIgnoreCase(((EdECKey) privateKey).getParams().getName())) {
      throw new InvalidKeyException(algorithm + " needs an " + curve + " key, not an "
          + ((EdECKey) privateKey).getParams().getName() + " one");
    }
    key = (TokenKey) privateKey;
    verifier = null;
    signer = null;
    if (scheme != null) signer = newSigner();
  }

  private Signer newSigner() throws InvalidKeyException {
    try {
      return Signer.start(token.pool, key.object(), scheme, key.publicKey(), appRandom);
    } catch (PKCS11Exception e) {
      throw new InvalidKeyException(Token.failure("the token cannot sign with this key", e), e);
    }
  }

  @Override
  protected void engineInitVerify(PublicKey publicKey) throws InvalidKeyException {
    try {
      boolean pss = scheme == null || scheme.family() == SignatureScheme.Family.RSA_PSS;
      Signature platform = platformSignature(pss ? "RSASSA-PSS" : algorithm);
      if (scheme != null && scheme.pssParameters() != null) {
        platform.setParameter(scheme.pssParameters());
      }
      platform.initVerify(publicKey);
      verifier = platform;
      key = null;
      signer = null;
    } catch (NoSuchAlgorithmException | InvalidAlgorithmParameterException e) {
      throw new InvalidKeyException("no other provider verifies " + algorithm, e);
    }
  }

  @Override
  protected void engineSetParameter(AlgorithmParameterSpec params)
      throws InvalidAlgorithmParameterException {
    if (scheme != null && scheme.family() != SignatureScheme.Family.RSA_PSS) {
      if (params == null) return;
      throw new InvalidAlgorithmParameterException(algorithm + " takes no parameters");
    }
    if (!(params instanceof PSSParameterSpec)) {
      throw new InvalidAlgorithmParameterException(
          "RSASSA-PSS needs a PSSParameterSpec, not " + params);
    }
    SignatureScheme requested = SignatureScheme.rsaPss((PSSParameterSpec) params);
    if (fixedDigest != null && !fixedDigest.equals(requested.digest())) {
      throw new InvalidAlgorithmParameterException(
          algorithm + " signs with " + fixedDigest + ", not " + requested.digest());
    }
    if (verifier != null) verifier.setParameter(requested.pssParameters());
    scheme = requested;
    if (key != null) {
      try {
        signer = newSigner();
      } catch (InvalidKeyException e) {
        throw new InvalidAlgorithmParameterException(e.getMessage(), e);
      }
    }
  }

  @Override
  protected AlgorithmParameters engineGetParameters() {
    if (scheme == null || scheme.pssParameters() == null) return null;
    try {
      AlgorithmParameters parameters = AlgorithmParameters.getInstance("RSASSA-PSS");
      parameters.init(scheme.pssParameters());
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
      signer().update(b);
    }
  }

  @Override
  protected void engineUpdate(byte[] b, int off, int len) throws SignatureException {
    if (verifier != null) {
      verifier.update(b, off, len);
    } else {
      signer().update(b, off, len);
    }
  }

  @Override
  protected byte[] engineSign() throws SignatureException {
    byte[] signature;
    try {
      signature = signer().sign();
    } catch (PKCS11Exception e) {
      throw new SignatureException(Token.failure("the token did not sign", e), e);
    }
    return scheme.family() == SignatureScheme.Family.ECDSA && !p1363 ? Der.ecdsaToDer(signature)
                                                                     : signature;
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

  private Signer signer() throws SignatureException {
    if (signer == null) {
      throw new SignatureException(
          key == null ? "not initialised" : "RSASSA-PSS needs its parameters (setParameter) first");
    }
    return signer;
  }

  /** A signature of another provider: verification with public keys is not the token's work. */
  static Signature platformSignature(String algorithm) throws NoSuchAlgorithmException {
    List<Provider> others = QuillonProvider.others("Signature." + algorithm);
    if (others.isEmpty())
      throw new NoSuchAlgorithmException("no other provider offers " + algorithm);
    return Signature.getInstance(algorithm, others.get(0));
  }
}
