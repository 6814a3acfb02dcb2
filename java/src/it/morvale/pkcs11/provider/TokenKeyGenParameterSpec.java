package it.morvale.pkcs11.provider;

import java.security.spec.AlgorithmParameterSpec;

/**
 * Asks this provider's KeyPairGenerator for a key pair under a label: {@code new
 * TokenKeyGenParameterSpec("signing", new RSAKeyGenParameterSpec(2048, RSAKeyGenParameterSpec.F4))}
 * or {@code new TokenKeyGenParameterSpec("tls", new ECGenParameterSpec("secp256r1"))}. Without a
 * label, the pair is stored unlabelled until {@code KeyStore.setKeyEntry} names it.
 */
public final class TokenKeyGenParameterSpec implements AlgorithmParameterSpec {
  private final String label;
  private final AlgorithmParameterSpec keySpec;

  /**
   * @param label the label (CKA_LABEL) of both keys
   * @param keySpec the size or curve: an {@code RSAKeyGenParameterSpec} or an {@code
   *     ECGenParameterSpec}; null for the generator's default (RSA 2048, EC P-256)
   */
  public TokenKeyGenParameterSpec(String label, AlgorithmParameterSpec keySpec) {
    if (label == null) throw new NullPointerException("label");
    this.label = label;
    this.keySpec = keySpec;
  }

  public String getLabel() { return label; }

  public AlgorithmParameterSpec getKeySpec() { return keySpec; }
}
