package it.morvale.pkcs11.nat;

import java.io.IOException;
import java.io.InputStream;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.FileAttribute;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.Locale;

/** Finds and loads the bridge's native library once per class loader. */
final class BridgeLoader {
  static final String PROPERTY = "quillon.library";
  private static boolean loaded;

  private BridgeLoader() {}

  static synchronized void load() {
    if (loaded) return;
    StringBuilder tried = new StringBuilder();
    String named = System.getProperty(PROPERTY);
    if (named != null) {
      // A library named on purpose is the one to use: its failure is final.
      System.load(Path.of(named).toAbsolutePath().toString());
      loaded = true;
      return;
    }
    tried.append("system property ").append(PROPERTY).append(" (not set)");
    try {
      System.loadLibrary("quillon");
      loaded = true;
      return;
    } catch (UnsatisfiedLinkError e) {
      tried.append("; java.library.path (")
          .append(System.getProperty("java.library.path"))
          .append("): ")
          .append(e.getMessage());
    }
    String platform = platform();
    String resource = platform == null ? null : "/native/" + platform + "/" + fileName(platform);
    InputStream bundled =
        resource == null ? null : BridgeLoader.class.getResourceAsStream(resource);
    if (bundled == null) {
      tried.append("; this jar (no copy for this platform)");
      throw new UnsatisfiedLinkError("no quillon bridge for " + System.getProperty("os.name") + " "
          + System.getProperty("os.arch") + ": looked in " + tried);
    }
    try (InputStream in = bundled) {
      System.load(extract(in, fileName(platform)).toString());
    } catch (IOException e) {
      throw new UnsatisfiedLinkError("cannot extract the quillon bridge " + resource + ": " + e);
    }
    loaded = true;
  }

  /** The platform's folder in the jar, or null when the jar carries no library for it. */
  static String platform() {
    String os = System.getProperty("os.name", "").toLowerCase(Locale.ROOT);
    String arch = System.getProperty("os.arch", "").toLowerCase(Locale.ROOT);
    if (!arch.equals("amd64") && !arch.equals("x86_64")) return null;
    if (os.startsWith("linux")) return "linux-x86_64";
    if (os.startsWith("windows")) return "windows-x86_64";
    return null;
  }

  static String fileName(String platform) {
    return platform.startsWith("windows") ? "quillon.dll" : "libquillon.so";
  }

  /**
   * Copies the library into a new folder that only this user may read, under its own name, and
   * asks for both to be deleted when the VM exits (a loaded DLL cannot be deleted on Windows).
   */
  private static Path extract(InputStream in, String name) throws IOException {
    boolean posix = FileSystems.getDefault().supportedFileAttributeViews().contains("posix");
    FileAttribute<?>[] ownerOnly = posix
        ? new FileAttribute<?>[] {PosixFilePermissions.asFileAttribute(
            PosixFilePermissions.fromString("rwx------"))}
        : new FileAttribute<?>[ 0 ];
    Path folder = Files.createTempDirectory("quillon-", ownerOnly);
    folder.toFile().deleteOnExit();
    Path library = folder.resolve(name);
    library.toFile().deleteOnExit();
    Files.copy(in, library, StandardCopyOption.REPLACE_EXISTING);
    if (posix) {
      Files.setPosixFilePermissions(library, PosixFilePermissions.fromString("rwx------"));
    }
    return library;
  }
}
