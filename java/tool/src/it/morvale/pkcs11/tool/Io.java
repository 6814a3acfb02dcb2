package it.morvale.pkcs11.tool;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.file.AccessDeniedException;
import java.nio.file.Files;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.util.HexFormat;

/** Input and output files of the commands: standard input and output when none is named. */
final class Io {
  private Io() {}

  /** All of `file`, or of standard input when `file` is null or "-". */
  static byte[] read(Path file) {
    try {
      if (isStandard(file)) return System.in.readAllBytes();
      return Files.readAllBytes(file);
    } catch (IOException e) {
      throw Failure.usage("cannot read " + name(file) + ": " + why(e));
    }
  }

  /** What takes the parts of a file as they are read. */
  interface Part {
    void take(byte[] buffer, int length) throws Exception;
  }

  /**
   * Hands all of `file` (standard input when null or "-") to `part`, a buffer at a time, so that
   * its size does not matter; the number of bytes read.
   */
  static long feed(Path file, Part part) throws Exception {
    InputStream in;
    try {
      in = isStandard(file) ? System.in : Files.newInputStream(file);
    } catch (IOException e) {
      throw Failure.usage("cannot read " + name(file) + ": " + why(e));
    }
    long total = 0;
    try {
      byte[] buffer = new byte[1 << 16];
      for (int n; (n = read(file, in, buffer)) > 0; total += n) part.take(buffer, n);
    } finally {
      if (!isStandard(file)) in.close();
    }
    return total;
  }

  private static int read(Path file, InputStream in, byte[] buffer) {
    try {
      return in.read(buffer);
    } catch (IOException e) {
      throw Failure.usage("cannot read " + name(file) + ": " + why(e));
    }
  }

  /** Writes `data` to `file`, or to standard output when `file` is null or "-". */
  static void write(Path file, byte[] data) {
    try {
      if (isStandard(file)) {
        OutputStream out = System.out;
        out.write(data);
        out.flush();
      } else {
        Files.write(file, data);
      }
    } catch (IOException e) {
      throw Failure.usage("cannot write " + name(file) + ": " + why(e));
    }
  }

  /** Whether the data went to a named file, so that a line about it may be printed. */
  static boolean isStandard(Path file) { return file == null || file.toString().equals("-"); }

  private static String name(Path file) {
    return isStandard(file) ? "standard input/output" : file.toString();
  }

  /** The reason of a failed file operation, in a few words. */
  static String why(IOException e) {
    if (e instanceof NoSuchFileException) return "no such file";
    if (e instanceof AccessDeniedException) return "permission denied";
    return e.getMessage();
  }

  static String hex(byte[] bytes) { return HexFormat.of().formatHex(bytes); }

  /** Hex digits, optionally with a 0x prefix and colons between bytes, as bytes. */
  static byte[] unhex(String option, String text) {
    String digits = text.replace(":", "");
    if (digits.startsWith("0x") || digits.startsWith("0X")) digits = digits.substring(2);
    try {
      return HexFormat.of().parseHex(digits);
    } catch (IllegalArgumentException e) {
      throw Failure.usage(option + " wants hex bytes such as 01 or a1:b2, not \"" + text + "\"");
    }
  }
}
