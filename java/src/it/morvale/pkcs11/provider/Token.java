package it.morvale.pkcs11.provider;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.token.Pkcs11Module;
import it.morvale.pkcs11.token.Session;
import it.morvale.pkcs11.token.Slot;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.security.ProviderException;
import java.security.PublicKey;

/**
 * The token that a configured provider works on: its module, its slot, and the one read-write
 * session that every key, signature and key store of the provider uses. Logins belong to the
 * token, not to a session, so a login through the key store serves every object of the provider.
 * The module's lock serialises every call, so one session serves any number of threads.
 */
final class Token {
  final TokenConfig config;
  final Pkcs11Module module;
  final Slot slot;
  private Session session;

  private Token(TokenConfig config, Pkcs11Module module, Slot slot) {
    this.config = config;
    this.module = module;
    this.slot = slot;
  }

  /** Loads the module and finds the configured token; ProviderException when either fails. */
  static Token open(TokenConfig config) {
    try {
      Pkcs11Module module = Pkcs11Module.open(config.library);
      Slot slot;
      String wanted;
      if (config.tokenLabel != null) {
        slot = module.slotWithToken(config.tokenLabel);
        wanted = "a token labelled \"" + config.tokenLabel + "\"";
      } else if (config.slot != null) {
        slot = module.slotWithId(config.slot);
        wanted = "a slot with ID " + config.slot;
      } else if (config.slotListIndex != null) {
        slot = module.slotAt(config.slotListIndex);
        wanted = "a slot at index " + config.slotListIndex;
      } else {
        slot = module.firstSlotWithToken();
        wanted = "a slot holding a token";
      }
      if (slot == null) throw new ProviderException(config.library + " has no " + wanted);
      return new Token(config, module, slot);
    } catch (PKCS11Exception e) {
      throw new ProviderException(failure("cannot open the module " + config.library, e), e);
    }
  }

  /** The provider's session, opened on first use. */
  synchronized Session session() throws PKCS11Exception {
    if (session == null) session = slot.openSession(true);
    return session;
  }

  /** Logs the user in with `pin`; a user already logged in is fine. */
  void login(char[] pin) throws PKCS11Exception { session().login(false, new String(pin)); }

  /**
   * The CKA_ID given to a key pair that has none: the SHA-1 hash of its public key's encoding, so
   * the same key always gets the same ID.
   */
  static byte[] idOf(PublicKey publicKey) {
    try {
      return MessageDigest.getInstance("SHA-1").digest(publicKey.getEncoded());
    } catch (NoSuchAlgorithmException e) {
      throw new ProviderException("the platform has no SHA-1", e);
    }
  }

  /** A failure's text: what failed and the token's reason, e.g. its CKR_ name. */
  static String failure(String what, PKCS11Exception e) { return what + ": " + e.getMessage(); }

  @Override
  public String toString() {
    return "token in slot " + slot.id() + " of " + config.library;
  }
}
