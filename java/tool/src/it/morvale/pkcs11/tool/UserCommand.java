package it.morvale.pkcs11.tool;

import java.util.List;

/** A command that always logs the user in: it works with private keys or changes the token. */
abstract class UserCommand extends TokenCommand {
  @Override
  final List<Pins.Need> pins() {
    return List.of(userPin());
  }
}
