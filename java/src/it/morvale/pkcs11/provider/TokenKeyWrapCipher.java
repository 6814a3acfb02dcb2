package it.morvale.pkcs11.provider;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.KeyTemplates;
import it.morvale.pkcs11.token.ObjectRef;
import it.morvale.pkcs11.token.Template;
import it.morvale.pkcs11.token.TokenObject;
import java.security.AlgorithmParameters;
import java.security.InvalidAlgorithmParameterException;
import java.security.InvalidKeyException;
import java.security.Key;
import java.security.NoSuchAlgorithmException;
import java.security.SecureRandom;
import java.security.spec.AlgorithmParameterSpec;
import java.util.Arrays;
import java.util.Locale;
import javax.crypto.Cipher;
import javax.crypto.CipherSpi;
import javax.crypto.NoSuchPaddingException;
import javax.crypto.SecretKey;
import javax.crypto.spec.SecretKeySpec;

/**
 * AES key wrap (AESWrap, RFC 3394, CKM_AES_KEY_WRAP) and AES key wrap with padding (AESWrapPad,
 * RFC 5649) with an AES key of the token, in WRAP_MODE and UNWRAP_MODE only: tokens such as
 * SoftHSM2 wrap with these mechanisms but do not encrypt with them. The default initial value is
 * used; the bridge cannot pass another.
 *
 * <p>{@code wrap} takes a secret key of the token that is extractable (C_WrapKey), or a key in
 * the clear, which is put on the token as a session object for the one wrap and destroyed again.
 * {@code unwrap} makes the key on the token (C_UnwrapKey) and returns a {@link TokenSecretKey}:
 * sensitive, not extractable, a token object with a fresh CKA_ID. With the system property {@code
 * quillon.unwrapExtractable=true} it returns the key's value as a {@code SecretKeySpec} instead
 * (unwrapped as a session object that may be read, then destroyed).
 */
final class TokenKeyWrapCipher extends CipherSpi {
  private final Token token;
  private final String algorithm;
  private final int mechanism;
  private TokenSecretKey kek;
  private int opmode;

  /** `algorithm` ("AESWrap") with `mechanism` (CKM_AES_KEY_WRAP). */
  TokenKeyWrapCipher(Token token, String algorithm, int mechanism) {
    this.token = token;
    this.algorithm = algorithm;
    this.mechanism = mechanism;
  }

  @Override
  protected void engineSetMode(String mode) throws NoSuchAlgorithmException {
    String m = mode.toUpperCase(Locale.ROOT);
    if (!m.equals("KW") && !m.equals("KWP") && !m.equals("ECB")) {
      throw new NoSuchAlgorithmException(algorithm + " has no mode " + mode);
    }
  }

  @Override
  protected void engineSetPadding(String padding) throws NoSuchPaddingException {
    if (!padding.equalsIgnoreCase("NoPadding")) {
      throw new NoSuchPaddingException(algorithm + " has no padding " + padding);
    }
  }

  @Override
  protected int engineGetBlockSize() {
    return 16;
  }

  @Override
  protected int engineGetOutputSize(int inputLen) {
    return opmode == Cipher.WRAP_MODE ? (inputLen + 7) / 8 * 8 + 8 : Math.max(0, inputLen - 8);
  }

  @Override
  protected byte[] engineGetIV() {
    return null;
  }

  @Override
  protected AlgorithmParameters engineGetParameters() {
    return null;
  }

  @Override
  protected int engineGetKeySize(Key key) throws InvalidKeyException {
    if (key instanceof TokenSecretKey) {
      throw new InvalidKeyException("the token does not tell the size of its secret keys here");
    }
    byte[] encoded = key.getEncoded();
    if (encoded == null) throw new InvalidKeyException("a key of unknown size");
    return encoded.length * 8;
  }

  @Override
  protected void engineInit(int mode, Key key, SecureRandom random) throws InvalidKeyException {
    if (mode != Cipher.WRAP_MODE && mode != Cipher.UNWRAP_MODE) {
      throw new UnsupportedOperationException(
          algorithm + " of this provider wraps and unwraps keys only");
    }
    if (!(key instanceof TokenSecretKey) || ((TokenSecretKey) key).token() != token
        || ((TokenSecretKey) key).keyType() != Cryptoki.CKK_AES) {
      throw new InvalidKeyException(
          algorithm + " of this provider takes AES keys of its own token only, not " + key);
    }
    kek = (TokenSecretKey) key;
    opmode = mode;
  }

  @Override
  protected void engineInit(int mode, Key key, AlgorithmParameterSpec params, SecureRandom random)
      throws InvalidKeyException, InvalidAlgorithmParameterException {
    if (params != null) {
      throw new InvalidAlgorithmParameterException(
          algorithm + " of this provider uses the default initial value only");
    }
    engineInit(mode, key, random);
  }

  @Override
  protected void engineInit(int mode, Key key, AlgorithmParameters params, SecureRandom random)
      throws InvalidKeyException, InvalidAlgorithmParameterException {
    engineInit(mode, key, (AlgorithmParameterSpec) null, random);
    if (params != null) {
      throw new InvalidAlgorithmParameterException(
          algorithm + " of this provider uses the default initial value only");
    }
  }

  @Override
  protected byte[] engineUpdate(byte[] input, int offset, int length) {
    throw new IllegalStateException(algorithm + " of this provider wraps and unwraps keys only");
  }

  @Override
  protected int engineUpdate(byte[] input, int offset, int length, byte[] out, int outOffset) {
    throw new IllegalStateException(algorithm + " of this provider wraps and unwraps keys only");
  }

  @Override
  protected byte[] engineDoFinal(byte[] input, int offset, int length) {
    throw new IllegalStateException(algorithm + " of this provider wraps and unwraps keys only");
  }

