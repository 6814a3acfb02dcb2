package it.morvale.pkcs11.token;

import it.morvale.pkcs11.PKCS11Exception;
import java.math.BigInteger;
import java.security.AlgorithmParameters;
import java.security.GeneralSecurityException;
import java.security.KeyFactory;
import java.security.PublicKey;
import java.security.spec.ECGenParameterSpec;
import java.security.spec.ECParameterSpec;
import java.security.spec.ECPoint;
import java.security.spec.ECPublicKeySpec;
import java.security.spec.RSAPublicKeySpec;
import java.security.spec.X509EncodedKeySpec;
import java.util.Arrays;

/** Public keys read from a token as {@code java.security} keys, and EC curve parameters. */
public final class PublicKeys {
  private PublicKeys() {}

  /**
   * The public key that `key` holds: an RSA key from its modulus and public exponent (an RSA
   * private key object usually carries both too), an EC public key from its curve parameters and
   * point.
   *
   * @throws GeneralSecurityException when the key is of another type or its values do not form a
   *     key
   */
  public static PublicKey of(TokenObject key) throws PKCS11Exception, GeneralSecurityException {
    int type = key.keyType();
    if (type == Cryptoki.CKK_RSA) {
      BigInteger modulus = key.bigInteger(Cryptoki.CKA_MODULUS);
      BigInteger exponent = key.bigInteger(Cryptoki.CKA_PUBLIC_EXPONENT);
      return KeyFactory.getInstance("RSA").generatePublic(new RSAPublicKeySpec(modulus, exponent));
    }
    if (type == Cryptoki.CKK_EC) {
      ECParameterSpec curve = curve(key.bytes(Cryptoki.CKA_EC_PARAMS));
      ECPoint point = point(key.bytes(Cryptoki.CKA_EC_POINT), curve);
      return KeyFactory.getInstance("EC").generatePublic(new ECPublicKeySpec(point, curve));
    }
    if (type == Cryptoki.CKK_EC_EDWARDS) {
      Curves.Curve curve = Curves.of(key.bytes(Cryptoki.CKA_EC_PARAMS));
      byte[] value = key.bytes(Cryptoki.CKA_EC_POINT);
      int length = curve.fieldBits() == 255 ? 32 : 57;
      byte[] raw = value.length == length ? value : Der.octetString(value);
      if (raw.length != length) {
        throw new GeneralSecurityException(
            "an " + curve + " public key of " + raw.length + " bytes");
      }
      byte[] oid = curve.parameters();
      byte[] spki = new byte[2 + 2 + oid.length + 3 + length];
      int at = 0;
      spki[at++] = 0x30;
      spki[at++] = (byte) (spki.length - 2);
      spki[at++] = 0x30;
      spki[at++] = (byte) oid.length;
      System.arraycopy(oid, 0, spki, at, oid.length);
      at += oid.length;
      spki[at++] = 0x03;
      spki[at++] = (byte) (length + 1);
      spki[at++] = 0x00;
      System.arraycopy(raw, 0, spki, at, length);
      return KeyFactory.getInstance("EdDSA").generatePublic(new X509EncodedKeySpec(spki));
    }
    throw new GeneralSecurityException(
        String.format("key type 0x%X has no public key of its own", type));
  }

  /** The DER-encoded curve OID of a named curve ("P-256", "secp384r1", ...), for CKA_EC_PARAMS. */
  public static byte[] ecParameters(String curveName) throws GeneralSecurityException {
    Curves.Curve curve = Curves.named(curveName);
    if (curve != null) return curve.parameters();
    AlgorithmParameters parameters = AlgorithmParameters.getInstance("EC");
    parameters.init(new ECGenParameterSpec(curveName));
    try {
      return parameters.getEncoded();
    } catch (java.io.IOException e) {
      throw new GeneralSecurityException("cannot encode the curve " + curveName, e);
    }
  }

  /**
   * The curve described by DER-encoded EC parameters (a named curve's OID), as Java describes it.
   *
   * @throws GeneralSecurityException when the parameters name no curve that this Java supports
   */
  public static ECParameterSpec curve(byte[] ecParameters) throws GeneralSecurityException {
    AlgorithmParameters parameters = AlgorithmParameters.getInstance("EC");
    try {
      parameters.init(ecParameters);
      return parameters.getParameterSpec(ECParameterSpec.class);
    } catch (java.io.IOException | GeneralSecurityException e) {
      String name;
      try {
        name = Curves.of(ecParameters).name();
      } catch (GeneralSecurityException unknown) {
        throw new GeneralSecurityException("EC parameters that name no known curve", e);
      }
      throw new GeneralSecurityException("this Java does not support the curve " + name, e);
    }
  }

  /** Bytes of one coordinate on `curve`. */
  public static int fieldBytes(ECParameterSpec curve) {
    return (curve.getCurve().getField().getFieldSize() + 7) / 8;
  }

  /**
   * The point of CKA_EC_POINT: an uncompressed point, which tokens usually wrap in a DER OCTET
   * STRING and some give bare.
   */
  static ECPoint point(byte[] value, ECParameterSpec curve) throws GeneralSecurityException {
    int n = fieldBytes(curve);
    byte[] raw = value;
    if (value.length != 2 * n + 1) raw = Der.octetString(value);
    if (raw.length != 2 * n + 1 || raw[0] != 0x04) {
      throw new GeneralSecurityException("EC point that is not an uncompressed point on the curve");
    }
    return new ECPoint(new BigInteger(1, Arrays.copyOfRange(raw, 1, 1 + n)),
        new BigInteger(1, Arrays.copyOfRange(raw, 1 + n, raw.length)));
  }
}
