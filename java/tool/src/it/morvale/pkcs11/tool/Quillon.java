package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.nat.NativePKCS11;
import it.morvale.pkcs11.token.Explanations;
import java.io.PrintStream;
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
    resourceBundle = "it.morvale.pkcs11.tool.OptionTexts",
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
        "without echo on a terminal; never from the command line itself.", "",
        "Exit status:", "  0  success",
        "  1  the module or token refused (a CKR_ code, C_Initialize among them, or a",
        "     write-protected token), or the bridge failed",
        "  2  usage: a malformed command line, or a module, slot, token, key or file",
        "     that is not there (a module file that is no PKCS#11 module for this",
        "     machine too)", "  3  verify: the signature does not match",
        "  4  what was made could not be written out (a full disk, say)",
        "141 standard output's reader closed it early (as `| head -1` does)"})
public final class Quillon implements Runnable {
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

  static CommandLine commandLine() {
    CommandLine cli = new CommandLine(new Quillon());
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
    CommandLine cli = commandLine();
    int status = cli.execute(args);
    PrintStream out = System.out;
    out.flush();
    if (status == Failure.OK && out.checkError()) status = unwritten(cli);
    System.exit(status);
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
