package it.morvale.pkcs11.tool;

import java.io.BufferedReader;
import java.io.Console;
import java.io.File;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStreamReader;
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
    NEW("new PIN", "--new-pin-env", "--new-pin-file"),
    /** Not a token's PIN: the password of a PKCS#12 file, which may be empty. */
    PKCS12("PKCS#12 password", "--password-env", "--password-file");

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

  /** How often an empty PIN at the prompt is asked for again before the command gives up. */
  private static final int ASKS = 3;

  private static String readOne(Need need, boolean terminal) {
    Kind kind = need.kind;
    if (need.env != null) {
      String pin = System.getenv(need.env);
      if (pin == null) {
        throw Failure.usage(
            "the " + kind.text + "'s environment variable " + need.env + " is not set");
      }
      return notEmpty(pin, kind, "the environment variable " + need.env);
    }
    if (need.file != null) return notEmpty(fromFile(kind, need.file), kind, need.file.toString());
    if (Traced.isChild()) {
      String pin = System.getenv(kind.tracedVariable());
      if (pin != null) return pin;
    }
    Terminal asker = Terminal.open(terminal);
    if (asker == null) {
      throw Failure.usage("the " + kind.text + " is needed: give " + kind.envOption + " NAME or "
          + kind.fileOption + " PATH (there is no terminal to ask on)");
    }
    for (int ask = 0; ask < ASKS; ++ask) {
      char[] first = asker.readPassword(need.prompt + ": ");
      if (first == null) throw Failure.usage("no " + kind.text + " given");
      try {
        if (first.length == 0 && kind != Kind.PKCS12) {
          asker.say("an empty " + kind.text + " is not sent to the token; type it, or end with"
              + " Ctrl-D");
          continue;
        }
        if (need.confirm) {
          char[] again = asker.readPassword(need.prompt + " again: ");
          boolean same = Arrays.equals(first, again);
          if (again != null) Arrays.fill(again, ' ');
          if (!same) throw Failure.usage("the two " + kind.text + "s differ");
        }
        return new String(first);
      } finally {
        Arrays.fill(first, ' ');
      }
    }
    throw Failure.usage("no " + kind.text + " given (empty " + ASKS + " times)");
  }

  /** An empty PIN would only use up one of the token's tries: it is refused before any call. */
  private static String notEmpty(String pin, Kind kind, String source) {
    if (pin.isEmpty() && kind != Kind.PKCS12) {
      throw Failure.usage("the " + kind.text + " from " + source + " is empty; an empty PIN is"
          + " not sent to the token, where a wrong one uses up a try");
    }
    return pin;
  }

  /**
   * Where a PIN is asked for without echo: Java's console when the VM has one, else the process's
   * controlling terminal (/dev/tty), so that a command whose input or output is a pipe still asks
   * the person at the terminal, as ssh and gpg do.
   */
  private abstract static class Terminal {
    abstract char[] readPassword(String prompt);

    abstract void say(String line);

    /** The terminal to ask on, or null when there is none; `console`: the VM has one. */
    static Terminal open(boolean console) {
      Console c = System.console();
      if (console && c != null) {
        return new Terminal() {
          @Override
          char[] readPassword(String prompt) {
            return c.readPassword("%s", prompt);
          }

          @Override
          void say(String line) {
            c.printf("%s%n", line);
            c.flush();
          }
        };
      }
      if (File.separatorChar != '/') return null;
      File tty = new File("/dev/tty");
      try (FileInputStream probe = new FileInputStream(tty)) {
        // Opens only where the process has a controlling terminal.
      } catch (IOException e) {
        return null;
      }
      return new ControllingTerminal(tty);
    }
  }

  /** /dev/tty, its echo turned off with stty while a PIN is typed. */
  private static final class ControllingTerminal extends Terminal {
    private final File tty;

    ControllingTerminal(File tty) { this.tty = tty; }

    private boolean stty(String setting) {
      try {
        return new ProcessBuilder("stty", setting)
                   .redirectInput(tty)
                   .redirectOutput(ProcessBuilder.Redirect.DISCARD)
                   .redirectError(ProcessBuilder.Redirect.DISCARD)
                   .start()
                   .waitFor()
            == 0;
      } catch (IOException e) {
        return false;
      } catch (InterruptedException e) {
        Thread.currentThread().interrupt();
        return false;
      }
    }

    @Override
    char[] readPassword(String prompt) {
      Thread restore = new Thread(() -> stty("echo"), "quillon-tty-echo");
      try (FileOutputStream out = new FileOutputStream(tty);
           InputStreamReader in =
               new InputStreamReader(new FileInputStream(tty), StandardCharsets.UTF_8)) {
        out.write(prompt.getBytes(StandardCharsets.UTF_8));
        out.flush();
        if (!stty("-echo")) {
          throw Failure.usage("cannot turn off the echo of the terminal to ask for a PIN");
        }
        // Interrupted (Ctrl-C), the command leaves the terminal echoing again.
        Runtime.getRuntime().addShutdownHook(restore);
        try {
          StringBuilder typed = new StringBuilder();
          for (int c; (c = in.read()) != '\n' && c != '\r';) {
            if (c == -1) {
              if (typed.length() == 0) return null;
              break;
            }
            typed.append((char) c);
          }
          char[] pin = new char[typed.length()];
          typed.getChars(0, pin.length, pin, 0);
          for (int i = 0; i < typed.length(); ++i) typed.setCharAt(i, ' ');
          return pin;
        } finally {
          stty("echo");
          Runtime.getRuntime().removeShutdownHook(restore);
          out.write('\n');
          out.flush();
        }
      } catch (IOException e) {
        throw Failure.usage("cannot ask on the terminal: " + Io.why(e));
      }
    }

    @Override
    void say(String line) {
      try (FileOutputStream out = new FileOutputStream(tty)) {
        out.write((line + "\n").getBytes(StandardCharsets.UTF_8));
      } catch (IOException e) {
        // Only advice: the question follows anyway.
      }
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
