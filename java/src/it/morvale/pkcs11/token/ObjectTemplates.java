package it.morvale.pkcs11.token;

import it.morvale.pkcs11.PKCS11Exception;
import java.io.ByteArrayInputStream;
import java.math.BigInteger;
import java.security.GeneralSecurityException;
import java.security.InvalidKeyException;
import java.security.KeyPairGenerator;
import java.security.NoSuchAlgorithmException;
import java.security.PublicKey;
import java.security.Signature;
import java.security.cert.CertificateException;
import java.security.cert.CertificateFactory;
import java.security.cert.X509Certificate;
import java.security.interfaces.ECPublicKey;
import java.security.interfaces.EdECPublicKey;
import java.security.interfaces.RSAPublicKey;
import java.util.Arrays;

/**
 * The objects other than generated keys: certificates, public keys and data objects written onto
 * a token from files, and read back. A certificate also stands for its public key, since smart
 * cards often hold a certificate and a private key but no public-key object. And whether this Java
 * can check a signature at all, which is not the same as the signature matching.
 */
public final class ObjectTemplates {
  private ObjectTemplates() {}

  /** The template of an X.509 certificate object: public, with the subject, issuer and serial. */
  public static Template certificate(X509Certificate certificate, String label, byte[] id)
      throws CertificateException {
    // CKA_SERIAL_NUMBER holds the DER INTEGER.
    byte[] serialDer = Der.element(0x02, certificate.getSerialNumber().toByteArray());
    return new Template()
        .add(Cryptoki.CKA_CLASS, Cryptoki.CKO_CERTIFICATE)
        .add(Cryptoki.CKA_CERTIFICATE_TYPE, Cryptoki.CKC_X_509)
        .add(Cryptoki.CKA_TOKEN, true)
        .add(Cryptoki.CKA_PRIVATE, false)
        .addIfPresent(Cryptoki.CKA_LABEL, label)
        .addIfPresent(Cryptoki.CKA_ID, id)
        .add(Cryptoki.CKA_SUBJECT, certificate.getSubjectX500Principal().getEncoded())
        .add(Cryptoki.CKA_ISSUER, certificate.getIssuerX500Principal().getEncoded())
        .add(Cryptoki.CKA_SERIAL_NUMBER, serialDer)
        .add(Cryptoki.CKA_VALUE, certificate.getEncoded());
  }

  /**
   * The template of a public key object for a Java public key: RSA (verify, encrypt, wrap), EC
   * on a named curve or EdDSA (verify).
   *
   * @throws InvalidKeyException for another kind of key, or an EC key on an unnamed curve
   */
  public static Template publicKey(PublicKey key, String label, byte[] id)
      throws InvalidKeyException {
    Template template = KeyTemplates.publicKey(label, id);
    if (key instanceof RSAPublicKey) {
      RSAPublicKey rsa = (RSAPublicKey) key;
      return template.add(Cryptoki.CKA_KEY_TYPE, Cryptoki.CKK_RSA)
          .add(Cryptoki.CKA_MODULUS, rsa.getModulus())
          .add(Cryptoki.CKA_PUBLIC_EXPONENT, rsa.getPublicExponent())
          .add(Cryptoki.CKA_VERIFY, true)
          .add(Cryptoki.CKA_ENCRYPT, true)
          .add(Cryptoki.CKA_WRAP, true);
    }
    if (key instanceof ECPublicKey) {
      ECPublicKey ec = (ECPublicKey) key;
      byte[] parameters = KeyTemplates.ecParameters(ec.getParams());
      int n = PublicKeys.fieldBytes(ec.getParams());
      byte[] point = new byte[1 + 2 * n];
      point[0] = 0x04;
      unsigned(ec.getW().getAffineX(), point, 1, n);
      unsigned(ec.getW().getAffineY(), point, 1 + n, n);
      return template.add(Cryptoki.CKA_KEY_TYPE, Cryptoki.CKK_EC)
          .add(Cryptoki.CKA_EC_PARAMS, parameters)
          .add(Cryptoki.CKA_EC_POINT, Der.element(0x04, point))
          .add(Cryptoki.CKA_VERIFY, true);
    }
    if (key instanceof EdECPublicKey) {
      EdECPublicKey ed = (EdECPublicKey) key;
      Curves.Curve curve = Curves.named(ed.getParams().getName());
      if (curve == null)
        throw new InvalidKeyException("an EdDSA key on " + ed.getParams().getName());
      byte[] spki = key.getEncoded();
      int length = curve.fieldBits() == 255 ? 32 : 57;
      byte[] raw = Arrays.copyOfRange(spki, spki.length - length, spki.length);
      return template.add(Cryptoki.CKA_KEY_TYPE, Cryptoki.CKK_EC_EDWARDS)
          .add(Cryptoki.CKA_EC_PARAMS, curve.parameters())
          .add(Cryptoki.CKA_EC_POINT, Der.element(0x04, raw))
          .add(Cryptoki.CKA_VERIFY, true);
    }
    throw new InvalidKeyException("a " + key.getAlgorithm() + " public key cannot be written to"
        + " a token");
  }

