import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.provider.QuillonProvider;
import it.morvale.pkcs11.token.Pkcs11Module;
import it.morvale.pkcs11.token.SlotChoice;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.KeyPair;
import java.security.KeyPairGenerator;
import java.security.KeyStore;
import java.security.PrivateKey;
import java.security.Provider;
import java.security.ProviderException;
import java.security.PublicKey;
import java.security.Security;
import java.security.Signature;
import java.security.SignatureException;
import java.security.spec.ECGenParameterSpec;
import java.security.spec.RSAKeyGenParameterSpec;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import java.util.concurrent.Callable;

/**
 * The java.security provider as a server uses it: many threads signing with the same keys while
 * the module behind them goes away and comes back, while another user of the module closes the
 * slot's sessions, and while another copy of the provider or the JDK's SunPKCS11 uses the same
 * module in the same process. Every signature is verified by the JDK's own providers. Prints
 * "ok: NAME: CHECK" or "FAIL: NAME: CHECK: WHY" for each check and exits with 1 after a failure.
 *
 *   ServerProbe restart LIBRARY LABEL PIN-VARIABLE SIGNAL-FOLDER
 *     signs through LIBRARY (p11-kit's client) and, once signing runs, prints "restart: now" and
 *     waits for the file SIGNAL-FOLDER/restarted, which the caller makes once it has killed the
 *     server and started it again;
 *   ServerProbe close LIBRARY LABEL PIN-VARIABLE
 *     signs while the slot's sessions are closed by another user of the module;
 *   ServerProbe loaders LIBRARY LABEL PIN-VARIABLE JAR JAR
 *     signs through two providers, each of its own copy of quillon.jar in a class loader of its
 *     own (each loads the bridge that its jar carries);
 *   ServerProbe sunpkcs11 quillon-first|sunpkcs11-first LIBRARY LABEL PIN-VARIABLE SLOT-ID
 *     signs through this provider and the JDK's SunPKCS11 on the same token.
 */
public class ServerProbe {
  private static final int THREADS = 8;
  private static String name;
  private static int failures;

  /** Runs one check: its text on success (with what it returns, if anything), else why not. */
  private static boolean check(String what, Callable<String> check) {
    try {
      String detail = check.call();
      System.out.println("ok: " + name + ": " + what + (detail == null ? "" : " (" + detail + ")"));
      return true;
    } catch (Exception | AssertionError e) {
      System.out.println("FAIL: " + name + ": " + what + ": " + describe(e));
      failures++;
      return false;
    }
  }

  private static String describe(Throwable e) {
    StringBuilder why = new StringBuilder(e.toString());
    for (Throwable cause = e.getCause(); cause != null; cause = cause.getCause()) {
      why.append("; caused by ").append(cause);
    }
    return why.toString();
  }

  private static void require(boolean condition, String otherwise) {
    if (!condition) throw new AssertionError(otherwise);
  }

  public static void main(String[] args) throws Exception {
    name = args[0].equals("sunpkcs11") ? args[1] : args[0];
    try {
      switch (args[0]) {
        case "restart":
          restart(args[1], args[2], pin(args[3]), Path.of(args[4]));
          break;
        case "close":
          close(args[1], args[2], pin(args[3]));
          break;
        case "loaders":
          loaders(args[1], args[2], pin(args[3]), Path.of(args[4]), Path.of(args[5]));
          break;
        case "sunpkcs11":
          sunPkcs11(args[1].equals("quillon-first"), args[2], args[3], pin(args[4]), args[5]);
          break;
        default:
          throw new IllegalArgumentException("no such probe: " + args[0]);
      }
    } catch (Exception | AssertionError e) {
      System.out.println("FAIL: " + name + ": the probe stopped: " + describe(e));
      failures++;
    }
    System.out.println("done: " + name);
    System.exit(failures == 0 ? 0 : 1);
  }

  private static char[] pin(String variable) { return System.getenv(variable).toCharArray(); }

