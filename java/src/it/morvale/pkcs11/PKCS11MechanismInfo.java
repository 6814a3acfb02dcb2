package it.morvale.pkcs11;

import java.util.Objects;

/** Information about a mechanism ({@code CK_MECHANISM_INFO}). Immutable. */
public final class PKCS11MechanismInfo {
  private final int minKeySize;
  private final int maxKeySize;
  private final int flags;

  /**
   * Creates the value; the native bridge calls this constructor.
   *
   * @param minKeySize the minimum key size
   * @param maxKeySize the maximum key size
   * @param flags the mechanism flags ({@code CKF_SIGN}, {@code CKF_ENCRYPT} and others)
   */
  public PKCS11MechanismInfo(int minKeySize, int maxKeySize, int flags) {
    this.minKeySize = minKeySize;
    this.maxKeySize = maxKeySize;
    this.flags = flags;
  }

  /** @return the minimum key size */
  public int getMinKeySize() { return minKeySize; }

  /** @return the maximum key size */
  public int getMaxKeySize() { return maxKeySize; }

  /** @return the mechanism flags ({@code CKF_SIGN}, {@code CKF_ENCRYPT} and others) */
  public int getFlags() { return flags; }

  @Override
  public boolean equals(Object o) {
    if (this == o) {
      return true;
    }
    if (!(o instanceof PKCS11MechanismInfo)) {
      return false;
    }
    PKCS11MechanismInfo other = (PKCS11MechanismInfo) o;
    return minKeySize == other.minKeySize && maxKeySize == other.maxKeySize && flags == other.flags;
  }

  @Override
  public int hashCode() {
    return Objects.hash(minKeySize, maxKeySize, flags);
  }

  @Override
  public String toString() {
    return "PKCS11MechanismInfo["
        + "minKeySize=" + minKeySize + ", "
        + "maxKeySize=" + maxKeySize + ", "
        + "flags=0x" + Integer.toHexString(flags) + "]";
  }
}
