package it.morvale.pkcs11.token;

import static it.morvale.pkcs11.token.Cryptoki.*;

import it.morvale.pkcs11.PKCS11Exception;
import java.util.Map;

/**
 * What a module's return code means, in plain words, for the codes that people meet in everyday
 * work: a wrong or locked PIN, a key that may not do what was asked, data of the wrong size. The
 * CKR_ name says which code it was; the sentence says what to do about it.
 */
public final class Explanations {
  private Explanations() {}

  private static final Map<Integer, String> SENTENCES = Map.ofEntries(
      Map.entry(CKR_PIN_INCORRECT, "the PIN is wrong; the token counts the failed try"),
      Map.entry(CKR_PIN_INVALID, "the PIN has characters that the token does not take"),
      Map.entry(CKR_PIN_LEN_RANGE, "the PIN is too short or too long for this token"),
      Map.entry(CKR_PIN_EXPIRED, "the PIN has expired: set a new one first"),
      Map.entry(CKR_PIN_LOCKED,
          "the PIN is locked after too many wrong tries: the SO must set a"
              + " new one"),
      Map.entry(CKR_PIN_TOO_WEAK, "the token finds the new PIN too easy to guess"),
      Map.entry(CKR_USER_NOT_LOGGED_IN, "this needs a login first"),
      Map.entry(CKR_USER_PIN_NOT_INITIALIZED,
          "the token has no user PIN yet: set one with"
              + " init-pin"),
      Map.entry(CKR_USER_ANOTHER_ALREADY_LOGGED_IN,
          "someone else (the SO or the user) is logged"
              + " in to this token already"),
      Map.entry(CKR_USER_TYPE_INVALID, "the token has no such kind of user"),
      Map.entry(CKR_SESSION_READ_ONLY, "the session is read-only, and this changes the token"),
      Map.entry(CKR_SESSION_READ_WRITE_SO_EXISTS,
          "the SO has a read-write session open on this"
              + " token"),
      Map.entry(CKR_TOKEN_WRITE_PROTECTED, "the token is write-protected"),
      Map.entry(CKR_TOKEN_NOT_PRESENT, "there is no token in the slot"),
      Map.entry(CKR_TOKEN_NOT_RECOGNIZED, "the module does not recognise the token in the slot"),
      Map.entry(CKR_DEVICE_REMOVED, "the token was removed"),
      Map.entry(CKR_DEVICE_MEMORY, "the token has no room left"),
      Map.entry(CKR_TOKEN_RESOURCE_EXCEEDED, "the token has no room left for this"),
      Map.entry(CKR_KEY_UNEXTRACTABLE, "the key may not leave the token, not even wrapped"),
      Map.entry(CKR_KEY_NOT_WRAPPABLE, "the key may not be wrapped by this wrapping key"),
      Map.entry(CKR_KEY_FUNCTION_NOT_PERMITTED, "the key's attributes do not allow this use"),
      Map.entry(CKR_KEY_TYPE_INCONSISTENT, "the mechanism does not work with this type of key"),
      Map.entry(CKR_KEY_SIZE_RANGE,
          "the token does not take keys of this size for the"
              + " mechanism"),
      Map.entry(CKR_KEY_HANDLE_INVALID, "the key is no longer on the token"),
      Map.entry(CKR_OBJECT_HANDLE_INVALID, "the object is no longer on the token"),
      Map.entry(CKR_MECHANISM_INVALID, "the token does not offer this mechanism (for this key)"),
      Map.entry(CKR_MECHANISM_PARAM_INVALID,
          "the token does not take the mechanism's"
              + " parameters"),
      Map.entry(CKR_DATA_LEN_RANGE,
          "the data is too long or too short for the mechanism and"
              + " key"),
      Map.entry(CKR_DATA_INVALID, "the token does not take this data for the mechanism"),
      Map.entry(CKR_ENCRYPTED_DATA_INVALID, "the ciphertext is not one this key made"),
      Map.entry(CKR_ENCRYPTED_DATA_LEN_RANGE, "the ciphertext has the wrong length for this key"),
      Map.entry(CKR_SIGNATURE_INVALID, "the signature does not match"),
      Map.entry(CKR_SIGNATURE_LEN_RANGE, "the signature has the wrong length for this key"),
      Map.entry(CKR_WRAPPED_KEY_INVALID, "the wrapped key is not one this key wrapped"),
      Map.entry(CKR_WRAPPED_KEY_LEN_RANGE, "the wrapped key has the wrong length"),
      Map.entry(CKR_WRAPPING_KEY_TYPE_INCONSISTENT,
          "the mechanism does not wrap with this type"
              + " of key"),
      Map.entry(CKR_UNWRAPPING_KEY_TYPE_INCONSISTENT,
          "the mechanism does not unwrap with this"
              + " type of key"),
      Map.entry(CKR_ATTRIBUTE_READ_ONLY,
          "the token does not let this attribute be set or"
              + " changed"),
      Map.entry(CKR_ATTRIBUTE_SENSITIVE, "the attribute is secret and never leaves the token"),
      Map.entry(CKR_ATTRIBUTE_TYPE_INVALID, "the object has no such attribute"),
      Map.entry(CKR_ATTRIBUTE_VALUE_INVALID, "the token does not take an attribute's value"),
      Map.entry(CKR_TEMPLATE_INCOMPLETE, "the token wants an attribute that was not given"),
      Map.entry(CKR_TEMPLATE_INCONSISTENT, "the token does not take these attributes together"),
      Map.entry(CKR_CURVE_NOT_SUPPORTED, "the token does not know this curve"),
      Map.entry(CKR_DOMAIN_PARAMS_INVALID, "the token does not take these key parameters"),
      Map.entry(CKR_ACTION_PROHIBITED, "the token's policy forbids this"),
      Map.entry(CKR_FUNCTION_NOT_SUPPORTED, "the module does not offer this function"),
      Map.entry(CKR_FUNCTION_REJECTED, "the token turned the request down"),
      Map.entry(CKR_SESSION_COUNT, "the token has as many sessions open as it can"),
      Map.entry(CKR_SLOT_ID_INVALID, "there is no such slot"),
      Map.entry(CKR_GENERAL_ERROR, "the module failed and does not say why"));

  /** What `code` means, or null when there is nothing plainer to say than its name. */
  public static String of(int code) { return SENTENCES.get(code); }

  /**
   * The exception's message with the plain words beside the CKR_ name, "CKR_PIN_LEN_RANGE
   * (0x000000A2): the PIN is too short or too long for this token"; the message alone for an
   * exception without a code or a code without words.
   */
  public static String describe(PKCS11Exception e) {
    String words = e.hasCode() && !e.isVendorDefined() ? of(e.getCode()) : null;
    return words == null ? e.getMessage() : e.getMessage() + ": " + words;
  }
}
