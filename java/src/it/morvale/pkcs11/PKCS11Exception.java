package it.morvale.pkcs11;

/**
 * A failure reported by the native bridge: either a Cryptoki return code ({@code CK_RV}) of a
 * module call, or a message of the bridge's own (for example "Not supported").
 *
 * <p>The message of a code-carrying exception names the code where PKCS#11 defines a name, for
 * example "CKR_PIN_INCORRECT (0x000000A0)"; an unnamed standard code reads "0x00000123"; a code of
 * the vendor-defined range reads "vendor-defined code 0x80000001".
 */
public class PKCS11Exception extends Exception {
  private static final long serialVersionUID = 1L;

  /** The return code; 0 when the exception carries only a message. */
  private final int code;

  /** Whether the exception was built with a code. */
  private final boolean hasCode;

  /** Whether the code belongs to the module's vendor-defined range. */
  private final boolean vendorDefined;

  /**
   * Creates an exception with a message of the bridge's own and no code.
   *
   * @param message the message, returned unchanged by {@link #getMessage()}
   */
  public PKCS11Exception(String message) {
    super(message);
    this.code = 0;
    this.hasCode = false;
    this.vendorDefined = false;
  }

  /**
   * Creates an exception for a Cryptoki return code.
   *
   * @param code the low 32 bits of the {@code CK_RV}
   */
  public PKCS11Exception(int code) { this(code, false); }

  /**
   * Creates an exception for a return code and says whether the code is vendor-defined. A code
   * whose top bit is set counts as vendor-defined whatever the flag says.
   *
   * @param code the low 32 bits of the {@code CK_RV}
   * @param vendorDefined true when the module reported a vendor-defined code
   */
  public PKCS11Exception(int code, boolean vendorDefined) {
    super(describe(code, vendorDefined || ReturnCodes.isVendorDefined(code)));
    this.code = code;
    this.hasCode = true;
    this.vendorDefined = vendorDefined || ReturnCodes.isVendorDefined(code);
  }

  private static String describe(int code, boolean vendorDefined) {
    String hex = String.format("0x%08X", code);
    if (vendorDefined) {
      return "vendor-defined code " + hex;
    }
    String name = ReturnCodes.nameOf(code);
    return name == null ? hex : name + " (" + hex + ")";
  }

  /** @return the return code, or 0 when the exception carries only a message */
  public int getCode() { return code; }

  /** @return true when the exception was built from a return code */
  public boolean hasCode() { return hasCode; }

  /** @return true when the code belongs to the vendor-defined range */
  public boolean isVendorDefined() { return vendorDefined; }

  /**
   * @return the {@code CKR_} name of the code, or null when the exception has no code, the code
   *     has no name, or the code is vendor-defined (only 0x80000000 itself is named)
   */
  public String getCodeName() {
    if (!hasCode || (vendorDefined && code != ReturnCodes.VENDOR_DEFINED)) {
      // A vendor-defined code means whatever the module says; standard names do not apply.
      return null;
    }
    return ReturnCodes.nameOf(code);
  }
}
