package it.morvale.pkcs11.token;

import it.morvale.pkcs11.PKCS11Exception;
import java.nio.ByteBuffer;
import java.util.HashSet;
import java.util.Set;

/**
 * Which certificates a token marks as trust anchors: those with CKA_TRUSTED, which only the
 * token's security officer can set, and on NSS's tokens those that an NSS trust object names a
 * trusted delegator (a CA) for some purpose, as NSS's built-in roots and its certificate
 * database do. A certificate that merely sits on the token is not trusted.
 */
public final class Trust {
  /** NSS's vendor-defined trust objects and their attributes. */
  static final int CKO_NSS_TRUST = 0xCE534353;
  static final int CKA_TRUST_SERVER_AUTH = 0xCE536358;
  static final int CKA_TRUST_CLIENT_AUTH = 0xCE536359;
  static final int CKA_TRUST_CODE_SIGNING = 0xCE53635A;
  static final int CKA_TRUST_EMAIL_PROTECTION = 0xCE53635B;
  static final int CKA_CERT_SHA1_HASH = 0xCE5363B4;
  static final int CKT_NSS_TRUSTED_DELEGATOR = 0xCE534352;

  private static final int[] PURPOSES = {CKA_TRUST_SERVER_AUTH, CKA_TRUST_CLIENT_AUTH,
      CKA_TRUST_CODE_SIGNING, CKA_TRUST_EMAIL_PROTECTION};

  private final Set<ByteBuffer> delegators;

  private Trust(Set<ByteBuffer> delegators) { this.delegators = delegators; }

  /** The trust marks of the token that `session` sees. */
  public static Trust of(Session session) throws PKCS11Exception {
    Set<ByteBuffer> delegators = new HashSet<>();
    for (TokenObject trust :
        session.find(new Template().addUnsigned(Cryptoki.CKA_CLASS, CKO_NSS_TRUST))) {
      byte[] hash = trust.bytesIfPresent(CKA_CERT_SHA1_HASH);
      if (hash == null) continue;
      for (int purpose : PURPOSES) {
        Integer level = trust.integerIfPresent(purpose);
        if (level != null && level == CKT_NSS_TRUSTED_DELEGATOR) {
          delegators.add(ByteBuffer.wrap(hash));
          break;
        }
      }
    }
    return new Trust(delegators);
  }

  /** Whether the certificate object `certificate`, whose DER is `encoded`, is a trust anchor. */
  public boolean isAnchor(TokenObject certificate, byte[] encoded) {
    if (Boolean.TRUE.equals(certificate.boolIfPresent(Cryptoki.CKA_TRUSTED))) return true;
    if (delegators.isEmpty()) return false;
    return delegators.contains(ByteBuffer.wrap(Encodings.digest("SHA-1").digest(encoded)));
  }
}
