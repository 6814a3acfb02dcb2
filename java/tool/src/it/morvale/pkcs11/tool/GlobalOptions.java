package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.Pkcs11Uri;
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

  @Option(names = "--token", scope = ScopeType.INHERIT, paramLabel = "LABEL|URI",
      description = "the slot whose token has LABEL (which one token only may have), or that"
          + " the token attributes of a PKCS#11 URI choose")
  String token;

  @Option(names = "--uri", scope = ScopeType.INHERIT, paramLabel = "URI",
      description = "a PKCS#11 URI (RFC 7512, pkcs11:token=T;object=K;type=private;id=%%01):"
          + " its token attributes choose the token as --token does, its object, id and type"
          + " the key as --label and --id do; its module-path the module")
  String uri;

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
    String fromUri = uri() == null ? null : uri().modulePath();
    if (fromUri != null) return fromUri;
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
    if (module == null && uri() != null && uri().modulePath() != null) {
      return " (from the URI's module-path)";
    }
    String variable = System.getenv("QUILLON_MODULE");
    return module == null && variable != null && !variable.isEmpty() ? " (from QUILLON_MODULE)"
                                                                     : "";
  }

  /** The URI of --uri, or null; read again each time, as it is short. */
  Pkcs11Uri uri() { return uri == null ? null : parse("--uri", uri); }

  /** The URI that `text`, given to `option`, writes; a malformed one is a usage failure. */
  static Pkcs11Uri parse(String option, String text) {
    try {
      return Pkcs11Uri.parse(text);
    } catch (IllegalArgumentException e) {
      // The query part is left out of the message: it may hold a PIN (pin-value).
      int query = text.indexOf('?');
      String shown = query < 0 ? text : text.substring(0, query) + "?...";
      throw Failure.usage(
          option + " \"" + shown + "\" is no PKCS#11 URI that quillon can use: " + e.getMessage());
    }
  }
}
