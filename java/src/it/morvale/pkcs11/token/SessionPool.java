package it.morvale.pkcs11.token;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.PKCS11SessionInfo;
import it.morvale.pkcs11.PKCS11TokenInfo;
import java.time.Duration;
import java.util.ArrayDeque;
import java.util.Arrays;
import java.util.Deque;
import java.util.concurrent.locks.Condition;
import java.util.concurrent.locks.ReentrantLock;

/**
 * The sessions of one token, shared by any number of threads: each operation borrows a session
 * for its calls (a single call, an init and its operation, a whole search) and gives it back, so
 * operations on different sessions run at once when the module locks for itself. The pool opens
 * sessions as they are needed, up to the token's own limit (or a configured one, 32 when the
 * token has none); a caller waits for a session when all are in use, and fails with a clear
 * exception when none comes free in time.
 *
 * <p>The pool heals. Each read runs again, once, after a failure that says something was lost
 * rather than refused (a write heals the pool but is not made again):
 *
 * <ul>
 *   <li>a session that is gone (CKR_SESSION_HANDLE_INVALID, CKR_SESSION_CLOSED, as when another
 *       user of the module closed all sessions of the slot) is dropped, and the operation runs on
 *       a fresh one;
 *   <li>a lost login (CKR_USER_NOT_LOGGED_IN after the token closed every session) is made again
 *       with the PIN of {@link #loginUser}, which is kept only while logged in, and {@link
 *       ObjectRef}s find their objects again, since a module may give private objects new handles
 *       at each login;
 *   <li>a lost token or module (CKR_DEVICE_REMOVED, CKR_DEVICE_ERROR, CKR_TOKEN_NOT_PRESENT,
 *       CKR_CRYPTOKI_NOT_INITIALIZED, or CKR_GENERAL_ERROR on a fresh session too; or no session
 *       opens, as when the module was initialised again while its token was away) finalises and
 *       initialises the module again, finds the token again by its label and serial number, and
 *       logs in again; {@link ObjectRef}s find their objects again by class and CKA_ID.
 * </ul>
 *
 * Healing never creates, changes or destroys a token object. What fails again, or while the
 * token is away, fails with the module's code.
 */
public final class SessionPool {
  /** The most sessions when the token sets no limit of its own. */
  public static final int DEFAULT_MAX_SESSIONS = 32;

  /** How long a caller waits for a free session, unless configured otherwise. */
  public static final Duration DEFAULT_WAIT = Duration.ofSeconds(30);

  /** One operation on a borrowed session. */
  public interface Operation<T> {
    T run(Session session) throws PKCS11Exception;
  }

  /** The least time between two initialisations of the module by one pool, in nanoseconds. */
  private static final long REINITIALISE_AT_MOST_EVERY = 200_000_000L;

  private enum Loss { NONE, SESSION, LOGIN, OBJECT, TOKEN }

  private final Pkcs11Module module;
  private final String label;
  private final String serial;
  private final boolean writeProtected;
  private final int maxSessions;
  private final int maxWriting;
  private final Duration wait;
  private final ReentrantLock lock = new ReentrantLock();
  private final Condition freed = lock.newCondition();
  private final Deque<Session> idleReading = new ArrayDeque<>();
  private final Deque<Session> idleWriting = new ArrayDeque<>();
  private final Object healing = new Object();
  /** When the module was last initialised again, in System.nanoTime's terms. */
  private long lastReinitialised = System.nanoTime() - REINITIALISE_AT_MOST_EVERY;
  private volatile Slot slot;
  private volatile long epoch;
  private int open;
  private int openWriting;
  private char[] pin;

  private SessionPool(Slot slot, PKCS11TokenInfo info, int maxSessions, Duration wait) {
    this.module = slot.module();
    this.slot = slot;
    this.label = info.getLabelTrimmed();
    this.serial = info.getSerialNumberTrimmed();
    this.writeProtected = (info.getFlags() & Cryptoki.CKF_WRITE_PROTECTED) != 0;
    this.maxSessions = limit(info.getMaxSessionCount(), maxSessions);
    this.maxWriting = Math.min(this.maxSessions, limit(info.getMaxRwSessionCount(), maxSessions));
    this.wait = wait;
  }

  /** The token's limit, where it states one, else the configured one. */
  private static int limit(int tokenLimit, int configured) {
    long stated = Integer.toUnsignedLong(tokenLimit);
    boolean none = stated == Cryptoki.CK_EFFECTIVELY_INFINITE || tokenLimit == -1;
    int max = configured > 0 ? configured : DEFAULT_MAX_SESSIONS;
    return none ? max : (int) Math.min(stated, max);
  }

