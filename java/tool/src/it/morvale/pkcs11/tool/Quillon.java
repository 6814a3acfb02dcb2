package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.nat.NativePKCS11;
import it.morvale.pkcs11.token.Explanations;
import java.io.PrintStream;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.ResourceBundle;
import picocli.CommandLine;
import picocli.CommandLine.Command;
import picocli.CommandLine.IVersionProvider;
import picocli.CommandLine.Model.CommandSpec;
import picocli.CommandLine.Mixin;
import picocli.CommandLine.ParameterException;
import picocli.CommandLine.ScopeType;
import picocli.CommandLine.Spec;

/**
 * The quillon command: everyday work with a PKCS#11 token through the quillon bridge. Its global
 * options belong to every subcommand and may stand before or after its name.
 */
@Command(name = "quillon", scope = ScopeType.INHERIT, mixinStandardHelpOptions = true,
    versionProvider = Quillon.Version.class, sortOptions = false,
    description = "Works with a PKCS#11 token through the quillon bridge.", footerHeading = "%n",
    footer = {"The module is --module, else $QUILLON_MODULE, else SoftHSM2's library.",
        "PINs come from --pin-env NAME or --pin-file PATH (for the SO PIN and a new PIN:",
        "--so-pin-env/--so-pin-file, --new-pin-env/--new-pin-file) or are asked for",
        "without echo on a terminal; never from the command line itself.", "",
        "Exit status:", "  0  success",
        "  1  the module or token refused (a CKR_ code, C_Initialize among them, or a",
        "     write-protected token), or the bridge failed; verify: a signature that",
        "     this Java cannot check (neither accepted nor refused)",
        "  2  usage: a malformed command line, or a module, slot, token, key or file",
        "     that is not there (a module file that is no PKCS#11 module for this",
        "     machine too)", "  3  verify: the signature does not match",
        "  4  what was made could not be written out (a full disk, say)",
        "141 standard output's reader closed it early (as `| head -1` does)"})
public final class Quillon implements Runnable {
  /**
   * The subcommands, in the order of the help. A command line gets only those it names (picocli
   * reads every annotation of a subcommand it is given, which is most of the start-up), all of
   * them when it names none (for the help and the suggestions of a mistyped name).
   */
  static final Class<?>[] COMMANDS = {InfoCommands.Info.class, InfoCommands.SlotList.class,
      InfoCommands.MechanismList.class, InfoCommands.ObjectList.class, PinCommands.InitToken.class,
      PinCommands.InitPin.class, PinCommands.ChangePin.class, KeygenCommand.class,
      SignCommands.Sign.class, SignCommands.Verify.class, CipherCommands.Encrypt.class,
      CipherCommands.Decrypt.class, CipherCommands.Wrap.class, CipherCommands.Unwrap.class,
      ImportCommand.class, ObjectCommands.Export.class, ObjectCommands.Read.class,
      ObjectCommands.Show.class, ObjectCommands.Set.class, ObjectCommands.Delete.class,
      ShellCommand.class};

  @Spec CommandSpec spec;

  @Mixin GlobalOptions global;

  @Override
  public void run() {
    throw new ParameterException(spec.commandLine(), "a subcommand is needed");
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

  /** The whole tool, every subcommand in it (for the manual page and the completion). */
  static CommandLine commandLine() { return commandLine(null); }

  /**
   * The tool with the subcommands that `words` may name: those whose names stand among them,
   * none for a plain --version, else all.
   */
  static CommandLine commandLine(String[] words) {
    CommandLine cli = new CommandLine(new Quillon(), new Factory());
    List<Class<?>> named = new ArrayList<>();
    boolean asksHelp = words == null;
    boolean asksVersion = false;
    for (String word : words == null ? new String[0] : words) {
      asksHelp |= word.equals("-h") || word.equals("--help");
      asksVersion |= word.equals("-V") || word.equals("--version");
      for (Class<?> command : COMMANDS) {
        if (command.getAnnotation(Command.class).name().equals(word) && !named.contains(command)) {
          named.add(command);
        }
      }
    }
    if (named.isEmpty() && (asksHelp || !asksVersion)) named = Arrays.asList(COMMANDS);
    for (Class<?> command : named) cli.addSubcommand(command);
    // The texts of the shared options are for the help alone, and looking them up takes time.
    if (asksHelp) {
      cli.setResourceBundle(ResourceBundle.getBundle("it.morvale.pkcs11.tool.OptionTexts"));
    }
    cli.setExecutionExceptionHandler((e, line, parsed) -> report(line, e));
    cli.setParameterExceptionHandler((e, args) -> {
      CommandLine line = e.getCommandLine();
      String name = line.getCommandName();
      String help = line.getParent() == null ? "quillon --help" : "quillon " + name + " --help";
      System.err.println(prefix(line) + Mistakes.explain(e) + " (see " + help + ")");
      return Failure.USAGE;
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
    if (((Quillon) top.getCommand()).global.debug) e.printStackTrace();
    int status;
    String message;
    if (e instanceof Failure) {
      status = ((Failure) e).status;
      message = e.getMessage();
    } else if (e instanceof PKCS11Exception) {
      status = Failure.TOKEN_ERROR;
      message = Explanations.describe((PKCS11Exception) e);
    } else if (e.getCause() instanceof PKCS11Exception) {
      status = Failure.TOKEN_ERROR;
      message = e.getMessage() + ": " + Explanations.describe((PKCS11Exception) e.getCause());
    } else {
      status = Failure.TOKEN_ERROR;
      message = e.getMessage() == null ? e.getClass().getSimpleName() : e.getMessage();
    }
    // A reader that closed standard output stopped the command; that needs no words.
    if (status != Failure.BROKEN_PIPE) System.err.println(prefix(line) + message);
    return status;
  }

  public static void main(String[] given) {
    Io.useUtf8();
    String[] args = Io.utf8Arguments(given);
    Traced.begin(Quillon.class, args);
    System.exit(run(args, false));
  }

  /**
   * Runs one command line and returns its exit status; in a shell's line (`again`) an option
   * given twice takes its last value, so that the line overrides the shell's own options.
   */
  private static int run(String[] args, boolean again) {
    Traced.command(args);
    CommandLine cli = commandLine(args);
    cli.setOverwrittenOptionsAllowed(again);
    int status = cli.execute(args);
    PrintStream out = System.out;
    out.flush();
    if (status == Failure.OK && out.checkError()) status = unwritten(cli);
    return status;
  }

  /** Makes the commands as picocli does; the shell gets the way to run each of its lines. */
  private static final class Factory implements CommandLine.IFactory {
    @Override
    public <K> K create(Class<K> type) throws Exception {
      if (type == ShellCommand.class) return type.cast(new ShellCommand(args -> run(args, true)));
      return CommandLine.defaultFactory().create(type);
    }
  }

  /** The status, and the line, of a command whose report could not be written out. */
  private static int unwritten(CommandLine cli) {
    java.io.IOException failure = Io.standardOutputFailure();
    if (Io.isBrokenPipe(failure)) return Failure.BROKEN_PIPE;
    CommandLine line = cli;
    CommandLine.ParseResult parsed = cli.getParseResult();
    while (parsed != null && parsed.hasSubcommand()) {
      parsed = parsed.subcommand();
      line = parsed.commandSpec().commandLine();
    }
    System.err.println(prefix(line) + "cannot write standard output"
        + (failure == null ? "" : ": " + Io.why(failure)));
    return Failure.OUTPUT;
  }
}
