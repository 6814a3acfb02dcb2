package it.morvale.pkcs11.nat;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import it.morvale.pkcs11.PKCS11Exception;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.text.ParseException;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.function.Function;
import org.junit.jupiter.api.Test;

/**
 * Every native method of the four classes, called by reflection against the recording module with
 * hostile arguments: each reference argument null in turn, each int and long at its extremes and
 * one past the arrays of the call, each slot, session and object handle 0 and -1, an object
 * without a session, and the function-list and module handles 0. Each call starts from a freshly
 * initialised module with a session, a data object and a key.
 *
 * <p>Only PKCS11Exception may escape (a date that does not parse leaves the VM's ParseException);
 * a JNI misuse shows as a VM error here or as a -Xcheck:jni warning, which fails the run. Where
 * the answer is known in advance it is checked: the refused operations, the null handles, null
 * arguments and lengths beyond their arrays refused before the module is called, and handles
 * reaching the module as the unsigned 32-bit numbers that Java holds.
 */
class NativeWalkTest {
  static final byte[] DATA = {1, 2, 3, 4};
  static final int CKM_RSA_PKCS = 0x1;
  static final int CKR_SESSION_HANDLE_INVALID = 0xB3;
  static final int CKR_OBJECT_HANDLE_INVALID = 0x82;
  static final int CKR_SLOT_ID_INVALID = 0x3;
  static final long CKR_ZOR_NOTINIT = 0x80000003L;
  /** The one slot of the module; 0 and -1 name none. */
  static final int SLOT = 5;

  /** Methods whose first long is the module handle: they reach vendor functions by name. */
  static final Set<String> BY_MODULE = Set.of("setPinRules", "control", "control2", "initPIN4",
      "initPIN4Bit", "setPIN4", "setTokenParam", "getTokenParam", "functionListHandler");

  /** The operations the bridge does not offer, with their messages. */
  static final Map<String, String> REFUSED = Map.ofEntries(
      Map.entry("waitForSlotEvent", "Not supported"), Map.entry("copy", "Not supported"),
      Map.entry("signUpdate", "Not supported YET"), Map.entry("signFinal", "Not supported YET"),
      Map.entry("getOperationState", "Not supported"),
      Map.entry("setOperationState", "Not supported"), Map.entry("encryptUpdate", "Not supported"),
      Map.entry("encryptFinal", "Not supported"), Map.entry("decryptUpdate", "Not supported"),
      Map.entry("decryptFinal", "Not supported"), Map.entry("digestInit", "Not supported"),
      Map.entry("digest", "Not supported"), Map.entry("digestUpdate", "Not supported"),
      Map.entry("digestKey", "Not supported"), Map.entry("digestFinal", "Not supported"),
      Map.entry("signRecoverInit", "Not supported"), Map.entry("signRecover", "Not supported"),
      Map.entry("verifyInit", "Not supported"), Map.entry("verify", "Not supported"),
      Map.entry("verifyUpdate", "Not supported"), Map.entry("verifyFinal", "Not supported"),
      Map.entry("verifyRecoverInit", "Not supported"), Map.entry("verifyRecover", "Not supported"),
      Map.entry("digestEncryptUpdate", "Not supported"),
      Map.entry("decryptDigestUpdate", "Not supported"),
      Map.entry("signEncryptUpdate", "Not supported"),
      Map.entry("decryptVerifyUpdate", "Not supported"), Map.entry("deriveKey", "Not supported"),
      Map.entry("seedRandom", "Not supported"), Map.entry("generateRandom", "Not supported"),
      Map.entry("getFunctionStatus", "Not supported"),
      Map.entry("cancelFunction", "Not supported"));

  /**
   * Reference arguments that may be null and still reach the module: mechanism parameters and an
   * identifier that are not read, the output of a size query, and the optional PUK, old PIN and
   * credential PIN.
   */
  static final Set<String> MAY_BE_NULL = Set.of("signInit 2", "encryptInit 2", "decryptInit 2",
      "sign 4", "decrypt 4", "wrapKey 2", "unwrapKey 2", "generateKey 2", "generateKeyPair 2",
      "installCertificate 3", "initPIN4 1", "initPIN4Bit 1", "setPIN4 1", "getRSAcredential 3");

  /** Lengths that describe an array of the call: out of range, they are refused. */
  static final Set<String> CHECKED_LENGTHS =
      Set.of("sign 3", "encrypt 3", "decrypt 3", "unwrapKey 6", "control 3", "control2 4");

