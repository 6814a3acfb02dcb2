package it.morvale.pkcs11.nat;

import it.morvale.pkcs11.PKCS11Exception;
import java.io.IOException;
import java.math.BigInteger;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Date;

/**
 * A long run of mixed calls through the bridge into the recording module: information, slot lists,
 * sessions and logins, objects created, read through every typed read, written, searched and
 * destroyed, signatures, encryption and decryption, and calls that throw. The module must run with
 * QREC_SOAK=1, so that it keeps no journal and reads no file: what grows is then the bridge's.
 *
 * <p>The resident memory of the process is printed every 100,000 calls. After a warm-up of
 * 300,000 calls it may not grow by 1 MiB or more over its value at the end of the warm-up; the run
 * exits with status 1 when it does.
 *
 * <pre>java -cp quillon.jar:quillon_tests.jar it.morvale.pkcs11.nat.Soak BRIDGE MODULE
 * [CALLS]</pre>
 */
final class Soak {
  static final long REPORT_EVERY = 100_000;
  static final long WARM_UP = 300_000;
  static final long LIMIT_KIB = 1024;

  static final int CKA_CLASS = 0x0;
  static final int CKA_TOKEN = 0x1;
  static final int CKA_PRIVATE = 0x2;
  static final int CKA_LABEL = 0x3;
  static final int CKA_VALUE = 0x11;
  static final int CKA_START_DATE = 0x110;
  static final int CKA_MODULUS = 0x120;
  static final int CKA_SIGN = 0x108;
  static final int CKA_ENCRYPT = 0x104;
  static final int CKA_DECRYPT = 0x105;
  static final int CKM_RSA_PKCS = 0x1;
  static final int VENDOR_TYPE = 0x80000001;
  static final int MISSING_TYPE = 0x90;

  final NativePKCS11 p11 = new NativePKCS11();
  final long module;
  final long list;
  final long target;
  long calls;
  long baseline = -1;
  long worst;
  int thrown;

  Soak(String modulePath, long target) throws PKCS11Exception {
    this.target = target;
    module = p11.loadPKCS11Library(modulePath);
    list = p11.functionListHandler(module);
    p11.libInitialize(list);
  }

  public static void main(String[] args) throws Exception {
    System.load(args[0]);
    Soak soak = new Soak(args[1], args.length > 2 ? Long.parseLong(args[2]) : 1_000_000);
    long start = System.nanoTime();
    while (soak.calls < soak.target) soak.round();
    soak.p11.libFinalize(soak.module, soak.list);
    long growth = soak.worst - soak.baseline;
    System.out.printf("%d calls in %.1f s, %d of them threw PKCS11Exception%n", soak.calls,
        (System.nanoTime() - start) / 1e9, soak.thrown);
    System.out.printf(
        "resident memory after warm-up: %d KiB at most over %d KiB (limit %d KiB): %s%n", growth,
        soak.baseline, LIMIT_KIB, growth < LIMIT_KIB ? "flat" : "GROWING");
    System.exit(growth < LIMIT_KIB ? 0 : 1);
  }

  /** Counts one native call; reports and records the resident memory every REPORT_EVERY calls. */
  void tick() {
    if (++calls % REPORT_EVERY != 0) return;
    long rss = residentKib();
    System.out.printf("calls=%d rss_kib=%d%n", calls, rss);
    if (calls == WARM_UP) baseline = worst = rss;
    if (calls > WARM_UP) worst = Math.max(worst, rss);
  }

  /** A call that must throw PKCS11Exception. */
  void expectThrow(Call call) {
    try {
      call.run();
    } catch (PKCS11Exception e) {
      thrown++;
      tick();
      return;
    }
    throw new AssertionError("call " + calls + " did not throw");
  }

  interface Call {
    void run() throws PKCS11Exception;
  }

  static long residentKib() {
    try {
      for (String line : Files.readAllLines(Path.of("/proc/self/status"))) {
        if (line.startsWith("VmRSS:")) return Long.parseLong(line.replaceAll("[^0-9]", ""));
      }
    } catch (IOException e) {
      throw new IllegalStateException(e);
    }
    throw new IllegalStateException("no VmRSS");
  }

