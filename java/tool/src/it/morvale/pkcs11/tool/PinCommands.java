package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Session;
import it.morvale.pkcs11.token.Slot;
import java.util.List;
import picocli.CommandLine.Command;
import picocli.CommandLine.Mixin;
import picocli.CommandLine.Option;

/** Token initialisation and the PINs. */
final class PinCommands {
  private PinCommands() {}

  @Command(name = "init-token",
      description = {"Initialize a token: every object on it is"
          + " destroyed, and it gets a label and an SO PIN. Without --slot or --token, the first"
          + " token that is not initialized yet."})
  static final class InitToken extends TokenCommand {
    @Option(names = "--label", required = true, paramLabel = "LABEL",
        description = "the token's new label (at most 32 bytes)")
    String label;

    @Mixin Pins.SoOptions so;

    @Override
    List<Pins.Need> pins() {
      return List.of(new Pins.Need(Pins.Kind.SO, so.env, so.file, "New SO PIN", true));
    }

    @Override
    void run(Token token, Pins pins) throws PKCS11Exception {
      Slot slot = token.slotNamed() ? token.slot() : blank(token);
      slot.initToken(pins.get(Pins.Kind.SO), label);
      System.out.println("initialized the token \"" + label + "\" (slot " + slot.id() + ")");
    }

    /** The first slot whose token is not initialized. */
    private static Slot blank(Token token) throws PKCS11Exception {
      for (Slot slot : token.module.slotsWithToken()) {
        if ((slot.tokenInfo().getFlags() & Cryptoki.CKF_TOKEN_INITIALIZED) == 0) return slot;
      }
      throw Failure.usage("every token is initialized already; name the one to initialize anew"
          + " with --slot or --token");
    }
  }

  @Command(name = "init-pin", description = "Set the user PIN, logged in as the SO.")
  static final class InitPin extends TokenCommand {
    @Mixin Pins.SoOptions so;
    @Mixin Pins.NewOptions user;

    @Override
    List<Pins.Need> pins() {
      return List.of(new Pins.Need(Pins.Kind.SO, so.env, so.file, "SO PIN", false),
          new Pins.Need(Pins.Kind.NEW, user.env, user.file, "New user PIN", true));
    }

    @Override
    void run(Token token, Pins pins) throws PKCS11Exception {
      Session session = token.writableSession();
      session.loginSecurityOfficer(pins.get(Pins.Kind.SO));
      session.initPin(pins.get(Pins.Kind.NEW));
      session.logout();
      System.out.println("set the user PIN of the token \"" + token.slot().tokenLabel() + "\"");
    }
  }

  @Command(name = "change-pin", description = "Change the user PIN, or with --so the SO PIN.")
  static final class ChangePin extends TokenCommand {
    @Option(names = "--so", description = "change the SO PIN (the current one from --so-pin-…)")
    boolean securityOfficer;

    @Mixin Pins.SoOptions so;
    @Mixin Pins.NewOptions changed;

    @Override
    List<Pins.Need> pins() {
      Pins.Need current = securityOfficer
          ? new Pins.Need(Pins.Kind.SO, so.env, so.file, "Current SO PIN", false)
          : userPin();
      return List.of(current,
          new Pins.Need(Pins.Kind.NEW, changed.env, changed.file,
              securityOfficer ? "New SO PIN" : "New user PIN", true));
    }

    @Override
    void run(Token token, Pins pins) throws PKCS11Exception {
      Session session = token.writableSession();
      String current = pins.get(securityOfficer ? Pins.Kind.SO : Pins.Kind.USER);
      // The SO changes its PIN logged in; the user's PIN changes in a public session.
      if (securityOfficer) session.loginSecurityOfficer(current);
      session.setPin(current, pins.get(Pins.Kind.NEW));
      System.out.println("changed the " + (securityOfficer ? "SO" : "user") + " PIN of the token \""
          + token.slot().tokenLabel() + "\"");
    }
  }
}
