package it.morvale.bench;

import it.morvale.pkcs11.PKCS11Info;
import it.morvale.pkcs11.PKCS11SessionInfo;
import it.morvale.pkcs11.PKCS11TokenInfo;
import it.morvale.pkcs11.nat.NativePKCS11;
import it.morvale.pkcs11.nat.NativePKCS11Object;
import it.morvale.pkcs11.nat.NativePKCS11Session;
import it.morvale.pkcs11.nat.NativePKCS11Slot;
import java.io.FileWriter;
import java.io.PrintWriter;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Locale;
import sun.security.pkcs11.wrapper.CK_ATTRIBUTE;
import sun.security.pkcs11.wrapper.CK_INFO;
import sun.security.pkcs11.wrapper.CK_MECHANISM;
import sun.security.pkcs11.wrapper.CK_SESSION_INFO;
import sun.security.pkcs11.wrapper.CK_TOKEN_INFO;
import sun.security.pkcs11.wrapper.PKCS11;

/**
 * The cost per call of the same work done three ways, side by side: a C driver calling the
 * module directly (CDriver), the JDK's own wrapper (sun.security.pkcs11.wrapper.PKCS11) and the
 * bridge. One JVM measures one module; the three ways share its instance, its session and its
 * keys. Each case is warmed up, then measured over several rounds whose order of ways changes
 * from round to round; the minimum and the median of the per-call times are reported, with the
 * ratios of the minimums.
 *
 * <p>System properties: bench.bridge, bench.driver (the two native libraries), bench.module (the
 * module's path), bench.pin, bench.title, bench.out (the Markdown file appended to),
 * bench.scaling (true to add the scaling series), bench.rounds, bench.targetMillis,
 * bench.bridgeOnly (true to run the bridge's way alone, for a profile).
 */
public final class Bench {
  // Operations, numbered as in cdriver.cpp.
  static final int MODULE_INFO = 0;
  static final int SLOT_LIST = 1;
  static final int TOKEN_INFO = 2;
  static final int SESSION_INFO = 3;
  static final int READ_CLASS = 4;
  static final int READ_LABEL = 5;
  static final int READ_MODULUS = 6;
  static final int SEARCH_TEN = 7;
  static final int SIGN_RSA = 8;
  static final int SIGN_EC = 9;
  static final int ENCRYPT = 10;
  static final int CREATE_DESTROY = 11;
  static final int SIGN_SHA256_RSA = 12;
  static final int CREATE_SCALED = 13;

  static final long CKA_CLASS = 0x0;
  static final long CKA_TOKEN = 0x1;
  static final long CKA_PRIVATE = 0x2;
  static final long CKA_LABEL = 0x3;
  static final long CKA_APPLICATION = 0x10;
  static final long CKA_VALUE = 0x11;
  static final long CKA_OBJECT_ID = 0x12;
  static final long CKA_MODULUS = 0x120;
  static final long CKA_MODIFIABLE = 0x170;
  static final long CKA_COPYABLE = 0x171;
  static final long CKA_DESTROYABLE = 0x172;
  static final long CKA_VENDOR_DEFINED = 0x80000000L;
  static final long CKO_DATA = 0x0;
  static final long CKM_RSA_PKCS = 0x1;
  static final long CKM_SHA256_RSA_PKCS = 0x40;
  static final long CKM_ECDSA = 0x1041;
  static final long CKM_AES_ECB = 0x1081;
  static final String SEARCH_LABEL = "bench-search";

  /** One way of doing `calls` times the work of a case; returns the nanoseconds it took. */
  @FunctionalInterface
  interface Batch {
    long run(int calls) throws Exception;
  }

  /** What one way measured in a case: nanoseconds per call, minimum and median over rounds. */
  record Figures(double min, double median) {}

  record Row(String name, long size, Figures c, Figures jdk, Figures bridge) {
    double toC() {
      return bridge.min / c.min;
    }
    double toJdk() {
      return bridge.min / jdk.min;
    }
  }

