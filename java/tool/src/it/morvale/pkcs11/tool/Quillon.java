package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.nat.NativePKCS11;
import java.io.PrintStream;
import java.nio.file.Files;
import java.nio.file.Path;
import picocli.CommandLine;
import picocli.CommandLine.Command;
import picocli.CommandLine.IVersionProvider;
import picocli.CommandLine.Model.CommandSpec;
import picocli.CommandLine.Option;
import picocli.CommandLine.ParameterException;
import picocli.CommandLine.ScopeType;
import picocli.CommandLine.Spec;

/**
 * The quillon command: everyday work with a PKCS#11 token through the quillon bridge. The options
 * declared here belong to every subcommand and may stand before or after its name.
 */
@Command(name = "quillon", scope = ScopeType.INHERIT, mixinStandardHelpOptions = true,
    versionProvider = Quillon.Version.class, sortOptions = false,
    description = "Works with a PKCS#11 token through the quillon bridge.",
    subcommands = {InfoCommands.Info.class, InfoCommands.SlotList.class,
        InfoCommands.MechanismList.class, InfoCommands.ObjectList.class,
        PinCommands.InitToken.class, PinCommands.InitPin.class, PinCommands.ChangePin.class,
        KeygenCommand.class, SignCommands.Sign.class, SignCommands.Verify.class,
        CipherCommands.Encrypt.class, CipherCommands.Decrypt.class, CipherCommands.Wrap.class,
        CipherCommands.Unwrap.class, ObjectCommands.Export.class, ObjectCommands.Delete.class},
    footerHeading = "%n",
    footer = {"The module is --module, else $QUILLON_MODULE, else SoftHSM2's library.",
        "PINs come from --pin-env NAME or --pin-file PATH (for the SO PIN and a new PIN:",
        "--so-pin-env/--so-pin-file, --new-pin-env/--new-pin-file) or are asked for",
        "without echo on a terminal; never from the command line itself.", "", "Exit status:",
        "  0  success", "  1  the module or token refused (a CKR_ code), or the bridge failed",
        "  2  usage: a malformed command line, or a module, slot, token, key or file",
        "     that is not there", "  3  verify: the signature does not match"})
public final class Quillon implements Runnable {
  static final int OK = 0;
  static final int TOKEN_ERROR = 1;
  static final int USAGE = 2;
  static final int MISMATCH = 3;

  /** Where SoftHSM2's module lives on the systems that package it. */
  private static final String[] SOFTHSM = {"/usr/lib/softhsm/libsofthsm2.so",
      "/usr/lib/x86_64-linux-gnu/softhsm/libsofthsm2.so", "/usr/lib64/pkcs11/libsofthsm2.so",
      "/usr/local/lib/softhsm/libsofthsm2.so"};

  @Spec CommandSpec spec;

  @Option(names = "--module", scope = ScopeType.INHERIT, paramLabel = "PATH",
      description = "PKCS#11 module (default: $QUILLON_MODULE, else SoftHSM2's)")
  String module;

  @Option(names = "--slot", scope = ScopeType.INHERIT, paramLabel = "N",
      description = "slot ID, or index into the slot list when no slot has that ID")
  String slot;

  @Option(names = "--token", scope = ScopeType.INHERIT, paramLabel = "LABEL",
      description = "the slot whose token has LABEL")
  String token;

  @Option(names = "--pin-env", scope = ScopeType.INHERIT, paramLabel = "NAME",
      description = "read the user PIN from environment variable NAME")
  String pinEnv;

  @Option(names = "--pin-file", scope = ScopeType.INHERIT, paramLabel = "PATH",
      description = "read the user PIN from the first line of PATH")
  Path pinFile;

  @Option(names = "--trace", scope = ScopeType.INHERIT,
      description = "trace the bridge's steps into its log (/var/tmp/jpkcs110.log)")
  boolean trace;

  @Option(names = "--debug", scope = ScopeType.INHERIT,
      description = "show Java stack traces of failures")
  boolean debug;

  /** The command line as given, for a traced run of the same command. */
  static String[] arguments = new String[0];

  @Override
  public void run() {
    throw new ParameterException(spec.commandLine(), "a subcommand is needed");
  }

  /** The module file: --module, else $QUILLON_MODULE, else SoftHSM2's library. */
  String modulePath() {
    String path = module;
    String from = "--module";
    if (path == null) {
      path = System.getenv("QUILLON_MODULE");
      from = "QUILLON_MODULE";
    }
    if (path == null || path.isEmpty()) {
      for (String candidate : SOFTHSM) {
        if (Files.isRegularFile(Path.of(candidate))) return candidate;
      }
      throw Failure.usage("no module: give --module PATH or set QUILLON_MODULE"
          + " (SoftHSM2's library is not installed either)");
    }
    if (!Files.isRegularFile(Path.of(path))) {
      throw Failure.usage("module " + path + " (from " + from + "): no such file");
    }
    return path;
  }

  /** The version of the tool and of the bridge it loads. */
  static final class Version implements IVersionProvider {
    @Override
    public String[] getVersion() {
      String tool = Quillon.class.getPackage().getImplementationVersion();
      String bridge;
      try {
        NativePKCS11.loadBridge();
        bridge = new NativePKCS11().getBridgeVersion();
      } catch (PKCS11Exception | UnsatisfiedLinkError e) {
        bridge = "not loaded: " + e.getMessage();
      }
      return new String[] {
          "quillon " + (tool == null ? "(development)" : tool), "bridge " + bridge};
    }
  }

  static CommandLine commandLine() {
    CommandLine cli = new CommandLine(new Quillon());
    cli.setExecutionExceptionHandler((e, line, parsed) -> report(line, e));
    cli.setParameterExceptionHandler((e, args) -> {
      CommandLine line = e.getCommandLine();
      String name = line.getCommandName();
      String help = line.getParent() == null ? "quillon --help" : "quillon " + name + " --help";
      System.err.println(prefix(line) + e.getMessage() + " (see " + help + ")");
      return USAGE;
    });
    return cli;
  }

  /** "quillon: sign: " for a subcommand, "quillon: " for the tool itself. */
  static String prefix(CommandLine line) {
    return line.getParent() == null ? "quillon: " : "quillon: " + line.getCommandName() + ": ";
  }

  /** One line on standard error, and the exit status of the failure's kind. */
  private static int report(CommandLine line, Exception e) {
    CommandLine top = line;
    while (top.getParent() != null) top = top.getParent();
    boolean debug = ((Quillon) top.getCommand()).debug;
    if (debug) e.printStackTrace();
    int status;
    String message;
    if (e instanceof Failure) {
      status = ((Failure) e).status;
      message = e.getMessage();
    } else if (e instanceof PKCS11Exception) {
      status = TOKEN_ERROR;
      message = e.getMessage();
    } else if (e.getCause() instanceof PKCS11Exception) {
      status = TOKEN_ERROR;
      message = e.getMessage() + ": " + e.getCause().getMessage();
    } else {
      status = TOKEN_ERROR;
      message = e.getMessage() == null ? e.getClass().getSimpleName() : e.getMessage();
    }
    System.err.println(prefix(line) + message);
    return status;
  }

  public static void main(String[] args) {
    arguments = args.clone();
    Traced.takeOutput();
    int status = commandLine().execute(args);
    PrintStream out = System.out;
    out.flush();
    System.exit(out.checkError() && status == OK ? TOKEN_ERROR : status);
  }
}
