package it.morvale.pkcs11;

import java.util.Objects;

/** Information about a session ({@code CK_SESSION_INFO}). Immutable. */
public final class PKCS11SessionInfo {
  private final int state;
  private final int flags;
  private final int deviceError;

  /**
   * Creates the value; the native bridge calls this constructor.
   *
   * @param state the session state ({@code CKS_} value)
   * @param flags the session flags ({@code CKF_RW_SESSION}, {@code CKF_SERIAL_SESSION})
   * @param deviceError the device-specific error code
   */
  public PKCS11SessionInfo(int state, int flags, int deviceError) {
    this.state = state;
    this.flags = flags;
    this.deviceError = deviceError;
  }

  /** @return the session state ({@code CKS_} value) */
  public int getState() { return state; }

  /** @return the session flags ({@code CKF_RW_SESSION}, {@code CKF_SERIAL_SESSION}) */
  public int getFlags() { return flags; }

  /** @return the device-specific error code */
  public int getDeviceError() { return deviceError; }

  @Override
  public boolean equals(Object o) {
    if (this == o) {
      return true;
    }
    if (!(o instanceof PKCS11SessionInfo)) {
      return false;
    }
    PKCS11SessionInfo other = (PKCS11SessionInfo) o;
    return state == other.state && flags == other.flags && deviceError == other.deviceError;
  }

  @Override
  public int hashCode() {
    return Objects.hash(state, flags, deviceError);
  }

  @Override
  public String toString() {
    return "PKCS11SessionInfo["
        + "state=" + state + ", "
        + "flags=0x" + Integer.toHexString(flags) + ", "
        + "deviceError=" + deviceError + "]";
  }
}
