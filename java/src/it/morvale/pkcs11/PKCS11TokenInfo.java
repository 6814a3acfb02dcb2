package it.morvale.pkcs11;

import java.util.Objects;

/**
 * Information about a token ({@code CK_TOKEN_INFO}). Counters the token does not report
 * ({@code CK_UNAVAILABLE_INFORMATION}) read as -1.
 *
 * <p>Immutable. Text fields are kept exactly as the module reported them, blank padding included;
 * the {@code ...Trimmed} getters strip the padding.
 */
public final class PKCS11TokenInfo {
  private final String label;
  private final String manufacturerID;
  private final String model;
  private final String serialNumber;
  private final int flags;
  private final int maxSessionCount;
  private final int sessionCount;
  private final int maxRwSessionCount;
  private final int rwSessionCount;
  private final int maxPinLen;
  private final int minPinLen;
  private final int totalPublicMemory;
  private final int freePublicMemory;
  private final int totalPrivateMemory;
  private final int freePrivateMemory;
  private final int hardwareVersion;
  private final int firmwareVersion;
  private final String utcTime;

  /**
   * Creates the value; the native bridge calls this constructor.
   *
   * @param label the token label (32 characters, blank padded)
   * @param manufacturerID the token manufacturer (32 characters, blank padded)
   * @param model the token model (16 characters, blank padded)
   * @param serialNumber the token serial number (16 characters, blank padded)
   * @param flags the token flags ({@code CKF_TOKEN_INITIALIZED} and others)
   * @param maxSessionCount the maximum number of sessions
   * @param sessionCount the number of open sessions
   * @param maxRwSessionCount the maximum number of read/write sessions
   * @param rwSessionCount the number of open read/write sessions
   * @param maxPinLen the maximum PIN length
   * @param minPinLen the minimum PIN length
   * @param totalPublicMemory the total public memory in bytes
   * @param freePublicMemory the free public memory in bytes
   * @param totalPrivateMemory the total private memory in bytes
   * @param freePrivateMemory the free private memory in bytes
   * @param hardwareVersion the hardware version, as major * 256 + minor
   * @param firmwareVersion the firmware version, as major * 256 + minor
   * @param utcTime the token clock as YYYYMMDDhhmmssxx (16 characters)
   */
  public PKCS11TokenInfo(String label, String manufacturerID, String model, String serialNumber,
      int flags, int maxSessionCount, int sessionCount, int maxRwSessionCount, int rwSessionCount,
      int maxPinLen, int minPinLen, int totalPublicMemory, int freePublicMemory,
      int totalPrivateMemory, int freePrivateMemory, int hardwareVersion, int firmwareVersion,
      String utcTime) {
    this.label = label;
    this.manufacturerID = manufacturerID;
    this.model = model;
    this.serialNumber = serialNumber;
    this.flags = flags;
    this.maxSessionCount = maxSessionCount;
    this.sessionCount = sessionCount;
    this.maxRwSessionCount = maxRwSessionCount;
    this.rwSessionCount = rwSessionCount;
    this.maxPinLen = maxPinLen;
    this.minPinLen = minPinLen;
    this.totalPublicMemory = totalPublicMemory;
    this.freePublicMemory = freePublicMemory;
    this.totalPrivateMemory = totalPrivateMemory;
    this.freePrivateMemory = freePrivateMemory;
    this.hardwareVersion = hardwareVersion;
    this.firmwareVersion = firmwareVersion;
    this.utcTime = utcTime;
  }

  /** @return the token label (32 characters, blank padded) */
  public String getLabel() { return label; }

  /**
   * @return the token label (32 characters, blank padded) without trailing blanks, or null when it
   *     is null
   */
  public String getLabelTrimmed() { return Fields.trimPadding(label); }

  /** @return the token manufacturer (32 characters, blank padded) */
  public String getManufacturerID() { return manufacturerID; }

  /**
   * @return the token manufacturer (32 characters, blank padded) without trailing blanks, or null
   *     when it is null
   */
  public String getManufacturerIDTrimmed() { return Fields.trimPadding(manufacturerID); }

  /** @return the token model (16 characters, blank padded) */
  public String getModel() { return model; }

  /**
   * @return the token model (16 characters, blank padded) without trailing blanks, or null when it
   *     is null
   */
  public String getModelTrimmed() { return Fields.trimPadding(model); }

  /** @return the token serial number (16 characters, blank padded) */
  public String getSerialNumber() { return serialNumber; }