  /** A pool for the token in `slot` with the default limits. */
  public static SessionPool open(Slot slot) throws PKCS11Exception {
    return open(slot, 0, DEFAULT_WAIT);
  }

  /**
   * A pool for the token in `slot`: at most `maxSessions` sessions (0 for the token's limit, or
   * {@link #DEFAULT_MAX_SESSIONS}), and callers wait at most `wait` for one.
   */
  public static SessionPool open(Slot slot, int maxSessions, Duration wait) throws PKCS11Exception {
    return new SessionPool(slot, slot.tokenInfo(), maxSessions, wait);
  }

  public Pkcs11Module module() { return module; }

  /** The slot that holds the token now (another after the token was found again). */
  public Slot slot() { return slot; }

  public boolean isWriteProtected() { return writeProtected; }

  /** The most sessions the pool opens at once. */
  public int maxSessions() { return maxSessions; }

  /**
   * Counts the times the pool healed; an {@link ObjectRef} of an earlier one finds its object
   * again.
   */
  long epoch() { return epoch; }

  /** A reference to `object` (found in a session of this pool) that outlives the session. */
  public ObjectRef ref(TokenObject object) { return new ObjectRef(this, object, epoch); }

  /** Runs `operation` on a read-only session of the token. */
  public <T> T read(Operation<T> operation) throws PKCS11Exception {
    return call(false, operation);
  }

  /**
   * Runs `operation` on a read-write session (to create, change or destroy objects). Unlike a
   * read, a write that fails for a loss is not run again, since part of it may have taken effect.
   */
  public <T> T write(Operation<T> operation) throws PKCS11Exception {
    if (writeProtected) {
      throw new PKCS11Exception(
          "the token \"" + label + "\" is write-protected: nothing can be stored on it");
    }
    return call(true, operation);
  }

  private <T> T call(boolean writing, Operation<T> operation) throws PKCS11Exception {
    long seen = epoch;
    Session session;
    try {
      session = borrow(writing);
    } catch (PKCS11Exception e) {
      // No session opens: the token or the module is gone, or the module was initialised again
      // while its token was away and no longer knows the slot. Nothing ran yet, so a write as
      // much as a read runs once the pool has healed.
      if (lossOf(e) != Loss.TOKEN) throw e;
      heal(Loss.TOKEN, seen, e);
      return again(writing, operation, Loss.TOKEN, seen);
    }
    Loss loss;
    PKCS11Exception failure;
    try {
      T result = operation.run(session);
      giveBack(session);
      return result;
    } catch (PKCS11Exception e) {
      loss = lossOf(e);
      failure = e;
      if (loss == Loss.SESSION || loss == Loss.TOKEN) {
        drop(session);
      } else {
        giveBack(session);
      }
    } catch (RuntimeException | Error e) {
      drop(session);
      throw e;
    }
    if (loss == Loss.NONE) throw failure;
    if (writing) {
      // A write may have taken effect in part before the loss: it is not made again, but the
      // pool heals so that the next operation works.
      try {
        heal(loss, seen, failure);
      } catch (PKCS11Exception e) {
        failure.addSuppressed(e);
      }
      throw failure;
    }
    heal(loss, seen, failure);
    return again(writing, operation, loss, seen);
  }

  /** Runs `operation` once more, on a fresh session, after the pool healed from `loss`. */
  private <T> T again(boolean writing, Operation<T> operation, Loss loss, long seen)
      throws PKCS11Exception {
    Session again = borrow(writing);
    try {
      if (loss == Loss.SESSION && relogin(again)) forgetHandles(seen);
      T result = operation.run(again);
      giveBack(again);
      return result;
    } catch (PKCS11Exception e) {
      Loss second = lossOf(e);
      if (second == Loss.SESSION || second == Loss.TOKEN) {
        drop(again);
      } else {
        giveBack(again);
      }
      throw e;
    } catch (RuntimeException | Error e) {
      drop(again);
      throw e;
    }
  }

