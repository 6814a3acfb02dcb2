import it.morvale.pkcs11.provider.QuillonProvider;
import it.morvale.pkcs11.provider.TokenKeyGenParameterSpec;
import java.nio.charset.StandardCharsets;
import java.security.KeyPair;
import java.security.KeyPairGenerator;
import java.security.KeyStore;
import java.security.Provider;
import java.security.Signature;
import java.security.spec.AlgorithmParameterSpec;
import java.security.spec.ECGenParameterSpec;
import java.security.spec.RSAKeyGenParameterSpec;
import java.util.concurrent.Callable;

/**
 * The java.security provider on one token of a real module: configures a QuillonProvider for it,
 * loads its key store and, with "sign", makes an RSA and an EC key pair on the token, signs with
 * the provider and verifies with the JDK's own providers. Prints "ok: NAME: CHECK" for each check
 * passed and "FAIL: NAME: CHECK: WHY" for each check failed, and exits with 1 after a failure.
 *   ProviderProbe NAME LIBRARY TOKEN-LABEL PIN-VARIABLE|- [sign]
 * With "-" the key store is loaded without a PIN (no login).
 */
public class ProviderProbe {
  private static String name;
  private static int failures;

  /** Runs one check: its text on success (with what it returns, if anything), else why not. */
  private static boolean check(String what, Callable<String> check) {
    try {
      String detail = check.call();
      System.out.println("ok: " + name + ": " + what + (detail == null ? "" : " (" + detail + ")"));
      return true;
    } catch (Exception | AssertionError e) {
      StringBuilder why = new StringBuilder(e.toString());
      for (Throwable cause = e.getCause(); cause != null; cause = cause.getCause()) {
        why.append("; caused by ").append(cause);
      }
      System.out.println("FAIL: " + name + ": " + what + ": " + why);
      failures++;
      return false;
    }
  }

  public static void main(String[] args) {
    name = args[0];
    String library = args[1];
    String label = args[2];
    char[] pin = args[3].equals("-") ? null : System.getenv(args[3]).toCharArray();
    boolean sign = args.length > 4 && args[4].equals("sign");

    Provider[] provider = new Provider[1];
    boolean configured = check("the provider opens the token \"" + label + "\"", () -> {
      provider[0] =
          new QuillonProvider("--name=probe library=" + library + " tokenLabel=\"" + label + "\"");
      return provider[0].getName();
    });
    if (!configured) System.exit(1);
    Provider p = provider[0];

    boolean loaded = check(
        "the key store loads " + (pin == null ? "without a PIN" : "with the user PIN"), () -> {
          KeyStore store = KeyStore.getInstance(QuillonProvider.KEYSTORE_TYPE, p);
          store.load(null, pin);
          int size = store.size();
          // Without a PIN the key store shows the public objects only: on a token of
          // certificates (the built-in roots) these are its entries.
          if (pin == null && size == 0) throw new AssertionError("the key store has no aliases");
          return size + " aliases";
        });

    if (sign) {
      if (!loaded) {
        System.out.println(
            "FAIL: " + name + ": key pairs not tried: no login without the key store");
        System.exit(1);
      }
      signs(p, "RSA", new RSAKeyGenParameterSpec(2048, RSAKeyGenParameterSpec.F4), "SHA256withRSA",
          "SunRsaSign");
      signs(p, "EC", new ECGenParameterSpec("secp256r1"), "SHA256withECDSA", "SunEC");
    }
    System.exit(failures == 0 ? 0 : 1);
  }

  /**
   * Makes a key pair with the provider, signs with the token's private key and verifies with the
   * JDK's provider `verifier`, which must accept the message and reject another.
   */
  private static void signs(Provider p, String algorithm, AlgorithmParameterSpec keySpec,
      String signatureAlgorithm, String verifier) {
    KeyPair[] pair = new KeyPair[1];
    boolean made = check("the KeyPairGenerator makes an " + algorithm + " key pair", () -> {
      KeyPairGenerator generator = KeyPairGenerator.getInstance(algorithm, p);
      generator.initialize(new TokenKeyGenParameterSpec("probe-" + algorithm, keySpec));
      pair[0] = generator.generateKeyPair();
      return null;
    });
    if (!made) return;
    byte[] message =
        ("signed by the " + algorithm + " key of " + name).getBytes(StandardCharsets.UTF_8);
    byte[][] signature = new byte[1][];
    boolean signed = check(signatureAlgorithm + " signs with the token's key", () -> {
      Signature signer = Signature.getInstance(signatureAlgorithm, p);
      signer.initSign(pair[0].getPrivate());
      signer.update(message);
      signature[0] = signer.sign();
      return signature[0].length + " bytes";
    });
    if (!signed) return;
    check(verifier + " verifies the " + signatureAlgorithm + " signature", () -> {
      Signature checker = Signature.getInstance(signatureAlgorithm, verifier);
      checker.initVerify(pair[0].getPublic());
      checker.update(message);
      if (!checker.verify(signature[0])) throw new AssertionError("the signature does not verify");
      checker.initVerify(pair[0].getPublic());
      checker.update("another message".getBytes(StandardCharsets.UTF_8));
      if (checker.verify(signature[0])) {
        throw new AssertionError("the signature verifies another message too");
      }
      return null;
    });
  }
}
