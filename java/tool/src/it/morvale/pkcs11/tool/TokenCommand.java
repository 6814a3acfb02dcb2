package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.Pkcs11Uri;
import java.util.List;
import java.util.concurrent.Callable;
import picocli.CommandLine.Model.CommandSpec;
import picocli.CommandLine.Spec;

/**
 * A subcommand: loads the module, reads the PINs it needs, and then works on the token, in a
 * traced VM of its own when the run is traced.
 */
abstract class TokenCommand implements Callable<Integer> {
  @Spec CommandSpec spec;

  /** The global options, wherever they stood on the command line. */
  GlobalOptions global() { return GlobalOptions.of(spec); }

  /** The PINs this command needs, read once the module is loaded. */
  List<Pins.Need> pins() { return List.of(); }

  /** The user PIN, from the global options or the terminal. */
  Pins.Need userPin() {
    GlobalOptions global = global();
    return new Pins.Need(Pins.Kind.USER, global.pinEnv, global.pinFile, "User PIN", false);
  }

  /** Checks the command's own arguments before anything is read or loaded. */
  void check() {}

  /** Whether the command selects objects, so that a URI's object attributes mean something. */
  boolean selectsObjects() {
    return spec.mixins().values().stream().anyMatch(m -> m.userObject() instanceof KeyOptions);
  }

  /** A URI that names an object to a command that selects none would be taken in part. */
  private void checkUri(GlobalOptions global) {
    Pkcs11Uri uri = global.uri();
    if (uri != null && uri.choosesObjects() && !selectsObjects()) {
      throw Failure.usage("the URI names an object, and " + spec.name()
          + " selects none: give its token attributes only");
    }
  }

  abstract void run(Token token, Pins pins) throws Exception;

  @Override
  public final Integer call() throws Exception {
    GlobalOptions global = global();
    checkUri(global);
    check();
    if (Traced.wanted(global.trace) && !Traced.isChild()) {
      global.modulePath();
      return Traced.run(Pins.read(pins(), Traced.terminal()).traced());
    }
    // The module is loaded before a PIN is asked for, so that a wrong module is named first.
    try (Token token = Token.open(global)) {
      run(token, Pins.read(pins(), Traced.terminal()));
    }
    return Failure.OK;
  }
}
