package it.morvale.pkcs11.tool;

import java.util.List;
import java.util.Locale;
import picocli.CommandLine.ParameterException;
import picocli.CommandLine.UnmatchedArgumentException;

/**
 * The words for a malformed command line: what picocli says, and for the usual slips more: a PIN
 * given on the command line as pkcs11-tool takes it, a mistyped command or option with the names
 * it comes nearest to.
 */
final class Mistakes {
  private Mistakes() {}

  /** pkcs11-tool's PIN options, which quillon does not take. */
  private static final List<String> PIN_OPTIONS =
      List.of("-p", "--pin", "--so-pin", "--new-pin", "--puk", "--pin-value");

  static String explain(ParameterException e) {
    if (!(e instanceof UnmatchedArgumentException)) return e.getMessage();
    UnmatchedArgumentException unmatched = (UnmatchedArgumentException) e;
    List<String> arguments = unmatched.getUnmatched();
    for (String argument : arguments) {
      String name = argument.split("=", 2)[0].toLowerCase(Locale.ROOT);
      if (PIN_OPTIONS.contains(name)) {
        return "PINs are not taken on the command line, where other users of the machine could"
            + " read them (" + name + "): give --pin-env NAME or --pin-file PATH (--so-pin-env,"
            + " --new-pin-env, ... for the others), or leave them out to be asked on the terminal";
      }
    }
    if (arguments.isEmpty()) return e.getMessage();
    String first = arguments.get(0);
    List<String> suggestions = unmatched.getSuggestions();
    boolean command = !first.startsWith("-") && e.getCommandLine().getParent() == null;
    String said = command       ? "no command \"" + first + "\""
        : first.startsWith("-") ? "unknown option " + first
                                : e.getMessage();
    if (suggestions.isEmpty()) return said;
    return said + "; did you mean "
        + String.join(" or ", suggestions.subList(0, Math.min(3, suggestions.size()))) + "?";
  }
}
