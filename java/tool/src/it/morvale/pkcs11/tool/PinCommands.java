package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Session;
import it.morvale.pkcs11.token.Slot;
import java.nio.charset.StandardCharsets;
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
          + " token that is not initialized yet. A token initialized already keeps its SO PIN,"
          + " which is asked for; a label that another token has is refused."})
  static final class InitToken extends TokenCommand {
    /** What CK_TOKEN_INFO holds of a label. */
    private static final int LABEL_BYTES = 32;

    @Option(names = "--label", required = true, paramLabel = "LABEL",
        description = "the token's new label (at most 32 bytes)")
    String label;

    @Mixin Pins.SoOptions so;

    @Override
    void check() {
      int bytes = label.getBytes(StandardCharsets.UTF_8).length;
      if (bytes > LABEL_BYTES) {
        throw Failure.usage("a token label holds at most " + LABEL_BYTES + " bytes; \"" + label
            + "\" has " + bytes + " (the token would cut it)");
      }
      if (label.isBlank()) throw Failure.usage("a token label may not be empty");
    }

    @Override
    void run(Token token, Pins none) throws PKCS11Exception {
      Slot slot = token.slotNamed() ? token.slot() : blank(token);
      refuseTakenLabel(token, slot);
      boolean initialized = initialized(slot);
      String old = initialized ? slot.tokenLabel() : null;
      // Which SO PIN is wanted depends on the token: read it once the token is known.
      Pins.Need need = initialized
          ? new Pins.Need(Pins.Kind.SO, so.env, so.file, "Current SO PIN of \"" + old + "\"", false)
          : new Pins.Need(Pins.Kind.SO, so.env, so.file, "New SO PIN", true);
      if (initialized) {
        System.err.println("quillon: init-token: every object on the token \"" + old + "\" (slot "
            + slot.id() + ") is destroyed; its SO PIN stays");
      }
      Pins pins = Pins.read(List.of(need), Traced.terminal());
      slot.initToken(pins.get(Pins.Kind.SO), label);
      System.out.println("initialized the token \"" + label + "\" (slot " + slot.id() + ")"
          + (initialized ? ", destroying every object of \"" + old + "\"" : ""));
    }

    /** Two tokens with one label could not be told apart by --token: the label is refused. */
    private void refuseTakenLabel(Token token, Slot chosen) throws PKCS11Exception {
      for (Slot other : token.module.slotsWithToken()) {
        if (other.id() == chosen.id()) continue;
        if (!initialized(other)) continue;
        if (label.equals(other.tokenLabel())) {
          throw Failure.usage("the token in slot " + other.id() + " is labelled \"" + label
              + "\" already; give this one another label, so that --token names one token");
        }
      }
    }

    private static boolean initialized(Slot slot) throws PKCS11Exception {
      return (slot.tokenInfo().getFlags() & Cryptoki.CKF_TOKEN_INITIALIZED) != 0;
    }

    /** The first slot whose token is not initialized. */
    private static Slot blank(Token token) throws PKCS11Exception {
      for (Slot slot : token.module.slotsWithToken()) {
        if (!initialized(slot)) return slot;
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
