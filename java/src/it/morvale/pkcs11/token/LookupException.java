package it.morvale.pkcs11.token;

import it.morvale.pkcs11.PKCS11Exception;

/**
 * A look-up that found nothing, or more than the one thing it needed: "no private key labelled
 * \"k\"", "2 tokens are labelled \"t\" (slots 1, 5); choose one by its slot".
 */
public final class LookupException extends PKCS11Exception {
  private static final long serialVersionUID = 1L;

  private final int matches;

  LookupException(int matches, String message) {
    super(message);
    this.matches = matches;
  }

  /** How many matched: 0 when nothing did, more than 1 when the choice was ambiguous. */
  public int matches() { return matches; }

  /** Whether several things matched where one was needed. */
  public boolean isAmbiguous() { return matches > 1; }
}
