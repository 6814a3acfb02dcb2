package it.morvale.pkcs11.provider;

import java.security.spec.AlgorithmParameterSpec;

/**
 * Asks this provider's KeyGenerator for a secret key under a label, of a size, and whether it may
 * be wrapped: {@code new TokenSecretKeyGenParameterSpec("kek", 256, false)}. The key is
 * sensitive either way: its value is never read in the clear.
 */
public final class TokenSecretKeyGenParameterSpec implements AlgorithmParameterSpec {
  private final String label;
  private final int bits;
  private final boolean extractable;

  /**
   * @param label the label (CKA_LABEL), or null for none
   * @param bits the size in bits; 0 for the generator's default
   * @param extractable whether the key can be wrapped by another key (CKA_EXTRACTABLE)
   */
  public TokenSecretKeyGenParameterSpec(String label, int bits, boolean extractable) {
    if (bits < 0) throw new IllegalArgumentException("a negative key size");
    this.label = label;
    this.bits = bits;
    this.extractable = extractable;
  }

  public String getLabel() { return label; }

  public int getBits() { return bits; }

  public boolean isExtractable() { return extractable; }
}
