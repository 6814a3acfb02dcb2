package it.morvale.pkcs11.tool;

import java.util.List;
import java.util.concurrent.Callable;
import picocli.CommandLine.ParentCommand;

/**
 * A subcommand: finds the module, reads the PINs it needs, and then works on the token, in a
 * traced VM of its own when the run is traced.
 */
abstract class TokenCommand implements Callable<Integer> {
  @ParentCommand Quillon quillon;

  /** The PINs this command needs, read before the module is loaded. */
  List<Pins.Need> pins() { return List.of(); }

  /** The user PIN, from the global options or the terminal. */
  Pins.Need userPin() {
    return new Pins.Need(Pins.Kind.USER, quillon.pinEnv, quillon.pinFile, "User PIN", false);
  }

  /** Checks the command's own arguments before anything is read or loaded. */
  void check() {}

  abstract void run(Token token, Pins pins) throws Exception;

  @Override
  public final Integer call() throws Exception {
    check();
    String module = quillon.modulePath();
    Pins pins = Pins.read(pins(), Traced.terminal());
    if (Traced.wanted(quillon.trace) && !Traced.isChild()) return Traced.run(pins);
    try (Token token = Token.open(quillon, module)) {
      run(token, pins);
    }
    return Quillon.OK;
  }
}