  static final Set<String> MECHANISM_TYPES =
      Set.of("signInit", "encryptInit", "decryptInit", "wrapKey", "unwrapKey", "generateKey",
          "generateKeyPair", "generateKeyPairOB", "getMechanismInfo");

  /** The module freshly initialised, a session on its slot, a data object and a secret key. */
  static final class World {
    final LoadedModule m;
    final NativePKCS11Slot slot;
    final NativePKCS11Session session;
    final NativePKCS11Object object;
    final NativePKCS11Object key;

    World(LoadedModule m) throws PKCS11Exception {
      this.m = m;
      m.p11.libFinalize(m.module, m.list);
      m.p11.libInitialize(m.list);
      slot = new NativePKCS11Slot(m.p11, SLOT);
      session = slot.openSession(m.list, 0x6);
      object = session.createObject(
          m.list, new int[] {0x0, 0x1, 0x3}, new Object[] {0 /* CKO_DATA */, false, "walk"});
      key = session.createObject(m.list,
          new int[] {0x0, 0x1, 0x11, 0x104, 0x105, 0x106, 0x107, 0x108, 0x162},
          new Object[] {
              4 /* CKO_SECRET_KEY */, false, new byte[16], true, true, true, true, true, true});
      TestBridge.clearJournal();
    }
  }

  /** One call: a label, the receiver made from the world, and one argument replaced. */
  static final class Case {
    final String label;
    final Function<World, Object> receiver;
    final int index; // the replaced argument, or -1
    final Function<World, Object> value;
    final String handleSeen; // "slotID=0xffffffff" and the like, or null

    Case(String label, Function<World, Object> receiver, int index, Function<World, Object> value,
        String handleSeen) {
      this.label = label;
      this.receiver = receiver;
      this.index = index;
      this.value = value;
      this.handleSeen = handleSeen;
    }
  }

  static boolean handle(Method m, int i) {
    return m.getParameterTypes()[i] == long.class
        && (i == 0 && !m.getName().equals("getRSAcredential")
            || i == 1 && m.getName().equals("libFinalize"));
  }

  static boolean moduleHandle(Method m, int i) {
    return i == 0 && (BY_MODULE.contains(m.getName()) || m.getName().equals("libFinalize"));
  }

  static String key(Method m, int i) { return m.getName() + " " + i; }

  /** A valid argument: the call would do what it is meant to. */
  static Object baseline(World w, Method m, int i) {
    Class<?> t = m.getParameterTypes()[i];
    if (handle(m, i)) return moduleHandle(m, i) ? w.m.module : w.m.list;
    if (t == long.class) return (long) DATA.length;
    if (t == int.class) {
      if (i == 1 && MECHANISM_TYPES.contains(m.getName())) return CKM_RSA_PKCS;
      if (CHECKED_LENGTHS.contains(key(m, i))) return DATA.length;
      return 0;
    }
    if (t == boolean.class) return false;
    if (t == String.class)
      return m.getName().equals("loadPKCS11Library") ? TestBridge.qrec() : "1234";
    if (t == byte[].class) return DATA.clone();
    if (t == int[].class) return new int[] {0x0, 0x1, 0x3};
    if (t == Object[].class) return new Object[] {0, false, "walk"};
    if (t == Object.class) return "walk";
    if (t == NativePKCS11Object.class) return w.key;
    throw new AssertionError("no baseline for " + t + " in " + m);
  }

  /** The hostile values of one argument. */
  static List<Function<World, Object>> hostile(Method m, int i) {
    Class<?> t = m.getParameterTypes()[i];
    List<Function<World, Object>> values = new ArrayList<>();
    if (handle(m, i)) {
      values.add(w -> 0L);
    } else if (t == long.class) {
      for (long v : new long[] {-1, Long.MIN_VALUE, Long.MAX_VALUE, 1L << 31, DATA.length + 1})
        values.add(w -> v);
    } else if (t == int.class) {
      for (int v : new int[] {0, -1, Integer.MIN_VALUE, Integer.MAX_VALUE, DATA.length + 1})
        values.add(w -> v);
    } else if (t == boolean.class) {
      values.add(w -> true);
    } else if (t == String.class) {
      values.add(w -> null);
      values.add(w -> "");
    } else if (t == byte[].class) {
      values.add(w -> null);
      values.add(w -> new byte[0]);
    } else if (t == int[].class) {
      values.add(w -> null);
      values.add(w -> new int[0]);
      values.add(w -> new int[] {-1});
    } else if (t == Object[].class) {
      values.add(w -> null);
      values.add(w -> new Object[0]);
      values.add(w -> new Object[] {null, null, null});
      values.add(w -> new Object[] {1L, new Object(), new int[0]});
    } else if (t == Object.class) {
      values.add(w -> null);
      values.add(w -> 1L);
      values.add(w -> new Object());
    } else if (t == NativePKCS11Object.class) {
      values.add(w -> null);
      values.add(w -> new NativePKCS11Object(w.session, 0));
      values.add(w -> new NativePKCS11Object(w.session, -1));
      values.add(w -> new NativePKCS11Object(null, w.key.objectID));
    }
    return values;
  }

