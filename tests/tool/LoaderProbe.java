import it.morvale.pkcs11.nat.NativePKCS11;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.List;
import java.util.stream.Collectors;
import java.util.stream.Stream;

/**
 * Loads the bridge with NativePKCS11.loadBridge() and reports where the VM found it: the mapped
 * file, its folder, their permissions and the bridge's version (a native call). With the argument
 * "unsupported" it reports the loader's error instead.
 */
public class LoaderProbe {
  public static void main(String[] args) throws Exception {
    if (args.length > 0 && args[0].equals("unsupported")) {
      try {
        NativePKCS11.loadBridge();
        System.out.println("loaded");
      } catch (UnsatisfiedLinkError e) {
        System.out.println("error " + e.getMessage());
      }
      return;
    }
    NativePKCS11.loadBridge();
    NativePKCS11.loadBridge();
    System.out.println("version " + new NativePKCS11().getBridgeVersion());
    List<String> mapped;
    try (Stream<String> maps = Files.lines(Path.of("/proc/self/maps"))) {
      mapped = maps.filter(line -> line.endsWith("/libquillon.so"))
                   .map(line -> line.substring(line.indexOf('/')))
                   .distinct()
                   .collect(Collectors.toList());
    }
    for (String file : mapped) {
      Path library = Path.of(file);
      System.out.println("library " + library);
      System.out.println(
          "library-mode " + PosixFilePermissions.toString(Files.getPosixFilePermissions(library)));
      System.out.println("folder-mode "
          + PosixFilePermissions.toString(Files.getPosixFilePermissions(library.getParent())));
    }
  }
}
