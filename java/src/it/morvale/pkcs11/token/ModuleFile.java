package it.morvale.pkcs11.token;

import java.io.IOException;
import java.io.InputStream;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.channels.FileChannel;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardOpenOption;
import java.util.Locale;

/**
 * A module file as the platform's loader will see it. The bridge reports every failed load as
 * "Internal error"; this class looks at the file itself to say why: that it is missing, not a
 * regular file, not a shared library, or a library for another machine.
 */
final class ModuleFile {
  private static final boolean WINDOWS =
      System.getProperty("os.name", "").toLowerCase(Locale.ROOT).startsWith("windows");

  private ModuleFile() {}

  /**
   * The absolute form of `path`: the loader searches its own folders for a bare name, so a
   * relative path would not name the file that the caller sees.
   *
   * @throws ModuleLoadException for an empty path
   */
  static String absolute(String path) throws ModuleLoadException {
    if (path == null || path.isEmpty())
      throw new ModuleLoadException("", "the module path is empty");
    return Path.of(path).toAbsolutePath().normalize().toString();
  }

  /**
   * Why the loader cannot use the file at `path`, or null when it looks like a shared library for
   * this machine (the loader may still refuse it, for a missing dependency say).
   */
  static String problem(String path) {
    Path file = Path.of(path);
    if (!Files.exists(file)) return "no such file";
    if (!Files.isRegularFile(file)) return "not a regular file";
    if (!Files.isReadable(file)) return "not readable by this user";
    try {
      return WINDOWS ? portableExecutableProblem(file) : elfProblem(file);
    } catch (IOException e) {
      return "cannot be read: " + e.getMessage();
    }
  }

  private static String elfProblem(Path file) throws IOException {
    byte[] head = new byte[64];
    int n;
    try (InputStream in = Files.newInputStream(file)) {
      n = in.readNBytes(head, 0, head.length);
    }
    if (n < 20 || head[0] != 0x7F || head[1] != 'E' || head[2] != 'L' || head[3] != 'F') {
      return "not a shared library (no ELF header)";
    }
    ByteOrder order = head[5] == 2 ? ByteOrder.BIG_ENDIAN : ByteOrder.LITTLE_ENDIAN;
    ByteBuffer header = ByteBuffer.wrap(head, 0, n).order(order);
    int machine = header.getShort(18) & 0xFFFF;
    boolean wide = head[4] == 2;
    if (!wide || machine != 62 || order != ByteOrder.LITTLE_ENDIAN) {
      return String.format(Locale.ROOT,
          "a library for another machine or word size (ELF %d-bit, %s-endian, machine %d;"
              + " this bridge needs 64-bit x86-64)",
          wide ? 64 : 32, order == ByteOrder.LITTLE_ENDIAN ? "little" : "big", machine);
    }
    int type = header.getShort(16) & 0xFFFF;
    if (type == 2) return "an executable, not a shared library";
    if (type != 3) return "not a shared library (ELF type " + type + ")";
    if (n == head.length && isPositionIndependentExecutable(file, header)) {
      return "an executable, not a shared library";
    }
    return null;
  }

  /** Whether the dynamic section carries DF_1_PIE: an executable that the loader refuses. */
  private static boolean isPositionIndependentExecutable(Path file, ByteBuffer header)
      throws IOException {
    long programHeaders = header.getLong(32);
    int entrySize = header.getShort(54) & 0xFFFF;
    int count = header.getShort(56) & 0xFFFF;
    try (FileChannel channel = FileChannel.open(file, StandardOpenOption.READ)) {
      ByteBuffer entry = ByteBuffer.allocate(56).order(ByteOrder.LITTLE_ENDIAN);
      for (int i = 0; i < count && entrySize >= 56; ++i) {
        entry.clear();
        if (channel.read(entry, programHeaders + (long) i * entrySize) < 56) return false;
        if (entry.getInt(0) != 2) continue; // PT_DYNAMIC
        long offset = entry.getLong(8);
        long size = Math.min(entry.getLong(32), 1 << 16);
        ByteBuffer dynamic = ByteBuffer.allocate((int) size).order(ByteOrder.LITTLE_ENDIAN);
        channel.read(dynamic, offset);
        for (int at = 0; at + 16 <= dynamic.position(); at += 16) {
          long tag = dynamic.getLong(at);
          if (tag == 0) break;
          if (tag == 0x6FFFFFFBL) return (dynamic.getLong(at + 8) & 0x08000000L) != 0;
        }
        return false;
      }
    }
    return false;
  }

  private static String portableExecutableProblem(Path file) throws IOException {
    try (FileChannel channel = FileChannel.open(file, StandardOpenOption.READ)) {
      ByteBuffer dos = ByteBuffer.allocate(64).order(ByteOrder.LITTLE_ENDIAN);
      if (channel.read(dos, 0) < 64 || dos.get(0) != 'M' || dos.get(1) != 'Z') {
        return "not a shared library (no PE header)";
      }
      ByteBuffer pe = ByteBuffer.allocate(24).order(ByteOrder.LITTLE_ENDIAN);
      if (channel.read(pe, dos.getInt(60) & 0xFFFFFFFFL) < 24 || pe.getInt(0) != 0x00004550) {
        return "not a shared library (no PE header)";
      }
      int machine = pe.getShort(4) & 0xFFFF;
      if (machine != 0x8664) {
        return String.format(Locale.ROOT,
            "a library for another machine or word size (PE machine 0x%04X; this bridge needs"
                + " x64)",
            machine);
      }
      if ((pe.getShort(22) & 0x2000) == 0) return "an executable, not a DLL";
    }
    return null;
  }
}