  static final int[][] ORDERS = {{0, 1, 2}, {2, 1, 0}, {1, 2, 0}, {0, 2, 1}, {2, 0, 1}, {1, 0, 2}};
  static final String[] WAYS = {"C", "JDK", "bridge"};

  static long sink;

  final int rounds = Integer.getInteger("bench.rounds", 21);
  final long targetNanos = Long.getLong("bench.targetMillis", 4) * 1_000_000L;
  final boolean bridgeOnly = Boolean.getBoolean("bench.bridgeOnly");

  final String modulePath;
  final PKCS11 jdk;
  final NativePKCS11 p11;
  final long list;
  final long slot;
  final long session;
  final NativePKCS11Slot slotObject;
  final NativePKCS11Session sessionObject;
  final long readObject;
  final long rsaKey;
  final long ecKey;
  final long aesKey;

  Bench(String modulePath, String pin) throws Exception {
    this.modulePath = modulePath;
    // The C driver loads and initialises the module; the JDK's wrapper and the bridge bind to
    // the same, already initialised instance.
    CDriver.open(modulePath);
    long[] opened = CDriver.openSession(pin);
    slot = opened[0];
    session = opened[1];
    long[] keys = CDriver.makeKeys();
    readObject = keys[0];
    rsaKey = keys[1];
    ecKey = keys[2];
    aesKey = keys[3];
    CDriver.prepare(readObject, rsaKey, ecKey, aesKey);
    jdk = PKCS11.getInstance(modulePath, "C_GetFunctionList", null, true);
    p11 = new NativePKCS11();
    long module = p11.loadPKCS11Library(modulePath);
    list = p11.functionListHandler(module);
    slotObject = new NativePKCS11Slot(p11, (int) slot);
    sessionObject = new NativePKCS11Session(slotObject, (int) session);
  }

  NativePKCS11Object object(long handle) {
    return new NativePKCS11Object(sessionObject, (int) handle);
  }

  static Batch c(int op, int size) { return calls -> CDriver.time(op, calls, size); }

  /** A Java loop, timed around the whole batch. */
  @FunctionalInterface
  interface Body {
    void once() throws Exception;
  }

  static Batch java(Body body) {
    return calls -> {
      long start = System.nanoTime();
      for (int i = 0; i < calls; ++i) body.once();
      return System.nanoTime() - start;
    };
  }

  // --- The cases -------------------------------------------------------------------------------