  private static Loss lossOf(PKCS11Exception e) {
    if (!e.hasCode()) return Loss.NONE;
    switch (e.getCode()) {
      case Cryptoki.CKR_SESSION_HANDLE_INVALID:
      case Cryptoki.CKR_SESSION_CLOSED:
        return Loss.SESSION;
      case Cryptoki.CKR_USER_NOT_LOGGED_IN:
        return Loss.LOGIN;
      case Cryptoki.CKR_KEY_HANDLE_INVALID:
      case Cryptoki.CKR_OBJECT_HANDLE_INVALID:
        return Loss.OBJECT;
      case Cryptoki.CKR_DEVICE_REMOVED:
      case Cryptoki.CKR_DEVICE_ERROR:
      case Cryptoki.CKR_TOKEN_NOT_PRESENT:
      case Cryptoki.CKR_TOKEN_NOT_RECOGNIZED:
      case Cryptoki.CKR_CRYPTOKI_NOT_INITIALIZED:
      case Cryptoki.CKR_SLOT_ID_INVALID:
      case Cryptoki.CKR_GENERAL_ERROR:
        return Loss.TOKEN;
      default:
        return Loss.NONE;
    }
  }

  /** Mends what `loss` says was lost, so that the operation can run once more. */
  private void heal(Loss loss, long seen, PKCS11Exception failure) throws PKCS11Exception {
    switch (loss) {
      case SESSION:
        dropIdle();
        return;
      case LOGIN:
        if (pinCopy() == null) throw failure;
        loginAgain();
        forgetHandles(seen);
        return;
      case OBJECT:
        forgetHandles(seen);
        return;
      default:
        healToken(seen, failure);
    }
  }

  /**
   * Makes every {@link ObjectRef} find its object again, unless another thread did so since
   * `seen`. Needed after a handle was refused, and after the login was made again: a module may
   * withdraw the handles of private objects when the login ends (SoftHSM2 does) and hand out new
   * ones at the next login.
   */
  private void forgetHandles(long seen) {
    synchronized (healing) {
      if (epoch == seen) ++epoch;
    }
  }

  /**
   * After a lost token or module: when a fresh session still works, the failure was this
   * session's or the operation's own, and the operation simply runs again; otherwise the module
   * is initialised again and the token found again.
   */
  private void healToken(long seen, PKCS11Exception failure) throws PKCS11Exception {
    synchronized (healing) {
      if (epoch != seen) return;
      long generation = module.generation();
      if (!works()) {
        // While the token stays away every failing operation lands here; the module is
        // initialised again at most a few times a second rather than once per operation.
        long now = System.nanoTime();
        if (now - lastReinitialised < REINITIALISE_AT_MOST_EVERY) throw failure;
        lastReinitialised = now;
        dropIdle();
        module.reinitialise(generation);
        Slot found = findToken(failure);
        slot = found;
        dropIdle();
        if (pinCopy() != null) loginAgain();
        ++epoch;
      }
    }
  }

  /** Whether the token answers on a fresh session. */
  private boolean works() {
    try {
      Session probe = slot.openReadOnly();
      try {
        probe.info();
      } finally {
        probe.close();
      }
      return true;
    } catch (PKCS11Exception e) {
      return false;
    }
  }

  /** The slot that holds the token with the pool's label and serial number. */
  private Slot findToken(PKCS11Exception failure) throws PKCS11Exception {
    for (Slot candidate : module.slotsWithToken()) {
      try {
        PKCS11TokenInfo info = candidate.tokenInfo();
        if (label.equals(info.getLabelTrimmed()) && serial.equals(info.getSerialNumberTrimmed())) {
          return candidate;
        }
      } catch (PKCS11Exception e) {
        // A slot that does not describe its token is not the one.
      }
    }
    PKCS11Exception gone = new PKCS11Exception("the token \"" + label + "\" (serial " + serial
        + ") is not there: " + failure.getMessage());
    gone.initCause(failure);
    throw gone;
  }

  /**
   * Logs the user in on the token, and keeps a copy of `pin` so that a login that the token loses
   * can be made again; {@link #logout} clears it.
   */
  public void loginUser(char[] pin) throws PKCS11Exception {
    char[] copy = pin.clone();
    read(session -> {
      session.loginUser(new String(copy));
      return null;
    });
    lock.lock();
    try {
      clearPin();
      this.pin = copy;
    } finally {
      lock.unlock();
    }
  }

  /** Logs the user out and forgets the PIN. */
  public void logout() throws PKCS11Exception {
    lock.lock();
    try {
      clearPin();
    } finally {
      lock.unlock();
    }
    read(session -> {
      try {
        session.logout();
      } catch (PKCS11Exception e) {
        if (e.getCode() != Cryptoki.CKR_USER_NOT_LOGGED_IN) throw e;
      }
      return null;
    });
  }

  /** Whether the pool holds a PIN, as after {@link #loginUser}. */
  public boolean isLoggedIn() { return pinCopy() != null; }

