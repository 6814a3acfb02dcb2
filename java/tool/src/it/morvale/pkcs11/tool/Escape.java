package it.morvale.pkcs11.tool;

import java.util.Locale;

/** Texts from a token as a terminal shows them safely. */
final class Escape {
  private Escape() {}

  /**
   * `text` with its control characters escaped, so that a label cannot move the cursor, clear
   * the screen or turn the line around: \n, \t, \r, \x07 for other C0 controls and DEL, a
   * backslash-u escape with four hex digits for C1 controls and Unicode's invisible format and
   * separator characters (the right-to-left override among them); a backslash is doubled so
   * that an escape stays unambiguous.
   */
  static String text(String text) {
    StringBuilder out = new StringBuilder(text.length());
    for (int i = 0; i < text.length(); ++i) {
      char c = text.charAt(i);
      int type = Character.getType(c);
      if (c == '\\') {
        out.append("\\\\");
      } else if (c == '\n') {
        out.append("\\n");
      } else if (c == '\t') {
        out.append("\\t");
      } else if (c == '\r') {
        out.append("\\r");
      } else if (c < 0x20 || c == 0x7F) {
        out.append(String.format(Locale.ROOT, "\\x%02X", (int) c));
      } else if (Character.isISOControl(c) || type == Character.FORMAT
          || type == Character.LINE_SEPARATOR || type == Character.PARAGRAPH_SEPARATOR) {
        out.append(String.format(Locale.ROOT, "\\u%04X", (int) c));
      } else {
        out.append(c);
      }
    }
    return out.toString();
  }
}
