package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.Selector;
import picocli.CommandLine.Option;

/** --label and --id: the key a command works with. */
final class KeyOptions {
  @Option(names = "--label", paramLabel = "LABEL", description = "the key's label") String label;

  @Option(names = "--id", paramLabel = "HEX", description = "the key's id, in hex") String id;

  Selector selector() { return selector(label, id, "--id"); }

  /** The objects with `label` and the id `hex` (either may be null); `option` gave the id. */
  static Selector selector(String label, String hex, String option) {
    return Selector.of(label, hex == null ? null : Io.unhex(option, hex));
  }
}
