import java.nio.charset.StandardCharsets;
import java.security.KeyPair;
import java.security.KeyPairGenerator;
import java.security.KeyStore;
import java.security.Provider;
import java.security.Security;
import java.security.Signature;
import java.security.spec.ECGenParameterSpec;
import java.util.HexFormat;
import it.morvale.pkcs11.provider.QuillonProvider;
import it.morvale.pkcs11.provider.TokenKeyGenParameterSpec;

/**
 * The provider in a few lines: a key pair made on the token, a message signed there through the
 * platform's Signature API, and the signature checked by the JDK's own EC provider.
 *
 *   java -cp build/linux/quillon.jar demo/ProviderDemo.java <configuration file> <user PIN>
 */
public class ProviderDemo {
  public static void main(String[] args) throws Exception {
    Provider token = new QuillonProvider().configure(args[0]);
    Security.addProvider(token);
    System.out.println("provider   " + token.getName() + ": " + token.getInfo());

    KeyStore keyStore = KeyStore.getInstance("Quillon", token);
    keyStore.load(null, args[1].toCharArray()); // logs in

    KeyPairGenerator generator = KeyPairGenerator.getInstance("EC", token);
    generator.initialize(
        new TokenKeyGenParameterSpec("demo-signing", new ECGenParameterSpec("P-256")));
    KeyPair pair = generator.generateKeyPair();
    System.out.println("key        " + pair.getPrivate());
    System.out.println("encoded    " + pair.getPrivate().getEncoded()
        + " (the private key never leaves the token)");

    byte[] message = "quillon signs on the token".getBytes(StandardCharsets.UTF_8);
    Signature signer = Signature.getInstance("SHA256withECDSA");
    signer.initSign(pair.getPrivate()); // the platform picks the provider that takes this key
    signer.update(message);
    byte[] signature = signer.sign();
    System.out.println("signed by  " + signer.getProvider().getName() + ": "
        + HexFormat.of().formatHex(signature));

    Signature verifier = Signature.getInstance("SHA256withECDSA", "SunEC");
    verifier.initVerify(pair.getPublic());
    verifier.update(message);
    System.out.println("verified   by SunEC: " + verifier.verify(signature));
  }
}
