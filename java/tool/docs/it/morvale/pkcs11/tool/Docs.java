package it.morvale.pkcs11.tool;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import picocli.AutoComplete;
import picocli.CommandLine;
import picocli.CommandLine.Model.CommandSpec;
import picocli.CommandLine.Model.OptionSpec;
import picocli.CommandLine.Model.PositionalParamSpec;

/**
 * Writes, at build time, the tool's manual page (quillon.1) and its bash completion from the
 * commands as picocli sees them, so that both say what the tool's help says.
 *   Docs <manual page> <bash completion> <version>
 */
public final class Docs {
  private Docs() {}

  public static void main(String[] args) throws IOException {
    CommandLine tool = Quillon.commandLine();
    Files.writeString(Path.of(args[0]), manualPage(tool, args[2]), StandardCharsets.UTF_8);
    Files.writeString(Path.of(args[1]), AutoComplete.bash("quillon", tool), StandardCharsets.UTF_8);
  }

  static String manualPage(CommandLine tool, String version) {
    CommandSpec root = tool.getCommandSpec();
    StringBuilder page = new StringBuilder();
    page.append(".TH QUILLON 1 \"\" \"quillon ").append(version).append("\" \"User Commands\"\n");
    page.append(".SH NAME\nquillon \\- ")
        .append(text(first(root.usageMessage().description())))
        .append('\n');
    page.append(".SH SYNOPSIS\n.B quillon\n[\\fIGLOBAL OPTIONS\\fR] \\fICOMMAND\\fR"
        + " [\\fIOPTIONS\\fR] [\\fIARGUMENTS\\fR]\n.br\n.B quillon\n\\-\\-help | \\-\\-version"
        + " | \\fICOMMAND\\fR \\-\\-help\n");
    page.append(".SH DESCRIPTION\n");
    for (String line : root.usageMessage().description()) page.append(text(line)).append('\n');
    page.append(".PP\nThe global options may stand before or after the command's name.\n");
    page.append(".SH GLOBAL OPTIONS\n");
    for (OptionSpec option : root.options()) option(page, option);
    page.append(".SH COMMANDS\n");
    for (Map.Entry<String, CommandLine> entry : tool.getSubcommands().entrySet()) {
      CommandSpec command = entry.getValue().getCommandSpec();
      page.append(".SS \"").append(text(entry.getKey()));
      for (PositionalParamSpec parameter : command.positionalParameters()) {
        String label = text(parameter.paramLabel());
        page.append(parameter.arity().min() == 0 ? " [" + label + "]" : " " + label);
      }
      page.append("\"\n");
      for (String line : command.usageMessage().description()) {
        page.append(text(line)).append("\n.PP\n");
      }
      for (PositionalParamSpec parameter : command.positionalParameters()) {
        page.append(".TP\n\\fI").append(text(parameter.paramLabel())).append("\\fR\n");
        page.append(text(String.join(" ", parameter.description()))).append('\n');
      }
      for (OptionSpec option : command.options()) {
        if (!option.inherited() && !option.usageHelp() && !option.versionHelp()) {
          option(page, option);
        }
      }
    }
    page.append(".SH NOTES\n.nf\n");
    for (String line : root.usageMessage().footer()) page.append(text(line)).append('\n');
    page.append(".fi\n.SH FILES\n.TP\n/var/tmp/jpkcs110.log\nthe trace log of \\-\\-trace\n");
    page.append(".SH ENVIRONMENT\n.TP\nQUILLON_MODULE\nthe module when \\-\\-module is not given\n"
        + ".TP\nQUILLON_JAVA_OPTIONS\nmore options for the Java VM that runs the tool\n"
        + ".TP\nPKCS11_ZOR_DEBUG\nset: every command is traced, as with \\-\\-trace\n");
    page.append(".SH SEE ALSO\n.BR pkcs11-tool (1),\n.BR softhsm2-util (1)\n");
    return page.toString();
  }

  private static void option(StringBuilder page, OptionSpec option) {
    if (option.hidden()) return;
    List<String> names = new ArrayList<>();
    for (String name : option.names()) names.add("\\fB" + text(name) + "\\fR");
    page.append(".TP\n").append(String.join(", ", names));
    if (option.arity().max() > 0)
      page.append(" \\fI").append(text(option.paramLabel())).append("\\fR");
    page.append('\n').append(text(String.join(" ", option.description()))).append('\n');
  }

  private static String first(String[] lines) { return lines.length == 0 ? "" : lines[0]; }

  /** Text as roff reads it: backslashes and hyphens kept, no line taken for a request. */
  static String text(String line) {
    String escaped = line.replace("\\", "\\e").replace("-", "\\-");
    return escaped.startsWith(".") || escaped.startsWith("'") ? "\\&" + escaped : escaped;
  }
}
