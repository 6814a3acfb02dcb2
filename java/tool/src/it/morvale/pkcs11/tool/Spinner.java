package it.morvale.pkcs11.tool;

import java.io.PrintStream;

/**
 * Shows on the terminal that slow work goes on: a turning bar with the seconds elapsed, on
 * standard error, from half a second on. When standard error is not a terminal (a log file, a
 * pipe) it prints nothing, so that no escape codes land there.
 */
final class Spinner implements AutoCloseable {
  private static final String FRAMES = "|/-\\";
  private static final long DELAY_MILLIS = 500;

  private final Thread thread;
  private volatile boolean done;
  private boolean shown;

  private Spinner(String what) {
    long start = System.nanoTime();
    PrintStream err = System.err;
    thread = new Thread(() -> {
      try {
        Thread.sleep(DELAY_MILLIS);
        for (int frame = 0; !done; ++frame) {
          double seconds = (System.nanoTime() - start) / 1e9;
          synchronized (this) {
            shown = true;
            err.printf("\r%c %s %.1f s ", FRAMES.charAt(frame % FRAMES.length()), what, seconds);
            err.flush();
          }
          Thread.sleep(100);
        }
      } catch (InterruptedException e) {
        // Closed.
      }
    }, "quillon-spinner");
    thread.setDaemon(true);
  }

  /** A spinner for `what` ("generating an RSA-4096 key pair"), shown only on a terminal. */
  static Spinner start(String what) {
    Spinner spinner = new Spinner(what);
    if (Io.standardErrorIsTerminal()) spinner.thread.start();
    return spinner;
  }

  @Override
  public void close() {
    done = true;
    thread.interrupt();
    try {
      if (thread.isAlive()) thread.join();
    } catch (InterruptedException e) {
      Thread.currentThread().interrupt();
    }
    synchronized (this) {
      if (shown) {
        System.err.print("\r\033[K");
        System.err.flush();
      }
    }
  }
}