  private void clearPin() {
    if (pin != null) Arrays.fill(pin, '\0');
    pin = null;
  }

  private char[] pinCopy() {
    lock.lock();
    try {
      return pin == null ? null : pin.clone();
    } finally {
      lock.unlock();
    }
  }

  private void loginAgain() throws PKCS11Exception {
    char[] copy = pinCopy();
    if (copy == null) return;
    Session session = borrow(false);
    try {
      session.loginUser(new String(copy));
      giveBack(session);
    } catch (PKCS11Exception e) {
      drop(session);
      throw e;
    } finally {
      Arrays.fill(copy, '\0');
    }
  }

  /**
   * Logs in on a fresh session when the token forgot the login with its other sessions; says
   * whether it did.
   */
  private boolean relogin(Session session) throws PKCS11Exception {
    char[] copy = pinCopy();
    if (copy == null) return false;
    try {
      PKCS11SessionInfo info = session.info();
      int state = info.getState();
      if (state != 0 && state != 2) return false; // not a public session
      session.loginUser(new String(copy));
      return true;
    } finally {
      Arrays.fill(copy, '\0');
    }
  }

  /** An idle session of the kind asked for, or a new one; waits while all are in use. */
  private Session borrow(boolean writing) throws PKCS11Exception {
    long deadline = System.nanoTime() + wait.toNanos();
    Deque<Session> idle = writing ? idleWriting : idleReading;
    lock.lock();
    try {
      while (true) {
        Session session = idle.pollFirst();
        if (session != null) {
          if (session.generation() == module.generation()) return session;
          forgetLocked(session);
          continue;
        }
        if (open < maxSessions && (!writing || openWriting < maxWriting)) {
          ++open;
          if (writing) ++openWriting;
          break;
        }
        // A session of the other kind that is idle makes room for one of this kind.
        Deque<Session> other = writing ? idleReading : idleWriting;
        Session spare = other.pollFirst();
        if (spare != null) {
          forgetLocked(spare);
          closeQuietly(spare);
          continue;
        }
        long left = deadline - System.nanoTime();
        if (left <= 0) {
          throw new PKCS11Exception("no session of the token \"" + label + "\" came free within "
              + wait.toMillis() + " ms: all " + open + " are in use");
        }
        try {
          freed.awaitNanos(left);
        } catch (InterruptedException e) {
          Thread.currentThread().interrupt();
          throw new PKCS11Exception("interrupted while waiting for a session of the token");
        }
      }
    } finally {
      lock.unlock();
    }
    try {
      return writing ? slot.openReadWrite() : slot.openReadOnly();
    } catch (PKCS11Exception | RuntimeException e) {
      lock.lock();
      try {
        --open;
        if (writing) --openWriting;
        freed.signal();
      } finally {
        lock.unlock();
      }
      throw e;
    }
  }

  private void giveBack(Session session) {
    lock.lock();
    try {
      if (session.generation() != module.generation() || session.isClosed()) {
        forgetLocked(session);
      } else {
        (session.isReadWrite() ? idleWriting : idleReading).addFirst(session);
      }
      freed.signal();
    } finally {
      lock.unlock();
    }
  }

  /** Forgets a session that failed as if it were gone, closing it if the module still knows it. */
  private void drop(Session session) {
    lock.lock();
    try {
      forgetLocked(session);
      freed.signal();
    } finally {
      lock.unlock();
    }
    if (session.generation() == module.generation()) closeQuietly(session);
  }

  private void forgetLocked(Session session) {
    --open;
    if (session.isReadWrite()) --openWriting;
  }

  /** Drops every idle session: after one was found gone, the others likely are too. */
  private void dropIdle() {
    Session[] idle;
    lock.lock();
    try {
      idle = new Session[idleReading.size() + idleWriting.size()];
      int n = 0;
      for (Session s : idleReading) idle[n++] = s;
      for (Session s : idleWriting) idle[n++] = s;
      for (Session s : idle) forgetLocked(s);
      idleReading.clear();
      idleWriting.clear();
      freed.signalAll();
    } finally {
      lock.unlock();
    }
    for (Session s : idle) {
      if (s.generation() == module.generation()) closeQuietly(s);
    }
  }

  private static void closeQuietly(Session session) {
    try {
      session.close();
    } catch (PKCS11Exception e) {
      // Gone already.
    }
  }

  @Override
  public String toString() {
    return "SessionPool[\"" + label + "\", at most " + maxSessions + " sessions]";
  }
}
