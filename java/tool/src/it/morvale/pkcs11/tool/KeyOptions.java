package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.Pkcs11Uri;
import it.morvale.pkcs11.token.Selector;
import picocli.CommandLine.Model.CommandSpec;
import picocli.CommandLine.Option;
import picocli.CommandLine.Spec;

/** --label and --id: the key a command works with. */
final class KeyOptions {
  @Option(names = "--label", paramLabel = "LABEL", description = "the key's label") String label;

  @Option(names = "--id", paramLabel = "HEX", description = "the key's id, in hex") String id;

  @Spec(Spec.Target.MIXEE) CommandSpec command;

  /** The key that --label and --id select, or else the object attributes of --uri. */
  Selector selector() {
    Pkcs11Uri uri = GlobalOptions.of(command).uri();
    if (uri != null && uri.choosesObjects()) {
      if (label != null || id != null) {
        throw Failure.usage("give the key by --label and --id or by the URI, not both");
      }
      return uri.selector();
    }
    return selector(label, id, "--id");
  }

  /** The objects with `label` and the id `hex` (either may be null); `option` gave the id. */
  static Selector selector(String label, String hex, String option) {
    return Selector.of(label, hex == null ? null : Io.unhex(option, hex));
  }
}
