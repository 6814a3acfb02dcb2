package it.morvale.pkcs11.tool;

import picocli.CommandLine.Option;

/** --label and --id: the key a command works with. */
final class KeyOptions {
  @Option(names = "--label", paramLabel = "LABEL", description = "the key's label") String label;

  @Option(names = "--id", paramLabel = "HEX", description = "the key's id, in hex") String id;

  Token.Selector selector() { return new Token.Selector(label, id, "--id"); }
}
