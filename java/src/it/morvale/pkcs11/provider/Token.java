package it.morvale.pkcs11.provider;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.token.LookupException;
import it.morvale.pkcs11.token.Pkcs11Module;
import it.morvale.pkcs11.token.SessionPool;
import it.morvale.pkcs11.token.Slot;
import it.morvale.pkcs11.token.SlotChoice;
import java.security.ProviderException;
import java.time.Duration;

/**
 * The token that a configured provider works on: its module and a pool of its sessions, which
 * every key, signature, cipher and key store of the provider borrows from for one operation at a
 * time, so that any number of threads work at once where the module locks for itself. Reads use
 * read-only sessions, so a write-protected token works; read-write ones are opened only when
 * something is written. The pool heals after lost sessions, logins, tokens and modules.
 */
final class Token {
  final TokenConfig config;
  final SessionPool pool;

  private Token(TokenConfig config, SessionPool pool) {
    this.config = config;
    this.pool = pool;
  }

  /** Loads the module and finds the configured token; ProviderException when either fails. */
  static Token open(TokenConfig config) {
    try {
      Pkcs11Module module = Pkcs11Module.open(config.library,
          config.concurrentWhenInitialisedElsewhere ? Pkcs11Module.Locking.MODULE
                                                    : Pkcs11Module.Locking.LAYER);
      Slot slot = module.slot(SlotChoice.of(config.tokenLabel, config.slot, config.slotListIndex));
      SessionPool pool =
          SessionPool.open(slot, config.maxSessions, Duration.ofSeconds(config.sessionWaitSeconds));
      return new Token(config, pool);
    } catch (LookupException e) {
      throw new ProviderException(config.library + ": " + e.getMessage(), e);
    } catch (PKCS11Exception e) {
      throw new ProviderException(e.getMessage(), e);
    }
  }

  /** Logs the user in with `pin`; a user already logged in is fine. */
  void login(char[] pin) throws PKCS11Exception { pool.loginUser(pin); }

  /** A failure's text: what failed and the token's reason, e.g. its CKR_ name. */
  static String failure(String what, PKCS11Exception e) { return what + ": " + e.getMessage(); }

  @Override
  public String toString() {
    return "token in slot " + pool.slot().id() + " of " + config.library;
  }
}
