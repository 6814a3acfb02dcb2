package it.morvale.pkcs11.tool;

import picocli.CommandLine.Option;

/** --format: how an EC signature is written. */
final class FormatOption {
  /** The token's r‖s, or DER as OpenSSL and Java read it. */
  enum Format { rs, der }

  @Option(names = "--format", paramLabel = "rs|der", descriptionKey = "format")
  Format format = Format.rs;

  boolean der() { return format == Format.der; }
}
