package it.morvale.pkcs11.token;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.PKCS11Info;
import it.morvale.pkcs11.nat.NativePKCS11;
import it.morvale.pkcs11.nat.NativePKCS11Slot;
import java.io.IOException;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.concurrent.locks.Lock;
import java.util.concurrent.locks.ReentrantReadWriteLock;
import java.util.stream.Collectors;

/**
 * A Cryptoki module, loaded and initialised once per file for the whole VM.
 *
 * <p>The module is asked to lock for itself ({@code CKF_OS_LOCKING_OK}): then calls from many
 * threads run at once, each thread on a session of its own ({@link SessionPool}). A module that
 * cannot lock, or that another user of the process initialised first (the layer cannot know
 * how), is entered by one thread at a time: every call goes through one lock ({@link #call}).
 * {@link #locking()} tells which.
 */
public final class Pkcs11Module {
  /** Who keeps the module from being entered by two threads at once. */
  public enum Locking {
    /** The module locks for itself: calls on different sessions run at once. */
    MODULE,
    /** The module does not: the layer lets one call in at a time. */
    LAYER
  }

  /** A call into the module, made while its lock is held. */
  public interface Call<T> {
    T run() throws PKCS11Exception;
  }

  /** A call without a result. */
  public interface Action {
    void run() throws PKCS11Exception;
  }

  /** What the bridge says of a handle that its Java objects cannot carry. */
  static final String HANDLE_OUT_OF_RANGE = "Internal error: handle out of range";

  private static final Map<String, Pkcs11Module> OPEN = new HashMap<>();

  private final String path;
  private final NativePKCS11 p11 = new NativePKCS11();
  private final long handle;
  private final long list;
  /**
   * Calls take the read lock when the module locks for itself and the write lock when it does
   * not; finalising and initialising the module again takes the write lock.
   */
  private final ReentrantReadWriteLock lock = new ReentrantReadWriteLock();
  private final Locking whenInitialisedElsewhere;
  private volatile Locking locking;
  private volatile long generation;

  private Pkcs11Module(String path, Locking whenInitialisedElsewhere) throws PKCS11Exception {
    this.whenInitialisedElsewhere = whenInitialisedElsewhere;
    this.path = path;
    String problem = ModuleFile.problem(path);
    if (problem != null) throw new ModuleLoadException(path, problem);
    try {
      handle = p11.loadPKCS11Library(path);
    } catch (PKCS11Exception e) {
      throw new ModuleLoadException(path,
          "the system's loader refused it"
              + " (a library it needs may be missing: see ldd " + path + ")",
          e);
    }
    try {
      list = p11.functionListHandler(handle);
    } catch (PKCS11Exception e) {
      throw new ModuleLoadException(path,
          e.hasCode() ? "C_GetFunctionList failed: " + e.getMessage()
                      : "a library without C_GetFunctionList, so not a PKCS#11 module",
          e);
    }
    try {
      locking = initialise();
    } catch (PKCS11Exception e) {
      throw new ModuleLoadException(
          path, "loaded, but C_Initialize refused it: " + e.getMessage(), e);
    }
  }

  /**
   * Initialises the module, letting it lock for itself where it can, and says who locks. A module
   * that cannot lock (CKR_CANT_LOCK), or that does not take initialisation arguments, is
   * initialised without them.
   */
  private Locking initialise() throws PKCS11Exception {
    try {
      p11.libInitializeThreaded(list);
      return Locking.MODULE;
    } catch (PKCS11Exception e) {
      int code = e.getCode();
      if (code == Cryptoki.CKR_CRYPTOKI_ALREADY_INITIALIZED) return whenInitialisedElsewhere;
      if (code != Cryptoki.CKR_CANT_LOCK && code != Cryptoki.CKR_ARGUMENTS_BAD) throw e;
    }
    try {
      p11.libInitialize(list);
    } catch (PKCS11Exception e) {
      if (e.getCode() != Cryptoki.CKR_CRYPTOKI_ALREADY_INITIALIZED) throw e;
    }
    return Locking.LAYER;
  }

