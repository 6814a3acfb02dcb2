package it.morvale.pkcs11.tool;

import java.nio.file.Path;
import picocli.CommandLine.Option;

/** --in: the file a command reads, standard input when none is named. */
final class InputOption {
  @Option(names = "--in", paramLabel = "FILE", descriptionKey = "in") Path file;

  byte[] read() { return Io.read(file); }

  /** The whole input, refused when it holds more than `limit` bytes (`what` cannot take them). */
  byte[] read(int limit, String what) { return Io.read(file, limit, what); }

  /** Hands the input to `part` a buffer at a time; the number of bytes read. */
  long feed(Io.Part part) throws Exception { return Io.feed(file, part); }
}
