package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.KeyPairObjects;
import it.morvale.pkcs11.token.KeyTemplates;
import it.morvale.pkcs11.token.ObjectTemplates;
import it.morvale.pkcs11.token.Session;
import it.morvale.pkcs11.token.Template;
import it.morvale.pkcs11.token.TokenObject;
import java.io.ByteArrayInputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import java.security.GeneralSecurityException;
import java.security.KeyFactory;
import java.security.KeyStore;
import java.security.PrivateKey;
import java.security.PublicKey;
import java.security.cert.Certificate;
import java.security.cert.CertificateException;
import java.security.cert.CertificateFactory;
import java.security.cert.X509Certificate;
import java.security.interfaces.RSAPrivateCrtKey;
import java.security.spec.PKCS8EncodedKeySpec;
import java.security.spec.RSAPublicKeySpec;
import java.security.spec.X509EncodedKeySpec;
import java.util.ArrayList;
import java.util.Base64;
import java.util.Collections;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import picocli.CommandLine.Command;
import picocli.CommandLine.Mixin;
import picocli.CommandLine.Option;
import picocli.CommandLine.Parameters;

/**
 * Objects written onto the token from files: an X.509 certificate, a public key, a private key
 * (PKCS#8 in PEM or DER, or with its certificate from a PKCS#12 file) and a data object. The
 * objects of one key share an id (--id, else the SHA-1 hash of the public key, as keygen gives),
 * so that a certificate finds its key; a label already in use is taken only by the same key.
 */
@Command(name = "import",
    description = {"Write a certificate, a public key, a private key or a data object from a"
        + " file onto the token. PEM and DER are recognised by their content; a PKCS#12 file"
        + " (--type p12, or a .p12 or .pfx name) gives its private keys with their certificates;"
        + " any file is a data object with --type data. Private keys are written sensitive and"
        + " never extractable."})
final class ImportCommand extends UserCommand {
  /** Far more than any certificate, key or PKCS#12 file. */
  private static final int FILE_AT_MOST = 16 << 20;

  @Parameters(paramLabel = "FILE", description = "the file to import (- for standard input)")
  Path file;

  @Option(names = "--type", paramLabel = "TYPE",
      description = "cert, pubkey, privkey, p12 or data (default: by the file's content)")
  String type;

  @Option(names = "--label", paramLabel = "LABEL", description = "the new objects' label")
  String label;

  @Option(names = "--id", paramLabel = "HEX", description = "the new objects' id, in hex")
  String id;

  @Option(
      names = "--application", paramLabel = "TEXT", description = "a data object's CKA_APPLICATION")
  String application;

  @Option(names = "--public", description = "a data object that is read without logging in")
  boolean isPublic;

  @Option(names = "--password-env", paramLabel = "NAME",
      description = "read the PKCS#12 password from environment variable NAME")
  String passwordEnv;

  @Option(names = "--password-file", paramLabel = "PATH",
      description = "read the PKCS#12 password from the first line of PATH")
  Path passwordFile;

  @Mixin Json.JsonOption json;

  /** One object to write: its template and a few words on it. */
  private static final class Made {
    final int objectClass;
    final Template template;
    final String what;

    Made(int objectClass, Template template, String what) {
      this.objectClass = objectClass;
      this.template = template;
      this.what = what;
    }
  }

  @Override
  void check() {
    kind();
    if (id != null) Io.unhex("--id", id);
    if (application != null && !"data".equals(kind())) {
      throw Failure.usage("--application is for data objects (--type data)");
    }
  }

  private String kind() {
    if (type == null) {
      String name = file.getFileName() == null ? "" : file.getFileName().toString();
      name = name.toLowerCase(Locale.ROOT);
      return name.endsWith(".p12") || name.endsWith(".pfx") ? "p12" : null;
    }
    String t = type.toLowerCase(Locale.ROOT);
    switch (t) {
      case "cert":
      case "certificate":
        return "cert";
      case "pubkey":
      case "public":
        return "pubkey";
      case "privkey":
      case "private":
        return "privkey";
      case "p12":
      case "pkcs12":
        return "p12";
      case "data":
        return "data";
      default:
        throw Failure.usage(
            "--type wants cert, pubkey, privkey, p12 or data, not \"" + type + "\"");
    }
  }

