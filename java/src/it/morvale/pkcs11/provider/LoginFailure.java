package it.morvale.pkcs11.provider;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.token.Cryptoki;
import javax.security.auth.login.AccountLockedException;
import javax.security.auth.login.FailedLoginException;
import javax.security.auth.login.LoginException;

/**
 * The login exception that a token's refusal of a login amounts to, for the provider's {@code
 * login} and the key store's {@code load}: a wrong, malformed or expired PIN is a {@link
 * FailedLoginException}, a locked one an {@link AccountLockedException}, anything else a plain
 * {@link LoginException}. Each carries the {@link PKCS11Exception} as its cause.
 */
final class LoginFailure {
  private LoginFailure() {}

  /** Whether `e` says the PIN itself was refused (wrong, malformed, expired or locked). */
  static boolean isPinRefused(PKCS11Exception e) {
    if (!e.hasCode()) return false;
    switch (e.getCode()) {
      case Cryptoki.CKR_PIN_INCORRECT:
      case Cryptoki.CKR_PIN_INVALID:
      case Cryptoki.CKR_PIN_LEN_RANGE:
      case Cryptoki.CKR_PIN_EXPIRED:
      case Cryptoki.CKR_PIN_LOCKED:
        return true;
      default:
        return false;
    }
  }

  /** The login exception of `e`, with `e` as its cause. */
  static LoginException of(PKCS11Exception e) {
    String text = Token.failure("the token refused the login", e);
    LoginException failure;
    if (e.hasCode() && e.getCode() == Cryptoki.CKR_PIN_LOCKED) {
      failure = new AccountLockedException(text);
    } else if (isPinRefused(e)) {
      failure = new FailedLoginException(text);
    } else {
      failure = new LoginException(text);
    }
    failure.initCause(e);
    return failure;
  }
}