  List<Row> operations() throws Exception {
    List<Row> rows = new ArrayList<>();
    rows.add(measure("module information", 0, c(MODULE_INFO, 0), java(() -> {
      CK_INFO info = jdk.C_GetInfo();
      sink += info.flags;
    }),
        java(() -> {
          PKCS11Info info = p11.getInfo(list);
          sink += info.hashCode();
        })));
    rows.add(measure("slot list", 0, c(SLOT_LIST, 0),
        java(() -> { sink += jdk.C_GetSlotList(true).length; }),
        java(() -> { sink += p11.getSlotList(list, true).length; })));
    rows.add(measure("token information", 0, c(TOKEN_INFO, 0), java(() -> {
      CK_TOKEN_INFO info = jdk.C_GetTokenInfo(slot);
      sink += info.flags;
    }),
        java(() -> {
          PKCS11TokenInfo info = slotObject.getTokenInfo(list);
          sink += info.hashCode();
        })));
    rows.add(measure("session information", 0, c(SESSION_INFO, 0), java(() -> {
      CK_SESSION_INFO info = jdk.C_GetSessionInfo(session);
      sink += info.state;
    }),
        java(() -> {
          PKCS11SessionInfo info = sessionObject.getInfo(list);
          sink += info.hashCode();
        })));
    NativePKCS11Object read = object(readObject);
    rows.add(measure("int attribute (CKA_CLASS)", 0, c(READ_CLASS, 0), java(() -> {
      CK_ATTRIBUTE[] attribute = {new CK_ATTRIBUTE(CKA_CLASS)};
      jdk.C_GetAttributeValue(session, readObject, attribute);
      sink += attribute[0].getLong();
    }),
        java(() -> { sink += read.getIntAttributeValue(list, (int) CKA_CLASS); })));
    rows.add(measure("text attribute (CKA_LABEL)", 0, c(READ_LABEL, 0), java(() -> {
      CK_ATTRIBUTE[] attribute = {new CK_ATTRIBUTE(CKA_LABEL)};
      jdk.C_GetAttributeValue(session, readObject, attribute);
      sink += new String(attribute[0].getCharArray()).length();
    }),
        java(() -> { sink += read.getStringAttributeValue(list, (int) CKA_LABEL).length(); })));
    rows.add(measure("big integer (CKA_MODULUS)", 0, c(READ_MODULUS, 0), java(() -> {
      CK_ATTRIBUTE[] attribute = {new CK_ATTRIBUTE(CKA_MODULUS)};
      jdk.C_GetAttributeValue(session, readObject, attribute);
      sink += attribute[0].getBigInteger().bitLength();
    }),
        java(() -> {
          sink += read.getBigIntegerAttributeValue(list, (int) CKA_MODULUS).bitLength();
        })));
    CK_ATTRIBUTE[] jdkSearch = {new CK_ATTRIBUTE(CKA_LABEL, SEARCH_LABEL)};
    int[] searchTypes = {(int) CKA_LABEL};
    Object[] searchValues = {SEARCH_LABEL};
    rows.add(measure("search, ten objects one at a time", 0, c(SEARCH_TEN, 0), java(() -> {
      jdk.C_FindObjectsInit(session, jdkSearch);
      int found = 0;
      while (jdk.C_FindObjects(session, 1).length == 1) ++found;
      jdk.C_FindObjectsFinal(session);
      sink += expect(found, 10);
    }),
        java(() -> {
          sessionObject.findObjectsInit(list, searchTypes, searchValues);
          int found = 0;
          while (sessionObject.findObject(list) != null) ++found;
          sessionObject.findObjectsFinal(list);
          sink += expect(found, 10);
        })));
    rows.add(
        signing("signInit + sign, RSA-2048 CKM_RSA_PKCS", SIGN_RSA, CKM_RSA_PKCS, rsaKey, 32, 256));
    rows.add(signing("signInit + sign, P-256 CKM_ECDSA", SIGN_EC, CKM_ECDSA, ecKey, 32, 64));
    CK_MECHANISM aes = new CK_MECHANISM(CKM_AES_ECB);
    byte[] plain = new byte[16];
    byte[] jdkOut = new byte[4096];
    byte[] bridgeOut = new byte[4096];
    NativePKCS11Object aesObject = object(aesKey);
    rows.add(
        measure("encryptInit + encrypt, AES-ECB 16 B into 4 KiB", 0, c(ENCRYPT, 0), java(() -> {
          jdk.C_EncryptInit(session, aes, aesKey);
          sink += jdk.C_Encrypt(session, 0, plain, 0, 16, 0, jdkOut, 0, jdkOut.length);
        }),
            java(() -> {
              sessionObject.encryptInit(list, (int) CKM_AES_ECB, null, aesObject);
              sink += sessionObject.encrypt(list, plain, 0, 16, bridgeOut);
            })));
    Object[] ten = tenAttributes();
    CK_ATTRIBUTE[] jdkTen = jdkTemplate((long[]) ten[0], (Object[]) ten[2]);
    int[] tenTypes = (int[]) ten[1];
    Object[] tenValues = (Object[]) ten[2];
    rows.add(measure("createObject + destroy, ten attributes", 0, c(CREATE_DESTROY, 0),
        java(() -> { jdk.C_DestroyObject(session, jdk.C_CreateObject(session, jdkTen)); }),
        java(() -> { sessionObject.createObject(list, tenTypes, tenValues).destroy(list); })));
    return rows;
  }