  /**
   * @return the token serial number (16 characters, blank padded) without trailing blanks, or null
   *     when it is null
   */
  public String getSerialNumberTrimmed() { return Fields.trimPadding(serialNumber); }

  /** @return the token flags ({@code CKF_TOKEN_INITIALIZED} and others) */
  public int getFlags() { return flags; }

  /** @return the maximum number of sessions */
  public int getMaxSessionCount() { return maxSessionCount; }

  /** @return the number of open sessions */
  public int getSessionCount() { return sessionCount; }

  /** @return the maximum number of read/write sessions */
  public int getMaxRwSessionCount() { return maxRwSessionCount; }

  /** @return the number of open read/write sessions */
  public int getRwSessionCount() { return rwSessionCount; }

  /** @return the maximum PIN length */
  public int getMaxPinLen() { return maxPinLen; }

  /** @return the minimum PIN length */
  public int getMinPinLen() { return minPinLen; }

  /** @return the total public memory in bytes */
  public int getTotalPublicMemory() { return totalPublicMemory; }

  /** @return the free public memory in bytes */
  public int getFreePublicMemory() { return freePublicMemory; }

  /** @return the total private memory in bytes */
  public int getTotalPrivateMemory() { return totalPrivateMemory; }

  /** @return the free private memory in bytes */
  public int getFreePrivateMemory() { return freePrivateMemory; }

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

  /** @return the token clock as YYYYMMDDhhmmssxx (16 characters) */
  public String getUtcTime() { return utcTime; }

  /**
   * @return the token clock as YYYYMMDDhhmmssxx (16 characters) without trailing blanks, or null
   *     when it is null
   */
  public String getUtcTimeTrimmed() { return Fields.trimPadding(utcTime); }

  @Override
  public boolean equals(Object o) {
    if (this == o) {
      return true;
    }
    if (!(o instanceof PKCS11TokenInfo)) {
      return false;
    }
    PKCS11TokenInfo other = (PKCS11TokenInfo) o;
    return Objects.equals(label, other.label)
        && Objects.equals(manufacturerID, other.manufacturerID)
        && Objects.equals(model, other.model) && Objects.equals(serialNumber, other.serialNumber)
        && flags == other.flags && maxSessionCount == other.maxSessionCount
        && sessionCount == other.sessionCount && maxRwSessionCount == other.maxRwSessionCount
        && rwSessionCount == other.rwSessionCount && maxPinLen == other.maxPinLen
        && minPinLen == other.minPinLen && totalPublicMemory == other.totalPublicMemory
        && freePublicMemory == other.freePublicMemory
        && totalPrivateMemory == other.totalPrivateMemory
        && freePrivateMemory == other.freePrivateMemory && hardwareVersion == other.hardwareVersion
        && firmwareVersion == other.firmwareVersion && Objects.equals(utcTime, other.utcTime);
  }

  @Override
  public int hashCode() {
    return Objects.hash(label, manufacturerID, model, serialNumber, flags, maxSessionCount,
        sessionCount, maxRwSessionCount, rwSessionCount, maxPinLen, minPinLen, totalPublicMemory,
        freePublicMemory, totalPrivateMemory, freePrivateMemory, hardwareVersion, firmwareVersion,
        utcTime);
  }

  @Override
  public String toString() {
    return "PKCS11TokenInfo["
        + "label='" + label + "'"
        + ", "
        + "manufacturerID='" + manufacturerID + "'"
        + ", "
        + "model='" + model + "'"
        + ", "
        + "serialNumber='" + serialNumber + "'"
        + ", "
        + "flags=0x" + Integer.toHexString(flags) + ", "
        + "maxSessionCount=" + maxSessionCount + ", "
        + "sessionCount=" + sessionCount + ", "
        + "maxRwSessionCount=" + maxRwSessionCount + ", "
        + "rwSessionCount=" + rwSessionCount + ", "
        + "maxPinLen=" + maxPinLen + ", "
        + "minPinLen=" + minPinLen + ", "
        + "totalPublicMemory=" + totalPublicMemory + ", "
        + "freePublicMemory=" + freePublicMemory + ", "
        + "totalPrivateMemory=" + totalPrivateMemory + ", "
        + "freePrivateMemory=" + freePrivateMemory + ", "
        + "hardwareVersion=" + getHardwareVersionMajor() + "." + getHardwareVersionMinor() + ", "
        + "firmwareVersion=" + getFirmwareVersionMajor() + "." + getFirmwareVersionMinor() + ", "
        + "utcTime='" + utcTime + "'"
        + "]";
  }
}