  /** Signs with one key through one provider, and verifies with the JDK's own provider. */
  static final class Signing {
    final String algorithm;
    final Provider provider;
    final PrivateKey privateKey;
    final PublicKey publicKey;
    final String verifier;

    Signing(String algorithm, Provider provider, KeyPair pair) {
      this.algorithm = algorithm;
      this.provider = provider;
      this.privateKey = pair.getPrivate();
      this.publicKey = pair.getPublic();
      this.verifier = algorithm.endsWith("RSA") ? "SunRsaSign" : "SunEC";
    }

    @Override
    public String toString() {
      return algorithm + " of " + provider.getName();
    }
  }

  /** An RSA-2048 and an EC P-256 key pair of `provider`'s token, and signings with each. */
  static List<Signing> keys(Provider provider) throws Exception {
    KeyPairGenerator rsa = KeyPairGenerator.getInstance("RSA", provider);
    rsa.initialize(new RSAKeyGenParameterSpec(2048, RSAKeyGenParameterSpec.F4));
    KeyPairGenerator ec = KeyPairGenerator.getInstance("EC", provider);
    ec.initialize(new ECGenParameterSpec("secp256r1"));
    return List.of(new Signing("SHA256withRSA", provider, rsa.generateKeyPair()),
        new Signing("SHA256withECDSA", provider, ec.generateKeyPair()));
  }

  /** What became of one signature. */
  enum Outcome { SIGNED, FAILED, WRONG_FAILURE, NOT_VERIFIED }

  /** One signature tried: when it started and ended (System.nanoTime) and how it went. */
  static final class Attempt {
    final long start;
    final long end;
    final Outcome outcome;

    Attempt(long start, long end, Outcome outcome) {
      this.start = start;
      this.end = end;
      this.outcome = outcome;
    }
  }

  /**
   * A thread that signs in a loop with each of its signings in turn, the same key objects every
   * time, and verifies each signature. A failure of the token is a SignatureException or a
   * ProviderException with a PKCS11Exception among its causes; anything else is a wrong failure.
   */
  static final class Worker extends Thread {
    final List<Signing> signings;
    final List<Attempt> attempts = new ArrayList<>();
    final Map<String, Integer> failureTexts = new TreeMap<>();
    volatile boolean stop;

    Worker(String name, List<Signing> signings) {
      super(name);
      this.signings = signings;
      setDaemon(true);
    }

    @Override
    public void run() {
      for (long n = 0; !stop; ++n) {
        Signing signing = signings.get((int) (n % signings.size()));
        byte[] message = (getName() + " signs message " + n).getBytes(StandardCharsets.UTF_8);
        long start = System.nanoTime();
        Outcome outcome;
        try {
          Signature signer = Signature.getInstance(signing.algorithm, signing.provider);
          signer.initSign(signing.privateKey);
          signer.update(message);
          byte[] signature = signer.sign();
          Signature checker = Signature.getInstance(signing.algorithm, signing.verifier);
          checker.initVerify(signing.publicKey);
          checker.update(message);
          outcome = checker.verify(signature) ? Outcome.SIGNED : Outcome.NOT_VERIFIED;
          if (outcome == Outcome.NOT_VERIFIED) note(signing + ": the signature does not verify");
        } catch (Throwable e) {
          boolean tokens = (e instanceof SignatureException || e instanceof ProviderException)
              && hasTokenCause(e);
          outcome = tokens ? Outcome.FAILED : Outcome.WRONG_FAILURE;
          note((tokens ? "" : "wrong failure: ") + signing + ": " + e);
        }
        synchronized (this) {
          attempts.add(new Attempt(start, System.nanoTime(), outcome));
        }
        // A server backs off a little after a failure rather than spin on a token that is away.
        if (outcome != Outcome.SIGNED) pause(5);
      }
    }

    private static void pause(long millis) {
      try {
        Thread.sleep(millis);
      } catch (InterruptedException e) {
        Thread.currentThread().interrupt();
      }
    }

    private static boolean hasTokenCause(Throwable e) {
      for (Throwable cause = e.getCause(); cause != null; cause = cause.getCause()) {
        if (cause instanceof PKCS11Exception) return true;
      }
      return false;
    }

