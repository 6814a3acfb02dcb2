package it.morvale.pkcs11.provider;

import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.Pkcs11Module;
import it.morvale.pkcs11.token.Session;
import it.morvale.pkcs11.token.SlotChoice;
import it.morvale.pkcs11.token.Template;
import java.io.ByteArrayInputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.cert.CertificateFactory;
import java.security.cert.X509Certificate;

/**
 * Another user of the suite's token, in a process of its own, so that the suite's login does not
 * stand in its way. Arguments: module, token label, then
 *
 * <ul>
 *   <li>{@code so PIN LABEL DER}: the security officer writes a certificate marked CKA_TRUSTED,
 *       as a trust anchor is provisioned;
 *   <li>{@code user PIN LABEL DER}: the user writes it unmarked;
 *   <li>{@code login PIN}: the provider's key store is loaded with the PIN; prints the classes of
 *       the failure's causes, one a line.
 * </ul>
 */
public final class TokenUser {
  private TokenUser() {}

  public static void main(String[] args) throws Exception {
    if (args[2].equals("login")) {
      java.security.Provider provider =
          new QuillonProvider("--name=user library=" + args[0] + " tokenLabel=" + args[1]);
      try {
        java.security.KeyStore.getInstance(QuillonProvider.KEYSTORE_TYPE, provider)
            .load(null, args[3].toCharArray());
        System.out.println("logged in");
      } catch (java.io.IOException e) {
        for (Throwable t = e; t != null; t = t.getCause())
          System.out.println(t.getClass().getName());
      }
      return;
    }
    byte[] der = Files.readAllBytes(Path.of(args[5]));
    X509Certificate certificate =
        (X509Certificate) CertificateFactory.getInstance("X.509").generateCertificate(
            new ByteArrayInputStream(der));
    boolean securityOfficer = args[2].equals("so");
    Template template =
        new Template()
            .add(Cryptoki.CKA_CLASS, Cryptoki.CKO_CERTIFICATE)
            .add(Cryptoki.CKA_CERTIFICATE_TYPE, Cryptoki.CKC_X_509)
            .add(Cryptoki.CKA_TOKEN, true)
            .add(Cryptoki.CKA_LABEL, args[4])
            .add(Cryptoki.CKA_SUBJECT, certificate.getSubjectX500Principal().getEncoded())
            .add(Cryptoki.CKA_VALUE, der)
            .add(Cryptoki.CKA_TRUSTED, securityOfficer);
    Pkcs11Module module = Pkcs11Module.open(args[0]);
    try (Session session = module.slot(SlotChoice.tokenLabel(args[1])).openReadWrite()) {
      if (securityOfficer) {
        session.loginSecurityOfficer(args[3]);
      } else {
        session.loginUser(args[3]);
      }
      session.create(template);
      session.logout();
    }
    module.close();
  }
}
