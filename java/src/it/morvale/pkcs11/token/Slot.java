package it.morvale.pkcs11.token;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.PKCS11MechanismInfo;
import it.morvale.pkcs11.PKCS11SlotInfo;
import it.morvale.pkcs11.PKCS11TokenInfo;
import it.morvale.pkcs11.nat.NativePKCS11Slot;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;

/** A slot of a module, and the token in it. */
public final class Slot {
  private final Pkcs11Module module;
  private final NativePKCS11Slot slot;
  /** The token's mechanisms, read once: they belong to the token, which does not change them. */
  private volatile List<Mechanism> mechanisms;

  Slot(Pkcs11Module module, NativePKCS11Slot slot) {
    this.module = module;
    this.slot = slot;
  }

  public Pkcs11Module module() { return module; }

  /** The slot ID, an unsigned number. */
  public long id() { return Integer.toUnsignedLong(slot.getSlotID()); }

  public PKCS11SlotInfo info() throws PKCS11Exception {
    return module.call(() -> slot.getInfo(module.functionList()));
  }

  public boolean hasToken() throws PKCS11Exception { return info().isTokenPresent(); }

  public PKCS11TokenInfo tokenInfo() throws PKCS11Exception {
    return module.call(() -> slot.getTokenInfo(module.functionList()));
  }

  /** The token's label without its blank padding, or null when the slot has no token. */
  public String tokenLabel() throws PKCS11Exception {
    return hasToken() ? tokenInfo().getLabelTrimmed() : null;
  }

  /** Like {@link #tokenLabel}, but null too when the slot will not describe its token. */
  String tokenLabelIfPresent() {
    try {
      return tokenLabel();
    } catch (PKCS11Exception e) {
      return null;
    }
  }

  /** Whether the token is write-protected: it takes read-only sessions only. */
  public boolean isWriteProtected() throws PKCS11Exception {
    return (tokenInfo().getFlags() & Cryptoki.CKF_WRITE_PROTECTED) != 0;
  }

  /** The token's mechanisms in its own order, read from the module on first use only. */
  public List<Mechanism> supportedMechanisms() throws PKCS11Exception {
    List<Mechanism> known = mechanisms;
    if (known == null) {
      int[] types = module.call(() -> slot.getMechanismList(module.functionList()));
      List<Mechanism> read = new ArrayList<>();
      if (types != null) {
        for (int type : types) read.add(Mechanism.of(type));
      }
      mechanisms = known = Collections.unmodifiableList(read);
    }
    return known;
  }

  /** Whether the token lists the mechanism `type`. */
  public boolean supports(int type) throws PKCS11Exception {
    for (Mechanism m : supportedMechanisms()) {
      if (m.type() == type) return true;
    }
    return false;
  }

  public PKCS11MechanismInfo mechanismInfo(int mechanism) throws PKCS11Exception {
    return module.call(() -> slot.getMechanismInfo(module.functionList(), mechanism));
  }

  /** Initialises the token: every object on it is destroyed. */
  public void initToken(String soPin, String label) throws PKCS11Exception {
    module.run(() -> slot.initToken(module.functionList(), soPin, label));
    mechanisms = null;
  }

  /** Opens a read-only session: enough to read, sign, decrypt and log in as the user. */
  public Session openReadOnly() throws PKCS11Exception { return open(Cryptoki.CKF_SERIAL_SESSION); }

  /** Opens a read-write session, which creating, changing or destroying token objects needs. */
  public Session openReadWrite() throws PKCS11Exception {
    return open(Cryptoki.CKF_SERIAL_SESSION | Cryptoki.CKF_RW_SESSION);
  }

  private Session open(int flags) throws PKCS11Exception {
    return new Session(module, module.call(() -> slot.openSession(module.functionList(), flags)),
        (flags & Cryptoki.CKF_RW_SESSION) != 0);
  }

  public void closeAllSessions() throws PKCS11Exception {
    module.exclusive(() -> {
      slot.closeAllSessions(module.functionList());
      return null;
    });
  }

  @Override
  public String toString() {
    return "Slot[" + id() + "]";
  }
}