  /** The receivers: the valid one, then those whose handles are 0 and -1 (or unreadable). */
  static List<Case> receivers(Class<?> owner) {
    List<Case> cases = new ArrayList<>();
    if (owner == NativePKCS11.class) {
      cases.add(new Case("", w -> w.m.p11, -1, null, null));
    } else if (owner == NativePKCS11Slot.class) {
      cases.add(new Case("", w -> w.slot, -1, null, null));
      cases.add(
          new Case("slotID=0", w -> new NativePKCS11Slot(w.m.p11, 0), -1, null, "slotID=0x0"));
      cases.add(new Case(
          "slotID=-1", w -> new NativePKCS11Slot(w.m.p11, -1), -1, null, "slotID=0xffffffff"));
    } else if (owner == NativePKCS11Session.class) {
      cases.add(new Case("", w -> w.session, -1, null, null));
      cases.add(new Case(
          "sessionID=0", w -> new NativePKCS11Session(w.slot, 0), -1, null, "hSession=0x0"));
      cases.add(new Case("sessionID=-1",
          w -> new NativePKCS11Session(w.slot, -1), -1, null, "hSession=0xffffffff"));
    } else {
      cases.add(new Case("", w -> w.object, -1, null, null));
      cases.add(new Case(
          "objectID=0", w -> new NativePKCS11Object(w.session, 0), -1, null, "hObject=0x0"));
      cases.add(new Case("objectID=-1",
          w -> new NativePKCS11Object(w.session, -1), -1, null, "hObject=0xffffffff"));
      cases.add(new Case(
          "session=null", w -> new NativePKCS11Object(null, w.object.objectID), -1, null, null));
    }
    return cases;
  }

  @Test
  void everyNativeMethodSurvivesHostileArguments() throws Exception {
    Class<?>[] owners = {NativePKCS11.class, NativePKCS11Slot.class, NativePKCS11Session.class,
        NativePKCS11Object.class};
    int natives = 0;
    int calls = 0;
    try (LoadedModule m = LoadedModule.recording("SLOT_IDS=0x5", "IDENTRUS=08")) {
      for (Class<?> owner : owners) {
        Method[] methods = owner.getDeclaredMethods();
        Arrays.sort(methods, (a, b) -> a.toString().compareTo(b.toString()));
        for (Method method : methods) {
          if (!Modifier.isNative(method.getModifiers())) continue;
          natives++;
          List<Case> cases = new ArrayList<>(receivers(owner));
          Case valid = cases.get(0);
          for (int i = 0; i < method.getParameterCount(); i++) {
            for (Function<World, Object> value : hostile(method, i))
              cases.add(new Case("argument " + i, valid.receiver, i, value, null));
          }
          for (Case c : cases) {
            walk(m, method, c);
            calls++;
          }
        }
      }
    }
    assertEquals(99, natives, "native methods of the four classes");
    assertTrue(calls > 1000, "calls made: " + calls);
  }

