package it.morvale.pkcs11.provider;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.token.LookupException;
import it.morvale.pkcs11.token.Pkcs11Module;
import it.morvale.pkcs11.token.Session;
import it.morvale.pkcs11.token.Slot;
import it.morvale.pkcs11.token.SlotChoice;
import java.security.ProviderException;

/**
 * The token that a configured provider works on: its module, its slot, and the sessions that
 * every key, signature and key store of the provider uses. Reading, signing and decrypting use a
 * read-only session, so that a write-protected token works; a read-write session is opened only
 * when the key store or a key generator writes. Logins belong to the token, not to a session, so
 * a login through the key store serves every object of the provider. The module's lock
 * serialises every call, so one session of each kind serves any number of threads.
 */
final class Token {
  final TokenConfig config;
  final Pkcs11Module module;
  final Slot slot;
  private Session reading;
  private Session writing;

  private Token(TokenConfig config, Pkcs11Module module, Slot slot) {
    this.config = config;
    this.module = module;
    this.slot = slot;
  }

  /** Loads the module and finds the configured token; ProviderException when either fails. */
  static Token open(TokenConfig config) {
    try {
      Pkcs11Module module = Pkcs11Module.open(config.library);
      Slot slot = module.slot(SlotChoice.of(config.tokenLabel, config.slot, config.slotListIndex));
      return new Token(config, module, slot);
    } catch (LookupException e) {
      throw new ProviderException(config.library + ": " + e.getMessage(), e);
    } catch (PKCS11Exception e) {
      throw new ProviderException(e.getMessage(), e);
    }
  }

  /** The provider's read-only session, opened on first use. */
  synchronized Session session() throws PKCS11Exception {
    if (reading == null) reading = slot.openReadOnly();
    return reading;
  }

  /** The provider's read-write session, opened when something is first written. */
  synchronized Session writingSession() throws PKCS11Exception {
    if (writing == null) {
      if (slot.isWriteProtected()) {
        throw new PKCS11Exception("the token is write-protected: nothing can be stored on it");
      }
      writing = slot.openReadWrite();
    }
    return writing;
  }

  /** Logs the user in with `pin`; a user already logged in is fine. */
  void login(char[] pin) throws PKCS11Exception { session().loginUser(new String(pin)); }

  /** A failure's text: what failed and the token's reason, e.g. its CKR_ name. */
  static String failure(String what, PKCS11Exception e) { return what + ": " + e.getMessage(); }

  @Override
  public String toString() {
    return "token in slot " + slot.id() + " of " + config.library;
  }
}
