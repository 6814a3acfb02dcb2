package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.token.Session;
import java.util.List;
import picocli.CommandLine.Option;

/**
 * A command that works with public objects and logs in only when asked to: with --login, or
 * when a PIN option is given.
 */
abstract class PublicCommand extends TokenCommand {
  @Option(names = "--login",
      description = "log in first (asking for the PIN), to reach private objects too")
  boolean login;

  /** Whether the command logs in: --login or a PIN option. */
  boolean loggedIn() {
    GlobalOptions global = global();
    return login || global.pinEnv != null || global.pinFile != null;
  }

  @Override
  final List<Pins.Need> pins() {
    return loggedIn() ? List.of(userPin()) : List.of();
  }

  /** A read-only session, logged in when asked. */
  Session session(Token token, Pins pins) throws PKCS11Exception {
    return loggedIn() ? token.user(pins) : token.session();
  }
}
