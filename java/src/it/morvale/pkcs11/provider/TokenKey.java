package it.morvale.pkcs11.provider;

import it.morvale.pkcs11.token.ObjectRef;
import java.math.BigInteger;
import java.security.InvalidKeyException;
import java.security.PrivateKey;
import java.security.PublicKey;
import java.security.interfaces.ECKey;
import java.security.interfaces.ECPublicKey;
import java.security.interfaces.EdECKey;
import java.security.interfaces.EdECPublicKey;
import java.security.interfaces.RSAKey;
import java.security.interfaces.RSAPublicKey;
import java.security.spec.ECParameterSpec;
import java.security.spec.NamedParameterSpec;

/**
 * A private key that stays on the token: the object handle and the matching public key. It has
 * no encoding, and only this provider's signatures and ciphers accept it. The RSA kind tells its
 * modulus and the EC and EdDSA kinds their curve, which the platform uses to pick algorithms and
 * sizes.
 */
abstract class TokenKey extends ResidentKey implements PrivateKey {
  private static final long serialVersionUID = 1L;

  private final transient PublicKey publicKey;

  private TokenKey(Token token, ObjectRef object, PublicKey publicKey) {
    super(token, object);
    this.publicKey = publicKey;
  }

  /** The private key `object` of `token`, whose public half is `publicKey`. */
  static TokenKey of(Token token, ObjectRef object, PublicKey publicKey)
      throws InvalidKeyException {
    if (publicKey instanceof RSAPublicKey) return new Rsa(token, object, publicKey);
    if (publicKey instanceof ECPublicKey) return new Ec(token, object, publicKey);
    if (publicKey instanceof EdECPublicKey) return new Ed(token, object, publicKey);
    throw new InvalidKeyException(
        "a " + publicKey.getAlgorithm() + " key is neither RSA, EC nor EdDSA");
  }

  PublicKey publicKey() { return publicKey; }

  @Override
  public String getAlgorithm() {
    return publicKey.getAlgorithm();
  }

  @Override
  public String toString() {
    return getAlgorithm() + " private key " + object().handle() + " on the " + token();
  }

  static final class Rsa extends TokenKey implements RSAKey {
    private static final long serialVersionUID = 1L;

    Rsa(Token token, ObjectRef object, PublicKey publicKey) { super(token, object, publicKey); }

    @Override
    public BigInteger getModulus() {
      return ((RSAPublicKey) publicKey()).getModulus();
    }
  }

  static final class Ec extends TokenKey implements ECKey {
    private static final long serialVersionUID = 1L;

    Ec(Token token, ObjectRef object, PublicKey publicKey) { super(token, object, publicKey); }

    @Override
    public ECParameterSpec getParams() {
      return ((ECPublicKey) publicKey()).getParams();
    }
  }

  static final class Ed extends TokenKey implements EdECKey {
    private static final long serialVersionUID = 1L;

    Ed(Token token, ObjectRef object, PublicKey publicKey) { super(token, object, publicKey); }

    @Override
    public NamedParameterSpec getParams() {
      return ((EdECPublicKey) publicKey()).getParams();
    }
  }
}
