package it.morvale.pkcs11.provider;

import it.morvale.pkcs11.token.ObjectRef;
import java.io.NotSerializableException;
import java.io.ObjectStreamException;
import java.security.Key;

/**
 * A key that stays on the token: its token and a reference to its object. It has no encoding
 * and cannot be serialised; two are equal when they are the same object of the same token.
 */
abstract class ResidentKey implements Key {
  private static final long serialVersionUID = 1L;

  private final transient Token token;
  private final transient ObjectRef object;

  ResidentKey(Token token, ObjectRef object) {
    this.token = token;
    this.object = object;
  }

  Token token() { return token; }

  ObjectRef object() { return object; }

  /** Null: the key's material never leaves the token. */
  @Override
  public String getFormat() {
    return null;
  }

  /** Null: the key's material never leaves the token. */
  @Override
  public byte[] getEncoded() {
    return null;
  }

  protected Object writeReplace() throws ObjectStreamException {
    throw new NotSerializableException("a key on a token cannot be serialised");
  }

  @Override
  public boolean equals(Object other) {
    return other != null && other.getClass() == getClass() && ((ResidentKey) other).token == token
        && ((ResidentKey) other).object.handle() == object.handle();
  }

  @Override
  public int hashCode() {
    return Long.hashCode(object.handle()) ^ System.identityHashCode(token);
  }
}
