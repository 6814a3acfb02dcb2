package it.morvale.bench;

import static it.morvale.pkcs11.token.Cryptoki.CKM_ECDSA;
import static it.morvale.pkcs11.token.Cryptoki.CKM_ECDSA_SHA256;
import static it.morvale.pkcs11.token.Cryptoki.CKM_RSA_PKCS;
import static it.morvale.pkcs11.token.Cryptoki.CKM_SHA256_RSA_PKCS;
import static it.morvale.pkcs11.token.Cryptoki.CKO_PRIVATE_KEY;

import it.morvale.pkcs11.provider.QuillonProvider;
import it.morvale.pkcs11.provider.TokenKeyGenParameterSpec;
import it.morvale.pkcs11.token.Encodings;
import it.morvale.pkcs11.token.Pkcs11Module;
import it.morvale.pkcs11.token.Slot;
import it.morvale.pkcs11.token.SlotChoice;
import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.FileWriter;
import java.io.PrintWriter;
import java.nio.charset.StandardCharsets;
import java.security.KeyPair;
import java.security.KeyPairGenerator;
import java.security.KeyStore;
import java.security.MessageDigest;
import java.security.PrivateKey;
import java.security.Provider;
import java.security.PublicKey;
import java.security.Security;
import java.security.Signature;
import java.security.cert.Certificate;
import java.security.cert.CertificateFactory;
import java.security.cert.X509Certificate;
import java.security.spec.AlgorithmParameterSpec;
import java.security.spec.ECGenParameterSpec;
import java.security.spec.RSAKeyGenParameterSpec;
import java.text.SimpleDateFormat;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Date;
import java.util.List;
import java.util.Locale;
import java.util.TimeZone;
import java.util.concurrent.CyclicBarrier;

/**
 * Signing throughput through {@code java.security.Signature} with threads, three ways on one
 * token in one JVM: the quillon provider (its session pool), the JDK's SunPKCS11 on the same
 * token and the same key objects, and native threads with a session each (CThreads), the limit.
 * The module is initialised by the quillon provider first, with CKF_OS_LOCKING_OK; SunPKCS11 and
 * the native threads find it initialised. Each case is warmed up, then measured in rounds of a
 * fixed time whose order of ways changes from round to round; the median rate is reported.
 *
 * <p>With bench.remote (the path of p11-kit's client module, whose server serves the same token)
 * the cost of one signature by the provider on one thread is also measured directly and through
 * the remoting server.
 *
 * <p>System properties: bench.module, bench.token (the token's label), bench.pin, bench.out (the
 * Markdown file written), bench.threads (e.g. 1,2,4,8), bench.rounds, bench.millis (per round),
 * bench.warmMillis, bench.remote, bench.cases (rsa,ec: which signatures).
 */
