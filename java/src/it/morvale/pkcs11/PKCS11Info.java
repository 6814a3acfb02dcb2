package it.morvale.pkcs11;

import java.util.Objects;

/**
 * Information about a Cryptoki module ({@code CK_INFO}).
 *
 * <p>Immutable. Text fields are kept exactly as the module reported them, blank padding included;
 * the {@code ...Trimmed} getters strip the padding.
 */
public final class PKCS11Info {
  private final int cryptokiVersion;
  private final String manufacturerID;
  private final int flags;
  private final String libraryDescription;
  private final int libraryVersion;

  /**
   * Creates the value; the native bridge calls this constructor.
   *
   * @param cryptokiVersion the Cryptoki interface version, as major * 256 + minor
   * @param manufacturerID the module manufacturer (32 characters, blank padded)
   * @param flags the module flags (none are defined)
   * @param libraryDescription the library description (32 characters, blank padded)
   * @param libraryVersion the library version, as major * 256 + minor
   */
  public PKCS11Info(int cryptokiVersion, String manufacturerID, int flags,
      String libraryDescription, int libraryVersion) {
    this.cryptokiVersion = cryptokiVersion;
    this.manufacturerID = manufacturerID;
    this.flags = flags;
    this.libraryDescription = libraryDescription;
    this.libraryVersion = libraryVersion;
  }

  /** @return the Cryptoki interface version, as major * 256 + minor */
  public int getCryptokiVersion() { return cryptokiVersion; }

  /** @return the major number of the Cryptoki interface version */
  public int getCryptokiVersionMajor() { return Fields.major(cryptokiVersion); }

  /** @return the minor number of the Cryptoki interface version */
  public int getCryptokiVersionMinor() { return Fields.minor(cryptokiVersion); }

  /** @return the module manufacturer (32 characters, blank padded) */
  public String getManufacturerID() { return manufacturerID; }

  /**
   * @return the module manufacturer (32 characters, blank padded) without trailing blanks, or null
   *     when it is null
   */
  public String getManufacturerIDTrimmed() { return Fields.trimPadding(manufacturerID); }

  /** @return the module flags (none are defined) */
  public int getFlags() { return flags; }

  /** @return the library description (32 characters, blank padded) */
  public String getLibraryDescription() { return libraryDescription; }

  /**
   * @return the library description (32 characters, blank padded) without trailing blanks, or null
   *     when it is null
   */
  public String getLibraryDescriptionTrimmed() { return Fields.trimPadding(libraryDescription); }

  /** @return the library version, as major * 256 + minor */
  public int getLibraryVersion() { return libraryVersion; }

  /** @return the major number of the library version */
  public int getLibraryVersionMajor() { return Fields.major(libraryVersion); }

  /** @return the minor number of the library version */
  public int getLibraryVersionMinor() { return Fields.minor(libraryVersion); }

  @Override
  public boolean equals(Object o) {
    if (this == o) {
      return true;
    }
    if (!(o instanceof PKCS11Info)) {
      return false;
    }
    PKCS11Info other = (PKCS11Info) o;
    return cryptokiVersion == other.cryptokiVersion
        && Objects.equals(manufacturerID, other.manufacturerID) && flags == other.flags
        && Objects.equals(libraryDescription, other.libraryDescription)
        && libraryVersion == other.libraryVersion;
  }

  @Override
  public int hashCode() {
    return Objects.hash(cryptokiVersion, manufacturerID, flags, libraryDescription, libraryVersion);
  }

  @Override
  public String toString() {
    return "PKCS11Info["
        + "cryptokiVersion=" + getCryptokiVersionMajor() + "." + getCryptokiVersionMinor() + ", "
        + "manufacturerID='" + manufacturerID + "'"
        + ", "
        + "flags=0x" + Integer.toHexString(flags) + ", "
        + "libraryDescription='" + libraryDescription + "'"
        + ", "
        + "libraryVersion=" + getLibraryVersionMajor() + "." + getLibraryVersionMinor() + "]";
  }
}
