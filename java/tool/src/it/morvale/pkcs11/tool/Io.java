package it.morvale.pkcs11.tool;

import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.FilterOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.AccessDeniedException;
import java.nio.file.FileSystemException;
import java.nio.file.Files;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.util.HexFormat;
import java.util.List;

/** Input and output files of the commands: standard input and output when none is named. */
final class Io {
  private Io() {}

  /** The most that a command reads whole into memory when nothing smaller bounds it. */
  static final int WHOLE_AT_MOST = 256 << 20;

  /**
   * All of `file`, or of standard input when `file` is null or "-", refused in one line when it
   * holds more than `limit` bytes: `what` ("RSA-PKCS with this key encrypts") says who cannot
   * take more. Only `limit` + 1 bytes are ever read, so a huge input costs no memory.
   */
  static byte[] read(Path file, int limit, String what) {
    InputStream in = open(file);
    try {
      byte[] data = in.readNBytes(limit + 1);
      if (data.length > limit) {
        throw Failure.usage(what + " at most " + limit + " bytes; " + name(file) + " holds more");
      }
      return data;
    } catch (IOException e) {
      throw unreadable(file, e);
    } finally {
      if (!isStandard(file)) closeQuietly(in);
    }
  }

  /** All of `file` (standard input for null or "-"), at most {@link #WHOLE_AT_MOST} bytes. */
  static byte[] read(Path file) { return read(file, WHOLE_AT_MOST, "this command reads"); }

  private static InputStream open(Path file) {
    try {
      return isStandard(file) ? System.in : Files.newInputStream(file);
    } catch (IOException e) {
      throw unreadable(file, e);
    }
  }

  private static Failure unreadable(Path file, IOException e) {
    return Failure.usage("cannot read " + name(file) + ": " + why(e));
  }

  private static void closeQuietly(InputStream in) {
    try {
      in.close();
    } catch (IOException e) {
      // Read to the end already.
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
    InputStream in = open(file);
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
      throw unreadable(file, e);
    }
  }

  /**
   * Writes `data` to `file`, or to standard output when `file` is null or "-". A file that cannot
   * be made (no such folder, no permission) is a usage failure; one that cannot take the data (a
   * full disk) an output failure.
   */
  static void write(Path file, byte[] data) {
    if (isStandard(file)) {
      PrintStream out = System.out;
      out.write(data, 0, data.length);
      out.flush();
      checkStandardOutput();
      return;
    }
    try {
      Files.write(file, data);
    } catch (NoSuchFileException | AccessDeniedException e) {
      throw Failure.usage("cannot write " + file + ": " + why(e));
    } catch (IOException e) {
      throw Failure.output("cannot write " + file + ": " + why(e), e);
    }
  }

  /** Standard output as installed by {@link #useUtf8}: it remembers why a write failed. */
  private static final class Remembering extends FilterOutputStream {
    volatile IOException failure;

    Remembering(OutputStream out) { super(out); }

    @Override
    public void write(byte[] b, int offset, int length) throws IOException {
      try {
        out.write(b, offset, length);
      } catch (IOException e) {
        if (failure == null) failure = e;
        throw e;
      }
    }

    @Override
    public void write(int b) throws IOException {
      write(new byte[] {(byte) b}, 0, 1);
    }

    @Override
    public void flush() throws IOException {
      try {
        out.flush();
      } catch (IOException e) {
        if (failure == null) failure = e;
        throw e;
      }
    }
  }

  private static Remembering standardOutput;

  /**
   * Makes standard output and standard error write UTF-8, whatever the locale says (under the C
   * locale Java would write every label's non-ASCII character as "?"), with standard output
   * remembering why a write failed, for {@link #checkStandardOutput}.
   */
  static void useUtf8() {
    standardOutput = new Remembering(new FileOutputStream(FileDescriptor.out));
    System.setOut(new PrintStream(standardOutput, false, StandardCharsets.UTF_8));
    System.setErr(
        new PrintStream(new FileOutputStream(FileDescriptor.err), true, StandardCharsets.UTF_8));
  }

