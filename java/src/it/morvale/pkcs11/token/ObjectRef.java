package it.morvale.pkcs11.token;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.nat.NativePKCS11Object;
import java.util.HexFormat;
import java.util.List;

/**
 * An object of a {@link SessionPool}'s token that outlives the session it was found in: usable in
 * any session of the pool, and found again by its class and CKA_ID (or label, when it has no ID)
 * after the pool healed, since a module initialised again or a token put back hands out new
 * handles. A key that the application holds therefore keeps working.
 */
public final class ObjectRef {
  private final SessionPool pool;
  private final int objectClass;
  private final Integer keyType;
  private final byte[] id;
  private final String label;
  private int handle;
  private long epoch;

  ObjectRef(SessionPool pool, TokenObject object, long epoch) {
    this.pool = pool;
    this.objectClass = object.objectClassIfPresent();
    this.keyType = object.integerIfPresent(Cryptoki.CKA_KEY_TYPE);
    this.id = object.idIfNotEmpty();
    this.label = object.labelIfNotEmpty();
    this.handle = object.nativeObject().getObjectID();
    this.epoch = epoch;
  }

  public SessionPool pool() { return pool; }

  public int objectClass() { return objectClass; }

  /** The CKA_ID, or null. */
  public byte[] id() { return id == null ? null : id.clone(); }

  /** The label, or null. */
  public String label() { return label; }

  /** The object handle as last found, unsigned. */
  public synchronized long handle() { return Integer.toUnsignedLong(handle); }

  /**
   * The object in `session`, a session of the pool; found again on the token first when the pool
   * healed since it was last found.
   *
   * @throws LookupException when it is no longer on the token
   */
  public TokenObject in(Session session) throws PKCS11Exception {
    long now = pool.epoch();
    int known;
    boolean current;
    synchronized (this) {
      known = handle;
      current = epoch == now;
    }
    if (!current) known = findAgain(session, now);
    return new TokenObject(session, new NativePKCS11Object(session.nativeSession(), known));
  }

  private int findAgain(Session session, long now) throws PKCS11Exception {
    if (id == null && label == null) {
      throw new LookupException(0,
          "the " + describe() + " cannot be found again: it has"
              + " neither CKA_ID nor label");
    }
    Template template = new Template()
                            .add(Cryptoki.CKA_CLASS, objectClass)
                            .addIfPresent(Cryptoki.CKA_KEY_TYPE, keyType)
                            .addIfPresent(Cryptoki.CKA_ID, id);
    if (id == null) template.add(Cryptoki.CKA_LABEL, label);
    List<TokenObject> found = session.find(template);
    if (found.size() != 1) {
      throw new LookupException(found.size(),
          found.isEmpty() ? "the " + describe() + " is no longer on the token"
                          : found.size() + " objects are now the " + describe());
    }
    int again = found.get(0).nativeObject().getObjectID();
    synchronized (this) {
      handle = again;
      epoch = now;
    }
    return again;
  }

  /** `private key with id 01` or `private key "label"`. */
  public String describe() {
    return Names.objectClass(objectClass)
        + (id != null           ? " with id " + HexFormat.of().formatHex(id)
                : label != null ? " \"" + label + "\""
                                : "");
  }

  @Override
  public String toString() {
    return "ObjectRef[" + describe() + "]";
  }
}
