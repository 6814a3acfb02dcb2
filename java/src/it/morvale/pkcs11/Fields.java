package it.morvale.pkcs11;

/** How the value classes read the fields that the bridge hands them. */
final class Fields {
  private Fields() {}

  /** A blank-padded text field without its trailing blanks; null stays null. */
  static String trimPadding(String s) {
    if (s == null) {
      return null;
    }
    int end = s.length();
    while (end > 0 && s.charAt(end - 1) == ' ') {
      end--;
    }
    return s.substring(0, end);
  }

  /** The major number of a version given as major * 256 + minor. */
  static int major(int version) { return (version >> 8) & 0xFF; }

  /** The minor number of a version given as major * 256 + minor. */
  static int minor(int version) { return version & 0xFF; }
}
