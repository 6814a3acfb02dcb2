package it.morvale.pkcs11;

import java.util.Objects;

/**
 * Information about a slot ({@code CK_SLOT_INFO}).
 *
 * <p>Immutable. Text fields are kept exactly as the module reported them, blank padding included;
 * the {@code ...Trimmed} getters strip the padding.
 */
public final class PKCS11SlotInfo {
  private final String slotDescription;
  private final String manufacturerID;
  private final int flags;
  private final int hardwareVersion;
  private final int firmwareVersion;

  /**
   * Creates the value; the native bridge calls this constructor.
   *
   * @param slotDescription the slot description (64 characters, blank padded)
   * @param manufacturerID the slot manufacturer (32 characters, blank padded)
   * @param flags the slot flags ({@code CKF_TOKEN_PRESENT} and others)
   * @param hardwareVersion the hardware version, as major * 256 + minor
   * @param firmwareVersion the firmware version, as major * 256 + minor
   */
  public PKCS11SlotInfo(String slotDescription, String manufacturerID, int flags,
      int hardwareVersion, int firmwareVersion) {
    this.slotDescription = slotDescription;
    this.manufacturerID = manufacturerID;
    this.flags = flags;
    this.hardwareVersion = hardwareVersion;
    this.firmwareVersion = firmwareVersion;
  }

  /** @return the slot description (64 characters, blank padded) */
  public String getSlotDescription() { return slotDescription; }

  /**
   * @return the slot description (64 characters, blank padded) without trailing blanks, or null
   *     when it is null
   */
  public String getSlotDescriptionTrimmed() { return Fields.trimPadding(slotDescription); }

  /** @return the slot manufacturer (32 characters, blank padded) */
  public String getManufacturerID() { return manufacturerID; }

  /**
   * @return the slot manufacturer (32 characters, blank padded) without trailing blanks, or null
   *     when it is null
   */
  public String getManufacturerIDTrimmed() { return Fields.trimPadding(manufacturerID); }

  /** @return the slot flags ({@code CKF_TOKEN_PRESENT} and others) */
  public int getFlags() { return flags; }

  /** @return the hardware version, as major * 256 + minor */
  public int getHardwareVersion() { return hardwareVersion; }

  /** @return the major number of the hardware version */
  public int getHardwareVersionMajor() { return Fields.major(hardwareVersion); }

  /** @return the minor number of the hardware version */
  public int getHardwareVersionMinor() { return Fields.minor(hardwareVersion); }

  /** @return the firmware version, as major * 256 + minor */
  public int getFirmwareVersion() { return firmwareVersion; }

  /** @return the major number of the firmware version */
  public int getFirmwareVersionMajor() { return Fields.major(firmwareVersion); }

  /** @return the minor number of the firmware version */
  public int getFirmwareVersionMinor() { return Fields.minor(firmwareVersion); }

  /** @return true when a token is present in the slot ({@code CKF_TOKEN_PRESENT}) */
  public boolean isTokenPresent() { return (flags & 0x1) != 0; }

  @Override
  public boolean equals(Object o) {
    if (this == o) {
      return true;
    }
    if (!(o instanceof PKCS11SlotInfo)) {
      return false;
    }
    PKCS11SlotInfo other = (PKCS11SlotInfo) o;
    return Objects.equals(slotDescription, other.slotDescription)
        && Objects.equals(manufacturerID, other.manufacturerID) && flags == other.flags
        && hardwareVersion == other.hardwareVersion && firmwareVersion == other.firmwareVersion;
  }

  @Override
  public int hashCode() {
    return Objects.hash(slotDescription, manufacturerID, flags, hardwareVersion, firmwareVersion);
  }

  @Override
  public String toString() {
    return "PKCS11SlotInfo["
        + "slotDescription='" + slotDescription + "'"
        + ", "
        + "manufacturerID='" + manufacturerID + "'"
        + ", "
        + "flags=0x" + Integer.toHexString(flags) + ", "
        + "hardwareVersion=" + getHardwareVersionMajor() + "." + getHardwareVersionMinor() + ", "
        + "firmwareVersion=" + getFirmwareVersionMajor() + "." + getFirmwareVersionMinor() + "]";
  }
}