  /** Who keeps two threads from entering the module at once. */
  public Locking locking() { return locking; }

  /**
   * How many times the module was finalised and initialised again ({@link #reinitialise}):
   * sessions and object handles of an earlier generation are gone.
   */
  public long generation() { return generation; }

  /**
   * Finalises the module and initialises it again, as after its connection or device was lost;
   * sessions and handles of the generation before are gone. Nothing is done when the module was
   * initialised again since `seenGeneration` already, by another thread that saw the same loss.
   */
  public void reinitialise(long seenGeneration) throws PKCS11Exception {
    lock.writeLock().lock();
    try {
      if (generation != seenGeneration) return;
      p11.libFinalize(handle, list);
      locking = initialise();
      ++generation;
    } finally {
      lock.writeLock().unlock();
    }
  }

  /**
   * The module of the library at `path`, loaded and initialised on first use. A relative path is
   * taken from the current folder. The bridge's own library is loaded first when needed ({@link
   * NativePKCS11#loadBridge()}).
   *
   * @throws ModuleLoadException when the file is not a module for this machine, cannot be loaded,
   *     or refuses to be initialised, saying which
   */
  public static Pkcs11Module open(String path) throws PKCS11Exception {
    return open(path, Locking.LAYER);
  }

  /**
   * Like {@link #open(String)}; `whenInitialisedElsewhere` says who locks when another user of
   * the process initialised the module first: {@link Locking#LAYER}, the safe choice, unless that
   * user is known to have let the module lock for itself.
   */
  public static Pkcs11Module open(String path, Locking whenInitialisedElsewhere)
      throws PKCS11Exception {
    String absolute = ModuleFile.absolute(path);
    NativePKCS11.loadBridge();
    String key = canonical(absolute);
    synchronized (OPEN) {
      Pkcs11Module module = OPEN.get(key);
      if (module == null) {
        module = new Pkcs11Module(absolute, whenInitialisedElsewhere);
        OPEN.put(key, module);
      }
      return module;
    }
  }

  private static String canonical(String path) {
    try {
      return Path.of(path).toRealPath().toString();
    } catch (IOException | RuntimeException e) {
      return path;
    }
  }

  /**
   * Runs `call` while holding the module's lock. A handle that the bridge cannot carry becomes an
   * explanation of what to do about it.
   */
  public <T> T call(Call<T> call) throws PKCS11Exception {
    Lock held = locking == Locking.MODULE ? lock.readLock() : lock.writeLock();
    held.lock();
    try {
      return call.run();
    } catch (PKCS11Exception e) {
      if (!e.hasCode() && HANDLE_OUT_OF_RANGE.equals(e.getMessage())) throw handleOutOfRange(e);
      throw e;
    } finally {
      held.unlock();
    }
  }

  private PKCS11Exception handleOutOfRange(PKCS11Exception e) {
    PKCS11Exception explained = new PKCS11Exception("the module " + path
        + " hands out session or object handles wider than 32 bits, which quillon cannot carry;"
        + " p11-kit's proxy serves the same module with small handles: register the module in"
        + " p11-kit's configuration and use p11-kit-proxy.so as the module");
    explained.initCause(e);
    return explained;
  }

  /**
   * Runs `call` while no other call of this layer is in the module, whoever locks: for calls
   * that pull sessions from under other threads' operations (C_CloseAllSessions), which some
   * modules do not survive while those operations run.
   */
  <T> T exclusive(Call<T> call) throws PKCS11Exception {
    lock.writeLock().lock();
    try {
      return call.run();
    } finally {
      lock.writeLock().unlock();
    }
  }

  public void run(Action action) throws PKCS11Exception {
    call(() -> {
      action.run();
      return null;
    });
  }

