package it.morvale.pkcs11.token;

import java.util.Locale;

/**
 * Which slot of a module to use: the one whose token has a label, the one with a slot ID, the one
 * at an index of the slot list, or the first that holds a token. A label that several tokens
 * carry chooses none of them ({@link Pkcs11Module#slot(SlotChoice)} refuses it).
 */
public final class SlotChoice {
  enum By { LABEL, ID, INDEX, ID_OR_INDEX, FIRST_TOKEN, URI }

  final By by;
  final String label;
  final long number;
  final Pkcs11Uri uri;

  private SlotChoice(By by, String label, long number) { this(by, label, number, null); }

  private SlotChoice(By by, String label, long number, Pkcs11Uri uri) {
    this.by = by;
    this.label = label;
    this.number = number;
    this.uri = uri;
  }

  /** The slot whose token's label, without its blank padding, is `label`. */
  public static SlotChoice tokenLabel(String label) { return new SlotChoice(By.LABEL, label, 0); }

  /** The slot with the ID `id` (an unsigned 32-bit number). */
  public static SlotChoice slotId(long id) { return new SlotChoice(By.ID, null, id); }

  /** The slot at `index` of the module's whole slot list. */
  public static SlotChoice index(int index) { return new SlotChoice(By.INDEX, null, index); }

  /** The slot with the ID `number`, or else the one at that index of the slot list. */
  public static SlotChoice idOrIndex(long number) {
    return new SlotChoice(By.ID_OR_INDEX, null, number);
  }

  /**
   * The one slot whose module, slot and token fit every slot and token attribute of `uri`
   * (several that fit choose none).
   */
  public static SlotChoice uri(Pkcs11Uri uri) { return new SlotChoice(By.URI, null, 0, uri); }

  /** The first slot that holds a token. */
  public static SlotChoice firstToken() { return new SlotChoice(By.FIRST_TOKEN, null, 0); }

  /**
   * The choice that at most one of `label`, `slotId` and `index` names (null for those not
   * given); the first token when none is.
   *
   * @throws IllegalArgumentException when more than one is given
   */
  public static SlotChoice of(String label, Long slotId, Integer index) {
    int given = (label != null ? 1 : 0) + (slotId != null ? 1 : 0) + (index != null ? 1 : 0);
    if (given > 1)
      throw new IllegalArgumentException("choose the token by one thing, not " + given);
    if (label != null) return tokenLabel(label);
    if (slotId != null) return slotId(slotId);
    if (index != null) return index(index);
    return firstToken();
  }

  /** An unsigned 32-bit number written in decimal or with 0x in hex, or -1 when it is not one. */
  public static long parseNumber(String text) {
    try {
      long n = text.toLowerCase(Locale.ROOT).startsWith("0x")
          ? Long.parseLong(text.substring(2), 16)
          : Long.parseLong(text);
      return n >= 0 && n <= 0xFFFFFFFFL ? n : -1;
    } catch (NumberFormatException e) {
      return -1;
    }
  }

  @Override
  public String toString() {
    switch (by) {
      case LABEL:
        return "the token labelled \"" + label + "\"";
      case ID:
        return "the slot with ID " + number;
      case INDEX:
        return "the slot at index " + number;
      case ID_OR_INDEX:
        return "slot " + number;
      case URI:
        return "the token of " + uri;
      default:
        return "the first slot holding a token";
    }
  }
}