  /** Makes one call from a fresh world and checks its outcome. */
  static void walk(LoadedModule m, Method method, Case c) throws Exception {
    World w = new World(m);
    Object receiver = c.receiver.apply(w);
    Object[] args = new Object[method.getParameterCount()];
    for (int i = 0; i < args.length; i++) args[i] = baseline(w, method, i);
    if (c.index >= 0) args[c.index] = c.value.apply(w);
    String what = method.getName() + " " + c.label + " " + describe(args);

    Object result = null;
    PKCS11Exception thrown = null;
    try {
      result = method.invoke(receiver, args);
    } catch (InvocationTargetException e) {
      Throwable cause = e.getCause();
      boolean dateText =
          cause instanceof ParseException && method.getName().contains("ttributeValue");
      if (cause instanceof PKCS11Exception) {
        thrown = (PKCS11Exception) cause;
      } else if (!dateText) {
        throw new AssertionError(what + " let " + cause + " escape", cause);
      }
    }
    List<String> journal = TestBridge.journal();
    String name = method.getName();

    if (REFUSED.containsKey(name)) {
      expectMessage(what, REFUSED.get(name), thrown);
      assertEquals(List.of(), journal, what + ": a refused operation calls nothing");
      return;
    }
    if (c.index >= 0 && handle(method, c.index)) {
      expectNullHandle(what, method, c.index, result, thrown);
      return;
    }
    if (c.label.equals("session=null")) {
      expectMessage(what, "Internal error (Null parameter)", thrown);
      assertEquals(List.of(), journal, what + ": nothing is called without a session");
      return;
    }
    if (c.handleSeen != null) {
      String field = c.handleSeen.substring(0, c.handleSeen.indexOf('=') + 1);
      for (String line : journal) {
        if (line.contains(" " + field))
          assertTrue(line.contains(" " + c.handleSeen + " "), what + ": " + line);
      }
      expectInvalidHandle(what, method, c, result, thrown);
      return;
    }
    if (c.index < 0) return;
    Object value = args[c.index];
    if (value == null && !MAY_BE_NULL.contains(key(method, c.index))
        && !(name.equals("findObjectsInit") && args[1] == null && args[2] == null)) {
      if (thrown == null) fail(what + ": a null argument was accepted");
      assertEquals(List.of(), journal, what + ": a null argument reaches no module");
    }
    if (CHECKED_LENGTHS.contains(key(method, c.index)) && outOfRange(value)) {
      expectMessage(what, "Internal error: length out of range", thrown);
      assertEquals(List.of(), journal, what + ": an out-of-range length reaches no module");
    }
  }

  static boolean outOfRange(Object length) {
    long n = ((Number) length).longValue();
    return n < 0 || n > DATA.length;
  }

  /** A function-list or module handle of 0. */
  static void expectNullHandle(
      String what, Method method, int index, Object result, PKCS11Exception thrown) {
    switch (method.getName()) {
      case "libFinalize":
        assertEquals(index == 1 ? CKR_ZOR_NOTINIT : 0L, result, what);
        return;
      case "getIdentrusObject":
        // The search cannot start: the object carries the handle -1, for Java to test.
        assertEquals(-1, ((NativePKCS11Object) result).objectID, what);
        return;
      case "getRSAcredential":
        return; // the handle is not used
      default:
        expectMessage(what, "Internal error", thrown);
    }
  }

  /** A slot, session or object handle that the module does not know. */
  static void expectInvalidHandle(
      String what, Method method, Case c, Object result, PKCS11Exception thrown) {
    if (method.getName().equals("getIdentrusObject")) {
      assertEquals(-1, ((NativePKCS11Object) result).objectID, what);
      return;
    }
    // The reader's vendor functions take any slot (the journal showed which).
    if (Set.of("setPinRules", "control", "control2").contains(method.getName())) return;
    int code = c.label.startsWith("slot") ? CKR_SLOT_ID_INVALID
        : c.label.startsWith("session")   ? CKR_SESSION_HANDLE_INVALID
                                          : CKR_OBJECT_HANDLE_INVALID;
    if (thrown == null || !thrown.hasCode())
      fail(what + ": expected code " + Integer.toHexString(code) + ", got " + thrown);
    assertEquals(code, thrown.getCode(), what);
  }

  static void expectMessage(String what, String message, PKCS11Exception thrown) {
    if (thrown == null) fail(what + ": expected \"" + message + "\", nothing thrown");
    assertEquals(message, thrown.getMessage(), what);
  }

  static String describe(Object[] args) {
    StringBuilder text = new StringBuilder("(");
    for (Object a : args) {
      if (text.length() > 1) text.append(", ");
      if (a instanceof byte[])
        text.append("byte[").append(((byte[]) a).length).append(']');
      else if (a instanceof int[])
        text.append(Arrays.toString((int[]) a));
      else if (a instanceof Object[])
        text.append(Arrays.deepToString((Object[]) a));
      else
        text.append(a);
    }
    return text.append(')').toString();
  }
}
