package it.morvale.pkcs11.tool;

import java.nio.file.Path;
import picocli.CommandLine.Option;

/** --out: the file a command writes, standard output when none is named. */
final class OutputOption {
  @Option(names = "--out", paramLabel = "FILE", descriptionKey = "out") Path file;

  void write(byte[] data) { Io.write(file, data); }

  /** Whether the data went to a named file, so that a line about it may be printed. */
  boolean named() { return !Io.isStandard(file); }
}
