package it.morvale.pkcs11.provider;

import static org.junit.jupiter.api.Assertions.assertFalse;

import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.KeyStore;
import java.security.Provider;
import java.security.Security;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

/**
 * What the provider suites share: one configured provider for the throwaway SoftHSM2 token
 * ("quillon", user PIN 1234) of the work folder, and the JDK's keytool and jarsigner run against
 * the same token through -providerClass/-providerArg, in VMs under -Xcheck:jni.
 */
final class ProviderFixture {
  static final char[] PIN = "1234".toCharArray();
  static final String NAME = "Quillon-suite";
  private static Provider provider;

  private ProviderFixture() {}

  static String property(String name) {
    String value = System.getProperty(name);
    if (value == null) throw new IllegalStateException("system property " + name + " is not set");
    return value;
  }

  static Path work() { return Path.of(property("quillon.work")); }

  /** The configuration file: the token of the work folder, named by its label. */
  static Path configFile() {
    Path file = work().resolve("provider.cfg");
    if (!Files.exists(file)) {
      write(file,
          "# the suite's throwaway token\nname = suite\nlibrary = " + property("quillon.softhsm")
              + "\ntokenLabel = quillon\n");
    }
    return file;
  }

  /** The provider configured from the file, added to the platform's list once per VM. */
  static synchronized Provider provider() {
    if (provider == null) {
      provider = new QuillonProvider().configure(configFile().toString());
      Security.addProvider(provider);
    }
    return provider;
  }

  /** The token's key store, logged in and read now. */
  static KeyStore keyStore() throws Exception {
    KeyStore keyStore = KeyStore.getInstance(QuillonProvider.KEYSTORE_TYPE, provider());
    keyStore.load(null, PIN);
    return keyStore;
  }

  /** A finished command: its exit code and everything it printed. */
  static final class Run {
    final int exit;
    final String output;

    Run(int exit, String output) {
      this.exit = exit;
      this.output = output;
    }

    @Override
    public String toString() {
      return "exit " + exit + ":\n" + output;
    }
  }

  /** The options that give keytool the provider, configured for the suite's token. */
  static List<String> providerOptions() {
    return List.of("-providerName", NAME, "-providerClass", QuillonProvider.class.getName(),
        "-providerArg", configFile().toString(), "-providerPath", property("quillon.jar"));
  }

  /** The options that give keytool the provider and the token (in its token mode). */
  static List<String> keytoolProvider() {
    List<String> options = new ArrayList<>(List.of("-storetype", "PKCS11", "-storepass", "1234"));
    options.addAll(providerOptions());
    return options;
  }

  static Run keytool(List<String> arguments) { return jdkTool("keytool", arguments, false); }

  static Run jarsigner(List<String> arguments) { return jdkTool("jarsigner", arguments, true); }

  /**
   * Runs a JDK tool in a VM under -Xcheck:jni with the bridge library, and fails when that VM
   * printed a JNI warning. jarsigner takes provider classes from its class path only.
   */
  private static Run jdkTool(String tool, List<String> arguments, boolean jarOnClassPath) {
    Path bin = Path.of(System.getProperty("java.home"), "bin", tool);
    List<String> command = new ArrayList<>(List.of(
        bin.toString(), "-J-Xcheck:jni", "-J-Dquillon.library=" + property("quillon.library")));
    if (jarOnClassPath) command.addAll(Arrays.asList("-J-cp", "-J" + property("quillon.jar")));
    command.addAll(arguments);
    try {
      Process process = new ProcessBuilder(command).redirectErrorStream(true).start();
      process.getOutputStream().close();
      String output = new String(process.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
      Run run = new Run(process.waitFor(), output);
      assertFalse(output.contains("WARNING in native method") || output.contains("JNI local refs")
              || output.contains("FATAL ERROR in native method"),
          () -> tool + " printed JNI warnings: " + run);
      return run;
    } catch (IOException e) {
      throw new UncheckedIOException(e);
    } catch (InterruptedException e) {
      Thread.currentThread().interrupt();
      throw new IllegalStateException(e);
    }
  }

  /** keytool -genkeypair through the provider: a key pair made on the token and a certificate. */
  static void generateWithKeytool(String alias, String... keyOptions) {
    List<String> arguments = new ArrayList<>(List.of("-genkeypair", "-alias", alias, "-dname",
        "CN=localhost, O=quillon " + alias, "-validity", "30"));
    arguments.addAll(Arrays.asList(keyOptions));
    arguments.addAll(keytoolProvider());
    Run run = keytool(arguments);
    if (run.exit != 0) throw new AssertionError("keytool -genkeypair " + alias + " failed: " + run);
  }

  static void write(Path file, String text) {
    try {
      Files.writeString(file, text, StandardCharsets.UTF_8);
    } catch (IOException e) {
      throw new UncheckedIOException(e);
    }
  }
}