  @Override
  void run(Token token, Pins pins) throws Exception {
    byte[] content = Io.read(file, FILE_AT_MOST, "import reads");
    byte[] givenId = id == null ? null : Io.unhex("--id", id);
    String kind = kind();
    List<Made> made;
    if ("data".equals(kind)) {
      made = List.of(new Made(Cryptoki.CKO_DATA,
          ObjectTemplates.data(content, label, application, isPublic), "data object"));
    } else if ("p12".equals(kind)) {
      String password = Pins.read(List.of(new Pins.Need(Pins.Kind.PKCS12, passwordEnv, passwordFile,
                                      "Password of " + file, false)),
                                Traced.terminal())
                            .get(Pins.Kind.PKCS12);
      made = pkcs12(content, password, givenId);
    } else {
      made = single(content, kind, givenId);
    }
    Session session = token.writingUser(pins);
    refuseClash(session, made);
    List<Object> report = new ArrayList<>();
    for (Made m : made) {
      TokenObject object = session.create(m.template);
      Map<String, Object> entry = ObjectText.json(object);
      report.add(entry);
      if (!json.wanted()) {
        System.out.println("imported the " + m.what + ObjectText.whereabouts(object));
      }
    }
    if (json.wanted()) Json.print(report);
  }

  /** A label names one thing: it may be taken only by objects of the same key, of other classes. */
  private static void refuseClash(Session session, List<Made> made) throws Exception {
    for (Made m : made) {
      String label = null;
      byte[] id = null;
      Object[] values = m.template.values();
      int[] types = m.template.types();
      for (int i = 0; i < types.length; ++i) {
        if (types[i] == Cryptoki.CKA_LABEL) label = (String) values[i];
        if (types[i] == Cryptoki.CKA_ID) id = (byte[]) values[i];
      }
      if (label == null) continue;
      for (TokenObject other : session.find(new Template().add(Cryptoki.CKA_LABEL, label))) {
        byte[] otherId = other.id();
        boolean sameKey = id != null && otherId != null && java.util.Arrays.equals(id, otherId)
            && other.objectClassIfPresent() != m.objectClass;
        if (!sameKey) {
          throw Failure.usage("an object labelled \"" + label + "\" is on the token already ("
              + ObjectText.line(other) + "); a label names one key, pair or object");
        }
      }
    }
  }

  private List<Made> single(byte[] content, String kind, byte[] givenId) throws Exception {
    byte[] der = content;
    String pemType = null;
    String text = new String(content, StandardCharsets.US_ASCII);
    int begin = text.indexOf("-----BEGIN ");
    if (begin >= 0) {
      int typeEnd = text.indexOf("-----", begin + 11);
      int end = typeEnd < 0 ? -1 : text.indexOf("-----END", typeEnd);
      if (end < 0) throw Failure.usage(file + " is PEM without its END line");
      pemType = text.substring(begin + 11, typeEnd);
      try {
        der = Base64.getMimeDecoder().decode(text.substring(typeEnd + 5, end));
      } catch (IllegalArgumentException e) {
        throw Failure.usage(file + " is PEM whose base64 does not decode");
      }
      if (pemType.equals("RSA PRIVATE KEY") || pemType.equals("EC PRIVATE KEY")
          || pemType.equals("ENCRYPTED PRIVATE KEY")) {
        throw Failure.usage(file + " holds a " + pemType + "; write it as unencrypted PKCS#8"
            + " first: openssl pkcs8 -topk8 -nocrypt -in " + file);
      }
      String byPem = pemType.equals("CERTIFICATE") || pemType.equals("X509 CERTIFICATE") ? "cert"
          : pemType.equals("PUBLIC KEY")                                                 ? "pubkey"
          : pemType.equals("PRIVATE KEY")                                                ? "privkey"
                                                                                         : null;
      if (byPem == null)
        throw Failure.usage(file + " holds a PEM " + pemType + ", not one to import");
      if (kind != null && !kind.equals(byPem)) {
        throw Failure.usage(file + " holds a " + pemType + ", not what --type " + type + " says");
      }
      kind = byPem;
    }
    if (kind == null || kind.equals("cert")) {
      X509Certificate certificate = certificate(der, kind != null);
      if (certificate != null) {
        byte[] objectId =
            givenId != null ? givenId : KeyPairObjects.idOf(certificate.getPublicKey(), null);
        return List.of(new Made(Cryptoki.CKO_CERTIFICATE,
            ObjectTemplates.certificate(certificate, label, objectId),
            "certificate of " + certificate.getSubjectX500Principal().getName()));
      }
    }
    if (kind == null || kind.equals("pubkey")) {
      PublicKey key = publicKey(der);
      if (key != null) {
        byte[] objectId = givenId != null ? givenId : KeyPairObjects.idOf(key, null);
        return List.of(new Made(Cryptoki.CKO_PUBLIC_KEY,
            ObjectTemplates.publicKey(key, label, objectId), key.getAlgorithm() + " public key"));
      }
      if (kind != null) throw Failure.usage(file + " holds no public key that Java reads");
    }
    PrivateKey key = privateKey(der);
    if (key == null) {
      throw Failure.usage(file + " is no certificate, public key or PKCS#8 private key in PEM or"
          + " DER (a PKCS#12 file: --type p12; any bytes: --type data)");
    }
    return privateKeyObjects(key, null, label, givenId);
  }

