package it.morvale.pkcs11.tool;

/** A failure that the tool reports in one line, with the exit status of its kind. */
final class Failure extends RuntimeException {
  private static final long serialVersionUID = 1L;

  /** The tool's exit statuses. */
  static final int OK = 0;
  static final int TOKEN_ERROR = 1;
  static final int USAGE = 2;
  static final int MISMATCH = 3;
  static final int OUTPUT = 4;
  /** Standard output's reader went away (`| head -1`): the status of a process ended by SIGPIPE. */
  static final int BROKEN_PIPE = 141;

  final int status;

  private Failure(int status, String message, Throwable cause) {
    super(message, cause);
    this.status = status;
  }

  /** The command line is malformed, or names something that is not there. */
  static Failure usage(String message) { return new Failure(USAGE, message, null); }

  /** The token, the module or the bridge could not do what was asked. */
  static Failure token(String message, Throwable cause) {
    return new Failure(TOKEN_ERROR, message, cause);
  }

  /** What was made could not be written out: a full disk, a closed pipe, a failing device. */
  static Failure output(String message, Throwable cause) {
    return new Failure(OUTPUT, message, cause);
  }

  /** Standard output's reader is gone: the command stops without a word. */
  static Failure brokenPipe(Throwable cause) { return new Failure(BROKEN_PIPE, null, cause); }

  /** A signature that does not match. */
  static Failure mismatch(String message) { return new Failure(MISMATCH, message, null); }
}