    private synchronized void note(String text) { failureTexts.merge(text, 1, Integer::sum); }

    synchronized List<Attempt> attempts() { return new ArrayList<>(attempts); }

    synchronized long count(Outcome outcome) {
      return attempts.stream().filter(a -> a.outcome == outcome).count();
    }

    /** The end of the first signature that started at or after `since` and verified; -1 if none. */
    synchronized long firstSignedSince(long since) {
      for (Attempt a : attempts) {
        if (a.start >= since && a.outcome == Outcome.SIGNED) return a.end;
      }
      return -1;
    }
  }

  static List<Worker> start(String prefix, int count, List<Signing> signings) {
    List<Worker> workers = new ArrayList<>();
    for (int i = 0; i < count; ++i) {
      Worker worker = new Worker(prefix + i, signings);
      workers.add(worker);
      worker.start();
    }
    return workers;
  }

  static void stop(List<Worker> workers) throws InterruptedException {
    for (Worker worker : workers) worker.stop = true;
    for (Worker worker : workers) {
      worker.join(30_000);
      if (worker.isAlive()) {
        StringBuilder where = new StringBuilder();
        for (StackTraceElement frame : worker.getStackTrace())
          where.append("\n    at ").append(frame);
        throw new AssertionError(
            worker.getName() + " is still signing 30 s after it was stopped:" + where);
      }
    }
  }

  static long total(List<Worker> workers, Outcome outcome) {
    return workers.stream().mapToLong(w -> w.count(outcome)).sum();
  }

  /** The failure texts of all workers, each with its count, the most frequent first. */
  static String failureTexts(List<Worker> workers) {
    Map<String, Integer> all = new TreeMap<>();
    for (Worker worker : workers) {
      synchronized (worker) {
        worker.failureTexts.forEach((text, n) -> all.merge(text, n, Integer::sum));
      }
    }
    StringBuilder out = new StringBuilder();
    all.entrySet()
        .stream()
        .sorted((a, b) -> b.getValue() - a.getValue())
        .forEach(e -> out.append("\n    ").append(e.getValue()).append("x ").append(e.getKey()));
    return out.toString();
  }

  /** Every signature of every worker verified, and no failure was of the wrong kind. */
  static void checkAllVerified(List<Worker> workers) {
    check("every signature verifies with the JDK's provider", () -> {
      long bad = total(workers, Outcome.NOT_VERIFIED);
      require(bad == 0, bad + " signatures do not verify:" + failureTexts(workers));
      return total(workers, Outcome.SIGNED) + " signatures by " + workers.size() + " threads";
    });
    check("every failure is a SignatureException or ProviderException from the token", () -> {
      long wrong = total(workers, Outcome.WRONG_FAILURE);
      require(wrong == 0, wrong + " failures of another kind:" + failureTexts(workers));
      return total(workers, Outcome.FAILED) + " failures";
    });
  }

  /** Every worker signed, no signature failed, and every signature verified. */
  static void checkAllSigned(String what, List<Worker> workers) {
    check(what, () -> {
      for (Worker w : workers) {
        require(w.count(Outcome.SIGNED) > 0, w.getName() + " made no signature");
      }
      long failed = total(workers, Outcome.FAILED);
      require(failed == 0, failed + " failures:" + failureTexts(workers));
      return null;
    });
    checkAllVerified(workers);
  }

  static Provider quillon(String library, String label, char[] pin) throws Exception {
    Provider provider = new QuillonProvider(
        "--name=" + name + " library=" + library + " tokenLabel=\"" + label + "\"");
    KeyStore.getInstance(QuillonProvider.KEYSTORE_TYPE, provider).load(null, pin);
    return provider;
  }

