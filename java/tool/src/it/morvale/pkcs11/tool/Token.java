package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.LookupException;
import it.morvale.pkcs11.token.ModuleLoadException;
import it.morvale.pkcs11.token.ObjectTemplates;
import it.morvale.pkcs11.token.Names;
import it.morvale.pkcs11.token.Pkcs11Module;
import it.morvale.pkcs11.token.Pkcs11Uri;
import it.morvale.pkcs11.token.Selector;
import it.morvale.pkcs11.token.Session;
import it.morvale.pkcs11.token.Slot;
import it.morvale.pkcs11.token.SlotChoice;
import it.morvale.pkcs11.token.Template;
import it.morvale.pkcs11.token.TokenObject;
import java.security.GeneralSecurityException;
import java.util.Arrays;

/**
 * The module, slot and session of one command, as the global options choose them, with the token
 * layer's look-up failures turned into the tool's one-line failures. Things that the command line
 * names and that are not there are usage failures.
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

  /**
   * The module that the global options name, loaded and initialised. A file that is no module
   * for this machine is a usage failure; a module that refuses to start is a token failure.
   */
  static Token open(GlobalOptions options) {
    String path = options.modulePath();
    try {
      return new Token(options, Pkcs11Module.open(path));
    } catch (ModuleLoadException e) {
      String message = e.getMessage() + options.moduleOrigin();
      if (e.getCause() instanceof PKCS11Exception && ((PKCS11Exception) e.getCause()).hasCode()) {
        throw Failure.token(message, e);
      }
      throw Failure.usage(message);
    } catch (UnsatisfiedLinkError e) {
      throw Failure.token("cannot load the quillon bridge: " + e.getMessage(), e);
    } catch (PKCS11Exception e) {
      throw Failure.token("cannot load the module " + path + ": " + e.getMessage(), e);
    }
  }

  /** The slot that --slot or --token names, else the first slot holding a token. */
  Slot slot() throws PKCS11Exception {
    if (slot != null) return slot;
    try {
      slot = module.slot(choice());
    } catch (LookupException e) {
      throw Failure.usage(e.getMessage() + " (see quillon slots)");
    }
    return slot;
  }

  /** Whether --slot, --token or the token attributes of --uri name a slot. */
  boolean slotNamed() {
    return options.slot != null || options.token != null
        || (options.uri() != null && options.uri().choosesToken());
  }

  private SlotChoice choice() {
    boolean byUri = options.uri() != null && options.uri().choosesToken();
    if ((options.slot != null ? 1 : 0) + (options.token != null ? 1 : 0) + (byUri ? 1 : 0) > 1) {
      throw Failure.usage("give --slot, --token or a URI's token attributes, not two of them");
    }
    if (byUri) return options.uri().slotChoice();
    if (options.token != null && Pkcs11Uri.looksLikeOne(options.token)) {
      Pkcs11Uri uri = GlobalOptions.parse("--token", options.token);
      if (uri.choosesObjects()) {
        throw Failure.usage("--token takes a URI's token attributes only; give the object's"
            + " with --uri");
      }
      if (uri.modulePath() != null) throw Failure.usage("give module-path with --uri");
      return uri.slotChoice();
    }
    if (options.token != null) return SlotChoice.tokenLabel(options.token);
    if (options.slot == null) return SlotChoice.firstToken();
    long number = SlotChoice.parseNumber(options.slot);
    if (number < 0) {
      throw Failure.usage(
          "--slot wants a number from 0 to 4294967295, not \"" + options.slot + "\"");
    }
    return SlotChoice.idOrIndex(number);
  }

  /** A read-only session: enough to read, sign, decrypt and log the user in. */
  Session session() throws PKCS11Exception {
    if (session == null) session = slot().openReadOnly();
    return session;
  }

  /**
   * A read-write session, for a command that creates, changes or destroys objects or PINs; a
   * write-protected token refuses it in one line.
   */
  Session writableSession() throws PKCS11Exception {
    if (session != null && session.isReadWrite()) return session;
    Slot chosen = slot();
    if (chosen.isWriteProtected()) {
      throw Failure.token("the token \"" + chosen.tokenLabel() + "\" is write-protected: it"
              + " cannot be changed",
          null);
    }
    if (session != null) session.close();
    session = chosen.openReadWrite();
    return session;
  }

  /** A read-only session in which the user is logged in. */
  Session user(Pins pins) throws PKCS11Exception {
    Session s = session();
    s.loginUser(pins.get(Pins.Kind.USER));
    return s;
  }

  /** A read-write session in which the user is logged in. */
  Session writingUser(Pins pins) throws PKCS11Exception {
    Session s = writableSession();
    s.loginUser(pins.get(Pins.Kind.USER));
    return s;
  }

  /**
   * The one object of the first of `classes` that has any matching `selector`; `what` names them
   * in messages ("wrapping key"), and `options` is the prefix of the options that select them
   * ("" for --label and --id, "wrapping-" for --wrapping-label and --wrapping-id).
   */
  static TokenObject key(Session s, Selector selector, String options, String what, int... classes)
      throws PKCS11Exception {
    Integer wanted = selector.objectClass();
    if (wanted != null) {
      // A URI's type= keeps the classes that the command can use to the one it names.
      if (Arrays.stream(classes).noneMatch(c -> c == wanted)) {
        throw Failure.usage("a " + Names.objectClass(wanted) + " is asked for, and this command"
            + " works with a " + what);
      }
      classes = new int[] {wanted};
    }
    try {
      return s.findOne(selector, classes);
    } catch (LookupException e) {
      if (!e.isAmbiguous()) throw Failure.usage("no " + what + selector.describe());
      String id = "--" + options + "id";
      throw Failure.usage(e.getMessage() + "; pick one with "
          + (selector.label() == null ? "--" + options + "label or " + id : id));
    }
  }

  /** A label names one object: a new key may not take one that is in use. */
  static void refuseTaken(Session session, String label) throws PKCS11Exception {
    if (label != null && !session.find(new Template().add(Cryptoki.CKA_LABEL, label)).isEmpty()) {
      throw Failure.usage("an object labelled \"" + label + "\" is on the token already");
    }
  }

  /** The public key that `key` holds (a certificate its subject's), as a java.security key. */
  static java.security.PublicKey publicKey(TokenObject key) throws PKCS11Exception {
    try {
      return ObjectTemplates.publicKeyOf(key);
    } catch (GeneralSecurityException e) {
      throw Failure.usage(
          "no public key to be had from the " + describe(key) + ": " + e.getMessage());
    }
  }

  /** `key "k"`, `certificate "c"`, `data object "d"`: the object as messages name it. */
  static String describe(TokenObject object) {
    int objectClass = object.objectClassIfPresent();
    String key = object.describe();
    if (objectClass == -1 || Names.isKey(objectClass)) return key;
    return Names.objectClass(objectClass) + key.substring("key".length());
  }

  /**
   * Whether modules stay loaded and initialised when a command ends, for the next command in the
   * same VM (a shell's lines): the layer hands the next open of the same file the same module.
   */
  private static boolean keepModules;

  private static final java.util.Set<Pkcs11Module> KEPT = new java.util.LinkedHashSet<>();

  /** From now on the modules that commands load stay loaded until {@link #closeKept}. */
  static void keepModules() { keepModules = true; }

  /** Finalises the modules kept loaded for later commands. */
  static void closeKept() throws PKCS11Exception {
    keepModules = false;
    for (Pkcs11Module kept : KEPT) kept.close();
    KEPT.clear();
  }

  @Override
  public void close() throws PKCS11Exception {
    if (session != null) session.close();
    if (keepModules) {
      KEPT.add(module);
    } else {
      module.close();
    }
  }
}
