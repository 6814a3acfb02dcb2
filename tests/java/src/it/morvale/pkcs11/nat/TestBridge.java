package it.morvale.pkcs11.nat;

import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.List;
import java.util.stream.Collectors;

/**
 * What the Java suite shares: the bridge and its hooks loaded once per JVM, the
 * paths of the modules under test (passed as system properties by the build),
 * and the recording module's configuration file and journal.
 */
final class TestBridge {
  static final Path TRACE_LOG = Path.of("/var/tmp/jpkcs110.log");

  static {
    System.load(property("quillon.library"));
    System.load(property("quillon.hooks"));
  }

  private TestBridge() {}

  static void load() {
    // Loading happens in the static initialiser; calling this makes sure it ran.
  }

  static String property(String name) {
    String value = System.getProperty(name);
    if (value == null) throw new IllegalStateException("system property " + name + " is not set");
    return value;
  }

  static String qrec() { return property("quillon.qrec"); }

  static Path work() { return Path.of(property("quillon.work")); }

  static Path journalFile() {
    return work().resolve("journal-" + ProcessHandle.current().pid() + ".txt");
  }

  /** Replaces the recording module's configuration; the module re-reads it on every call. */
  static void configure(String... lines) {
    String config = Arrays.stream(lines).collect(Collectors.joining("\n", "", "\n"))
        + "JOURNAL=" + journalFile() + "\n";
    write(Path.of(System.getenv("QREC_CONFIG")), config.getBytes(StandardCharsets.UTF_8));
    write(journalFile(), new byte[0]);
  }

  /** The journal lines written since the last configure or clearJournal. */
  static List<String> journal() {
    try {
      return Files.readAllLines(journalFile(), StandardCharsets.UTF_8);
    } catch (IOException e) {
      throw new UncheckedIOException(e);
    }
  }

  static void clearJournal() { write(journalFile(), new byte[0]); }

  /** The journal lines of one Cryptoki function. */
  static List<String> journal(String function) {
    return journal()
        .stream()
        .filter(l -> l.startsWith(function + " "))
        .collect(Collectors.toList());
  }

  static String blanks(int n) { return " ".repeat(n); }

  private static void write(Path path, byte[] bytes) {
    try {
      Files.write(path, bytes);
    } catch (IOException e) {
      throw new UncheckedIOException(e);
    }
  }
}
