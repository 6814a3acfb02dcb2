package it.morvale.pkcs11.nat;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.api.AfterAll;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/**
 * What stands at the trace log's path cannot turn tracing against its user. Each case runs a
 * fresh JVM with PKCS11_ZOR_DEBUG set, since tracing, once switched on, stays on.
 */
class TraceLogFileTest {
  static final Path LOG = TestBridge.TRACE_LOG;
  static Path saved;

  /** The child JVM: loads a module, then reports the trace flag on its standard output. */
  public static void main(String[] args) throws Exception {
    TestBridge.load();
    new NativePKCS11().loadPKCS11Library(TestBridge.qrec());
    System.out.println("child output after loading, debug=" + BridgeHooks.debugFlag());
    System.out.flush();
  }

  @BeforeAll
  static void keepTheLog() throws IOException {
    saved = TestBridge.work().resolve("jpkcs110.log.saved");
    if (Files.exists(LOG, LinkOption.NOFOLLOW_LINKS)) {
      Files.move(LOG, saved, StandardCopyOption.REPLACE_EXISTING);
    }
  }

  @AfterAll
  static void restoreTheLog() throws IOException {
    removeLog();
    if (Files.exists(saved)) Files.move(saved, LOG);
  }

  @BeforeEach
  void clear() throws IOException {
    removeLog();
  }

  static void removeLog() throws IOException {
    if (Files.isDirectory(LOG, LinkOption.NOFOLLOW_LINKS)) {
      Files.delete(LOG);
    } else {
      Files.deleteIfExists(LOG);
    }
  }

  /** Runs the child JVM with tracing asked for; its standard output and error, together. */
  static String child() throws Exception {
    List<String> command = new ArrayList<>(
        List.of(Path.of(System.getProperty("java.home"), "bin", "java").toString(), "-Xcheck:jni"));
    for (String property : List.of("quillon.library", "quillon.hooks", "quillon.qrec")) {
      command.add("-D" + property + "=" + TestBridge.property(property));
    }
    command.add("-cp");
    command.add(location(TraceLogFileTest.class) + ":" + location(NativePKCS11.class));
    command.add(TraceLogFileTest.class.getName());
    ProcessBuilder builder = new ProcessBuilder(command).redirectErrorStream(true);
    builder.environment().put("PKCS11_ZOR_DEBUG", "");
    builder.environment().put("QREC_CONFIG", TestBridge.work().resolve("none.conf").toString());
    Process process = builder.start();
    String output = new String(process.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
    assertEquals(0, process.waitFor(), output);
    assertFalse(output.contains("WARNING"), output);
    return output;
  }

  static String location(Class<?> c) throws Exception {
    return Path.of(c.getProtectionDomain().getCodeSource().getLocation().toURI()).toString();
  }

  @Test
  void aNewLogIsTheOwnersAloneAndTakesStandardOutput() throws Exception {
    String output = child();
    assertEquals("getenv done \nredirecting stdout to /var/tmp/jpkcs110.log ", output);
    assertEquals("rw-------", PosixFilePermissions.toString(Files.getPosixFilePermissions(LOG)));
    String log = Files.readString(LOG);
    assertTrue(log.contains("setting debug to 1\nJNI: start loadPKCS11Library"), log);
    assertTrue(log.contains("child output after loading, debug=1\n"), log);
    // A second run appends.
    child();
    assertEquals(2, log(Files.readString(LOG), "setting debug to 1"));
  }

  @Test
  void aSymbolicLinkAtThePathIsNotFollowed() throws Exception {
    Path target = TestBridge.work().resolve("not-the-log.txt");
    byte[] before = "a file the user never meant to trace into\n".getBytes(StandardCharsets.UTF_8);
    Files.write(target, before);
    Files.createSymbolicLink(LOG, target);
    String output = child();
    assertArrayEquals(before, Files.readAllBytes(target));
    assertTrue(output.endsWith("child output after loading, debug=0\n"), output);
  }

  @Test
  void aLogThatCannotBeOpenedLeavesStandardOutputAlone() throws Exception {
    Files.createDirectory(LOG);
    String output = child();
    assertEquals("getenv done \nredirecting stdout to /var/tmp/jpkcs110.log "
            + "child output after loading, debug=0\n",
        output);
  }

  static int log(String text, String line) {
    return text.split(java.util.regex.Pattern.quote(line), -1).length - 1;
  }
}
