package it.morvale.pkcs11.provider;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.ObjectRef;
import java.io.ByteArrayOutputStream;
import java.security.AlgorithmParameters;
import java.security.GeneralSecurityException;
import java.security.InvalidAlgorithmParameterException;
import java.security.InvalidKeyException;
import java.security.Key;
import java.security.NoSuchAlgorithmException;
import java.security.Provider;
import java.security.ProviderException;
import java.security.PublicKey;
import java.security.SecureRandom;
import java.security.Security;
import java.security.interfaces.RSAKey;
import java.security.spec.AlgorithmParameterSpec;
import java.util.Set;
import javax.crypto.BadPaddingException;
import javax.crypto.Cipher;
import javax.crypto.CipherSpi;
import javax.crypto.IllegalBlockSizeException;
import javax.crypto.NoSuchPaddingException;
import javax.crypto.ShortBufferException;
import javax.crypto.spec.SecretKeySpec;

/**
 * RSA/ECB/PKCS1Padding: decryption and unwrapping with the token's private keys (CKM_RSA_PKCS on
 * the token), encryption and wrapping with public keys handed to the platform's own provider. The
 * bridge decrypts in one part, so the input is gathered until doFinal.
 */
final class TokenCipher extends CipherSpi {
  /**
   * The answers of a token to a cryptogram whose padding is wrong. Besides the standard code,
   * tokens such as SoftHSM2 answer with a general failure; all of them become the one
   * BadPaddingException, which tells a caller nothing more about the cryptogram.
   */
  private static final Set<String> BAD_CRYPTOGRAM =
      Set.of("CKR_ENCRYPTED_DATA_INVALID", "CKR_GENERAL_ERROR", "CKR_FUNCTION_FAILED");

  private final Token token;
  private TokenKey key;
  private Cipher platform;
  private final ByteArrayOutputStream input = new ByteArrayOutputStream();

  TokenCipher(Token token) { this.token = token; }

  @Override
  protected void engineSetMode(String mode) throws NoSuchAlgorithmException {
    if (!mode.equalsIgnoreCase("ECB"))
      throw new NoSuchAlgorithmException("RSA has no mode " + mode);
  }

  @Override
  protected void engineSetPadding(String padding) throws NoSuchPaddingException {
    if (!padding.equalsIgnoreCase("PKCS1Padding")) {
      throw new NoSuchPaddingException(
          "this provider's RSA offers PKCS1Padding only, not " + padding);
    }
  }

  @Override
  protected int engineGetBlockSize() {
    return 0;
  }