  /**
   * Finalises the module ({@code C_Finalize}) and forgets it, so that the next {@link #open}
   * initialises it afresh. Its slots, sessions and objects are unusable afterwards.
   *
   * @return the module's return code (0 on success)
   */
  public long close() throws PKCS11Exception {
    synchronized (OPEN) {
      OPEN.values().remove(this);
    }
    lock.writeLock().lock();
    try {
      return p11.libFinalize(handle, list);
    } finally {
      lock.writeLock().unlock();
    }
  }

  /** The module file's absolute path. */
  public String path() { return path; }

  /** The version text of the bridge that serves the module. */
  public String bridgeVersion() throws PKCS11Exception { return p11.getBridgeVersion(); }

  /** The module handle: the first argument of the vendor functions reached by name. */
  long moduleHandle() { return handle; }

  /** The function-list handle: the first argument of every standard call. */
  long functionList() { return list; }

  public PKCS11Info info() throws PKCS11Exception { return call(() -> p11.getInfo(list)); }

  /** Every slot of the module, in its own order. */
  public List<Slot> slots() throws PKCS11Exception { return slots(false); }

  /** The slots that hold a token, in the module's order. */
  public List<Slot> slotsWithToken() throws PKCS11Exception { return slots(true); }

  private List<Slot> slots(boolean tokenPresent) throws PKCS11Exception {
    NativePKCS11Slot[] found = call(() -> p11.getSlotList(list, tokenPresent));
    List<Slot> slots = new ArrayList<>();
    if (found != null) {
      for (NativePKCS11Slot slot : found) slots.add(new Slot(this, slot));
    }
    return slots;
  }

  /**
   * The slot that `choice` names.
   *
   * @throws LookupException when no slot fits, or when several tokens carry the label asked for
   */
  public Slot slot(SlotChoice choice) throws PKCS11Exception {
    switch (choice.by) {
      case LABEL:
        return withTokenLabel(choice.label);
      case ID:
        return withId(choice.number);
      case INDEX:
        return at(choice.number);
      case URI:
        return choice.uri.slot(this);
      case ID_OR_INDEX: {
        Slot slot = withIdOrNull(choice.number);
        if (slot != null) return slot;
        List<Slot> all = slots();
        if (choice.number < all.size()) return all.get((int) choice.number);
        throw new LookupException(0,
            "no slot " + choice.number + ": neither the ID nor the index of one of " + all.size()
                + " slots");
      }
      default: {
        List<Slot> slots = slotsWithToken();
        if (slots.isEmpty()) throw new LookupException(0, "no slot holds a token");
        return slots.get(0);
      }
    }
  }

  private Slot withTokenLabel(String label) throws PKCS11Exception {
    List<Slot> found = new ArrayList<>();
    for (Slot slot : slotsWithToken()) {
      if (label.equals(slot.tokenLabelIfPresent())) found.add(slot);
    }
    if (found.isEmpty()) throw new LookupException(0, "no token labelled \"" + label + "\"");
    if (found.size() > 1) {
      throw new LookupException(found.size(),
          found.size() + " tokens are labelled \"" + label + "\" (slot IDs " + ids(found)
              + "); choose one by its slot ID");
    }
    return found.get(0);
  }

  /** The slot IDs of `slots`, "1, 5", for a message that several fit. */
  static String ids(List<Slot> slots) {
    return slots.stream().map(s -> Long.toString(s.id())).collect(Collectors.joining(", "));
  }

  private Slot withIdOrNull(long id) throws PKCS11Exception {
    for (Slot slot : slots()) {
      if (slot.id() == id) return slot;
    }
    return null;
  }

  private Slot withId(long id) throws PKCS11Exception {
    Slot slot = withIdOrNull(id);
    if (slot == null) throw new LookupException(0, "no slot with ID " + id);
    return slot;
  }

  private Slot at(long index) throws PKCS11Exception {
    List<Slot> all = slots();
    if (index < 0 || index >= all.size()) {
      throw new LookupException(
          0, "no slot at index " + index + " of the " + all.size() + " slots");
    }
    return all.get((int) index);
  }

  @Override
  public String toString() {
    return "Pkcs11Module[" + path + "]";
  }
}
