package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.Selector;
import picocli.CommandLine.Option;

/** --wrapping-label and --wrapping-id: the key that wraps or unwraps. */
final class WrappingKeyOptions {
  @Option(names = "--wrapping-label", paramLabel = "LABEL",
      description = "the wrapping key's label (an RSA key pair or an AES key)")
  String label;

  @Option(names = "--wrapping-id", paramLabel = "HEX", description = "the wrapping key's id")
  String id;

  Selector selector() {
    Selector selector = KeyOptions.selector(label, id, "--wrapping-id");
    if (selector.isEmpty()) {
      throw Failure.usage("name the wrapping key with --wrapping-label or --wrapping-id");
    }
    return selector;
  }
}
