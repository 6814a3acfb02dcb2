package it.morvale.pkcs11.token;

import it.morvale.pkcs11.PKCS11Exception;

/**
 * A module that could not be loaded or initialised, with the reason in words: "cannot load the
 * module /path: no such file", "...: loaded, but C_Initialize refused it: CKR_ARGUMENTS_BAD
 * (0x00000007)".
 */
public final class ModuleLoadException extends PKCS11Exception {
  private static final long serialVersionUID = 1L;

  private final String path;
  private final String reason;

  ModuleLoadException(String path, String reason) {
    super(path.isEmpty() ? "cannot load a module: " + reason
                         : "cannot load the module " + path + ": " + reason);
    this.path = path;
    this.reason = reason;
  }

  ModuleLoadException(String path, String reason, PKCS11Exception cause) {
    this(path, reason);
    initCause(cause);
  }

  /** The module's path as it was made absolute, or "" when none was given. */
  public String path() { return path; }

  /** Why the module cannot be used, without the path. */
  public String reason() { return reason; }
}
