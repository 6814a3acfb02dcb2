package it.morvale.pkcs11.token;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.PKCS11SessionInfo;
import it.morvale.pkcs11.nat.NativePKCS11Object;
import it.morvale.pkcs11.nat.NativePKCS11Session;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.locks.ReentrantLock;

/**
 * A session with a token. Every method holds the session's own lock (and, where the module does
 * not lock for itself, the module's) for all the calls it makes, so an operation's start and its
 * single part, or a whole search, are never interleaved with another thread's calls on the same
 * session. Closing twice is harmless.
 */
public final class Session implements AutoCloseable {
  private final Pkcs11Module module;
  private final NativePKCS11Session session;
  private final ReentrantLock lock = new ReentrantLock();
  private final long generation;
  private final boolean readWrite;
  private boolean closed;

  Session(Pkcs11Module module, NativePKCS11Session session, boolean readWrite) {
    this.module = module;
    this.session = session;
    this.readWrite = readWrite;
    this.generation = module.generation();
  }

  /** Whether the session was opened read-write. */
  public boolean isReadWrite() { return readWrite; }

  /** The module's generation in which the session was opened ({@link Pkcs11Module#generation}). */
  public long generation() { return generation; }

  <T> T call(Pkcs11Module.Call<T> call) throws PKCS11Exception {
    lock.lock();
    try {
      return module.call(call);
    } finally {
      lock.unlock();
    }
  }

  private void run(Pkcs11Module.Action action) throws PKCS11Exception {
    call(() -> {
      action.run();
      return null;
    });
  }

  public Pkcs11Module module() { return module; }

  NativePKCS11Session nativeSession() { return session; }

  private long list() { return module.functionList(); }

  public PKCS11SessionInfo info() throws PKCS11Exception {
    return call(() -> session.getInfo(list()));
  }

  /**
   * Logs the user in. A user already logged in on this token (logins are per token, not per
   * session) is fine.
   */
  public void loginUser(String pin) throws PKCS11Exception { login(false, pin); }

  /** Logs the security officer in; the token then takes no read-only session of the SO. */
  public void loginSecurityOfficer(String pin) throws PKCS11Exception { login(true, pin); }

  private void login(boolean securityOfficer, String pin) throws PKCS11Exception {
    try {
      run(() -> session.login(list(), securityOfficer, pin));
    } catch (PKCS11Exception e) {
      if (e.getCode() != Cryptoki.CKR_USER_ALREADY_LOGGED_IN) throw e;
    }
  }

  public void logout() throws PKCS11Exception { run(() -> session.logout(list())); }

  /** Sets the user PIN; the SO must be logged in. */
  public void initPin(String pin) throws PKCS11Exception {
    run(() -> session.initPIN(list(), pin));
  }

  /** Changes the PIN of whoever is logged in (the user when nobody is). */
  public void setPin(String oldPin, String newPin) throws PKCS11Exception {
    run(() -> session.setPIN(list(), oldPin, newPin));
  }

  /** Every object that matches `template` (every object the session sees, for an empty one). */
  public List<TokenObject> find(Template template) throws PKCS11Exception {
    return call(() -> {
      session.findObjectsInit(list(), template.types(), template.values());
      List<TokenObject> found = new ArrayList<>();
      try {
        for (NativePKCS11Object o = session.findObject(list()); o != null;
             o = session.findObject(list())) {
          found.add(new TokenObject(this, o));
        }
      } finally {
        session.findObjectsFinal(list());
      }
      return found;
    });
  }

  /** The first object that matches `template`, or null. */
  public TokenObject findFirst(Template template) throws PKCS11Exception {
    List<TokenObject> found = find(template);
    return found.isEmpty() ? null : found.get(0);
  }

  /** Every object of `objectClass` that `selector` selects. */
  public List<TokenObject> find(Selector selector, int objectClass) throws PKCS11Exception {
    return find(selector.template(objectClass));
  }

  /**
   * The one object that `selector` selects among the first of `classes` that has any: a public
   * key where there is one, say, else the private key that carries its public half too.
   *
   * @throws LookupException "no private key labelled \"k\"" when none matches (naming the first
   *     class), "2 private keys labelled \"k\"" when the first class with matches has several
   */
  public TokenObject findOne(Selector selector, int... classes) throws PKCS11Exception {
    for (int objectClass : classes) {
      List<TokenObject> found = find(selector, objectClass);
      if (found.size() == 1) return found.get(0);
      if (found.size() > 1) {
        throw new LookupException(found.size(),
            found.size() + " " + Names.objectClass(objectClass) + "s" + selector.describe());
      }
    }
    throw new LookupException(0, "no " + Names.objectClass(classes[0]) + selector.describe());
  }

  public TokenObject create(Template template) throws PKCS11Exception {
    return wrap(call(() -> session.createObject(list(), template.types(), template.values())));
  }

  public TokenObject generateKey(int mechanism, Template template) throws PKCS11Exception {
    return wrap(call(
        () -> session.generateKey(list(), mechanism, null, template.types(), template.values())));
  }

  /** A new secret key on the token. */
  public TokenObject generateKey(KeyTemplates.Secret key) throws PKCS11Exception {
    return generateKey(key.mechanism, key.template);
  }

