package it.morvale.pkcs11.tool;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.Callable;
import java.util.function.ToIntFunction;
import picocli.CommandLine.Command;
import picocli.CommandLine.Model.CommandSpec;
import picocli.CommandLine.Model.OptionSpec;
import picocli.CommandLine.Option;
import picocli.CommandLine.ParseResult;
import picocli.CommandLine.Parameters;
import picocli.CommandLine.Spec;

/**
 * Many commands in one VM: each line of a file, or of standard input, is a command line of the
 * tool without the word quillon, run as if given on its own, after the global options that the
 * shell itself was given (a line's own take their place). A module stays loaded and initialised
 * from the first line that needs it to the end, so each line after the first costs what its work
 * on the token costs.
 */
@Command(name = "shell",
    description = {"Runs commands one a line from FILE, or from standard input, in one VM: the "
            + "module is loaded once for all of them.",
        "A line is a command line without the word quillon: words are split at blanks, '...' "
            + "and \"...\" quote, \\ escapes, # starts a comment; exit ends the shell. The shell's "
            + "global options hold for every line; a line may give its own.",
        "Read from a file or a pipe, the first line that fails ends the run (--keep-going goes "
            + "on) and its status is the shell's; at a terminal every line is run. While the "
            + "commands come from standard input, a command takes its data from --in FILE."})
final class ShellCommand implements Callable<Integer> {
  @Spec CommandSpec spec;

  @Parameters(
      arity = "0..1", paramLabel = "FILE", description = "the commands (default: standard input)")
  Path file;

  @Option(names = "--keep-going", description = "run every line, even after one has failed")
  boolean keepGoing;

  /** Runs one command line of the tool and returns its exit status. */
  private final ToIntFunction<String[]> tool;

  ShellCommand(ToIntFunction<String[]> tool) { this.tool = tool; }

  @Override
  public Integer call() throws Exception {
    List<String> global = globalOptions();
    boolean fromInput = Io.isStandard(file);
    boolean interactive = fromInput && System.console() != null;
    InputStream commands;
    if (fromInput) {
      commands = System.in;
      System.setIn(new NoData());
    } else {
      try {
        commands = Files.newInputStream(file);
      } catch (IOException e) {
        throw Failure.usage("cannot read " + file + ": " + Io.why(e));
      }
    }
    int first = Failure.OK;
    Token.keepModules();
    try (BufferedReader in =
             new BufferedReader(new InputStreamReader(commands, StandardCharsets.UTF_8))) {
      int number = 0;
      while (true) {
        if (interactive) {
          System.err.print("quillon> ");
          System.err.flush();
        }
        String line = in.readLine();
        if (line == null) break;
        ++number;
        List<String> words;
        try {
          words = words(line);
        } catch (IllegalArgumentException e) {
          System.err.println("quillon: shell: line " + number + ": " + e.getMessage());
          words = null;
        }
        if (words != null && words.isEmpty()) continue;
        if (words != null && words.size() == 1 && words.get(0).equals("exit")) break;
        int status = Failure.USAGE;
        if (words != null && words.get(0).equals("shell")) {
          System.err.println("quillon: shell: line " + number + ": a shell runs no shell");
        } else if (words != null) {
          List<String> args = new ArrayList<>(global);
          args.addAll(words);
          status = tool.applyAsInt(args.toArray(new String[0]));
        }
        if (status == Failure.OK) continue;
        if (first == Failure.OK) first = status;
        if (!interactive && !keepGoing) {
          System.err.println("quillon: shell: line " + number + " failed; the lines after it "
              + "were not run");
          break;
        }
      }
    } finally {
      Token.closeKept();
    }
    return first;
  }

  /**
   * The global options as the shell was given them, before or after its name, in words that a
   * line's command line can start with.
   */
  private List<String> globalOptions() {
    List<String> words = new ArrayList<>();
    ParseResult parsed = spec.root().commandLine().getParseResult();
    while (parsed != null) {
      for (OptionSpec option : parsed.matchedOptions()) {
        if (option.command() == spec && !option.inherited()) continue;
        if (option.usageHelp() || option.versionHelp()) continue;
        if (option.arity().max() == 0) {
          words.add(option.longestName());
          continue;
        }
        for (String value : option.originalStringValues()) {
          words.add(option.longestName());
          words.add(value);
        }
      }
      parsed = parsed.hasSubcommand() ? parsed.subcommand() : null;
    }
    return words;
  }

  /**
   * The words of a line as a POSIX shell splits them, without expansions: blanks separate them,
   * '...' keeps everything, "..." keeps all but \" and \\, a \ elsewhere keeps the next
   * character, and # at the start of a word begins a comment.
   */
  static List<String> words(String line) {
    List<String> words = new ArrayList<>();
    StringBuilder word = new StringBuilder();
    boolean inWord = false;
    for (int i = 0; i < line.length(); ++i) {
      char c = line.charAt(i);
      if (c == ' ' || c == '\t') {
        if (inWord) words.add(word.toString());
        word.setLength(0);
        inWord = false;
      } else if (c == '#' && !inWord) {
        break;
      } else if (c == '\'') {
        int end = line.indexOf('\'', i + 1);
        if (end < 0) throw new IllegalArgumentException("a ' is not closed");
        word.append(line, i + 1, end);
        i = end;
        inWord = true;
      } else if (c == '"') {
        int j = i + 1;
        for (; j < line.length() && line.charAt(j) != '"'; ++j) {
          char d = line.charAt(j);
          if (d == '\\' && j + 1 < line.length()
              && (line.charAt(j + 1) == '"' || line.charAt(j + 1) == '\\')) {
            d = line.charAt(++j);
          }
          word.append(d);
        }
        if (j == line.length()) throw new IllegalArgumentException("a \" is not closed");
        i = j;
        inWord = true;
      } else if (c == '\\') {
        if (i + 1 == line.length()) throw new IllegalArgumentException("a \\ ends the line");
        word.append(line.charAt(++i));
        inWord = true;
      } else {
        word.append(c);
        inWord = true;
      }
    }
    if (inWord) words.add(word.toString());
    return words;
  }

  /** Standard input while it carries the commands: a command that reads data from it is told. */
  private static final class NoData extends InputStream {
    @Override
    public int read() throws IOException {
      throw new IOException("standard input carries the shell's commands: give the data with"
          + " --in FILE");
    }

    @Override
    public int read(byte[] b, int offset, int length) throws IOException {
      return read();
    }
  }
}