public final class Throughput {
  static final String[] WAYS = {"provider", "SunPKCS11", "C"};
  static final int[][] ORDERS = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {0, 2, 1}, {2, 1, 0}, {1, 0, 2}};

  static volatile long sink;

  /** One of the two signatures measured, with its keys in each way. */
  static final class Case {
    final String title;
    final String algorithm;
    final String label;
    PrivateKey quillonKey;
    PrivateKey sunKey;
    PublicKey publicKey;
    long cKey;
    int cMechanism;
    byte[] cInput;
    int signatureLength;

    Case(String title, String algorithm, String label) {
      this.title = title;
      this.algorithm = algorithm;
      this.label = label;
    }
  }

  /**
   * One way of signing: the signatures that `threads` threads finish in `nanos` nanoseconds; the
   * CPU time of those threads while they signed is added to cpu[0].
   */
  @FunctionalInterface
  interface Way {
    long run(int threads, long nanos, long[] cpu) throws Exception;
  }

  static final java.lang.management.ThreadMXBean THREADS =
      java.lang.management.ManagementFactory.getThreadMXBean();

  /** The median rates of one case at one thread count, and the spread of its rounds. */
  record Row(Case c, int threads, double[] median, double[] threadCpu, double[] cpu,
      double[] serverCpu, double spread) {
    double toSun() {
      return median[0] / median[1];
    }
    double toC() {
      return median[0] / median[2];
    }
  }

  final String module = System.getProperty("bench.module");
  final String tokenLabel = System.getProperty("bench.token", "quillon");
  final char[] pin = System.getProperty("bench.pin", "1234").toCharArray();
  final int rounds = Integer.getInteger("bench.rounds", 7);
  final long roundNanos = Long.getLong("bench.millis", 1500) * 1_000_000L;
  final long warmNanos = Long.getLong("bench.warmMillis", 500) * 1_000_000L;
  final int[] threadCounts =
      Arrays.stream(System.getProperty("bench.threads", "1,2,4,8").split(","))
          .mapToInt(Integer::parseInt)
          .toArray();
  final byte[] data = new byte[32];

  Provider quillon;
  Provider sun;
  long slot;
  final List<String> notes = new ArrayList<>();

  void setUp(List<Case> cases) throws Exception {
    for (int i = 0; i < data.length; ++i) data[i] = (byte) i;
    // The quillon provider first: it initialises the module with CKF_OS_LOCKING_OK. Should
    // another user of the process have initialised it first, initialisedElsewhere = concurrent
    // still lets calls on different sessions run at once (SunPKCS11 and the driver both ask the
    // module to lock for itself).
    quillon = new QuillonProvider("--name=bench library=" + module + " tokenLabel=" + tokenLabel
        + " initialisedElsewhere=concurrent");
    Pkcs11Module layer = Pkcs11Module.open(module);
    if (layer.locking() != Pkcs11Module.Locking.MODULE) {
      throw new IllegalStateException("the module does not lock for itself: " + layer.locking());
    }
    notes.add("the quillon provider initialised the module, which locks for itself ("
        + layer.locking() + ")");
    Slot tokenSlot = layer.slot(SlotChoice.tokenLabel(tokenLabel));
    slot = tokenSlot.id();

    KeyStore quillonStore = KeyStore.getInstance(QuillonProvider.KEYSTORE_TYPE, quillon);
    quillonStore.load(null, pin);
    for (Case c : cases) {
      boolean rsa = c.algorithm.endsWith("RSA");
      KeyPairGenerator generator = KeyPairGenerator.getInstance(rsa ? "RSA" : "EC", quillon);
      AlgorithmParameterSpec size = rsa
          ? new RSAKeyGenParameterSpec(2048, RSAKeyGenParameterSpec.F4)
          : new ECGenParameterSpec("secp256r1");
      generator.initialize(new TokenKeyGenParameterSpec(c.label, size));
      KeyPair pair = generator.generateKeyPair();
      // A certificate of the same CKA_ID, so that SunPKCS11's key store finds the same key.
      X509Certificate certificate = selfSigned(pair, c.algorithm);
      quillonStore.setKeyEntry(c.label, pair.getPrivate(), null, new Certificate[] {certificate});
      c.quillonKey = pair.getPrivate();
      c.publicKey = pair.getPublic();
      c.signatureLength = rsa ? 256 : 64;
    }

    sun = Security.getProvider("SunPKCS11")
              .configure("--name=bench\nlibrary=" + module + "\nslot=" + slot + "\n");
    KeyStore sunStore = KeyStore.getInstance("PKCS11", sun);
    sunStore.load(null, pin);
    for (Case c : cases) {
      c.sunKey = (PrivateKey) sunStore.getKey(c.label, null);
      if (c.sunKey == null) throw new IllegalStateException("SunPKCS11 does not see " + c.label);
    }

    if (CThreads.open(module)) throw new IllegalStateException("the driver initialised the module");
    notes.add("SunPKCS11 and the native threads found it initialised");
    MessageDigest sha256 = MessageDigest.getInstance("SHA-256");
    for (Case c : cases) {
      c.cKey = CThreads.find(slot, c.label, CKO_PRIVATE_KEY);
      boolean rsa = c.algorithm.endsWith("RSA");
      // The mechanism the provider chooses: the combined one where the token lists it, else the
      // raw one over what Java makes of the hash.
      int combined = rsa ? CKM_SHA256_RSA_PKCS : CKM_ECDSA_SHA256;
      byte[] hash = sha256.digest(data);
      if (tokenSlot.supports(combined)) {
        c.cMechanism = combined;
        c.cInput = data;
      } else if (rsa) {
        c.cMechanism = CKM_RSA_PKCS;
        c.cInput = Encodings.digestInfo("SHA-256", hash);
      } else {
        c.cMechanism = CKM_ECDSA;
        c.cInput = hash;
      }
      notes.add(c.title + ": "
          + (c.cMechanism == combined ? "the token hashes ("
                                      : "Java hashes, the token signs the hash (")
          + mechanismName(c.cMechanism) + ")");
      // Each Java way makes a signature that verifies before anything is timed.
      for (Provider p : new Provider[] {quillon, sun}) {
        Signature signer = Signature.getInstance(c.algorithm, p);
        signer.initSign(p == quillon ? c.quillonKey : c.sunKey);
        signer.update(data);
        Signature verifier = Signature.getInstance(c.algorithm);
        verifier.initVerify(c.publicKey);
        verifier.update(data);
        if (!verifier.verify(signer.sign())) {
          throw new IllegalStateException(p.getName() + " made a bad " + c.algorithm);
        }
      }
    }
  }

  static String mechanismName(int mechanism) {
    switch (mechanism) {
      case CKM_RSA_PKCS:
        return "CKM_RSA_PKCS over the DigestInfo";
      case CKM_SHA256_RSA_PKCS:
        return "CKM_SHA256_RSA_PKCS";
      case CKM_ECDSA:
        return "CKM_ECDSA over the SHA-256 hash";
      default:
        return "CKM_ECDSA_SHA256";
    }
  }

  // --- The ways --------------------------------------------------------------------------------

  /**
   * Threads signing through `provider`, each with a Signature of its own made and initialised
   * before the clock starts; only signatures finished before the deadline count.
   */
  Way java(Provider provider, PrivateKey key, String algorithm) {
    return (threads, nanos, cpu) -> {
      Signature[] signers = new Signature[threads];
      for (int i = 0; i < threads; ++i) {
        signers[i] = Signature.getInstance(algorithm, provider);
        signers[i].initSign(key);
      }
      CyclicBarrier ready = new CyclicBarrier(threads + 1);
      CyclicBarrier go = new CyclicBarrier(threads + 1);
      long[] deadline = new long[1];
      long[] counts = new long[threads];
      long[] spent = new long[threads];
      Throwable[] failures = new Throwable[threads];
      Thread[] workers = new Thread[threads];
      for (int i = 0; i < threads; ++i) {
        int index = i;
        workers[i] = new Thread(() -> {
          Signature signer = signers[index];
          long done = 0;
          long kept = 0;
          long start = 0;
          try {
            ready.await();
            go.await();
            start = THREADS.getCurrentThreadCpuTime();
            long end = deadline[0];
            while (true) {
              signer.update(data);
              byte[] signature = signer.sign();
              if (System.nanoTime() >= end) break;
              kept += signature[0];
              ++done;
            }
          } catch (Throwable e) {
            failures[index] = e;
          }
          counts[index] = done;
          spent[index] = THREADS.getCurrentThreadCpuTime() - start;
          sink += kept;
        }, provider.getName() + "-" + i);
        workers[i].start();
      }
      ready.await();
      deadline[0] = System.nanoTime() + nanos;
      go.await();
      long total = 0;
      for (int i = 0; i < threads; ++i) {
        workers[i].join();
        if (failures[i] != null) throw new IllegalStateException("a signer failed", failures[i]);
        total += counts[i];
        cpu[0] += spent[i];
      }
      return total;
    };
  }

  Way c(Case c) {
    return (threads, nanos, cpu)
               -> CThreads.sign(
                   slot, c.cMechanism, c.cKey, c.cInput, c.signatureLength, threads, nanos, cpu);
  }

  // --- Measuring -------------------------------------------------------------------------------

  static final com.sun.management.OperatingSystemMXBean SYSTEM =
      (com.sun.management.OperatingSystemMXBean)
          java.lang.management.ManagementFactory.getOperatingSystemMXBean();

  /**
   * The median rate (signatures per second) of each way; the median CPU time per signature of the
   * signing threads alone and of the whole process (the VM's own threads included); and the
   * widest spread of the rounds' rates. The machine's other work moves the rates far more than
   * the CPU times.
   */
  Row measure(Case c, int threads, Way[] ways) throws Exception {
    for (Way way : ways) way.run(threads, warmNanos, new long[1]);
    double[][] rates = new double[ways.length][rounds];
    double[][] threadCpu = new double[ways.length][rounds];
    double[][] cpu = new double[ways.length][rounds];
    double[][] serverCpu = new double[ways.length][rounds];
    for (int round = 0; round < rounds; ++round) {
      int[] order = ways.length == 3 ? ORDERS[round % ORDERS.length]
                                     : (round % 2 == 0 ? new int[] {0, 1} : new int[] {1, 0});
      for (int way : order) {
        long[] signing = new long[1];
        long before = SYSTEM.getProcessCpuTime();
        long serverBefore = serverCpuNanos();
        long signatures = ways[way].run(threads, roundNanos, signing);
        long spent = SYSTEM.getProcessCpuTime() - before;
        serverCpu[way][round] = (serverCpuNanos() - serverBefore) / 1e3 / Math.max(1, signatures);
        rates[way][round] = signatures * 1e9 / roundNanos;
        threadCpu[way][round] = signing[0] / 1e3 / Math.max(1, signatures);
        cpu[way][round] = spent / 1e3 / Math.max(1, signatures);
      }
    }
    double[] median = new double[ways.length];
    double[] threadCpuMedian = new double[ways.length];
    double[] cpuMedian = new double[ways.length];
    double[] serverCpuMedian = new double[ways.length];
    double spread = 0;
    for (int way = 0; way < ways.length; ++way) {
      median[way] = median(rates[way]);
      threadCpuMedian[way] = median(threadCpu[way]);
      cpuMedian[way] = median(cpu[way]);
      serverCpuMedian[way] = median(serverCpu[way]);
      double[] sorted = rates[way].clone();
      Arrays.sort(sorted);
      spread = Math.max(spread, (sorted[sorted.length - 1] - sorted[0]) / median[way]);
    }
    return new Row(c, threads, median, threadCpuMedian, cpuMedian, serverCpuMedian, spread);
  }

  static double median(double[] values) {
    double[] sorted = values.clone();
    Arrays.sort(sorted);
    return sorted[sorted.length / 2];
  }

  List<Row> throughput(List<Case> cases) throws Exception {
    // The JIT first settles on the signing paths of both Java ways.
    for (Case c : cases) {
      java(quillon, c.quillonKey, c.algorithm).run(1, 4 * warmNanos, new long[1]);
      java(sun, c.sunKey, c.algorithm).run(1, 4 * warmNanos, new long[1]);
    }
    List<Row> rows = new ArrayList<>();
    long[] before = cpuTicks();
    long start = System.nanoTime();
    for (Case c : cases) {
      Way[] ways = {
          java(quillon, c.quillonKey, c.algorithm), java(sun, c.sunKey, c.algorithm), c(c)};
      for (int threads : threadCounts) {
        Row row = measure(c, threads, ways);
        System.err.printf(Locale.ROOT,
            "  %-26s %d threads: provider %8.1f  SunPKCS11 %8.1f  C %8.1f /s%n", c.title, threads,
            row.median[0], row.median[1], row.median[2]);
        rows.add(row);
      }
    }
    long[] after = cpuTicks();
    double seconds = (System.nanoTime() - start) / 1e9;
    int cores = Runtime.getRuntime().availableProcessors();
    double others = (after[0] - before[0] - (after[1] - before[1])) / 100.0 / seconds;
    notes.add(String.format(Locale.ROOT,
        "while the table was measured (%.0f s), other processes kept %.2f of the %d cores busy"
            + " on average (CPU time of the machine less this JVM's, from /proc)",
        seconds, Math.max(0, others), cores));
    return rows;
  }

  /**
   * {busy ticks of the whole machine, ticks of this process} from /proc (Linux's ticks are
   * 1/100 s).
   */
  static long[] cpuTicks() throws java.io.IOException {
    String[] all = java.nio.file.Files.readAllLines(java.nio.file.Path.of("/proc/stat"))
                       .get(0)
                       .trim()
                       .split("\\s+");
    long busy = 0;
    // cpu user nice system idle iowait irq softirq steal: all but idle and iowait.
    for (int i : new int[] {1, 2, 3, 6, 7, 8}) busy += Long.parseLong(all[i]);
    long own = ticks(java.nio.file.Path.of("/proc/self/stat"));
    return new long[] {busy, own};
  }

  /** The user and system ticks of a process from its /proc stat file. */
  static long ticks(java.nio.file.Path statFile) throws java.io.IOException {
    String stat = java.nio.file.Files.readString(statFile);
    String[] fields = stat.substring(stat.lastIndexOf(')') + 2).split(" ");
    // After the name: state is field 3, utime 14 and stime 15.
    return Long.parseLong(fields[11]) + Long.parseLong(fields[12]);
  }

  /**
   * The cost of one signature by the provider on one thread, directly and through the remoting
   * server: {direct µs, remote µs, spread} per case.
   */
  List<double[]> remote(List<Case> cases, String clientModule) throws Exception {
    Provider remote = new QuillonProvider(
        "--name=bench-remote library=" + clientModule + " tokenLabel=" + tokenLabel);
    KeyStore remoteStore = KeyStore.getInstance(QuillonProvider.KEYSTORE_TYPE, remote);
    remoteStore.load(null, pin);
    List<double[]> results = new ArrayList<>();
    for (Case c : cases) {
      PrivateKey key = (PrivateKey) remoteStore.getKey(c.label, null);
      if (key == null) throw new IllegalStateException("the remote token has no " + c.label);
      Way[] ways = {java(quillon, c.quillonKey, c.algorithm), java(remote, key, c.algorithm)};
      Row row = measure(c, 1, ways);
      double direct = 1e6 / row.median[0];
      double viaServer = 1e6 / row.median[1];
      System.err.printf(
          Locale.ROOT, "  %-26s direct %8.1f µs  remote %8.1f µs%n", c.title, direct, viaServer);
      results.add(new double[] {direct, viaServer, row.spread, row.cpu[0] + row.serverCpu[0],
          row.cpu[1], row.serverCpu[1]});
    }
    return results;
  }

  /** The remoting server's process (bench.serverPid), whose CPU time a remote signature costs. */
  final long serverPid = Long.getLong("bench.serverPid", 0);

  /**
   * The CPU time of the server and of every process below it (p11-kit may serve a connection
   * from a child), from /proc in ticks of 10 ms; 0 without a server.
   */
  long serverCpuNanos() throws java.io.IOException {
    return serverPid == 0 ? 0 : treeTicks(serverPid) * 10_000_000L;
  }

  static long treeTicks(long pid) throws java.io.IOException {
    java.nio.file.Path proc = java.nio.file.Path.of("/proc", Long.toString(pid));
    if (!java.nio.file.Files.exists(proc)) return 0;
    long ticks = ticks(proc.resolve("stat"));
    try (java.nio.file.DirectoryStream<java.nio.file.Path> tasks =
             java.nio.file.Files.newDirectoryStream(proc.resolve("task"))) {
      for (java.nio.file.Path task : tasks) {
        String children = java.nio.file.Files.readString(task.resolve("children")).trim();
        if (children.isEmpty()) continue;
        for (String child : children.split(" ")) ticks += treeTicks(Long.parseLong(child));
      }
    }
    return ticks;
  }

  // --- A certificate for SunPKCS11's key store ---------------------------------------------------

  /**
   * A self-signed version 1 certificate of the pair, signed by the token. SunPKCS11 lists a
   * private key in its key store only beside a certificate with the same CKA_ID.
   */
  X509Certificate selfSigned(KeyPair pair, String algorithm) throws Exception {
    byte[] algorithmId = algorithm.endsWith("RSA")
        ? der(0x30, hex("06092a864886f70d01010b"), der(0x05))
        : der(0x30, hex("06082a8648ce3d040302"));
    byte[] name = der(0x30,
        der(0x31,
            der(0x30, hex("0603550403"),
                der(0x0c, "quillon bench".getBytes(StandardCharsets.UTF_8)))));
    SimpleDateFormat utc = new SimpleDateFormat("yyMMddHHmmss'Z'", Locale.ROOT);
    utc.setTimeZone(TimeZone.getTimeZone("UTC"));
    long now = System.currentTimeMillis();
    byte[] validity = der(0x30,
        der(0x17, utc.format(new Date(now - 86_400_000L)).getBytes(StandardCharsets.US_ASCII)),
        der(0x17,
            utc.format(new Date(now + 30 * 86_400_000L)).getBytes(StandardCharsets.US_ASCII)));
    byte[] toBeSigned = der(0x30, der(0x02, new byte[] {1}), algorithmId, name, validity, name,
        pair.getPublic().getEncoded());
    Signature signer = Signature.getInstance(algorithm, quillon);
    signer.initSign(pair.getPrivate());
    signer.update(toBeSigned);
    byte[] bits = concat(new byte[1], signer.sign());
    byte[] encoded = der(0x30, toBeSigned, algorithmId, der(0x03, bits));
    X509Certificate certificate =
        (X509Certificate) CertificateFactory.getInstance("X.509").generateCertificate(
            new ByteArrayInputStream(encoded));
    certificate.verify(pair.getPublic());
    return certificate;
  }

  static byte[] der(int tag, byte[]... parts) {
    ByteArrayOutputStream content = new ByteArrayOutputStream();
    for (byte[] part : parts) content.writeBytes(part);
    int length = content.size();
    ByteArrayOutputStream out = new ByteArrayOutputStream();
    out.write(tag);
    if (length < 0x80) {
      out.write(length);
    } else if (length < 0x100) {
      out.write(0x81);
      out.write(length);
    } else {
      out.write(0x82);
      out.write(length >> 8);
      out.write(length);
    }
    out.writeBytes(content.toByteArray());
    return out.toByteArray();
  }

  static byte[] hex(String text) {
    byte[] bytes = new byte[text.length() / 2];
    for (int i = 0; i < bytes.length; ++i) {
      bytes[i] = (byte) Integer.parseInt(text.substring(2 * i, 2 * i + 2), 16);
    }
    return bytes;
  }

  static byte[] concat(byte[] a, byte[] b) {
    byte[] both = Arrays.copyOf(a, a.length + b.length);
    System.arraycopy(b, 0, both, a.length, b.length);
    return both;
  }

  // --- Reporting -------------------------------------------------------------------------------

  static String rate(double value) { return String.format(Locale.ROOT, "%,.0f", value); }

  /** The ratio and whether it meets the target; three decimals where two would hide a miss. */
  static String met(double ratio, double target) {
    boolean met = ratio >= target;
    String shown = String.format(Locale.ROOT, "%.2f", ratio);
    if (!met && Double.parseDouble(shown) >= target) {
      shown = String.format(Locale.ROOT, "%.3f", Math.floor(ratio * 1000) / 1000);
    }
    return shown + (met ? " met" : " **missed**");
  }

  /** Provider / SunPKCS11 / C. */
  static String threeWays(double[] micros) {
    return String.format(Locale.ROOT, "%.1f / %.1f / %.1f", micros[0], micros[1], micros[2]);
  }

  void report(PrintWriter out, List<Row> rows, List<Case> cases, List<double[]> remote) {
    out.println();
    out.println("Signatures per second through `java.security.Signature` (" + data.length
        + " bytes each), median of " + rounds + " rounds of " + roundNanos / 1_000_000
        + " ms per way, the order of the three ways changing from round to round; each thread"
        + " has its own `Signature` (provider, SunPKCS11) or session (C). Spread: the widest"
        + " (max − min) / median of the three ways' rounds. CPU µs per signature (provider /"
        + " SunPKCS11 / C, medians): the CPU time of the signing threads alone, and of the whole"
        + " process (the VM's own threads included), per signature; the machine's other work moves"
        + " them far less than the rates. Targets: provider ≥ 1.00 × SunPKCS11, provider ≥ 0.90 ×"
        + " C.");
    out.println();
    for (String note : notes) out.println("- " + note + ";");
    out.println();
    out.println("| signature | threads | provider /s | SunPKCS11 /s | C /s"
        + " | provider/SunPKCS11 (≥ 1.00) | provider/C (≥ 0.90) | spread"
        + " | CPU µs per signature, signing threads | CPU µs per signature, process |");
    out.println("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|");
    int sunMet = 0;
    int cMet = 0;
    for (Row row : rows) {
      if (row.toSun() >= 1.0) ++sunMet;
      if (row.toC() >= 0.9) ++cMet;
      out.println("| " + row.c.title + " | " + row.threads + " | " + rate(row.median[0]) + " | "
          + rate(row.median[1]) + " | " + rate(row.median[2]) + " | " + met(row.toSun(), 1.0)
          + " | " + met(row.toC(), 0.9) + " | "
          + String.format(Locale.ROOT, "%.0f %%", 100 * row.spread) + " | "
          + threeWays(row.threadCpu) + " | " + threeWays(row.cpu) + " |");
    }
    out.println();
    out.println("Targets met: provider ≥ 1.00 × SunPKCS11 in " + sunMet + " of " + rows.size()
        + " cases, provider ≥ 0.90 × C in " + cMet + " of " + rows.size() + ".");
    if (remote.isEmpty()) return;
    out.println();
    out.println("#### One signature through a remote module (provider, one thread)");
    out.println();
    out.println("Microseconds per signature (median of " + rounds + " rounds of "
        + roundNanos / 1_000_000 + " ms, direct and remote alternating): SoftHSM2 in the JVM,"
        + " and the same token behind `p11-kit server` on a Unix socket, through"
        + " `p11-kit-client.so`. The CPU columns: the JVM's CPU time per signature, and for the"
        + " remote signature also the server's (its process and any below it, from /proc).");
    out.println();
    out.println("| signature | direct µs | remote µs | remote − direct µs | remote/direct | spread"
        + " | CPU µs, direct | CPU µs, remote: JVM + server |");
    out.println("|---|---:|---:|---:|---:|---:|---:|---:|");
    for (int i = 0; i < cases.size(); ++i) {
      double[] r = remote.get(i);
      out.println(String.format(Locale.ROOT,
          "| %s | %,.1f | %,.1f | %,.1f | %.2f | %.0f %% | %,.1f | %,.1f + %,.1f = %,.1f |",
          cases.get(i).title, r[0], r[1], r[1] - r[0], r[1] / r[0], 100 * r[2], r[3], r[4], r[5],
          r[4] + r[5]));
    }
  }

  public static void main(String[] args) throws Exception {
    System.load(System.getProperty("bench.driver"));
    Throughput bench = new Throughput();
    List<Case> cases = new ArrayList<>();
    String only = System.getProperty("bench.cases", "rsa,ec");
    if (only.contains("rsa")) {
      cases.add(new Case("SHA256withRSA, RSA-2048", "SHA256withRSA", "bench-throughput-rsa"));
    }
    if (only.contains("ec")) {
      cases.add(new Case("SHA256withECDSA, P-256", "SHA256withECDSA", "bench-throughput-ec"));
    }
    bench.setUp(cases);
    System.err.println("Throughput:");
    List<Row> rows = bench.throughput(cases);
    String client = System.getProperty("bench.remote", "");
    List<double[]> remote = client.isEmpty() ? List.of() : bench.remote(cases, client);
    try (PrintWriter out = new PrintWriter(new FileWriter(System.getProperty("bench.out"), true))) {
      bench.report(out, rows, cases, remote);
    }
    if (sink == 42) System.err.println(); // keeps every signature alive
  }

  static { Locale.setDefault(Locale.ROOT); }
}