  /**
   * A new key pair on the token. Both keys carry the same CKA_ID: the one the templates ask for,
   * or else the SHA-1 hash of the public key (of its X.509 encoding where Java can represent the
   * key, else of its CKA_EC_POINT or CKA_MODULUS), so that the same key always gets the same ID.
   */
  public KeyPairObjects generateKeyPair(KeyTemplates.Pair pair) throws PKCS11Exception {
    TokenObject[] made = generateKeyPair(pair.mechanism, pair.publicKey, pair.privateKey);
    java.security.PublicKey javaKey;
    try {
      javaKey = PublicKeys.of(made[0]);
    } catch (java.security.GeneralSecurityException e) {
      javaKey = null;
    }
    byte[] id = pair.id;
    if (id == null) {
      id = KeyPairObjects.idOf(javaKey, made[0]);
      made[0].set(Cryptoki.CKA_ID, id);
      made[1].set(Cryptoki.CKA_ID, id);
    }
    return new KeyPairObjects(made[0], made[1], javaKey, id);
  }

  /** A new key pair: {public key, private key}. */
  public TokenObject[] generateKeyPair(int mechanism, Template publicKey, Template privateKey)
      throws PKCS11Exception {
    Object[] pair = call(()
                             -> session.generateKeyPair(list(), mechanism, null, publicKey.types(),
                                 publicKey.values(), privateKey.types(), privateKey.values()));
    return new TokenObject[] {
        wrap((NativePKCS11Object) pair[0]), wrap((NativePKCS11Object) pair[1])};
  }

  /** Signs `data` with `key` in one part; the signature as long as the token made it. */
  public byte[] sign(int mechanism, TokenObject key, byte[] data) throws PKCS11Exception {
    return sign(mechanism, key, data, 0);
  }

  /**
   * Like {@link #sign(int, TokenObject, byte[])}, with room for `expected` bytes of signature
   * (what the key's size makes it), which saves asking the module first; 0 asks.
   */
  public byte[] sign(int mechanism, TokenObject key, byte[] data, int expected)
      throws PKCS11Exception {
    return call(() -> {
      session.signInit(list(), mechanism, null, key.nativeObject());
      return sized(expected, out -> session.sign(list(), data, 0, data.length, out));
    });
  }

  /** The single part of an operation begun, into `out`; null asks for the length. */
  private interface Part {
    int run(byte[] out) throws PKCS11Exception;
  }

  /** The result of `part` with room for `expected` bytes first; 0 asks the module how many. */
  private static byte[] sized(int expected, Part part) throws PKCS11Exception {
    if (expected > 0) {
      byte[] out = new byte[expected];
      try {
        int length = part.run(out);
        return length == expected ? out : Arrays.copyOf(out, length);
      } catch (PKCS11Exception e) {
        // The operation stays active after a buffer that was too small: ask, then run it.
        if (e.getCode() != Cryptoki.CKR_BUFFER_TOO_SMALL) throw e;
      }
    }
    byte[] out = new byte[part.run(null)];
    int length = part.run(out);
    return Arrays.copyOf(out, length);
  }

  /**
   * Encrypts `data` with `key` in one part. The token is given room for `capacity` bytes of
   * result, since encryption has no size query.
   */
  public byte[] encrypt(int mechanism, TokenObject key, byte[] data, int capacity)
      throws PKCS11Exception {
    return call(() -> {
      session.encryptInit(list(), mechanism, null, key.nativeObject());
      byte[] out = new byte[capacity];
      int length = session.encrypt(list(), data, 0, data.length, out);
      return Arrays.copyOf(out, length);
    });
  }

  public byte[] decrypt(int mechanism, TokenObject key, byte[] data) throws PKCS11Exception {
    return decrypt(mechanism, key, data, 0);
  }

  /**
   * Like {@link #decrypt(int, TokenObject, byte[])}, with room for `expected` bytes of result (at
   * most the key's size, for RSA), which saves asking the module first; 0 asks.
   */
  public byte[] decrypt(int mechanism, TokenObject key, byte[] data, int expected)
      throws PKCS11Exception {
    return call(() -> {
      session.decryptInit(list(), mechanism, null, key.nativeObject());
      return sized(expected, out -> session.decrypt(list(), data, 0, data.length, out));
    });
  }

  /** Wraps `key` with `wrappingKey`; the room given grows until the token is content. */
  public byte[] wrapKey(int mechanism, TokenObject wrappingKey, TokenObject key)
      throws PKCS11Exception {
    for (int capacity = 4096;; capacity *= 4) {
      byte[] out = new byte[capacity];
      try {
        int length = call(()
                              -> session.wrapKey(list(), mechanism, null,
                                  wrappingKey.nativeObject(), key.nativeObject(), out));
        return Arrays.copyOf(out, length);
      } catch (PKCS11Exception e) {
        if (e.getCode() != Cryptoki.CKR_BUFFER_TOO_SMALL || capacity >= (1 << 24)) throw e;
      }
    }
  }

  public TokenObject unwrapKey(int mechanism, TokenObject unwrappingKey, byte[] wrapped,
      Template template) throws PKCS11Exception {
    return wrap(call(()
                         -> session.unwrapKey(list(), mechanism, null, unwrappingKey.nativeObject(),
                             wrapped, 0, wrapped.length, template.types(), template.values())));
  }

  private TokenObject wrap(NativePKCS11Object object) {
    return object == null ? null : new TokenObject(this, object);
  }

  @Override
  public void close() throws PKCS11Exception {
    run(() -> {
      if (closed) return;
      closed = true;
      session.close(list());
    });
  }

  /** Whether {@link #close} was called. */
  public boolean isClosed() { return closed; }

  @Override
  public String toString() {
    return "Session[" + Integer.toUnsignedLong(session.getSessionID()) + "]";
  }
}
