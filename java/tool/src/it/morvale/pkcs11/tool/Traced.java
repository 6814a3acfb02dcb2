package it.morvale.pkcs11.tool;

import java.io.BufferedOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.PrintStream;
import java.lang.ProcessBuilder.Redirect;
import java.lang.management.ManagementFactory;
import java.net.StandardProtocolFamily;
import java.net.UnixDomainSocketAddress;
import java.nio.channels.Channels;
import java.nio.channels.ServerSocketChannel;
import java.nio.channels.SocketChannel;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;

/**
 * Traced runs. The bridge switches tracing on when PKCS11_ZOR_DEBUG is in the environment as it
 * loads a module, and then moves the process's standard output onto its log. So a traced command
 * runs in a second VM: its environment holds the variable, its own standard output is discarded
 * (the bridge's announcement included), and what the command prints comes back to the first VM
 * through a local socket in a folder of this user's own, to go out on its standard output. PINs
 * were read by the first VM and reach the second through its environment.
 */
final class Traced {
  static final String LOG = "/var/tmp/jpkcs110.log";
  static final String VARIABLE = "PKCS11_ZOR_DEBUG";
  /** Set in the traced VM: the socket that takes its standard output, or "" for none. */
  private static final String OUTPUT = "quillon.tool.output";
  /** Set in the traced VM: whether the first VM was on a terminal. */
  private static final String TERMINAL = "quillon.tool.terminal";

  /** The main class and the command line as given, for a traced run of the same command. */
  private static String mainClass;
  private static String[] arguments = new String[0];

  private Traced() {}

  static boolean isChild() { return System.getProperty(OUTPUT) != null; }

  /** Whether this run traces: asked for with --trace, or the variable is set already. */
  static boolean wanted(boolean option) { return option || System.getenv(VARIABLE) != null; }

  /** Whether the person is on a terminal; in the traced VM, whether the first VM was. */
  static boolean terminal() {
    String given = System.getProperty(TERMINAL);
    return given != null ? Boolean.parseBoolean(given) : System.console() != null;
  }

  /**
   * Before anything is printed: remembers the command line of `main`, which a traced run gives
   * its own VM; in the traced VM, standard output goes to the first VM.
   */
  static void begin(Class<?> main, String[] args) {
    mainClass = main.getName();
    arguments = args.clone();
    String path = System.getProperty(OUTPUT);
    if (path == null || path.isEmpty()) return;
    try {
      SocketChannel channel = SocketChannel.open(UnixDomainSocketAddress.of(path));
      System.setOut(new PrintStream(new BufferedOutputStream(Channels.newOutputStream(channel))));
    } catch (IOException e) {
      System.err.println("quillon: cannot reach the first VM's standard output: " + e.getMessage());
    }
  }

  /** The command line that a traced run repeats from now on: a shell's line, say. */
  static void command(String[] args) { arguments = args.clone(); }

  /**
   * Runs the same command in a traced VM and returns its exit status; `pins` is the environment
   * through which the PINs read here reach it.
   */
  static int run(Map<String, String> pins) throws IOException, InterruptedException {
    // Only this user may reach the socket (on Windows the temporary folder is the user's own).
    boolean posix = FileSystems.getDefault().supportedFileAttributeViews().contains("posix");
    Path folder = posix
        ? Files.createTempDirectory("quillon-trace-",
            PosixFilePermissions.asFileAttribute(PosixFilePermissions.fromString("rwx------")))
        : Files.createTempDirectory("quillon-trace-");
    Path socket = folder.resolve("output");
    try (ServerSocketChannel server = ServerSocketChannel.open(StandardProtocolFamily.UNIX)) {
      server.bind(UnixDomainSocketAddress.of(socket));
      server.configureBlocking(false);
      Process traced = start(pins, socket.toString());
      relay(server, traced);
      return traced.waitFor();
    } finally {
      Files.deleteIfExists(socket);
      Files.deleteIfExists(folder);
    }
  }

  private static Process start(Map<String, String> pins, String output) throws IOException {
    List<String> command = new ArrayList<>();
    command.add(Path.of(System.getProperty("java.home"), "bin", "java").toString());
    command.addAll(ManagementFactory.getRuntimeMXBean().getInputArguments());
    command.add("-D" + OUTPUT + "=" + output);
    command.add("-D" + TERMINAL + "=" + terminal());
    command.add("-cp");
    command.add(System.getProperty("java.class.path"));
    command.add(mainClass);
    command.addAll(Arrays.asList(arguments));
    ProcessBuilder builder = new ProcessBuilder(command)
                                 .redirectInput(Redirect.INHERIT)
                                 .redirectError(Redirect.INHERIT)
                                 .redirectOutput(Redirect.DISCARD);
    Map<String, String> environment = builder.environment();
    environment.putIfAbsent(VARIABLE, "");
    environment.putAll(pins);
    System.err.println("quillon: " + logState());
    return builder.start();
  }

  /**
   * Copies what the traced VM prints to standard output. It connects as it starts; one that ends
   * without connecting (a VM that did not start) has nothing to copy.
   */
  private static void relay(ServerSocketChannel server, Process traced)
      throws IOException, InterruptedException {
    SocketChannel channel = server.accept();
    while (channel == null && traced.isAlive()) {
      Thread.sleep(10);
      channel = server.accept();
    }
    if (channel == null) channel = server.accept();
    if (channel == null) return;
    channel.configureBlocking(true);
    try (InputStream in = Channels.newInputStream(channel)) {
      in.transferTo(System.out);
    }
    System.out.flush();
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