  /** One session's worth of calls, about fifty. */
  void round() throws PKCS11Exception {
    p11.getInfo(list);
    tick();
    NativePKCS11Slot slot = p11.getSlotList(list, true)[0];
    tick();
    slot.getInfo(list);
    tick();
    slot.getTokenInfo(list);
    tick();
    slot.getMechanismList(list);
    tick();
    slot.getMechanismInfo(list, CKM_RSA_PKCS);
    tick();
    NativePKCS11Session session = slot.openSession(list, 0x6);
    tick();
    session.getInfo(list);
    tick();
    session.login(list, false, "1234");
    tick();

    byte[] value = new byte[(int) (calls % 64)];
    NativePKCS11Object object = session.createObject(list,
        new int[] {
            CKA_CLASS, CKA_TOKEN, CKA_PRIVATE, CKA_LABEL, CKA_VALUE, CKA_START_DATE, CKA_MODULUS},
        new Object[] {0, false, true, "soak " + calls, value, new Date(),
            BigInteger.valueOf(calls).shiftLeft(100)});
    tick();
    object.getStringAttributeValue(list, CKA_LABEL);
    tick();
    object.getByteArrayAttributeValue(list, CKA_VALUE);
    tick();
    object.getIntAttributeValue(list, CKA_CLASS);
    tick();
    object.getBoolAttributeValue(list, CKA_TOKEN);
    tick();
    object.getDateAttributeValue(list, CKA_START_DATE);
    tick();
    object.getBigIntegerAttributeValue(list, CKA_MODULUS);
    tick();
    object.getAttributeValue(list, CKA_LABEL);
    tick();
    object.getAttributeValue(list, CKA_CLASS);
    tick();
    object.size(list);
    tick();
    object.setAttributeValue(list, CKA_LABEL, "renamed " + calls);
    tick();
    object.setAttributeValues(
        list, new int[] {CKA_VALUE, CKA_START_DATE}, new Object[] {new byte[16], new Date(0)});
    tick();
    object.setBoolAttributeValue(list, CKA_PRIVATE, true);
    tick();
    object.setIntAttributeValue(list, VENDOR_TYPE, (int) calls);
    tick();

    session.findObjectsInit(list, new int[] {CKA_CLASS}, new Object[] {0});
    tick();
    while (session.findObject(list) != null) tick();
    tick();
    session.findObjectsFinal(list);
    tick();

    NativePKCS11Object key = session.createObject(list,
        new int[] {CKA_CLASS, CKA_VALUE, CKA_SIGN, CKA_ENCRYPT, CKA_DECRYPT},
        new Object[] {4, new byte[] {0x5A, 1, 2, 3}, true, true, true});
    tick();
    byte[] data = ("data " + calls).getBytes();
    session.signInit(list, CKM_RSA_PKCS, null, key);
    tick();
    int length = session.sign(list, data, 0, data.length, null);
    tick();
    session.sign(list, data, 0, data.length, new byte[length]);
    tick();
    byte[] encrypted = new byte[data.length];
    session.encryptInit(list, CKM_RSA_PKCS, null, key);
    tick();
    session.encrypt(list, data, 0, data.length, encrypted);
    tick();
    session.decryptInit(list, CKM_RSA_PKCS, null, key);
    tick();
    session.decrypt(list, encrypted, 0, encrypted.length, new byte[data.length]);
    tick();

    expectThrow(() -> session.login(list, false, "1234"));
    expectThrow(() -> object.getIntAttributeValue(list, MISSING_TYPE));
    expectThrow(() -> object.getAttributeValue(list, MISSING_TYPE));
    expectThrow(() -> session.digestInit(list, CKM_RSA_PKCS, null));
    expectThrow(() -> new NativePKCS11Slot(p11, 77).getInfo(list));
    expectThrow(() -> session.getTokenParam(module, "missing", 7));
    expectThrow(() -> session.createObject(list, new int[] {CKA_LABEL}, new Object[0]));

    object.destroy(list);
    tick();
    key.destroy(list);
    tick();
    session.logout(list);
    tick();
    session.close(list);
    tick();
  }
}