  @Override
  protected int engineGetOutputSize(int inputLen) {
    if (platform != null) return platform.getOutputSize(inputLen);
    return key == null ? 0 : modulusBytes(key);
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
  protected int engineGetKeySize(Key k) throws InvalidKeyException {
    if (!(k instanceof RSAKey)) throw new InvalidKeyException("not an RSA key");
    return ((RSAKey) k).getModulus().bitLength();
  }

  @Override
  protected void engineInit(int opmode, Key k, SecureRandom random) throws InvalidKeyException {
    input.reset();
    key = null;
    platform = null;
    if (opmode == Cipher.DECRYPT_MODE || opmode == Cipher.UNWRAP_MODE) {
      if (!(k instanceof TokenKey) || ((TokenKey) k).token() != token
          || !"RSA".equals(k.getAlgorithm())) {
        throw new InvalidKeyException(
            "this provider decrypts only with RSA private keys of its own token");
      }
      key = (TokenKey) k;
    } else if (opmode == Cipher.ENCRYPT_MODE || opmode == Cipher.WRAP_MODE) {
      if (!(k instanceof PublicKey)) {
        throw new InvalidKeyException("RSA/ECB/PKCS1Padding encrypts with public keys only");
      }
      platform = platformCipher();
      platform.init(opmode, k, random == null ? new SecureRandom() : random);
    } else {
      throw new InvalidKeyException("unknown cipher mode " + opmode);
    }
  }

  @Override
  protected void engineInit(int opmode, Key k, AlgorithmParameterSpec params, SecureRandom random)
      throws InvalidKeyException, InvalidAlgorithmParameterException {
    withoutParameters(params);
    engineInit(opmode, k, random);
  }

  @Override
  protected void engineInit(int opmode, Key k, AlgorithmParameters params, SecureRandom random)
      throws InvalidKeyException, InvalidAlgorithmParameterException {
    withoutParameters(params);
    engineInit(opmode, k, random);
  }

  private static void withoutParameters(Object params) throws InvalidAlgorithmParameterException {
    if (params != null) {
      throw new InvalidAlgorithmParameterException("RSA/ECB/PKCS1Padding takes no parameters");
    }
  }

  @Override
  protected byte[] engineUpdate(byte[] in, int offset, int length) {
    if (platform != null) return platform.update(in, offset, length);
    input.write(in, offset, length);
    return new byte[0];
  }

  @Override
  protected int engineUpdate(byte[] in, int offset, int length, byte[] out, int outOffset)
      throws ShortBufferException {
    if (platform != null) return platform.update(in, offset, length, out, outOffset);
    input.write(in, offset, length);
    return 0;
  }

  @Override
  protected byte[] engineDoFinal(byte[] in, int offset, int length)
      throws IllegalBlockSizeException, BadPaddingException {
    if (platform != null) return platform.doFinal(in, offset, length);
    if (in != null) input.write(in, offset, length);
    byte[] data = input.toByteArray();
    input.reset();
    return decrypt(data);
  }

  @Override
  protected int engineDoFinal(byte[] in, int offset, int length, byte[] out, int outOffset)
      throws ShortBufferException, IllegalBlockSizeException, BadPaddingException {
    if (platform != null) return platform.doFinal(in, offset, length, out, outOffset);
    byte[] result = engineDoFinal(in, offset, length);
    if (out.length - outOffset < result.length) {
      throw new ShortBufferException("the output needs " + result.length + " bytes");
    }
    System.arraycopy(result, 0, out, outOffset, result.length);
    return result.length;
  }

  @Override
  protected byte[] engineWrap(Key k) throws IllegalBlockSizeException, InvalidKeyException {
    if (platform == null) throw new IllegalStateException("not initialised for wrapping");
    return platform.wrap(k);
  }

  @Override
  protected Key engineUnwrap(byte[] wrapped, String algorithm, int type)
      throws InvalidKeyException, NoSuchAlgorithmException {
    if (key == null) throw new IllegalStateException("not initialised for unwrapping");
    if (type != Cipher.SECRET_KEY) {
      throw new InvalidKeyException("this provider unwraps secret keys only");
    }
    try {
      return new SecretKeySpec(decrypt(wrapped), algorithm);
    } catch (GeneralSecurityException e) {
      throw new InvalidKeyException("the wrapped key does not decrypt", e);
    }
  }

  private byte[] decrypt(byte[] data) throws IllegalBlockSizeException, BadPaddingException {
    if (data.length > modulusBytes(key)) {
      throw new IllegalBlockSizeException(
          "RSA decrypts at most " + modulusBytes(key) + " bytes, not " + data.length);
    }
    try {
      ObjectRef ref = key.object();
      return token.pool.read(
          session -> session.decrypt(Cryptoki.CKM_RSA_PKCS, ref.in(session), data));
    } catch (PKCS11Exception e) {
      String text = Token.failure("the token did not decrypt", e);
      String name = e.getCodeName();
      if (BAD_CRYPTOGRAM.contains(name)) {
        throw(BadPaddingException) new BadPaddingException(text).initCause(e);
      }
      if ("CKR_ENCRYPTED_DATA_LEN_RANGE".equals(name)) {
        throw(IllegalBlockSizeException) new IllegalBlockSizeException(text).initCause(e);
      }
      throw new ProviderException(text, e);
    }
  }

  private static int modulusBytes(TokenKey key) {
    return (((RSAKey) key).getModulus().bitLength() + 7) / 8;
  }

  /** RSA/ECB/PKCS1Padding of another provider, for public-key work. */
  private static Cipher platformCipher() throws InvalidKeyException {
    Provider[] providers = Security.getProviders("Cipher.RSA");
    if (providers != null) {
      for (Provider provider : providers) {
        if (provider instanceof QuillonProvider) continue;
        try {
          return Cipher.getInstance("RSA/ECB/PKCS1Padding", provider);
        } catch (NoSuchAlgorithmException | NoSuchPaddingException e) {
          // Try the next one.
        }
      }
    }
    throw new InvalidKeyException("no other provider encrypts with RSA/ECB/PKCS1Padding");
  }
}
