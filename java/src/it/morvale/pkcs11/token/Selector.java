package it.morvale.pkcs11.token;

import java.util.HexFormat;

/**
 * Which objects a look-up means: those with a label, an ID, both, or (empty) every one; of one
 * class of object, or of any.
 */
public final class Selector {
  private final String label;
  private final byte[] id;
  private final Integer objectClass;

  private Selector(String label, byte[] id, Integer objectClass) {
    this.label = label;
    this.id = id == null ? null : id.clone();
    this.objectClass = objectClass;
  }

  /** The objects with `label` and `id`; either may be null to leave it open. */
  public static Selector of(String label, byte[] id) { return new Selector(label, id, null); }

  /** Every object. */
  public static Selector all() { return new Selector(null, null, null); }

  /** The objects of `objectClass` (a CKO_ value) among those that this selects. */
  public Selector ofClass(int objectClass) { return new Selector(label, id, objectClass); }

  /** The class of object that this is limited to, or null for any. */
  public Integer objectClass() { return objectClass; }

  public String label() { return label; }

  public byte[] id() { return id == null ? null : id.clone(); }

  /** Whether this names neither a label nor an ID (it may still name a class). */
  public boolean isEmpty() { return label == null && id == null; }

  /**
   * The search template for objects of `objectClass` that this selects. When this is limited to
   * another class, the template carries both, which no object fits.
   */
  public Template template(int objectClass) {
    Template template = labelAndId().add(Cryptoki.CKA_CLASS, objectClass);
    if (this.objectClass != null && this.objectClass != objectClass) {
      template.add(Cryptoki.CKA_CLASS, this.objectClass);
    }
    return template;
  }

  /** The search template for the objects that this selects, of its class if it has one. */
  public Template template() { return labelAndId().addIfPresent(Cryptoki.CKA_CLASS, objectClass); }

  private Template labelAndId() {
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