  /** Why standard output could not be written, or null when it could (so far). */
  static IOException standardOutputFailure() {
    return standardOutput == null ? null : standardOutput.failure;
  }

  /** Whether the failure is a reader that closed the pipe: a stop asked for, not an error. */
  static boolean isBrokenPipe(IOException e) {
    return e != null && e.getMessage() != null && e.getMessage().contains("Broken pipe");
  }

  /** Throws the failure of a write to standard output, if one failed. */
  static void checkStandardOutput() {
    System.out.flush();
    IOException failure = standardOutputFailure();
    if (failure == null) return;
    if (isBrokenPipe(failure)) {
      throw Failure.brokenPipe(failure);
    }
    throw Failure.output("cannot write standard output: " + why(failure), failure);
  }

  /**
   * The command's arguments as UTF-8. Java decodes them by the locale's character set, which
   * under the C or POSIX locale turns every non-ASCII byte into "?"; on Linux the process's own
   * command line gives the bytes back, and its last arguments are the command's.
   */
  static String[] utf8Arguments(String[] args) {
    String encoding = System.getProperty("sun.jnu.encoding", "UTF-8");
    if (encoding.equalsIgnoreCase("UTF-8") || encoding.equalsIgnoreCase("UTF8")) return args;
    byte[] line;
    try {
      line = Files.readAllBytes(Path.of("/proc/self/cmdline"));
    } catch (IOException | UnsupportedOperationException | SecurityException e) {
      return args;
    }
    List<String> all = new java.util.ArrayList<>();
    int start = 0;
    for (int i = 0; i < line.length; ++i) {
      if (line[i] == 0) {
        all.add(new String(line, start, i - start, StandardCharsets.UTF_8));
        start = i + 1;
      }
    }
    if (all.size() < args.length) return args;
    String[] recovered = all.subList(all.size() - args.length, all.size()).toArray(new String[0]);
    // The same arguments, their ASCII bytes alike: otherwise this is not the command line.
    for (int i = 0; i < args.length; ++i) {
      if (!sameAscii(args[i], recovered[i])) return args;
    }
    return recovered;
  }

  private static boolean sameAscii(String decoded, String utf8) {
    String a = decoded.replaceAll("[^\\x20-\\x7e]", "");
    String b = utf8.replaceAll("[^\\x20-\\x7e]", "");
    return a.replace("?", "").equals(b.replace("?", ""));
  }

  /**
   * Whether standard error is a terminal, on which a spinner may be drawn. Java tells only
   * whether the VM has a console (input and output both on a terminal); on Linux the descriptor's
   * link says where standard error itself goes.
   */
  static boolean standardErrorIsTerminal() {
    try {
      String target = Files.readSymbolicLink(Path.of("/proc/self/fd/2")).toString();
      return target.startsWith("/dev/pts/") || target.startsWith("/dev/tty")
          || target.equals("/dev/console");
    } catch (IOException | UnsupportedOperationException | SecurityException e) {
      return System.console() != null;
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
    if (e instanceof FileSystemException && ((FileSystemException) e).getReason() != null) {
      return ((FileSystemException) e).getReason().toLowerCase(java.util.Locale.ROOT);
    }
    String message = e.getMessage();
    return message == null ? e.getClass().getSimpleName()
                           : message.toLowerCase(java.util.Locale.ROOT);
  }

  static String hex(byte[] bytes) { return HexFormat.of().formatHex(bytes); }

  /** Hex digits, optionally with a 0x prefix and colons between bytes, as bytes. */
  static byte[] unhex(String option, String text) {
    String digits = text.replace(":", "");
    if (digits.startsWith("0x") || digits.startsWith("0X")) digits = digits.substring(2);
    if (digits.isEmpty()) {
      throw Failure.usage(option + " wants at least one byte in hex, such as 01; an empty id"
          + " names no object");
    }
    try {
      return HexFormat.of().parseHex(digits);
    } catch (IllegalArgumentException e) {
      throw Failure.usage(option + " wants hex bytes such as 01 or a1:b2, not \"" + text + "\"");
    }
  }
}