  Row signing(String name, int op, long mechanismType, long key, int dataLength,
      int signatureLength) throws Exception {
    CK_MECHANISM mechanism = new CK_MECHANISM(mechanismType);
    byte[] data = new byte[dataLength];
    byte[] signature = new byte[signatureLength];
    NativePKCS11Object keyObject = object(key);
    return measure(name, dataLength, c(op, dataLength), java(() -> {
      jdk.C_SignInit(session, mechanism, key);
      sink += jdk.C_Sign(session, data).length;
    }),
        java(() -> {
          sessionObject.signInit(list, (int) mechanismType, null, keyObject);
          sink += sessionObject.sign(list, data, 0, data.length, signature);
        }));
  }

  /** The data object of the creation case: {long[] types, int[] types, Object[] values}. */
  static Object[] tenAttributes() {
    long[] types = {CKA_CLASS, CKA_TOKEN, CKA_PRIVATE, CKA_MODIFIABLE, CKA_LABEL, CKA_APPLICATION,
        CKA_OBJECT_ID, CKA_VALUE, CKA_COPYABLE, CKA_DESTROYABLE};
    byte[] value = new byte[32];
    for (int i = 0; i < value.length; ++i) value[i] = (byte) i;
    Object[] values = {(int) CKO_DATA, false, false, true, "bench object", "quillon bench",
        new byte[] {0x06, 0x07, 0x2A, (byte) 0x86, 0x48, (byte) 0xCE, 0x3D, 0x02, 0x01}, value,
        true, true};
    return new Object[] {types, intTypes(types), values};
  }

  /** The scaled template of cdriver.cpp: vendor types, values cycling through four kinds. */
  static Object[] scaledTemplate(int count) {
    long[] types = new long[count];
    Object[] values = new Object[count];
    byte[] bytes = new byte[16];
    for (int i = 0; i < 16; ++i) bytes[i] = (byte) (0xA0 + i);
    for (int i = 0; i < count; ++i) {
      types[i] = CKA_VENDOR_DEFINED + i;
      int kind = i % 4;
      if (kind == 0) {
        values[i] = i;
      } else if (kind == 1) {
        values[i] = true;
      } else if (kind == 2) {
        values[i] = "scaled attribute";
      } else {
        values[i] = bytes;
      }
    }
    return new Object[] {types, intTypes(types), values};
  }

  static int[] intTypes(long[] types) {
    int[] narrow = new int[types.length];
    for (int i = 0; i < types.length; ++i) narrow[i] = (int) types[i];
    return narrow;
  }

  /** The same template for the JDK's wrapper: Integer values become CK_ULONG (long) values. */
  static CK_ATTRIBUTE[] jdkTemplate(long[] types, Object[] values) {
    CK_ATTRIBUTE[] template = new CK_ATTRIBUTE[types.length];
    for (int i = 0; i < types.length; ++i) {
      Object value = values[i];
      template[i] = value instanceof Integer number ? new CK_ATTRIBUTE(types[i], number.longValue())
          : value instanceof Boolean flag ? new CK_ATTRIBUTE(types[i], flag.booleanValue())
                                          : new CK_ATTRIBUTE(types[i], value);
    }
    return template;
  }

  static int expect(int found, int wanted) {
    if (found != wanted) throw new IllegalStateException("found " + found + ", not " + wanted);
    return found;
  }

