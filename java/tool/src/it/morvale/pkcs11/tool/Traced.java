package it.morvale.pkcs11.tool;

import java.io.BufferedOutputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.PrintStream;
import java.lang.management.ManagementFactory;
import java.lang.ProcessBuilder.Redirect;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;

/**
 * Traced runs. The bridge switches tracing on when PKCS11_ZOR_DEBUG is in the environment as it
 * loads a module, and then moves the process's standard output onto its log. So a traced command
 * runs in a second VM: its environment holds the variable, its own standard output is discarded
 * (the bridge's announcement included), and what the command prints goes to the first VM's
 * standard output, opened anew through /proc. PINs were read by the first VM and reach the second
 * through its environment.
 */
final class Traced {
  static final String LOG = "/var/tmp/jpkcs110.log";
  static final String VARIABLE = "PKCS11_ZOR_DEBUG";
  /** Set in the traced VM: the file that stands for the first VM's standard output. */
  private static final String OUTPUT = "quillon.tool.output";
  /** Set in the traced VM: whether the first VM was on a terminal. */
  private static final String TERMINAL = "quillon.tool.terminal";

  private Traced() {}

  static boolean isChild() { return System.getProperty(OUTPUT) != null; }

  /** Whether this run traces: asked for with --trace, or the variable is set already. */
  static boolean wanted(boolean option) { return option || System.getenv(VARIABLE) != null; }

  /** Whether the person is on a terminal; in the traced VM, whether the first VM was. */
  static boolean terminal() {
    String given = System.getProperty(TERMINAL);
    return given != null ? Boolean.parseBoolean(given) : System.console() != null;
  }

  /** In the traced VM, before anything is printed: standard output becomes the first VM's. */
  static void takeOutput() {
    String path = System.getProperty(OUTPUT);
    if (path == null || path.isEmpty()) return;
    try {
      System.setOut(new PrintStream(new BufferedOutputStream(new FileOutputStream(path, true))));
    } catch (IOException e) {
      System.err.println("quillon: cannot reach standard output through " + path
          + "; the output goes to the trace log");
    }
  }

  /** Runs the same command in a traced VM and returns its exit status. */
  static int run(Pins pins) throws IOException, InterruptedException {
    List<String> command = new ArrayList<>();
    command.add(Path.of(System.getProperty("java.home"), "bin", "java").toString());
    command.addAll(ManagementFactory.getRuntimeMXBean().getInputArguments());
    Path ownOutput = Path.of("/proc/self/fd/1");
    boolean reachable = Files.exists(ownOutput, LinkOption.NOFOLLOW_LINKS);
    command.add("-D" + OUTPUT + "="
        + (reachable ? "/proc/" + ProcessHandle.current().pid() + "/fd/1" : ""));
    command.add("-D" + TERMINAL + "=" + terminal());
    command.add("-cp");
    command.add(System.getProperty("java.class.path"));
    command.add(Quillon.class.getName());
    command.addAll(Arrays.asList(Quillon.arguments));

    ProcessBuilder builder = new ProcessBuilder(command)
                                 .redirectInput(Redirect.INHERIT)
                                 .redirectError(Redirect.INHERIT)
                                 .redirectOutput(reachable ? Redirect.DISCARD : Redirect.INHERIT);
    Map<String, String> environment = builder.environment();
    environment.putIfAbsent(VARIABLE, "");
    pins.all().forEach((kind, pin) -> environment.put(kind.tracedVariable(), pin));
    System.err.println("quillon: " + logState());
    return builder.start().waitFor();
  }

  /** Where the trace goes, or why the bridge will not write it. */
  private static String logState() {
    Path log = Path.of(LOG);
    try {
      if (Files.exists(log, LinkOption.NOFOLLOW_LINKS)
          && (!Files.isRegularFile(log, LinkOption.NOFOLLOW_LINKS)
              || !Files.getOwner(log, LinkOption.NOFOLLOW_LINKS)
                      .getName()
                      .equals(System.getProperty("user.name")))) {
        return "the trace log " + LOG + " is not a file of this user's own: nothing is traced";
      }
    } catch (IOException | UnsupportedOperationException e) {
      // The bridge makes its own check; this one only words the message.
    }
    return "tracing to " + LOG;
  }
}
