package it.morvale.pkcs11.tool;

import java.util.LinkedHashMap;
import java.util.Map;
import org.json.simple.Jsoner;
import picocli.CommandLine.Option;

/**
 * A command's report as JSON, for scripts: one object or one array on one line of standard
 * output, in place of the lines written for people. Strings are escaped as JSON escapes them,
 * control characters included; a value that a token will not give is null.
 */
final class Json {
  private Json() {}

  /** --json: the command writes its report as one JSON value. */
  static final class JsonOption {
    @Option(names = "--json", description = "write the report as one JSON value, for scripts")
    boolean json;

    /** Whether the report is to be JSON. */
    boolean wanted() { return json; }
  }

  /** A JSON object whose keys keep the order they were put in. */
  static Map<String, Object> object() { return new LinkedHashMap<>(); }

  /**
   * Writes `value` (a Map, a List or Collection, an array, a String, a Number, a Boolean or null,
   * nested as deep as need be) on one line of standard output.
   */
  static void print(Object value) { System.out.println(Jsoner.serialize(value)); }
}
