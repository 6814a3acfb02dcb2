package it.morvale.pkcs11.tool;

/** A failure that the tool reports in one line, with the exit status of its kind. */
final class Failure extends RuntimeException {
  private static final long serialVersionUID = 1L;

  final int status;

  private Failure(int status, String message, Throwable cause) {
    super(message, cause);
    this.status = status;
  }

  /** The command line is malformed, or names something that is not there. */
  static Failure usage(String message) { return new Failure(Quillon.USAGE, message, null); }

  /** The token, the module or the bridge could not do what was asked. */
  static Failure token(String message, Throwable cause) {
    return new Failure(Quillon.TOKEN_ERROR, message, cause);
  }

  /** A signature that does not match. */
  static Failure mismatch(String message) { return new Failure(Quillon.MISMATCH, message, null); }
}
