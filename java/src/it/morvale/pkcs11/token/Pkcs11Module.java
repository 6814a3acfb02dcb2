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
import java.util.concurrent.locks.ReentrantLock;

/**
 * A Cryptoki module, loaded and initialised once per file for the whole VM.
 *
 * <p>The bridge initialises a module without locking callbacks, which tells the module that it
 * will never be entered from two threads at once. Every call into one module therefore goes
 * through its lock ({@link #call}); operations made of several calls (an init and its operation,
 * a whole search) hold it throughout.
 */
public final class Pkcs11Module {
  /** A call into the module, made while its lock is held. */
  public interface Call<T> {
    T run() throws PKCS11Exception;
  }

  /** A call without a result. */
  public interface Action {
    void run() throws PKCS11Exception;
  }

  private static final Map<String, Pkcs11Module> OPEN = new HashMap<>();

  private final String path;
  private final NativePKCS11 p11 = new NativePKCS11();
  private final long handle;
  private final long list;
  private final ReentrantLock lock = new ReentrantLock();

  private Pkcs11Module(String path) throws PKCS11Exception {
    this.path = path;
    handle = p11.loadPKCS11Library(path);
    list = p11.functionListHandler(handle);
    try {
      p11.libInitialize(list);
    } catch (PKCS11Exception e) {
      // Another user of the same module in this process initialised it first.
      if (e.getCode() != Cryptoki.CKR_CRYPTOKI_ALREADY_INITIALIZED) throw e;
    }
  }

  /**
   * The module of the library at `path`, loaded and initialised on first use. The bridge's own
   * library is loaded first when needed ({@link NativePKCS11#loadBridge()}).
   */
  public static Pkcs11Module open(String path) throws PKCS11Exception {
    NativePKCS11.loadBridge();
    String key = canonical(path);
    synchronized (OPEN) {
      Pkcs11Module module = OPEN.get(key);
      if (module == null) {
        module = new Pkcs11Module(path);
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

  public <T> T call(Call<T> call) throws PKCS11Exception {
    lock.lock();
    try {
      return call.run();
    } finally {
      lock.unlock();
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
    return call(() -> p11.libFinalize(handle, list));
  }

  public String path() { return path; }

  /** The native module object, for calls that the layer does not wrap. */
  public NativePKCS11 nativeModule() { return p11; }

  /** The module handle: the first argument of the vendor functions reached by name. */
  public long moduleHandle() { return handle; }

  /** The function-list handle: the first argument of every standard call. */
  public long functionList() { return list; }

  public PKCS11Info info() throws PKCS11Exception { return call(() -> p11.getInfo(list)); }

  /** The module's slots in its own order; with `tokenPresent`, only those holding a token. */
  public List<Slot> slots(boolean tokenPresent) throws PKCS11Exception {
    NativePKCS11Slot[] found = call(() -> p11.getSlotList(list, tokenPresent));
    List<Slot> slots = new ArrayList<>();
    if (found != null) {
      for (NativePKCS11Slot slot : found) slots.add(new Slot(this, slot));
    }
    return slots;
  }

  /** The slot at `index` of the whole slot list, or null. */
  public Slot slotAt(int index) throws PKCS11Exception {
    List<Slot> all = slots(false);
    return index >= 0 && index < all.size() ? all.get(index) : null;
  }

  /** The slot whose ID is `id`, or null. */
  public Slot slotWithId(long id) throws PKCS11Exception {
    for (Slot slot : slots(false)) {
      if (slot.id() == id) return slot;
    }
    return null;
  }

  /** The first slot whose token has the label `label` (blank padding ignored), or null. */
  public Slot slotWithToken(String label) throws PKCS11Exception {
    for (Slot slot : slots(true)) {
      if (label.equals(slot.tokenLabel())) return slot;
    }
    return null;
  }

  /** The first slot that holds a token, or null. */
  public Slot firstSlotWithToken() throws PKCS11Exception {
    List<Slot> slots = slots(true);
    return slots.isEmpty() ? null : slots.get(0);
  }

  @Override
  public String toString() {
    return "Pkcs11Module[" + path + "]";
  }
}