  List<Row> scaling() throws Exception {
    List<Row> rows = new ArrayList<>();
    if (CDriver.setSlots(1)) {
      for (int count : new int[] {1, 10, 100, 1000}) {
        CDriver.setSlots(count);
        rows.add(measure("getSlotList", count, c(SLOT_LIST, 0),
            java(() -> { sink += expect(jdk.C_GetSlotList(true).length, count); }),
            java(() -> { sink += expect(p11.getSlotList(list, true).length, count); })));
      }
      CDriver.setSlots(1);
      for (int count : new int[] {1, 10, 100, 1000}) {
        Object[] template = scaledTemplate(count);
        CK_ATTRIBUTE[] jdkAttributes = jdkTemplate((long[]) template[0], (Object[]) template[2]);
        int[] types = (int[]) template[1];
        Object[] values = (Object[]) template[2];
        rows.add(measure("createObject + destroy", count, c(CREATE_SCALED, count), java(() -> {
          jdk.C_DestroyObject(session, jdk.C_CreateObject(session, jdkAttributes));
        }),
            java(() -> { sessionObject.createObject(list, types, values).destroy(list); })));
      }
    }
    for (int size : new int[] {32, 1024, 64 * 1024, 1024 * 1024}) {
      rows.add(sizedSigning(size));
    }
    return rows;
  }

  Row sizedSigning(int size) throws Exception {
    CK_MECHANISM mechanism = new CK_MECHANISM(CKM_SHA256_RSA_PKCS);
    byte[] data = new byte[size];
    byte[] signature = new byte[256];
    NativePKCS11Object keyObject = object(rsaKey);
    return measure("sign, CKM_SHA256_RSA_PKCS", size, c(SIGN_SHA256_RSA, size), java(() -> {
      jdk.C_SignInit(session, mechanism, rsaKey);
      sink += jdk.C_Sign(session, data).length;
    }),
        java(() -> {
          sessionObject.signInit(list, (int) CKM_SHA256_RSA_PKCS, null, keyObject);
          sink += sessionObject.sign(list, data, 0, data.length, signature);
        }));
  }

  // --- Measuring -------------------------------------------------------------------------------

  Row measure(String name, long size, Batch c, Batch jdkWay, Batch bridgeWay) throws Exception {
    Batch[] ways = {c, jdkWay, bridgeWay};
    if (bridgeOnly) {
      // For a profile of the bridge alone: the other ways are not run.
      Batch idle = calls -> calls;
      ways = new Batch[] {idle, idle, bridgeWay};
    }
    double slowest = 0;
    for (Batch way : ways) slowest = Math.max(slowest, warmUp(way));
    int calls = (int) Math.max(1, Math.min(1_000_000, targetNanos / slowest));
    double[][] perCall = new double[3][rounds];
    for (int round = 0; round < rounds; ++round) {
      for (int way : ORDERS[round % ORDERS.length]) {
        perCall[way][round] = ways[way].run(calls) / (double) calls;
      }
    }
    Row row = new Row(name, size, figures(perCall[0]), figures(perCall[1]), figures(perCall[2]));
    System.err.printf(Locale.ROOT, "  %-48s %8s C %10.1f  JDK %10.1f  bridge %10.1f ns%n", name,
        size == 0 ? "" : Long.toString(size), row.c.min, row.jdk.min, row.bridge.min);
    return row;
  }

  /** Runs a way until the JIT has settled on it; returns its cost per call in nanoseconds. */
  static double warmUp(Batch way) throws Exception {
    long spent = 0;
    long calls = 0;
    int batch = 1;
    while (spent < 300_000_000L) {
      spent += way.run(batch);
      calls += batch;
      if (batch < 10_000) batch *= 2;
    }
    return spent / (double) calls;
  }

  static Figures figures(double[] perCall) {
    double[] sorted = perCall.clone();
    Arrays.sort(sorted);
    return new Figures(sorted[0], sorted[sorted.length / 2]);
  }

  // --- Reporting -------------------------------------------------------------------------------

  static String ns(double value) {
    return value >= 100 ? String.format(Locale.ROOT, "%,.0f", value)
                        : String.format(Locale.ROOT, "%.1f", value);
  }

  static String ratio(double value) { return String.format(Locale.ROOT, "%.2f", value); }