  /** The template of a data object holding `value`, private unless `isPublic`. */
  public static Template data(byte[] value, String label, String application, boolean isPublic) {
    return new Template()
        .add(Cryptoki.CKA_CLASS, Cryptoki.CKO_DATA)
        .add(Cryptoki.CKA_TOKEN, true)
        .add(Cryptoki.CKA_PRIVATE, !isPublic)
        .addIfPresent(Cryptoki.CKA_LABEL, label)
        .addIfPresent(Cryptoki.CKA_APPLICATION, application)
        .add(Cryptoki.CKA_VALUE, value);
  }

  /** The certificate that a certificate object holds. */
  public static X509Certificate x509(TokenObject certificate)
      throws PKCS11Exception, CertificateException {
    byte[] value = certificate.bytes(Cryptoki.CKA_VALUE);
    return (X509Certificate) CertificateFactory.getInstance("X.509").generateCertificate(
        new ByteArrayInputStream(value));
  }

  /**
   * The public key of a public or private key object, or of a certificate object (its subject's
   * key).
   */
  public static PublicKey publicKeyOf(TokenObject object)
      throws PKCS11Exception, GeneralSecurityException {
    if (object.objectClassIfPresent() == Cryptoki.CKO_CERTIFICATE) {
      return x509(object).getPublicKey();
    }
    return PublicKeys.of(object);
  }

  /** The CKK_ type of a Java public key: RSA, EC or EdDSA; -1 for another. */
  public static int keyType(PublicKey key) {
    if (key instanceof RSAPublicKey) return Cryptoki.CKK_RSA;
    if (key instanceof ECPublicKey) return Cryptoki.CKK_EC;
    if (key instanceof EdECPublicKey) return Cryptoki.CKK_EC_EDWARDS;
    return -1;
  }

  /**
   * Why this Java cannot check a signature in `scheme` by `key`, or null when it can. Java 17
   * has no ECDSA on secp256k1 or the brainpool curves, and would report a signature on them as
   * failing rather than unchecked: this asks first.
   */
  public static String whyJavaCannotVerify(PublicKey key, SignatureScheme scheme) {
    try {
      Signature.getInstance(scheme.javaAlgorithm());
    } catch (NoSuchAlgorithmException e) {
      return "this Java has no " + scheme.javaAlgorithm() + " signatures";
    }
    if (key instanceof ECPublicKey) {
      try {
        KeyPairGenerator.getInstance("EC").initialize(((ECPublicKey) key).getParams());
      } catch (GeneralSecurityException e) {
        String curve;
        try {
          curve = Curves.of(KeyTemplates.ecParameters(((ECPublicKey) key).getParams())).name();
        } catch (GeneralSecurityException unknown) {
          curve = "this curve";
        }
        return "this Java (" + System.getProperty("java.version") + ") cannot check ECDSA"
            + " signatures on " + curve;
      }
    }
    return null;
  }

  private static void unsigned(BigInteger value, byte[] out, int at, int length) {
    byte[] bytes = value.toByteArray();
    int skip = bytes.length > length ? bytes.length - length : 0;
    System.arraycopy(bytes, skip, out, at + length - (bytes.length - skip), bytes.length - skip);
  }
}