  /** The remote module's server is killed and started again while 8 threads sign. */
  static void restart(String library, String label, char[] pin, Path signals) throws Exception {
    Provider provider = quillon(library, label, pin);
    List<Signing> signings = keys(provider);
    List<Worker> workers = start("signer-", THREADS, signings);
    Thread.sleep(2000);
    long killed = System.nanoTime();
    System.out.println("restart: now");
    System.out.flush();
    Path restarted = signals.resolve("restarted");
    long deadline = killed + 30_000_000_000L;
    while (!Files.exists(restarted) && System.nanoTime() < deadline) Thread.sleep(20);
    long back = System.nanoTime();
    boolean serverBack = Files.exists(restarted);
    // Every thread gets 10 s from the server's return to sign again.
    long limit = back + 10_000_000_000L;
    while (System.nanoTime() < limit
        && !workers.stream().allMatch(w -> w.firstSignedSince(back) >= 0)) {
      Thread.sleep(50);
    }
    Thread.sleep(1000);
    stop(workers);

    check("8 threads sign with the same RSA and EC keys before the server goes", () -> {
      for (Worker w : workers) {
        long before = w.attempts()
                          .stream()
                          .filter(a -> a.end < killed && a.outcome == Outcome.SIGNED)
                          .count();
        require(before > 0, w.getName() + " made no signature before the server went");
      }
      return workers.stream()
                 .mapToLong(w -> w.attempts().stream().filter(a -> a.end < killed).count())
                 .sum()
          + " signatures";
    });
    check("nothing fails before the server goes", () -> {
      for (Worker w : workers) {
        for (Attempt a : w.attempts()) {
          require(a.end >= killed || a.outcome == Outcome.SIGNED,
              w.getName() + " failed before the server went:" + failureTexts(workers));
        }
      }
      return null;
    });
    if (!check("the server is killed and started again", () -> {
          require(serverBack, "the script never said that the server is back");
          return String.format("back %.1f s after the signal", (back - killed) / 1e9);
        })) {
      return;
    }
    check("the module was finalised and initialised again", () -> {
      long generation = Pkcs11Module.open(library).generation();
      require(generation > 0, "the module was never initialised again: the restart went unseen");
      return "generation " + generation;
    });
    check("every thread signs again with the same keys within 10 s of the restart", () -> {
      long slowest = 0;
      for (Worker w : workers) {
        long again = w.firstSignedSince(back);
        require(again >= 0,
            w.getName() + " made no signature in 10 s after the restart:" + failureTexts(workers));
        slowest = Math.max(slowest, again - back);
      }
      return String.format("the slowest after %.2f s", slowest / 1e9);
    });
    checkAllVerified(workers);
    System.out.println("failures while the server was away:" + failureTexts(workers));
  }

  /** Another user of the module closes all sessions of the slot while 8 threads sign. */
  static void close(String library, String label, char[] pin) throws Exception {
    Provider provider = quillon(library, label, pin);
    List<Signing> signings = keys(provider);
    List<Worker> workers = start("signer-", THREADS, signings);
    Pkcs11Module other = Pkcs11Module.open(library);
    int closes = 3;
    long[] closed = new long[closes];
    Thread.sleep(1000);
    for (int i = 0; i < closes; ++i) {
      closed[i] = System.nanoTime();
      other.slot(SlotChoice.of(label, null, null)).closeAllSessions();
      Thread.sleep(1000);
    }
    stop(workers);

    check("another user of the module closes all sessions of the slot " + closes + " times", () -> {
      for (Worker w : workers) {
        require(w.firstSignedSince(0) >= 0 && w.firstSignedSince(0) < closed[0],
            w.getName() + " made no signature before the first close:" + failureTexts(workers));
      }
      return null;
    });
    check("every thread signs again after each close, with at most one failure each", () -> {
      int failed = 0;
      for (Worker w : workers) {
        for (int i = 0; i < closes; ++i) {
          long from = closed[i];
          long to = i + 1 < closes ? closed[i + 1] : Long.MAX_VALUE;
          long afterwards = w.firstSignedSince(from);
          require(afterwards >= 0 && afterwards < to,
              w.getName() + " made no signature after close " + (i + 1) + ":"
                  + failureTexts(workers));
          long lost = w.attempts()
                          .stream()
                          .filter(a -> a.end >= from && a.end < to && a.outcome != Outcome.SIGNED)
                          .count();
          require(lost <= 1,
              w.getName() + " failed " + lost + " times after close " + (i + 1) + ":"
                  + failureTexts(workers));
          failed += lost;
        }
      }
      return failed + " failed signatures in all";
    });
    checkAllVerified(workers);
    System.out.println("failures after the closes:" + failureTexts(workers));
  }

