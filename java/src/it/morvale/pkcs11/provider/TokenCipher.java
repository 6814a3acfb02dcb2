package it.morvale.pkcs11.provider;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Encodings;
import it.morvale.pkcs11.token.ObjectRef;
import java.io.ByteArrayOutputStream;
import java.security.AlgorithmParameters;
import java.security.InvalidAlgorithmParameterException;
import java.security.InvalidKeyException;
import java.security.Key;
import java.security.NoSuchAlgorithmException;
import java.security.Provider;
import java.security.ProviderException;
import java.security.PublicKey;
import java.security.SecureRandom;
import java.security.SignatureException;
import java.security.interfaces.RSAKey;
import java.security.spec.AlgorithmParameterSpec;
import java.security.spec.InvalidParameterSpecException;
import java.security.spec.MGF1ParameterSpec;
import java.util.Arrays;
import java.util.Locale;
import java.util.Set;
import javax.crypto.BadPaddingException;
import javax.crypto.Cipher;
import javax.crypto.CipherSpi;
import javax.crypto.IllegalBlockSizeException;
import javax.crypto.NoSuchPaddingException;
import javax.crypto.ShortBufferException;
import javax.crypto.spec.OAEPParameterSpec;
import javax.crypto.spec.PSource;
import javax.crypto.spec.SecretKeySpec;

/**
 * RSA in ECB mode with PKCS1Padding, NoPadding, OAEPPadding or {@code
 * OAEPWith<digest>AndMGF1Padding} ({@link OAEPParameterSpec} for other hashes and labels):
 * decryption and unwrapping with the token's private keys, encryption and wrapping with public
 * keys handed to the platform's own provider. PKCS1Padding decrypts with CKM_RSA_PKCS; NoPadding
 * and OAEP decrypt with raw CKM_RSA_X_509, and OAEP is decoded in Java (in constant time: {@link
 * Oaep}), since the bridge cannot pass the token the OAEP parameters. The bridge decrypts in one
 * part, so the input is gathered until doFinal.
 *
 * <p>{@code unwrap} makes the key on the token and returns a {@link TokenSecretKey}: sensitive,
 * not extractable, a token object with a fresh CKA_ID (until {@code destroy}), for this provider's
 * MACs and key wrap ciphers. With PKCS1Padding the token unwraps (C_UnwrapKey); with OAEP the key
 * is decoded in Java and stored on the token (C_CreateObject). With the system property {@code
 * quillon.unwrapExtractable=true}, unwrap returns the key's value instead, as a {@code
 * SecretKeySpec}.
 */
final class TokenCipher extends CipherSpi {
  /** The system property that makes unwrap return keys in the clear. */
  static final String UNWRAP_EXTRACTABLE = "quillon.unwrapExtractable";

  /**
   * The answers of a token to a cryptogram whose padding is wrong. Besides the standard code,
   * tokens such as SoftHSM2 answer with a general failure; all of them become the one
   * BadPaddingException, which tells a caller nothing more about the cryptogram.
   */
  private static final Set<String> BAD_CRYPTOGRAM =
      Set.of("CKR_ENCRYPTED_DATA_INVALID", "CKR_GENERAL_ERROR", "CKR_FUNCTION_FAILED");

  private enum Padding { PKCS1, NONE, OAEP }

  private final Token token;
  private Padding padding = Padding.PKCS1;
  /** The OAEP hash that the padding's name gives ("SHA-256"), SHA-1 for plain OAEPPadding. */
  private String oaepDigest = "SHA-1";
  private OAEPParameterSpec oaep;
  private TokenKey key;
  private Cipher platform;
  private final ByteArrayOutputStream input = new ByteArrayOutputStream();

  /** RSA with `padding` ("PKCS1Padding", "NoPadding", "OAEPWithSHA-256AndMGF1Padding"). */
  TokenCipher(Token token, String padding) {
    this.token = token;
    try {
      engineSetPadding(padding);
    } catch (NoSuchPaddingException e) {
      throw new IllegalArgumentException(e.getMessage(), e);
    }
  }

