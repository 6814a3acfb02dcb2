package it.morvale.pkcs11.tool;

import java.io.BufferedReader;
import java.io.Console;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.EnumMap;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import picocli.CommandLine.Option;

/**
 * The PINs that a command needs, all read before any module is loaded: from an environment
 * variable, from a file, or asked for without echo on the terminal. A PIN is never taken from the
 * command line, where other users of the machine could read it.
 */
final class Pins {
  enum Kind {
    USER("user PIN", "--pin-env", "--pin-file"),
    SO("SO PIN", "--so-pin-env", "--so-pin-file"),
    NEW("new PIN", "--new-pin-env", "--new-pin-file");

    final String text;
    final String envOption;
    final String fileOption;

    Kind(String text, String envOption, String fileOption) {
      this.text = text;
      this.envOption = envOption;
      this.fileOption = fileOption;
    }

    /** The variable through which a traced run of the same command receives this PIN. */
    String tracedVariable() { return "QUILLON_TRACED_" + name() + "_PIN"; }
  }

  /** The options that give the SO PIN. */
  static final class SoOptions {
    @Option(names = "--so-pin-env", paramLabel = "NAME",
        description = "read the SO PIN from environment variable NAME")
    String env;

    @Option(names = "--so-pin-file", paramLabel = "PATH",
        description = "read the SO PIN from the first line of PATH")
    Path file;
  }

  /** The options that give a new PIN. */
  static final class NewOptions {
    @Option(names = "--new-pin-env", paramLabel = "NAME",
        description = "read the new PIN from environment variable NAME")
    String env;

    @Option(names = "--new-pin-file", paramLabel = "PATH",
        description = "read the new PIN from the first line of PATH")
    Path file;
  }

  /** One PIN that a command needs: where it may come from and how to ask for it. */
  static final class Need {
    final Kind kind;
    final String env;
    final Path file;
    final String prompt;
    final boolean confirm;

    /** `confirm`: a PIN being set is asked for twice on the terminal. */
    Need(Kind kind, String env, Path file, String prompt, boolean confirm) {
      this.kind = kind;
      this.env = env;
      this.file = file;
      this.prompt = prompt;
      this.confirm = confirm;
    }
  }

  private final EnumMap<Kind, String> values = new EnumMap<>(Kind.class);

  private Pins() {}

  static Pins none() { return new Pins(); }

  /** Reads every PIN in `needs`; `terminal` says whether one may be asked for. */
  static Pins read(List<Need> needs, boolean terminal) {
    Pins pins = new Pins();
    for (Need need : needs) pins.values.put(need.kind, readOne(need, terminal));
    return pins;
  }

  /** The PIN of `kind`; the command must have asked for it. */
  String get(Kind kind) {
    String pin = values.get(kind);
    if (pin == null) throw new IllegalStateException(kind.text + " was not read");
    return pin;
  }

  /** The PINs as the environment of a traced run of the same command. */
  Map<String, String> traced() {
    Map<String, String> environment = new HashMap<>();
    values.forEach((kind, pin) -> environment.put(kind.tracedVariable(), pin));
    return environment;
  }

  private static String readOne(Need need, boolean terminal) {
    Kind kind = need.kind;
    if (need.env != null) {
      String pin = System.getenv(need.env);
      if (pin == null) {
        throw Failure.usage(
            "the " + kind.text + "'s environment variable " + need.env + " is not set");
      }
      return pin;
    }
    if (need.file != null) return fromFile(kind, need.file);
    if (Traced.isChild()) {
      String pin = System.getenv(kind.tracedVariable());
      if (pin != null) return pin;
    }
    Console console = System.console();
    if (!terminal || console == null) {
      throw Failure.usage("the " + kind.text + " is needed: give " + kind.envOption + " NAME or "
          + kind.fileOption + " PATH (there is no terminal to ask on)");
    }
    char[] first = console.readPassword("%s: ", need.prompt);
    if (first == null) throw Failure.usage("no " + kind.text + " given");
    try {
      if (need.confirm) {
        char[] again = console.readPassword("%s again: ", need.prompt);
        boolean same = Arrays.equals(first, again);
        if (again != null) Arrays.fill(again, ' ');
        if (!same) throw Failure.usage("the two " + kind.text + "s differ");
      }
      return new String(first);
    } finally {
      Arrays.fill(first, ' ');
    }
  }

  private static String fromFile(Kind kind, Path file) {
    try (BufferedReader in = Files.newBufferedReader(file, StandardCharsets.UTF_8)) {
      String line = in.readLine();
      return line == null ? "" : line;
    } catch (IOException e) {
      throw Failure.usage("cannot read the " + kind.text + " from " + file + ": " + Io.why(e));
    }
  }
}