  /** Two copies of the provider, each in a class loader of its own, sign on one token at once. */
  static void loaders(String library, String label, char[] pin, Path firstJar, Path secondJar)
      throws Exception {
    String config = " library=" + library + " tokenLabel=\"" + label + "\"";
    List<Worker> workers = new ArrayList<>();
    List<ClassLoader> loaders = new ArrayList<>();
    List<String> locking = new ArrayList<>();
    int n = 0;
    for (Path jar : List.of(firstJar, secondJar)) {
      ++n;
      URLClassLoader loader =
          new URLClassLoader(new URL[] {jar.toUri().toURL()}, ClassLoader.getPlatformClassLoader());
      loaders.add(loader);
      Class<?> providerClass =
          Class.forName("it.morvale.pkcs11.provider.QuillonProvider", true, loader);
      Provider provider = (Provider) providerClass.getConstructor(String.class)
                              .newInstance("--name=copy" + n + config);
      KeyStore.getInstance("Quillon", provider).load(null, pin);
      Class<?> moduleClass = Class.forName("it.morvale.pkcs11.token.Pkcs11Module", true, loader);
      Object module = moduleClass.getMethod("open", String.class).invoke(null, library);
      locking.add(moduleClass.getMethod("locking").invoke(module).toString());
      workers.addAll(start("copy" + n + "-signer-", THREADS, keys(provider)));
    }
    Thread.sleep(3000);
    stop(workers);

    check("each copy of quillon.jar has a class loader of its own", () -> {
      require(loaders.get(0) != loaders.get(1), "one loader");
      require(!loaders.contains(ServerProbe.class.getClassLoader()), "the probe's loader");
      return null;
    });
    check("the first copy lets the module lock, the second (initialised elsewhere) serialises",
        () -> {
          require(locking.equals(List.of("MODULE", "LAYER")), "locking " + locking);
          return "locking " + locking;
        });
    checkAllSigned("16 threads of both copies sign at once", workers);
  }

  /** This provider and the JDK's SunPKCS11 sign on one token at once, in either order. */
  static void sunPkcs11(boolean quillonFirst, String library, String label, char[] pin,
      String slotId) throws Exception {
    Provider quillon = null;
    if (quillonFirst) quillon = quillon(library, label, pin);
    Path config = Files.createTempFile("sunpkcs11-", ".cfg");
    Files.writeString(
        config, "name = " + name + "\nlibrary = " + library + "\nslot = " + slotId + "\n");
    Provider sun = Security.getProvider("SunPKCS11").configure(config.toString());
    Files.delete(config);
    KeyStore.getInstance("PKCS11", sun).load(null, pin);
    if (!quillonFirst) quillon = quillon(library, label, pin);
    Pkcs11Module.Locking locking = Pkcs11Module.open(library).locking();
    List<Worker> workers = new ArrayList<>(start("quillon-", THREADS, keys(quillon)));
    workers.addAll(start("sunpkcs11-", THREADS, keys(sun)));
    Thread.sleep(3000);
    stop(workers);

    check(quillonFirst ? "quillon initialises the module first and lets it lock for itself"
                       : "SunPKCS11 initialises the module first, so quillon serialises its calls",
        () -> {
          Pkcs11Module.Locking expected =
              quillonFirst ? Pkcs11Module.Locking.MODULE : Pkcs11Module.Locking.LAYER;
          require(locking == expected, "locking " + locking + ", not " + expected);
          return "locking " + locking;
        });
    checkAllSigned("8 threads of quillon and 8 of SunPKCS11 sign at once", workers);
  }
}