  @Override
  protected void engineSetMode(String mode) throws NoSuchAlgorithmException {
    if (!mode.equalsIgnoreCase("ECB") && !mode.equalsIgnoreCase("NONE")) {
      throw new NoSuchAlgorithmException("RSA has no mode " + mode);
    }
  }

  @Override
  protected void engineSetPadding(String name) throws NoSuchPaddingException {
    String upper = name.toUpperCase(Locale.ROOT);
    if (upper.equals("PKCS1PADDING")) {
      padding = Padding.PKCS1;
    } else if (upper.equals("NOPADDING")) {
      padding = Padding.NONE;
    } else if (upper.equals("OAEPPADDING")) {
      padding = Padding.OAEP;
      oaepDigest = "SHA-1";
    } else if (upper.startsWith("OAEPWITH") && upper.endsWith("ANDMGF1PADDING")) {
      String digest = Encodings.digestName(
          upper.substring("OAEPWITH".length(), upper.length() - "ANDMGF1PADDING".length()));
      if (digest == null || digest.equals("MD5")) {
        throw new NoSuchPaddingException("OAEP with no hash this provider knows: " + name);
      }
      padding = Padding.OAEP;
      oaepDigest = digest;
    } else {
      throw new NoSuchPaddingException("this provider's RSA has no padding " + name);
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
    if (padding != Padding.OAEP) return null;
    try {
      AlgorithmParameters parameters = AlgorithmParameters.getInstance("OAEP");
      parameters.init(oaep != null ? oaep : defaultOaep());
      return parameters;
    } catch (NoSuchAlgorithmException | InvalidParameterSpecException e) {
      throw new ProviderException("the platform cannot encode OAEP parameters", e);
    }
  }

  /** The parameters that the padding's name implies: its hash, MGF1 with SHA-1, no label. */
  private OAEPParameterSpec defaultOaep() {
    return new OAEPParameterSpec(
        oaepDigest, "MGF1", MGF1ParameterSpec.SHA1, PSource.PSpecified.DEFAULT);
  }

  @Override
  protected int engineGetKeySize(Key k) throws InvalidKeyException {
    if (!(k instanceof RSAKey)) throw new InvalidKeyException("not an RSA key");
    return ((RSAKey) k).getModulus().bitLength();
  }

  @Override
  protected void engineInit(int opmode, Key k, SecureRandom random) throws InvalidKeyException {
    try {
      engineInit(opmode, k, (AlgorithmParameterSpec) null, random);
    } catch (InvalidAlgorithmParameterException e) {
      throw new InvalidKeyException(e.getMessage(), e);
    }
  }

  @Override
  protected void engineInit(int opmode, Key k, AlgorithmParameterSpec params, SecureRandom random)
      throws InvalidKeyException, InvalidAlgorithmParameterException {
    input.reset();
    key = null;
    platform = null;
    if (params != null && (padding != Padding.OAEP || !(params instanceof OAEPParameterSpec))) {
      throw new InvalidAlgorithmParameterException(padding == Padding.OAEP
              ? "OAEP takes an OAEPParameterSpec, not " + params.getClass().getName()
              : "RSA with " + padding + " padding takes no parameters");
    }
    oaep = padding == Padding.OAEP ? (params != null ? (OAEPParameterSpec) params : defaultOaep())
                                   : null;
    if (oaep != null) Oaep.of(oaep); // refuses what cannot be decoded
    if (opmode == Cipher.DECRYPT_MODE || opmode == Cipher.UNWRAP_MODE) {
      if (!(k instanceof TokenKey) || ((TokenKey) k).token() != token
          || !"RSA".equals(k.getAlgorithm())) {
        throw new InvalidKeyException(
            "this provider decrypts only with RSA private keys of its own token");
      }
      key = (TokenKey) k;
    } else if (opmode == Cipher.ENCRYPT_MODE || opmode == Cipher.WRAP_MODE) {
      if (!(k instanceof PublicKey)) {
        throw new InvalidKeyException("RSA encrypts with public keys only");
      }
      platform = platformCipher(transformation());
      platform.init(opmode, k, oaep, random == null ? new SecureRandom() : random);
    } else {
      throw new InvalidKeyException("unknown cipher mode " + opmode);
    }
  }

  @Override
  protected void engineInit(int opmode, Key k, AlgorithmParameters params, SecureRandom random)
      throws InvalidKeyException, InvalidAlgorithmParameterException {
    AlgorithmParameterSpec spec = null;
    if (params != null) {
      try {
        spec = params.getParameterSpec(OAEPParameterSpec.class);
      } catch (InvalidParameterSpecException e) {
        throw new InvalidAlgorithmParameterException("not OAEP parameters: " + params, e);
      }
    }
    engineInit(opmode, k, spec, random);
  }

  private String transformation() {
    switch (padding) {
      case NONE:
        return "RSA/ECB/NoPadding";
      case OAEP:
        return "RSA/ECB/OAEPPadding";
      default:
        return "RSA/ECB/PKCS1Padding";
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
    if (padding == Padding.NONE) {
      throw new InvalidKeyException("RSA unwraps with PKCS1Padding or OAEP, not NoPadding");
    }
    boolean inTheClear = Boolean.getBoolean(UNWRAP_EXTRACTABLE);
    try {
      if (padding == Padding.PKCS1 && !inTheClear) {
        return TokenKeyWrapCipher.unwrapOnToken(
            token, Cryptoki.CKM_RSA_PKCS, key.object(), wrapped, algorithm);
      }
      byte[] value = decrypt(wrapped);
      try {
        return inTheClear ? new SecretKeySpec(value, algorithm)
                          : TokenKeyWrapCipher.store(token, value, algorithm);
      } finally {
        Arrays.fill(value, (byte) 0);
      }
    } catch (IllegalBlockSizeException | BadPaddingException e) {
      throw new InvalidKeyException("the wrapped key does not decrypt", e);
    }
  }

  private byte[] decrypt(byte[] data) throws IllegalBlockSizeException, BadPaddingException {
    int k = modulusBytes(key);
    if (data.length > k) {
      throw new IllegalBlockSizeException(
          "RSA decrypts at most " + k + " bytes, not " + data.length);
    }
    int mechanism = padding == Padding.PKCS1 ? Cryptoki.CKM_RSA_PKCS : Cryptoki.CKM_RSA_X_509;
    // Raw RSA takes a number as long as the modulus: a shorter one is the same number.
    byte[] cryptogram = mechanism == Cryptoki.CKM_RSA_X_509 ? pad(data, k) : data;
    byte[] out;
    try {
      ObjectRef ref = key.object();
      out = token.pool.read(session -> session.decrypt(mechanism, ref.in(session), cryptogram, k));
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
    if (mechanism == Cryptoki.CKM_RSA_PKCS) return out;
    byte[] block = pad(out, k);
    if (padding == Padding.NONE) return block;
    try {
      return Oaep.of(oaep).decode(block);
    } catch (InvalidAlgorithmParameterException e) {
      throw new ProviderException(e); // checked at init
    } finally {
      Arrays.fill(block, (byte) 0);
    }
  }

  private static byte[] pad(byte[] value, int length) throws BadPaddingException {
    try {
      return Encodings.leftPad(value, length);
    } catch (SignatureException e) {
      throw new BadPaddingException("the token's result is longer than the modulus");
    }
  }

  private static int modulusBytes(TokenKey key) {
    return (((RSAKey) key).getModulus().bitLength() + 7) / 8;
  }

  /** `transformation` of another provider, for public-key work. */
  private static Cipher platformCipher(String transformation) throws InvalidKeyException {
    for (Provider provider : QuillonProvider.others("Cipher.RSA")) {
      try {
        return Cipher.getInstance(transformation, provider);
      } catch (NoSuchAlgorithmException | NoSuchPaddingException e) {
        // Try the next one.
      }
    }
    throw new InvalidKeyException("no other provider encrypts with " + transformation);
  }
}
