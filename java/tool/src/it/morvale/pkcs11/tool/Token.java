package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.nat.NativePKCS11;
import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Pkcs11Module;
import it.morvale.pkcs11.token.PublicKeys;
import it.morvale.pkcs11.token.Session;
import it.morvale.pkcs11.token.Slot;
import it.morvale.pkcs11.token.Template;
import it.morvale.pkcs11.token.TokenObject;
import java.math.BigInteger;
import java.security.GeneralSecurityException;
import java.util.List;
import java.util.Locale;

/**
 * The module, slot and session of one command, found from the global options, and the keys on
 * the token. Things that the command line names and that are not there are usage failures, found
 * before the module is asked to work with them.
 */
final class Token implements AutoCloseable {
  private final GlobalOptions options;
  final Pkcs11Module module;
  private Slot slot;
  private Session session;

  private Token(GlobalOptions options, Pkcs11Module module) {
    this.options = options;
    this.module = module;
  }

  static Token open(GlobalOptions options, String path) {
    try {
      NativePKCS11.loadBridge();
    } catch (UnsatisfiedLinkError e) {
      throw Failure.token("cannot load the quillon bridge: " + e.getMessage(), e);
    }
    try {
      return new Token(options, Pkcs11Module.open(path));
    } catch (PKCS11Exception e) {
      throw Failure.token("cannot load the module " + path + ": " + e.getMessage(), e);
    }
  }

  /** The slot that --slot or --token names, else the first slot holding a token. */
  Slot slot() throws PKCS11Exception {
    if (slot != null) return slot;
    if (options.slot != null && options.token != null) {
      throw Failure.usage("give --slot or --token, not both");
    }
    if (options.token != null) {
      slot = module.slotWithToken(options.token);
      if (slot == null) throw Failure.usage("no token labelled \"" + options.token + "\"");
    } else if (options.slot != null) {
      long number = slotNumber(options.slot);
      slot = module.slotWithId(number);
      if (slot == null && number <= Integer.MAX_VALUE) slot = module.slotAt((int) number);
      if (slot == null) {
        throw Failure.usage("no slot " + options.slot + ": neither the ID nor the index of one of "
            + module.slots(false).size() + " slots (see quillon slots)");
      }
    } else {
      slot = module.firstSlotWithToken();
      if (slot == null) throw Failure.usage("no slot holds a token");
    }
    return slot;
  }

  /** An unsigned 32-bit slot number, decimal or 0x hex. */
  private static long slotNumber(String text) {
    try {
      long n = text.toLowerCase(Locale.ROOT).startsWith("0x")
          ? Long.parseLong(text.substring(2), 16)
          : Long.parseLong(text);
      if (n >= 0 && n <= 0xFFFFFFFFL) return n;
    } catch (NumberFormatException e) {
      // Reported below.
    }
    throw Failure.usage("--slot wants a number from 0 to 4294967295, not \"" + text + "\"");
  }

  /** A session with the token; read-write when the command changes the token. */
  Session session(boolean readWrite) throws PKCS11Exception {
    if (session == null) session = slot().openSession(readWrite);
    return session;
  }

  /** A session in which the user is logged in. */
  Session user(boolean readWrite, Pins pins) throws PKCS11Exception {
    Session s = session(readWrite);
    s.login(false, pins.get(Pins.Kind.USER));
    return s;
  }

  /** --label and --id: which objects a command means. */
  static final class Selector {
    final String label;
    final byte[] id;

    Selector(String label, String idHex, String idOption) {
      this.label = label;
      this.id = idHex == null ? null : Io.unhex(idOption, idHex);
    }

    boolean isEmpty() { return label == null && id == null; }

    Template template(int objectClass) {
      return new Template()
          .add(Cryptoki.CKA_CLASS, objectClass)
          .addIfPresent(Cryptoki.CKA_LABEL, label)
          .addIfPresent(Cryptoki.CKA_ID, id);
    }

    Template any() {
      return new Template()
          .addIfPresent(Cryptoki.CKA_LABEL, label)
          .addIfPresent(Cryptoki.CKA_ID, id);
    }

    /** ` labelled "x" with id 01`, or ` on the token` when nothing is selected. */
    String describe() {
      if (isEmpty()) return " on the token";
      return (label == null ? "" : " labelled \"" + label + "\"")
          + (id == null ? "" : " with id " + Io.hex(id));
    }
  }

  /**
   * The one object of the first of `classes` that has any matching `selector`; `what` names them
   * in messages ("private key").
   */
  TokenObject key(Session s, Selector selector, String what, int... classes)
      throws PKCS11Exception {
    for (int objectClass : classes) {
      List<TokenObject> found = s.find(selector.template(objectClass));
      if (found.size() == 1) return found.get(0);
      if (found.size() > 1) {
        throw Failure.usage(found.size() + " " + Names.objectClass(objectClass) + "s"
            + selector.describe() + "; pick one with "
            + (selector.label == null ? "--label or --id" : "--id"));
      }
    }
    throw Failure.usage("no " + what + selector.describe());
  }

  /** A label names one object: a new key may not take one that is in use. */
  static void refuseTaken(Session session, String label) throws PKCS11Exception {
    if (label != null && !session.find(new Template().add(Cryptoki.CKA_LABEL, label)).isEmpty()) {
      throw Failure.usage("an object labelled \"" + label + "\" is on the token already");
    }
  }

  /** The public key that `key` holds, as a java.security key. */
  static java.security.PublicKey publicKey(TokenObject key) throws PKCS11Exception {
    try {
      return PublicKeys.of(key);
    } catch (GeneralSecurityException e) {
      throw Failure.usage("no public key to be had from this key: " + e.getMessage());
    }
  }

  /** The length in bytes of an RSA key's modulus. */
  static int modulusBytes(TokenObject key) throws PKCS11Exception {
    BigInteger modulus = key.bigInteger(Cryptoki.CKA_MODULUS);
    return (modulus.bitLength() + 7) / 8;
  }

  @Override
  public void close() throws PKCS11Exception {
    if (session != null) session.close();
    module.close();
  }
}