  @Override
  protected int engineDoFinal(byte[] input, int offset, int length, byte[] out, int outOffset) {
    throw new IllegalStateException(algorithm + " of this provider wraps and unwraps keys only");
  }

  @Override
  protected byte[] engineWrap(Key key) throws InvalidKeyException {
    if (kek == null || opmode != Cipher.WRAP_MODE) {
      throw new IllegalStateException("not initialised for wrapping");
    }
    ObjectRef wrapping = kek.object();
    try {
      if (key instanceof TokenSecretKey && ((TokenSecretKey) key).token() == token) {
        ObjectRef wrapped = ((TokenSecretKey) key).object();
        return token.pool.read(
            session -> session.wrapKey(mechanism, wrapping.in(session), wrapped.in(session)));
      }
      if (!(key instanceof SecretKey) || key.getEncoded() == null) {
        throw new InvalidKeyException(algorithm + " wraps secret keys of this token or in the"
            + " clear, not " + (key == null ? "null" : key.getClass().getName()));
      }
      byte[] value = key.getEncoded();
      try {
        return token.pool.read(session -> {
          TokenObject copy = session.create(clear(value, key.getAlgorithm()));
          try {
            return session.wrapKey(mechanism, wrapping.in(session), copy);
          } finally {
            copy.destroy();
          }
        });
      } finally {
        Arrays.fill(value, (byte) 0);
      }
    } catch (PKCS11Exception e) {
      throw(InvalidKeyException) new InvalidKeyException(
          Token.failure("the token did not wrap the key", e))
          .initCause(e);
    }
  }

  @Override
  protected Key engineUnwrap(byte[] wrapped, String keyAlgorithm, int type)
      throws InvalidKeyException, NoSuchAlgorithmException {
    if (kek == null || opmode != Cipher.UNWRAP_MODE) {
      throw new IllegalStateException("not initialised for unwrapping");
    }
    if (type != Cipher.SECRET_KEY) {
      throw new InvalidKeyException("this provider unwraps secret keys only");
    }
    ObjectRef unwrapping = kek.object();
    if (!Boolean.getBoolean(TokenCipher.UNWRAP_EXTRACTABLE)) {
      return unwrapOnToken(token, mechanism, unwrapping, wrapped, keyAlgorithm);
    }
    int keyType = TokenSecretKey.keyTypeOf(keyAlgorithm);
    byte[] value;
    try {
      value = token.pool.read(session -> {
        TokenObject made =
            session.unwrapKey(mechanism, unwrapping.in(session), wrapped, readable(keyType));
        try {
          return made.bytes(Cryptoki.CKA_VALUE);
        } finally {
          made.destroy();
        }
      });
    } catch (PKCS11Exception e) {
      throw(InvalidKeyException) new InvalidKeyException(
          Token.failure("the token did not unwrap the key", e))
          .initCause(e);
    }
    try {
      return new SecretKeySpec(value, keyAlgorithm);
    } finally {
      Arrays.fill(value, (byte) 0);
    }
  }

  /**
   * C_UnwrapKey of `wrapped` by `unwrapping` with `mechanism`: the key is made on the token, a
   * sensitive, not extractable token object with a fresh CKA_ID, and its value never leaves it.
   */
  static TokenSecretKey unwrapOnToken(Token token, int mechanism, ObjectRef unwrapping,
      byte[] wrapped, String algorithm) throws InvalidKeyException {
    int keyType = TokenSecretKey.keyTypeOf(algorithm);
    byte[] id = TokenSecretKey.newId();
    try {
      ObjectRef made = token.pool.write(session
          -> token.pool.ref(session.unwrapKey(mechanism, unwrapping.in(session), wrapped,
              KeyTemplates.secret(keyType, null, id, false))));
      return new TokenSecretKey(token, made, keyType, algorithm);
    } catch (PKCS11Exception e) {
      throw(InvalidKeyException) new InvalidKeyException(
          Token.failure("the token did not unwrap the key", e))
          .initCause(e);
    }
  }

  /**
   * A key whose value Java already holds (an OAEP unwrap), stored on the token as a sensitive,
   * not extractable token object with a fresh CKA_ID, so that it works like any other.
   */
  static TokenSecretKey store(Token token, byte[] value, String algorithm)
      throws InvalidKeyException {
    int keyType = TokenSecretKey.keyTypeOf(algorithm);
    Template template = KeyTemplates.secret(keyType, null, TokenSecretKey.newId(), false)
                            .add(Cryptoki.CKA_VALUE, value.clone());
    try {
      ObjectRef made = token.pool.write(session -> token.pool.ref(session.create(template)));
      return new TokenSecretKey(token, made, keyType, algorithm);
    } catch (PKCS11Exception e) {
      throw(InvalidKeyException) new InvalidKeyException(
          Token.failure("the token did not take the key", e))
          .initCause(e);
    }
  }

  /** A session object holding a key in the clear, extractable, for one wrap. */
  private static Template clear(byte[] value, String algorithm) {
    return readable(TokenSecretKey.keyTypeOf(algorithm)).add(Cryptoki.CKA_VALUE, value);
  }

  /** The template of a session key whose value may be read: an unwrapped one is read once. */
  private static Template readable(int keyType) {
    return new Template()
        .add(Cryptoki.CKA_CLASS, Cryptoki.CKO_SECRET_KEY)
        .add(Cryptoki.CKA_KEY_TYPE, keyType)
        .add(Cryptoki.CKA_TOKEN, false)
        .add(Cryptoki.CKA_SENSITIVE, false)
        .add(Cryptoki.CKA_EXTRACTABLE, true);
  }
}