  static void table(PrintWriter out, List<Row> rows, boolean withSize, String sizeName) {
    out.println("| operation |" + (withSize ? " " + sizeName + " |" : "")
        + " C min | C median | JDK min | JDK median | bridge min | bridge median"
        + " | bridge/C | bridge/JDK |");
    out.println("|---|" + (withSize ? "---:|" : "") + "---:|---:|---:|---:|---:|---:|---:|---:|");
    for (Row row : rows) {
      out.println("| " + row.name + " |" + (withSize ? " " + size(row) + " |" : "") + " "
          + ns(row.c.min) + " | " + ns(row.c.median) + " | " + ns(row.jdk.min) + " | "
          + ns(row.jdk.median) + " | " + ns(row.bridge.min) + " | " + ns(row.bridge.median) + " | "
          + ratio(row.toC()) + " | " + ratio(row.toJdk()) + " |");
    }
  }

  static String size(Row row) {
    if (!row.name.startsWith("sign")) return Long.toString(row.size);
    return row.size >= 1024 * 1024 ? row.size / (1024 * 1024) + " MiB"
        : row.size >= 1024         ? row.size / 1024 + " KiB"
                                   : row.size + " B";
  }

  /** The least-squares slope of the minimums over the sizes: the cost of one more item. */
  static double slope(List<Row> series, int way, double unit) {
    double n = series.size();
    double sx = 0;
    double sy = 0;
    double sxx = 0;
    double sxy = 0;
    for (Row row : series) {
      double x = row.size / unit;
      double y = way == 0 ? row.c.min : way == 1 ? row.jdk.min : row.bridge.min;
      sx += x;
      sy += y;
      sxx += x * x;
      sxy += x * y;
    }
    return (n * sxy - sx * sy) / (n * sxx - sx * sx);
  }

  static void scalingTable(PrintWriter out, List<Row> rows) {
    String[][] series = {{"getSlotList", "slots", "slot", "1"},
        {"createObject + destroy", "attributes", "attribute", "1"},
        {"sign, CKM_SHA256_RSA_PKCS", "data", "KiB", "1024"}};
    for (String[] s : series) {
      List<Row> part = rows.stream().filter(r -> r.name.equals(s[0])).toList();
      if (part.isEmpty()) continue;
      out.println();
      out.println("**" + s[0] + "** by " + s[1] + ":");
      out.println();
      table(out, part, true, s[1]);
      double unit = Double.parseDouble(s[3]);
      out.println();
      out.printf(Locale.ROOT,
          "Cost of one more %s (least-squares slope of the minimums): C %s ns,"
              + " JDK %s ns, bridge %s ns.%n",
          s[2], ns(slope(part, 0, unit)), ns(slope(part, 1, unit)), ns(slope(part, 2, unit)));
    }
  }

  public static void main(String[] args) throws Exception {
    System.load(System.getProperty("bench.bridge"));
    System.load(System.getProperty("bench.driver"));
    String title = System.getProperty("bench.title");
    Bench bench =
        new Bench(System.getProperty("bench.module"), System.getProperty("bench.pin", "1234"));
    System.err.println(title + ":");
    List<Row> rows = bench.operations();
    List<Row> scaled = Boolean.getBoolean("bench.scaling") ? bench.scaling() : List.of();
    try (PrintWriter out = new PrintWriter(new FileWriter(System.getProperty("bench.out"), true))) {
      out.println();
      out.println("#### " + title);
      out.println();
      out.println("Nanoseconds per call; " + bench.rounds + " rounds, the order of the three ways"
          + " changing from round to round; ratios of the minimums.");
      out.println();
      table(out, rows, false, null);
      if (!scaled.isEmpty()) {
        out.println();
        out.println("##### How the cost grows (" + title + ")");
        scalingTable(out, scaled);
      }
    }
    if (sink == 42) System.err.println(); // keeps every result alive
  }

  static { Locale.setDefault(Locale.ROOT); }
}
