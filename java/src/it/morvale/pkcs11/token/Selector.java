package it.morvale.pkcs11.token;

import java.util.HexFormat;

/** Which objects a look-up means: those with a label, an ID, both, or (empty) every one. */
public final class Selector {
  private final String label;
  private final byte[] id;

  private Selector(String label, byte[] id) {
    this.label = label;
    this.id = id == null ? null : id.clone();
  }

  /** The objects with `label` and `id`; either may be null to leave it open. */
  public static Selector of(String label, byte[] id) { return new Selector(label, id); }

  /** Every object. */
  public static Selector all() { return new Selector(null, null); }

  public String label() { return label; }

  public byte[] id() { return id == null ? null : id.clone(); }

  public boolean isEmpty() { return label == null && id == null; }

  /** The search template for objects of `objectClass` that this selects. */
  public Template template(int objectClass) {
    return template().add(Cryptoki.CKA_CLASS, objectClass);
  }

  /** The search template for objects of any class that this selects. */
  public Template template() {
    return new Template().addIfPresent(Cryptoki.CKA_LABEL, label).addIfPresent(Cryptoki.CKA_ID, id);
  }

  /** ` labelled "x" with id 01`, or ` on the token` when nothing is selected. */
  public String describe() {
    if (isEmpty()) return " on the token";
    return (label == null ? "" : " labelled \"" + label + "\"")
        + (id == null ? "" : " with id " + HexFormat.of().formatHex(id));
  }

  @Override
  public String toString() {
    return "Selector[" + describe().trim() + "]";
  }
}
