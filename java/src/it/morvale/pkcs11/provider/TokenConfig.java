package it.morvale.pkcs11.provider;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.InvalidParameterException;
import java.util.LinkedHashMap;
import java.util.Map;
import java.util.Set;

/**
 * The provider's configuration: which module to load and which of its tokens to use.
 *
 * <p>The text is a list of {@code key = value} entries, separated by spaces or line ends; a value
 * with spaces is written in double quotes, and {@code #} starts a comment that runs to the end of
 * the line. The keys:
 *
 * <ul>
 *   <li>{@code name} (required): the provider is called {@code Quillon-<name>};
 *   <li>{@code library} (required): the path of the PKCS#11 module;
 *   <li>at most one of {@code tokenLabel} (the token's label), {@code slot} (a slot ID) and
 *       {@code slotListIndex} (a position in the module's slot list); without any, the first slot
 *       that holds a token;
 *   <li>{@code maxSessions}: the most sessions the provider opens on the token at once (default:
 *       the token's own limit, or 32 when it sets none);
 *   <li>{@code sessionWait}: how many seconds an operation waits for a session when all are in
 *       use (default 30);
 *   <li>{@code initialisedElsewhere}: {@code serialise} (the default) or {@code concurrent}: how to
 *       call a module that another user of the process initialised first, which may not have let
 *       it lock for itself;
 *   <li>{@code keyStoreAliases}: {@code keyLabel} (the default) or {@code certificateLabel}: which
 *       label names a key entry of the key store first (the JDK's own PKCS#11 provider takes the
 *       certificate's, so a migration from it keeps its aliases with {@code certificateLabel}).
 * </ul>
 *
 * <p>As with the JDK's own PKCS#11 provider, the argument of {@link QuillonProvider#configure} is
 * the name of a file holding the text, or the text itself after two dashes: {@code
 * --name=hsm library=/usr/lib/softhsm/libsofthsm2.so tokenLabel=signing}.
 */
final class TokenConfig {
  private static final Set<String> KEYS = Set.of("name", "library", "tokenLabel", "slot",
      "slotListIndex", "maxSessions", "sessionWait", "initialisedElsewhere", "keyStoreAliases");

  final String name;
  final String library;
  final String tokenLabel;
  final Long slot;
  final Integer slotListIndex;
  final int maxSessions;
  final int sessionWaitSeconds;
  final boolean concurrentWhenInitialisedElsewhere;
  final boolean aliasesFromCertificates;

  private TokenConfig(Map<String, String> entries) {
    name = required(entries, "name");
    library = required(entries, "library");
    tokenLabel = entries.get("tokenLabel");
    String slotText = entries.get("slot");
    String indexText = entries.get("slotListIndex");
    int choices =
        (tokenLabel != null ? 1 : 0) + (slotText != null ? 1 : 0) + (indexText != null ? 1 : 0);
    if (choices > 1) {
      throw new InvalidParameterException(
          "name the token by one of tokenLabel, slot and slotListIndex, not several");
    }
    slot = slotText == null ? null : number("slot", slotText, 0xFFFFFFFFL);
    slotListIndex =
        indexText == null ? null : (int) number("slotListIndex", indexText, Integer.MAX_VALUE);
    String max = entries.get("maxSessions");
    maxSessions = max == null ? 0 : (int) number("maxSessions", max, 1 << 20);
    String waitText = entries.get("sessionWait");
    sessionWaitSeconds = waitText == null ? 30 : (int) number("sessionWait", waitText, 86400);
    String elsewhere = entries.getOrDefault("initialisedElsewhere", "serialise");
    if (!elsewhere.equals("serialise") && !elsewhere.equals("concurrent")) {
      throw new InvalidParameterException(
          "initialisedElsewhere is serialise or concurrent, not " + elsewhere);
    }
    concurrentWhenInitialisedElsewhere = elsewhere.equals("concurrent");
    String aliases = entries.getOrDefault("keyStoreAliases", "keyLabel");
    if (!aliases.equals("keyLabel") && !aliases.equals("certificateLabel")) {
      throw new InvalidParameterException(
          "keyStoreAliases is keyLabel or certificateLabel, not " + aliases);
    }
    aliasesFromCertificates = aliases.equals("certificateLabel");
  }

  /** The configuration named by a provider argument: a file name, or the text after "--". */
  static TokenConfig fromArgument(String argument) {
    if (argument == null) throw new InvalidParameterException("no configuration given");
    if (argument.startsWith("--")) return parse(argument.substring(2));
    try {
      return parse(new String(Files.readAllBytes(Path.of(argument)), StandardCharsets.UTF_8));
    } catch (IOException e) {
      InvalidParameterException failure =
          new InvalidParameterException("cannot read the configuration file " + argument);
      failure.initCause(e);
      throw failure;
    }
  }

  static TokenConfig parse(String text) {
    Map<String, String> entries = new LinkedHashMap<>();
    Scanner in = new Scanner(text);
    for (String key = in.word(); key != null; key = in.word()) {
      if (!KEYS.contains(key))
        throw new InvalidParameterException("unknown configuration key " + key);
      if (!"=".equals(in.word())) throw new InvalidParameterException("no '=' after " + key);
      String value = in.word();
      if (value == null) throw new InvalidParameterException("no value for " + key);
      if (entries.put(key, value) != null) {
        throw new InvalidParameterException(key + " is given twice");
      }
    }
    return new TokenConfig(entries);
  }

  private static String required(Map<String, String> entries, String key) {
    String value = entries.get(key);
    if (value == null || value.isEmpty()) {
      throw new InvalidParameterException("the configuration names no " + key);
    }
    return value;
  }

  private static long number(String key, String text, long largest) {
    try {
      long value =
          text.startsWith("0x") ? Long.parseLong(text.substring(2), 16) : Long.parseLong(text);
      if (value < 0 || value > largest) throw new NumberFormatException();
      return value;
    } catch (NumberFormatException e) {
      throw new InvalidParameterException(key + " is not a number: " + text);
    }
  }

  /** Splits the text into words: '=', quoted texts, and runs of other characters. */
  private static final class Scanner {
    private final String text;
    private int at;

    Scanner(String text) { this.text = text; }

    String word() {
      skipBlanksAndComments();
      if (at >= text.length()) return null;
      char c = text.charAt(at);
      if (c == '=') {
        ++at;
        return "=";
      }
      if (c == '"') {
        int end = text.indexOf('"', at + 1);
        if (end < 0) throw new InvalidParameterException("a quoted value is not closed");
        String word = text.substring(at + 1, end);
        at = end + 1;
        return word;
      }
      int start = at;
      while (at < text.length() && !Character.isWhitespace(text.charAt(at))
          && text.charAt(at) != '=' && text.charAt(at) != '#') {
        ++at;
      }
      return text.substring(start, at);
    }

    private void skipBlanksAndComments() {
      while (at < text.length()) {
        char c = text.charAt(at);
        if (c == '#') {
          while (at < text.length() && text.charAt(at) != '\n') ++at;
        } else if (Character.isWhitespace(c)) {
          ++at;
        } else {
          return;
        }
      }
    }
  }
}