  /** A private key, with its public key where Java derives it (RSA) or a certificate gives it. */
  private List<Made> privateKeyObjects(
      PrivateKey key, X509Certificate certificate, String label, byte[] givenId) throws Exception {
    PublicKey publicKey = certificate != null ? certificate.getPublicKey() : null;
    if (publicKey == null && key instanceof RSAPrivateCrtKey) {
      RSAPrivateCrtKey rsa = (RSAPrivateCrtKey) key;
      publicKey = KeyFactory.getInstance("RSA").generatePublic(
          new RSAPublicKeySpec(rsa.getModulus(), rsa.getPublicExponent()));
    }
    byte[] objectId = givenId;
    if (objectId == null) {
      if (publicKey == null) {
        throw Failure.usage("give the " + key.getAlgorithm() + " private key an --id, the id of"
            + " its public key or certificate, so that they are found together");
      }
      objectId = KeyPairObjects.idOf(publicKey, null);
    }
    List<Made> made = new ArrayList<>();
    made.add(
        new Made(Cryptoki.CKO_PRIVATE_KEY, KeyTemplates.importedPrivateKey(key, label, objectId),
            key.getAlgorithm() + " private key"));
    if (publicKey != null) {
      made.add(
          new Made(Cryptoki.CKO_PUBLIC_KEY, ObjectTemplates.publicKey(publicKey, label, objectId),
              publicKey.getAlgorithm() + " public key"));
    }
    if (certificate != null) {
      made.add(new Made(Cryptoki.CKO_CERTIFICATE,
          ObjectTemplates.certificate(certificate, label, objectId),
          "certificate of " + certificate.getSubjectX500Principal().getName()));
    }
    return made;
  }

  private List<Made> pkcs12(byte[] content, String password, byte[] givenId) throws Exception {
    KeyStore store = KeyStore.getInstance("PKCS12");
    char[] secret = password.toCharArray();
    try {
      store.load(new ByteArrayInputStream(content), secret);
    } catch (java.io.IOException e) {
      throw Failure.usage("cannot open the PKCS#12 file " + file + ": "
          + (e.getCause() instanceof java.security.UnrecoverableKeyException
                  ? "the password is wrong"
                  : e.getMessage()));
    }
    List<String> aliases = Collections.list(store.aliases());
    List<String> keys = new ArrayList<>();
    for (String alias : aliases) {
      if (store.isKeyEntry(alias)) keys.add(alias);
    }
    if (keys.isEmpty()) throw Failure.usage("the PKCS#12 file " + file + " holds no private key");
    if (keys.size() > 1 && (label != null || givenId != null)) {
      throw Failure.usage("the PKCS#12 file " + file + " holds " + keys.size() + " private keys;"
          + " --label and --id would give them all one name (they take their aliases)");
    }
    List<Made> made = new ArrayList<>();
    for (String alias : keys) {
      java.security.Key key = store.getKey(alias, secret);
      if (!(key instanceof PrivateKey)) continue;
      Certificate certificate = store.getCertificate(alias);
      made.addAll(privateKeyObjects((PrivateKey) key,
          certificate instanceof X509Certificate ? (X509Certificate) certificate : null,
          label != null ? label : alias, givenId));
    }
    java.util.Arrays.fill(secret, ' ');
    return made;
  }

  private X509Certificate certificate(byte[] der, boolean surely) {
    try {
      return (X509Certificate) CertificateFactory.getInstance("X.509").generateCertificate(
          new ByteArrayInputStream(der));
    } catch (CertificateException e) {
      if (surely) throw Failure.usage(file + " holds no X.509 certificate: " + e.getMessage());
      return null;
    }
  }

  private static PublicKey publicKey(byte[] der) {
    return decoded(factory -> factory.generatePublic(new X509EncodedKeySpec(der)));
  }

  private static PrivateKey privateKey(byte[] der) {
    return decoded(factory -> factory.generatePrivate(new PKCS8EncodedKeySpec(der)));
  }

  /** What a key factory makes of some bytes. */
  private interface Decoding<T> {
    T with(KeyFactory factory) throws GeneralSecurityException;
  }

  /** The key that the RSA, EC or EdDSA factory makes, or null when none makes one. */
  private static <T> T decoded(Decoding<T> decoding) {
    for (String algorithm : new String[] {"RSA", "EC", "EdDSA"}) {
      try {
        return decoding.with(KeyFactory.getInstance(algorithm));
      } catch (GeneralSecurityException | RuntimeException e) {
        // Another algorithm, or no such key at all.
      }
    }
    return null;
  }
}
