package it.morvale.pkcs11.tool;

import java.nio.file.Files;
import java.nio.file.Path;
import picocli.CommandLine.Model.CommandSpec;
import picocli.CommandLine.Option;
import picocli.CommandLine.ScopeType;

/**
 * The options of every subcommand: the module, the slot, the user PIN, tracing. The root command
 * mixes them in and its subcommands inherit them, so they may stand before or after the
 * subcommand's name; wherever they stand, their values land in the root's one instance.
 */
final class GlobalOptions {
  /** Where SoftHSM2's module lives on the systems that package it. */
  private static final String[] SOFTHSM = {"/usr/lib/softhsm/libsofthsm2.so",
      "/usr/lib/x86_64-linux-gnu/softhsm/libsofthsm2.so", "/usr/lib64/pkcs11/libsofthsm2.so",
      "/usr/local/lib/softhsm/libsofthsm2.so"};

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

  /** The global options of the command line that `command` stands in: its root's. */
  static GlobalOptions of(CommandSpec command) {
    for (CommandSpec mixin : command.root().mixins().values()) {
      if (mixin.userObject() instanceof GlobalOptions) return (GlobalOptions) mixin.userObject();
    }
    throw new IllegalStateException("the root command has no global options");
  }

  /**
   * The module file: --module (which may not be empty), else $QUILLON_MODULE when set and not
   * empty, else SoftHSM2's library. Whether it is a module is for the token layer to say.
   */
  String modulePath() {
    if (module != null) return module;
    String variable = System.getenv("QUILLON_MODULE");
    if (variable != null && !variable.isEmpty()) return variable;
    for (String candidate : SOFTHSM) {
      if (Files.isRegularFile(Path.of(candidate))) return candidate;
    }
    throw Failure.usage("no module: give --module PATH or set QUILLON_MODULE"
        + " (SoftHSM2's library is not installed either)");
  }

  /** " (from QUILLON_MODULE)" when the environment named the module, for messages; else "". */
  String moduleOrigin() {
    String variable = System.getenv("QUILLON_MODULE");
    return module == null && variable != null && !variable.isEmpty() ? " (from QUILLON_MODULE)"
                                                                     : "";
  }
}
